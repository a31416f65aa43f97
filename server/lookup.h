#pragma once

#include <QString>

#include <utility>

namespace framla {
struct ProgramState;
}

namespace framla::runtime {
struct RunOutcome;
}

namespace framla::server {

struct ServerLogin;
struct Target;
class TargetDisplay;

/// Look a code up on the server: the request, the reply with its token, the
/// description, the put permission and the picture on file. A long inventory
/// code that the server resolves is looked up once more under its real code.
/// An empty code is no request: nothing is run and nothing is shown.
bool PrepText(ProgramState &state, TargetDisplay &oXbpShowTxt, const ServerLogin &login,
              Target target);

/// One look-up pass. False when the code was resolved to another code (then
/// held in the target's cCode and cName) that must be looked up again.
bool PREPTEXT1(ProgramState &state, TargetDisplay &oXbpShowTxt, const ServerLogin &login,
               Target &target);

/// What the run of framaid that a reply fetch follows says about the reply.
struct RequestRun {
    /// Why the run did not end well, in the operator's words; "" when it did.
    QString failure;
    /// framaid said that its reply ends with the closing line (kClosingLine).
    bool closed = false;

    RequestRun() = default;
    /// A run known by its failure alone ("" when it ended well).
    RequestRun(QString why)
        : failure(std::move(why))
    {}
};

/// Fetch the reply file until it carries the token (three retries), show its
/// text and set lOk2Put and the "Show Existing" button. False when no
/// matching reply came; the local reply file then holds "Unknown!", so no
/// later reader acts on an older reply.
/// The code (an account number for the "Show Existing" button) and the token
/// come from the target. request (see requestRun()) is what the run of
/// framaid before the fetch said: after a run that did not end well nothing
/// is fetched and its failure is shown, since what lies in the reply
/// directory then is not its answer; after one that said its reply ends with
/// the closing line only a whole reply is taken. Only a fetch that succeeded
/// is read.
bool SHWTXTMSG1(ProgramState &state, TargetDisplay &oXbpShowTxt, const ServerLogin &login,
                const Target &target, const RequestRun &request = {});

/// What a run of framaid says about its reply. It ended well when framaid
/// ended with 0 (reply written) or 2 (a reply that refuses the request).
/// Otherwise the failure is framaid's own line from its standard error, or
/// why the run failed; the remote shell ends with 127 when it cannot find the
/// program.
RequestRun requestRun(const runtime::RunOutcome &request);

/// What the operator reads when the server has no framaid to run.
inline constexpr auto kNoServerProgramText =
    "The server program framaid was not found on the server.";

/// The reply display's text after the last retry failed.
inline constexpr auto kFetchFailedText = "ERROR: Failed to fetch data from\r\n"
                                         "Server. Probably temporary connection\r\n"
                                         "failure. Please try again, or check\r\n"
                                         "settings if it persists.";

} // namespace framla::server
