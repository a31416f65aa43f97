// The main window's two tab pages: every control where the layout puts it,
// with its caption, font size, enabled state and tab stop, the tab headers,
// and the initial choices taken from the options.
#include "app/main_window.h"
#include "app/window_layout.h"
#include "core/program_state.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>

#include <memory>

using namespace framla;
using app::MainWindow;

namespace {

struct Row {
    const char *name;
    const char *parent;
    const char *cls;
    QRect rect; // Qt coordinates: y downwards from the parent's top
    const char *text;
    int points;
    bool enabled;
    bool tabStop;
    bool shown = true;
};

constexpr auto L = "QLabel", F = "QFrame", G = "QGroupBox", B = "QPushButton", E = "QLineEdit",
               M = "QPlainTextEdit", C = "QCheckBox", R = "QRadioButton", S = "QSpinBox",
               V = "framla::imaging::ImageView";
constexpr auto ST = "oSettingsTab", IT = "oImageTab";

// One control to a line, in the order the pages are built.
// clang-format off
const Row kRows[] = {
    {"settingsTitle", ST, L, {48, 19, 504, 48}, "Editing configuration file - framla.cfg", 24, true, false},
    {"addressLabel", ST, L, {12, 62, 120, 24}, "Server address", 12, true, false},
    {"oXbpAddress", ST, E, {144, 62, 420, 24}, "shop.example", 12, true, true},
    {"portLabel", ST, L, {12, 88, 120, 22}, "Port (normal=22)", 12, true, false},
    {"oXbpPort", ST, E, {144, 88, 70, 22}, "2222", 12, true, true},
    {"pathLabel", ST, L, {24, 112, 108, 24}, "Database path", 12, true, false},
    {"oXbpPath", ST, E, {144, 112, 420, 24}, "/home/jewel", 12, true, true},
    {"userLabel", ST, L, {24, 138, 108, 24}, "User name", 12, true, false},
    {"oXbpUser", ST, E, {144, 138, 180, 24}, "clerk", 12, true, true},
    {"passwordLabel", ST, L, {24, 164, 108, 22}, "Password", 12, true, false},
    {"oXbpPass", ST, E, {144, 164, 180, 22}, "secret", 12, true, true},
    {"oXbpSave", ST, B, {144, 190, 216, 24}, "Test and save above settings", 12, true, true},
    {"cameraGroup", ST, G, {100, 225, 290, 60}, "Available live cameras", 11, true, false},
    {"cameraFrame", ST, F, {105, 242, 280, 43}, "", 12, true, false},
    {"oXbpCamsTxt", "cameraFrame", M, {2, -4, 276, 45}, "Click Refresh (This function needs a camera\nthat Video4Linux knows and the commandcam tool)", 10, true, false},
    {"cameraRefresh", ST, B, {310, 226, 50, 17}, "Refresh", 8, true, false},
    {"instructionsTitle", ST, L, {17, 287, 320, 40}, "Operating Instructions", 24, true, false},
    {"backToImage", ST, B, {20, 245, 35, 35}, "<", 24, true, false},
    {"helpTransfer", ST, B, {15, 327, 30, 35}, "ix", 12, true, false},
    {"helpInventory", ST, B, {50, 327, 80, 35}, "Inventory", 12, true, false},
    {"helpSuppliers", ST, B, {135, 327, 85, 35}, "Suppliers", 12, true, false},
    {"helpCustomers", ST, B, {225, 327, 90, 35}, "Customers", 12, true, false},
    {"helpRepairs", ST, B, {320, 327, 70, 35}, "Repairs", 12, true, false},
    {"cropGroup", ST, G, {400, 140, 170, 70}, "Cropping proportions", 11, true, false},
    {"cropFrame", ST, F, {405, 159, 160, 48}, "", 12, true, false},
    {"cropFree", "cropFrame", R, {0, 0, 150, 16}, "Free/manual setting", 12, true, false},
    {"cropRatio43", "cropFrame", R, {0, 16, 150, 16}, "Rectangle (Ratio 4:3)", 12, true, false},
    {"cropSquare", "cropFrame", R, {0, 32, 150, 16}, "Square (ratio = 1:1)", 12, true, false},
    {"captureGroup", ST, G, {400, 216, 170, 70}, "Capture options", 11, true, false},
    {"captureFrame", ST, F, {405, 235, 160, 48}, "", 12, true, false},
    {"deviceLabel", "captureFrame", L, {5, 0, 135, 16}, "Device number", 12, true, false},
    {"deviceField", "captureFrame", E, {143, 0, 15, 14}, "2", 8, true, false},
    {"delayLabel", "captureFrame", L, {5, 14, 135, 16}, "Delay (seconds)", 12, true, false},
    {"delayField", "captureFrame", E, {143, 16, 15, 14}, "5", 8, true, false},
    {"previewLabel", "captureFrame", L, {5, 30, 135, 16}, "Show preview video", 12, true, false},
    {"previewBox", "captureFrame", C, {145, 32, 14, 14}, "", 12, true, false},
    {"nameGroup", ST, G, {400, 287, 170, 37}, "Default image name", 11, true, false},
    {"nameFrame", ST, F, {405, 302, 160, 20}, "", 12, true, false},
    {"useFilenameLabel", "nameFrame", L, {20, 2, 150, 16}, "Use source filename", 12, true, false},
    {"oXbpName", "nameFrame", C, {2, 4, 14, 14}, "", 12, true, false},
    {"aboutFramla", ST, B, {400, 332, 170, 30}, "About Framla", 12, true, true},
    {"historyButton", ST, B, {20, 190, 110, 24}, "History", 12, true, false},
    {"batchButton", ST, B, {20, 218, 75, 24}, "Batch", 12, true, false},

    {"oStat", IT, V, {10, 19, 278, 256}, "", 12, true, false},
    {"oStat2", IT, V, {446, 158, 141, 130}, "", 12, true, false},
    {"toSettings", IT, B, {12, 327, 30, 30}, "?", 18, true, true},
    {"programName", IT, L, {50, 324, 95, 36}, "Framla", 24, true, false},
    {"outboxCount", IT, L, {48, 360, 150, 12}, "", 8, true, false},
    {"programVersion", IT, L, {143, 330, 50, 30}, "3.20", 18, true, false},
    {"targetCodeLabel", IT, L, {201, 332, 99, 24}, "Target code", 16, true, false},
    {"modeInventory", IT, R, {308, 320, 88, 16}, "Inventory ", 12, true, false},
    {"modeCustSup", IT, R, {308, 336, 88, 16}, "Cust/Sup ", 12, true, false},
    {"modeRepairs", IT, R, {308, 352, 88, 16}, "Repairs ", 12, true, false},
    {"oXbpGetCd", IT, E, {398, 330, 115, 28}, "", 16, true, true},
    {"startHere", IT, L, {390, 359, 70, 9}, "S T A R T   H E R E", 6, true, false},
    {"descriptionGroup", IT, G, {296, 22, 293, 110}, "Description as recorded on server:", 12, true, false},
    {"oXbpShowTxt", IT, M, {300, 40, 285, 87}, "\n              WELCOME TO THE\n              ZMR IMAGE PUTTER\n                  VERSION 3.20", 12, true, false},
    {"oXbpShowExisting", IT, B, {490, 114, 90, 18}, "Show Existing", 12, true, false, false},
    {"oXbpImageFile", IT, E, {200, 295, 405, 24}, "", 12, true, true},
    {"oXbpGrab", IT, B, {40, 295, 80, 24}, "Capture", 16, true, false},
    {"oXbpBrowse", IT, B, {123, 295, 75, 24}, "Find", 16, true, false},
    {"oXbpBrowData", IT, B, {12, 295, 25, 24}, "ix", 16, true, false},
    {"oXbpCrop", IT, B, {12, 273, 102, 20}, "Set crop marks", 12, false, false},
    {"brightLabel", IT, L, {117, 273, 42, 20}, "Bright", 12, true, false},
    {"gammaLabel", IT, L, {194, 273, 53, 20}, "Gamma", 12, true, false},
    {"contrastLabel", IT, L, {277, 273, 60, 20}, "Contrast", 12, true, false},
    {"oXbpBright", IT, S, {160, 273, 30, 20}, "4", 12, true, false},
    {"oXbpGamma", IT, S, {247, 273, 30, 20}, "0", 12, true, false},
    {"oXbpContrast", IT, S, {339, 273, 30, 20}, "0", 12, true, false},
    {"oXbpRotate", IT, B, {291, 160, 40, 18}, "Rotate", 10, false, false},
    {"oXbpDelSrc", IT, B, {291, 178, 32, 24}, "X", 18, false, false},
    {"eraseLabel", IT, L, {323, 181, 118, 16}, "< Erase Image >", 12, true, false},
    {"switchView", IT, B, {291, 141, 22, 20}, "<>", 12, true, false},
    {"switchLabel", IT, L, {318, 146, 108, 16}, "Switch (1sec)", 12, true, false},
    {"copyLabel", IT, L, {353, 162, 108, 16}, "<<Copy<<", 12, true, false},
    {"oXbpDelTarg", IT, B, {425, 181, 20, 18}, "X", 12, false, false},
    {"oXbpCpTarg", IT, B, {425, 163, 20, 18}, "<", 18, false, false},
    {"targetNameLabel", IT, L, {300, 205, 144, 16}, "Target image name/Ssr", 12, true, false},
    {"oXbpTargGrp", IT, L, {444, 143, 144, 14}, " It's your move...", 8, true, false},
    {"oXbpInstruct", IT, L, {330, 131, 244, 14}, "", 8, true, false},
    {"oXbpTargName", IT, E, {300, 220, 144, 28}, "", 16, false, true},
    {"oXbpPut", IT, B, {512, 327, 76, 34}, "Put it", 24, false, true},
    {"sizeFrame", IT, F, {384, 262, 56, 16}, "", 12, true, false},
    {"sizeS", "sizeFrame", R, {0, 0, 16, 16}, "", 12, true, false},
    {"sizeM", "sizeFrame", R, {20, 0, 16, 16}, "", 12, true, false},
    {"sizeL", "sizeFrame", R, {40, 0, 16, 16}, "", 12, true, false},
    {"maxPixelsLabel", IT, L, {386, 248, 54, 16}, "Max.Pixels", 8, true, false},
    {"sizePixelsLabel", IT, L, {380, 272, 64, 20}, "160 320 640", 8, true, false},
};
// clang-format on

QString textOf(const QWidget *w)
{
    if (auto *label = qobject_cast<const QLabel *>(w))
        return label->text();
    if (auto *button = qobject_cast<const QAbstractButton *>(w))
        return button->text();
    if (auto *edit = qobject_cast<const QLineEdit *>(w))
        return edit->text();
    if (auto *edit = qobject_cast<const QPlainTextEdit *>(w))
        return edit->toPlainText();
    if (auto *group = qobject_cast<const QGroupBox *>(w))
        return group->title();
    if (auto *spin = qobject_cast<const QSpinBox *>(w))
        return QString::number(spin->value());
    return {};
}

/// A state as start-up leaves it after reading a settings file.
ProgramState readState()
{
    ProgramState state;
    state.login.cAddress = QStringLiteral("shop.example");
    state.login.cPort = QStringLiteral("2222");
    state.login.cPath = QStringLiteral("/home/jewel");
    state.login.cUser = QStringLiteral("clerk");
    state.login.cPass = QStringLiteral("secret");
    state.nDevNum = 2;
    state.nDelaySecs = 5;
    return state;
}

std::unique_ptr<MainWindow> builtWindow(const ProgramState &state)
{
    auto window = std::make_unique<MainWindow>(state);
    window->buildPages();
    return window;
}

QStringList checkedNames(const QWidget *window)
{
    QStringList names;
    const auto buttons = window->findChildren<QAbstractButton *>();
    for (const QAbstractButton *button : buttons) {
        if (button->isChecked())
            names << button->objectName();
    }
    names.sort();
    return names;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void controls_data();
    void controls();
    void everyControlIsListed();
    void coordinates_data();
    void coordinates();
    void imageTabTitle_data();
    void imageTabTitle();
    void settingsTitle_data();
    void settingsTitle();
    void descriptionScrolls_data();
    void descriptionScrolls();
    void pagesAndHeaders();
    void initialChoices_data();
    void initialChoices();
    void tabOrder();
    void welcome_data();
    void welcome();
    void helpPages_data();
    void helpPages();
};

void TestMainWindow::controls_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QByteArray>("cls");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("points");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("tabStop");
    QTest::addColumn<bool>("shown");
    for (const Row &row : kRows) {
        QTest::newRow(row.name) << QString::fromLatin1(row.parent) << QByteArray(row.cls)
                                << row.rect << QString::fromLatin1(row.text) << row.points
                                << row.enabled << row.tabStop << row.shown;
    }
}

