#pragma once

// The platform's failures as error objects. Each failure carries the file,
// the operating system's error code (errno) and what the operator may do:
// none is one that the handler settles silently, so a failure is never taken
// for a success.

#include <QFileDevice>
#include <QString>

#include "runtime/error.h"

#include <source_location>

class QFile;
class QSaveFile;

namespace framla::runtime {

/// A file that cannot be opened for reading: genCode 71, Retry or Ignore
/// (the caller's default result).
RuntimeError openFailure(const QString &path, int osCode,
                         std::source_location where = std::source_location::current());

/// A file that cannot be created: genCode 78 with Retry only. It must not be
/// defaultable, or the handler would settle it silently.
RuntimeError createFailure(const QString &path, int osCode,
                           std::source_location where = std::source_location::current());

/// A file that could not be written completely: genCode 24, Retry only.
RuntimeError writeFailure(const QString &path, int osCode,
                          std::source_location where = std::source_location::current());

/// A value that could not be converted: kGenConvert; may go on with a default.
RuntimeError convertFailure(const QString &operation, const QVariant &value,
                            std::source_location where = std::source_location::current());

/// Opens a file for reading or raises openFailure.
void openForRead(QFile &file, std::source_location where = std::source_location::current());

/// Opens a file (or a QSaveFile) for writing, truncating it, or raises createFailure.
void openForWrite(QFileDevice &file, QIODevice::OpenMode mode = QIODevice::WriteOnly,
                  std::source_location where = std::source_location::current());

/// Writes all of data and flushes it, or raises writeFailure.
void writeAll(QFileDevice &file, const QByteArray &data,
              std::source_location where = std::source_location::current());

/// Commits a QSaveFile (the rename that replaces the old file) or raises writeFailure.
void commitOrRaise(QSaveFile &file, std::source_location where = std::source_location::current());

/// The number a text holds, or convertFailure naming the operation.
double toNumber(const QString &text, const QString &operation,
                std::source_location where = std::source_location::current());

} // namespace framla::runtime
