// The shared connection's rules (which runs share, the upstream's command
// line, its log, the pause after a failure) and its behaviour with a plink
// stand-in: only the running settings share, a run the shared connection
// fails runs again alone and the next one is tried after a pause, new
// settings end the old upstream.
#include "runtime/shared_link.h"
#include "runtime/shell.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <thread>

using namespace framla;
using runtime::LinkKey;
using runtime::ProcessShell;
using runtime::ToolCommand;
using runtime::UpstreamLog;

Q_DECLARE_METATYPE(framla::runtime::UpstreamLog)

namespace {

ToolCommand putty(const QString &tool, const QStringList &args, int passwordAt = 3)
{
    ToolCommand command;
    command.tool = tool;
    command.args = args;
    command.password = QStringLiteral("pw");
    command.passwordAt = passwordAt;
    return command;
}

ToolCommand plink(const QString &port, const QString &word = QStringLiteral("true"))
{
    return putty(QStringLiteral(".\\plink.exe"), {QStringLiteral("-ssh"), QStringLiteral("-P"),
                                                  port, QStringLiteral("shop@srv"), word});
}

} // namespace

class TestLinkRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void key_data();
    void key();
    void arguments_data();
    void arguments();
    void upstreamLog_data();
    void upstreamLog();
    void retryDelay_data();
    void retryDelay();
    void connectionLost_data();
    void connectionLost();
    void onlyTheRunningSettingsShare();
    void brokenLinkRunsAlone_data();
    void brokenLinkRunsAlone();
    void newSettingsEndTheOldUpstream();
    void runsFromTwoThreads();

private:
    QStringList runs() const;
    qint64 upstreamPid() const;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestLinkRules::init()
{
    // A plink that, as the upstream (-N), logs what PuTTY logs and stays;
    // otherwise notes its arguments and, with -share while "lost" exists,
    // fails as a downstream whose upstream went away ("slow": never ends).
    m_dir = std::make_unique<QTemporaryDir>();
    QFile script(m_dir->filePath(QStringLiteral("plink")));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(
        "#!/bin/sh\n"
        "case \" $* \" in *\" -N \"*)\n"
        "  echo $$ > upstream.pid\n"
        "  echo 'Sharing this connection at /tmp/x/socket' >&2\n"
        "  echo 'Access granted' >&2; exec sleep 120;;\n"
        "esac\n"
        "line=; for a; do case $a in /dev/fd/*) line=\"$line FD\";; *) line=\"$line $a\";; esac; "
        "done\n"
        "echo \"$line\" >> runs.txt\n"
        "case \" $* \" in *\" -share \"*) if [ -e lost ]; then\n"
        "  echo 'FATAL ERROR: Remote side unexpectedly closed network connection' >&2; exit 1\n"
        "fi; if [ -e slow ]; then exec sleep 60; fi;; esac\n");
    script.close();
    QVERIFY(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ExeOwner));
    // Found first on the search path, before the real plink.
    static const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_dir->path()) + ':' + path);
}

QStringList TestLinkRules::runs() const
{
    QFile file(m_dir->filePath(QStringLiteral("runs.txt")));
    return file.open(QIODevice::ReadOnly)
               ? QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
               : QStringList();
}

qint64 TestLinkRules::upstreamPid() const
{
    QFile file(m_dir->filePath(QStringLiteral("upstream.pid")));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
}

static bool alive(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) == 0;
}

void TestLinkRules::key_data()
{
    QTest::addColumn<ToolCommand>("command");
    QTest::addColumn<QStringList>("key");
    QTest::newRow("plink") << plink(QStringLiteral("2222"), QStringLiteral("a@b"))
                           << QStringList{"shop@srv", "2222", "pw"};
    QTest::newRow("pscp fetch") << putty(".\\pscp.exe",
                                         {"-scp", "-P", "22", "shop@srv:/db/framla.ok", "."})
                                << QStringList{"shop@srv", "22", "pw"};
    QTest::newRow("pscp send") << putty(".\\pscp.exe", {"-scp", "-P", "22", "scratch.jpg",
                                                        "shop@[::1]:/db/a b.jpg"})
                               << QStringList{"shop@[::1]", "22", "pw"};
    QTest::newRow("no password") << putty(".\\plink.exe", {"-ssh", "-P", "22", "shop@srv", "true"},
                                          -1)
                                 << QStringList{"shop@srv", "22", ""};
    QTest::newRow("not PuTTY") << putty("convert", {"a@b.jpg", "c.jpg"}, -1)
                               << QStringList{"", "", ""};
}

void TestLinkRules::key()
{
    QFETCH(ToolCommand, command);
    QFETCH(QStringList, key);
    const LinkKey got = runtime::linkKeyOf(command);
    QCOMPARE((QStringList{got.userAtHost, got.port, got.password}), key);
}

