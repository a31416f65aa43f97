#include "put_journal.h"

#include "command_lines.h"
#include "core/app_files.h"
#include "core/codes.h"
#include "core/program_state.h"
#include "core/value.h"
#include "history/journal_keeper.h"
#include "history/outbox.h"
#include "image_path.h"
#include "remote_run.h"
#include "runtime/dialogs.h"
#include "runtime/files.h"
#include "runtime/logging.h"
#include "server/reachability.h"
#include "target.h"

#include <QFileInfo>
#include <QTemporaryFile>

namespace framla::server {

history::RecordKind recordKindOf(const Target &target)
{
    if (target.lInventory)
        return history::RecordKind::Inventory;
    if (target.lOrders)
        return history::RecordKind::Order;
    return core::isCustomerAccount(core::VAL(target.cCode)) ? history::RecordKind::Customer
                                                            : history::RecordKind::Supplier;
}

history::ServerIdentity identityOf(const ServerLogin &login)
{
    return {login.cAddress, login.cPort, login.cUser, login.cPath};
}

QString settingsStem(const ProgramState &state)
{
    return QFileInfo(state.cCfgFileNm).completeBaseName();
}

history::JournalEntry journalEntry(const ProgramState &state, const ServerLogin &login,
                                   history::JournalAction action, history::RecordKind kind,
                                   const QString &code, const QString &serverPath)
{
    history::JournalEntry entry;
    entry.settingsFile = settingsStem(state);
    entry.server = identityOf(login);
    entry.action = action;
    entry.kind = kind;
    entry.code = code;
    entry.serverPath = serverPath;
    return entry;
}

JournalBegun journalBeginPut(ProgramState &state, const history::JournalEntry &entry,
                             const QByteArray &previous, const QString &outboxId)
{
    JournalBegun begun;
    if (state.services.journal == nullptr)
        return begun;
    history::Journal *journal = state.services.journal->forThisThread();
    if (journal == nullptr) {
        begun.copyMissing = !previous.isEmpty();
        begun.why = QStringLiteral("the journal cannot be opened");
        qCWarning(runtime::lcFramla).noquote() << "journal:" << entry.serverPath << begun.why;
        return begun;
    }
    history::Outbox *outbox = state.services.outbox;
    const std::optional<history::OutboxEntry> waiting =
        outbox != nullptr && !outboxId.isEmpty() ? outbox->entry(outboxId) : std::nullopt;
    history::CopyFate fate = history::CopyFate::None;
    begun.id = waiting ? journal->reuse(waiting->journalId, entry, previous, &begun.why, &fate)
                       : journal->record(entry, previous, &begun.why, &fate);
    if (waiting && begun.id != 0 && begun.id != waiting->journalId)
        outbox->setJournalId(outboxId, begun.id);
    begun.copyKept = fate == history::CopyFate::Kept;
    begun.notPicture = fate == history::CopyFate::NotPicture;
    begun.copyMissing = fate == history::CopyFate::NotPicture || fate == history::CopyFate::NotKept;
    if (!begun.why.isEmpty())
        qCWarning(runtime::lcFramla).noquote() << "journal:" << entry.serverPath << begun.why;
    return begun;
}

qint64 journalBegin(ProgramState &state, const history::JournalEntry &entry,
                    const QByteArray &previous)
{
    return journalBeginPut(state, entry, previous).id;
}

bool goAheadUnkept(ProgramState &state, const QString &remote, const QString &why,
                   const QString &verb)
{
    return state.services.dialogs != nullptr &&
           state.services.dialogs->confirmBox(
               QStringLiteral("The picture on file at %1 cannot be kept (%2), so it could not be "
                              "restored later.\r\n%3 it anyway?")
                   .arg(remote, why, verb),
               QStringLiteral("Confirm %1:").arg(verb.toLower()), runtime::Buttons::YesNo,
               runtime::Icon::Warning, runtime::DefaultButton::Second) == runtime::kYes;
}

void journalEnd(ProgramState &state, qint64 id, history::JournalOutcome outcome,
                const QString &reason)
{
    if (id == 0 || state.services.journal == nullptr)
        return;
    if (history::Journal *journal = state.services.journal->forThisThread())
        journal->setOutcome(id, outcome, reason);
}

Fetched fetchPicture(ProgramState &state, const ServerLogin &login, const QString &remote,
                     bool windowsFlavour)
{
    Fetched fetched;
    QTemporaryFile file(appFile(state, QStringLiteral("verify-XXXXXX.jpg")));
    if (!file.open()) {
        fetched.message = QStringLiteral("no file for the fetch could be made");
        return fetched;
    }
    const QString name = QFileInfo(file.fileName()).fileName();
    file.close();
    QFile::remove(file.fileName());
    const runtime::RunOutcome run = runRemote(
        state, login, fetchCommand(login, remote, name, windowsFlavour), runtime::kCopyTimeoutMs);
    fetched.reached =
        !server::serverUnreachable(run) && run.status != runtime::RunOutcome::Status::NotStarted;
    fetched.message = run.message;
    if (run.succeeded())
        fetched.data = runtime::readWholeFile(appFile(state, name)).value_or(QByteArray());
    QFile::remove(appFile(state, name));
    return fetched;
}

std::optional<Target> targetOfRecord(const history::JournalEntry &entry, const ServerLogin &login)
{
    Target target;
    target.cCode = entry.code;
    target.lInventory = entry.kind == history::RecordKind::Inventory;
    target.lOrders = entry.kind == history::RecordKind::Order;
    const auto slashed = [](QString path) {
        return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    };
    // The name is the code, or for an account the file's own name.
    for (const QString &name :
         {entry.code, QFileInfo(slashed(entry.serverPath)).completeBaseName()}) {
        target.cName = name;
        const QString path = MAKEFILE(target, false);
        if (!path.isEmpty() &&
            slashed(login.cPath + QLatin1Char('/') + path) == slashed(entry.serverPath))
            return target;
    }
    return std::nullopt;
}

Target targetOfEntry(const history::OutboxEntry &entry, const QString &token)
{
    Target target;
    target.cCode = entry.code;
    target.cName = entry.name;
    target.lInventory = entry.kind == history::RecordKind::Inventory;
    target.lOrders = entry.kind == history::RecordKind::Order;
    target.cTime = token;
    target.cSize = entry.size;
    return target;
}

QString remotePathOf(const Target &target, const ServerLogin &login)
{
    const QString path = MAKEFILE(target, login.lIsDOS);
    // Uploads always name the remote file with "/", whatever the server.
    return path.isEmpty() ? QString() : login.cPath + QLatin1Char('/') + path;
}

} // namespace framla::server
