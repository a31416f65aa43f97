// The settings tab's handlers on the real window, driven by key and mouse
// events: testing and saving the server settings (button and Enter), the
// database-change warning, the camera list, the crop proportion, the webcam
// options, the instruction pages and the quit button of the kiosk window.
#include "app/main_window.h"
#include "app/settings_tab.h"
#include "config/local_options.h"
#include "config/settings_file.h"
#include "runtime/files.h"
#include "support/scripted_world.h"

#include <QCheckBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>

#include <memory>

using namespace framla;
using app::MainWindow;
using Shapes = QList<Qt::CursorShape>;
Q_DECLARE_METATYPE(Shapes)

namespace {

const QString kPassed = QStringLiteral("P A S S E D   T E S T\r\nConfiguration saved");
const QString kDbChange = QStringLiteral("Database change. Please re-launch Framla.");
const QString kCannotRead =
    QStringLiteral("Cannot read ZMR database using the entered parameters.");
const QString kToolQuestion = QStringLiteral("'ImageMagick' must be installed and the\r\n"
                                             "path to ImageMagick must be registered.\r\n"
                                             "Proceed regardless. Image functions may fail.");
constexpr auto W = Qt::WaitCursor, A = Qt::ArrowCursor;

/// Option slots 7 to 9 as "device delay preview".
/// A login's five settings, in the order of the settings fields.
QStringList fieldsOf(const ServerLogin &login)
{
    return {login.cAddress, login.cPort, login.cPath, login.cUser, login.cPass};
}

QString webcamSlots(const LocalCfg &cfg)
{
    return QStringLiteral("%1 %2 %3")
        .arg(optionValue(cfg, Option::Device, -1.0))
        .arg(optionValue(cfg, Option::Delay, -1.0))
        .arg(optionValue(cfg, Option::Preview, false) ? "true" : "false");
}

/// Stands in for the window's per-event chain: Enter on a watched control
/// runs the settings tab's Enter handler.
class EnterChain final : public QObject {
public:
    explicit EnterChain(app::SettingsTab &tab)
        : m_tab(tab)
    {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        const bool enter = event->type() == QEvent::KeyPress &&
                           (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Return ||
                            static_cast<QKeyEvent *>(event)->key() == Qt::Key_Enter);
        if (enter)
            m_tab.testAndSaveFromEnter();
        return enter;
    }

private:
    app::SettingsTab &m_tab;
};

/// A clock that notes something at every pause.
class NotingClock final : public runtime::Clock {
public:
    std::function<void()> onPause;
    QTime now() const override { return {10, 30}; }
    QDate today() const override { return {2026, 12, 7}; }
    void sleep(int) override { onPause(); }
};

} // namespace

class TestSettingsTab : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void enterTestsAndSaves_data();
    void enterTestsAndSaves();
    void buttonTestsAndSaves_data();
    void buttonTestsAndSaves();
    void failedTestChangesNothing_data();
    void failedTestChangesNothing();
    void unwrittenSettingsNotReportedSaved();
    void pointers_data();
    void pointers();
    void declinedToolCheckStays();
    void cropRadios_data();
    void cropRadios();
    void cameraList_data();
    void cameraList();
    void webcamOptions_data();
    void webcamOptions();
    void pagesAndBack_data();
    void pagesAndBack();
    void kioskQuit_data();
    void kioskQuit();

private:
    /// The window with its settings tab handlers, showing the settings tab.
    void build(bool active = true);
    QLineEdit *field(const QString &name) const;
    /// Replaces a field's text by typing.
    void retype(const QString &name, const QString &text) const;
    LocalCfg savedOptions() const;

    test::ScriptedWorld w;
    std::unique_ptr<MainWindow> m_window;
    app::SettingsTab *m_tab = nullptr;
    QTemporaryDir m_tools;
    QByteArray m_path = qgetenv("PATH");
    /// The password the server takes; the test settings are checked against it.
    QString m_serverPassword;
    QStringList m_passwordsMasked; ///< cPassx while each test ran
};