void TestLinkRules::arguments_data()
{
    QTest::addColumn<ToolCommand>("command");
    QTest::addColumn<bool>("share");
    QTest::addColumn<QString>("arguments");
    QTest::newRow("own") << plink("22") << false
                         << "-batch -ssh -P 22 -pwfile /dev/fd/9 shop@srv true";
    QTest::newRow("shared") << plink("22") << true
                            << "-batch -share -ssh -P 22 -pwfile /dev/fd/9 shop@srv true";
    QTest::newRow("shared copy") << putty(".\\pscp.exe",
                                          {"-scp", "-P", "22", "shop@srv:/db/x", "."})
                                 << true
                                 << "-batch -share -scp -P 22 -pwfile /dev/fd/9 shop@srv:/db/x .";
    QTest::newRow("never for other tools") << putty("mogrify", {"x.jpg"}, -1) << true << "x.jpg";
    QTest::newRow("upstream") << runtime::upstreamCommand({"shop@srv", "2222", "pw"}) << false
                              << "-batch -ssh -P 2222 -v -share -N -pwfile /dev/fd/9 shop@srv";
}

void TestLinkRules::arguments()
{
    QFETCH(ToolCommand, command);
    QFETCH(bool, share);
    QFETCH(QString, arguments);
    QCOMPARE(ProcessShell::actualArguments(command, QStringLiteral("/dev/fd/9"), true, share)
                 .join(QLatin1Char(' ')),
             arguments);
}

void TestLinkRules::upstreamLog_data()
{
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<UpstreamLog>("state");
    const QByteArray sharing = "Sharing this connection at /tmp/putty-connshare.root/ab/socket\n";
    const QByteArray granted = "Using username \"fxt\".\nSent password\nAccess granted\n";
    QTest::newRow("nothing yet") << QByteArray("Looking up host \"127.0.0.1\"\n")
                                 << UpstreamLog::Starting;
    QTest::newRow("socket") << sharing + "Connecting to 127.0.0.1 port 22\n"
                            << UpstreamLog::Listening;
    QTest::newRow("logged in") << sharing + granted << UpstreamLog::Up;
    QTest::newRow("logged in, no socket")
        << "Could not set up connection sharing\n" + granted << UpstreamLog::Useless;
    QTest::newRow("another upstream's downstream")
        << QByteArray("Using existing shared connection at /tmp/putty-connshare.root/ab/socket\n")
        << UpstreamLog::Useless;
    QTest::newRow("refused password") << sharing + "Sent password\nAccess denied\n"
                                      << UpstreamLog::Listening;
}

void TestLinkRules::upstreamLog()
{
    QFETCH(QByteArray, log);
    QFETCH(UpstreamLog, state);
    QCOMPARE(runtime::readUpstreamLog(log), state);
}

void TestLinkRules::retryDelay_data()
{
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("delayMs");
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("first") << 1 << 5000;
    QTest::newRow("third") << 3 << 20000;
    QTest::newRow("capped") << 8 << 300000;
    QTest::newRow("many") << 400 << 300000;
}

void TestLinkRules::retryDelay()
{
    QFETCH(int, failures);
    QFETCH(int, delayMs);
    QCOMPARE(runtime::retryDelayMs(failures), delayMs);
}

void TestLinkRules::connectionLost_data()
{
    QTest::addColumn<QByteArray>("error");
    QTest::addColumn<bool>("lost");
    QTest::newRow("upstream gone")
        << QByteArray("FATAL ERROR: Remote side unexpectedly closed network connection\n") << true;
    QTest::newRow("reset") << QByteArray("FATAL ERROR: Network error: Connection reset by peer\n")
                           << true;
    QTest::newRow("missing file") << QByteArray("scp: /db/x: No such file or directory\n") << false;
    QTest::newRow("command's own words")
        << QByteArray("framaid: Remote side unexpectedly closed\n") << false;
}

void TestLinkRules::connectionLost()
{
    QFETCH(QByteArray, error);
    QFETCH(bool, lost);
    QCOMPARE(runtime::connectionLost(error), lost);
}

void TestLinkRules::onlyTheRunningSettingsShare()
{
    ProcessShell shell(m_dir->path(), nullptr);
    QVERIFY(shell.run(plink("22"), 10000).succeeded()); // nothing runs shared yet
    shell.shareConnectionOf(runtime::linkKeyOf(plink("22")));
    QVERIFY(shell.run(plink("22", "first"), 10000).succeeded());
    QVERIFY(shell.sharedLink().waitUntilUp(10000));
    ToolCommand test = plink("22", "test");
    test.mayShare = false;
    for (const ToolCommand &command : {plink("22", "second"), plink("23", "other"), test})
        QVERIFY(shell.run(command, 10000).succeeded());
    QCOMPARE(runs(), (QStringList{" -batch -ssh -P 22 -pwfile FD shop@srv true",
                                  " -batch -ssh -P 22 -pwfile FD shop@srv first",
                                  " -batch -share -ssh -P 22 -pwfile FD shop@srv second",
                                  " -batch -ssh -P 23 -pwfile FD shop@srv other",
                                  " -batch -ssh -P 22 -pwfile FD shop@srv test"}));
}

