#include "journal_keeper.h"

#include "runtime/logging.h"

#include <QDeadlineTimer>
#include <QThread>

#include <map>

namespace framla::history {

namespace {

/// A thread's connection to one journal directory.
struct ThreadJournal {
    std::unique_ptr<Journal> journal;
    QDeadlineTimer retryAfter{0}; ///< after a failed open, when to try again
};

/// Kept per thread and per directory, and closed when the thread ends.
thread_local std::map<QString, ThreadJournal> tJournals;

constexpr int kReopenPauseMs = 60000;

} // namespace

JournalKeeper::JournalKeeper(const QString &dir, QString *message)
    : m_dir(dir)
    , m_own(std::make_unique<Journal>())
    , m_ownThread(QThread::currentThread())
{
    QString said;
    if (!m_own->open(dir, &said)) {
        qCWarning(runtime::lcFramla).noquote() << "no journal is kept:" << said;
        m_ownRetry = QDeadlineTimer(kReopenPauseMs);
    }
    if (message != nullptr)
        *message = said;
}

JournalKeeper::~JournalKeeper() = default;

Journal *JournalKeeper::forThisThread()
{
    // The keeper's own connection serves only the thread that opened it; one
    // that could not be opened (locked, a full disk) is tried again later.
    if (QThread::currentThread() == m_ownThread) {
        if (!m_own->isOpen() && m_ownRetry.hasExpired()) {
            QString why;
            if (!m_own->open(m_dir, &why))
                m_ownRetry = QDeadlineTimer(kReopenPauseMs);
        }
        return m_own->isOpen() ? m_own.get() : nullptr;
    }
    ThreadJournal &mine = tJournals[m_dir];
    if (mine.journal && mine.journal->isOpen())
        return mine.journal.get();
    if (!mine.retryAfter.hasExpired())
        return nullptr;
    mine.journal = std::make_unique<Journal>();
    QString why;
    if (mine.journal->open(m_dir, &why))
        return mine.journal.get();
    mine.retryAfter = QDeadlineTimer(kReopenPauseMs);
    return nullptr;
}

} // namespace framla::history
