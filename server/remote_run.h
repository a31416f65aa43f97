#pragma once

// Every tool run of a remote operation goes through runRemote: settings that
// no shell may read safely never reach a command line, an operation whose
// total time is up starts nothing more, and a refused host key ends the whole
// operation without asking again.

#include "runtime/shell.h"

namespace framla {
struct ProgramState;
struct ServerLogin;
} // namespace framla

namespace framla::server {

/// Marks one remote operation on the state for its lifetime. Nested routines
/// (a put that looks up again) share the outermost operation's limit.
class OperationScope {
public:
    OperationScope(ProgramState &state, int limitMs);
    ~OperationScope();
    OperationScope(const OperationScope &) = delete;
    OperationScope &operator=(const OperationScope &) = delete;

private:
    ProgramState &m_state;
};

/// The message of a run that was not started because the operation ran out of time.
inline constexpr auto kOperationTimeText =
    "The server did not answer in time, so the operation was stopped.";

/// Runs one tool of the current operation with at most timeoutMs, and never
/// beyond the operation's deadline. Nothing runs (the outcome says why) when
/// the login is unusable, the time is up or a host key was refused before.
runtime::RunOutcome runRemote(ProgramState &state, const ServerLogin &login,
                              const runtime::ToolCommand &command, int timeoutMs);

/// Starts one tool of the current operation beside the runs that follow on
/// this thread (see runtime::Shell::startBeside), with the limits runRemote
/// would give it. Null when it did not start: runRemote would run nothing
/// now, or the shell cannot run it beside; the caller then runs it itself
/// when it needs it.
std::unique_ptr<runtime::SideRun> startRemoteBeside(ProgramState &state, const ServerLogin &login,
                                                    const runtime::ToolCommand &command,
                                                    int timeoutMs);

/// Tells the shell that the running settings are the state's: their runs may
/// share one connection from now on, and one kept for other settings ends.
void followRunningSettings(ProgramState &state);

} // namespace framla::server
