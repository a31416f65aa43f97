// Line attributes of a drawing surface and the colour numbers.
#include "core/program_state.h"
#include "ui/line_attr.h"

#include <QTest>

using namespace framla;
using ui::GRASETATTRLINE;
using ui::LineAttributes;
using ui::LineAttrList;

class TestLineAttr : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reportChangesNothing();
    void setReturnsPrevious();
    void noSurfaceMeansMainWindow();
    void colours_data();
    void colours();
};

void TestLineAttr::reportChangesNothing()
{
    ProgramState state;
    ui::PresSpace ps;
    GRASETATTRLINE(state, &ps, LineAttrList{ui::colour::kWhite, std::nullopt, 3, std::nullopt});
    const LineAttributes before = ps.lineAttributes();
    QCOMPARE(GRASETATTRLINE(state, &ps), before);
    QCOMPARE(ps.lineAttributes(), before);
}

void TestLineAttr::setReturnsPrevious()
{
    ProgramState state;
    ui::PresSpace ps;
    const LineAttributes initial = ps.lineAttributes();
    // The crop marks' attributes: colour left as it is.
    const LineAttributes previous =
        GRASETATTRLINE(state, &ps, LineAttrList{std::nullopt, ui::kMixInvert, 2, 0});
    QCOMPARE(previous, initial);
    const LineAttributes now = ps.lineAttributes();
    QCOMPARE(now.colour, initial.colour);
    QCOMPARE(now.mixMode, ui::kMixInvert);
    QCOMPARE(now.width, 2);
    QCOMPARE(now.lineType, 0);
    QCOMPARE(ps.pen().width(), 2);
}

void TestLineAttr::noSurfaceMeansMainWindow()
{
    ProgramState state;
    ui::PresSpace mainSpace;
    ui::PresSpace other;
    state.services.mainPresSpace = &mainSpace;
    GRASETATTRLINE(state, nullptr, LineAttrList{std::nullopt, std::nullopt, 5, std::nullopt});
    QCOMPARE(mainSpace.lineAttributes().width, 5);
    QCOMPARE(other.lineAttributes().width, 1);
    QCOMPARE(GRASETATTRLINE(state, nullptr).width, 5);
}

void TestLineAttr::colours_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("white") << ui::colour::kWhite << QColor(Qt::white);
    QTest::newRow("neutral") << ui::colour::kNeutral << QColor(Qt::black);
    QTest::newRow("palette red") << 2 << QColor(Qt::red);
    QTest::newRow("rgb red") << ui::rgbNumber(255, 0, 0) << QColor(255, 0, 0);
    QTest::newRow("rgb mixed") << ui::rgbNumber(10, 20, 30) << QColor(10, 20, 30);
    QTest::newRow("rgb black") << ui::rgbNumber(0, 0, 0) << QColor(0, 0, 0);
    QTest::newRow("rgb white") << ui::rgbNumber(255, 255, 255) << QColor(255, 255, 255);
}

void TestLineAttr::colours()
{
    QFETCH(int, number);
    QFETCH(QColor, expected);
    QCOMPARE(ui::colourFromNumber(number), expected);
}

QTEST_GUILESS_MAIN(TestLineAttr)
#include "tst_line_attr.moc"