void TestSettingsTab::init()
{
    w.reset();
    w.state.login = ServerLogin{"shop.example", "22", "/home/jewel", "clerk", "secret"};
    w.state.cAddressy = w.state.login.cAddress;
    w.state.cPathy = w.state.login.cPath;
    w.state.cCfgFileNm = QStringLiteral("shop.cfg");
    m_serverPassword = QStringLiteral("secret");
    m_passwordsMasked.clear();
    // The settings test's copy arrives when the password is the server's.
    w.shell.onRun = [this](const runtime::ToolCommand &command) {
        m_passwordsMasked << w.state.cPassx;
        if (command.isPutty() && command.password == m_serverPassword)
            runtime::writeWholeFile(w.file("framla.ok"), "ok");
        return test::finishedRun();
    };
    // The image tools are found on the search path.
    for (const char *tool : {"convert", "mogrify"}) {
        QFile file(m_tools.filePath(QLatin1String(tool)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    }
    qputenv("PATH", m_tools.path().toLocal8Bit());
}

void TestSettingsTab::build(bool active)
{
    m_window = std::make_unique<MainWindow>(w.state);
    m_window->buildPages();
    m_tab = new app::SettingsTab(w.state, *m_window);
    m_window->show();
    if (active)
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    else
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->showPage(MainWindow::Page::Settings);
}

void TestSettingsTab::cleanup()
{
    m_window.reset();
    qputenv("PATH", m_path);
    qunsetenv("FRAMLA_KIOSK");
}

QLineEdit *TestSettingsTab::field(const QString &name) const
{
    return qobject_cast<QLineEdit *>(m_window->control(name));
}

void TestSettingsTab::retype(const QString &name, const QString &text) const
{
    QLineEdit *edit = field(name);
    edit->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

LocalCfg TestSettingsTab::savedOptions() const
{
    const QByteArray text = runtime::readWholeFile(w.file("scratch.xpf")).value_or(QByteArray());
    return config::decodeLocalCfg(text).value_or(LocalCfg{});
}

void TestSettingsTab::enterTestsAndSaves_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("address") << "oXbpAddress"
                             << "shop2.example" << QStringList{kPassed, kDbChange};
    QTest::newRow("port") << "oXbpPort"
                          << "2222" << QStringList{kPassed};
    QTest::newRow("path") << "oXbpPath"
                          << "/home/gold" << QStringList{kPassed, kDbChange};
    QTest::newRow("user") << "oXbpUser"
                          << "owner" << QStringList{kPassed};
    QTest::newRow("password") << "oXbpPass"
                              << "secret" << QStringList{kPassed};
    QTest::newRow("button") << "oXbpSave"
                            << "" << QStringList{kPassed};
}

void TestSettingsTab::enterTestsAndSaves()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QStringList, boxes);
    build();
    EnterChain chain(*m_tab);
    QWidget *target = m_window->control(name);
    target->installEventFilter(&chain);
    if (!typed.isEmpty())
        retype(name, typed);
    target->setFocus(Qt::TabFocusReason);
    QTest::keyClick(target, Qt::Key_Return);

    QCOMPARE(w.dialogs.texts(), boxes);
    QCOMPARE(m_passwordsMasked, QStringList{"secret"});
    QCOMPARE(w.state.cPassx, QString());
    QCOMPARE(m_window->currentPage(), MainWindow::Page::Image);
    // Without the warning the code field is next.
    if (boxes.size() == 1)
        QCOMPARE(QApplication::focusWidget(), m_window->imageTab().oXbpGetCd);

    QStringList typedFields;
    for (const char *f : {"oXbpAddress", "oXbpPort", "oXbpPath", "oXbpUser", "oXbpPass"})
        typedFields << field(QLatin1String(f))->text();
    QCOMPARE(fieldsOf(w.state.login), typedFields);
    ServerLogin saved;
    QVERIFY(!config::READPARAM(saved, w.file("shop.cfg")).isEmpty());
    QCOMPARE(fieldsOf(saved), typedFields);
}

