#include "blocking.h"
#include "operator_input.h"
#include "threads.h"

#include <QApplication>
#include <QEvent>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <deque>
#include <memory>

namespace framla::runtime {

namespace {

/// The widget an event receiver belongs to: itself, or the top-level
/// widget whose window it is.
QWidget *widgetOf(QObject *receiver)
{
    if (receiver->isWidgetType())
        return static_cast<QWidget *>(receiver);
    if (auto *window = qobject_cast<QWindow *>(receiver)) {
        const QWidgetList tops = QApplication::topLevelWidgets();
        for (QWidget *top : tops) {
            if (top->windowHandle() == window)
                return top;
        }
    }
    return nullptr;
}

QWidget *currentModal()
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr)
        return nullptr;
    return QApplication::activeModalWidget();
}

/// A key held for later, with the object it was addressed to.
struct HeldKey {
    QPointer<QObject> receiver;
    std::unique_ptr<QEvent> event;
};

/// The input state of the UI thread: the running blocking routines, each
/// with the modal box that was open when it began, and the keys held.
struct InputGate {
    QList<QPointer<QWidget>> modalAtStart;
    std::deque<HeldKey> held;
    bool delivering = false;

    bool busy() const { return !modalAtStart.isEmpty(); }

    /// True for input to a modal box opened since the innermost routine began.
    bool forNewModal(QObject *receiver) const
    {
        QWidget *modal = currentModal();
        if (modal == nullptr || modal == modalAtStart.constLast())
            return false;
        for (QWidget *w = widgetOf(receiver); w != nullptr; w = w->parentWidget()) {
            if (w == modal)
                return true;
        }
        return false;
    }

    void hold(QObject *receiver, const QEvent *event)
    {
        held.push_back({receiver, std::unique_ptr<QEvent>(event->clone())});
    }
};

InputGate &gate() // used on the UI thread only
{
    static InputGate theGate;
    return theGate;
}

} // namespace

BlockingInput::BlockingInput()
{
    if (QCoreApplication::instance() == nullptr || !onUiThread())
        return;
    gate().modalAtStart.append(currentModal());
    m_holds = true;
}

BlockingInput::~BlockingInput()
{
    if (!m_holds)
        return;
    InputGate &g = gate();
    if (g.modalAtStart.size() == 1) {
        // Input already queued by the window system belongs to the wait:
        // take it in now, while the routine still holds it off.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    g.modalAtStart.removeLast();
    // The handler may go on without another event coming: a call queued to
    // the application makes sure that the held keys follow it.
    if (!g.busy() && !g.held.empty()) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
    }
}

bool BlockingInput::active()
{
    return onUiThread() && gate().busy();
}

namespace input {

bool take(QObject *receiver, QEvent *event)
{
    if (!onUiThread())
        return false;
    const InputKind kind = inputKind(*event);
    if (kind == InputKind::None)
        return false;
    InputGate &g = gate();
    if (g.busy()) {
        if (g.forNewModal(receiver))
            return false;
        if (kind == InputKind::Key)
            g.hold(receiver, event);
        return true;
    }
    // Keys typed behind held ones wait their turn, unless a box is open to
    // take them now.
    if (kind == InputKind::Key && !g.held.empty() && !g.delivering && currentModal() == nullptr) {
        g.hold(receiver, event);
        return true;
    }
    return false;
}

void deliverHeld()
{
    InputGate &g = gate();
    if (g.delivering || !onUiThread())
        return;
    g.delivering = true;
    // A key's handler runs to its end inside sendEvent; keys typed during
    // its own waits join the end of the queue.
    while (!g.held.empty() && !g.busy() && currentModal() == nullptr) {
        HeldKey next = std::move(g.held.front());
        g.held.pop_front();
        if (next.receiver != nullptr)
            QCoreApplication::sendEvent(next.receiver, next.event.get());
    }
    g.delivering = false;
}

int heldCount()
{
    return int(gate().held.size());
}

} // namespace input

bool BlockingWait::wait(int timeoutMs)
{
    // The routine holds off input before the timer exists, so that the timer
    // is stopped before the queued input is taken in at the end.
    const BlockingInput blocked;
    bool timedOut = false;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &m_loop, [&] {
        timedOut = true;
        m_loop.quit();
    });
    limit.start(timeoutMs);
    // All events, operator input included: the window system's queue is
    // emptied as it fills, and the input in it is held or dropped above.
    m_loop.exec(QEventLoop::AllEvents);
    return !timedOut;
}

} // namespace framla::runtime
