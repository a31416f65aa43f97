#include "shell.h"
#include "blocking.h"
#include "threads.h"

#include "dialogs.h"
#include "logging.h"
#include "shared_link.h"
#include "tool_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <functional>

namespace framla::runtime {

namespace {

/// Wait for the process within the limit; on the UI thread this is a
/// blocking routine: the window keeps repainting, keys are held for later
/// and pointer input is dropped.
enum class WaitEnd { Finished, TimedOut, ProgramEnding };

WaitEnd waitBounded(QProcess &process, int timeoutMs)
{
    if (!onUiThread())
        return process.waitForFinished(timeoutMs) ? WaitEnd::Finished : WaitEnd::TimedOut;
    if (process.state() == QProcess::NotRunning)
        return WaitEnd::Finished;
    BlockingWait wait;
    wait.endOn(&process, &QProcess::finished);
    wait.endOn(&process, &QProcess::errorOccurred);
    const bool inTime = wait.wait(timeoutMs);
    if (process.state() == QProcess::NotRunning)
        return WaitEnd::Finished;
    // A wait that ends early with the tool still running was ended by the
    // program quitting (no event loop runs any more once it does).
    return inTime ? WaitEnd::ProgramEnding : WaitEnd::TimedOut;
}

QString firstLine(const QByteArray &text)
{
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &line : lines) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            return QString::fromLocal8Bit(trimmed);
    }
    return {};
}

} // namespace

namespace {

/// Where a PuTTY command connects: "user@host" and the port.
struct PuttyLogin {
    QString userAtHost;
    QString port = QStringLiteral("22");
};

/// plink names "user@host" in its first such argument; pscp in its remote
/// path "user@host:path", which comes last when sending.
PuttyLogin puttyLogin(const ToolCommand &command)
{
    PuttyLogin login;
    const bool copy = command.executableName() == QStringLiteral("pscp");
    for (qsizetype i = 0; i < command.args.size(); ++i) {
        const QString &arg = command.args.at(i);
        if (arg == QStringLiteral("-P") && i + 1 < command.args.size())
            login.port = command.args.at(i + 1);
        else if (arg.contains(QLatin1Char('@')) && !arg.startsWith(QLatin1Char('-')) &&
                 (copy || login.userAtHost.isEmpty()))
            login.userAtHost = arg;
    }
    if (copy && !login.userAtHost.isEmpty()) {
        const qsizetype at = login.userAtHost.indexOf(QLatin1Char('@'));
        const qsizetype bracket = login.userAtHost.mid(at + 1).startsWith(QLatin1Char('['))
                                      ? login.userAtHost.indexOf(QLatin1Char(']'), at)
                                      : at;
        const qsizetype colon = login.userAtHost.indexOf(QLatin1Char(':'), bracket);
        if (colon > at)
            login.userAtHost.truncate(colon);
    }
    return login;
}

/// Words of PuTTY's prose: each blank may also be the end of a line, as the
/// tools wrap the same text at different places.
QString prose(const char *words)
{
    return QRegularExpression::escape(QString::fromLatin1(words))
        .replace(QStringLiteral("\\ "), QStringLiteral("[ \\n]"));
}

} // namespace

QString puttyServer(const ToolCommand &command)
{
    const PuttyLogin login = puttyLogin(command);
    if (login.userAtHost.isEmpty())
        return {};
    // A login name may hold "@" itself (clerk@corp): the host follows the last.
    QString host = login.userAtHost.mid(login.userAtHost.lastIndexOf(QLatin1Char('@')) + 1);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    return host + QStringLiteral(" (port ") + login.port + QLatin1Char(')');
}

LinkKey linkKeyOf(const ToolCommand &command)
{
    if (!command.isPutty())
        return {};
    const PuttyLogin login = puttyLogin(command);
    if (login.userAtHost.isEmpty())
        return {};
    return {login.userAtHost, login.port, command.passwordAt >= 0 ? command.password : QString()};
}

