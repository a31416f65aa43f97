#include "services.h"

#include "core/program_state.h"
#include "history/journal_keeper.h"
#include "runtime/putty_version.h"
#include "runtime/shell.h"
#include "server/upload.h"

namespace framla::app {

ProgramServices::ProgramServices(ProgramState &state, runtime::Dialogs *dialogs)
{
    m_journal = std::make_unique<history::JournalKeeper>(state.cAppPath, &m_journalMessage);
    state.services.journal = m_journal.get();
    if (history::Journal *journal = m_journal->forThisThread())
        journal->prune(history::kDefaultCopyLimit);
    m_outbox = std::make_unique<history::Outbox>(state.cAppPath);
    state.services.outbox = m_outbox.get();
    m_shell = std::make_unique<runtime::ProcessShell>(state.cAppPath, dialogs);
    // A PuTTY too old for the program runs nothing on the server.
    m_puttyChecked = std::make_unique<runtime::PuttyCheckedShell>(*m_shell);
    state.services.shell = m_puttyChecked.get();
    m_uploads = std::make_unique<server::UploadQueue>();
    state.services.uploads = m_uploads.get();
}

ProgramServices::~ProgramServices() = default;

QString ProgramServices::puttyProblem() const
{
    return m_puttyChecked->problem();
}

} // namespace framla::app