void TestLinkRules::brokenLinkRunsAlone_data()
{
    QTest::addColumn<QString>("trouble"); // the file that makes the shared run fail
    QTest::addColumn<QStringList>("expected");
    const QString alone = QStringLiteral(" -batch -ssh -P 22 -pwfile FD shop@srv ");
    const QString first = alone + "first",
                  shared = " -batch -share -ssh -P 22 -pwfile FD shop@srv second";
    QTest::newRow("connection lost: the run goes again alone")
        << "lost" << QStringList{first, shared, alone + "second", alone + "third"};
    QTest::newRow("timed out: the run is not repeated")
        << "slow" << QStringList{first, shared, alone + "third"};
}

void TestLinkRules::brokenLinkRunsAlone()
{
    QFETCH(QString, trouble);
    QFETCH(QStringList, expected);
    ProcessShell shell(m_dir->path(), nullptr);
    shell.shareConnectionOf(runtime::linkKeyOf(plink("22")));
    QVERIFY(shell.run(plink("22", "first"), 10000).succeeded());
    QVERIFY(shell.sharedLink().waitUntilUp(10000));
    const qint64 upstream = upstreamPid();
    QVERIFY(alive(upstream));
    QFile file(m_dir->filePath(trouble));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QCOMPARE(shell.run(plink("22", "second"), 2000).succeeded(), trouble == "lost");
    // The failed upstream is ended; the next run does not wait for a new one.
    QVERIFY(shell.run(plink("22", "third"), 10000).succeeded());
    QCOMPARE(runs(), expected);
    QTRY_VERIFY_WITH_TIMEOUT(!alive(upstream), 10000);
    QCOMPARE(shell.sharedLink().failuresInARow(), 1);
    // After the pause a new one is tried; once up, the count starts again.
    QVERIFY(file.remove());
    QTest::qWait(runtime::retryDelayMs(1));
    QVERIFY(shell.run(plink("22", "fourth"), 10000).succeeded());
    QVERIFY(shell.sharedLink().waitUntilUp(10000));
    QCOMPARE(shell.sharedLink().failuresInARow(), 0);
}

void TestLinkRules::newSettingsEndTheOldUpstream()
{
    ProcessShell shell(m_dir->path(), nullptr);
    shell.shareConnectionOf(runtime::linkKeyOf(plink("22")));
    QVERIFY(shell.run(plink("22"), 10000).succeeded());
    QVERIFY(shell.sharedLink().waitUntilUp(10000));
    const qint64 old = upstreamPid();
    QVERIFY(alive(old));
    shell.shareConnectionOf(runtime::linkKeyOf(plink("2200")));
    QTRY_VERIFY_WITH_TIMEOUT(!alive(old), 10000);
    // The new settings' first run opens their own upstream.
    QVERIFY(shell.run(plink("2200"), 10000).succeeded());
    QVERIFY(shell.sharedLink().waitUntilUp(10000));
    QVERIFY(upstreamPid() != old && alive(upstreamPid()));
}

void TestLinkRules::runsFromTwoThreads()
{
    // The window's thread and the upload worker run at once, while the
    // settings change under them and back.
    ProcessShell shell(m_dir->path(), nullptr);
    shell.shareConnectionOf(runtime::linkKeyOf(plink("22")));
    QVERIFY(shell.run(plink("22"), 10000).succeeded());
    QVERIFY(shell.sharedLink().waitUntilUp(10000));
    constexpr int each = 30;
    std::atomic<int> failed = 0;
    std::thread worker([&] {
        for (int i = 0; i < each; ++i)
            failed += shell.run(plink("22", QStringLiteral("worker")), 10000).succeeded() ? 0 : 1;
    });
    for (int i = 0; i < each; ++i) {
        if (i == each / 3)
            shell.shareConnectionOf(runtime::linkKeyOf(plink("2200")));
        if (i == 2 * each / 3)
            shell.shareConnectionOf(runtime::linkKeyOf(plink("22")));
        failed += shell.run(plink("22", QStringLiteral("window")), 10000).succeeded() ? 0 : 1;
    }
    worker.join();
    QCOMPARE(failed.load(), 0);
    const QStringList lines = runs();
    QCOMPARE(lines.filter(QStringLiteral(" worker")).size(), each);
    QCOMPARE(lines.filter(QStringLiteral(" window")).size(), each);
    QVERIFY(!lines.filter(QStringLiteral(" -share ")).isEmpty());
}

QTEST_GUILESS_MAIN(TestLinkRules)
#include "tst_link_rules.moc"