HostKeyQuestion parseHostKeyQuestion(const QByteArray &standardError, const QString &server)
{
    // PuTTY 0.78 with -batch, on a key it has not cached and on one that
    // differs from the cached one; nothing may come before or after.
    const QString host = QStringLiteral("\\n  (?<host>[^\\n]+)\\n");
    const QString key = QStringLiteral("(?<type>[A-Za-z0-9@.-]+)");
    const QString fingerprint = QStringLiteral(
        "\\n  (?<fingerprint>(?<fptype>[A-Za-z0-9@.-]+) [0-9]+ SHA256:[A-Za-z0-9+/=]+)\\n");
    const QString end = prose("Connection abandoned.") + QStringLiteral("\\n") +
                        prose("FATAL ERROR: Cannot confirm a host key in batch mode") +
                        QStringLiteral("\\n?\\z");
    static const QRegularExpression unknown(
        QStringLiteral("\\A") + prose("The host key is not cached for this server:") + host +
        prose("You have no guarantee that the server is the computer you think it is.") +
        QStringLiteral("\\n") + prose("The server's ") + key + prose(" key fingerprint is:") +
        fingerprint + end);
    static const QRegularExpression changed(
        QStringLiteral("\\A") + prose("WARNING - POTENTIAL SECURITY BREACH!") +
        QStringLiteral("\\n") + prose("The host key does not match the one ") +
        QStringLiteral("(?:Plink|PSCP)") + prose(" has cached for this server:") + host +
        prose("This means that either the server administrator has changed the host key, or "
              "you have actually connected to another computer pretending to be the server.") +
        QStringLiteral("\\n") + prose("The new ") + key + prose(" key fingerprint is:") +
        fingerprint + end);

    HostKeyQuestion question;
    QString text = QString::fromLocal8Bit(standardError);
    text.remove(QLatin1Char('\r'));
    QRegularExpressionMatch match = unknown.match(text);
    question.changed = !match.hasMatch();
    if (question.changed)
        match = changed.match(text);
    if (!match.hasMatch() || match.captured(u"type") != match.captured(u"fptype") ||
        server.isEmpty() || match.captured(u"host").compare(server, Qt::CaseInsensitive) != 0)
        return {};
    question.host = match.captured(u"host");
    question.fingerprint = match.captured(u"fingerprint");
    return question;
}

QString describePuttyFailure(const QByteArray &standardError)
{
    struct Known {
        const char *said;
        const char *meaning;
    };
    static const Known known[] = {
        {"Configured password was not accepted",
         "The server did not accept the user name or password."},
        {"Access denied", "The server did not accept the user name or password."},
        {"Connection refused",
         "The server refused the connection. Check the server address and the port."},
        {"Host does not exist", "The server address could not be found."},
        {"Name or service not known", "The server address could not be found."},
        {"Connection timed out", "The server could not be reached (no answer)."},
        {"No route to host", "The server could not be reached."},
        {"unexpectedly closed network connection", "The connection to the server was lost."},
        {"Connection reset by peer", "The connection to the server was lost."},
        {"Network is unreachable", "The server could not be reached."},
        {"No such file or directory", "The file or directory was not found on the server."},
        {"Permission denied", "The server did not allow access to the file."},
    };
    for (const Known &entry : known) {
        if (standardError.contains(entry.said))
            return QString::fromLatin1(entry.meaning);
    }
    return {};
}

ProcessShell::ProcessShell(QString appDir, Dialogs *dialogs, FirstSharedRuns firstRuns)
    : m_appDir(std::move(appDir))
    , m_dialogs(dialogs)
    , m_link(std::make_unique<SharedLink>(
          m_appDir, [this](const ToolCommand &command) { return resolve(command); }, firstRuns))
{}

ProcessShell::ProcessShell(QString appDir, Dialogs *dialogs, const ProcessShell &linkOwner)
    : m_appDir(std::move(appDir))
    , m_dialogs(dialogs)
    , m_link(linkOwner.m_link)
{}

ProcessShell::~ProcessShell() = default;

void ProcessShell::shareConnectionOf(const LinkKey &key)
{
    m_link->follow(key);
}

QString ProcessShell::toolDirectory()
{
    return QCoreApplication::instance() != nullptr ? QCoreApplication::applicationDirPath()
                                                   : QString();
}

