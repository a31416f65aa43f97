#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace framla::runtime {

/// The whole content of a file, or nothing when it cannot be read.
std::optional<QByteArray> readWholeFile(const QString &path);

/// The SHA-256 of data in lower-case hexadecimal.
QString sha256Hex(const QByteArray &data);

/// Replace a file's content atomically (temporary file, then rename): a crash
/// mid-write leaves the old file or the new one, never a truncated one.
/// On failure returns false and, when error is given, a readable reason.
bool writeWholeFile(const QString &path, const QByteArray &data, QString *error = nullptr);

/// The same for a file that only its owner may read or change (mode 0600),
/// whatever mode the file had before: the content is never readable by
/// anyone else, not even while it is being written.
bool writePrivateFile(const QString &path, const QByteArray &data, QString *error = nullptr);

/// True when accounts other than the owner may read or change the file.
bool othersCanAccess(const QString &path);

bool fileExists(const QString &path);
/// Erase a file; true when it is gone afterwards (also when it never existed).
bool eraseFile(const QString &path);
/// Copy a file, replacing the target.
bool copyFile(const QString &from, const QString &to);

} // namespace framla::runtime
