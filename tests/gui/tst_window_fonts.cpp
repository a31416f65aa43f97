// Every caption of both tab pages fits its control in the font the layout
// gives it: the text's advance against the room the style leaves for it
// (after a radio's or check box's indicator, inside a button's frame, after
// a group box's title margin). One row per captioned control of the layout
// tables, so a control added there is checked here too.
#include "app/main_window.h"
#include "app/window_layout.h"
#include "core/program_state.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTest>

#include <memory>

using namespace framla;
using app::MainWindow;
namespace layout = app::layout;

namespace {

std::unique_ptr<MainWindow> builtWindow()
{
    ProgramState state;
    state.login.cPath = QStringLiteral("/home/jewel");
    auto window = std::make_unique<MainWindow>(state);
    window->buildPages();
    return window;
}

/// Lines of a text as it is shown: CR LF breaks lines, "&&" shows as "&" on
/// buttons and tab headers.
QStringList shownLines(QString text, bool mnemonics)
{
    if (mnemonics)
        text.replace(QLatin1String("&&"), QLatin1String("&"));
    return text.split(QLatin1String("\r\n"));
}

int widestLine(const QFontMetrics &metrics, const QStringList &lines)
{
    int widest = 0;
    for (const QString &line : lines)
        widest = qMax(widest, metrics.horizontalAdvance(line));
    return widest;
}

/// The width the style leaves for the caption of a control.
int roomForCaption(const QWidget *w)
{
    const QStyle *style = w->style();
    if (auto *button = qobject_cast<const QPushButton *>(w)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.features = QStyleOptionButton::None;
        return style->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
    }
    if (auto *radio = qobject_cast<const QRadioButton *>(w)) {
        QStyleOptionButton option;
        option.initFrom(radio);
        return style->subElementRect(QStyle::SE_RadioButtonContents, &option, radio).width();
    }
    if (auto *check = qobject_cast<const QCheckBox *>(w)) {
        QStyleOptionButton option;
        option.initFrom(check);
        return style->subElementRect(QStyle::SE_CheckBoxContents, &option, check).width();
    }
    if (auto *group = qobject_cast<const QGroupBox *>(w)) {
        // The title starts after the style's margin; the same margin is left
        // on the right.
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect title =
            style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
        return group->width() - 2 * title.left();
    }
    if (auto *edit = qobject_cast<const QPlainTextEdit *>(w)) {
        const qreal margin = edit->document()->documentMargin();
        return edit->contentsRect().width() - qCeil(2 * margin);
    }
    return w->contentsRect().width();
}

} // namespace

class TestWindowFonts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void captionFits_data();
    void captionFits();
    void labelInkFits_data();
    void labelInkFits();
    void tabHeaderFits_data();
    void tabHeaderFits();
    void pixelSizes_data();
    void pixelSizes();

private:
    std::unique_ptr<MainWindow> m_window;
};

void TestWindowFonts::initTestCase()
{
    m_window = builtWindow();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestWindowFonts::captionFits_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("mnemonics");
    for (const auto table : {layout::settingsTabControls(), layout::imageTabControls()}) {
        for (const layout::ControlRow &row : table) {
            const bool captioned =
                row.kind == layout::Kind::Label || row.kind == layout::Kind::PushButton ||
                row.kind == layout::Kind::RadioButton || row.kind == layout::Kind::CheckBox ||
                row.kind == layout::Kind::GroupBox || row.kind == layout::Kind::TextEdit;
            if (!captioned || *row.text == '\0' || qstrcmp(row.name, layout::kQuitButtonName) == 0)
                continue;
            QTest::newRow(row.name)
                << QString::fromLatin1(row.text)
                << (row.kind != layout::Kind::Label && row.kind != layout::Kind::TextEdit);
        }
    }
}

void TestWindowFonts::captionFits()
{
    QFETCH(QString, caption);
    QFETCH(bool, mnemonics);
    const QWidget *w = m_window->control(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(w != nullptr);
    const int needed = widestLine(w->fontMetrics(), shownLines(caption, mnemonics));
    const int room = roomForCaption(w);
    if (needed > room) {
        QFAIL(qPrintable(QStringLiteral("%1: \"%2\" needs %3 px in %4 (%5 px), has %6")
                             .arg(w->objectName(), caption)
                             .arg(needed)
                             .arg(QFontInfo(w->font()).family())
                             .arg(w->font().pixelSize())
                             .arg(room)));
    }
}

void TestWindowFonts::labelInkFits_data()
{
    QTest::addColumn<QString>("name");
    for (const auto table : {layout::settingsTabControls(), layout::imageTabControls()}) {
        for (const layout::ControlRow &row : table) {
            if (row.kind == layout::Kind::Label && *row.text != '\0')
                QTest::newRow(row.name) << QString::fromLatin1(row.name);
        }
    }
}

/// The first and last rows of a picture that hold any ink.
std::pair<int, int> inkRows(const QImage &picture)
{
    int top = -1;
    int bottom = -1;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (qAlpha(picture.pixel(x, y)) != 0) {
                top = top < 0 ? y : top;
                bottom = y;
                break;
            }
        }
    }
    return {top, bottom};
}

