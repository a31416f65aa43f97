// The tool runner: finding the tool, time limits, exit codes, the working
// directory, the password file and the host-key question. The tools here are
// small scripts standing in for the real ones.
#include "runtime/files.h"
#include "runtime/shared_link.h"
#include "runtime/shell.h"
#include "support/scripted_dialogs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

using namespace framla;
using runtime::ProcessShell;
using runtime::RunOutcome;
using runtime::ToolCommand;

class TestShell : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void notFound_data();
    void notFound();
    void exitCodeAndError();
    void timeLimit();
    void programEnding();
    void workingDirectoryAndOutputFile();
    void passwordGoesThroughPrivateFile();
    void hostKeyQuestion_data();
    void hostKeyQuestion();
    void hostKey_data();
    void hostKey();
    void puttyFailures_data();
    void puttyFailures();
    void killedProgramLeavesNothing();
    void runBeside_data();
    void runBeside();

private:
    void tool(const QString &name, const QByteArray &body);
    QString file(const QString &name) const { return m_dir->filePath(name); }
    QByteArray read(const QString &name) const;
    std::unique_ptr<QTemporaryDir> m_dir;
    test::ScriptedDialogs m_dialogs;
    QByteArray m_path;
};

void TestShell::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_dialogs = test::ScriptedDialogs();
    // The stand-in tools are found on the search path, as installed tools are.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("bin")));
    m_path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(file(QStringLiteral("bin"))) + ':' + m_path);
}

void TestShell::cleanup()
{
    qputenv("PATH", m_path);
}

void TestShell::tool(const QString &name, const QByteArray &body)
{
    QFile script(file(QStringLiteral("bin/") + name));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n" + body + "\n");
    script.close();
    QVERIFY(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ExeOwner));
}

