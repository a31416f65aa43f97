#pragma once

// The blocking routines of the UI thread (a tool run, a pause, the wait for
// the working files): the window keeps painting and timers and posted events
// still run, but the operator's clicks and keys made meanwhile are dropped.
// They are not kept for later: a second click on a button while its handler
// waits for a tool must not run the handler again once the tool is done.

#include <QEventLoop>
#include <QObject>

class QEvent;

namespace framla::runtime {

/// Drops operator input for its lifetime when made on the UI thread; does
/// nothing on other threads. Nested blocking routines each hold one. Input
/// to a modal box opened during the routine (an error box, a question) still
/// reaches that box, so it can be answered.
class BlockingInput {
public:
    BlockingInput();
    ~BlockingInput();
    BlockingInput(const BlockingInput &) = delete;
    BlockingInput &operator=(const BlockingInput &) = delete;

    /// True while a blocking routine runs on the UI thread.
    static bool active();
    /// True when event, addressed to receiver, is operator input that the
    /// running blocking routine drops.
    static bool drops(QObject *receiver, QEvent *event);

private:
    bool m_holds = false;
};

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
