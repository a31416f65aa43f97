// The cost of one pointer motion while the crop box is dragged, over photos
// of 1 to 24 megapixels in the source view.
//
// A motion step moves the box and repaints the view from the picture it
// already holds at screen size; the photo is not decoded or scaled again, so
// the step should cost the same whatever the photo's size. Figures: the
// median time of one step per photo size, measured side by side in the same
// rounds, and the ratio of the largest photo's step to the smallest's (goal:
// at most 1.25). Placing each photo once is shown beside it for scale.

#include "bench_common.h"
#include "core/program_state.h"
#include "imaging/crop.h"
#include "imaging/image_view.h"
#include "imaging/placement.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <memory>

using namespace framla;

namespace {

constexpr int kSteps = 200;

struct Subject {
    const char *name;
    QSize size;
    std::unique_ptr<imaging::ImageView> view;
    double placedMs = 0;
};

void sendMouse(QWidget *canvas, QEvent::Type type, QPointF at, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, canvas->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(canvas, &event);
}

/// One drag of kSteps motions in a small circle, each painted at once.
void drag(ProgramState &state, imaging::ImageView &view)
{
    QWidget *canvas = view.canvas();
    const QPointF centre(139, 128); // Qt coordinates on the canvas
    QTimer::singleShot(0, canvas, [&] {
        for (int step = 0; step < kSteps; ++step) {
            const QPointF at =
                centre + QPointF(20 * std::cos(step * 0.3), 20 * std::sin(step * 0.3));
            sendMouse(canvas, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
            canvas->repaint();
        }
        sendMouse(canvas, QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton);
    });
    CropCoords box{QPoint(90, 170), QPoint(190, 90)};
    imaging::DRAGCROPS(state, &view, box,
                       imaging::StartingPress{canvas, QPoint(139, canvas->height() - 128)});
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 9;

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    ProgramState state;
    state.cAppPath = dir.path();

    Subject subjects[] = {{"1 MP", QSize(1224, 816), nullptr},
                          {"6 MP", QSize(3000, 2000), nullptr},
                          {"12 MP", QSize(4240, 2832), nullptr},
                          {"24 MP", QSize(6000, 4000), nullptr}};
    std::vector<std::function<void()>> runs;
    for (Subject &subject : subjects) {
        const QString photo = dir.filePath(QStringLiteral("photo%1.jpg").arg(subject.size.width()));
        if (!bench::writePhoto(photo, subject.size)) {
            std::fprintf(stderr, "could not write the test photo\n");
            return 1;
        }
        subject.view = std::make_unique<imaging::ImageView>();
        subject.view->resize(278, 256);
        subject.view->show();
        QElapsedTimer placing;
        placing.start();
        imaging::HangPicture(state, photo, subject.view.get(), QStringLiteral("S"));
        subject.placedMs = double(placing.nsecsElapsed()) / 1e6;
        QCoreApplication::processEvents();
        runs.push_back([&state, &subject] { drag(state, *subject.view); });
    }

    const auto times = bench::sideBySide(runs, rounds);
    std::printf("dragging the crop box over a photo in the source view, %d motions a drag, "
                "%d rounds side by side\n",
                kSteps, rounds);
    std::vector<double> stepMs;
    for (size_t i = 0; i < std::size(subjects); ++i) {
        const Subject &subject = subjects[i];
        stepMs.push_back(bench::median(times[i]) / kSteps);
        std::printf("  photo %-5s (%4d x %4d) : one motion %7.3f ms (median)   placed once in "
                    "%7.1f ms\n",
                    subject.name, subject.size.width(), subject.size.height(), stepMs.back(),
                    subject.placedMs);
    }
    const double ratio = stepMs.front() > 0 ? stepMs.back() / stepMs.front() : 0;
    std::printf("  ratio 24 MP / 1 MP motion   : %7.3f  (goal <= 1.25) %s\n", ratio,
                ratio <= 1.25 ? "met" : "NOT met");
    return 0;
}
