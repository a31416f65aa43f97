// Showing a camera photo in the source view against decoding it whole.
//
// The view decodes a JPEG directly at the size it shows it (the decoder's own
// reduced-size decoding) instead of decoding every pixel and scaling down.
// Figures: medians over side-by-side rounds, their ratio (goal: at most
// 0.55), and the memory the view keeps (goal: a few MB at most).

#include "bench_common.h"
#include "core/program_state.h"
#include "imaging/image_view.h"
#include "imaging/placement.h"

#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QTemporaryDir>

#include <cstdio>

using namespace framla;

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 9;

    QTemporaryDir dir;
    const QString photo = dir.filePath(QStringLiteral("camera.jpg"));
    if (!bench::writePhoto(photo, QSize(6000, 4000))) {
        std::fprintf(stderr, "could not write the test photo\n");
        return 1;
    }
    QDir::setCurrent(dir.path());

    ProgramState state;
    state.cAppPath = dir.path();
    imaging::ImageView view;
    view.resize(278, 256);
    view.show();
    qint64 decodedPixels = 0;

    const auto times =
        bench::sideBySide({[&] { imaging::HangPicture(state, photo, &view, QStringLiteral("S")); },
                           [&] {
                               QImage whole(photo);
                               decodedPixels = qint64(whole.width()) * whole.height();
                           }},
                          rounds);

    const double shown = bench::median(times[0]);
    const double whole = bench::median(times[1]);
    const double ratio = whole > 0 ? shown / whole : 0;
    const double heldKb = (view.bitmapBytes() + view.surface().sizeInBytes()) / 1024.0;
    std::printf("photo 6000 x 4000 JPEG, %d rounds side by side\n", rounds);
    std::printf("  shown in the source view : %8.1f ms (median)\n", shown);
    std::printf("  decoded whole            : %8.1f ms (median, %lld pixels)\n", whole,
                static_cast<long long>(decodedPixels));
    std::printf("  ratio view / whole       : %8.3f  (goal <= 0.55) %s\n", ratio,
                ratio <= 0.55 ? "met" : "NOT MET");
    std::printf("  view keeps               : %8.1f KB (its copy of the %lld x %lld photo and "
                "its surface; goal a few MB) %s\n",
                heldKb, static_cast<long long>(view.rawSize().width()),
                static_cast<long long>(view.rawSize().height()),
                heldKb <= 4096 ? "met" : "NOT MET");
    return 0;
}
