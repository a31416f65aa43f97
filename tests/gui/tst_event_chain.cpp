// The main window's per-event chain and its last start-up steps, on the real
// window with real key and mouse events: the first matching inline handler
// runs and only it, the buttons follow the state after every event, the end
// of a spin prepares the preview with the clamped values, the start look-up
// in both forms, and the page the window opens on.
#include "app/arguments.h"
#include "app/event_chain.h"
#include "app/image_tab.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/window_display.h"
#include "app/window_start.h"
#include "imaging/image_view.h"
#include "imaging/prepare.h"
#include "runtime/application.h"
#include "runtime/files.h"
#include "support/fake_server.h"
#include "support/scripted_world.h"
#include "support/tee_display.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyleOptionSpinBox>
#include <QTest>
#include <QWheelEvent>

#include <memory>

using namespace framla;
using app::MainWindow;

namespace {

/// Records every inline handler the chain calls.
class RecordingActions final : public app::ImageTabActions, public app::SettingsActions {
public:
    QStringList calls;
    void undoCropping() override { calls << "undoCropping"; }
    void stretchCrop(const imaging::StartingPress &p) override
    {
        calls << pressed("stretchCrop", p);
    }
    void dragCrop(const imaging::StartingPress &p) override { calls << pressed("dragCrop", p); }
    void refreshPictures() override { calls << "refreshPictures"; }
    void lookUpCode() override { calls << "lookUpCode"; }
    void lookUpName() override { calls << "lookUpName"; }
    void chooseSource() override { calls << "chooseSource"; }
    void loadTypedSource() override { calls << "loadTypedSource"; }
    void normaliseTargetName() override { calls << "normaliseTargetName"; }
    void targetNameTyped() override { calls << "targetNameTyped"; }
    void testAndSaveFromEnter() override { calls << "testAndSave"; }

private:
    static QString pressed(const char *what, const imaging::StartingPress &p)
    {
        return QStringLiteral("%1 %2,%3").arg(QLatin1String(what)).arg(p.pos.x()).arg(p.pos.y());
    }
};

const CropCoords kMarks{QPoint{100, 80}, QPoint{40, 20}};

/// The names of the five buttons the chain looks after that are enabled.
QString enabledButtons(const app::ImageTabControls &c)
{
    QStringList names;
    for (QWidget *w : {static_cast<QWidget *>(c.oXbpPut), static_cast<QWidget *>(c.oXbpDelSrc),
                       static_cast<QWidget *>(c.oXbpRotate), static_cast<QWidget *>(c.oXbpDelTarg),
                       static_cast<QWidget *>(c.oXbpCpTarg)}) {
        if (w->isEnabled())
            names << w->objectName();
    }
    return names.join(QLatin1Char(' '));
}

/// The middle of a spin button's up or down arrow.
QPoint arrow(QSpinBox *spin, bool up)
{
    QStyleOptionSpinBox option;
    option.initFrom(spin);
    option.subControls = QStyle::SC_All;
    option.frame = true;
    option.buttonSymbols = spin->buttonSymbols();
    option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    return spin->style()
        ->subControlRect(QStyle::CC_SpinBox, &option,
                         up ? QStyle::SC_SpinBoxUp : QStyle::SC_SpinBoxDown, spin)
        .center();
}

} // namespace

class TestEventChain : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void inlineHandlers_data();
    void inlineHandlers();
    void buttonsAfterEveryEvent_data();
    void buttonsAfterEveryEvent();
    void spinEnd_data();
    void spinEnd();
    void startLookUp_data();
    void startLookUp();
    void startPage_data();
    void startPage();

private:
    /// Start-up as the program runs it, with the given arguments: the state
    /// before the window, the window shown, the chain installed, the last
    /// steps. toolsFound puts fake image tools on the search path.
    void open(const QStringList &arguments = {}, bool toolsFound = true,
              const std::function<void()> &beforeWindow = {});
    QWidget *named(const QString &name) const;

    test::ScriptedWorld m_world;
    std::unique_ptr<test::FakeServer> m_server;
    test::RecordingDisplay m_record;
    std::unique_ptr<QTemporaryDir> m_tools;
    QByteArray m_path;
    RecordingActions m_actions;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<app::WindowDisplay> m_display;
    std::unique_ptr<test::TeeDisplay> m_tee;
    std::unique_ptr<app::EventChain> m_chain;
};