QString ProcessShell::resolve(const ToolCommand &command) const
{
    // Beside the program, else on the search path; never in the working
    // directory, where anyone who can drop a file there would be run with
    // the server's password.
    const QString name = command.executableName();
    const QString beside = toolDirectory();
    QString found = beside.isEmpty() ? QString() : QStandardPaths::findExecutable(name, {beside});
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(name);
    return found;
}

QStringList ProcessShell::actualArguments(const ToolCommand &command, const QString &passwordFile,
                                          bool batch, bool share)
{
    QStringList args;
    if (command.isPutty() && batch)
        args << QStringLiteral("-batch");
    if (command.isPutty() && share)
        args << QStringLiteral("-share");
    for (qsizetype i = 0; i < command.args.size(); ++i) {
        if (i == command.passwordAt && !passwordFile.isEmpty())
            args << QStringLiteral("-pwfile") << passwordFile;
        args << command.args.at(i);
    }
    if (command.passwordAt >= command.args.size() && !passwordFile.isEmpty())
        args << QStringLiteral("-pwfile") << passwordFile;
    return args;
}

RunOutcome ProcessShell::runOnce(const ToolCommand &command, int timeoutMs, bool batch,
                                 const QByteArray &input, bool share)
{
    RunOutcome outcome;
    const QString program = resolve(command);
    if (program.isEmpty()) {
        outcome.message =
            QStringLiteral("The program %1 was not found in %2 or on the search path.")
                .arg(command.executableName(), toolDirectory());
        qCWarning(lcFramla).noquote() << "not found:" << command.text();
        return outcome;
    }

    // The password goes to PuTTY in a file that lives only in memory and is
    // known to the tool alone by its descriptor ("/dev/fd/N"): never on the
    // command line, where every user's process list would show it, and never
    // on disk, where a crash would leave it.
    PasswordFile passwordFile;
    QString passwordPath;
    if (command.isPutty() && command.passwordAt >= 0) {
        if (!passwordFile.open(command.password.toUtf8() + '\n')) {
            outcome.message = QStringLiteral("The password could not be handed to %1: %2")
                                  .arg(command.executableName(), passwordFile.error());
            return outcome;
        }
        passwordPath = passwordFile.path();
    }

    QProcess process;
    prepareToolProcess(process, program, actualArguments(command, passwordPath, batch, share),
                       m_appDir, passwordFile.descriptor());
    if (!command.outputFile.isEmpty())
        process.setStandardOutputFile(QDir(m_appDir).filePath(command.outputFile));

    qCInfo(lcFramla).noquote() << (share ? "running shared:" : "running:") << command.text();
    QElapsedTimer timer;
    timer.start();
    process.start();
    if (!process.waitForStarted(10000)) {
        outcome.message = QStringLiteral("The program %1 could not be started: %2")
                              .arg(program, process.errorString());
        qCWarning(lcFramla).noquote() << outcome.message;
        return outcome;
    }
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();

    const WaitEnd end = waitBounded(process, timeoutMs);
    if (end != WaitEnd::Finished) {
        stopToolProcess(process);
        outcome.status = RunOutcome::Status::TimedOut;
        outcome.message =
            end == WaitEnd::ProgramEnding
                ? QStringLiteral("%1 was stopped because the program is ending.")
                      .arg(command.executableName())
                : QStringLiteral("%1 did not finish within %2 seconds and was stopped.")
                      .arg(command.executableName())
                      .arg(timeoutMs / 1000.0);
    } else {
        outcome.status = RunOutcome::Status::Finished;
        outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    outcome.elapsedMs = timer.elapsed();
    outcome.standardOutput = process.readAllStandardOutput();
    outcome.standardError = process.readAllStandardError();
    qCInfo(lcFramla).noquote() << "ended:" << command.executableName() << "in" << outcome.elapsedMs
                               << "ms,"
                               << (outcome.status == RunOutcome::Status::TimedOut
                                       ? QStringLiteral("timed out")
                                       : QStringLiteral("exit code %1").arg(outcome.exitCode));
    return outcome;
}

bool ProcessShell::askToTrust(const ToolCommand &command, const HostKeyQuestion &question)
{
    if (m_dialogs == nullptr)
        return false;
    QStringList lines;
    if (question.changed) {
        lines << QStringLiteral("WARNING - POTENTIAL SECURITY BREACH!")
              << QStringLiteral("The server's host key does not match the one stored for it.")
              << QStringLiteral("Either the server was given a new key, or another computer "
                                "is pretending to be the server.");
    } else {
        lines << QStringLiteral("The host key is not cached for this server")
              << QStringLiteral("There is no guarantee that the server is the computer you "
                                "think it is.");
    }
    lines << QString() << QStringLiteral("Server: ") + question.host
          << QStringLiteral("Key fingerprint: ") + question.fingerprint << QString()
          << (question.changed ? QStringLiteral("Replace the stored key and connect?")
                               : QStringLiteral("Trust this server, store its key and connect?"));
    qCWarning(lcFramla).noquote() << "host key question for" << question.host << ":"
                                  << question.fingerprint << "from" << command.executableName();
    const int answer =
        m_dialogs->confirmBox(lines.join(QStringLiteral("\r\n")), QStringLiteral("Framla"),
                              Buttons::YesNo, Icon::Warning, DefaultButton::Second);
    return answer == kYes;
}

HostKeyQuestion ProcessShell::probeHostKey(const ToolCommand &command, int timeoutMs)
{
    const PuttyLogin login = puttyLogin(command);
    if (login.userAtHost.isEmpty())
        return {};
    // Without a password nothing can run on the server, so all this
    // connection prints before it gives up comes from PuTTY.
    ToolCommand probe;
    probe.tool = QStringLiteral("plink");
    probe.window = command.window;
    probe.args = {QStringLiteral("-ssh"),     QStringLiteral("-P"), login.port,
                  QStringLiteral("-noagent"), login.userAtHost,     QStringLiteral("true")};
    const RunOutcome probed = runOnce(probe, timeoutMs, true, {});
    if (probed.status != RunOutcome::Status::Finished || !probed.standardOutput.isEmpty())
        return {};
    return parseHostKeyQuestion(probed.standardError, puttyServer(command));
}

bool ProcessShell::storeHostKey(const ToolCommand &command, const HostKeyQuestion &question,
                                int timeoutMs, RunOutcome &outcome)
{
    // Answering "y" without -batch stores the key in PuTTY's own cache; the
    // connection then only runs "true".
    const PuttyLogin login = puttyLogin(command);
    ToolCommand store;
    store.tool = QStringLiteral("plink");
    store.window = command.window;
    store.args = {QStringLiteral("-ssh"),     QStringLiteral("-P"), login.port,
                  QStringLiteral("-noagent"), login.userAtHost,     QStringLiteral("true")};
    if (command.passwordAt >= 0) {
        store.password = command.password;
        store.passwordAt = 4;
    }
    outcome = runOnce(store, timeoutMs, false, QByteArrayLiteral("y\n"));
    // PuTTY shows the key again before it reads the answer: it must be the
    // one the operator accepted.
    const QByteArray shown = outcome.standardError.left(outcome.standardError.indexOf("(y/n"));
    if (shown.contains("\n  " + question.fingerprint.toLatin1() + '\n'))
        return true;
    qCWarning(lcFramla).noquote() << "the server showed another host key while"
                                  << question.fingerprint << "was being stored";
    outcome.status = RunOutcome::Status::Refused;
    outcome.message = QStringLiteral("The server showed another host key than the one accepted, "
                                     "so nothing was sent to the server.");
    return false;
}

RunOutcome ProcessShell::run(const ToolCommand &command, int timeoutMs)
{
    QElapsedTimer running;
    running.start();
    const SharedLink::Use link = m_link->enter(command);
    RunOutcome outcome = runOnce(command, timeoutMs, true, {}, link != nullptr);
    if (m_link->leave(link, outcome)) {
        // Nothing may fail for the sake of sharing: what the shared
        // connection failed runs again on a connection of its own.
        qCWarning(lcFramla).noquote() << "running again on its own connection:" << command.text();
        outcome =
            runOnce(command, int(std::max<qint64>(1, timeoutMs - running.elapsed())), true, {});
    }
    // What the remote command prints arrives on the same stream as PuTTY's
    // own words: a failure that speaks of a host key is checked by a
    // connection of its own before the operator hears of it.
    if (command.isPutty() && outcome.status == RunOutcome::Status::Finished &&
        outcome.exitCode != 0 && outcome.standardError.contains("host key")) {
        qint64 used = running.elapsed();
        const auto left = [&] { return int(std::max<qint64>(1, timeoutMs - used)); };
        QElapsedTimer probing;
        probing.start();
        const HostKeyQuestion question = probeHostKey(command, left());
        used += probing.elapsed();
        if (question.isValid()) {
            if (!askToTrust(command, question)) {
                outcome.status = RunOutcome::Status::Refused;
                outcome.message = QStringLiteral("The server's host key was not accepted, so "
                                                 "nothing was sent to the server.");
                return outcome;
            }
            if (!storeHostKey(command, question, left(), outcome))
                return outcome;
            used += outcome.elapsedMs;
            outcome = runOnce(command, left(), true, {});
        }
    }
    describeFailure(command, outcome);
    return outcome;
}

void ProcessShell::describeFailure(const ToolCommand &command, RunOutcome &outcome)
{
    if (outcome.succeeded() || !outcome.message.isEmpty())
        return;
    outcome.message = command.isPutty() ? describePuttyFailure(outcome.standardError) : QString();
    if (outcome.message.isEmpty()) {
        const QString said = firstLine(outcome.standardError);
        outcome.message =
            QStringLiteral("%1 ended with exit code %2%3")
                .arg(command.executableName())
                .arg(outcome.exitCode)
                .arg(said.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + said);
    }
}

namespace {

/// Tells a waiting thread that a run beside has ended: its signal, sent from
/// the run's thread, ends the wait of the thread this object lives on.
class EndSignal final : public QObject {
    Q_OBJECT
Q_SIGNALS:
    void ended();
};

/// A run beside on a thread of its own, waited for when it is finished or
/// goes (it must not outlive the runner it uses).
class ThreadRun final : public SideRun {
public:
    /// work ends within timeoutMs and some seconds more (its own time limit).
    ThreadRun(std::function<RunOutcome()> work, int timeoutMs)
        : m_timeoutMs(timeoutMs)
        , m_thread(QThread::create([this, work = std::move(work)] {
            m_outcome = work();
            m_ended = true;
            Q_EMIT m_signal.ended();
        }))
    {
        m_thread->start();
    }
    ~ThreadRun() override { wait(); }
    RunOutcome finish() override
    {
        wait();
        return m_outcome;
    }

private:
    void wait()
    {
        if (onUiThread() && !m_ended) {
            // The flag is set before the signal is sent: either it is seen
            // here, or the signal comes after the connection is made. A wait
            // that ends before that means that the program is ending: then
            // the run is simply waited for below.
            BlockingWait waiting;
            waiting.endOn(&m_signal, &EndSignal::ended);
            if (!m_ended)
                waiting.wait(m_timeoutMs + 10000);
        }
        m_thread->wait();
    }

    const int m_timeoutMs;
    RunOutcome m_outcome;
    std::atomic<bool> m_ended{false};
    EndSignal m_signal;
    std::unique_ptr<QThread> m_thread;
};

} // namespace

std::unique_ptr<SideRun> ProcessShell::startBeside(const ToolCommand &command, int timeoutMs)
{
    SharedLink::Use link = m_link->enterIfUp(command);
    if (!link)
        return nullptr;
    return std::make_unique<ThreadRun>(
        [this, command, timeoutMs, link] {
            QElapsedTimer running;
            running.start();
            RunOutcome outcome = runOnce(command, timeoutMs, true, {}, true);
            if (m_link->leave(link, outcome)) {
                qCWarning(lcFramla).noquote()
                    << "running again on its own connection:" << command.text();
                outcome = runOnce(command, int(std::max<qint64>(1, timeoutMs - running.elapsed())),
                                  true, {});
            }
            describeFailure(command, outcome);
            return outcome;
        },
        timeoutMs);
}

} // namespace framla::runtime

#include "shell.moc"
