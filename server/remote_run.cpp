#include "remote_run.h"

#include "core/program_state.h"
#include "server/command_lines.h"

#include <algorithm>

namespace framla::server {

OperationScope::OperationScope(ProgramState &state, int limitMs)
    : m_state(state)
{
    if (m_state.operation.depth++ == 0) {
        m_state.operation.deadline = QDeadlineTimer(limitMs);
        m_state.operation.stopped = false;
    }
}

OperationScope::~OperationScope()
{
    if (--m_state.operation.depth == 0) {
        m_state.operation.deadline = QDeadlineTimer(QDeadlineTimer::Forever);
        m_state.operation.stopped = false;
    }
}

namespace {

runtime::RunOutcome notStarted(const QString &message)
{
    runtime::RunOutcome outcome;
    outcome.status = runtime::RunOutcome::Status::NotStarted;
    outcome.message = message;
    return outcome;
}

/// A run's time limit: timeoutMs, and no more than what is left of the operation's.
int limitWithin(const RemoteOperation &operation, int timeoutMs)
{
    const qint64 left = operation.deadline.remainingTime();
    return left < 0 ? timeoutMs : int(std::min<qint64>(timeoutMs, std::max<qint64>(left, 1)));
}

} // namespace

runtime::RunOutcome runRemote(ProgramState &state, const ServerLogin &login,
                              const runtime::ToolCommand &command, int timeoutMs)
{
    if (const QString problem = core::loginProblem(login); !problem.isEmpty())
        return notStarted(problem);
    RemoteOperation &operation = state.operation;
    if (operation.stopped)
        return notStarted(QStringLiteral("The server's host key was not accepted, so nothing was "
                                         "sent to the server."));
    if (operation.deadline.hasExpired()) {
        runtime::RunOutcome outcome = notStarted(QString::fromLatin1(kOperationTimeText));
        outcome.status = runtime::RunOutcome::Status::TimedOut;
        return outcome;
    }
    const int limit = limitWithin(operation, timeoutMs);
    runtime::RunOutcome outcome = state.services.shell->run(command, limit);
    if (outcome.status == runtime::RunOutcome::Status::Refused)
        operation.stopped = true;
    // A run stopped at what was left of the operation's time speaks for the
    // operation: "within 0.1 seconds" would only puzzle the operator.
    if (outcome.status == runtime::RunOutcome::Status::TimedOut && limit < timeoutMs)
        outcome.message = QString::fromLatin1(kOperationTimeText);
    return outcome;
}

std::unique_ptr<runtime::SideRun> startRemoteBeside(ProgramState &state, const ServerLogin &login,
                                                    const runtime::ToolCommand &command,
                                                    int timeoutMs)
{
    const RemoteOperation &operation = state.operation;
    if (!core::loginProblem(login).isEmpty() || operation.stopped ||
        operation.deadline.hasExpired())
        return nullptr;
    return state.services.shell->startBeside(command, limitWithin(operation, timeoutMs));
}

void followRunningSettings(ProgramState &state)
{
    // The key comes from a command line the settings make, so it is the one
    // the shell reads from every run of these settings.
    if (state.services.shell != nullptr)
        state.services.shell->shareConnectionOf(
            runtime::linkKeyOf(remoteCommand(state.login, {}, false)));
}

} // namespace framla::server
