#include "lookup.h"

#include "core/app_files.h"
#include "core/normalize.h"
#include "core/program_state.h"
#include "existing_image.h"
#include "remote_run.h"
#include "reply.h"
#include "runtime/clock.h"
#include "runtime/dialogs.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "runtime/working_files.h"
#include "server/command_lines.h"
#include "server/reachability.h"
#include "target.h"
#include "target_display.h"
#include "upload.h"

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

/// framaid's own line on its standard error ("framaid: ...; no reply is
/// written"), or "".
QString framaidSaid(const QByteArray &standardError)
{
    for (const QByteArray &line : standardError.split('\n')) {
        if (line.startsWith("framaid: "))
            return replyString(line.trimmed());
    }
    return {};
}

} // namespace

RequestRun requestRun(const RunOutcome &request)
{
    RequestRun run;
    run.closed = announcesClosing(request.standardOutput);
    const bool finished = request.status == RunOutcome::Status::Finished;
    // framaid also ends with 2 when it was called wrongly; it wrote no reply then.
    if (finished && (request.exitCode == 0 ||
                     (request.exitCode == 2 && !request.standardError.contains("usage: framaid"))))
        return run;
    if (finished && request.exitCode == 127)
        run.failure = QString::fromLatin1(kNoServerProgramText);
    else if (const QString said = finished ? framaidSaid(request.standardError) : QString();
             !said.isEmpty())
        run.failure = said;
    else if (!request.message.isEmpty())
        run.failure = request.message;
    else
        run.failure = QStringLiteral("plink ended with exit code %1.").arg(request.exitCode);
    return run;
}

ReplyAnswer SHWTXTMSG1(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                       const Target &target, const RequestRun &request)
{
    const QString local = appFile(state, kReplyFile);
    // An earlier request's reply must never pass for this one's.
    runtime::eraseFile(local);
    const auto noReply = [&](const QString &why) {
        // Whatever an earlier request left must not be taken for this answer.
        runtime::writeWholeFile(local, kNoReply);
        QString text = QString::fromLatin1(kFetchFailedText);
        if (!why.isEmpty())
            text += QStringLiteral("\r\n\r\n") + why;
        display.showReply(text);
        return ReplyAnswer{};
    };
    // framaid writes only into a reply directory of the operator's own; when
    // it did not end well, what lies there may be another account's.
    if (!request.failure.isEmpty())
        return noReply(request.failure);

    display.showReply(QStringLiteral("Fetching data from server..."));
    const QString remote = login.lIsDOS ? login.cPath + QStringLiteral("\\temp\\") + login.cUser +
                                              QStringLiteral("/framla.tmp")
                                        : replyDirectory(login) + QStringLiteral("/framla.tmp");
    const runtime::ToolCommand fetch =
        fetchCommand(login, remote, QStringLiteral("."), login.lIsDOS);

    bool tooLarge = false;
    RunOutcome outcome;
    // What a copy that failed left behind may be any part of the file.
    auto readReply = [&] {
        tooLarge = false;
        if (!outcome.succeeded()) {
            runtime::eraseFile(local);
            return QByteArray();
        }
        const std::optional<QByteArray> data = readBoundedReply(local);
        tooLarge = !data && QFileInfo(local).size() > kReplyLimit;
        return data.value_or(QByteArray());
    };
    const auto answers = [&](const QByteArray &reply) {
        return replyAnswers(reply, target.cTime, target.cCode, request.closed);
    };
    outcome = runBusy(state, display, login, fetch, runtime::kLookupTimeoutMs);
    QByteArray reply = readReply();

    // The server program may still be writing, or the copy lost the reply's
    // end: try again after a short, a longer and a long pause. A reply
    // counts only when it carries the token and, where it names one, the
    // request: the code or file name in the target (a second look-up with
    // the same token must not take the first one's reply).
    static constexpr int pauses[] = {10, 100, 200};
    for (int retry = 0; retry < 3 && !answers(reply) && !hopeless(outcome) && !tooLarge; ++retry) {
        if (retry == 2)
            display.showReply(QStringLiteral("Fetching data from server...\r\nRe-trying..."));
        display.setBusy(true);
        state.services.clock->sleep(pauses[retry]);
        outcome = runRemote(state, login, fetch, runtime::kLookupTimeoutMs);
        display.setBusy(false);
        reply = readReply();
    }

    if (!answers(reply)) {
        if (tooLarge)
            return noReply(QString::fromLatin1(kReplyTooLargeText));
        if (!outcome.succeeded() && !outcome.message.isEmpty())
            return noReply(outcome.message);
        // The answer is there but for its end.
        if (replyAnswers(reply, target.cTime, target.cCode))
            return noReply(QString::fromLatin1(kReplyCutText));
        return noReply({});
    }

    const QString text = replyText(reply);
    display.showReply(text);
    display.setShowExistingVisible(showExistingFor(target.cCode, text));
    return {true, okToPut(text), text};
}

