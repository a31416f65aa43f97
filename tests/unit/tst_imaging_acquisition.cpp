// Getting a source picture: the capture command line built from the webcam
// options, running the capture, the device list, and the file dialog.
#include "core/program_state.h"
#include "imaging/acquisition.h"
#include "runtime/files.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_shell.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace framla;
using runtime::RunOutcome;
using runtime::ToolCommand;

namespace {

const QString kCommandStart = QStringLiteral("/C START /B /wait ./CommandCam.exe /quiet /devnum ");

} // namespace

class TestImagingAcquisition : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void grabCommand_data();
    void grabCommand();
    void commandLineRead_data();
    void commandLineRead();
    void grabImage_data();
    void grabImage();
    void deviceLines_data();
    void deviceLines();
    void deviceListRun_data();
    void deviceListRun();
    void fileName_data();
    void fileName();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
    test::ScriptedShell m_shell;
    test::ScriptedDialogs m_dialogs;
    ProgramState m_state;
};

void TestImagingAcquisition::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    m_shell = test::ScriptedShell();
    m_dialogs = test::ScriptedDialogs();
    m_state = ProgramState();
    m_state.cAppPath = m_dir->path();
    m_state.services.shell = &m_shell;
    m_state.services.dialogs = &m_dialogs;
}

void TestImagingAcquisition::cleanup()
{
    QDir::setCurrent(m_previousDir);
}

void TestImagingAcquisition::grabCommand_data()
{
    QTest::addColumn<double>("device");
    QTest::addColumn<double>("delay");
    QTest::addColumn<bool>("preview");
    QTest::addColumn<QString>("expected");

    // The delay is right-aligned in five characters: two blanks before 4000.
    QTest::newRow("defaults") << 1.0 << 4.0 << true
                              << kCommandStart + QStringLiteral("1 /delay  4000 /preview");
    QTest::newRow("2/3/off") << 2.0 << 3.0 << false
                             << kCommandStart + QStringLiteral("2 /delay  3000");
    QTest::newRow("0/0 fall back to 1")
        << 0.0 << 0.0 << true << kCommandStart + QStringLiteral("1 /delay 1 /preview");
    QTest::newRow("negative falls back")
        << -2.0 << -1.0 << false << kCommandStart + QStringLiteral("1 /delay 1");
    QTest::newRow("99 seconds fill the field")
        << 9.0 << 99.0 << false << kCommandStart + QStringLiteral("9 /delay 99000");
    QTest::newRow("device 10 overflows")
        << 10.0 << 4.0 << false << kCommandStart + QStringLiteral("* /delay  4000");
    QTest::newRow("100 seconds overflow")
        << 1.0 << 100.0 << false << kCommandStart + QStringLiteral("1 /delay *****");
    QTest::newRow("half a second")
        << 1.0 << 0.5 << false << kCommandStart + QStringLiteral("1 /delay   500");
}

void TestImagingAcquisition::grabCommand()
{
    QFETCH(double, device);
    QFETCH(double, delay);
    QFETCH(bool, preview);
    QFETCH(QString, expected);
    m_state.aLocalCfg[6] = device;
    m_state.aLocalCfg[7] = delay;
    m_state.aLocalCfg[8] = preview;
    // The arguments are not used: the options are read instead.
    QCOMPARE(imaging::BldGrabCmd(m_state, 5, 7, !preview), expected);
}

