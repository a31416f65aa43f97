#include "shared_link.h"

#include "logging.h"
#include "tool_process.h"

#include <QProcess>

#include <atomic>
#include <thread>

namespace framla::runtime {

namespace {

using Clock = std::chrono::steady_clock;

/// How long a run waits for a starting upstream to take the sharing socket
/// (only when the first runs attach to it): PuTTY does that before it even
/// connects, so this is a bound, not a pause.
constexpr auto kAttachWait = std::chrono::seconds(3);
/// What the upstream's log keeps for the message when it fails.
constexpr qsizetype kLogKept = 8192;

} // namespace

struct SharedLink::Upstream {
    explicit Upstream(LinkKey k)
        : key(std::move(k))
    {}
    const LinkKey key;
    std::thread thread;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> finished{false};
    // Guarded by the link's mutex.
    UpstreamLog state = UpstreamLog::Starting;
    bool ended = false;
    bool retiring = false;
    int users = 0;
};

ToolCommand upstreamCommand(const LinkKey &key)
{
    ToolCommand command;
    command.tool = QStringLiteral(".\\plink.exe");
    command.window = WindowHint::Hidden;
    command.viaStart = false;
    command.args = {QStringLiteral("-ssh"), QStringLiteral("-P"),     key.port,
                    QStringLiteral("-v"),   QStringLiteral("-share"), QStringLiteral("-N"),
                    key.userAtHost};
    command.password = key.password;
    command.passwordAt = 6;
    return command;
}

int retryDelayMs(int failures)
{
    constexpr int first = 5000;
    constexpr int most = 300000;
    if (failures <= 0)
        return 0;
    int delay = first;
    for (int i = 1; i < failures && delay < most; ++i)
        delay *= 2;
    return std::min(delay, most);
}

bool connectionLost(const QByteArray &standardError)
{
    // PuTTY's own words when the connection under a run goes away; a
    // downstream of a shared connection says the same when the upstream does.
    static const char *const lost[] = {
        "FATAL ERROR: Remote side unexpectedly closed network connection",
        "FATAL ERROR: Server unexpectedly closed network connection",
        "FATAL ERROR: Network error:",
        "FATAL ERROR: Remote side sent disconnect message",
    };
    for (const char *words : lost) {
        if (standardError.contains(words))
            return true;
    }
    return false;
}

UpstreamLog readUpstreamLog(const QByteArray &log)
{
    // PuTTY 0.78's verbose log: the socket comes first, then the login.
    if (log.contains("Using existing shared connection at "))
        return UpstreamLog::Useless;
    const bool sharing = log.contains("Sharing this connection at ");
    if (log.contains("\nAccess granted"))
        return sharing ? UpstreamLog::Up : UpstreamLog::Useless;
    return sharing ? UpstreamLog::Listening : UpstreamLog::Starting;
}

SharedLink::SharedLink(QString appDir, std::function<QString(const ToolCommand &)> resolve,
                       FirstSharedRuns firstRuns)
    : m_appDir(std::move(appDir))
    , m_resolve(std::move(resolve))
    , m_firstRuns(firstRuns)
{}

SharedLink::~SharedLink()
{
    std::vector<std::shared_ptr<Upstream>> all;
    {
        std::lock_guard lock(m_mutex);
        if (m_current)
            retire(m_current);
        for (const auto &upstream : m_ended)
            upstream->stopRequested = true;
        all.swap(m_ended);
    }
    for (const auto &upstream : all) {
        if (upstream->thread.joinable())
            upstream->thread.join();
    }
}

void SharedLink::follow(const LinkKey &key)
{
    std::lock_guard lock(m_mutex);
    if (key == m_key)
        return;
    qCInfo(lcFramla).noquote() << "shared connection now for" << key.userAtHost << "port"
                               << key.port;
    m_key = key;
    if (m_current)
        retire(m_current);
    m_failures = 0;
    m_nextTry = {};
}

SharedLink::Use SharedLink::enter(const ToolCommand &command)
{
    if (!command.isPutty() || !command.mayShare)
        return {};
    const LinkKey key = linkKeyOf(command);
    std::unique_lock lock(m_mutex);
    joinEnded();
    if (!key.isValid() || !(key == m_key))
        return {};
    if (!m_current && Clock::now() >= m_nextTry)
        startUpstream();
    if (m_current && m_firstRuns == FirstSharedRuns::Attach)
        m_changed.wait_for(lock, kAttachWait, [this] {
            return !m_current || m_current->state != UpstreamLog::Starting;
        });
    if (!m_current)
        return {};
    const UpstreamLog state = m_current->state;
    if (state == UpstreamLog::Up ||
        (state == UpstreamLog::Listening && m_firstRuns == FirstSharedRuns::Attach)) {
        ++m_current->users;
        return m_current;
    }
    return {};
}

SharedLink::Use SharedLink::enterIfUp(const ToolCommand &command)
{
    if (!command.isPutty() || !command.mayShare)
        return {};
    const LinkKey key = linkKeyOf(command);
    std::lock_guard lock(m_mutex);
    if (!key.isValid() || !(key == m_key) || !m_current || m_current->state != UpstreamLog::Up)
        return {};
    ++m_current->users;
    return m_current;
}

bool SharedLink::leave(const Use &use, const RunOutcome &outcome)
{
    if (!use)
        return false;
    std::lock_guard lock(m_mutex);
    --use->users;
    const bool broken = use->ended || outcome.status == RunOutcome::Status::TimedOut ||
                        (!outcome.succeeded() && connectionLost(outcome.standardError));
    if (broken && !use->stopRequested) {
        qCWarning(lcFramla) << "the shared connection failed; runs make their own connections";
        if (use == m_current) {
            retire(use);
            failed();
        }
        use->stopRequested = true;
    }
    if (use->retiring && use->users == 0)
        use->stopRequested = true;
    return broken && outcome.status == RunOutcome::Status::Finished && !outcome.succeeded();
}

bool SharedLink::waitUntilUp(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return !m_current || m_current->state == UpstreamLog::Up;
    }) && m_current;
}

