#include "channel.h"

#include "server/reachability.h"

#include "runtime/dialogs.h"
#include "runtime/logging.h"
#include "runtime/shell.h"
#include "server/command_lines.h"
#include "server/remote_run.h"

namespace framla::batch {

Channel::Channel(const ProgramState &program, const ServerLogin &login, const QString &directory,
                 const runtime::ProcessShell &link)
{
    // The program's services (dialogs, clock, the journal of what a put
    // replaces), but a runner and working files of the channel's own, and no
    // upload worker: the channel puts on its own thread.
    m_state.services = program.services;
    m_state.services.uploads = nullptr;
    // What a batch could not put is in its report, and a rerun files it.
    m_state.services.outbox = nullptr;
    // The channel's working files are its own: it waits for no other channel.
    m_state.services.workingFiles = std::make_shared<std::recursive_mutex>();
    m_state.limits = program.limits;
    m_state.cAppPath = directory;
    m_state.login = login;
    m_shell =
        std::make_unique<runtime::ProcessShell>(directory, program.services.dialogs.get(), link);
    m_state.services.shell = m_shell.get();
    server::followRunningSettings(m_state);
}

Channel::~Channel() = default;

Target Channel::targetFor(const NamedCode &named, core::Mode mode, const QString &size)
{
    Target target;
    target.cCode = named.code;
    target.cName = named.name;
    target.lInventory = mode == core::Mode::Inventory;
    target.lOrders = mode == core::Mode::Repairs;
    // A token per request: a reply is never taken for the one before it.
    target.cTime = QStringLiteral("batch-%1").arg(++m_requests);
    if (!size.isEmpty())
        target.cSize = size;
    return target;
}

void Channel::makeReplyDirectory()
{
    if (m_state.login.replyTag.isEmpty() || m_state.login.lIsDOS)
        return;
    // The put's own check refuses a directory that is not the account's
    // alone, so one another account made first is never written in.
    server::runRemote(
        m_state, m_state.login,
        server::remoteCommand(m_state.login,
                              {QStringLiteral("mkdir"), QStringLiteral("-m"), QStringLiteral("700"),
                               server::replyDirectory(m_state.login)},
                              false),
        runtime::kLookupTimeoutMs);
}

void Channel::removeReplyDirectory()
{
    if (m_state.login.replyTag.isEmpty() || m_state.login.lIsDOS)
        return;
    const runtime::RunOutcome removed =
        server::runRemote(m_state, m_state.login,
                          server::remoteCommand(m_state.login,
                                                {QStringLiteral("rm"), QStringLiteral("-rf"),
                                                 server::replyDirectory(m_state.login)},
                                                false),
                          runtime::kLookupTimeoutMs);
    if (!removed.succeeded())
        qCWarning(runtime::lcFramla).noquote()
            << "the batch reply directory" << server::replyDirectory(m_state.login)
            << "could not be removed:" << removed.message;
}

bool Channel::removeStaleBatchDirectories()
{
    if (m_state.login.lIsDOS)
        return true;
    const runtime::RunOutcome removed = server::runRemote(
        m_state, m_state.login, server::staleBatchDirectoriesCommand(m_state.login),
        runtime::kLookupTimeoutMs);
    if (!removed.succeeded())
        qCWarning(runtime::lcFramla).noquote()
            << "stale batch directories could not be removed:" << removed.message;
    return !server::serverUnreachable(removed);
}

} // namespace framla::batch
