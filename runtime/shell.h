#pragma once

#include "core/service.h"
#include "tool_command.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace framla::runtime {

class Dialogs;
class SharedLink;

/// What two PuTTY runs must have in common to share one connection: who logs
/// in where, and with which password (a connection made with an old password
/// proves nothing about a new one).
struct LinkKey {
    QString userAtHost; ///< "user@host" as the command names it
    QString port;
    QString password;
    bool isValid() const { return !userAtHost.isEmpty(); }
    bool operator==(const LinkKey &) const = default;
};

/// The key of a plink or pscp command; invalid for any other tool.
LinkKey linkKeyOf(const ToolCommand &command);

/// What the first runs do while the shared connection is still logging in.
enum class FirstSharedRuns {
    OwnConnection, ///< make their own connections meanwhile
    Attach,        ///< go through it as soon as it holds its socket, and wait
};

/// How a run ended.
struct RunOutcome {
    enum class Status {
        Finished,   ///< the tool ran and exited (see exitCode)
        NotStarted, ///< the tool was not found or could not be started
        TimedOut,   ///< the tool did not end within the time limit and was stopped
        Refused,    ///< the operator did not trust the server's host key
    };
    Status status = Status::NotStarted;
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
    qint64 elapsedMs = 0;
    /// A readable sentence for the operator when the run did not succeed.
    QString message;

    bool succeeded() const { return status == Status::Finished && exitCode == 0; }
};

/// A run started beside the runs that follow it on the same thread (see
/// Shell::startBeside).
class SideRun {
public:
    virtual ~SideRun() = default;
    /// Waits until the run has ended and says how; on the UI thread the
    /// window keeps painting meanwhile. Once only.
    virtual RunOutcome finish() = 0;
};

/// Time limits in milliseconds.
inline constexpr int kCopyTimeoutMs = 60000;
inline constexpr int kLookupTimeoutMs = 30000;
inline constexpr int kImageToolTimeoutMs = 60000;

/// Runs a tool and waits for it. The program uses ProcessShell; tests of the
/// layers above use a scripted shell.
class Shell {
public:
    virtual ~Shell() = default;
    virtual RunOutcome run(const ToolCommand &command, int timeoutMs) = 0;
    /// The running settings log in with key: their PuTTY runs may share one
    /// connection from now on, and one kept for other settings is ended.
    virtual void shareConnectionOf(const LinkKey &key) { (void)key; }
    /// Starts command within timeoutMs beside the runs that follow on this
    /// thread, when it can run without asking the operator anything; else
    /// nothing (null), and the caller runs it itself when it needs it. A run
    /// beside never asks about a host key: a failure that speaks of one is
    /// the caller's to run again. This default starts nothing, so that the
    /// runs go one after the other in the order the caller makes them.
    virtual std::unique_ptr<SideRun> startBeside(const ToolCommand &command, int timeoutMs)
    {
        (void)command;
        (void)timeoutMs;
        return nullptr;
    }
};

/// What PuTTY said when it stopped at a host key it could not check.
struct HostKeyQuestion {
    bool changed = false; ///< the cached key differs (a possible attack)
    QString host;         ///< "127.0.0.1 (port 2222)"
    QString fingerprint;  ///< "ssh-ed25519 255 SHA256:..."
    bool isValid() const { return !fingerprint.isEmpty(); }
};

/// The server a PuTTY command connects to, as PuTTY names it in its
/// questions: "127.0.0.1 (port 2222)"; "" when the command names none.
QString puttyServer(const ToolCommand &command);

/// PuTTY's host-key question, when the tool's standard error of a run with
/// -batch begins with it in PuTTY's own layout, word for word, names server
/// ("127.0.0.1 (port 2222)") and holds nothing else. Anything else (text
/// before or after it, another server) is no question.
HostKeyQuestion parseHostKeyQuestion(const QByteArray &standardError, const QString &server);

/// A sentence for the operator about a failed PuTTY run, from its standard
/// error; empty when nothing known is in it.
QString describePuttyFailure(const QByteArray &standardError);

/// Runs tools directly with QProcess (never through a shell) in the program's
/// directory. A tool is taken from the program's directory when it is there,
/// else from PATH. The PuTTY tools always run with -batch and read the
/// password from a file that exists only in memory ("/dev/fd/N"), so nothing
/// is left on disk even when the program is killed. Every tool is killed
/// when the program dies.
///
/// A PuTTY run that fails is never taken at its word about the host key: its
/// standard error also carries what the remote command printed. Only a
/// second connection that cannot log in (no password, so nothing can run on
/// the server) shows whether PuTTY itself stops at the key; then the operator
/// is asked, an accepted key is stored by a harmless run ("true"), and the
/// command runs once more.
///
/// The PuTTY runs of the running settings (see shareConnectionOf) go through
/// one connection kept open (SharedLink) once it is up; a run that the
/// shared connection fails is run again on a connection of its own.
class ProcessShell final : public Shell {
public:
    ProcessShell(QString appDir, Dialogs *dialogs,
                 FirstSharedRuns firstRuns = FirstSharedRuns::OwnConnection);
    /// A runner in a directory of its own whose PuTTY runs go through the
    /// shared connection of linkOwner, which must outlive it: runners side
    /// by side (the channels of a batch) then share one connection.
    ProcessShell(QString appDir, Dialogs *dialogs, const ProcessShell &linkOwner);
    ~ProcessShell() override;

    RunOutcome run(const ToolCommand &command, int timeoutMs) override;
    void shareConnectionOf(const LinkKey &key) override;
    /// A PuTTY run of the running settings starts beside, on a thread of its
    /// own, only while their shared connection is logged in: the server's
    /// host key is known then. Any other run starts nothing.
    std::unique_ptr<SideRun> startBeside(const ToolCommand &command, int timeoutMs) override;
    /// The shared connection, for tests and measurements.
    SharedLink &sharedLink() { return *m_link; }

    /// The executable the command would run, or "" when none is found: the
    /// tool in the program's own directory (toolDirectory), else on PATH.
    QString resolve(const ToolCommand &command) const;
    /// The directory of the program's executable.
    static QString toolDirectory();

    /// The argument list handed to the tool: for PuTTY "-batch" (unless
    /// batch is false), "-share" when share is true, and "-pwfile FILE"
    /// where the line has "-pw".
    static QStringList actualArguments(const ToolCommand &command, const QString &passwordFile,
                                       bool batch, bool share = false);

private:
    RunOutcome runOnce(const ToolCommand &command, int timeoutMs, bool batch,
                       const QByteArray &input, bool share = false);
    /// The question PuTTY itself asks about command's server, found by a
    /// connection that cannot log in.
    HostKeyQuestion probeHostKey(const ToolCommand &command, int timeoutMs);
    /// Store the accepted key in PuTTY's cache; false (with a message) when
    /// the server showed another key meanwhile.
    bool storeHostKey(const ToolCommand &command, const HostKeyQuestion &question, int timeoutMs,
                      RunOutcome &outcome);
    bool askToTrust(const ToolCommand &command, const HostKeyQuestion &question);
    /// A failed run's message for the operator, when it has none yet.
    static void describeFailure(const ToolCommand &command, RunOutcome &outcome);

    QString m_appDir;
    Dialogs *m_dialogs;
    std::shared_ptr<SharedLink> m_link;
};

} // namespace framla::runtime

namespace framla {
/// runtime::Shell fills the program state's ShellService slot.
template<> struct ServiceType<ShellService> {
    using type = runtime::Shell;
};
} // namespace framla