void TestEventChain::init()
{
    m_world.reset();
    QVERIFY(m_world.dir->isValid());
    m_server = std::make_unique<test::FakeServer>(m_world.dir->path());
    m_server->attach(m_world.shell);
    m_record = {};
    m_actions.calls.clear();
    m_path = qgetenv("PATH");
}

void TestEventChain::cleanup()
{
    // The chain refers to the window: it goes first.
    m_chain.reset();
    m_tee.reset();
    m_display.reset();
    m_window.reset();
    qputenv("PATH", m_path);
    m_tools.reset();
}

void TestEventChain::open(const QStringList &arguments, bool toolsFound,
                          const std::function<void()> &beforeWindow)
{
    m_tools = std::make_unique<QTemporaryDir>();
    if (toolsFound) {
        for (const char *tool : {"convert", "mogrify"}) {
            QFile file(m_tools->filePath(QLatin1String(tool)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }
    qputenv("PATH", m_tools->path().toLocal8Bit());

    QDir::setCurrent(m_world.dir->path());
    ProgramState &state = m_world.state;
    app::startBeforeWindow(state, arguments);
    if (beforeWindow)
        beforeWindow();
    m_window = std::make_unique<MainWindow>(state);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_display = std::make_unique<app::WindowDisplay>(state, *m_window);
    m_tee = std::make_unique<test::TeeDisplay>(*m_display, m_record);
    m_chain = std::make_unique<app::EventChain>(state, *m_window);
    m_chain->install();
    m_chain->setImageTabActions(&m_actions);
    m_chain->setSettingsActions(&m_actions);
    app::openWindow(state, *m_window, *m_tee);
}

QWidget *TestEventChain::named(const QString &name) const
{
    const app::ImageTabControls &c = m_window->imageTab();
    if (name == QStringLiteral("oStat"))
        return c.oStat->canvas();
    if (name == QStringLiteral("oStat2"))
        return c.oStat2->canvas();
    return m_window->control(name);
}

void TestEventChain::inlineHandlers_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("input"); // "Enter", a letter, or "left x,y" / "right x,y" (y upward)
    QTest::addColumn<int>("mode");      // 0 Inventory, 1 Cust/Sup, 2 Repairs
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("Enter in the code field") << "oXbpGetCd"
                                             << "Enter" << 0 << QStringList{"lookUpCode"};
    QTest::newRow("a letter in the code field") << "oXbpGetCd"
                                                << "A" << 0 << QStringList{};
    QTest::newRow("left press in the code field") << "oXbpGetCd"
                                                  << "left 5,5" << 0 << QStringList{};
    QTest::newRow("Enter in the name, Cust/Sup") << "oXbpTargName"
                                                 << "Enter" << 1 << QStringList{"lookUpName"};
    QTest::newRow("a letter in the name, Cust/Sup") << "oXbpTargName"
                                                    << "B" << 1 << QStringList{};
    QTest::newRow("Enter in the name, Inventory")
        << "oXbpTargName"
        << "Enter" << 0 << QStringList{"normaliseTargetName"};
    QTest::newRow("a letter in the name, Repairs") << "oXbpTargName"
                                                   << "C" << 2 << QStringList{"targetNameTyped"};
    QTest::newRow("Enter on Find") << "oXbpBrowse"
                                   << "Enter" << 0 << QStringList{"chooseSource"};
    QTest::newRow("Enter in the file field") << "oXbpImageFile"
                                             << "Enter" << 0 << QStringList{"loadTypedSource"};
    QTest::newRow("Enter in the port field") << "oXbpPort"
                                             << "Enter" << 0 << QStringList{"testAndSave"};
    QTest::newRow("Enter on Test and save") << "oXbpSave"
                                            << "Enter" << 0 << QStringList{"testAndSave"};
    QTest::newRow("a digit in the address") << "oXbpAddress"
                                            << "7" << 0 << QStringList{};
    QTest::newRow("right press on the source") << "oStat"
                                               << "right 70,50" << 0 << QStringList{"undoCropping"};
    QTest::newRow("right press on a label") << "oXbpTargGrp"
                                            << "right 3,3" << 1 << QStringList{"undoCropping"};
    QTest::newRow("left press on a crop edge")
        << "oStat"
        << "left 43,50" << 0 << QStringList{"stretchCrop 43,50"};
    QTest::newRow("left press in the box") << "oStat"
                                           << "left 70,50" << 0 << QStringList{"dragCrop 70,50"};
    QTest::newRow("left press outside the box")
        << "oStat"
        << "left 200,200" << 0 << QStringList{"refreshPictures"};
    QTest::newRow("left press on the preview")
        << "oStat2"
        << "left 200,200" << 0 << QStringList{"refreshPictures"};
    QTest::newRow("left press on a button") << "oXbpGrab"
                                            << "left 5,5" << 0 << QStringList{};
    QTest::newRow("Enter on a button") << "oXbpGrab"
                                       << "Enter" << 0 << QStringList{};
}

void TestEventChain::inlineHandlers()
{
    QFETCH(QString, control);
    QFETCH(QString, input);
    QFETCH(int, mode);
    QFETCH(QStringList, calls);
    open({QStringLiteral("shop")});
    ProgramState &state = m_world.state;
    state.lInventory = mode == 0;
    state.lOrders = mode == 2;
    state.aCropCoords = kMarks;

    QWidget *widget = named(control);
    QVERIFY2(widget != nullptr, qPrintable(control));
    // The target name field is the operator's only in Cust/Sup mode; the
    // test opens it in the other modes too.
    m_window->imageTab().oXbpTargName->setEnabled(true);
    m_window->showPage(m_window->settingsPage()->isAncestorOf(widget) ? MainWindow::Page::Settings
                                                                      : MainWindow::Page::Image);
    widget->setFocus();
    m_actions.calls.clear();

    const QStringList words = input.split(QLatin1Char(' '));
    if (words.size() == 2) {
        const QStringList xy = words[1].split(QLatin1Char(','));
        // Positions are given with y upward from the control's bottom.
        const QPoint pos(xy[0].toInt(), widget->height() - xy[1].toInt());
        QTest::mouseClick(
            widget, words[0] == QStringLiteral("left") ? Qt::LeftButton : Qt::RightButton, {}, pos);
    } else if (input == QStringLiteral("Enter")) {
        QTest::keyClick(widget, Qt::Key_Return);
    } else {
        QTest::keyClick(widget, input.at(0).toLatin1());
    }
    QCOMPARE(m_actions.calls, calls);
}

void TestEventChain::buttonsAfterEveryEvent_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ok2Put");
    QTest::addColumn<bool>("ok2DelSrc");
    QTest::addColumn<bool>("ok2DelTarg");
    QTest::addColumn<bool>("preview");
    QTest::addColumn<bool>("putBefore");
    QTest::addColumn<QString>("enabled");
    const bool T = true, F = false;
    QTest::newRow("no source: Put goes off") << ""
                                             << "AB12345" << T << T << T << F << T << "oXbpDelTarg";
    QTest::newRow("all allowed, Put was on")
        << "/p/a.jpg"
        << "AB12345" << T << T << T << T << T
        << "oXbpPut oXbpDelSrc oXbpRotate oXbpDelTarg oXbpCpTarg";
    QTest::newRow("all allowed, Put stays off")
        << "/p/a.jpg"
        << "AB12345" << T << T << F << F << F << "oXbpDelSrc oXbpRotate";
    QTest::newRow("put refused") << "/p/a.jpg"
                                 << "AB12345" << F << F << F << F << T << "";
    QTest::newRow("no name") << "/p/a.jpg"
                             << "" << T << F << T << F << T << "oXbpDelTarg";
    // The preview is known from the state, not from the disk: no file exists.
    QTest::newRow("preview known") << ""
                                   << "" << F << T << F << T << F << "oXbpCpTarg";
}

void TestEventChain::buttonsAfterEveryEvent()
{
    QFETCH(QString, file);
    QFETCH(QString, name);
    QFETCH(bool, ok2Put);
    QFETCH(bool, ok2DelSrc);
    QFETCH(bool, ok2DelTarg);
    QFETCH(bool, preview);
    QFETCH(bool, putBefore);
    QFETCH(QString, enabled);
    open({QStringLiteral("shop")});
    ProgramState &state = m_world.state;
    state.cFilename = file;
    state.cName = name;
    state.lOk2Put = ok2Put;
    state.lOk2DelSrc = ok2DelSrc;
    state.lOk2DelTarg = ok2DelTarg;
    state.previewExists = preview;
    const app::ImageTabControls &c = m_window->imageTab();
    c.oXbpPut->setEnabled(putBefore);
    for (QWidget *w : {static_cast<QWidget *>(c.oXbpDelSrc), static_cast<QWidget *>(c.oXbpRotate),
                       static_cast<QWidget *>(c.oXbpDelTarg), static_cast<QWidget *>(c.oXbpCpTarg)})
        w->setEnabled(!enabled.contains(w->objectName()));
    QVERIFY(!runtime::fileExists(m_world.file(QStringLiteral("scratch.jpg"))));

    // A mere pointer motion over the source picture is enough.
    QTest::mouseMove(c.oStat->canvas(), QPoint(30, 40));
    QTest::mouseMove(c.oStat->canvas(), QPoint(31, 41));
    QCOMPARE(enabledButtons(c), enabled);
}

void TestEventChain::spinEnd_data()
{
    QTest::addColumn<QString>("spin");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("maximum"); // widened to see the clamp do its work
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("adjustment"); // the mogrify arguments; empty: no preview made
    QTest::addColumn<bool>("source");        // a source is chosen

    QTest::newRow("Up past 9") << "oXbpBright" << 9 << 9 << "Up" << 9
                               << "-modulate 200 -gamma 1.00 -level 0.00% scratch.jpg" << true;
    QTest::newRow("Up to 10, clamped")
        << "oXbpBright" << 9 << 20 << "Up" << 9
        << "-modulate 200 -gamma 1.00 -level 0.00% scratch.jpg" << true;
    QTest::newRow("Down") << "oXbpBright" << 3 << 9 << "Down" << 2
                          << "-modulate 60 -gamma 1.00 -level 0.00% scratch.jpg" << true;
    QTest::newRow("gamma arrow up") << "oXbpGamma" << 3 << 9 << "arrow up" << 4
                                    << "-modulate 100 -gamma 1.40 -level 0.00% scratch.jpg" << true;
    QTest::newRow("contrast arrow up to 10")
        << "oXbpContrast" << 9 << 20 << "arrow up" << 9
        << "-modulate 100 -gamma 1.00 -level 35.29% scratch.jpg" << true;
    QTest::newRow("contrast wheel down")
        << "oXbpContrast" << 5 << 9 << "wheel down" << 4
        << "-modulate 100 -gamma 1.00 -level 15.69% scratch.jpg" << true;
    QTest::newRow("a typed digit is no spin") << "oXbpGamma" << 0 << 9 << "5" << 5 << "" << true;
    // Without a source the view keeps what it shows (the recorded picture, say).
    QTest::newRow("no source") << "oXbpBright" << 3 << 9 << "Up" << 4 << "" << false;
}

void TestEventChain::spinEnd()
{
    QFETCH(QString, spin);
    QFETCH(int, start);
    QFETCH(int, maximum);
    QFETCH(QString, action);
    QFETCH(int, value);
    QFETCH(QString, adjustment);
    QFETCH(bool, source);
    open({QStringLiteral("shop")});
    // The end of a spin goes to the image tab's own preview step.
    m_chain->setImageTabActions(new app::ImageTab(m_world.state, *m_window, *m_tee));
    if (source)
        m_world.state.cFilename = m_world.file(QStringLiteral("ring.jpg"));
    m_world.state.anSize = QSize(800, 600);
    // The crop makes the preview, as the real tool would.
    m_world.shell.onRun = [this](const runtime::ToolCommand &command) {
        if (command.executableName() == QStringLiteral("convert")) {
            QImage picture(40, 30, QImage::Format_RGB32);
            picture.fill(Qt::darkYellow);
            picture.save(m_world.file(QStringLiteral("scratch.jpg")), "JPG");
        }
        return test::finishedRun();
    };
    auto *box = qobject_cast<QSpinBox *>(m_window->control(spin));
    QVERIFY(box != nullptr);
    box->setMaximum(maximum);
    box->setValue(start);
    box->setFocus();
    box->selectAll();
    m_world.shell.commands.clear();

    if (action == QStringLiteral("Up"))
        QTest::keyClick(box, Qt::Key_Up);
    else if (action == QStringLiteral("Down"))
        QTest::keyClick(box, Qt::Key_Down);
    else if (action == QStringLiteral("arrow up"))
        QTest::mouseClick(box, Qt::LeftButton, {}, arrow(box, true));
    else if (action == QStringLiteral("wheel down")) {
        const QPointF at(box->width() / 2.0, box->height() / 2.0);
        QWheelEvent wheel(at, box->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(box, &wheel);
    } else
        QTest::keyClick(box, action.at(0).toLatin1());

    QCOMPARE(box->value(), value);
    QStringList adjustments;
    for (const runtime::ToolCommand &command : std::as_const(m_world.shell.commands)) {
        if (command.executableName() == QStringLiteral("mogrify"))
            adjustments
                << command.args.mid(imaging::imageToolLimits().size()).join(QLatin1Char(' '));
    }
    QCOMPARE(adjustments, adjustment.isEmpty() ? QStringList{} : QStringList{adjustment});
    QCOMPARE(m_world.state.previewExists, !adjustment.isEmpty());
    if (!adjustment.isEmpty())
        QCOMPARE(m_window->imageTab().oStat2->file(), QStringLiteral("scratch.jpg"));
    QCOMPARE(m_record.captions,
             adjustment.isEmpty() ? QStringList{} : QStringList{" Pending image:"});
}

void TestEventChain::startLookUp_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("repairsBefore"); // the options left Repairs mode on
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("request"); // the framaid requests, token included, "|" between
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QString>("mode"); // the mode radio checked afterwards
    QTest::addColumn<QString>("codeField");
    QTest::addColumn<QString>("nameField"); // its text, "+" when enabled
    QTest::addColumn<bool>("put");

    const QStringList codeCaptions{" Waiting for image...", " Image as recorded:"};
    const QStringList accountCaptions{"Waiting for image...", " Image as recorded:"};
    QTest::newRow("start code") << QStringList{"shop", "AB12"} << false << "Gold ring\r\n"
                                << ""
                                << "framaid /srv/zmr/jtemp/clerk AB---12 10:30:00" << codeCaptions
                                << "modeInventory"
                                << ""
                                << "AB---12" << false;
    QTest::newRow("start code, a source chosen")
        << QStringList{"shop", "ab 12"} << false << "Gold ring\r\n"
        << "/p/ring.jpg"
        << "framaid /srv/zmr/jtemp/clerk AB---12 10:30:00" << codeCaptions << "modeInventory"
        << ""
        << "AB---12" << true;
    QTest::newRow("start code in Repairs mode")
        << QStringList{"shop", "AB12"} << true << "Gold ring\r\n"
        << ""
        << "framaid /srv/zmr/jtemp/clerk AB---12 10:30:00" << codeCaptions << "modeInventory"
        << ""
        << "AB---12" << false;
    QTest::newRow("long start code")
        << QStringList{"shop", "2000000100014"} << false << "AB10001: Solitaire ring\r\n"
        << ""
        << "framaid /srv/zmr/jtemp/clerk 2000000100014 10:30:00|framaid /srv/zmr/jtemp/clerk "
           "AB10001 10:30:00"
        << codeCaptions << "modeInventory"
        << ""
        << "AB10001" << false;
    QTest::newRow("start account")
        << QStringList{"shop", "", "1234"} << false << "Supplier Ltd\r\n"
        << "/p/r.jpg"
        << "framaid /srv/zmr/jtemp/clerk 1234 10:30:00" << accountCaptions << "modeCustSup"
        << "1234"
        << "1234+" << true;
    QTest::newRow("both: the account wins")
        << QStringList{"shop", "AB12", "12345"} << true << "Customer\r\n"
        << ""
        << "framaid /srv/zmr/jtemp/clerk 12345 10:30:00" << accountCaptions << "modeCustSup"
        << "12345"
        << "12345+" << false;
    QTest::newRow("account, put refused")
        << QStringList{"shop", "", "1234"} << false << "1234 has no pre-existing group\r\n"
        << "/p/r.jpg"
        << "framaid /srv/zmr/jtemp/clerk 1234 10:30:00" << accountCaptions << "modeCustSup"
        << "1234"
        << "1234+" << false;
}

void TestEventChain::startLookUp()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, repairsBefore);
    QFETCH(QString, reply);
    QFETCH(QString, source);
    QFETCH(QString, request);
    QFETCH(QStringList, captions);
    QFETCH(QString, mode);
    QFETCH(QString, codeField);
    QFETCH(QString, nameField);
    QFETCH(bool, put);
    m_server->replyBody = reply;
    // A preview an earlier run left behind.
    runtime::writeWholeFile(m_world.file(QStringLiteral("scratch.jpg")), "old");
    QStringList fieldWhileLookingUp; // the code field, as each tool runs
    m_world.shell.onRun = [&, serve = m_world.shell.onRun](const runtime::ToolCommand &command) {
        fieldWhileLookingUp << m_window->imageTab().oXbpGetCd->text();
        return serve(command);
    };
    open(arguments, true, [&] {
        ProgramState &state = m_world.state;
        state.cFilename = source;
        if (repairsBefore) {
            state.lOrders = true;
            state.aLocalCfg[slot(Option::Orders)] = true;
        }
    });

    const ProgramState &state = m_world.state;
    QStringList requests;
    for (const runtime::ToolCommand &command : std::as_const(m_world.shell.commands)) {
        if (command.args.mid(4).value(0) == QStringLiteral("framaid"))
            requests << command.args.mid(4).join(QLatin1Char(' '));
        // The picture looked for is the code's own, never "noname".
        QVERIFY2(!command.text().contains(QStringLiteral("noname")), qPrintable(command.text()));
    }
    QCOMPARE(requests.join(QLatin1Char('|')), request);
    // The field shows the code as it is looked up.
    QCOMPARE(fieldWhileLookingUp.value(0), request.section(QLatin1Char(' '), 2, 2));
    QCOMPARE(m_record.replies.value(0), QStringLiteral("Sending request for data..."));
    QCOMPARE(m_record.captions, captions);
    QCOMPARE(m_world.clock.pauses, QList<int>{50});

    const app::ImageTabControls &c = m_window->imageTab();
    QCOMPARE(c.oXbpTargGrp->text(), QStringLiteral(" Image as recorded:"));
    QCOMPARE(c.oXbpShowTxt->toPlainText(), QString(reply).replace("\r\n", "\n"));
    for (QRadioButton *radio : c.modeRadios)
        QCOMPARE(radio->isChecked(), radio->objectName() == mode);
    QCOMPARE(state.lInventory, mode == QStringLiteral("modeInventory"));
    QVERIFY(!state.lOrders);
    QCOMPARE(c.oXbpGetCd->text(), codeField);
    QCOMPARE(c.oXbpTargName->text() + (c.oXbpTargName->isEnabled() ? "+" : ""), nameField);
    QCOMPARE(state.cName, c.oXbpTargName->text());
    QCOMPARE(c.oXbpPut->isEnabled(), put);
    QCOMPARE(m_window->currentPage(), MainWindow::Page::Image);
}