void TestMainWindow::controls()
{
    QFETCH(QString, parent);
    QFETCH(QByteArray, cls);
    QFETCH(QRect, rect);
    QFETCH(QString, text);
    QFETCH(int, points);
    QFETCH(bool, enabled);
    QFETCH(bool, tabStop);
    QFETCH(bool, shown);

    const auto window = builtWindow(readState());
    const QWidget *w = window->control(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(w != nullptr);
    QCOMPARE(w->parentWidget()->objectName(), parent);
    QCOMPARE(QByteArray(w->metaObject()->className()), cls);
    QCOMPARE(w->geometry(), rect);
    QCOMPARE(textOf(w), text);
    // Sizes are pixels at 96 dpi; the few captions that would not fit their
    // boxes at the given size are drawn a pixel smaller.
    const bool narrowed =
        QStringList{"settingsTitle", "cropRatio43", "oXbpShowExisting", "targetNameLabel"}.contains(
            QLatin1String(QTest::currentDataTag()));
    QCOMPARE(w->font().pixelSize(), qRound(points * 96 / 72.0) - (narrowed ? 1 : 0));
    QCOMPARE(w->isEnabled(), enabled);
    QCOMPARE(bool(w->focusPolicy() & Qt::TabFocus), tabStop);
    QCOMPARE(!w->isHidden(), shown);
}

void TestMainWindow::everyControlIsListed()
{
    // Nothing on either page is left out of the table above; on this system
    // the window has a title bar and hence no quit button of its own.
    const auto window = builtWindow(readState());
    QStringList built;
    for (QWidget *page : {window->settingsPage(), window->imagePage()}) {
        for (const QObject *child : page->children()) {
            built << child->objectName();
            if (child->metaObject() != &QFrame::staticMetaObject)
                continue; // a control's own parts are not controls
            for (const QObject *inner : child->children())
                built << inner->objectName();
        }
    }
    QStringList listed;
    for (const Row &row : kRows)
        listed << QString::fromLatin1(row.name);
    built.sort();
    listed.sort();
    QCOMPARE(built, listed);
    QVERIFY(!(window->windowFlags() & Qt::FramelessWindowHint));
    QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
}

void TestMainWindow::coordinates_data()
{
    QTest::addColumn<int>("parentHeight");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("page in dialog")
        << 400 << QPoint(0, 0) << QSize(594, 372) << QRect(0, 28, 594, 372);
    QTest::newRow("Put it") << 372 << QPoint(512, 11) << QSize(76, 34) << QRect(512, 327, 76, 34);
    QTest::newRow("fills parent") << 16 << QPoint(0, 0) << QSize(16, 16) << QRect(0, 0, 16, 16);
    QTest::newRow("taller than parent")
        << 43 << QPoint(2, 2) << QSize(276, 45) << QRect(2, -4, 276, 45);
}

void TestMainWindow::coordinates()
{
    QFETCH(int, parentHeight);
    QFETCH(QPoint, pos);
    QFETCH(QSize, size);
    QFETCH(QRect, expected);
    QCOMPARE(app::layout::toQtRect(parentHeight, pos, size), expected);
}

void TestMainWindow::imageTabTitle_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("unix path") << "/home/jewel"
                               << ".../jewel";
    QTest::newRow("no slash") << "jewel"
                              << "...jewel";
    QTest::newRow("windows path") << "d:\\shop\\jewel"
                                  << "...d:\\shop\\jewel";
    QTest::newRow("trailing slash") << "/home/jewel/"
                                    << ".../";
    QTest::newRow("empty") << ""
                           << "...";
}

