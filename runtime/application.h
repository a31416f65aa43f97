#pragma once

#include <QApplication>

#include <functional>

namespace framla {
struct ProgramState;
}

namespace framla::runtime {

/// The application object. Every event first goes to the object it is
/// addressed to; a RuntimeError raised while it is handled goes to StandardEH:
/// Retry delivers the event again, Ignore leaves it unhandled, and an
/// abandoned operation ends there. After that the per-event chain runs for
/// an event taken from the queue (not one that a handler causes or that
/// arrives during its wait). Operator input during
/// a blocking routine is held or dropped first (runtime/blocking.h), and the
/// keys held are delivered once the outermost event has been handled.
class FramlaApplication : public QApplication {
    Q_OBJECT
public:
    /// Runs after the addressed object has handled an event: the inline
    /// handlers and the enabled-state updates of the main window.
    using EventChain = std::function<void(QObject *receiver, QEvent *event)>;

    FramlaApplication(int &argc, char **argv);

    /// The state the handler works with; set by ErrorSys.
    void setProgramState(ProgramState *state) { m_state = state; }
    ProgramState *programState() const { return m_state; }

    /// The chain runs on the UI thread only, not for events that the chain
    /// itself sends, and not for events a handler causes or that arrive
    /// while it waits.
    void setEventChain(EventChain chain) { m_chain = std::move(chain); }

    bool notify(QObject *receiver, QEvent *event) override;

private:
    /// Runs deliver under the handler; false when it failed and was not retried.
    template<typename Deliver>
    bool underHandler(const Deliver &deliver, QObject *receiver, QEvent *event);

    ProgramState *m_state = nullptr;
    EventChain m_chain;
    bool m_inChain = false;
    /// How many events the UI thread is delivering, one inside another.
    int m_depth = 0;
    /// The outermost of them: the event taken from the queue.
    struct {
        QEvent::Type type = QEvent::None;
        bool fromWindow = false; ///< addressed to a window, which hands input on
    } m_outer;
};

} // namespace framla::runtime