void TestSettingsTab::buttonTestsAndSaves_data()
{
    QTest::addColumn<QString>("startAddress"); // the address this run started with
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("sharedLogin");
    QTest::addColumn<QString>("header"); // of the image tab afterwards
    QTest::newRow("port only") << "shop.example"
                               << "oXbpPort"
                               << "2222" << QStringList{kPassed} << "clerk@shop.example 2222 secret"
                               << ".../jewel";
    QTest::newRow("user only") << "shop.example"
                               << "oXbpUser"
                               << "owner" << QStringList{kPassed} << "owner@shop.example 22 secret"
                               << ".../jewel";
    QTest::newRow("address") << "shop.example"
                             << "oXbpAddress"
                             << "10.0.0.9" << QStringList{kPassed, kDbChange}
                             << "clerk@10.0.0.9 22 secret"
                             << ".../jewel";
    QTest::newRow("path") << "shop.example"
                          << "oXbpPath"
                          << "D:\\zmr" << QStringList{kPassed, kDbChange}
                          << "clerk@shop.example 22 secret"
                          << "...D:\\zmr";
    QTest::newRow("first run") << ""
                               << "oXbpAddress"
                               << "10.0.0.9" << QStringList{kPassed} << "clerk@10.0.0.9 22 secret"
                               << ".../jewel";
}

void TestSettingsTab::buttonTestsAndSaves()
{
    QFETCH(QString, startAddress);
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QStringList, boxes);
    QFETCH(QString, sharedLogin);
    QFETCH(QString, header);
    w.state.cAddressy = startAddress;
    build();
    retype(name, typed);
    QTest::mouseClick(m_window->settingsTab().oXbpSave, Qt::LeftButton);

    QCOMPARE(w.dialogs.texts(), boxes);
    QCOMPARE(m_window->currentPage(), MainWindow::Page::Image);
    QCOMPARE(field(name)->text(), typed);
    QCOMPARE(w.state.login.lIsDOS, typed == QStringLiteral("D:\\zmr"));
    QVERIFY(QFile::exists(w.file("shop.cfg")));
    // The test made its own connection; the passed settings' runs share one.
    QCOMPARE(w.shell.commands.size(), 1);
    QVERIFY(!w.shell.commands.first().mayShare);
    QCOMPARE(w.shell.sharedLogins, QStringList{sharedLogin});
    QCOMPARE(m_window->tabBar()->tabText(0), header);
}

void TestSettingsTab::failedTestChangesNothing_data()
{
    QTest::addColumn<bool>("byEnter");
    QTest::addColumn<QString>("failure");
    QTest::newRow("button") << false << "Settings test failed";
    QTest::newRow("Enter") << true << "Settings failed test";
}

void TestSettingsTab::failedTestChangesNothing()
{
    QFETCH(bool, byEnter);
    QFETCH(QString, failure);
    const QByteArray saved("[Address]\r\nshop.example\r\n");
    QVERIFY(runtime::writeWholeFile(w.file("shop.cfg"), saved));
    build();
    retype(QStringLiteral("oXbpAddress"), QStringLiteral("elsewhere"));
    retype(QStringLiteral("oXbpPath"), QStringLiteral("C:\\zmr"));
    retype(QStringLiteral("oXbpPass"), QStringLiteral("wrong"));
    if (byEnter)
        m_tab->testAndSaveFromEnter();
    else
        QTest::mouseClick(m_window->settingsTab().oXbpSave, Qt::LeftButton);

    QCOMPARE(w.dialogs.texts(), (QStringList{kCannotRead, failure}));
    QCOMPARE(m_passwordsMasked, QStringList{"wrong"});
    QCOMPARE(fieldsOf(w.state.login),
             (QStringList{"shop.example", "22", "/home/jewel", "clerk", "secret"}));
    QCOMPARE(w.state.login.lIsDOS, false);
    QCOMPARE(w.shell.sharedLogins, QStringList());
    QCOMPARE(runtime::readWholeFile(w.file("shop.cfg")).value_or(QByteArray()), saved);
    QCOMPARE(m_window->currentPage(), MainWindow::Page::Image);
    QCOMPARE(m_window->tabBar()->tabText(0), QStringLiteral(".../jewel"));
}

