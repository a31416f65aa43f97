// The real program starts on a headless platform and on a real X display,
// shows its window and ends cleanly when asked to stop.
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestLaunch : public QObject
{
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
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    QVERIFY2(!xvfb.isEmpty() && !xdotool.isEmpty(), "Xvfb and xdotool must be installed");

    // A display of our own; Xvfb tells its number when it is ready.
    QProcess server;
    server.start(xvfb,
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                  QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp")});
    QVERIFY(server.waitForStarted(10000));
    QByteArray number;
    QDeadlineTimer deadline(20000);
    while (!number.contains('\n') && !deadline.hasExpired() &&
           server.state() == QProcess::Running) {
        server.waitForReadyRead(500);
        number += server.readAllStandardOutput();
    }
    QVERIFY2(number.contains('\n'), "Xvfb did not start");
    const QString display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());

    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("DISPLAY"), display);
    QProcess program;
    startProgram(program, dir.path(), env);
    if (QTest::currentTestFailed()) {
        server.kill();
        server.waitForFinished(5000);
        return;
    }

    // The window is on the display under its title.
    QProcess search;
    search.setProcessEnvironment(env);
    search.start(xdotool, {QStringLiteral("search"), QStringLiteral("--name"),
                           QStringLiteral("Framla by Tillsmith Solutions CC")});
    QVERIFY(search.waitForFinished(10000));
    QVERIFY2(!search.readAllStandardOutput().trimmed().isEmpty(), "window not found on display");

    stopProgram(program);
    server.terminate();
    server.waitForFinished(5000);
}

QTEST_GUILESS_MAIN(TestLaunch)
#include "tst_launch.moc"