LookupResult PREPTEXT1(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                       const Target &target)
{
    // The picture the code names does not wait for the server program: it
    // is fetched beside the request and the reply fetch, the longest stretch
    // it can run beside (framaid never changes a picture). It is shown only
    // when a reply that answers this request names no other picture; after
    // a reply that did not come, the picture is fetched once more as before.
    PictureAhead ahead(state, login, target);
    const runtime::ToolCommand request = requestCommand(login, target.cCode, target.cTime);
    const RunOutcome requested = runBusy(state, display, login, request, runtime::kLookupTimeoutMs);

    const ReplyAnswer answer = SHWTXTMSG1(state, display, login, target, requestRun(requested));
    ShowOldImg(state, display, login, target, answer.answered ? &ahead : nullptr);

    LookupResult found;
    found.ok2Put = answer.ok2Put;
    found.unreachable = !answer.answered && server::serverUnreachable(requested);
    // What the server names goes onto the next command line and into the
    // name field: it passes the same check as a typed code, and enters in
    // canonical form as a typed code does.
    const QString resolved = resolvedCode(answer.text);
    if (target.lInventory && target.cCode.size() > 7 && isSafeName(resolved, login.lIsDOS))
        found.resolvedCode = core::NORMALIZE(resolved, true, false);
    return found;
}

LookupResult PrepText(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                      Target target)
{
    // Nothing typed yet (a name entered before any code, the look-up after a
    // deletion without a code): there is nothing to look up and nothing to say.
    if (target.cCode.trimmed().isEmpty())
        return {};
    // Waiting for an upload to leave the working files counts against the look-up's own time.
    OperationScope operation(state, state.limits.lookupMs);
    const runtime::WorkingFilesLock lock(state, state.operation.deadline);
    if (!lock.held()) {
        display.showReply(QString::fromLatin1(kStillSendingText));
        return {false, {}};
    }
    // Nothing typed reaches the server unless it is a plain name.
    const bool nameMatters = target.isAccount() && !target.cName.isEmpty();
    if (!isSafeName(target.cCode, login.lIsDOS) ||
        (nameMatters && !isSafeName(target.cName, login.lIsDOS))) {
        const bool badCode = !isSafeName(target.cCode, login.lIsDOS);
        const QString message =
            unsafeNameMessage(badCode ? QStringLiteral("code") : QStringLiteral("image name"),
                              badCode ? target.cCode : target.cName, login.lIsDOS);
        display.showReply(message);
        state.services.dialogs->msgBox(message);
        return {};
    }
    // A resolved code is seven characters long and never resolves again, so
    // the look-up runs at most twice.
    LookupResult result;
    for (int pass = 0; pass < 2; ++pass) {
        const LookupResult found = PREPTEXT1(state, display, login, target);
        result.ok2Put = found.ok2Put;
        result.unreachable = found.unreachable;
        if (found.resolvedCode.isEmpty())
            break;
        result.resolvedCode = found.resolvedCode;
        target.cCode = found.resolvedCode;
        target.cName = found.resolvedCode;
        display.showTargetName(found.resolvedCode);
    }
    return result;
}

} // namespace framla::server
