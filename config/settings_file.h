#pragma once

// The server settings file: five values in a tagged 8-bit text file, port and
// password scrambled. The file is handled as bytes; a byte maps to the
// character of the same code (Latin-1), so scrambled bytes come back exactly.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace framla
{
struct ProgramState;
}

namespace framla::config
{

/// Scramble a plain value or unscramble a scrambled one: trailing blanks
/// dropped, then reversed with every byte complemented to 255. Empty or
/// white-space-only input gives "".
QByteArray DECODED(const QByteArray &s);

/// The settings found in a settings file's text. A value whose tag is missing
/// stays as the caller gave it (a null text becomes "", or "22" for the port).
/// Text with any CR LF is read by the CR LF rules: the value starts two bytes
/// after its tag and ends at the next CR LF. Text without CR LF (edited by
/// hand on Linux) takes the line after the tag's line, up to LF or the end.
void parseSettings(const QByteArray &text, QString &cAddress, QString &cPort, QString &cPath,
                   QString &cUser, QString &cPass);

/// Fill the five settings from the file cCfgFileNm; returns its whole text, or
/// "" when it does not exist (the settings then keep what they hold).
QByteArray READPARAM(QString &cAddress, QString &cPort, QString &cPath, QString &cUser,
                     QString &cPass, const QString &cCfgFileNm);

/// The whole file text for five values, 20 lines each ending with CR LF.
/// Characters outside Latin-1 cannot be written; check with unstorableSettings.
QByteArray settingsFileText(const QString &cAddress, const QString &cPort, const QString &cPath,
                            const QString &cUser, const QString &cPass);

/// The names of the settings ("Server address", "Port", "Database path",
/// "User name", "Password") that would not read back unchanged from the file.
QStringList unstorableSettings(const QString &cAddress, const QString &cPort, const QString &cPath,
                               const QString &cUser, const QString &cPass);

/// Replace the settings file atomically. Writes nothing and tells the operator
/// when a value cannot be stored unchanged or the write fails; false then.
bool SaveParam(ProgramState &state, const QString &cAddress, const QString &cPort,
               const QString &cPath, const QString &cUser, const QString &cPass,
               const QString &cCfgFileNm);

} // namespace framla::config
