// The Linux capture tool with its synthetic cameras, driven the way the
// program drives it: the built capture command and the device list, through
// the program's own tool runner; then the capture shown in the source view.
#include "core/program_state.h"
#include "imaging/acquisition.h"
#include "imaging/image_view.h"
#include "imaging/placement.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "support/scripted_dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace framla;

namespace {

QString toolDirectory()
{
    const QString bin = qEnvironmentVariableIsSet("FRAMLA_BIN_DIR")
                            ? qEnvironmentVariable("FRAMLA_BIN_DIR")
                            : QStringLiteral(FRAMLA_BINARY_DIR);
    return QDir(bin).filePath(QStringLiteral("tools/commandcam"));
}

/// How many distinct colours a coarse grid of the picture shows: a test
/// pattern has many, a black or failed frame one.
int coloursOnGrid(const QImage &image)
{
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); y += image.height() / 8)
        for (int x = 0; x < image.width(); x += image.width() / 8)
            seen.insert(image.pixel(x, y) & 0xF0F0F0);
    return int(seen.size());
}

} // namespace

class TestCommandCam : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void deviceList_data();
    void deviceList();
    void capture_data();
    void capture();
    void captureRefused_data();
    void captureRefused();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
    test::ScriptedDialogs m_dialogs;
    std::unique_ptr<runtime::ProcessShell> m_shell;
    ProgramState m_state;
};

void TestCommandCam::initTestCase()
{
    const QString tools = toolDirectory();
    QVERIFY2(QFileInfo::exists(QDir(tools).filePath(QStringLiteral("commandcam"))),
             qPrintable(tools));
    // The runner finds the tool in the program's directory or on the path.
    qputenv("PATH", (tools + QLatin1Char(':') + qEnvironmentVariable("PATH")).toLocal8Bit());
}

void TestCommandCam::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    m_dialogs = test::ScriptedDialogs();
    m_shell = std::make_unique<runtime::ProcessShell>(m_dir->path(), &m_dialogs);
    m_state = ProgramState();
    m_state.cAppPath = m_dir->path();
    m_state.services.shell = m_shell.get();
    m_state.services.dialogs = &m_dialogs;
}

void TestCommandCam::cleanup()
{
    qunsetenv("FRAMLA_COMMANDCAM_SYNTHETIC");
    QDir::setCurrent(m_previousDir);
}

void TestCommandCam::deviceList_data()
{
    QTest::addColumn<QByteArray>("cameras");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one") << QByteArray("1") << "1: Framla synthetic camera 1\n";
    QTest::newRow("three") << QByteArray("3")
                           << "1: Framla synthetic camera 1\n2: Framla synthetic camera 2\n"
                              "3: Framla synthetic camera 3\n";
    QTest::newRow("none") << QByteArray("0") << "\r\n    No image capture device found.";
}

void TestCommandCam::deviceList()
{
    QFETCH(QByteArray, cameras);
    QFETCH(QString, expected);
    qputenv("FRAMLA_COMMANDCAM_SYNTHETIC", cameras);
    QCOMPARE(imaging::GetDevlist(m_state), expected);
    QVERIFY(!QFile::exists(QStringLiteral("devlist.tmp")));
}

void TestCommandCam::capture_data()
{
    QTest::addColumn<double>("device");
    QTest::addColumn<bool>("preview");
    QTest::newRow("first camera, preview") << 1.0 << true;
    QTest::newRow("second camera, no preview") << 2.0 << false;
}

void TestCommandCam::capture()
{
    QFETCH(double, device);
    QFETCH(bool, preview);
    qputenv("FRAMLA_COMMANDCAM_SYNTHETIC", "2");
    m_state.aLocalCfg[6] = device;
    m_state.aLocalCfg[7] = 1.0; // one second
    m_state.aLocalCfg[8] = preview;
    const QString command = imaging::BldGrabCmd(m_state, 0, 0, false);
    QCOMPARE(imaging::GrabImage(m_state, command), QStringLiteral("image.bmp"));
    QVERIFY2(m_dialogs.boxes.isEmpty(), qPrintable(m_dialogs.texts().join(QLatin1Char('|'))));

    const QImage picture(QStringLiteral("image.bmp"));
    QCOMPARE(picture.size(), QSize(1280, 720));
    QVERIFY(coloursOnGrid(picture) > 6);

    // Shown in the source view as a capture is.
    imaging::ImageView view;
    view.resize(278, 256);
    m_state.aLocalCfg[0] = true;
    imaging::HangPicture(m_state, QStringLiteral("image.bmp"), &view, QStringLiteral("S"));
    QCOMPARE(view.file(), QStringLiteral("image.bmp"));
    QCOMPARE(view.rawSize(), QSize(1280, 720));
    QVERIFY(m_state.lOk2DelSrc);
}

void TestCommandCam::captureRefused_data()
{
    QTest::addColumn<double>("device");
    QTest::addColumn<QString>("said");
    // The tool's own reason, not what Qt says of a session without
    // XDG_RUNTIME_DIR (as under root or a service).
    QTest::newRow("no such camera")
        << 3.0
        << "The webcam did not deliver a picture.\r\ncommandcam ended with exit code 3: "
           "commandcam: there is no capture device 3 (2 found)";
    // A device number that does not fit its one-character field.
    QTest::newRow("device 10 overflows")
        << 10.0
        << "The webcam did not deliver a picture.\r\ncommandcam ended with exit code 2: "
           "commandcam: /devnum needs a device number from 1, not \"*\".";
}

void TestCommandCam::captureRefused()
{
    QFETCH(double, device);
    QFETCH(QString, said);
    qputenv("FRAMLA_COMMANDCAM_SYNTHETIC", "2");
    const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    // A capture from an earlier run must not pass for this one.
    QVERIFY(runtime::writeWholeFile(QStringLiteral("image.bmp"), "earlier capture"));
    m_state.aLocalCfg[6] = device;
    m_state.aLocalCfg[7] = 1.0;
    m_state.aLocalCfg[8] = true; // with the preview: the tool starts a GUI
    qputenv("QT_QPA_PLATFORM", "offscreen");
    imaging::GrabImage(m_state, imaging::BldGrabCmd(m_state, 0, 0, false));
    QVERIFY(!QFile::exists(QStringLiteral("image.bmp")));
    if (!runtimeDir.isEmpty())
        qputenv("XDG_RUNTIME_DIR", runtimeDir);
    QCOMPARE(m_dialogs.boxes.size(), 1);
    QCOMPARE(m_dialogs.boxes.first().text, said);
}

QTEST_MAIN(TestCommandCam)
#include "tst_commandcam.moc"
