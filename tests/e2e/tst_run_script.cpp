// The run script, beside a build step with nothing to do: asked for the
// version, and run until its window is up, then ended by SIGTERM.
#include "config/settings_file.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <pwd.h>
#include <sys/stat.h>

class TestRunScript : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void start_data();
    void start();
    void demo_data();
    void demo();
};

void TestRunScript::start_data()
{
    QTest::addColumn<int>("mode");      // of the working directory before; 0: none
    QTest::addColumn<bool>("leftover"); // the demo server of a killed run in it
    QTest::addColumn<int>("after");
    QTest::newRow("made private") << 0 << false << 0700;
    QTest::newRow("an existing one keeps its mode") << 0750 << false << 0750;
    QTest::newRow("a leftover demo ends") << 0700 << true << 0700;
}

void TestRunScript::start()
{
    QFETCH(int, mode);
    QFETCH(bool, leftover);
    QFETCH(int, after);
    QTemporaryDir top;
    const QString work = top.filePath("work"), demo = work + "/demo-server",
                  server = FRAMLA_SOURCE_DIR "/scripts/test-server";
    QVERIFY(QDir(top.path()).mkdir("scripts") &&
            QFile::link("/bin/true", top.filePath("scripts/build.sh")) &&
            QFile::link(server, top.filePath("scripts/test-server")) &&
            QFile::copy(FRAMLA_SOURCE_DIR "/scripts/run.sh", top.filePath("scripts/run.sh")));
    QVERIFY(mode == 0 ||
            (::mkdir(qPrintable(work), 0) == 0 && ::chmod(qPrintable(work), mode) == 0));
    const auto stop = qScopeGuard([&] { QProcess::execute("bash", {server, "stop", demo}); });
    QVERIFY(!leftover || QProcess::execute("bash", {server, "start", demo}) == 0);
    qputenv("FRAMLA_WORKDIR", work.toUtf8());
    qputenv("FRAMLA_BUILD_DIR", FRAMLA_BINARY_DIR);
    QProcess run;
    run.start("bash", {top.filePath("scripts/run.sh"), "--version"});
    QVERIFY(run.waitForFinished(60000));
    QVERIFY2(run.readAllStandardOutput().startsWith("Framla 3.20"), run.readAllStandardError());
    struct stat made {};
    QCOMPARE(::stat(qPrintable(work), &made) == 0 ? int(made.st_mode & 07777) : -1, after);
    QVERIFY(!QFile::exists(demo));
}

void TestRunScript::demo_data()
{
    QTest::addColumn<QString>("address"); // saved after the first run; "": the demo's own
    QTest::newRow("the demo's settings saved") << QString();
    QTest::newRow("settings for another server") << "shop.example";
}

void TestRunScript::demo()
{
    QFETCH(QString, address);
    QTemporaryDir top;
    const QString work = top.filePath("work"), cfg = work + "/Framla.cfg";
    QVERIFY(QDir(top.path()).mkdir("scripts") &&
            QFile::link("/bin/true", top.filePath("scripts/build.sh")) &&
            QFile::link(FRAMLA_SOURCE_DIR "/scripts/test-server",
                        top.filePath("scripts/test-server")) &&
            QFile::copy(FRAMLA_SOURCE_DIR "/scripts/run.sh", top.filePath("scripts/run.sh")));
    qputenv("FRAMLA_WORKDIR", work.toUtf8());
    qputenv("FRAMLA_BUILD_DIR", FRAMLA_BINARY_DIR);
    const auto contents = [](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const auto runsInWork = [&] {
        const QStringList pids = QDir("/proc").entryList(QDir::Dirs);
        return std::any_of(pids.begin(), pids.end(), [&](const QString &pid) {
            return QFileInfo("/proc/" + pid + "/cwd").symLinkTarget() == work;
        });
    };
    QStringList users; // of each run's demo server; "" without one
    QByteArray saved;
    for (int run = 0; run < 2; ++run) {
        QProcess script;
        script.setProcessChannelMode(QProcess::MergedChannels);
        script.start("bash", {top.filePath("scripts/run.sh")});
        QByteArray said;
        while (!said.contains("main window shown") && script.waitForReadyRead(60000))
            said += script.readAll();
        users << QString(contents(work + "/demo-server/server.env"))
                     .section("FRAMLA_TEST_USER=", 1)
                     .section('\n', 0, 0);
        ::kill(pid_t(script.processId()), SIGTERM);
        QVERIFY2(said.contains("main window shown") && script.waitForFinished(60000), said);
        // No window, virtual display or demo server is left, nor the demo's account.
        QTRY_VERIFY_WITH_TIMEOUT(!runsInWork(), 20000);
        QVERIFY(!QFile::exists(work + "/demo-server") &&
                ::getpwnam(qPrintable(users.last())) == nullptr);
        if (run == 0) { // "Test and save" writes the file whole, port and password scrambled
            framla::ServerLogin login = framla::config::parseSettings(contents(cfg), {});
            login.cAddress = address.isEmpty() ? login.cAddress : address;
            saved = framla::config::settingsFileText(login);
            QFile file(cfg);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(saved) == saved.size());
        }
    }
    // The demo's settings point at a fresh demo; another server's are as they were.
    QVERIFY2(users.at(0).startsWith("fxt") && users.at(1).isEmpty() == !address.isEmpty(),
             qPrintable(users.join(' ')));
    QCOMPARE(framla::config::parseSettings(contents(cfg), {}).cUser,
             users.at(address.isEmpty() ? 1 : 0));
    QCOMPARE(contents(cfg) == saved, !address.isEmpty());
}

QTEST_GUILESS_MAIN(TestRunScript)
#include "tst_run_script.moc"
