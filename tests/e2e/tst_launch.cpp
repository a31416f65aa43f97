// The real program starts on a headless platform and on a real X display,
// shows its window and ends cleanly when asked to stop.
#include "support/x_display.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestLaunch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void offscreen();
    void onXDisplay();
    void oldPutty();

private:
    static QString programPath();
    /// Start framla in dir and wait until it says its window is shown.
    static void startProgram(QProcess &program, const QString &dir, const QProcessEnvironment &env);
    static void stopProgram(QProcess &program);
};

QString TestLaunch::programPath()
{
    return QStringLiteral(FRAMLA_BINARY_DIR "/app/framla");
}

void TestLaunch::startProgram(QProcess &program, const QString &dir, const QProcessEnvironment &env)
{
    program.setWorkingDirectory(dir);
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(programPath(), {QStringLiteral("shop")});
    QVERIFY2(program.waitForStarted(10000), qPrintable(program.errorString()));
    QByteArray output;
    QDeadlineTimer deadline(30000);
    while (!output.contains("main window shown") && !deadline.hasExpired() &&
           program.state() == QProcess::Running) {
        program.waitForReadyRead(500);
        output += program.readAll();
    }
    QVERIFY2(output.contains("main window shown"), output.constData());
    QVERIFY(output.contains("shop.cfg"));
}

void TestLaunch::stopProgram(QProcess &program)
{
    const qint64 pid = program.processId();
    QVERIFY(pid > 0);
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    QVERIFY(program.waitForFinished(15000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

void TestLaunch::offscreen()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess program;
    startProgram(program, dir.path(), env);
    if (QTest::currentTestFailed())
        return;
    stopProgram(program);
}

void TestLaunch::onXDisplay()
{
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    QVERIFY2(!xdotool.isEmpty(), "xdotool must be installed");
    const framla::test::XDisplay display; // a display of our own
    QVERIFY2(!display.name().isEmpty(), "Xvfb did not start");

    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("DISPLAY"), display.name());
    QProcess program;
    startProgram(program, dir.path(), env);
    if (QTest::currentTestFailed())
        return;

    // The window is on the display under its title.
    QProcess search;
    search.setProcessEnvironment(env);
    search.start(xdotool, {QStringLiteral("search"), QStringLiteral("--name"),
                           QStringLiteral("Framla by Tillsmith Solutions CC")});
    QVERIFY(search.waitForFinished(10000));
    QVERIFY2(!search.readAllStandardOutput().trimmed().isEmpty(), "window not found on display");

    stopProgram(program);
}

void TestLaunch::oldPutty()
{
    // A plink that says it is 0.76 and notes every run, and settings with a
    // start code, whose look-up would run it.
    QTemporaryDir dir;
    QFile plink(dir.filePath("plink")), settings(dir.filePath("shop.cfg")),
        runs(dir.filePath("runs"));
    QVERIFY(plink.open(QIODevice::WriteOnly) &&
            plink.setPermissions(plink.permissions() | QFile::ExeOwner) &&
            plink.write("#!/bin/sh\necho \"$*\" >> runs\necho 'plink: Release 0.76'\n") > 0 &&
            settings.open(QIODevice::WriteOnly) &&
            settings.write("[Address]\nshop.example\n[Datapath]\n/srv/shop\n[Username]\nclerk\n") >
                0);
    plink.close();
    settings.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("PATH", dir.path() + ':' + env.value("PATH"));
    QProcess program;
    program.setWorkingDirectory(dir.path());
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(programPath(), {"shop", "AB12"});
    QByteArray said;
    while (!said.contains("main window shown") && program.waitForReadyRead(30000))
        said += program.readAll();
    QVERIFY2(said.contains(
                 "framla: Framla needs PuTTY 0.77 or newer, but the plink found here is 0.76, so "
                 "nothing "
                 "is looked up on or sent to the server until PuTTY (putty-tools) is updated.\n"),
             said.constData());
    QVERIFY(runs.open(QIODevice::ReadOnly));
    QCOMPARE(runs.readAll(), QByteArray("-batch -V\n"));
    stopProgram(program);
}

QTEST_GUILESS_MAIN(TestLaunch)
#include "tst_launch.moc"
