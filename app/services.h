#pragma once

// The services a run of the program keeps in its working directory, made in
// one place for the window and for framla --folder alike: the tool runner
// (which runs no PuTTY too old for the program), the journal of every put,
// replace and delete with the copy of the picture it replaced, the outbox,
// and the upload worker.

#include <QString>

#include <memory>

namespace framla {
struct ProgramState;
}
namespace framla::runtime {
class Dialogs;
class ProcessShell;
class PuttyCheckedShell;
} // namespace framla::runtime
namespace framla::history {
class JournalKeeper;
class Outbox;
} // namespace framla::history
namespace framla::server {
class UploadQueue;
}

namespace framla::app {

class ProgramServices {
public:
    /// Makes the services of state's working directory (state.cAppPath, as
    /// start-up set it), with dialogs for the tools' questions, and puts them
    /// in state.services; the journal's copies are pruned to their limit.
    /// Filing goes on without a journal or an outbox that cannot be kept.
    ProgramServices(ProgramState &state, runtime::Dialogs *dialogs);
    /// Waits for the uploads still queued first: they use the others.
    ~ProgramServices();
    ProgramServices(const ProgramServices &) = delete;
    ProgramServices &operator=(const ProgramServices &) = delete;

    /// The runner whose shared connection a batch's channels use.
    runtime::ProcessShell *runner() const { return m_shell.get(); }
    history::JournalKeeper *journal() const { return m_journal.get(); }
    /// Why PuTTY cannot be used, or "".
    QString puttyProblem() const;
    /// What opening the journal said (a damaged one set aside, or none can be
    /// kept), or "".
    QString journalMessage() const { return m_journalMessage; }

private:
    // In this order, so that the uploads go first and the runner last.
    std::unique_ptr<runtime::ProcessShell> m_shell;
    std::unique_ptr<runtime::PuttyCheckedShell> m_puttyChecked; // what the services use
    std::unique_ptr<history::JournalKeeper> m_journal;
    std::unique_ptr<history::Outbox> m_outbox;
    std::unique_ptr<server::UploadQueue> m_uploads;
    QString m_journalMessage;
};

} // namespace framla::app
