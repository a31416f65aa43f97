#pragma once

#include <QEvent>
#include <QObject>
#include <QPoint>
#include <QPointer>

#include <functional>

class QEventLoop;
class QMouseEvent;
class QWidget;
class QWindow;

namespace framla::imaging {

/// A pointer event as the marking routines read it: what happened and where,
/// in the coordinates of the control under the pointer (or of the control
/// that holds the pointer while the left button is down), origin at that
/// control's lower left with y upward.
struct PointerEvent {
    enum Kind { LeftPress, LeftRelease, Move };
    Kind kind = Move;
    QPoint pos;
    bool operator==(const PointerEvent &) const = default;
};

/// Takes the pointer for a marking routine: while run() runs, every left
/// press, left release and pointer motion of the application, whatever
/// control it is addressed to, goes to the handler instead of that control,
/// and every other input event (keys, wheel, other buttons, the window's
/// close box, ...) is dropped. A double click on a control counts as the
/// press it stands for. Painting, timers and queued calls
/// go on, so overlays drawn meanwhile show.
class PointerGrab final : public QObject {
    Q_OBJECT
public:
    /// Gets every event taken; returns true when the routine is finished.
    using Handler = std::function<bool(const PointerEvent &)>;

    /// `subject` is the view being marked: when it goes away the grab ends.
    explicit PointerGrab(QWidget *subject);
    ~PointerGrab() override;

    /// Runs a local event loop until the handler says it is finished. False
    /// when the loop ended otherwise: the view was destroyed or the
    /// application is quitting.
    bool run(Handler handler);

    /// The control that holds the pointer from the start, as after a press
    /// on it that the caller has already taken: until the next left release,
    /// pointer events that come through its window count in its coordinates.
    void holdFor(QWidget *control) { m_holder = control; }

    /// True while some marking routine holds the pointer; the main window's
    /// own per-event handlers must then stay out of the way.
    static bool active();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /// Feeds one mouse event addressed to `target` at `pos` (target's Qt coordinates).
    void take(QEvent::Type type, Qt::MouseButton button, QWidget *target, QPoint pos);
    /// A mouse event addressed to a top-level window: the control under the
    /// pointer, or the one holding it, as the window would have chosen.
    void takeFromWindow(QWindow *window, const QMouseEvent &event);

    QPointer<QWidget> m_subject;
    QPointer<QWidget> m_holder; ///< the control pressed on, until the left button is released
    QEventLoop *m_loop = nullptr;
    Handler m_handler;
    bool m_finished = false;
};

} // namespace framla::imaging