void TestWindowFonts::labelInkFits()
{
    // The label as it paints itself holds as many rows of ink as its text
    // drawn on its own with room to spare: nothing is cut off at the top or
    // the bottom.
    QFETCH(QString, name);
    auto *label = qobject_cast<QLabel *>(m_window->control(name));
    QVERIFY(label != nullptr);
    QImage free(label->width(), 3 * label->height(), QImage::Format_ARGB32);
    free.fill(Qt::transparent);
    {
        QPainter painter(&free);
        painter.setFont(label->font());
        painter.drawText(free.rect(), Qt::AlignCenter, label->text());
    }
    QImage shown(label->size(), QImage::Format_ARGB32);
    shown.fill(Qt::transparent);
    label->render(&shown, {}, {}, QWidget::DrawChildren);
    const auto [freeTop, freeBottom] = inkRows(free);
    const auto [shownTop, shownBottom] = inkRows(shown);
    QVERIFY(freeTop >= 0);
    QVERIFY2(shownBottom - shownTop == freeBottom - freeTop,
             qPrintable(QStringLiteral("%1: %2 rows of ink shown of %3")
                            .arg(name)
                            .arg(shownBottom - shownTop + 1)
                            .arg(freeBottom - freeTop + 1)));
}

void TestWindowFonts::tabHeaderFits_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("image tab header") << 0;
    QTest::newRow("settings tab header") << 1;
}

void TestWindowFonts::tabHeaderFits()
{
    QFETCH(int, index);
    const QTabBar *bar = m_window->tabBar();
    const QString caption = bar->tabText(index);
    const int needed = widestLine(bar->fontMetrics(), shownLines(caption, true));
    // Inside the header's border.
    const int frame = bar->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, bar);
    const int room = bar->tabRect(index).width() - 2 * frame;
    QVERIFY2(needed <= room,
             qPrintable(
                 QStringLiteral("\"%1\" needs %2 px, has %3").arg(caption).arg(needed).arg(room)));
}

void TestWindowFonts::pixelSizes_data()
{
    // Points are pixels at 96 dpi, rounded as the layout was drawn:
    // 12 points are 16 pixels whatever the display says.
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<QString>("family");
    QTest::newRow("6.Arial") << "startHere" << 8 << "Liberation Sans";
    QTest::newRow("8.Arial") << "cameraRefresh" << 11 << "Liberation Sans";
    QTest::newRow("8.Times New Roman") << "maxPixelsLabel" << 11 << "Liberation Serif";
    QTest::newRow("10.Times New Roman") << "oXbpRotate" << 13 << "Liberation Serif";
    QTest::newRow("11.Arial") << "cropGroup" << 15 << "Liberation Sans";
    QTest::newRow("12.Courier") << "oXbpAddress" << 16 << "Liberation Mono";
    QTest::newRow("12.Times New Roman, from the page") << "cropFree" << 16 << "Liberation Serif";
    QTest::newRow("16.Courier New") << "oXbpGetCd" << 21 << "Liberation Mono";
    QTest::newRow("18.Times New Roman") << "toSettings" << 24 << "Liberation Serif";
    QTest::newRow("24.Arial") << "instructionsTitle" << 32 << "Liberation Sans";
    QTest::newRow("24.Arial, narrowed") << "settingsTitle" << 31 << "Liberation Sans";
    QTest::newRow("12.Times New Roman, narrowed") << "cropRatio43" << 15 << "Liberation Serif";
}

void TestWindowFonts::pixelSizes()
{
    QFETCH(QString, name);
    QFETCH(int, pixels);
    QFETCH(QString, family);
    const QWidget *w = m_window->control(name);
    QVERIFY(w != nullptr);
    const QFontInfo info(w->font());
    QCOMPARE(info.pixelSize(), pixels);
    QCOMPARE(info.family(), family);
}

QTEST_MAIN(TestWindowFonts)
#include "tst_window_fonts.moc"
