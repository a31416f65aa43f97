#include "history_window.h"

#include "app/outbox_sender.h"
#include "core/program_state.h"
#include "core/target.h"
#include "history/journal_keeper.h"
#include "runtime/clock.h"
#include "runtime/dialogs.h"
#include "runtime/threads.h"
#include "server/outbox_send.h"
#include "server/put_journal.h"
#include "server/target_display.h"
#include "server/upload.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace framla::app {

namespace {

constexpr int kThumbEdge = 48;
/// The journal column that keeps the record's id.
constexpr int kIdRole = Qt::UserRole;

QIcon thumbnail(const QByteArray &picture)
{
    QPixmap pixmap;
    if (picture.isEmpty() || !pixmap.loadFromData(picture))
        return {};
    return QIcon(
        pixmap.scaled(kThumbEdge, kThumbEdge, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

QTableWidget *table(const QStringList &headers, QWidget *parent)
{
    auto *widget = new QTableWidget(0, int(headers.size()), parent);
    widget->setHorizontalHeaderLabels(headers);
    widget->setSelectionBehavior(QAbstractItemView::SelectRows);
    widget->setSelectionMode(QAbstractItemView::SingleSelection);
    widget->setEditTriggers(QAbstractItemView::NoEditTriggers);
    widget->setIconSize(QSize(kThumbEdge, kThumbEdge));
    widget->verticalHeader()->setDefaultSectionSize(kThumbEdge + 4);
    widget->verticalHeader()->hide();
    widget->horizontalHeader()->setStretchLastSection(true);
    return widget;
}

QTableWidgetItem *cell(const QString &text)
{
    return new QTableWidgetItem(text);
}

QString localTime(const QDateTime &when)
{
    return when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

HistoryWindow::HistoryWindow(ProgramState &state, OutboxSender *sender, QWidget *parent)
    : QDialog(parent)
    , m_state(state)
    , m_sender(sender)
{
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(QStringLiteral("History"));
    resize(820, 560);
    auto *layout = new QVBoxLayout(this);

    auto *filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QStringLiteral("Code:"), this));
    m_code = new QLineEdit(this);
    m_code->setObjectName(QStringLiteral("historyCode"));
    filters->addWidget(m_code);
    m_byDay = new QCheckBox(QStringLiteral("Only the day"), this);
    m_byDay->setObjectName(QStringLiteral("historyByDay"));
    filters->addWidget(m_byDay);
    m_day = new QDateEdit(QDate::currentDate(), this);
    m_day->setObjectName(QStringLiteral("historyDay"));
    m_day->setCalendarPopup(true);
    filters->addWidget(m_day);
    filters->addStretch();
    layout->addLayout(filters);

    m_journal = table({QStringLiteral("When"), QStringLiteral("Action"), QStringLiteral("Kind"),
                       QStringLiteral("Code"), QStringLiteral("Outcome"), QStringLiteral("Size"),
                       QStringLiteral("Server path")},
                      this);
    m_journal->setObjectName(QStringLiteral("historyJournal"));
    layout->addWidget(m_journal, 3);
    auto *journalButtons = new QHBoxLayout;
    m_restore = new QPushButton(QStringLiteral("Restore the picture before"), this);
    m_restore->setObjectName(QStringLiteral("historyRestore"));
    journalButtons->addWidget(m_restore);
    journalButtons->addStretch();
    layout->addLayout(journalButtons);

    layout->addWidget(new QLabel(QStringLiteral("Photos waiting in the outbox:"), this));
    m_outbox = table({QStringLiteral("First tried"), QStringLiteral("Code"),
                      QStringLiteral("Attempts"), QStringLiteral("Last reason")},
                     this);
    m_outbox->setObjectName(QStringLiteral("historyOutbox"));
    layout->addWidget(m_outbox, 1);
    auto *outboxButtons = new QHBoxLayout;
    auto *send = new QPushButton(QStringLiteral("Send now"), this);
    send->setObjectName(QStringLiteral("historySend"));
    auto *drop = new QPushButton(QStringLiteral("Drop"), this);
    drop->setObjectName(QStringLiteral("historyDrop"));
    outboxButtons->addWidget(send);
    outboxButtons->addWidget(drop);
    outboxButtons->addStretch();
    layout->addLayout(outboxButtons);

    connect(m_code, &QLineEdit::textChanged, this, &HistoryWindow::fillJournal);
    connect(m_byDay, &QCheckBox::toggled, this, &HistoryWindow::fillJournal);
    connect(m_day, &QDateEdit::dateChanged, this, &HistoryWindow::fillJournal);
    connect(m_restore, &QPushButton::clicked, this, &HistoryWindow::restoreSelected);
    connect(send, &QPushButton::clicked, this, &HistoryWindow::sendSelected);
    connect(drop, &QPushButton::clicked, this, &HistoryWindow::dropSelected);
    if (m_sender != nullptr)
        connect(m_sender, &OutboxSender::changed, this, &HistoryWindow::refresh);
    refresh();
}

void HistoryWindow::refresh()
{
    fillJournal();
    fillOutbox();
}

void HistoryWindow::fillJournal()
{
    m_journal->setRowCount(0);
    history::Journal *journal =
        m_state.services.journal != nullptr ? m_state.services.journal->forThisThread() : nullptr;
    if (journal == nullptr)
        return;
    const history::JournalFilter filter{m_code->text().trimmed(),
                                        m_byDay->isChecked() ? m_day->date() : QDate()};
    const QList<history::JournalEntry> entries = journal->entries(filter);
    m_journal->setRowCount(int(entries.size()));
    for (int row = 0; row < entries.size(); ++row) {
        const history::JournalEntry &e = entries.at(row);
        auto *when = cell(localTime(e.when));
        when->setData(kIdRole, e.id);
        if (e.previousKept)
            when->setIcon(thumbnail(journal->previousPicture(e.id).value_or(QByteArray())));
        m_journal->setItem(row, 0, when);
        m_journal->setItem(row, 1, cell(history::actionName(e.action)));
        m_journal->setItem(row, 2, cell(history::kindName(e.kind)));
        m_journal->setItem(row, 3, cell(e.code));
        m_journal->setItem(
            row, 4,
            cell(history::outcomeName(e.outcome) +
                 (e.reason.isEmpty() ? QString() : QStringLiteral(": ") + e.reason)));
        m_journal->setItem(row, 5,
                           cell(e.size < 0 ? QString() : QLocale().formattedDataSize(e.size)));
        m_journal->setItem(row, 6, cell(e.serverPath));
    }
    m_journal->resizeColumnsToContents();
}

void HistoryWindow::fillOutbox()
{
    m_outbox->setRowCount(0);
    history::Outbox *outbox = m_state.services.outbox;
    if (outbox == nullptr)
        return;
    const QList<history::OutboxEntry> entries = outbox->list();
    m_outbox->setRowCount(int(entries.size()));
    for (int row = 0; row < entries.size(); ++row) {
        const history::OutboxEntry &e = entries.at(row);
        auto *first = cell(localTime(e.firstTried));
        first->setData(kIdRole, e.id);
        if (const auto loaded = outbox->load(e.id))
            first->setIcon(thumbnail(loaded->second));
        m_outbox->setItem(row, 0, first);
        m_outbox->setItem(row, 1, cell(e.code));
        m_outbox->setItem(row, 2, cell(QString::number(e.attempts)));
        m_outbox->setItem(row, 3, cell(e.lastReason));
    }
    m_outbox->resizeColumnsToContents();
}

void HistoryWindow::restoreSelected()
{
    runtime::Dialogs &dialogs = *m_state.services.dialogs;
    const int row = m_journal->currentRow();
    history::Journal *journal =
        m_state.services.journal != nullptr ? m_state.services.journal->forThisThread() : nullptr;
    if (row < 0 || journal == nullptr)
        return;
    const qint64 id = m_journal->item(row, 0)->data(kIdRole).toLongLong();
    const QList<history::JournalEntry> all = journal->entries({}, 1 << 30);
    const auto found = std::find_if(all.cbegin(), all.cend(),
                                    [id](const history::JournalEntry &e) { return e.id == id; });
    // Only a copy that reads as a picture is put back (previousPicture checks).
    QString why = QStringLiteral("this record keeps no copy of an earlier picture");
    const std::optional<QByteArray> picture = journal->previousPicture(id, &why);
    if (found == all.cend() || !picture || picture->isEmpty()) {
        dialogs.msgBox(QStringLiteral("Nothing to restore: %1.").arg(why));
        return;
    }
    const history::JournalEntry entry = *found;
    if (server::identityOf(m_state.login) != entry.server) {
        dialogs.msgBox(QStringLiteral("This picture was on another server (%1@%2); restore it with "
                                      "that server's settings.")
                           .arg(entry.server.user, entry.server.address));
        return;
    }
    std::optional<Target> target = server::targetOfRecord(entry, m_state.login);
    if (!target) {
        dialogs.msgBox(QStringLiteral("The code %1 no longer names %2 on the server; nothing was "
                                      "restored.")
                           .arg(entry.code, entry.serverPath));
        return;
    }
    if (dialogs.confirmBox(
            QStringLiteral("Put back on the server the picture of %1 as it was "
                           "before the %2 of %3?")
                .arg(entry.code, history::actionName(entry.action), localTime(entry.when)),
            QStringLiteral("Restore"), runtime::Buttons::OkCancel,
            runtime::Icon::Question) != runtime::kOk)
        return;
    target->cTime = m_state.services.clock->timeOfDay();
    QPointer<HistoryWindow> self(this);
    const QString code = entry.code;
    server::runOnUploadWorker(m_state, [self, target = *target, bytes = *picture, id,
                                        code](ProgramState &worker) {
        // A restore says what it did in a message box, not on the image tab.
        server::QuietDisplay quiet;
        server::PutExtras extras;
        extras.restoredFrom = id;
        const bool ok = server::putPicture(worker, quiet, worker.login, target, bytes, extras);
        runtime::onUiThreadLater([self, ok, code] {
            if (!self)
                return;
            self->m_state.services.dialogs->msgBox(
                ok ? QStringLiteral("The earlier picture of %1 is on the server again.").arg(code)
                   : QStringLiteral("The earlier picture of %1 could not be put back on the "
                                    "server; the journal says why.")
                         .arg(code));
            self->refresh();
        });
    });
}

QString HistoryWindow::selectedOutboxId() const
{
    const int row = m_outbox->currentRow();
    return row < 0 ? QString() : m_outbox->item(row, 0)->data(kIdRole).toString();
}

void HistoryWindow::sendSelected()
{
    const QString id = selectedOutboxId();
    if (!id.isEmpty() && m_sender != nullptr)
        m_sender->sendNow(id);
}

void HistoryWindow::dropSelected()
{
    const QString id = selectedOutboxId();
    if (id.isEmpty() || m_sender == nullptr)
        return;
    if (m_state.services.dialogs->confirmBox(
            QStringLiteral("Drop the waiting photo? It will not be sent to the server."),
            QStringLiteral("Drop"), runtime::Buttons::OkCancel, runtime::Icon::Warning,
            runtime::DefaultButton::Second) == runtime::kOk)
        m_sender->drop(id);
}

} // namespace framla::app
