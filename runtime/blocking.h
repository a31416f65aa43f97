#pragma once

// The blocking routines of the UI thread (a tool run, a pause, the wait for
// the working files): the window keeps painting and timers and posted events
// still run, but the operator's input made meanwhile does not reach the
// window while the routine's handler is still at work.
//  - Keys (and the Enter that ends a code) are held, in the order typed, and
//    take effect once the handler has returned, as if they had waited in
//    the queue: a code typed or scanned during a look-up is looked up whole.
//  - Pointer presses, wheel turns and the close box are dropped: the wait
//    pointer shows that the program is busy, and a second press of a button
//    while its handler waits must not run the handler again.

#include <QEventLoop>
#include <QObject>

class QEvent;

namespace framla::runtime {

/// Holds off operator input for its lifetime when made on the UI thread;
/// does nothing on other threads. Nested blocking routines each hold one.
/// Input to a modal box opened during the routine (an error box, a
/// question) still reaches that box, so it can be answered.
class BlockingInput {
public:
    BlockingInput();
    ~BlockingInput();
    BlockingInput(const BlockingInput &) = delete;
    BlockingInput &operator=(const BlockingInput &) = delete;

    /// True while a blocking routine runs on the UI thread.
    static bool active();

private:
    bool m_holds = false;
};

/// Where the application passes every event before delivering it (see
/// FramlaApplication::notify). Works on the UI thread only.
namespace input {

/// True when the event is operator input that is not delivered now: a key
/// held for later (during a blocking routine, or behind keys still held),
/// or pointer input or a close that a blocking routine drops.
bool take(QObject *receiver, QEvent *event);

/// Delivers the held keys, oldest first, each to the object it was
/// addressed to (a window passes it on to the control that has the focus
/// by then). Call it where no event is being delivered, so that the
/// handler that was busy has returned; it does nothing while a blocking
/// routine or a modal box runs.
void deliverHeld();

/// How many keys are held.
int heldCount();

} // namespace input

/// Waits until one of the signals given to endOn arrives or the time limit
/// passes. On the UI thread this is a blocking routine (see BlockingInput).
class BlockingWait {
public:
    template<typename Sender, typename Signal> void endOn(const Sender *sender, Signal signal)
    {
        QObject::connect(sender, signal, &m_loop, &QEventLoop::quit);
    }

    /// Waits at most timeoutMs; false when the time ran out first.
    bool wait(int timeoutMs);

private:
    QEventLoop m_loop;
};

} // namespace framla::runtime
