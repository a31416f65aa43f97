#include "plan.h"

#include "server/command_lines.h"
#include "server/image_path.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace framla::batch {

QString actionWord(Action action)
{
    switch (action) {
    case Action::Put:
        return QStringLiteral("put");
    case Action::Replace:
        return QStringLiteral("replace");
    case Action::Skip:
        return QStringLiteral("skip");
    case Action::Refuse:
        break;
    }
    return QStringLiteral("refuse");
}

bool isPhotoFile(const QString &fileName)
{
    static const QStringList kinds{QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                   QStringLiteral("png"), QStringLiteral("bmp"),
                                   QStringLiteral("gif")};
    return !fileName.startsWith(QLatin1Char('.')) &&
           kinds.contains(QFileInfo(fileName).suffix().toLower());
}

bool isRegularFile(const QString &path)
{
    // isFile() follows a link and is true only for a regular file.
    return QFileInfo(path).isFile();
}

bool openPhoto(const QString &path, QFile &file)
{
    // Not blocking: opening a FIFO waits for a writer, a device may wait too.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return false;
    }
    // A regular file reads as ever; the flag only kept the open from waiting.
    if (const int flags = ::fcntl(fd, F_GETFL); flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

QSize photoSize(const QString &path)
{
    QFile file;
    if (!openPhoto(path, file))
        return {};
    QImageReader reader(&file);
    return reader.size();
}

NamedCode codeOfFile(const QString &fileName, core::Mode mode)
{
    NamedCode named;
    QString stem = QFileInfo(fileName).completeBaseName();
    // A second photograph of one item, as a camera or a file manager names
    // it: "AB12345 (2)".
    static const QRegularExpression copyNumber(QStringLiteral("\\s*\\(\\d+\\)$"));
    stem.remove(copyNumber);
    const auto none = [&](const QString &why) {
        named = {};
        named.reason = why;
        return named;
    };
    if (mode == core::Mode::CustSup) {
        const qsizetype dash = stem.indexOf(QLatin1Char('-'));
        if (dash <= 0 || dash == stem.size() - 1)
            return none(QStringLiteral("not an account, \"-\" and a picture name"));
        named.code = core::enteredCode(stem.left(dash), mode);
        named.name = core::imageName(stem.mid(dash + 1));
        if (named.code.isEmpty() || named.code == QStringLiteral("0"))
            return none(QStringLiteral("\"%1\" is not a supplier's or customer's account")
                            .arg(stem.left(dash)));
    } else {
        named.code = core::enteredCode(stem, mode);
        named.name = named.code;
        if (named.code.isEmpty())
            return none(mode == core::Mode::Repairs
                            ? QStringLiteral("\"%1\" is not a service order number").arg(stem)
                            : QStringLiteral("\"%1\" is not an inventory code").arg(stem));
    }
    named.path = server::MAKEFILE(named.code, named.name, mode == core::Mode::Inventory,
                                  mode == core::Mode::Repairs, false);
    // A long inventory code (a barcode) names its picture once the server has resolved it.
    const bool longCode = mode == core::Mode::Inventory && named.code.size() > 7 &&
                          server::isSafeName(named.code, false);
    if (named.path.isEmpty() && !longCode)
        return none(QStringLiteral("\"%1\" names no picture on the server").arg(stem));
    return named;
}

void refuseDuplicates(QList<PlanRow> &rows)
{
    QHash<QString, QStringList> byPath;
    for (const PlanRow &row : rows) {
        if (!row.named.path.isEmpty())
            byPath[row.named.path].append(row.file);
    }
    for (PlanRow &row : rows) {
        QStringList others = byPath.value(row.named.path);
        if (others.size() < 2)
            continue;
        others.removeOne(row.file);
        row.action = Action::Refuse;
        row.reason =
            QStringLiteral("gives the same picture as %1").arg(others.join(QStringLiteral(", ")));
    }
}

QList<PlanRow> planFiles(const QStringList &fileNames, core::Mode mode)
{
    QStringList sorted = fileNames;
    sorted.sort();
    QList<PlanRow> rows;
    for (const QString &file : sorted) {
        PlanRow row;
        row.file = file;
        row.named = codeOfFile(file, mode);
        row.reason = row.named.reason;
        rows.append(row);
    }
    refuseDuplicates(rows);
    return rows;
}

QStringList photoFilesIn(const QString &folder)
{
    QStringList photos;
    const QDir dir(folder);
    // A link to a FIFO passes QDir's own file filter: each entry is asked again.
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    for (const QString &file : files) {
        if (isPhotoFile(file) && isRegularFile(dir.filePath(file)))
            photos.append(file);
    }
    return photos;
}

} // namespace framla::batch
