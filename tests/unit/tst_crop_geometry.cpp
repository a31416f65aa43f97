// The arithmetic of the crop marks: corner order, the proportion rule and
// its limits, keeping a box inside the view, and the stretch and drag steps.
#include "core/program_state.h"
#include "imaging/crop.h"
#include "imaging/crop_geometry.h"
#include "support/scripted_dialogs.h"

#include <QTest>

namespace QTest {
/// Crop rectangles in failure messages: {{x1, y1}, {x2, y2}}.
template<> inline char *toString(const framla::CropCoords &coords)
{
    return qstrdup(QStringLiteral("{{%1, %2}, {%3, %4}}")
                       .arg(coords[0].x())
                       .arg(coords[0].y())
                       .arg(coords[1].x())
                       .arg(coords[1].y())
                       .toLatin1()
                       .constData());
}
} // namespace QTest

using namespace framla;
using imaging::noCropMarks;

namespace {
CropCoords box(double x1, double y1, double x2, double y2)
{
    return {QPointF(x1, y1), QPointF(x2, y2)};
}
} // namespace

class TestCropGeometry : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void normalise_data();
    void normalise();
    void constrain_data();
    void constrain();
    void marked_data();
    void marked();
    void keepInside_data();
    void keepInside();
    void stretch_data();
    void stretch();
    void drag_data();
    void drag();
};

void TestCropGeometry::normalise_data()
{
    QTest::addColumn<CropCoords>("given");
    QTest::addColumn<CropCoords>("expected");
    QTest::newRow("lower right, then upper left") << box(200, 40, 50, 180) << box(50, 180, 200, 40);
    QTest::newRow("already upper left first") << box(50, 180, 200, 40) << box(50, 180, 200, 40);
    QTest::newRow("lower left, then upper right") << box(50, 40, 200, 180) << box(50, 180, 200, 40);
    QTest::newRow("upper right, then lower left") << box(200, 180, 50, 40) << box(50, 180, 200, 40);
    QTest::newRow("one point") << box(70, 70, 70, 70) << box(70, 70, 70, 70);
}

void TestCropGeometry::normalise()
{
    QFETCH(CropCoords, given);
    QFETCH(CropCoords, expected);
    CropCoords crop = given;
    CropCoords &result = imaging::NORMCROPS(crop);
    QCOMPARE(&result, &crop); // in place
    QCOMPARE(crop, expected);
}

void TestCropGeometry::constrain_data()
{
    QTest::addColumn<CropCoords>("given"); // normalised, as Crop passes it
    QTest::addColumn<double>("ratio");
    QTest::addColumn<CropCoords>("expected");
    QTest::addColumn<bool>("refused");

    // Free proportion: width / height from 0.33 to 3, both ends included.
    QTest::newRow("free 30 x 100") << box(10, 200, 40, 100) << 0.0 << noCropMarks() << true;
    QTest::newRow("free 33 x 100")
        << box(10, 200, 43, 100) << 0.0 << box(10, 200, 43, 100) << false;
    QTest::newRow("free 301 x 100") << box(0, 200, 301, 100) << 0.0 << noCropMarks() << true;
    QTest::newRow("free 300 x 100")
        << box(0, 200, 300, 100) << 0.0 << box(0, 200, 300, 100) << false;
    QTest::newRow("free, two corners at one height")
        << box(10, 100, 60, 100) << 0.0 << noCropMarks() << true;
    QTest::newRow("free, one point twice") << box(50, 50, 50, 50) << 0.0 << noCropMarks() << true;
    QTest::newRow("free, zero width") << box(50, 200, 50, 100) << 0.0 << noCropMarks() << true;

    // Square: the longer side drawn becomes the side.
    QTest::newRow("square from wide")
        << box(10, 200, 110, 150) << 1.0 << box(10, 200, 110, 100) << false;
    QTest::newRow("square from tall")
        << box(10, 200, 60, 100) << 1.0 << box(10, 200, 110, 100) << false;
    // 4:3 landscape: the bottom edge moves, or a tall box widens to the right.
    QTest::newRow("4:3 from 100 x 100")
        << box(10, 200, 110, 100) << 0.75 << box(10, 200, 110, 125) << false;
    QTest::newRow("4:3 from 60 x 90")
        << box(10, 200, 70, 110) << 0.75 << box(10, 200, 130, 110) << false;
    // The fraction the rule leaves is kept: 101 x 0.75 = 75.75.
    QTest::newRow("4:3 with a fraction")
        << box(10, 200, 111, 100) << 0.75 << box(10, 200, 111, 124.25) << false;
    // A fixed proportion is never refused, and nothing clamps it to the view.
    QTest::newRow("square widened beyond the view")
        << box(200, 250, 220, 10) << 1.0 << box(200, 250, 440, 10) << false;
    QTest::newRow("square of a very thin box")
        << box(10, 200, 12, 10) << 1.0 << box(10, 200, 200, 10) << false;
    // Zero height counts as ratio 0: the width collapses too.
    QTest::newRow("square, two corners at one height")
        << box(10, 100, 60, 100) << 1.0 << box(10, 100, 10, 100) << false;
    QTest::newRow("4:3, one point twice")
        << box(50, 50, 50, 50) << 0.75 << box(50, 50, 50, 50) << false;
}

