#pragma once

// The check behind the settings tab that the image tools are installed. (The
// settings test against the server is server/settings_probe.h.)

#include <QString>
#include <QStringList>

namespace framla {
struct ProgramState;
} // namespace framla

namespace framla::config {

/// The Windows check: the search path ("Path") names an ImageMagick
/// directory, in any letter case, or the tool lies where older installers put it.
bool windowsImageToolsFound(const QString &pathText, bool systemMogrifyExists);

/// True when convert and mogrify are found in one of the given directories.
bool imageToolsOnPath(const QStringList &pathDirs);

/// Make sure the image tools are installed; when they are not, ask the
/// operator whether to go on regardless. False when the operator declines.
bool CheckImageTools(ProgramState &state);

} // namespace framla::config
