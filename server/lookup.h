#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace framla {
struct ProgramState;
struct ServerLogin;
struct Target;
} // namespace framla

namespace framla::runtime {
struct RunOutcome;
}

namespace framla::server {

class TargetDisplay;

/// What a look-up found out, for the caller to keep.
struct LookupResult {
    /// Whether the reply allows a put. Empty when no request was made (no
    /// code, or a code or name that is not a plain name): the permission
    /// the caller holds then stays as it was.
    std::optional<bool> ok2Put;
    /// The seven-character code the server resolved a long inventory code
    /// to, in canonical form; it names the picture too. "" when nothing was
    /// resolved.
    QString resolvedCode;
    /// The request could not reach the server (or the line dropped).
    bool unreachable = false;
};

/// Look a code up on the server: the request, the reply with its token, the
/// description, the put permission and the picture on file, each shown as it
/// comes. A long inventory code that the server resolves is looked up once
/// more under its real code, which the target name field shows from then on.
/// The target's code is taken as it comes: it was normalised where it
/// entered. An empty code is no request: nothing is run and nothing is shown.
LookupResult PrepText(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                      Target target);

/// One look-up pass: the request, the reply and the picture on file. When
/// the server resolves a long inventory code, the code it names is in the
/// result (checked like a typed code and normalised, since it enters here),
/// to be looked up again.
LookupResult PREPTEXT1(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                       const Target &target);

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

/// What a reply fetch found.
struct ReplyAnswer {
    bool answered = false; ///< a reply that answers the request came and is shown
    bool ok2Put = false;   ///< that reply allows a put; false without one
    QString text;          ///< its text as shown; "" without one
};

/// Fetch the reply file until it carries the token (three retries), show its
/// text and the "Show Existing" button, and say what it allows. Without a
/// matching reply the local reply file holds "Unknown!", so no later reader
/// acts on an older reply.
/// The code (an account number for the "Show Existing" button) and the token
/// come from the target. request (see requestRun()) is what the run of
/// framaid before the fetch said: after a run that did not end well nothing
/// is fetched and its failure is shown, since what lies in the reply
/// directory then is not its answer; after one that said its reply ends with
/// the closing line only a whole reply is taken. Only a fetch that succeeded
/// is read.
ReplyAnswer SHWTXTMSG1(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
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
