#pragma once

#include <QString>
#include <QtGlobal>

namespace framla {
struct ProgramState;
struct ServerLogin;
} // namespace framla

namespace framla::server {

class TargetDisplay;

/// Let the operator choose a data transfer file; "" when cancelled. The path
/// is kept as it is on disk (letter case and blanks).
QString GetDataFile(ProgramState &state);

/// Ask the server program about a file of this name in a sub-directory of
/// the database ("shuttle", "images/ssr/<account>", "images/cust/<account>")
/// and show its report. False when no report came back.
bool CheckIXdata(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                 const QString &fileName, const QString &subDirectory);

/// How long the copy of a data file may take: a minute, and a second more
/// for every 100 KB started, so that a large table on a slow link is not cut off.
int dataCopyLimitMs(qint64 bytes);

/// What became of a data file send.
struct DataSend {
    bool sent = false; ///< the file lies on the server under its name
    QString failure;   ///< why it was not sent
    QString warning;   ///< sent, but its access mode could not be set
};

/// Copy localDirectory + fileName to the server under a name of its own,
/// then move it onto the lower-cased name in targetDirectory with one rename,
/// so that an older file of that name is replaced whole or not at all; a
/// copy left by a failure is removed. Its mode is 666 for tables and memo
/// files (".DBF", ".DBT"), 644 for the others; a mode that cannot be set is a
/// warning only. On a Unix server the copy lies in the user's reply
/// directory and gets its mode there, before the rename (placeCommand), so
/// that nothing is written through a name in the shared shuttle directory; on
/// a Windows server it lies in targetDirectory as ".framla-" + the name and
/// the mode is set after the move. The wait pointer shows throughout.
DataSend SendIXdata(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                    const QString &localDirectory, const QString &fileName,
                    const QString &targetDirectory);

/// The access mode a data file gets on the server.
QString dataFileMode(const QString &fileName);

/// The whole transfer of a chosen file into the running settings' shuttle
/// directory, refused for a file the dialog's filter does not name (one
/// typed into the dialog): the check,
/// the write permission, the copy and the second check. The closing message
/// says "sent" only when the copy succeeded and the second check shows the
/// file: with the size that was sent where the report gives a size, else by
/// its "exists" mark.
bool transferDataFile(ProgramState &state, TargetDisplay &display, const QString &chosenPath);

} // namespace framla::server
