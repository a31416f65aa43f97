#pragma once

// The program's journal, as the routines reach it: one Journal per thread
// (SQLite connections are not shared between threads), all on the journal
// of one working directory. The program makes one keeper and puts it in the
// state's services; without one, nothing is journalled.

#include "core/program_state.h"
#include "journal.h"
#include "outbox.h"

#include <QDeadlineTimer>
#include <QString>

#include <memory>

class QThread;

namespace framla::history {

class JournalKeeper {
public:
    /// The journal of dir, opened on the calling thread at once: *message
    /// says when a damaged file was set aside or no journal can be kept.
    explicit JournalKeeper(const QString &dir, QString *message = nullptr);
    ~JournalKeeper();
    JournalKeeper(const JournalKeeper &) = delete;
    JournalKeeper &operator=(const JournalKeeper &) = delete;

    QString directory() const { return m_dir; }

    /// The calling thread's connection to the journal, opened on first use;
    /// null when it cannot be opened (tried again a minute later at most).
    Journal *forThisThread();

private:
    QString m_dir;
    std::unique_ptr<Journal> m_own; ///< the connection of the thread that made the keeper
    QThread *m_ownThread = nullptr;
    QDeadlineTimer m_ownRetry{0}; ///< after a failed open, when to try again
};

} // namespace framla::history

namespace framla {
/// history::JournalKeeper fills the program state's JournalService slot.
template<> struct ServiceType<JournalService> {
    using type = history::JournalKeeper;
};
/// history::Outbox fills the program state's OutboxService slot.
template<> struct ServiceType<OutboxService> {
    using type = history::Outbox;
};
} // namespace framla
