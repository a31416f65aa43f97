#pragma once

// Whether a failed tool run means that the server could not be reached (or
// the connection dropped), so that the same run may succeed later, or that
// the server answered and refused.

#include "runtime/shell.h"

namespace framla::server {

/// True when a PuTTY run failed because the server could not be reached or
/// the connection under it went away: the time limit ran out, the connection
/// was refused, timed out, had no route, the address could not be resolved,
/// the connection was cut, or the tool was ended by a signal mid-run. False for a run that
/// succeeded, a tool that did not start, a host key the operator did not trust, and whatever the
/// server itself refused (login, missing file, permission), even when the
/// connection then closed.
bool serverUnreachable(const runtime::RunOutcome &outcome);

} // namespace framla::server
