// What the journal adds to a put, on the disk of the working directory:
// recording one replace with the 300 KB copy of the picture it replaces
// (the record, the copy written durably, its outcome) against a bare copy
// of 300 KB with fsync; also a plain put's record and outcome without a
// copy. Medians over side-by-side rounds and their ratio. There is no goal
// for this figure alone: the goal is on a whole put with the journal on
// against one with it off.
//
//   bench_journal [ROUNDS]   (default 40; run in a directory on the disk to
//                             measure, which it must be able to write)
#include "bench_common.h"

#include "history/durable_file.h"
#include "history/journal.h"
#include "runtime/files.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

using namespace framla;
using namespace framla::history;

namespace {

/// The bare baseline: 300 KB read from one file, written to a new one and
/// synced, as a plain copy that must survive would be.
bool bareCopy(const QString &from, const QString &to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = source.readAll();
    const int fd = ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool ok =
        ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size() && ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

JournalEntry replaceOf(int round)
{
    JournalEntry entry;
    entry.settingsFile = QStringLiteral("shop");
    entry.server = {QStringLiteral("10.0.0.5"), QStringLiteral("22"), QStringLiteral("clerk"),
                    QStringLiteral("/srv/shop")};
    entry.action = JournalAction::Replace;
    entry.code = QStringLiteral("AB%1").arg(10000 + round);
    entry.serverPath = QStringLiteral("/srv/shop/images/AB/%1.jpg").arg(entry.code);
    entry.size = 150000;
    entry.sha256 = runtime::sha256Hex(entry.code.toLatin1());
    return entry;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 40;
    QTemporaryDir dir(QDir::current().filePath(QStringLiteral("bench_journal-XXXXXX")));
    Journal journal;
    QString message;
    if (!dir.isValid() || !journal.open(dir.path(), &message)) {
        std::fprintf(stderr, "the journal cannot be opened here: %s\n", qPrintable(message));
        return 1;
    }
    // A noisy photo of about 300 KB: the journal keeps only what decodes as a picture.
    QImage photo(640, 480, QImage::Format_RGB32);
    QRandomGenerator noise(7);
    for (int y = 0; y < photo.height(); ++y)
        noise.fillRange(reinterpret_cast<quint32 *>(photo.scanLine(y)), photo.width());
    QByteArray previous;
    QBuffer buffer(&previous);
    if (!buffer.open(QIODevice::WriteOnly) || !photo.save(&buffer, "JPEG", 90))
        return 1;
    const QString source = dir.filePath(QStringLiteral("source.jpg"));
    if (!writeDurably(source, previous))
        return 1;

    int round = 0;
    bool failed = false;
    const auto times = bench::sideBySide(
        {[&] {
             const qint64 id = journal.record(replaceOf(++round), previous);
             failed |= id == 0 || !journal.setOutcome(id, JournalOutcome::Ok);
         },
         [&] {
             const qint64 id = journal.record(replaceOf(++round));
             failed |= id == 0 || !journal.setOutcome(id, JournalOutcome::Ok);
         },
         [&] { failed |= !bareCopy(source, dir.filePath(QStringLiteral("copy.jpg"))); }},
        rounds);
    if (failed) {
        std::fprintf(stderr, "a record or the bare copy failed\n");
        return 1;
    }
    const double withCopy = bench::median(times[0]);
    const double plain = bench::median(times[1]);
    const double bare = bench::median(times[2]);
    std::printf("journal in %s, %d rounds side by side\n", qPrintable(QDir::currentPath()), rounds);
    std::printf("  replace, 300 KB copy kept  : %8.2f ms (median; record and outcome)\n", withCopy);
    std::printf("  put, no copy               : %8.2f ms (median; record and outcome)\n", plain);
    std::printf("  bare copy 300 KB + fsync   : %8.2f ms (median)\n", bare);
    std::printf("  ratio journal / bare copy  : %8.3f  (replace with its copy; no goal alone)\n",
                bare > 0 ? withCopy / bare : 0);
    return 0;
}
