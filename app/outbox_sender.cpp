#include "outbox_sender.h"

#include "core/program_state.h"
#include "history/journal_keeper.h"
#include "runtime/dialogs.h"
#include "runtime/logging.h"
#include "runtime/threads.h"
#include "server/put_journal.h"
#include "server/target_display.h"

#include <QDateTime>
#include <QLabel>
#include <QPointer>

namespace framla::app {

namespace {

/// How often the outbox is looked at; each put has its own pause besides.
constexpr int kLookMs = 5000;

} // namespace

OutboxSender::OutboxSender(ProgramState &state, QLabel *caption, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_caption(caption)
{
    setObjectName(QStringLiteral("outboxSender"));
    m_timer.setInterval(kLookMs);
    connect(&m_timer, &QTimer::timeout, this, &OutboxSender::look);
    if (m_state.services.outbox == nullptr)
        return;
    m_timer.start();
    QTimer::singleShot(0, this, &OutboxSender::look);
}

QString OutboxSender::captionText(int count)
{
    if (count <= 0)
        return {};
    return count == 1 ? QStringLiteral("1 photo waits in the outbox")
                      : QStringLiteral("%1 photos wait in the outbox").arg(count);
}

int OutboxSender::waiting() const
{
    return m_state.services.outbox == nullptr ? 0 : int(m_state.services.outbox->list().size());
}

void OutboxSender::showCount()
{
    if (m_caption != nullptr)
        m_caption->setText(captionText(waiting()));
}

void OutboxSender::look()
{
    showCount();
    if (m_busy || m_state.services.outbox == nullptr)
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const history::OutboxEntry &entry : m_state.services.outbox->list()) {
        if (m_now.contains(entry.id) ||
            (!m_held.contains(entry.id) && history::nextAttemptAt(entry) <= now)) {
            m_now.remove(entry.id);
            attempt(entry.id, false);
            return;
        }
    }
}

void OutboxSender::attempt(const QString &id, bool replaceAllowed)
{
    m_busy = true;
    QPointer<OutboxSender> self(this);
    server::runOnUploadWorker(m_state, [self, id, replaceAllowed](ProgramState &worker) {
        server::QuietDisplay quiet;
        const server::RetryResult result = server::sendWaitingPut(
            worker, quiet, worker.login, *worker.services.outbox, id, replaceAllowed);
        runtime::onUiThreadLater([self, id, result] {
            if (self)
                self->ended(id, result);
        });
    });
}

void OutboxSender::ended(const QString &id, const server::RetryResult &result)
{
    m_busy = false;
    if (result.outcome == server::RetryOutcome::AskOperator) {
        const int answer = m_state.services.dialogs->confirmBox(
            QStringLiteral("A photo for %1 waits in the outbox, as the server could not be "
                           "reached when it was put.\r\nMeanwhile a picture was put on the server "
                           "for %1 by someone else.\r\nReplace that picture with the waiting "
                           "photo?")
                .arg(result.code),
            QStringLiteral("Waiting photo"), runtime::Buttons::YesNo, runtime::Icon::Question,
            runtime::DefaultButton::Second);
        if (answer == runtime::kYes) {
            m_held.remove(id);
            attempt(id, true);
        } else {
            // It waits until the operator sends or drops it from the History window.
            m_held.insert(id);
        }
    }
    showCount();
    emit changed();
}

void OutboxSender::sendNow(const QString &id)
{
    m_held.remove(id);
    m_now.insert(id);
    look();
}

void OutboxSender::drop(const QString &id)
{
    history::Outbox *outbox = m_state.services.outbox;
    if (outbox == nullptr)
        return;
    const auto loaded = outbox->load(id);
    outbox->remove(id);
    m_held.remove(id);
    m_now.remove(id);
    if (loaded) {
        qCInfo(runtime::lcFramla).noquote()
            << "the waiting photo for" << loaded->first.code << "was dropped by the operator";
        server::journalEnd(m_state, loaded->first.journalId, history::JournalOutcome::Failed,
                           QStringLiteral("dropped from the outbox by the operator"));
    }
    showCount();
    emit changed();
}

} // namespace framla::app
