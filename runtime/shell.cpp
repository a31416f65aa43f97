#include "shell.h"
#include "blocking.h"
#include "threads.h"

#include "dialogs.h"
#include "logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace framla::runtime
{

namespace
{

/// Wait for the process within the limit; on the UI thread this is a
/// blocking routine: the window keeps repainting, operator input is dropped.
bool waitBounded(QProcess &process, int timeoutMs)
{
    if (!onUiThread())
        return process.waitForFinished(timeoutMs);
    if (process.state() == QProcess::NotRunning)
        return true;
    BlockingWait wait;
    wait.endOn(&process, &QProcess::finished);
    wait.endOn(&process, &QProcess::errorOccurred);
    wait.wait(timeoutMs);
    return process.state() == QProcess::NotRunning;
}

void stop(QProcess &process)
{
    // Ask first so the tool can clean up; a tool that ignores it is killed.
    process.terminate();
    if (!process.waitForFinished(2000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

/// A file in memory only, gone when the last descriptor to it closes (the
/// program's and the tool's alike, however they end). Closed on exec in
/// every child but the one it is handed to.
class PasswordFile
{
public:
    PasswordFile() = default;
    PasswordFile(const PasswordFile &) = delete;
    PasswordFile &operator=(const PasswordFile &) = delete;
    ~PasswordFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool open(const QByteArray &content)
    {
        m_fd = ::memfd_create("framla-password", MFD_CLOEXEC);
        if (m_fd < 0 || ::fchmod(m_fd, 0600) != 0)
            return fail();
        for (qsizetype done = 0; done < content.size();) {
            const ssize_t written = ::write(m_fd, content.constData() + done, content.size() - done);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return fail();
            done += written;
        }
        return true;
    }
    int descriptor() const { return m_fd; }
    QString path() const { return QStringLiteral("/dev/fd/%1").arg(m_fd); }
    QString error() const { return m_error; }

private:
    bool fail()
    {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    int m_fd = -1;
    QString m_error;
};

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

HostKeyQuestion parseHostKeyQuestion(const QByteArray &standardError)
{
    HostKeyQuestion question;
    const QString text = QString::fromLocal8Bit(standardError);
    const bool unknown =
        text.contains(QStringLiteral("The host key is not cached for this server"));
    question.changed = text.contains(QStringLiteral("WARNING - POTENTIAL SECURITY BREACH!"));
    if (!unknown && !question.changed)
        return question;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i);
        if (question.host.isEmpty() && line.startsWith(QStringLiteral("  ")) &&
            question.fingerprint.isEmpty())
            question.host = line.trimmed();
        if (line.contains(QStringLiteral("fingerprint is:")) && i + 1 < lines.size()) {
            question.fingerprint = lines.at(i + 1).trimmed();
            break;
        }
    }
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

ProcessShell::ProcessShell(QString appDir, Dialogs *dialogs)
    : m_appDir(std::move(appDir))
    , m_dialogs(dialogs)
{
}

QString ProcessShell::resolve(const ToolCommand &command) const
{
    const QString name = command.executableName();
    QString found = QStandardPaths::findExecutable(name, {m_appDir});
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(name);
    return found;
}

QStringList ProcessShell::actualArguments(const ToolCommand &command, const QString &passwordFile,
                                          bool batch)
{
    QStringList args;
    if (command.isPutty() && batch)
        args << QStringLiteral("-batch");
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
                                 const QByteArray &input)
{
    RunOutcome outcome;
    const QString program = resolve(command);
    if (program.isEmpty()) {
        outcome.message =
            QStringLiteral("The program %1 was not found in %2 or on the search path.")
                .arg(command.executableName(), m_appDir);
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
    process.setProgram(program);
    process.setArguments(actualArguments(command, passwordPath, batch));
    process.setWorkingDirectory(m_appDir);
    if (!command.outputFile.isEmpty())
        process.setStandardOutputFile(QDir(m_appDir).filePath(command.outputFile));
    const pid_t parent = ::getpid();
    const int inherited = passwordFile.descriptor();
    process.setChildProcessModifier([parent, inherited] {
        // The tool dies with the program, even one killed outright; one whose
        // parent already died before this line does not run at all.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        // No terminal to ask the operator on: PuTTY reads its answers from
        // the standard input the runner gives it.
        ::setsid();
        if (inherited >= 0)
            ::fcntl(inherited, F_SETFD, 0);
    });

    qCInfo(lcFramla).noquote() << "running:" << command.text();
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

    if (!waitBounded(process, timeoutMs)) {
        stop(process);
        outcome.status = RunOutcome::Status::TimedOut;
        outcome.message = QStringLiteral("%1 did not finish within %2 seconds and was stopped.")
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

RunOutcome ProcessShell::run(const ToolCommand &command, int timeoutMs)
{
    RunOutcome outcome = runOnce(command, timeoutMs, true, {});
    if (command.isPutty() && outcome.status == RunOutcome::Status::Finished &&
        outcome.exitCode != 0) {
        const HostKeyQuestion question = parseHostKeyQuestion(outcome.standardError);
        if (question.isValid()) {
            if (!askToTrust(command, question)) {
                outcome.status = RunOutcome::Status::Refused;
                outcome.message = QStringLiteral("The server's host key was not accepted, so "
                                                 "nothing was sent to the server.");
                return outcome;
            }
            // Answering "y" without -batch stores the key in PuTTY's own cache
            // and goes on with the command.
            outcome = runOnce(command, timeoutMs, false, QByteArrayLiteral("y\n"));
        }
    }
    if (!outcome.succeeded() && outcome.message.isEmpty()) {
        outcome.message =
            command.isPutty() ? describePuttyFailure(outcome.standardError) : QString();
        if (outcome.message.isEmpty()) {
            const QString said = firstLine(outcome.standardError);
            outcome.message =
                QStringLiteral("%1 ended with exit code %2%3")
                    .arg(command.executableName())
                    .arg(outcome.exitCode)
                    .arg(said.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + said);
        }
    }
    return outcome;
}

} // namespace framla::runtime