void TestCropGeometry::constrain()
{
    QFETCH(CropCoords, given);
    QFETCH(double, ratio);
    QFETCH(CropCoords, expected);
    QFETCH(bool, refused);
    ProgramState state;
    test::ScriptedDialogs dialogs;
    state.services.dialogs = &dialogs;
    CropCoords crop = given;
    const CropCoords result = imaging::CONSTRAIN(state, crop, 0.33, 3, ratio);
    QCOMPARE(result, expected);
    if (refused) {
        QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("Proportion too extreme!")});
        QCOMPARE(crop, given); // the rectangle passed in is left as it was
    } else {
        QVERIFY(dialogs.boxes.isEmpty());
        QCOMPARE(crop, expected); // changed in place
    }
}

void TestCropGeometry::marked_data()
{
    QTest::addColumn<QPoint>("first");
    QTest::addColumn<QPoint>("second");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<CropCoords>("marked"); // normalised and constrained, as Crop gives it
    QTest::addColumn<CropCoords>("kept");   // then kept inside the view, as a drag ends

    const QPoint a(10, 200);
    const QPoint b(111, 100);
    const QPoint c(70, 109);
    QTest::newRow("4:3 wide, down and right")
        << a << b << 0.75 << box(10, 200, 111, 124.25) << box(10, 200, 111, 124.25);
    QTest::newRow("4:3 wide, up and left")
        << b << a << 0.75 << box(10, 200, 111, 124.25) << box(10, 200, 111, 124.25);
    // 91 / 0.75 leaves a third.
    QTest::newRow("4:3 tall, down and right")
        << a << c << 0.75 << box(10, 200, 10 + 364 / 3.0, 109) << box(10, 200, 10 + 364 / 3.0, 109);
    QTest::newRow("4:3 tall, up and left")
        << c << a << 0.75 << box(10, 200, 10 + 364 / 3.0, 109) << box(10, 200, 10 + 364 / 3.0, 109);
    QTest::newRow("square, up and right") << QPoint(50, 40) << QPoint(200, 180) << 1.0
                                          << box(50, 180, 200, 30) << box(50, 180, 200, 30);
    // Past the view's right edge: the box shifts left whole, fractions and all.
    QTest::newRow("4:3 widened past the right edge")
        << QPoint(250, 250) << QPoint(270, 159) << 0.75 << box(250, 250, 250 + 364 / 3.0, 159)
        << box(278 - 364 / 3.0, 250, 278, 159);
    // Past the bottom edge: the box shifts up.
    QTest::newRow("4:3 lengthened past the bottom edge")
        << QPoint(211, 50) << QPoint(10, 60) << 0.75 << box(10, 60, 211, -90.75)
        << box(10, 151.75, 211, 1);
    // Marked on the view's left edge: shifted right by one.
    QTest::newRow("4:3 from the left edge")
        << QPoint(0, 256) << QPoint(101, 150) << 0.75 << box(0, 256, 424 / 3.0, 150)
        << box(1, 256, 1 + 424 / 3.0, 150);
}

