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
    const QPointer<QObject> alive(receiver);
    // Operator input during a blocking routine goes nowhere: the filter of the
    // routine takes it, and the chain does not see it either.
    const bool dropped = BlockingInput::drops(receiver, event);
    const bool handled =
        underHandler([&] { return QApplication::notify(receiver, event); }, receiver, event);
    if (m_chain && !m_inChain && !dropped && alive && QThread::currentThread() == thread()) {
        const QScopedValueRollback inChain(m_inChain, true);
        underHandler(
            [&] {
                m_chain(receiver, event);
                return true;
            },
            receiver, nullptr);
    }
    return handled;
}

} // namespace framla::runtime
