#pragma once

// The checks behind the settings tab: the settings test against the server,
// and the check that the image tools are installed.

#include <QString>
#include <QStringList>

namespace framla {
struct ProgramState;
struct ServerLogin;
} // namespace framla

namespace framla::config {

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

/// The Windows check: the search path ("Path") names an ImageMagick
/// directory, in any letter case, or the tool lies where older installers put it.
bool windowsImageToolsFound(const QString &pathText, bool systemMogrifyExists);

/// True when convert and mogrify are found in one of the given directories.
bool imageToolsOnPath(const QStringList &pathDirs);

/// Make sure the image tools are installed; when they are not, ask the
/// operator whether to go on regardless. False when the operator declines.
bool CheckImageTools(ProgramState &state);

} // namespace framla::config