void TestImagingAcquisition::commandLineRead_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("outputFile");

    QTest::newRow("built") << kCommandStart + QStringLiteral("1 /delay  4000 /preview") << true
                           << QStringList{"/quiet", "/devnum", "1", "/delay", "4000", "/preview"}
                           << QString();
    QTest::newRow("default") << QString::fromLatin1(imaging::kDefaultGrabCommand) << true
                             << QStringList{"/quiet", "/preview", "/delay", "5000"} << QString();
    QTest::newRow("device list") << "/C start /b /wait ./CommandCam.exe /devlist > devlist.tmp"
                                 << true << QStringList{"/devlist"} << "devlist.tmp";
    QTest::newRow("without start")
        << "/C CommandCam.exe /devlist >list.txt" << true << QStringList{"/devlist"} << "list.txt";
    // Only the capture tool may run from a capture line.
    QTest::newRow("another program")
        << "/C start /wait rm -rf /" << false << QStringList() << QString();
    QTest::newRow("no /C") << "CommandCam.exe /devlist" << false << QStringList() << QString();
    QTest::newRow("empty") << "" << false << QStringList() << QString();
    QTest::newRow("redirection without a file")
        << "/C CommandCam.exe /devlist >" << false << QStringList() << QString();
}

void TestImagingAcquisition::commandLineRead()
{
    QFETCH(QString, line);
    QFETCH(bool, accepted);
    QFETCH(QStringList, args);
    QFETCH(QString, outputFile);
    const std::optional<ToolCommand> command = imaging::captureCommandFromText(line);
    QCOMPARE(command.has_value(), accepted);
    if (!command)
        return;
    QCOMPARE(command->executableName(), QStringLiteral("commandcam"));
    QCOMPARE(command->args, args);
    QCOMPARE(command->outputFile, outputFile);
}

void TestImagingAcquisition::grabImage_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("writes");
    QTest::addColumn<QStringList>("args");

    QTest::newRow("built command, picture written")
        << kCommandStart + QStringLiteral("2 /delay  3000") << true
        << QStringList{"/quiet", "/devnum", "2", "/delay", "3000"};
    QTest::newRow("empty command uses the default")
        << QString() << true << QStringList{"/quiet", "/preview", "/delay", "5000"};
    QTest::newRow("capture fails") << kCommandStart + QStringLiteral("* /delay  4000") << false
                                   << QStringList{"/quiet", "/devnum", "*", "/delay", "4000"};
}

void TestImagingAcquisition::grabImage()
{
    QFETCH(QString, command);
    QFETCH(bool, writes);
    QFETCH(QStringList, args);
    // A capture from an earlier run lies in the directory.
    QVERIFY(runtime::writeWholeFile(QStringLiteral("image.bmp"), "old capture"));
    m_shell.onRun = [writes](const ToolCommand &) {
        if (writes)
            runtime::writeWholeFile(QStringLiteral("image.bmp"), "new capture");
        return test::finishedRun(writes ? 0 : 2);
    };
    QCOMPARE(imaging::GrabImage(m_state, command), QStringLiteral("image.bmp"));
    QCOMPARE(m_shell.commands.size(), 1);
    QCOMPARE(m_shell.commands.first().args, args);
    // The time limit leaves room for the delay.
    QVERIFY(m_shell.timeouts.first() > 5000);
    if (writes) {
        QCOMPARE(runtime::readWholeFile(QStringLiteral("image.bmp")).value_or(""), "new capture");
        QVERIFY(m_dialogs.boxes.isEmpty());
    } else {
        // The old picture must not pass for a new capture.
        QVERIFY(!QFile::exists(QStringLiteral("image.bmp")));
        QCOMPARE(m_dialogs.boxes.size(), 1);
        QVERIFY(m_dialogs.boxes.first().text.startsWith(
            QStringLiteral("The webcam did not deliver a picture.")));
    }
}