void TestSettingsTab::unwrittenSettingsNotReportedSaved()
{
    // A folder where the settings file goes: the test passes, the save fails.
    QVERIFY(QDir().mkpath(w.file("shop.cfg")));
    build();
    retype(QStringLiteral("oXbpPort"), QStringLiteral("2222"));
    QTest::mouseClick(m_window->settingsTab().oXbpSave, Qt::LeftButton);
    QCOMPARE(w.dialogs.texts(),
             QStringList{
                 QStringLiteral("The settings could not be saved to %1:\r\n%2")
                     .arg(w.file("shop.cfg"), QStringLiteral("Filename refers to a directory"))});
}

void TestSettingsTab::pointers_data()
{
    // Pointers of the image tab, the button and the settings tab.
    QTest::addColumn<bool>("byEnter");
    QTest::addColumn<QList<Shapes>>("atPauses");
    QTest::addColumn<Shapes>("whileTesting");
    QTest::newRow("button") << false << QList<Shapes>{{W, A, A}, {W, W, A}, {W, W, W}}
                            << Shapes{W, W, W};
    QTest::newRow("Enter") << true << QList<Shapes>{} << Shapes{A, W, W};
}

void TestSettingsTab::pointers()
{
    QFETCH(bool, byEnter);
    QFETCH(QList<Shapes>, atPauses);
    QFETCH(Shapes, whileTesting);
    build();
    const auto shapes = [this] {
        Shapes now;
        for (QWidget *widget :
             {m_window->imagePage(), static_cast<QWidget *>(m_window->settingsTab().oXbpSave),
              m_window->settingsPage()})
            now << widget->cursor().shape();
        return now;
    };
    QList<Shapes> pauses;
    NotingClock clock;
    clock.onPause = [&] { pauses << shapes(); };
    w.state.services.clock = &clock;
    Shapes testing;
    w.shell.onRun = [&](const runtime::ToolCommand &) {
        testing = shapes();
        return runtime::RunOutcome{};
    };
    byEnter ? m_tab->testAndSaveFromEnter() : m_tab->testAndSave();

    QCOMPARE(pauses, atPauses);
    QCOMPARE(testing, whileTesting);
    QCOMPARE(shapes(), (Shapes{A, A, A}));
}

void TestSettingsTab::declinedToolCheckStays()
{
    qputenv("PATH", QByteArray("/nonexistent"));
    build();
    QTest::mouseClick(m_window->settingsTab().oXbpSave, Qt::LeftButton);
    // Asked once for the success message and once on the way back.
    QCOMPARE(w.dialogs.texts(), (QStringList{kToolQuestion, kToolQuestion}));
    QCOMPARE(m_window->currentPage(), MainWindow::Page::Settings);
}

void TestSettingsTab::cropRadios_data()
{
    QTest::addColumn<double>("stored");    // option slot 5 at start
    QTest::addColumn<QString>("selected"); // the radio selected then
    QTest::addColumn<QString>("clicked");
    QTest::addColumn<double>("ratio");
    QTest::newRow("4:3 stored, square chosen") << 0.75 << "cropRatio43"
                                               << "cropSquare" << 1.0;
    QTest::newRow("unknown stored, 4:3 chosen") << 0.5 << ""
                                                << "cropRatio43" << 0.75;
    QTest::newRow("square stored, free chosen") << 1.0 << "cropSquare"
                                                << "cropFree" << 0.0;
}

