#pragma once

// Files that must survive the program being killed or the power going: each
// is written under a temporary name, synced, renamed over its final name,
// and the directory is synced so that the new name is on disk as well.

#include <QByteArray>
#include <QString>

namespace framla::history {

/// The suffix of a file still being written; whoever lists a directory
/// skips such names (a leftover is a write that was cut off).
inline constexpr auto kWritingSuffix = ".tmp";

/// Writes data to path durably (temporary name, fsync, rename, fsync of the
/// directory): afterwards the file holds data whatever happens, and a cut
/// at any moment leaves the old file or the new one. False with a reason in
/// *error when anything failed; the temporary file is then removed.
bool writeDurably(const QString &path, const QByteArray &data, QString *error = nullptr);

/// Removes a file and syncs its directory; true when it is gone (also when
/// it never existed).
bool removeDurably(const QString &path, QString *error = nullptr);

/// Syncs a directory, so that the names created, renamed or removed in it
/// are on disk.
bool syncDirectory(const QString &dir, QString *error = nullptr);

} // namespace framla::history