void TestImagingAcquisition::deviceLines_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("expected");

    QTest::newRow("three devices")
        << "Capture device 1:\n  Device name: Logitech C920\n  Device path: /dev/video0\n"
           "Capture device 2:\n  Device name: Integrated Camera\n"
           "Capture device 3:\n  Device name: USB2.0 PC CAMERA\n"
        << "1: Logitech C920\n2: Integrated Camera\n3: USB2.0 PC CAMERA\n";
    QTest::newRow("none") << "CommandCam for Linux: video capture devices\n\nNo video capture "
                             "devices.\n"
                          << "\r\n    No image capture device found.";
    QTest::newRow("tool missing: empty output") << ""
                                                << "\r\n    No image capture device found.";
    QTest::newRow("Windows line ends kept") << "Device name: Cam A\r\nDevice name: Cam B\r\n"
                                            << "1: Cam A\r\n2: Cam B\r\n";
    // The last name is kept even without a line end after it.
    QTest::newRow("no line end after the last name") << "Device name: Cam A\nDevice name: Cam B"
                                                     << "1: Cam A\n2: Cam B";
    QString ten;
    QString tenLines;
    for (int i = 1; i <= 10; ++i) {
        ten += QStringLiteral("Device name: C%1\n").arg(i);
        tenLines +=
            (i < 10 ? QString::number(i) : QStringLiteral("*")) + QStringLiteral(": C%1\n").arg(i);
    }
    QTest::newRow("ten devices: the tenth number overflows") << ten << tenLines;
}

void TestImagingAcquisition::deviceLines()
{
    QFETCH(QString, output);
    QFETCH(QString, expected);
    QCOMPARE(imaging::devlistText(output), expected);
}

void TestImagingAcquisition::deviceListRun_data()
{
    QTest::addColumn<bool>("toolRuns");
    QTest::addColumn<QString>("expected");
    QTest::newRow("two cameras") << true << "1: Cam A\n2: Cam B\n";
    // A list left by an earlier run is not read as this run's.
    QTest::newRow("tool missing") << false << "\r\n    No image capture device found.";
}

void TestImagingAcquisition::deviceListRun()
{
    QFETCH(bool, toolRuns);
    QFETCH(QString, expected);
    QVERIFY(runtime::writeWholeFile(QStringLiteral("devlist.tmp"), "Device name: Old camera\n"));
    m_shell.onRun = [toolRuns](const ToolCommand &command) {
        RunOutcome outcome = test::finishedRun(0);
        if (!toolRuns) {
            outcome.status = RunOutcome::Status::NotStarted;
            return outcome;
        }
        runtime::writeWholeFile(command.outputFile, "Device name: Cam A\nDevice name: Cam B\n");
        return outcome;
    };
    QCOMPARE(imaging::GetDevlist(m_state), expected);
    QCOMPARE(m_shell.commands.size(), 1);
    QCOMPARE(m_shell.commands.first().args, QStringList{QStringLiteral("/devlist")});
    QCOMPARE(m_shell.commands.first().outputFile, QStringLiteral("devlist.tmp"));
    QVERIFY(!QFile::exists(QStringLiteral("devlist.tmp")));
}

void TestImagingAcquisition::fileName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::newRow("letter case kept") << "/home/shop/Pictures/Ring.JPG";
    QTest::newRow("blank in the path") << "/home/shop/My Pictures/ring 2.png";
    QTest::newRow("cancelled") << "";
}

void TestImagingAcquisition::fileName()
{
    QFETCH(QString, chosen);
    m_dialogs.files.enqueue(chosen);
    QTemporaryDir elsewhere;
    QDir::setCurrent(elsewhere.path()); // as a file dialog may leave it
    QCOMPARE(imaging::GetFileName(m_state), chosen);
    // The routine leaves the current directory alone: nothing depends on it.
    QCOMPARE(QDir::currentPath(), QDir(elsewhere.path()).canonicalPath());
    QCOMPARE(m_dialogs.boxes.size(), 1);
    QCOMPARE(m_dialogs.boxes.first().title, QStringLiteral("Select source image"));
    QCOMPARE(m_dialogs.boxes.first().text,
             QStringLiteral("Supported image files (BMP, JPG, PNG, EMF, MET)|"
                            "*.BMP;*.JPG;*.PNG;*.EMF;*.MET"));
}

QTEST_MAIN(TestImagingAcquisition)
#include "tst_imaging_acquisition.moc"