void TestEventChain::startPage_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("toolsFound");
    QTest::addColumn<int>("answer"); // to "Proceed regardless"; 0 when not asked
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("lookedUp");
    QTest::newRow("settings and tools") << "shop" << true << 0 << "image"
                                        << "oXbpGetCd" << true;
    QTest::newRow("tools missing, go on") << "shop" << false << 6 << "image"
                                          << "oXbpGetCd" << true;
    QTest::newRow("tools missing, stop") << "shop" << false << 7 << "settings"
                                         << "" << true;
    QTest::newRow("first run") << "" << true << 0 << "settings"
                               << "oXbpAddress" << false;
    QTest::newRow("first run, tools missing") << "" << false << 6 << "settings"
                                              << "oXbpAddress" << false;
}

void TestEventChain::startPage()
{
    QFETCH(QString, address);
    QFETCH(bool, toolsFound);
    QFETCH(int, answer);
    QFETCH(QString, page);
    QFETCH(QString, focus);
    QFETCH(bool, lookedUp);
    if (answer != 0)
        m_world.dialogs.answers.enqueue(answer);
    open({QStringLiteral("shop"), QStringLiteral("AB12")}, toolsFound,
         [&] { m_world.state.login.cAddress = address; });

    QCOMPARE(m_world.dialogs.boxes.size(), answer != 0 ? 1 : 0);
    QCOMPARE(m_window->currentPage() == MainWindow::Page::Settings ? "settings" : "image", page);
    QCOMPARE(m_window->settingsPage()->isVisible(), page == QStringLiteral("settings"));
    QCOMPARE(m_window->imagePage()->isVisible(), page == QStringLiteral("image"));
    if (!focus.isEmpty())
        QCOMPARE(m_window->focusWidget() ? m_window->focusWidget()->objectName() : QString(),
                 focus);
    QCOMPARE(!m_world.shell.commands.isEmpty(), lookedUp);
}

int main(int argc, char *argv[])
{
    runtime::FramlaApplication application(argc, argv);
    TestEventChain test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_event_chain.moc"