void TestMainWindow::imageTabTitle()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    ProgramState state = readState();
    state.login.cPath = path;
    const auto window = builtWindow(state);
    QCOMPARE(window->tabBar()->tabText(0), title);
    QCOMPARE(window->tabBar()->tabText(1), QStringLiteral("Settings && Instructions"));
}

void TestMainWindow::settingsTitle_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("title");
    // clang-format off
    QTest::newRow("default") << "Framla.cfg" << "Editing configuration file - framla.cfg";
    QTest::newRow("first argument") << "shop2.cfg" << "Editing configuration file - shop2.cfg";
    QTest::newRow("a long name, drawn smaller") << "mainstreetjewellers.cfg" << "Editing configuration file - mainstreetjewellers.cfg";
    // clang-format on
}

void TestMainWindow::settingsTitle()
{
    QFETCH(QString, file);
    QFETCH(QString, title);
    ProgramState state = readState();
    state.cCfgFileNm = file;
    const auto window = builtWindow(state);
    const auto *label = window->findChild<QLabel *>(QStringLiteral("settingsTitle"));
    QCOMPARE(label->text(), title);
    QVERIFY(label->fontMetrics().horizontalAdvance(title) <= label->width());
}

void TestMainWindow::descriptionScrolls_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("scrollBar");
    QTest::newRow("four lines") << 4 << false;
    QTest::newRow("seven lines") << 7 << true;
}

