#include "lookup.h"

#include "remote_run.h"
#include "core/app_files.h"
#include "core/normalize.h"
#include "core/program_state.h"
#include "existing_image.h"
#include "reply.h"
#include "runtime/clock.h"
#include "server/command_lines.h"
#include "runtime/dialogs.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "runtime/working_files.h"
#include "target.h"
#include "target_display.h"

#include <QFileInfo>

namespace framla::server {

using runtime::RunOutcome;

namespace {

RunOutcome runBusy(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                   const runtime::ToolCommand &command, int timeoutMs)
{
    display.setBusy(true);
    const RunOutcome outcome = runRemote(state, login, command, timeoutMs);
    display.setBusy(false);
    return outcome;
}

/// A run that cannot get better by trying again at once: the tool is missing,
/// the operator refused the server, or the server did not answer in time.
bool hopeless(const RunOutcome &outcome)
{
    return outcome.status != RunOutcome::Status::Finished;
}

} // namespace

QString requestFailure(const RunOutcome &request)
{
    if (request.succeeded())
        return {};
    if (request.status == RunOutcome::Status::Finished && request.exitCode == 127)
        return QString::fromLatin1(kNoServerProgramText);
    return request.message;
}

bool SHWTXTMSG1(ProgramState &state, TargetDisplay &oXbpShowTxt, const ServerLogin &login,
                const Target &target, const QString &requestFailure)
{
    state.lOk2Put = false;
    oXbpShowTxt.showReply(QStringLiteral("Fetching data from server..."));
    const QString remote =
        login.lIsDOS ? login.cPath + QStringLiteral("\\temp\\") + login.cUser + QStringLiteral("/framla.tmp")
                     : replyDirectory(login) + QStringLiteral("/framla.tmp");
    const runtime::ToolCommand fetch =
        fetchCommand(login, remote, QStringLiteral("."), login.lIsDOS);
    const QString local = appFile(state, kReplyFile);
    // An earlier request's reply must never pass for this one's.
    runtime::eraseFile(local);

    bool tooLarge = false;
    auto readReply = [&] {
        const std::optional<QByteArray> data = readBoundedReply(local);
        tooLarge = !data && QFileInfo(local).size() > kReplyLimit;
        return data.value_or(QByteArray());
    };
    RunOutcome outcome = runBusy(state, oXbpShowTxt, login, fetch, runtime::kLookupTimeoutMs);
    QByteArray reply = readReply();

    // The server program may still be writing: try again after a short,
    // a longer and a long pause. A reply counts only when it carries the
    // token and, where it names one, the request: the code or file name in
    // the target (a second look-up with the same token must not take the
    // first one's reply).
    static constexpr int pauses[] = {10, 100, 200};
    for (int retry = 0; retry < 3 && !replyAnswers(reply, target.cTime, target.cCode) &&
                        !hopeless(outcome) && !tooLarge;
         ++retry) {
        if (retry == 2)
            oXbpShowTxt.showReply(QStringLiteral("Fetching data from server...\r\nRe-trying..."));
        oXbpShowTxt.setBusy(true);
        state.services.clock->sleep(pauses[retry]);
        outcome = runRemote(state, login, fetch, runtime::kLookupTimeoutMs);
        oXbpShowTxt.setBusy(false);
        reply = readReply();
    }

    if (!replyAnswers(reply, target.cTime, target.cCode)) {
        // Whatever an earlier request left must not be taken for this answer.
        runtime::writeWholeFile(local, kNoReply);
        QString text = QString::fromLatin1(kFetchFailedText);
        if (tooLarge)
            text += QStringLiteral("\r\n\r\n") + QString::fromLatin1(kReplyTooLargeText);
        else if (!outcome.succeeded() && !outcome.message.isEmpty())
            text += QStringLiteral("\r\n\r\n") + outcome.message;
        else if (!requestFailure.isEmpty())
            // The fetch worked but found an older reply: the request is why.
            text += QStringLiteral("\r\n\r\n") + requestFailure;
        oXbpShowTxt.showReply(text);
        return false;
    }

    const QString text = replyText(reply);
    state.lOk2Put = okToPut(text);
    oXbpShowTxt.showReply(text);
    oXbpShowTxt.setShowExistingVisible(showExistingFor(target.cCode, text));
    return true;
}

bool PREPTEXT1(ProgramState &state, TargetDisplay &oXbpShowTxt, const ServerLogin &login,
               Target &target)
{
    const runtime::ToolCommand request = remoteCommand(
        login, {QStringLiteral("framaid"), replyDirectory(login), target.cCode, target.cTime},
        false);
    const RunOutcome requested =
        runBusy(state, oXbpShowTxt, login, request, runtime::kLookupTimeoutMs);

    SHWTXTMSG1(state, oXbpShowTxt, login, target, requestFailure(requested));
    ShowOldImg(state, oXbpShowTxt, login, target);

    const QString text = replyText(readReplyFile(state));
    // What the server names goes onto the next command line and into the
    // name field: it passes the same check as a typed code.
    const QString resolved = resolvedCode(text);
    if (target.lInventory && target.cCode.size() > 7 && isSafeName(resolved, login.lIsDOS)) {
        target.cCode = resolved;
        target.cName = resolved;
        return false;
    }
    return true;
}

bool PrepText(ProgramState &state, TargetDisplay &oXbpShowTxt, const ServerLogin &login,
              Target target)
{
    // Nothing typed yet (a name entered before any code, the look-up after a
    // deletion without a code): there is nothing to look up and nothing to say.
    if (target.cCode.trimmed().isEmpty())
        return true;
    runtime::WorkingFilesLock lock(state);
    OperationScope operation(state, state.limits.lookupMs);
    target.cCode = core::NORMALIZE(target.cCode, target.lInventory, target.lOrders);
    // Nothing typed reaches the server unless it is a plain name.
    const bool nameMatters = target.isAccount() && !target.cName.isEmpty();
    if (!isSafeName(target.cCode, login.lIsDOS) ||
        (nameMatters && !isSafeName(target.cName, login.lIsDOS))) {
        const bool badCode = !isSafeName(target.cCode, login.lIsDOS);
        const QString message =
            unsafeNameMessage(badCode ? QStringLiteral("code") : QStringLiteral("image name"),
                              badCode ? target.cCode : target.cName, login.lIsDOS);
        oXbpShowTxt.showReply(message);
        state.services.dialogs->msgBox(message);
        return true;
    }
    // A resolved code is seven characters long and never resolves again, so
    // the look-up runs at most twice.
    for (int pass = 0; pass < 2; ++pass) {
        if (PREPTEXT1(state, oXbpShowTxt, login, target))
            break;
        oXbpShowTxt.showTargetName(target.cName);
        target.cCode = core::NORMALIZE(target.cCode, target.lInventory, target.lOrders);
    }
    return true;
}

} // namespace framla::server
