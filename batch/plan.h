#pragma once

// What a folder of photographs asks for, before anything is put: one row per
// photo file, the code its name gives under the program's own code rules in
// the chosen mode, or why it gives none, and what will be done with it.

#include "core/codes.h"

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

class QFile;

namespace framla::batch {

/// What becomes of one photo.
enum class Action {
    Put,     ///< the record has no picture: put one
    Replace, ///< the record has a picture and the batch replaces pictures
    Skip,    ///< nothing to do (a picture is there and is kept)
    Refuse,  ///< the photo cannot be filed (see the row's reason)
};

/// The word the table and the report use for an action.
QString actionWord(Action action);

/// The code and picture name a photo's file name gives, or why it gives none.
struct NamedCode {
    QString code;   ///< in canonical form, as a typed code enters; "" when none
    QString name;   ///< the picture name (an account's picture; else the code)
    QString path;   ///< the picture's path under the database ("images/AB/AB12345.jpg")
    QString reason; ///< why the name gives no code; "" when it gives one
};

/// The code a photo's file name gives in a mode. The file name's extension
/// and a copy number (" (2)") are dropped. Inventory: the name is the code
/// ("ab12" as typed "AB12"). Cust/Sup: an account, "-", then the picture name
/// ("1234-RING5"). Repairs: a service order ("or000123" or "123"). A long
/// inventory code (a scanned tag) has no path until the server resolves it
/// to the item's seven-character code.
NamedCode codeOfFile(const QString &fileName, core::Mode mode);

/// True for the file names taken as photographs: jpg, jpeg, png, bmp and
/// gif, in any letter case, not hidden: the kinds the batch can read and
/// prepare (no TIFF reader is installed, so a TIFF would only fail).
bool isPhotoFile(const QString &fileName);

/// True when path is a regular file, or a link to one (a FIFO, a device or
/// a link to one is not).
bool isRegularFile(const QString &path);

/// Opens path for reading when it is a regular file (a link to one is
/// followed), never waiting on a FIFO or a device that may have taken its
/// place since the folder was listed; false otherwise.
bool openPhoto(const QString &path, QFile &file);

/// The pixel size a photo's header gives, read through openPhoto; invalid
/// when it is no regular file or cannot be read.
QSize photoSize(const QString &path);

/// One photo of the batch.
struct PlanRow {
    QString file; ///< the file name in the folder
    NamedCode named;
    bool checked = false; ///< the server was asked about the record
    bool recordExists = false;
    bool hasPicture = false;
    Action action = Action::Refuse;
    QString reason; ///< why it is refused or skipped
    /// The picture on file as the look-up fetched it (a local file), or "".
    QString pictureOnFile;
    /// The server could not be reached for the look-up: the photo failed,
    /// for a reason given once (kUnreachableReason).
    bool unreachable = false;
};

/// The reason of every row whose look-up could not reach the server.
inline constexpr auto kUnreachableReason = "the server cannot be reached";

/// The rows of a folder's photo files (names sorted), each with its code or
/// why it has none. Two files that give one picture are both refused, never
/// guessed between.
QList<PlanRow> planFiles(const QStringList &fileNames, core::Mode mode);

/// Refuses every row whose picture another row gives too (a long code may
/// turn out to be another photo's item only once the server resolved it).
void refuseDuplicates(QList<PlanRow> &rows);

/// The photo file names of a folder, sorted: only regular files (or links
/// to one), never a FIFO, a device or a link to one, which a read would
/// wait on for good.
QStringList photoFilesIn(const QString &folder);

} // namespace framla::batch
