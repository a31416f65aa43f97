#pragma once

#include <QString>

namespace framla {
struct ProgramState;
}

namespace framla::server {

struct ServerLogin;
class TargetDisplay;

/// Let the operator choose a data transfer file; "" when cancelled. The path
/// is kept as it is on disk (letter case and blanks).
QString GetDataFile(ProgramState &state);

/// Ask the server program about a file of this name in a sub-directory of
/// the database ("shuttle", "images/ssr/<account>", "images/cust/<account>")
/// and show its report. False when no report came back.
bool CheckIXdata(ProgramState &state, TargetDisplay &oXbpShowTxt, const ServerLogin &login,
                 const QString &fileName, const QString &subDirectory);

/// Copy localDirectory + fileName to targetDirectory under the lower-cased
/// name, then set its mode: 666 for tables and memo files (".DBF", ".DBT"),
/// 644 for the others. False, with the reason, when either step failed.
bool SendIXdata(ProgramState &state, const ServerLogin &login, const QString &localDirectory,
                const QString &fileName, const QString &targetDirectory,
                QString *reason = nullptr);

/// The access mode a data file gets on the server.
QString dataFileMode(const QString &fileName);

/// The whole transfer of a chosen file into the running settings' shuttle
/// directory: the check,
/// the write permission, the copy and the second check. The closing message
/// says "sent" only when the server shows the file with the size that was sent.
bool transferDataFile(ProgramState &state, TargetDisplay &oXbpShowTxt, const QString &chosenPath);

} // namespace framla::server