void TestCropGeometry::marked()
{
    QFETCH(QPoint, first);
    QFETCH(QPoint, second);
    QFETCH(double, ratio);
    QFETCH(CropCoords, marked);
    QFETCH(CropCoords, kept);
    ProgramState state;
    CropCoords crop{first, second};
    imaging::NORMCROPS(crop);
    QCOMPARE(imaging::CONSTRAIN(state, crop, 0.33, 3, ratio), marked);
    imaging::keepInside(crop);
    QCOMPARE(crop, kept);
    // Exactly the proportion, not to the nearest pixel.
    QCOMPARE(std::abs(crop[0].y() - crop[1].y()), ratio * std::abs(crop[1].x() - crop[0].x()));
}

void TestCropGeometry::keepInside_data()
{
    QTest::addColumn<CropCoords>("given");
    QTest::addColumn<CropCoords>("expected");
    QTest::newRow("inside") << box(10, 200, 110, 100) << box(10, 200, 110, 100);
    QTest::newRow("on the borders") << box(1, 256, 278, 1) << box(1, 256, 278, 1);
    QTest::newRow("past the left border") << box(-5, 200, 95, 100) << box(1, 200, 101, 100);
    QTest::newRow("one past the left border") << box(0, 200, 100, 100) << box(1, 200, 101, 100);
    QTest::newRow("one past the top border") << box(10, 257, 110, 157) << box(10, 256, 110, 156);
    QTest::newRow("one past the right border")
        << box(179, 200, 279, 100) << box(178, 200, 278, 100);
    QTest::newRow("one past the bottom border") << box(10, 100, 110, 0) << box(10, 101, 110, 1);
    QTest::newRow("past the top border") << box(10, 260, 110, 160) << box(10, 256, 110, 156);
    QTest::newRow("past the right border") << box(200, 200, 290, 100) << box(188, 200, 278, 100);
    QTest::newRow("past the bottom border") << box(10, 100, 110, -3) << box(10, 104, 110, 1);
    QTest::newRow("past left and bottom") << box(-10, 50, 40, -20) << box(1, 71, 51, 1);
    // Wider than the view: the left rule first, then the right one wins.
    QTest::newRow("wider than the view") << box(-10, 200, 290, 100) << box(-22, 200, 278, 100);
    QTest::newRow("higher than the view") << box(10, 300, 110, -10) << box(10, 256, 110, -54);
}

void TestCropGeometry::keepInside()
{
    QFETCH(CropCoords, given);
    QFETCH(CropCoords, expected);
    CropCoords crop = given;
    imaging::keepInside(crop);
    QCOMPARE(crop, expected);
}

