#include "crop_pointer.h"

#include "runtime/operator_input.h"

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace framla::imaging {

namespace {

/// The top-level widget that a window stands for, if any.
QWidget *widgetOfWindow(const QWindow *window)
{
    const QWidgetList tops = QApplication::topLevelWidgets();
    for (QWidget *top : tops) {
        if (top->windowHandle() == window)
            return top;
    }
    return nullptr;
}

} // namespace

PointerGrab::PointerGrab(QWidget *subject)
    : QObject(QCoreApplication::instance())
    , m_subject(subject)
{
    // A child of the application, so that active() can find it; the filter
    // sees every event of the UI thread before its receiver does.
    QCoreApplication::instance()->installEventFilter(this);
}

PointerGrab::~PointerGrab()
{
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->removeEventFilter(this);
}

bool PointerGrab::active()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app != nullptr &&
           app->findChild<PointerGrab *>(QString(), Qt::FindDirectChildrenOnly) != nullptr;
}

bool PointerGrab::run(Handler handler)
{
    m_handler = std::move(handler);
    m_finished = false;
    if (m_subject == nullptr)
        return false;
    QEventLoop loop;
    m_loop = &loop;
    const QMetaObject::Connection gone =
        connect(m_subject, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
    disconnect(gone);
    m_loop = nullptr;
    m_handler = nullptr;
    return m_finished;
}

bool PointerGrab::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<const QMouseEvent *>(event);
        if (watched->isWidgetType()) {
            // A control gets a quick second click as a double click instead
            // of a press; a press always counts.
            const QEvent::Type type = event->type() == QEvent::MouseButtonDblClick
                                          ? QEvent::MouseButtonPress
                                          : event->type();
            take(type, mouse->button(), static_cast<QWidget *>(watched),
                 mouse->position().toPoint());
            return true;
        }
        // A window gets the second press itself and then the double click
        // made from it: the press has counted already.
        if (event->type() == QEvent::MouseButtonDblClick)
            return true;
        if (watched->isWindowType()) {
            const bool wasRunning = !m_finished;
            takeFromWindow(static_cast<QWindow *>(watched), *mouse);
            // The release that ends the routine still goes to the window, so
            // that its own record of the control last pressed on (a drag
            // starts with a press the window has seen) ends as usual. A
            // control gets it only if it had that press.
            return !(wasRunning && m_finished && event->type() == QEvent::MouseButtonRelease);
        }
        return true;
    }
    default:
        // Every other input is the routine's to drop: it must not reach any
        // control while the marks are being set.
        return runtime::inputKind(*event) != runtime::InputKind::None;
    }
}

void PointerGrab::takeFromWindow(QWindow *window, const QMouseEvent &event)
{
    QWidget *top = widgetOfWindow(window);
    if (top == nullptr)
        return;
    const QPoint inTop = event.position().toPoint();
    QWidget *target = m_holder;
    if (target == nullptr || target->window() != top) {
        target = top->childAt(inTop);
        if (target == nullptr)
            target = top;
    }
    take(event.type(), event.button(), target, target->mapFrom(top, inTop));
}

void PointerGrab::take(QEvent::Type type, Qt::MouseButton button, QWidget *target, QPoint pos)
{
    PointerEvent taken;
    taken.pos = QPoint(pos.x(), target->height() - pos.y());
    switch (type) {
    case QEvent::MouseButtonPress:
        if (button != Qt::LeftButton)
            return;
        taken.kind = PointerEvent::LeftPress;
        m_holder = target; // the pointer stays with it until the release
        break;
    case QEvent::MouseButtonRelease:
        if (button != Qt::LeftButton)
            return;
        taken.kind = PointerEvent::LeftRelease;
        m_holder = nullptr;
        break;
    default:
        taken.kind = PointerEvent::Move;
        break;
    }
    if (m_finished || !m_handler)
        return;
    if (m_handler(taken)) {
        m_finished = true;
        if (m_loop != nullptr)
            m_loop->quit();
    }
}

} // namespace framla::imaging
