#include "files.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace framla::runtime {

std::optional<QByteArray> readWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return data;
}

namespace {

bool writeAtomically(const QString &path, const QByteArray &data, QString *error, bool ownerOnly)
{
    QSaveFile file(path);
    const auto failed = [&] {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed();
    // The new file takes the old one's mode; a private one is narrowed
    // before a byte is written.
    if (ownerOnly && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return failed();
    if (file.write(data) != data.size())
        return failed();
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace

bool writeWholeFile(const QString &path, const QByteArray &data, QString *error)
{
    return writeAtomically(path, data, error, false);
}

bool writePrivateFile(const QString &path, const QByteArray &data, QString *error)
{
    return writeAtomically(path, data, error, true);
}

bool othersCanAccess(const QString &path)
{
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    return QFileInfo::exists(path) && (QFileInfo(path).permissions() & others);
}

bool fileExists(const QString &path)
{
    return QFileInfo(path).isFile();
}

bool eraseFile(const QString &path)
{
    if (!QFileInfo::exists(path))
        return true;
    return QFile::remove(path);
}

bool copyFile(const QString &from, const QString &to)
{
    if (QFileInfo::exists(to) && !QFile::remove(to))
        return false;
    return QFile::copy(from, to);
}

QString sha256Hex(const QByteArray &data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

} // namespace framla::runtime
