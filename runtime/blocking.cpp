#include "blocking.h"
#include "threads.h"

#include <QApplication>
#include <QEvent>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace framla::runtime {

namespace {

bool isOperatorInput(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
    case QEvent::Gesture:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    case QEvent::Close:
        // The operator closing a window; the program's own close() passes.
        return event->spontaneous();
    default:
        return false;
    }
}

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

/// The filter shared by all running blocking routines, one entry per routine
/// with the modal box that was open when it began.
class InputDropper final : public QObject {
public:
    QList<QPointer<QWidget>> modalAtStart;

    bool drops(QObject *receiver, QEvent *event) const
    {
        if (modalAtStart.isEmpty() || !isOperatorInput(event))
            return false;
        return !forNewModal(receiver);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override { return drops(watched, event); }

private:
    /// True for input to a modal box opened since the innermost routine began.
    bool forNewModal(QObject *receiver) const
    {
        if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr)
            return false;
        QWidget *modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == modalAtStart.constLast())
            return false;
        for (QWidget *w = widgetOf(receiver); w != nullptr; w = w->parentWidget()) {
            if (w == modal)
                return true;
        }
        return false;
    }
};

InputDropper *dropper = nullptr; // used on the UI thread only

QWidget *currentModal()
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr)
        return nullptr;
    return QApplication::activeModalWidget();
}

} // namespace

BlockingInput::BlockingInput()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (app == nullptr || !onUiThread())
        return;
    if (dropper == nullptr) {
        dropper = new InputDropper;
        app->installEventFilter(dropper);
    }
    dropper->modalAtStart.append(currentModal());
    m_holds = true;
}

BlockingInput::~BlockingInput()
{
    if (!m_holds || dropper == nullptr)
        return;
    if (dropper->modalAtStart.size() == 1) {
        // Input already queued by the window system belongs to the wait:
        // take it in now, while it is still dropped, rather than after.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    dropper->modalAtStart.removeLast();
    if (dropper->modalAtStart.isEmpty()) {
        delete dropper; // also removes the filter
        dropper = nullptr;
    }
}

bool BlockingInput::active()
{
    return dropper != nullptr && onUiThread();
}

bool BlockingInput::drops(QObject *receiver, QEvent *event)
{
    return active() && dropper->drops(receiver, event);
}

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
    // All events, operator input included: excluded input would only be held
    // back and delivered after the wait; this way it reaches the filter and
    // is dropped.
    m_loop.exec(QEventLoop::AllEvents);
    return !timedOut;
}

} // namespace framla::runtime
