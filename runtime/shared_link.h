#pragma once

// One SSH connection to the server, kept open while the program runs, that
// every plink and pscp run of the running settings goes through (PuTTY's
// connection sharing): an upstream "plink -share -N" started by the runner,
// and every run with "-share". A run never depends on it: while it is not
// up, or when it fails, the run makes its own connection as before.

#include "shell.h"
#include "tool_command.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace framla::runtime {

/// The upstream that holds the connection for key: plink, verbose (its log
/// says when it shares and when it is logged in), no command, sharing.
ToolCommand upstreamCommand(const LinkKey &key);

/// How long to wait before starting a connection again after `failures`
/// failed or lost ones in a row (1, 2, ...): it doubles up to five minutes.
int retryDelayMs(int failures);

/// True when a PuTTY run's standard error says that its connection, not the
/// remote command, failed: for a run through the shared connection that is
/// the shared connection's failure.
bool connectionLost(const QByteArray &standardError);

/// The upstream's log so far, read as a state.
enum class UpstreamLog {
    Starting,  ///< nothing decisive yet
    Listening, ///< it holds the sharing socket and is logging in
    Up,        ///< it holds the socket and is logged in
    Useless,   ///< logged in without a socket, or only a downstream of another upstream
};
UpstreamLog readUpstreamLog(const QByteArray &log);

/// The shared connection of the running settings. Safe to use from any
/// thread; each upstream's QProcess lives on a thread of its own (which it
/// cannot outlive).
class SharedLink {
public:
    /// resolve names the executable of a tool (as the runner finds it).
    SharedLink(QString appDir, std::function<QString(const ToolCommand &)> resolve,
               FirstSharedRuns firstRuns = FirstSharedRuns::OwnConnection);
    ~SharedLink();
    SharedLink(const SharedLink &) = delete;
    SharedLink &operator=(const SharedLink &) = delete;

    /// The running settings log in with key: only their runs share. A link
    /// for another key is ended (once the runs through it are done); the new
    /// one starts with the first run that may use it.
    void follow(const LinkKey &key);

    struct Upstream;
    /// A run's use of the link; empty when the run goes on its own.
    using Use = std::shared_ptr<Upstream>;
    /// Whether command goes through the link. The first run of the running
    /// settings starts it; a run that does not share never waits long.
    Use enter(const ToolCommand &command);
    /// Like enter, but only through a link that is logged in now (so the
    /// server's host key is known): it never starts one and never waits.
    Use enterIfUp(const ToolCommand &command);
    /// The run through use ended with outcome; true when it failed in a way
    /// the link may have caused, so it should run again on its own. A link
    /// that failed is ended and a new one tried only after a pause.
    bool leave(const Use &use, const RunOutcome &outcome);

    /// True once the current link is logged in and shares; waits up to
    /// timeoutMs for it (for tests and measurements).
    bool waitUntilUp(int timeoutMs);
    /// Links that failed in a row since one was last logged in; the pause
    /// before the next try grows with it.
    int failuresInARow();

private:
    // All but keep() are called with m_mutex held.
    void startUpstream();
    void keep(const std::shared_ptr<Upstream> &upstream, const QString &program);
    void retire(std::shared_ptr<Upstream> upstream); // a copy: it may be m_current
    void failed();
    void joinEnded();

    const QString m_appDir;
    const std::function<QString(const ToolCommand &)> m_resolve;
    const FirstSharedRuns m_firstRuns;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    LinkKey m_key;
    std::shared_ptr<Upstream> m_current;
    std::vector<std::shared_ptr<Upstream>> m_ended;
    int m_failures = 0;
    std::chrono::steady_clock::time_point m_nextTry;
};

} // namespace framla::runtime
