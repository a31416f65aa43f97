#pragma once

#include "app/arguments.h"

#include <QPoint>
#include <QSize>
#include <QStringList>

class QDialog;

namespace framla {
struct ProgramState;
}

namespace framla::app {

/// Start-up before the window (and before framla --folder): arguments, stale
/// preview and work directories of a batch killed earlier removed, the
/// program's directory, local options loaded and completed, the start mode.
/// Returns the cleaned arguments.
StartArguments startBeforeWindow(ProgramState &state, const QStringList &arguments);

/// Where the dialog goes: centred on a desktop of the given size.
QPoint centredPosition(const QSize &desktop, int width, int height);

/// Start-up after the window exists: server settings read, the server
/// flavour and the start database remembered, webcam options taken over.
void startAfterWindow(ProgramState &state);

} // namespace framla::app
