#include "durable_file.h"

#include "history_util.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace framla::history {

namespace {

// The callers say what the file was for, and log it.
constexpr Failure fail(nullptr);

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

bool syncDirectory(const QString &dir, QString *error)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return fail(error, QStringLiteral("cannot open %1: %2").arg(dir, systemError()));
    const bool synced = ::fsync(fd) == 0;
    const QString why = synced ? QString() : systemError();
    ::close(fd);
    return synced || fail(error, QStringLiteral("cannot sync %1: %2").arg(dir, why));
}

bool writeDurably(const QString &path, const QByteArray &data, QString *error)
{
    const QString temporary = path + QLatin1String(kWritingSuffix);
    QFile file(temporary);
    const auto failed = [&](const QString &why) {
        file.close();
        QFile::remove(temporary);
        return fail(error, QStringLiteral("cannot write %1: %2").arg(path, why));
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return failed(file.errorString());
    if (file.write(data) != data.size() || !file.flush())
        return failed(file.errorString());
    // flush() only hands the bytes to the system; they must be on disk
    // before the new name points at them.
    if (::fsync(file.handle()) != 0)
        return failed(systemError());
    file.close();
    if (std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(path).constData()) != 0)
        return failed(systemError());
    return syncDirectory(QFileInfo(path).absolutePath(), error);
}

bool removeDurably(const QString &path, QString *error)
{
    if (!QFile::exists(path))
        return true;
    if (std::remove(QFile::encodeName(path).constData()) != 0)
        return fail(error, QStringLiteral("cannot remove %1: %2").arg(path, systemError()));
    return syncDirectory(QFileInfo(path).absolutePath(), error);
}

} // namespace framla::history
