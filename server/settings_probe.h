#pragma once

// The settings test behind the settings tab: typed server settings are proved
// by fetching a file every database directory of ours holds.

namespace framla {
struct ProgramState;
struct ServerLogin;
} // namespace framla

namespace framla::server {

/// The file every database directory of ours holds, fetched by the settings test.
inline constexpr auto kProbeFile = "framla.ok";
/// Its presence in the program's directory means the program runs from a
/// database directory, where the settings test must not run.
inline constexpr auto kGuardFile = "control.dbf";

/// Prove a set of server settings (the typed values, not the running ones) by
/// fetching the probe file from the database directory into the program's
/// directory. Says why it failed in a message box. The caller shows the wait
/// pointer meanwhile.
bool TestConfig(ProgramState &state, const ServerLogin &trial);

} // namespace framla::server
