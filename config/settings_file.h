#pragma once

// The server settings file: five values in a tagged 8-bit text file, port and
// password scrambled. The file is handled as bytes; a byte maps to the
// character of the same code (Latin-1), so scrambled bytes come back exactly.

#include "core/server_login.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace framla {
struct ProgramState;
}

namespace framla::config {

/// Scramble a plain value or unscramble a scrambled one: trailing blanks
/// dropped, then reversed with every byte complemented to 255. Empty or
/// white-space-only input gives "".
QByteArray DECODED(const QByteArray &s);

/// The settings found in a settings file's text, over the given ones. A value
/// whose tag is missing stays as given (a null text becomes "", or "22" for
/// the port). Text with any CR LF is read by the CR LF rules: the value starts
/// two bytes after its tag and ends at the next CR LF. Text without CR LF
/// (edited by hand on Linux) takes the line after the tag's line, up to LF or
/// the end. The server's flavour follows the database path.
ServerLogin parseSettings(const QByteArray &text, ServerLogin login);

/// Fill the settings from the file cCfgFileNm; returns its whole text, or ""
/// when it does not exist (the settings then keep what they hold).
QByteArray READPARAM(ServerLogin &login, const QString &cCfgFileNm);

/// The whole file text for the settings, 20 lines each ending with CR LF.
/// Characters outside Latin-1 cannot be written; check with unstorableSettings.
QByteArray settingsFileText(const ServerLogin &login);

/// The names of the settings ("Server address", "Port", "Database path",
/// "User name", "Password") that would not read back unchanged from the file.
QStringList unstorableSettings(const ServerLogin &login);

/// Replace the settings file atomically. Writes nothing and tells the operator
/// when a value cannot be stored unchanged or the write fails; false then.
bool SaveParam(ProgramState &state, const ServerLogin &login, const QString &cCfgFileNm);

} // namespace framla::config