void TestMainWindow::descriptionScrolls()
{
    QFETCH(int, lines);
    QFETCH(bool, scrollBar);
    const auto window = builtWindow(readState());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *edit = qobject_cast<QPlainTextEdit *>(window->control(QStringLiteral("oXbpShowTxt")));
    edit->setPlainText(QStringLiteral("Line\n").repeated(lines).chopped(1));
    QTRY_COMPARE(edit->verticalScrollBar()->isVisible(), scrollBar);
}

void TestMainWindow::pagesAndHeaders()
{
    const auto window = builtWindow(readState());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->size(), QSize(600, 400));
    QVERIFY(!window->windowIcon().isNull());
    QCOMPARE(window->settingsPage()->geometry(), QRect(0, 28, 594, 372));
    QCOMPARE(window->imagePage()->geometry(), QRect(0, 28, 595, 372));

    // Image header from the left end to 26 % before the right end, settings
    // header from there on; both along the top edge of the pages.
    QTabBar *bar = window->tabBar();
    QCOMPARE(bar->geometry().topLeft(), QPoint(0, 28));
    QCOMPARE(bar->tabRect(0).left(), 0);
    QCOMPARE(bar->tabRect(0).width(), 440);
    QCOMPARE(bar->tabRect(1).left(), 440);
    QCOMPARE(bar->tabRect(1).right(), 593);

    QVERIFY(window->imagePage()->isVisible());
    QVERIFY(!window->settingsPage()->isVisible());
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    QCOMPARE(window->currentPage(), MainWindow::Page::Settings);
    QVERIFY(window->settingsPage()->isVisible());
    QVERIFY(!window->imagePage()->isVisible());
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    QCOMPARE(window->currentPage(), MainWindow::Page::Image);
    QVERIFY(window->imagePage()->isVisible());
}