void TestSettingsTab::cropRadios()
{
    QFETCH(double, stored);
    QFETCH(QString, selected);
    QFETCH(QString, clicked);
    QFETCH(double, ratio);
    w.state.aLocalCfg[slot(Option::CropRatio)] = stored;
    build();
    QStringList checked;
    for (const QRadioButton *radio : m_window->settingsTab().cropRadios) {
        if (radio->isChecked())
            checked << radio->objectName();
    }
    QCOMPARE(checked.join(QString()), selected);

    QTest::mouseClick(qobject_cast<QRadioButton *>(m_window->control(clicked)), Qt::LeftButton);
    QCOMPARE(w.state.nCropRat, ratio);
    QCOMPARE(optionValue(savedOptions(), Option::CropRatio, -1.0), ratio);
    QCOMPARE(w.clock.pauses, QList<int>{50});
    QCOMPARE(m_window->currentPage(), MainWindow::Page::Image);
}

void TestSettingsTab::cameraList_data()
{
    QTest::addColumn<QByteArray>("toolOutput");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("scrollBar");
    QTest::newRow("none") << QByteArray() << "\n    No image capture device found." << false;
    QTest::newRow("two") << QByteArray("Device name: Desk cam\nDevice name: Ring light\n")
                         << "1: Desk cam\n2: Ring light" << false;
    QTest::newRow("three")
        << QByteArray("Device name: Desk cam\nDevice name: Ring light\nDevice name: USB2\n")
        << "1: Desk cam\n2: Ring light\n3: USB2" << true;
}

void TestSettingsTab::cameraList()
{
    QFETCH(QByteArray, toolOutput);
    QFETCH(QString, shown);
    QFETCH(bool, scrollBar);
    build();
    w.shell.onRun = [&](const runtime::ToolCommand &) {
        runtime::writeWholeFile(w.file("devlist.tmp"), toolOutput);
        return test::finishedRun();
    };
    QTest::mouseClick(m_window->settingsTab().cameraRefresh, Qt::LeftButton);
    QPlainTextEdit *box = m_window->settingsTab().oXbpCamsTxt;
    QCOMPARE(box->toPlainText(), shown);
    QCOMPARE(box->verticalScrollBarPolicy(),
             scrollBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    QCOMPARE(m_window->currentPage(), MainWindow::Page::Settings);
}

void TestSettingsTab::webcamOptions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed"); // a key into a field, or empty to click the box
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("slots7to9");
    QTest::addColumn<QString>("command");
    const QString start = "/C START /B /wait ./CommandCam.exe /quiet /devnum ";
    QTest::newRow("device 3") << "deviceField"
                              << "3"
                              << "3"
                              << "3 4 true" << start + "3 /delay  4000 /preview";
    QTest::newRow("device letter") << "deviceField"
                                   << "x"
                                   << "0"
                                   << "0 4 true" << start + "1 /delay  4000 /preview";
    QTest::newRow("delay letter") << "delayField"
                                  << "x"
                                  << "0"
                                  << "1 0 true" << start + "1 /delay 1 /preview";
    QTest::newRow("delay 7") << "delayField"
                             << "7"
                             << "7"
                             << "1 7 true" << start + "1 /delay  7000 /preview";
    QTest::newRow("preview off") << "previewBox"
                                 << ""
                                 << ""
                                 << "1 4 false" << start + "1 /delay  4000";
}

void TestSettingsTab::webcamOptions()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, slots7to9);
    QFETCH(QString, command);
    build();
    if (typed.isEmpty()) {
        QTest::mouseClick(m_window->settingsTab().previewBox, Qt::LeftButton);
    } else {
        // A full one-character field hands the focus on, and so is left.
        field(name)->setFocus(Qt::MouseFocusReason);
        field(name)->clear();
        QTest::keyClicks(field(name), typed);
        QCOMPARE(field(name)->text(), shown);
    }
    QCOMPARE(w.state.cGrabCommand, command);
    QCOMPARE(webcamSlots(savedOptions()), slots7to9);
    QCOMPARE(QStringLiteral("%1 %2 %3")
                 .arg(w.state.nDevNum)
                 .arg(w.state.nDelaySecs)
                 .arg(w.state.lPreview ? "true" : "false"),
             slots7to9);
    QCOMPARE(w.clock.pauses, QList<int>{50});
    QCOMPARE(m_window->currentPage(), MainWindow::Page::Image);
}

