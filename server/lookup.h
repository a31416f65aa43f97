#pragma once

#include <QString>

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

/// Fetch the reply file until it carries the token (three retries), show its
/// text and set lOk2Put and the "Show Existing" button. False when no
/// matching reply came; the local reply file then holds "Unknown!", so no
/// later reader acts on an older reply.
/// The code (an account number for the "Show Existing" button) and the token
/// come from the target. requestFailure (see requestFailure()) says why the
/// server program's run failed; it is shown when no matching reply came and
/// the fetch itself had nothing to say.
bool SHWTXTMSG1(ProgramState &state, TargetDisplay &oXbpShowTxt, const ServerLogin &login,
                const Target &target, const QString &requestFailure = {});

/// Why the run of framaid failed, in the operator's words; "" when it
/// succeeded. The remote shell ends with 127 when it cannot find the program.
QString requestFailure(const runtime::RunOutcome &request);

/// What the operator reads when the server has no framaid to run.
inline constexpr auto kNoServerProgramText =
    "The server program framaid was not found on the server.";

/// The reply display's text after the last retry failed.
inline constexpr auto kFetchFailedText = "ERROR: Failed to fetch data from\r\n"
                                         "Server. Probably temporary connection\r\n"
                                         "failure. Please try again, or check\r\n"
                                         "settings if it persists.";

} // namespace framla::server
