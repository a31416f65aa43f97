// Preparing the preview against running the two ImageMagick commands bare.
//
// Prepare adds only its own bookkeeping (finding the tools, logging, clearing
// the old preview, checking the crop arrived) to the two tool runs. Figures:
// medians over side-by-side rounds and their ratio (goal: at most 1.05).

#include "bench_common.h"
#include "core/program_state.h"
#include "imaging/prepare.h"
#include "runtime/shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

using namespace framla;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The runner logs every command; the figures are what this prints.
    QLoggingCategory::setFilterRules(QStringLiteral("framla.info=false"));
    const int rounds = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 9;
    const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
    const QString mogrify = QStandardPaths::findExecutable(QStringLiteral("mogrify"));
    if (convert.isEmpty() || mogrify.isEmpty()) {
        std::fprintf(stderr, "ImageMagick's convert and mogrify are needed\n");
        return 1;
    }

    QTemporaryDir dir;
    const QString photo = dir.filePath(QStringLiteral("ring photo.jpg"));
    const QSize size(4000, 3000);
    if (!bench::writePhoto(photo, size)) {
        std::fprintf(stderr, "could not write the test photo\n");
        return 1;
    }
    QDir::setCurrent(dir.path());

    runtime::ProcessShell shell(dir.path(), nullptr);
    ProgramState state;
    state.cAppPath = dir.path();
    state.services.shell = &shell;
    const CropCoords marks{QPoint(50, 200), QPoint(150, 100)};
    const QString crop = imaging::cropArgument(size, ASCRN_SIZE, marks).text();
    bool bareOk = true;

    const auto times = bench::sideBySide(
        {[&] {
             imaging::Prepare(state, {photo, size, ASCRN_SIZE, marks}, {});
         },
         [&] {
             bareOk &= bench::runTool(
                 convert, {photo, QStringLiteral("-crop"), crop, QStringLiteral("scratch.jpg")},
                 dir.path());
             bareOk &= bench::runTool(mogrify,
                                      {QStringLiteral("-modulate"), QStringLiteral("100"),
                                       QStringLiteral("-gamma"), QStringLiteral("1.00"),
                                       QStringLiteral("-level"), QStringLiteral("0.00%"),
                                       QStringLiteral("scratch.jpg")},
                                      dir.path());
         }},
        rounds);

    const double prepared = bench::median(times[0]);
    const double bare = bench::median(times[1]);
    const double ratio = bare > 0 ? prepared / bare : 0;
    std::printf("source 4000 x 3000 JPEG, crop %s, %d rounds side by side\n", qPrintable(crop),
                rounds);
    std::printf("  Prepare (runner, two tools) : %8.1f ms (median)\n", prepared);
    std::printf("  bare convert + mogrify      : %8.1f ms (median)%s\n", bare,
                bareOk ? "" : "  (a bare run failed)");
    std::printf("  ratio Prepare / bare        : %8.3f  (goal <= 1.05) %s\n", ratio,
                ratio <= 1.05 ? "met" : "NOT MET");
    return bareOk ? 0 : 1;
}