void TestMainWindow::initialChoices_data()
{
    QTest::addColumn<bool>("slot1");
    QTest::addColumn<QString>("slot4");
    QTest::addColumn<double>("slot5");
    QTest::addColumn<bool>("slot6");
    QTest::addColumn<bool>("slot10");
    QTest::addColumn<bool>("preview");
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<bool>("nameEnabled");

    QTest::newRow("defaults") << true << "M" << 0.0 << true << false << true
                              << QStringList{"cropFree", "modeInventory", "oXbpName", "previewBox",
                                             "sizeM"}
                              << false;
    QTest::newRow("4:3 small, no preview")
        << true << "S" << 0.75 << false << false << false
        << QStringList{"cropRatio43", "modeInventory", "sizeS"} << false;
    QTest::newRow("square large, Cust/Sup")
        << false << "L" << 1.0 << false << false << false
        << QStringList{"cropSquare", "modeCustSup", "sizeL"} << true;
    QTest::newRow("other ratio, Repairs") << false << "M" << 0.5 << false << true << false
                                          << QStringList{"modeRepairs", "sizeM"} << false;
    QTest::newRow("start code in Repairs mode")
        << true << "x" << 0.74 << false << true << false << QStringList{"modeInventory"} << false;
}

void TestMainWindow::initialChoices()
{
    QFETCH(bool, slot1);
    QFETCH(QString, slot4);
    QFETCH(double, slot5);
    QFETCH(bool, slot6);
    QFETCH(bool, slot10);
    QFETCH(bool, preview);
    QFETCH(QStringList, checked);
    QFETCH(bool, nameEnabled);

    ProgramState state = readState();
    state.aLocalCfg[0] = slot1;
    state.aLocalCfg[3] = slot4;
    state.aLocalCfg[4] = slot5;
    state.aLocalCfg[5] = slot6;
    state.aLocalCfg[9] = slot10;
    state.lPreview = preview;
    const auto window = builtWindow(state);
    QCOMPARE(checkedNames(window.get()), checked);
    QCOMPARE(window->imageTab().oXbpTargName->isEnabled(), nameEnabled);
}