void TestSettingsTab::pagesAndBack_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("title"); // of the box shown, none when empty
    QTest::newRow("<") << "backToImage"
                       << "";
    QTest::newRow("ix") << "helpTransfer"
                        << "Sending transfer data files to server";
    QTest::newRow("Inventory") << "helpInventory"
                               << "How to use Framla for normal Inventory codes";
    QTest::newRow("Suppliers") << "helpSuppliers"
                               << "Framla for Suppliers stock reference/codes";
    QTest::newRow("Customers") << "helpCustomers"
                               << "Framla for customer's own items";
    QTest::newRow("Repairs") << "helpRepairs"
                             << "Framla for service orders/repairs";
    QTest::newRow("About") << "aboutFramla"
                           << "About Framla";
    QTest::newRow("source name") << "oXbpName"
                                 << "";
}

void TestSettingsTab::pagesAndBack()
{
    QFETCH(QString, button);
    QFETCH(QString, title);
    build();
    QTest::mouseClick(qobject_cast<QAbstractButton *>(m_window->control(button)), Qt::LeftButton);
    QCOMPARE(m_window->currentPage(), MainWindow::Page::Image);
    QCOMPARE(w.dialogs.boxes.size(), title.isEmpty() ? 0 : 1);
    if (button == QStringLiteral("oXbpName")) {
        QCOMPARE(w.state.lUseFilename, false);
        QCOMPARE(optionValue(savedOptions(), Option::UseFilename, true), false);
    }
    if (title.isEmpty())
        return;
    const test::ScriptedDialogs::Box &box = w.dialogs.boxes.constFirst();
    QCOMPARE(box.title, title);
    QCOMPARE(box.icon, runtime::Icon::Information);
    QCOMPARE(box.buttons, runtime::Buttons::Ok);
    if (button == QStringLiteral("aboutFramla")) {
        QVERIFY2(box.text.endsWith(
                     "ABOUT THIS PROGRAM\r\n\r\n"
                     "Framla is the desktop half of the image filing clerk, by Tillsmith "
                     "Solutions CC.\r\n"
                     "Its server half is framaid: how to install it on the database server, how\r\n"
                     "Framla calls it and which tables it reads is told in framaid/README.md\r\n"
                     "of the Framla sources.\r\n\r\nFramla version 3.20. All rights reserved."),
                 qPrintable(box.text));
        QVERIFY(box.text.contains("The server runs Linux, or Windows, with an OpenSSH server "
                                  "and framaid installed.\r\n"
                                  "ImageMagick (convert, mogrify) and PuTTY's pscp and plink "
                                  "must be installed\r\non the same computer as Framla.\r\n"));
    }
}

void TestSettingsTab::kioskQuit_data()
{
    QTest::addColumn<QByteArray>("kiosk"); // FRAMLA_KIOSK
    QTest::addColumn<bool>("quitButton");
    QTest::newRow("set") << QByteArray("1") << true;
    QTest::newRow("other value") << QByteArray("yes") << false;
    QTest::newRow("unset") << QByteArray() << false;
}

void TestSettingsTab::kioskQuit()
{
    QFETCH(QByteArray, kiosk);
    QFETCH(bool, quitButton);
    if (!kiosk.isEmpty())
        qputenv("FRAMLA_KIOSK", kiosk);
    QList<int> exits;
    w.state.services.exitProgram = [&](int code) { exits << code; };
    build(false); // a window without title bar need not become the active one
    QCOMPARE(bool(m_window->windowFlags() & Qt::FramelessWindowHint), quitButton);
    QPushButton *quit = m_window->imageTab().quit;
    QCOMPARE(quit != nullptr, quitButton);
    if (quit == nullptr)
        return;
    m_window->showPage(MainWindow::Page::Image);
    QTest::mouseClick(quit, Qt::LeftButton);
    QCOMPARE(exits, QList<int>{0});
    QVERIFY(w.dialogs.boxes.isEmpty());
}

QTEST_MAIN(TestSettingsTab)
#include "tst_settings_tab.moc"
