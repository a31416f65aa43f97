#include "application.h"

#include <QPointer>
#include <QScopedValueRollback>
#include <QThread>
#include <QWindow>

#include "runtime/blocking.h"
#include "runtime/error.h"
#include "runtime/logging.h"

#include <exception>
#include <optional>

namespace framla::runtime {

FramlaApplication::FramlaApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{}

template<typename Deliver>
bool FramlaApplication::underHandler(const Deliver &deliver, QObject *receiver, QEvent *event)
{
    const QPointer<QObject> alive(receiver);
    const bool accepted = event != nullptr && event->isAccepted();
    for (int tries = 1;; ++tries) {
        std::optional<RuntimeError> failure;
        try {
            return deliver();
        } catch (RuntimeError &error) {
            failure = std::move(error);
        } catch (const OperationAbandoned &) {
            // Cancelled further down, where a guarded operation failed.
            return false;
        } catch (...) {
            failure = foreignError(std::current_exception());
        }
        if (m_state == nullptr) {
            qCCritical(lcFramla, "Run-time error before the error handler was installed: %s",
                       qPrintable(failure->description));
            return false;
        }
        failure->tries = tries;
        try {
            if (StandardEH(*m_state, *failure).kind != HandlerResult::Kind::Retry)
                return false;
        } catch (const OperationAbandoned &) {
            return false;
        }
        // The handler may have let the receiver go (a deferred delete).
        if (!alive)
            return false;
        if (event != nullptr)
            event->setAccepted(accepted);
    }
}

bool FramlaApplication::notify(QObject *receiver, QEvent *event)
{
    // Operator input during a blocking routine goes nowhere yet: keys are
    // held for later, pointer input is dropped; the chain does not see it.
    if (input::take(receiver, event))
        return true;

    const QPointer<QObject> alive(receiver);
    const bool uiThread = QThread::currentThread() == thread();
    // The rules that follow a handler run once it has finished, with the
    // state it leaves. So the chain follows the events taken from the queue:
    // the outermost one, and the same input as its window hands it on to the
    // control that has the focus or the pointer. Not the events a handler
    // causes while it runs (a text set, a child removed), nor those
    // delivered during its waits (a tool run, a box, the crop marking).
    bool fromQueue = false;
    if (uiThread && m_depth == 0) {
        m_outer = {event->type(), qobject_cast<QWindow *>(receiver) != nullptr};
        fromQueue = true;
    } else if (uiThread && m_depth == 1) {
        fromQueue = m_outer.fromWindow && event->type() == m_outer.type;
    }
    fromQueue = fromQueue && !BlockingInput::active();
    bool handled = false;
    {
        std::optional<QScopedValueRollback<int>> depth; // counted on the UI thread only
        if (uiThread)
            depth.emplace(m_depth, m_depth + 1);
        handled =
            underHandler([&] { return QApplication::notify(receiver, event); }, receiver, event);
        if (m_chain && !m_inChain && fromQueue && alive) {
            const QScopedValueRollback inChain(m_inChain, true);
            underHandler(
                [&] {
                    m_chain(receiver, event);
                    return true;
                },
                receiver, nullptr);
        }
    }
    // The keys typed while a handler was busy take effect once it is over.
    if (uiThread && m_depth == 0 && input::heldCount() > 0)
        input::deliverHeld();
    return handled;
}

} // namespace framla::runtime
