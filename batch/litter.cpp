#include "litter.h"

#include "runtime/logging.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>

#include <unistd.h>

namespace framla::batch {

namespace {

/// True when path and everything under it were last modified before since.
bool untouchedSince(const QString &path, const QDateTime &since)
{
    if (QFileInfo(path).lastModified() >= since)
        return false;
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (it.fileInfo().lastModified() >= since)
            return false;
    }
    return true;
}

} // namespace

QString workDirTemplate()
{
    return QDir(QDir::tempPath())
        .filePath(QLatin1String(kWorkDirPrefix) + QStringLiteral("XXXXXX"));
}

int removeStaleWorkDirs(const QString &tempDir, const QString &prefix, qint64 olderThanSecs)
{
    const QRegularExpression ours(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(prefix) + QStringLiteral("[A-Za-z0-9]{6}")));
    const QDateTime since = QDateTime::currentDateTime().addSecs(-olderThanSecs);
    int removed = 0;
    const QFileInfoList entries = QDir(tempDir).entryInfoList(
        {prefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (!ours.match(entry.fileName()).hasMatch() || entry.isSymLink() || !entry.isDir() ||
            entry.ownerId() != ::geteuid() || !untouchedSince(entry.filePath(), since))
            continue;
        // removeRecursively removes a link inside, never what it points to.
        if (QDir(entry.filePath()).removeRecursively()) {
            ++removed;
            qCInfo(runtime::lcFramla).noquote()
                << "removed" << entry.filePath() << "left by a batch that was stopped";
        } else {
            qCWarning(runtime::lcFramla).noquote()
                << "could not remove" << entry.filePath() << "left by a batch that was stopped";
        }
    }
    return removed;
}

} // namespace framla::batch
