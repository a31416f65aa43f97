#include "lookup.h"

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
#include "target_display.h"

#include <QDir>

namespace framla::server {

using runtime::RunOutcome;

namespace {

QString appFile(const ProgramState &state, const char *name)
{
    return QDir(state.cAppPath).filePath(QString::fromLatin1(name));
}

RunOutcome runBusy(ProgramState &state, TargetDisplay &display, const runtime::ToolCommand &command,
                   int timeoutMs)
{
    QDir::setCurrent(state.cAppPath);
    display.setBusy(true);
    const RunOutcome outcome = state.services.shell->run(command, timeoutMs);
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

bool SHWTXTMSG1(ProgramState &state, TargetDisplay &oXbpShowTxt, const QString &cAddress,
                const QString &cPort, const QString &cPath, const QString &cUser,
                const QString &cPass, const QString &cCode, const QString &cTime)
{
    state.lOk2Put = false;
    oXbpShowTxt.showReply(QStringLiteral("Fetching data from server..."));
    const ServerLogin login{cAddress, cPort, cUser, cPass, state.lIsDOS};
    const QString remote =
        state.lIsDOS ? cPath + QStringLiteral("\\temp\\") + cUser + QStringLiteral("/framla.tmp")
                     : cPath + QStringLiteral("/jtemp/") + cUser + QStringLiteral("/framla.tmp");
    const runtime::ToolCommand fetch =
        fetchCommand(login, remote, QStringLiteral("."), state.lIsDOS);
    const QString local = appFile(state, kReplyFile);

    RunOutcome outcome = runBusy(state, oXbpShowTxt, fetch, runtime::kLookupTimeoutMs);
    if (!runtime::fileExists(local))
        runtime::writeWholeFile(local, kNoReply);
    QByteArray reply = runtime::readWholeFile(local).value_or(QByteArray());

    // The server program may still be writing: try again after a short,
    // a longer and a long pause.
    static constexpr int pauses[] = {10, 100, 200};
    for (int retry = 0; retry < 3 && !replyMatches(reply, cTime) && !hopeless(outcome); ++retry) {
        if (retry == 2)
            oXbpShowTxt.showReply(QStringLiteral("Fetching data from server...\r\nRe-trying..."));
        oXbpShowTxt.setBusy(true);
        state.services.clock->sleep(pauses[retry]);
        QDir::setCurrent(state.cAppPath);
        outcome = state.services.shell->run(fetch, runtime::kLookupTimeoutMs);
        oXbpShowTxt.setBusy(false);
        reply = runtime::readWholeFile(local).value_or(QByteArray());
    }

    if (!replyMatches(reply, cTime)) {
        // Whatever an earlier request left must not be taken for this answer.
        runtime::writeWholeFile(local, kNoReply);
        QString text = QString::fromLatin1(kFetchFailedText);
        if (!outcome.succeeded() && !outcome.message.isEmpty())
            text += QStringLiteral("\r\n\r\n") + outcome.message;
        oXbpShowTxt.showReply(text);
        return false;
    }

    const QString text = replyText(reply);
    state.lOk2Put = okToPut(text);
    oXbpShowTxt.showReply(text);
    oXbpShowTxt.setShowExistingVisible(showExistingFor(cCode, text));
    return true;
}

bool PREPTEXT1(ProgramState &state, TargetDisplay &oXbpShowTxt, const QString &cAddress,
               const QString &cPort, const QString &cPath, const QString &cUser,
               const QString &cPass, QString &cCode, const QString &cTime, bool lInventory,
               QString &cName)
{
    const ServerLogin login{cAddress, cPort, cUser, cPass, state.lIsDOS};
    const runtime::ToolCommand request = remoteCommand(
        login, {QStringLiteral("framaid"), cPath + QStringLiteral("/jtemp/") + cUser, cCode, cTime},
        false);
    runBusy(state, oXbpShowTxt, request, runtime::kLookupTimeoutMs);

    SHWTXTMSG1(state, oXbpShowTxt, cAddress, cPort, cPath, cUser, cPass, cCode, cTime);
    ShowOldImg(state, oXbpShowTxt, cAddress, cPort, cPath, cUser, cPass, cCode, lInventory, cName);

    const QString text = replyText(readReplyFile(state));
    const QString resolved = resolvedCode(text);
    if (lInventory && cCode.size() > 7 && !resolved.isEmpty()) {
        cCode = resolved;
        cName = cCode;
        return false;
    }
    return true;
}

bool PrepText(ProgramState &state, TargetDisplay &oXbpShowTxt, const QString &cAddress,
              const QString &cPort, const QString &cPath, const QString &cUser,
              const QString &cPass, QString cCode, const QString &cTime, bool lInventory,
              QString cName)
{
    runtime::WorkingFilesLock lock(state);
    cCode = core::NORMALIZE(state, cCode, lInventory);
    // Nothing typed reaches the server unless it is a plain name.
    const bool nameMatters = !lInventory && !state.lOrders && !cName.isEmpty();
    if (!isSafeName(cCode) || (nameMatters && !isSafeName(cName))) {
        const bool badCode = !isSafeName(cCode);
        const QString message = unsafeNameMessage(badCode ? QStringLiteral("code")
                                                                   : QStringLiteral("image name"),
                                                           badCode ? cCode : cName);
        oXbpShowTxt.showReply(message);
        state.services.dialogs->msgBox(message);
        return true;
    }
    // A resolved code is seven characters long and never resolves again, so
    // the look-up runs at most twice.
    for (int pass = 0; pass < 2; ++pass) {
        if (PREPTEXT1(state, oXbpShowTxt, cAddress, cPort, cPath, cUser, cPass, cCode, cTime,
                      lInventory, cName))
            break;
        oXbpShowTxt.showTargetName(cName);
        cCode = core::NORMALIZE(state, cCode, lInventory);
    }
    return true;
}

} // namespace framla::server