int SharedLink::failuresInARow()
{
    std::lock_guard lock(m_mutex);
    return m_failures;
}

void SharedLink::startUpstream()
{
    const ToolCommand upstream = upstreamCommand(m_key);
    const QString program = m_resolve(upstream);
    if (program.isEmpty()) {
        failed();
        return;
    }
    qCInfo(lcFramla).noquote() << "opening the shared connection:" << upstream.text();
    m_current = std::make_shared<Upstream>(m_key);
    m_current->thread = std::thread([this, keeper = m_current, program] { keep(keeper, program); });
}

void SharedLink::keep(const std::shared_ptr<Upstream> &upstream, const QString &program)
{
    // The upstream is started, read and stopped on this thread alone, and
    // dies with it.
    const ToolCommand command = upstreamCommand(upstream->key);
    PasswordFile password;
    QProcess process;
    bool running = password.open(upstream->key.password.toUtf8() + '\n');
    if (running) {
        prepareToolProcess(process, program,
                           ProcessShell::actualArguments(command, password.path(), true), m_appDir,
                           password.descriptor());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start();
        running = process.waitForStarted(10000);
    }
    QByteArray log;
    UpstreamLog state = UpstreamLog::Starting;
    while (running && process.state() != QProcess::NotRunning) {
        if (upstream->stopRequested) {
            stopToolProcess(process);
            break;
        }
        process.waitForReadyRead(100);
        log = (log + process.readAll()).right(kLogKept);
        if (state == UpstreamLog::Up)
            continue; // it logs the runs it carries: only its end is of interest
        const UpstreamLog now = readUpstreamLog(log);
        if (now == state)
            continue;
        state = now;
        {
            std::lock_guard lock(m_mutex);
            upstream->state = state;
            if (state == UpstreamLog::Up && upstream == m_current)
                m_failures = 0;
        }
        m_changed.notify_all();
        if (state == UpstreamLog::Up)
            qCInfo(lcFramla) << "the shared connection is open";
        if (state == UpstreamLog::Useless) {
            // Another plink already shares this login (and would wait for
            // this one forever), or PuTTY could not share: of no use.
            stopToolProcess(process);
            break;
        }
    }
    log += process.readAll();
    {
        std::lock_guard lock(m_mutex);
        upstream->ended = true;
        if (upstream == m_current) {
            const QList<QByteArray> lines = log.trimmed().split('\n');
            qCWarning(lcFramla).noquote()
                << "the shared connection ended; runs make their own connections:"
                << QString::fromLocal8Bit(
                       lines.mid(std::max<qsizetype>(0, lines.size() - 2)).join(" / "));
            retire(upstream);
            failed();
        }
    }
    m_changed.notify_all();
    upstream->finished = true;
}

void SharedLink::retire(std::shared_ptr<Upstream> upstream)
{
    upstream->retiring = true;
    if (upstream == m_current)
        m_current.reset();
    m_ended.push_back(upstream);
    if (upstream->users == 0)
        upstream->stopRequested = true;
}

void SharedLink::failed()
{
    ++m_failures;
    m_nextTry = Clock::now() + std::chrono::milliseconds(retryDelayMs(m_failures));
}

void SharedLink::joinEnded()
{
    for (auto it = m_ended.begin(); it != m_ended.end();) {
        if ((*it)->finished) {
            (*it)->thread.join();
            it = m_ended.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace framla::runtime
