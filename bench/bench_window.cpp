// The main window: start-up until the window is shown, and the per-event
// chain's cost on pointer motion.
//
// (a) Program::start (options, settings file, tool check, both pages built
//     from the layout tables, the chain installed) until the window has been
//     shown and painted, against a bare QDialog of the same size with as many
//     child widgets (labels), shown and painted the same way. Goal: at most 3x.
//     The window alone (MainWindow built and shown, nothing else of the
//     start-up) runs beside them, to tell the start-up's own share from the
//     window's.
// (b) One pointer motion over the source view, sent through the application
//     with the chain installed and without it, side by side; the difference
//     is the chain's cost per event. Goal: under 20 us (median).

#include "app/event_chain.h"
#include "app/main_window.h"
#include "app/program.h"
#include "bench_common.h"
#include "core/program_state.h"
#include "imaging/image_view.h"
#include "runtime/application.h"

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

using namespace framla;

namespace {

/// Lets the window system show and paint what is pending.
void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

/// Sends motion events over the widget; returns the mean time of one in ns.
double motions(QWidget *widget, int count)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        const QPointF at(10 + i % 200, 10 + i % 150);
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &move);
    }
    return double(timer.nsecsElapsed()) / count;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    runtime::FramlaApplication application(argc, argv);
    const int rounds = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 9;

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());

    // How many widgets the window holds, from one start outside the rounds
    // (which also warms the fonts and the style).
    int children = 0;
    {
        app::Program program;
        program.start({});
        settle();
        children = int(program.window()->findChildren<QWidget *>().size());
    }
    settle();

    const auto startTimes =
        bench::sideBySide({[&] {
                               app::Program program;
                               program.start({});
                               settle();
                           },
                           [&] {
                               ProgramState state;
                               state.cAppPath = dir.path();
                               app::MainWindow window(state);
                               window.show();
                               window.buildPages();
                               settle();
                           },
                           [&] {
                               QDialog dialog;
                               dialog.setFixedSize(600, 400);
                               for (int i = 0; i < children; ++i) {
                                   auto *label =
                                       new QLabel(QStringLiteral("Label %1").arg(i), &dialog);
                                   label->setGeometry(5 + (i % 8) * 74, 5 + (i / 8) * 24, 70, 20);
                               }
                               dialog.show();
                               settle();
                           }},
                          rounds);
    const double program = bench::median(startTimes[0]);
    const double windowOnly = bench::median(startTimes[1]);
    const double bare = bench::median(startTimes[2]);
    const double startRatio = bare > 0 ? program / bare : 0;
    std::printf("start-up to the window shown, %d rounds side by side (%d child widgets)\n", rounds,
                children);
    std::printf("  Program::start           : %8.2f ms (median)\n", program);
    std::printf("  the window alone         : %8.2f ms (median; MainWindow built and shown)\n",
                windowOnly);
    std::printf("  bare QDialog, as many    : %8.2f ms (median)\n", bare);
    std::printf("  ratio window alone / bare: %8.2f\n", bare > 0 ? windowOnly / bare : 0);
    std::printf("  ratio program / bare     : %8.2f  (goal <= 3) %s\n", startRatio,
                startRatio <= 3 ? "met" : "NOT met");

    // (b) The chain on pointer motion over the source view.
    app::Program running;
    running.start({});
    settle();
    app::MainWindow *window = running.window();
    window->showPage(app::MainWindow::Page::Image);
    settle();
    QWidget *canvas = window->imageTab().oStat->canvas();
    auto &app = static_cast<runtime::FramlaApplication &>(*QCoreApplication::instance());
    constexpr int kMotions = 2000;
    const auto motionTimes = bench::sideBySide({[&] {
                                                    running.eventChain()->install();
                                                    motions(canvas, kMotions);
                                                },
                                                [&] {
                                                    app.setEventChain({});
                                                    motions(canvas, kMotions);
                                                }},
                                               rounds);
    const double withChain = bench::median(motionTimes[0]) * 1e3 / kMotions;
    const double without = bench::median(motionTimes[1]) * 1e3 / kMotions;
    std::printf("\npointer motion over the source view, %d rounds of %d motions side by side\n",
                rounds, kMotions);
    std::printf("  with the chain           : %8.2f us per motion (median)\n", withChain);
    std::printf("  without it               : %8.2f us per motion (median)\n", without);
    std::printf("  the chain's own cost     : %8.2f us per motion (goal < 20) %s\n",
                withChain - without, withChain - without < 20 ? "met" : "NOT met");
    std::printf("  ratio with / without     : %8.2f\n", without > 0 ? withChain / without : 0);
    running.eventChain()->install();
    return 0;
}