void TestCropGeometry::stretch_data()
{
    QTest::addColumn<CropCoords>("given");
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<CropCoords>("expected");

    const CropCoords marks = box(50, 200, 150, 100);
    QTest::newRow("5 from the left edge")
        << marks << QPoint(45, 150) << QPoint(35, 152) << box(40, 200, 150, 100);
    QTest::newRow("6 from the left edge") << marks << QPoint(44, 150) << QPoint(34, 152) << marks;
    QTest::newRow("inside, 5 from the left edge")
        << marks << QPoint(55, 150) << QPoint(60, 150) << box(55, 200, 150, 100);
    QTest::newRow("5 from the right edge")
        << marks << QPoint(155, 150) << QPoint(170, 150) << box(50, 200, 165, 100);
    QTest::newRow("5 from the top edge")
        << marks << QPoint(100, 205) << QPoint(100, 215) << box(50, 210, 150, 100);
    QTest::newRow("6 from the bottom edge") << marks << QPoint(100, 94) << QPoint(100, 80) << marks;
    QTest::newRow("at a corner: two edges")
        << marks << QPoint(151, 99) << QPoint(161, 89) << box(50, 200, 160, 90);
    // Under 12 units wide, the pointer can be near both sides: both move.
    QTest::newRow("narrow box shifts") << box(100, 200, 110, 100) << QPoint(105, 150)
                                       << QPoint(120, 150) << box(115, 200, 125, 100);
    QTest::newRow("12 wide: only the near side") << box(100, 200, 112, 100) << QPoint(107, 150)
                                                 << QPoint(120, 150) << box(100, 200, 125, 100);
    // Pulled past the right border: the size is kept, the left edge shifts.
    QTest::newRow("past the right border") << box(200, 200, 270, 100) << QPoint(270, 150)
                                           << QPoint(290, 150) << box(188, 200, 278, 100);
    // Pulled past the opposite edge: the corners are not reordered.
    QTest::newRow("left edge past the right one")
        << marks << QPoint(50, 150) << QPoint(200, 150) << box(200, 200, 150, 100);
    // A 4:3 box keeps its fractions: the edge caught is 5.75 from the pointer.
    const CropCoords fourThree = box(10, 200, 111, 124.25);
    QTest::newRow("4:3, fractional bottom edge pulled")
        << fourThree << QPoint(60, 130) << QPoint(60, 120) << box(10, 200, 111, 114.25);
    QTest::newRow("4:3, 6.25 from the bottom edge")
        << fourThree << QPoint(60, 118) << QPoint(60, 110) << fourThree;
    // A 4:3 box under 12 units both ways moves whole: still 4:3 exactly.
    QTest::newRow("small 4:3 box shifts") << box(100, 200, 109, 193.25) << QPoint(104, 196)
                                          << QPoint(110, 190) << box(106, 194, 115, 187.25);
    QTest::newRow("fractional right edge past the right border")
        << box(150, 200, 150 + 364 / 3.0, 109) << QPoint(272, 150) << QPoint(290, 150)
        << box(278 - 418 / 3.0, 200, 278, 109);
}

void TestCropGeometry::stretch()
{
    QFETCH(CropCoords, given);
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(CropCoords, expected);
    CropCoords crop = given;
    imaging::stretchBy(crop, from, to);
    QCOMPARE(crop, expected);
}

void TestCropGeometry::drag_data()
{
    QTest::addColumn<CropCoords>("given");
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<CropCoords>("expected");
    QTest::newRow("both corners move")
        << box(50, 200, 150, 100) << QPoint(100, 150) << QPoint(90, 170) << box(40, 220, 140, 120);
    QTest::newRow("reversed corners keep their order")
        << box(150, 100, 50, 200) << QPoint(100, 150) << QPoint(103, 146) << box(153, 96, 53, 196);
    // Dragging alone does not keep the box inside; the routine does that at the end.
    QTest::newRow("out of the view")
        << box(10, 200, 110, 100) << QPoint(50, 150) << QPoint(35, 150) << box(-5, 200, 95, 100);
    QTest::newRow("4:3 keeps its fractions")
        << box(10, 200, 10 + 364 / 3.0, 124.25) << QPoint(50, 150) << QPoint(57, 146)
        << box(17, 196, 17 + 364 / 3.0, 120.25);
}

void TestCropGeometry::drag()
{
    QFETCH(CropCoords, given);
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(CropCoords, expected);
    CropCoords crop = given;
    imaging::dragBy(crop, from, to);
    QCOMPARE(crop, expected);
}

QTEST_GUILESS_MAIN(TestCropGeometry)
#include "tst_crop_geometry.moc"
