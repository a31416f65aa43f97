#include "platform_errors.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

namespace framla::runtime {

namespace {

/// The errno of the failed call, or the nearest code when Qt refused the
/// file before the system was asked (a directory opened as a file).
int failureCode(int savedErrno, const QString &path)
{
    if (savedErrno != 0)
        return savedErrno;
    if (QFileInfo(path).isDir())
        return EISDIR;
    return EIO;
}

RuntimeError fileFailure(int genCode, const QString &description, const QString &operation,
                         const QString &path, int osCode, std::source_location where)
{
    RuntimeError error = makeError(genCode, description, where);
    error.args = QVariantList{path};
    error.filename = path;
    error.operation = operation;
    error.osCode = osCode;
    error.canRetry = true;
    return error;
}

} // namespace

RuntimeError openFailure(const QString &path, int osCode, std::source_location where)
{
    RuntimeError error = fileFailure(kGenOpen, QStringLiteral("Open error"), QStringLiteral("open"),
                                     path, osCode, where);
    error.canDefault = true;
    return error;
}

RuntimeError createFailure(const QString &path, int osCode, std::source_location where)
{
    return fileFailure(kGenCreate, QStringLiteral("Create error"), QStringLiteral("create"), path,
                       osCode, where);
}

RuntimeError writeFailure(const QString &path, int osCode, std::source_location where)
{
    return fileFailure(kGenWrite, QStringLiteral("Write error"), QStringLiteral("write"), path,
                       osCode, where);
}

RuntimeError convertFailure(const QString &operation, const QVariant &value,
                            std::source_location where)
{
    RuntimeError error = makeError(kGenConvert, QStringLiteral("Conversion error"), where);
    error.args = QVariantList{value};
    error.operation = operation;
    error.canDefault = true;
    return error;
}

void openForRead(QFile &file, std::source_location where)
{
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        throw openFailure(file.fileName(), failureCode(errno, file.fileName()), where);
}

void openForWrite(QFileDevice &file, QIODevice::OpenMode mode, std::source_location where)
{
    errno = 0;
    if (!file.open(mode | QIODevice::WriteOnly))
        throw createFailure(file.fileName(), failureCode(errno, file.fileName()), where);
}

void writeAll(QFileDevice &file, const QByteArray &data, std::source_location where)
{
    errno = 0;
    // Written data sits in Qt's buffer until flushed: only the flush tells
    // whether it reached the disk (a full disk fails there).
    if (file.write(data) != data.size() || !file.flush())
        throw writeFailure(file.fileName(), failureCode(errno, file.fileName()), where);
}

void commitOrRaise(QSaveFile &file, std::source_location where)
{
    errno = 0;
    if (!file.commit())
        throw writeFailure(file.fileName(), failureCode(errno, file.fileName()), where);
}

double toNumber(const QString &text, const QString &operation, std::source_location where)
{
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok)
        throw convertFailure(operation, text, where);
    return number;
}

} // namespace framla::runtime
