#pragma once

#include "core/server_login.h"
#include "runtime/shell.h"
#include "runtime/tool_command.h"

#include <QString>
#include <QStringList>

namespace framla::server {

using runtime::ToolCommand;
using runtime::WindowHint;

/// The name of the user's reply directory: the login itself when it is a
/// plain name (letters, digits, "-", "_", inner single dots), else the login
/// with every character but letters, digits, "-" and "_" as "_"
/// ("DOM\\clerk" -> "DOM_clerk"); at most 64 characters. The server program takes it as it is
/// given.
QString replyDirectoryName(const QString &user);

/// The user's own reply directory on the server, where the server program
/// leaves its answers: the database path, "/jtemp/" and replyDirectoryName,
/// with "." and the login's reply tag when it has one.
QString replyDirectory(const ServerLogin &login);

/// True when a typed value (a code, a picture name, a data file name) may go
/// into a remote command as one quoted word naming one file: printable ASCII
/// without blanks, "/", "\\", quotes (' and "), not starting with "." or "-",
/// without "..". For a Windows server also without "$", "`" and "%", which
/// its shell expands even inside quotes. The server program accepts the same.
bool isSafeName(const QString &value, bool lIsDOS = false);

/// True when every part of a relative path ("images/AB/AB12345.jpg", with
/// "/" or "\\") is a safe name: such a path names one file and nothing else,
/// whatever shell on the server reads it.
bool isSafeRelativePath(const QString &path, bool lIsDOS = false);

/// The message for a refused value: what it is ("code", "image name") and why.
QString unsafeNameMessage(const QString &what, const QString &value, bool lIsDOS = false);

/// A word of a remote command as the server's shell must see it: as it is
/// when it holds only plain path characters, else quoted.
QString remoteWord(const QString &word, bool lIsDOS);

/// Backslashes of a Windows server's path written three times, as its shell
/// needs them.
QString tripleBackslashes(const QString &path);

/// Copy a file from the server: pscp -scp -P port user@address:remote local.
/// A login with ":", "/", "\\" or a bracket, which the copy tool would take
/// for part of the path, goes as "-l user" before "@address:remote" instead
/// (for sends too), on a connection of the copy's own.
/// In the Windows-server flavour the remote path's backslashes are tripled.
ToolCommand fetchCommand(const ServerLogin &login, const QString &remotePath,
                         const QString &localTarget, bool windowsFlavour,
                         WindowHint window = WindowHint::Minimised);

/// Copy a local file to the server: pscp -scp -P port local user@address:remote.
ToolCommand sendCommand(const ServerLogin &login, const QString &localFile,
                        const QString &remotePath, bool windowsFlavour);

/// Run a command on the server: plink -ssh -P port user@address words...
/// Each word is quoted for the server's shell when it needs it.
ToolCommand remoteCommand(const ServerLogin &login, const QStringList &words, bool windowsFlavour);

/// Ask the server program to answer a look-up in the user's reply directory:
/// plink ... framaid <reply directory> <code> <token>, in the Unix flavour
/// whatever the server (the words are quoted for its shell as they need).
ToolCommand requestCommand(const ServerLogin &login, const QString &cCode, const QString &cToken);

/// Shrink a picture in place so that neither side exceeds edge pixels:
/// mogrify -resize <edge>x<edge> file, run directly and hidden.
ToolCommand resizeCommand(int edge, const QString &localFile);

/// A name of its own for a file on its way to a Unix server, one per send:
/// "upload-", sixteen random hexadecimal digits, then tail (".jpg",
/// "-ix0001.dbf"). It is staged under this name in the user's reply
/// directory, which only the user can write.
QString stagingName(const QString &tail);

/// What placeCommand's target must hold right before the rename: no file
/// at all (a picture that appeared since the plan is never replaced), any,
/// or a plain file whose SHA-256 is the given hexadecimal digest (the
/// picture the operator agreed to replace, and nothing else).
QString expectNone();
QString expectAny();

/// The one run that puts a file staged in the user's reply directory in its
/// place on a Unix server (never a Windows one): sh, run there, checks that
/// the target's directory, resolved to the directory itself, lies in the
/// login's database directory, that the reply directory is the user's own
/// and that no other account can write in it, sets the file's mode there,
/// and puts it onto target as expect allows: under expectNone() it is
/// linked in under the target's name, which fails when anything is there by
/// then; otherwise renamed with mv -T, which replaces a link at target
/// instead of writing through it. No mode is set and nothing is written
/// through a name in the shop's shared directories, where another account
/// may have planted a link. When target lies on another file system the
/// file is first moved beside it under a new hidden name ending in ".part".
/// Staged files older than an hour, left by sends that were cut off, are
/// removed on the way (younger ones may belong to a send from another desk
/// with the same login). The run succeeds when the file is in place with
/// its mode; see modeNotSet for a file in place without it and placeRefusal
/// for a target the run would not touch.
ToolCommand placeCommand(const ServerLogin &login, const QString &stagedName, const QString &mode,
                         const QString &target, const QString &expect = expectAny());

/// Why a placeCommand run left the target as it was, when the script itself
/// refused: a file appeared there (expectNone()), the picture there is not
/// the one expected, or the target lies outside the database.
enum class PlaceRefusal { None, Taken, Changed, OutsideDatabase };
PlaceRefusal placeRefusal(const runtime::RunOutcome &outcome);

/// Writes a file on a Unix server to standard output when it is a plain
/// file: plink ... sh -c SCRIPT framla-fetch remote. Ends with 4 when
/// nothing is there and 5 when something other than a plain file is (a
/// link, which a group mate may have pointed at another account's file).
ToolCommand fetchPlainCommand(const ServerLogin &login, const QString &remote);

/// Removes the batch reply directories of this login ("<name>.b…" in
/// jtemp/) that belong to this account and have not changed for two hours:
/// what a batch that was killed or lost the server left behind.
ToolCommand staleBatchDirectoriesCommand(const ServerLogin &login);

/// For a placeCommand run that put the file in place but could not set its
/// mode: what the mode command said (its first line of error output, else
/// the run's message). "" for every other outcome.
QString modeNotSet(const runtime::RunOutcome &outcome);

} // namespace framla::server
