#include "application.h"

#include <QPointer>
#include <QScopedValueRollback>
#include <QThread>

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
    QThread *const thread = QThread::currentThread();
    const bool uiThread = thread == this->thread();
    if (uiThread && m_depth == 0)
        m_outerLoopLevel = thread->loopLevel();
    bool handled = false;
    {
        std::optional<QScopedValueRollback<int>> depth; // counted on the UI thread only
        if (uiThread)
            depth.emplace(m_depth, m_depth + 1);
        handled = underHandler([&] { return QApplication::notify(receiver, event); }, receiver,
                               event);
        // The rules that follow a handler run once it has finished, with the
        // state it leaves: not for the events delivered during its waits
        // (a tool run, a box, the crop marking), where its work is half done.
        const bool insideHandler =
            BlockingInput::active() || thread->loopLevel() > m_outerLoopLevel;
        if (m_chain && !m_inChain && !insideHandler && alive && uiThread) {
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