void TestMainWindow::tabOrder()
{
    const auto window = builtWindow(readState());
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    const auto walk = [&](QWidget *start, int steps) {
        start->setFocus(Qt::OtherFocusReason);
        QStringList names;
        for (int i = 0; i < steps; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            names << QApplication::focusWidget()->objectName();
        }
        return names;
    };
    // Disabled fields ("Put it", the target name in Inventory mode) and the
    // hidden page are passed over.
    QCOMPARE(walk(window->imageTab().oXbpGetCd, 3),
             (QStringList{"oXbpImageFile", "toSettings", "oXbpGetCd"}));

    window->showPage(MainWindow::Page::Settings);
    QCOMPARE(walk(window->settingsTab().oXbpAddress, 7),
             (QStringList{"oXbpPort", "oXbpPath", "oXbpUser", "oXbpPass", "oXbpSave", "aboutFramla",
                          "oXbpAddress"}));

    // A full one-character field hands the focus on.
    window->settingsTab().deviceField->setFocus(Qt::OtherFocusReason);
    window->settingsTab().deviceField->clear();
    QTest::keyClick(window->settingsTab().deviceField, Qt::Key_3);
    QCOMPARE(window->settingsTab().deviceField->text(), QStringLiteral("3"));
    QCOMPARE(QApplication::focusWidget(), window->settingsTab().delayField);
}

void TestMainWindow::helpPages_data()
{
    using app::layout::HelpTopic;
    QTest::addColumn<HelpTopic>("topic");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("phrase");
    QTest::newRow("ix") << HelpTopic::Transfer << "Sending transfer data files to server"
                        << "./shuttle";
    QTest::newRow("Inventory") << HelpTopic::Inventory
                               << "How to use Framla for normal Inventory codes"
                               << "F0001";
    QTest::newRow("Suppliers") << HelpTopic::Suppliers
                               << "Framla for Suppliers stock reference/codes"
                               << "4-digit";
    QTest::newRow("Customers") << HelpTopic::Customers << "Framla for customer's own items"
                               << "5-digit";
    QTest::newRow("Repairs") << HelpTopic::Repairs << "Framla for service orders/repairs"
                             << "service order";
    QTest::newRow("About") << HelpTopic::About << "About Framla"
                           << "INSTRUCTIONS FOR SETTING UP";
}

void TestMainWindow::helpPages()
{
    QFETCH(app::layout::HelpTopic, topic);
    QFETCH(QString, title);
    QFETCH(QString, phrase);
    const app::layout::HelpPage page = app::layout::helpPage(topic);
    QCOMPARE(page.title, title);
    QVERIFY2(page.text.contains(phrase), qPrintable(page.text));
    // Lines are joined with CR LF, never a bare line feed.
    QVERIFY(page.text.contains(QLatin1String("\r\n")));
    QCOMPARE(page.text.count(QLatin1Char('\n')), page.text.count(QLatin1String("\r\n")));
}

void TestMainWindow::welcome_data()
{
    QTest::addColumn<QString>("tryCode");
    QTest::addColumn<QString>("text");
    const QString plain = "\r\n              WELCOME TO THE\r\n              ZMR IMAGE PUTTER"
                          "\r\n                  VERSION 3.20";
    QTest::newRow("no demo") << "" << plain;
    QTest::newRow("demo code")
        << "AB12"
        << "              WELCOME TO THE\r\n              ZMR IMAGE PUTTER\r\n"
           "                  VERSION 3.20\r\n        type AB12 and press Enter";
    QTest::newRow("not a plain code") << "AB12\r\nrm" << plain;
    QTest::newRow("too long to be a code") << "AB123456789012" << plain;
}

void TestMainWindow::welcome()
{
    QFETCH(QString, tryCode);
    QFETCH(QString, text);
    QCOMPARE(app::layout::welcomeText(tryCode), text);
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
