#include "deletion.h"

#include "core/app_files.h"
#include "existing_image.h"
#include "image_path.h"
#include "put_journal.h"
#include "remote_run.h"
#include "reply.h"
#include "runtime/dialogs.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "runtime/working_files.h"
#include "server/command_lines.h"
#include "target.h"
#include "target_display.h"
#include "upload.h"
#include "write_check.h"

namespace framla::server {

void DelImage(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
              const Target &target)
{
    OperationScope operation(state, state.limits.deleteMs);
    runtime::Dialogs &dialogs = *state.services.dialogs;
    // Waiting for an upload to leave the working files counts against the deletion's own time.
    const runtime::WorkingFilesLock lock(state, state.operation.deadline);
    if (!lock.held()) {
        dialogs.msgBox(QString::fromLatin1(kStillSendingText));
        return;
    }
    const QString targetPath = MAKEFILE(target, login.lIsDOS);
    const QString reply = QString::fromUtf8(readReplyFile(state));

    // A Windows server's path has backslashes: compare with either separator.
    const QString slashed = QString(targetPath).replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (reply.contains(QStringLiteral("images/ssr/")) &&
        !slashed.contains(QStringLiteral("images/ssr/"))) {
        dialogs.msgBox(QString::fromLatin1(kSupplierGuardText));
        return;
    }
    // Nothing typed reaches the server unless it is a plain name, and an
    // empty path would name the database directory itself.
    if (!isSafeRelativePath(targetPath, login.lIsDOS)) {
        dialogs.msgBox(QStringLiteral("Nothing deleted: the code \"%1\" and name \"%2\" name no "
                                      "image file on the server.")
                           .arg(target.cCode, target.cName));
        return;
    }

    display.showCaption(QStringLiteral("Deleting image on server..."));
    if (!Ok2Write(state, QString::fromLatin1(kReplyFile), true, true))
        return;

    const QString remote =
        login.cPath + (login.lIsDOS ? QStringLiteral("\\") : QStringLiteral("/")) + targetPath;
    // The journal keeps the picture as it was just before: a deletion can be undone.
    qint64 journalId = 0;
    if (state.services.journal != nullptr) {
        // Only a plain file is kept: a link there may lead to any file the
        // operator can read, which a restore would then make public.
        const OnServer before = fetchPlainFile(state, login, remote);
        const JournalBegun begun =
            journalBeginPut(state,
                            journalEntry(state, login, history::JournalAction::Delete,
                                         recordKindOf(target), target.cCode, remote),
                            before.plain ? before.data : QByteArray());
        journalId = begun.id;
        // A picture whose copy cannot be kept is deleted only with the operator's yes.
        if (begun.copyMissing &&
            !goAheadUnkept(state, remote,
                           begun.notPicture ? QStringLiteral("it is not a picture") : begun.why,
                           QStringLiteral("Delete"))) {
            journalEnd(state, journalId, history::JournalOutcome::Failed,
                       QStringLiteral("not deleted: the picture could not be kept"));
            return;
        }
    }
    const runtime::ToolCommand remove =
        remoteCommand(login, {QStringLiteral("rm"), QStringLiteral("-f"), remote}, login.lIsDOS);
    const runtime::RunOutcome outcome = runRemote(state, login, remove, runtime::kLookupTimeoutMs);
    journalEnd(state, journalId,
               outcome.succeeded() ? history::JournalOutcome::Ok : history::JournalOutcome::Failed,
               outcome.succeeded() ? QString() : outcome.message);
    if (!outcome.succeeded())
        dialogs.msgBox(QStringLiteral("The image could not be deleted on the server.\r\n") +
                       outcome.message);

    ShowOldImg(state, display, login, target);
    display.showCaption(QStringLiteral("Image as now recorded:"));
}

} // namespace framla::server
