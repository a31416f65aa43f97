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

QTEST_GUILESS_MAIN(TestLaunch)
#include "tst_launch.moc"
