#pragma once

// The local options store: the ten typed slots of aLocalCfg kept in
// "scratch.xpf" in the program's directory, in a small text format of our own:
//
//   Framla local options 1
//   aLocalCfg 10
//   L T            logical (T or F)
//   C "M"          text, quoted; \" \\ and \uXXXX escapes, so any text survives
//   N 0.75         number, shortest form that reads back to the same double

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

#include "core/program_state.h"

namespace framla::config {

/// The file text for an options array.
QByteArray encodeLocalCfg(const LocalCfg &cfg);

/// The options array in a file text; nothing when the text is not a
/// well-formed options file (numbers must be finite).
std::optional<LocalCfg> decodeLocalCfg(const QByteArray &data);

/// Where the options live: "scratch.xpf" in state.cAppPath.
QString localCfgPath(const ProgramState &state);

/// Write the whole of state.aLocalCfg, replacing the file atomically. A failed
/// write is shown to the operator; false then.
bool SaveConfig(ProgramState &state);

/// Bring an older, shorter array up to ten slots: 4 slots gain slot 5, then 5
/// gain slot 6, 6 gain slots 7 to 9, 9 gain slot 10, each step followed by
/// save(). Other lengths are left alone. Returns the number of steps taken.
int completeLocalCfg(LocalCfg &cfg, const std::function<void()> &save);

/// True when the array has a length that completion knows (4, 5, 6, 9 or 10)
/// and every slot has the type of its default.
bool isUsableLocalCfg(const LocalCfg &cfg);

/// How the load saves; tests put a counter here.
using ConfigSaver = std::function<bool(ProgramState &)>;

/// Start-up load: when the options file exists, restore aLocalCfg from it,
/// complete it and copy the slots into the working variables. For a file
/// that cannot be read or used the defaults are used, and the file is left
/// alone until the next change of an option saves them.
/// Without a file nothing changes and nothing is written.
void LoadConfig(ProgramState &state, const ConfigSaver &save = SaveConfig);

} // namespace framla::config