QByteArray TestShell::read(const QString &name) const
{
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TestShell::notFound_data()
{
    QTest::addColumn<QString>("where"); // the tool lies there, or nowhere
    QTest::newRow("nowhere") << "";
    // Anyone who can put a file into the working directory must not get it
    // run with the password.
    QTest::newRow("only in the working directory") << ".";
}

void TestShell::notFound()
{
    QFETCH(QString, where);
    const QString name = QStringLiteral("no-such-framla-tool");
    if (!where.isEmpty()) {
        QVERIFY(runtime::writeWholeFile(file(name), "#!/bin/sh\ntouch ran\n"));
        QVERIFY(QFile::setPermissions(file(name), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    ProcessShell shell(m_dir->path(), &m_dialogs);
    ToolCommand command;
    command.tool = name;
    const RunOutcome outcome = shell.run(command, 5000);
    QCOMPARE(outcome.status, RunOutcome::Status::NotStarted);
    QCOMPARE(outcome.message, QStringLiteral("The program %1 was not found in %2 or on the "
                                             "search path.")
                                  .arg(name, QCoreApplication::applicationDirPath()));
    QVERIFY(!QFile::exists(file(QStringLiteral("ran"))));
}

void TestShell::exitCodeAndError()
{
    tool(QStringLiteral("failing"), "echo 'convert: unable to open image' >&2; exit 3");
    ProcessShell shell(m_dir->path(), &m_dialogs);
    ToolCommand command;
    command.tool = QStringLiteral("failing");
    const RunOutcome outcome = shell.run(command, 5000);
    QCOMPARE(outcome.status, RunOutcome::Status::Finished);
    QCOMPARE(outcome.exitCode, 3);
    QVERIFY(!outcome.succeeded());
    QCOMPARE(outcome.message,
             QStringLiteral("failing ended with exit code 3: convert: unable to open image"));
}

void TestShell::timeLimit()
{
    tool(QStringLiteral("hanging"), "exec sleep 60");
    ProcessShell shell(m_dir->path(), &m_dialogs);
    ToolCommand command;
    command.tool = QStringLiteral("hanging");
    QElapsedTimer timer;
    timer.start();
    const RunOutcome outcome = shell.run(command, 300);
    QCOMPARE(outcome.status, RunOutcome::Status::TimedOut);
    QCOMPARE(outcome.message, QStringLiteral("hanging did not finish within 0.3 seconds and was "
                                             "stopped."));
    // Stopped promptly, not left to run out its minute.
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
}

// The program quits while a tool runs on the UI thread: no event loop runs
// any more, so the wait ends at once; the tool is stopped and the outcome
// says why, not that a minute went by.
void TestShell::programEnding()
{
    tool(QStringLiteral("hanging"), "exec sleep 60");
    ProcessShell shell(m_dir->path(), &m_dialogs);
    ToolCommand command;
    command.tool = QStringLiteral("hanging");
    RunOutcome outcome;
    QTimer::singleShot(0, [&] { outcome = shell.run(command, 60000); });
    QTimer::singleShot(200, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    QCOMPARE(outcome.status, RunOutcome::Status::TimedOut);
    QCOMPARE(outcome.message, QStringLiteral("hanging was stopped because the program is ending."));
}

void TestShell::workingDirectoryAndOutputFile()
{
    tool(QStringLiteral("where"), "pwd; printf '%s|' \"$@\"");
    ProcessShell shell(m_dir->path(), &m_dialogs);
    ToolCommand command;
    command.tool = QStringLiteral("where");
    command.args = {QStringLiteral("two words"), QStringLiteral("*"), QStringLiteral("$(id)")};
    command.outputFile = QStringLiteral("devlist.tmp");
    const QString before = QDir::currentPath();
    QVERIFY(shell.run(command, 5000).succeeded());
    QCOMPARE(QDir::currentPath(), before);
    const QList<QByteArray> lines = read(QStringLiteral("devlist.tmp")).split('\n');
    QCOMPARE(QDir(QString::fromLocal8Bit(lines.value(0))).canonicalPath(),
             QDir(m_dir->path()).canonicalPath());
    // Arguments arrive as they were given: no splitting, no globbing, no substitution.
    QCOMPARE(lines.value(1), QByteArray("two words|*|$(id)|"));
}

void TestShell::passwordGoesThroughPrivateFile()
{
    tool(QStringLiteral("pscp"), "printf '%s\\n' \"$@\" > args.txt\n"
                                 "while [ $# -gt 0 ]; do\n"
                                 "  if [ \"$1\" = -pwfile ]; then cat \"$2\" > pw.txt; "
                                 "stat -L -c %a \"$2\" > mode.txt; echo \"$2\" > pwpath.txt; fi\n"
                                 "  shift\ndone");
    ProcessShell shell(m_dir->path(), &m_dialogs);
    ToolCommand command;
    command.tool = QStringLiteral(".\\pscp.exe");
    command.args = {QStringLiteral("-scp"), QStringLiteral("-P"), QStringLiteral("22"),
                    QStringLiteral("clerk@shop:/srv/x"), QStringLiteral(".")};
    command.password = QStringLiteral("s3cret pass");
    command.passwordAt = 3;
    QVERIFY(shell.run(command, 5000).succeeded());

    const QList<QByteArray> args = read(QStringLiteral("args.txt")).trimmed().split('\n');
    QCOMPARE(args.value(0), QByteArray("-batch"));
    QVERIFY(args.contains("-pwfile"));
    QVERIFY(!args.contains("-pw"));
    QVERIFY(!read(QStringLiteral("args.txt")).contains("s3cret"));
    QCOMPARE(args.indexOf("-pwfile"), 4); // where -pw stands in the documented line
    QCOMPARE(read(QStringLiteral("pw.txt")), QByteArray("s3cret pass\n"));
    QCOMPARE(read(QStringLiteral("mode.txt")).trimmed(), QByteArray("600"));
    // A descriptor of the tool's own, not a file on disk.
    QVERIFY(read(QStringLiteral("pwpath.txt")).startsWith("/dev/fd/"));
    QVERIFY(!command.text().contains(QStringLiteral("s3cret")));
}

namespace {
// What plink and pscp 0.78 print with -batch on a key they have not cached
// and on one that differs from the cached one.
const QByteArray kUnknownKey = "The host key is not cached for this server:\n"
                               "  127.0.0.1 (port 2222)\n"
                               "You have no guarantee that the server is the computer you\n"
                               "think it is.\n"
                               "The server's ssh-ed25519 key fingerprint is:\n"
                               "  ssh-ed25519 255 SHA256:AbCdEf\n";
const QByteArray kBatchEnd = "Connection abandoned.\n"
                             "FATAL ERROR: Cannot confirm a host key in batch mode\n";
const QByteArray kChangedKey = "WARNING - POTENTIAL SECURITY BREACH!\n"
                               "The host key does not match the one PSCP has cached for this\n"
                               "server:\n"
                               "  127.0.0.1 (port 2222)\n"
                               "This means that either the server administrator has changed\n"
                               "the host key, or you have actually connected to another\n"
                               "computer pretending to be the server.\n"
                               "The new ssh-ed25519 key fingerprint is:\n"
                               "  ssh-ed25519 255 SHA256:AbCdEf\n";
const QByteArray kNoLogin = "FATAL ERROR: Cannot answer interactive prompts in batch mode\n";
} // namespace

void TestShell::hostKeyQuestion_data()
{
    QTest::addColumn<QByteArray>("said");
    QTest::addColumn<QString>("found"); // "changed|host|fingerprint", "" for no question
    const QString unknown = "0|127.0.0.1 (port 2222)|ssh-ed25519 255 SHA256:AbCdEf";
    QTest::newRow("unknown key") << kUnknownKey + kBatchEnd << unknown;
    QTest::newRow("with CR LF") << QByteArray(kUnknownKey + kBatchEnd).replace("\n", "\r\n")
                                << unknown;
    QTest::newRow("changed key") << kChangedKey + kBatchEnd
                                 << "1|127.0.0.1 (port 2222)|ssh-ed25519 255 SHA256:AbCdEf";
    QTest::newRow("changed key, plink's wrapping")
        << QByteArray(kChangedKey + kBatchEnd)
               .replace("PSCP has cached for this\nserver:", "Plink has cached for\nthis server:")
        << "1|127.0.0.1 (port 2222)|ssh-ed25519 255 SHA256:AbCdEf";
    QTest::newRow("after other output") << "Welcome\n" + kUnknownKey + kBatchEnd << "";
    QTest::newRow("followed by more") << kUnknownKey + kBatchEnd + "done\n"
                                      << "";
    QTest::newRow("not given up") << kUnknownKey << "";
    QTest::newRow("another port")
        << QByteArray(kUnknownKey + kBatchEnd).replace("(port 2222)", "(port 22)") << "";
    QTest::newRow("another host")
        << QByteArray(kUnknownKey + kBatchEnd).replace("127.0.0.1", "10.0.0.9") << "";
    QTest::newRow("words changed")
        << QByteArray(kUnknownKey + kBatchEnd).replace("no guarantee", "every guarantee") << "";
}

void TestShell::hostKeyQuestion()
{
    QFETCH(QByteArray, said);
    QFETCH(QString, found);
    ToolCommand command;
    command.tool = QStringLiteral(".\\pscp.exe");
    command.args = {QStringLiteral("-scp"), QStringLiteral("-P"), QStringLiteral("2222"),
                    QStringLiteral("scratch.jpg"),
                    QStringLiteral("clerk@corp@127.0.0.1:/srv/x.jpg")};
    QCOMPARE(runtime::puttyServer(command), QStringLiteral("127.0.0.1 (port 2222)"));
    const runtime::HostKeyQuestion question =
        runtime::parseHostKeyQuestion(said, runtime::puttyServer(command));
    QCOMPARE(question.isValid() ? QStringLiteral("%1|%2|%3")
                                      .arg(int(question.changed))
                                      .arg(question.host, question.fingerprint)
                                : QString(),
             found);
}

void TestShell::hostKey_data()
{
    QTest::addColumn<QByteArray>(
        "said"); // by the run that fails, and by the one that cannot log in
    QTest::addColumn<QByteArray>("probe");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("runs");
    const QString command = "-batch -ssh -P 2222 clerk@127.0.0.1 framaid";
    const QString probe = "-batch -ssh -P 2222 -noagent clerk@127.0.0.1 true";
    const QString store = "-ssh -P 2222 -noagent clerk@127.0.0.1 true";
    QTest::newRow("new key accepted")
        << kUnknownKey + kBatchEnd << kUnknownKey + kBatchEnd << int(runtime::kYes)
        << QStringList{command, probe, store, command};
    QTest::newRow("new key refused") << kUnknownKey + kBatchEnd << kUnknownKey + kBatchEnd
                                     << int(runtime::kNo) << QStringList{command, probe};
    QTest::newRow("changed key accepted")
        << kChangedKey + kBatchEnd << kChangedKey + kBatchEnd << int(runtime::kYes)
        << QStringList{command, probe, store, command};
    QTest::newRow("changed key refused") << kChangedKey + kBatchEnd << kChangedKey + kBatchEnd
                                         << int(runtime::kNo) << QStringList{command, probe};
    // The remote command printed it; PuTTY itself asks nothing.
    QTest::newRow("printed by the server")
        << kUnknownKey + kBatchEnd << kNoLogin << -1 << QStringList{command, probe};
    QTest::newRow("another server named")
        << kUnknownKey + kBatchEnd << QByteArray(kUnknownKey + kBatchEnd).replace("2222", "2223")
        << -1 << QStringList{command, probe};
}

void TestShell::hostKey()
{
    QFETCH(QByteArray, said);
    QFETCH(QByteArray, probe);
    QFETCH(int, answer);
    QFETCH(QStringList, runs);
    QVERIFY(runtime::writeWholeFile(file("said.txt"), said));
    QVERIFY(runtime::writeWholeFile(file("probe.txt"), probe));
    // Stands for plink: the key counts as cached once a run without -batch
    // was answered "y".
    tool(QStringLiteral("plink"),
         "echo \"$*\" >> runs.txt\n"
         "case \" $* \" in\n"
         "*' -batch '*' true '*) cat probe.txt >&2; exit 1 ;;\n"
         "*' -batch '*) [ -e stored.txt ] && exit 0; cat said.txt >&2; exit 1 ;;\n"
         "esac\n"
         "cat said.txt | head -n -2 >&2\n"
         "printf 'Store key in cache? (y/n, Return cancels connection, i for more info) ' >&2\n"
         "read reply; [ \"$reply\" = y ] && echo stored > stored.txt");
    if (answer >= 0)
        m_dialogs.answers.enqueue(answer);
    ProcessShell shell(m_dir->path(), &m_dialogs);
    ToolCommand command;
    command.tool = QStringLiteral(".\\plink.exe");
    command.args = {QStringLiteral("-ssh"), QStringLiteral("-P"), QStringLiteral("2222"),
                    QStringLiteral("clerk@127.0.0.1"), QStringLiteral("framaid")};
    const RunOutcome outcome = shell.run(command, 5000);

    QCOMPARE(QString::fromLatin1(read(QStringLiteral("runs.txt"))).split('\n', Qt::SkipEmptyParts),
             runs);
    QCOMPARE(m_dialogs.boxes.size(), answer >= 0 ? 1 : 0);
    if (answer < 0) {
        QCOMPARE(outcome.status, RunOutcome::Status::Finished);
        return;
    }
    const QString box = m_dialogs.boxes.first().text;
    QVERIFY(box.contains(QStringLiteral("Key fingerprint: ssh-ed25519 255 SHA256:AbCdEf")));
    QVERIFY(box.contains(QStringLiteral("Server: 127.0.0.1 (port 2222)")));
    QVERIFY(box.startsWith(said.startsWith("WARNING")
                               ? QStringLiteral("WARNING - POTENTIAL SECURITY BREACH!")
                               : QStringLiteral("The host key is not cached for this server")));
    QCOMPARE(m_dialogs.boxes.first().defaultButton, runtime::DefaultButton::Second);
    if (answer == runtime::kYes) {
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.message));
    } else {
        QCOMPARE(outcome.status, RunOutcome::Status::Refused);
        QCOMPARE(outcome.message, QStringLiteral("The server's host key was not accepted, so "
                                                 "nothing was sent to the server."));
    }
}

void TestShell::puttyFailures_data()
{
    QTest::addColumn<QByteArray>("said");
    QTest::addColumn<QString>("meaning");
    QTest::newRow("password") << QByteArray("Configured password was not accepted\n")
                              << "The server did not accept the user name or password.";
    QTest::newRow("closed port")
        << QByteArray("FATAL ERROR: Network error: Connection refused\n")
        << "The server refused the connection. Check the server address and the port.";
    QTest::newRow("unknown host") << QByteArray("FATAL ERROR: Host does not exist\n")
                                  << "The server address could not be found.";
    QTest::newRow("missing file") << QByteArray(
                                         "scp: /srv/zmr/framla.ok: No such file or directory\n")
                                  << "The file or directory was not found on the server.";
    QTest::newRow("connection cut")
        << QByteArray("FATAL ERROR: Remote side unexpectedly closed network connection\n")
        << "The connection to the server was lost.";
    QTest::newRow("connection reset")
        << QByteArray("FATAL ERROR: Network error: Connection reset by peer\n")
        << "The connection to the server was lost.";
    QTest::newRow("nothing known") << QByteArray("something else\n") << "";
}

void TestShell::puttyFailures()
{
    QFETCH(QByteArray, said);
    QFETCH(QString, meaning);
    QCOMPARE(runtime::describePuttyFailure(said), meaning);
}

namespace {

/// The tool's process is gone (a zombie left to whoever adopted it counts as gone).
bool running(qint64 pid)
{
    const QByteArray stat =
        runtime::readWholeFile(QStringLiteral("/proc/%1/stat").arg(pid)).value_or("");
    const qsizetype end = stat.lastIndexOf(')');
    return end > 0 && stat.mid(end + 2, 1) != "Z" && stat.mid(end + 2, 1) != "X";
}

/// The regular files directly in dir that hold text.
QStringList filesHolding(const QString &dir, const QByteArray &text)
{
    QStringList found;
    const QFileInfoList files = QDir(dir).entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo &info : files) {
        if (info.size() < (1 << 20) &&
            runtime::readWholeFile(info.filePath()).value_or("").contains(text))
            found << info.filePath();
    }
    return found;
}

/// The program of killedProgramLeavesNothing: runs plink from dir with the
/// password and waits for it.
int runToolAndWait(const QString &dir, const QString &password)
{
    runtime::ProcessShell shell(dir, nullptr);
    ToolCommand command;
    command.tool = QStringLiteral(".\\plink.exe");
    command.args = {QStringLiteral("-ssh"), QStringLiteral("clerk@127.0.0.1"),
                    QStringLiteral("true")};
    command.password = password;
    command.passwordAt = 1;
    return shell.run(command, 120000).succeeded() ? 0 : 1;
}

} // namespace

void TestShell::killedProgramLeavesNothing()
{
    // A plink that reads the password and then runs on.
    tool(QStringLiteral("plink"),
         "while [ $# -gt 0 ]; do\n"
         "  [ \"$1\" = -pwfile ] && cat \"$2\" > seen.tmp && mv seen.tmp seen.txt\n"
         "  shift\ndone\n"
         "echo $$ > pid.txt\nexec sleep 120");
    const QByteArray password =
        "pw-" + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    QProcess program;
    program.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--run-tool"), m_dir->path(), QString::fromLatin1(password)});
    QVERIFY(program.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file("seen.txt")) && QFile::exists(file("pid.txt")),
                             30000);
    QCOMPARE(read(QStringLiteral("seen.txt")), password + '\n');
    const qint64 tool = read(QStringLiteral("pid.txt")).trimmed().toLongLong();
    QVERIFY(running(tool));
    const auto reap = qScopeGuard([tool] {
        if (running(tool))
            ::kill(pid_t(tool), SIGKILL);
    });

    ::kill(pid_t(program.processId()), SIGKILL);
    QVERIFY(program.waitForFinished(10000));
    // The tool went with the program, and no file anywhere near keeps the password.
    QTRY_VERIFY_WITH_TIMEOUT(!running(tool), 10000);
    QCOMPARE(filesHolding(QDir::tempPath(), password) + filesHolding(m_dir->path(), password),
             QStringList{file("seen.txt")});
}

void TestShell::runBeside_data()
{
    QTest::addColumn<QString>("shared"); ///< the login whose runs share a connection
    QTest::newRow("through the shared connection") << "clerk@shop";
    QTest::newRow("not while none is up for it") << "other@shop";
}

void TestShell::runBeside()
{
    QFETCH(QString, shared);
    // The upstream shares and is logged in at once; the request and the
    // fetch each end well only when the other one starts meanwhile.
    const QByteArray waitFor = "i=0; while [ ! -e X ] && [ $i -lt 500 ]; do sleep 0.01; "
                               "i=$((i+1)); done; [ -e X ]";
    tool(QStringLiteral("plink"), "case \" $* \" in *' -N '*) printf 'Sharing this connection at "
                                  "/x\\nAccess granted\\n' >&2; exec sleep 60 ;;\n"
                                  "*' framaid '*) touch main; " +
                                      QByteArray(waitFor).replace('X', "side") + " ;; esac");
    tool(QStringLiteral("pscp"), "touch side; " + QByteArray(waitFor).replace('X', "main"));
    ProcessShell shell(m_dir->path(), &m_dialogs);
    const auto putty = [](const QString &tool, const QString &where, const QString &what) {
        ToolCommand command;
        command.tool = tool;
        command.args = {QStringLiteral("-P"), QStringLiteral("22"), where, what};
        return command;
    };
    const ToolCommand request = putty(".\\plink.exe", "clerk@shop", "framaid");
    const ToolCommand fetch = putty(".\\pscp.exe", "clerk@shop:/x.jpg", "x.jpg");
    shell.shareConnectionOf({shared, QStringLiteral("22"), QString()});
    shell.run(putty(".\\plink.exe", "clerk@shop", "true"), 5000);
    const bool up = shell.sharedLink().waitUntilUp(5000);
    std::unique_ptr<runtime::SideRun> side = shell.startBeside(fetch, 10000);
    QCOMPARE(side != nullptr, up);
    QCOMPARE(up, shared == QStringLiteral("clerk@shop"));
    if (side) {
        QVERIFY(shell.run(request, 10000).succeeded());
        QVERIFY(side->finish().succeeded());
    }
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--run-tool") == 0)
        return runToolAndWait(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TestShell test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_shell.moc"
