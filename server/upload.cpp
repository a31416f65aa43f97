#include "upload.h"

#include "core/app_files.h"
#include "core/program_state.h"
#include "existing_image.h"
#include "history/journal_keeper.h"
#include "image_path.h"
#include "lookup.h"
#include "posting_display.h"
#include "put_journal.h"
#include "remote_run.h"
#include "reply.h"
#include "runtime/dialogs.h"
#include "runtime/files.h"
#include "runtime/guarded.h"
#include "runtime/logging.h"
#include "runtime/shell.h"
#include "runtime/threads.h"
#include "runtime/working_files.h"
#include "server/command_lines.h"
#include "server/reachability.h"
#include "target.h"
#include "target_display.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace framla::server {

using runtime::RunOutcome;
using runtime::ToolCommand;

UploadQueue::UploadQueue() = default;

UploadQueue::~UploadQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

void UploadQueue::enqueue(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
        // The worker starts with the first upload: a run without one costs nothing.
        if (!m_worker.joinable())
            m_worker = std::thread([this] { work(); });
    }
    m_changed.notify_all();
}

bool UploadQueue::waitForIdle(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_jobs.empty() && !m_running; });
}

int UploadQueue::abandon(int timeoutMs)
{
    int notSent = 0;
    {
        std::lock_guard lock(m_mutex);
        notSent = int(m_jobs.size());
        m_jobs.clear();
    }
    // The upload under way may ask the operator something (a host key)
    // through the UI thread: keep answering while it ends.
    const QDeadlineTimer deadline(timeoutMs);
    while (!waitForIdle(10)) {
        if (deadline.hasExpired())
            return notSent + 1;
        if (runtime::onUiThread())
            QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return notSent;
}

bool endUploads(ProgramState &state, int waitMs)
{
    if (state.services.uploads == nullptr)
        return true;
    const int notSent = state.services.uploads->abandon(waitMs);
    if (notSent == 0)
        return true;
    const QString message =
        notSent == 1
            ? QStringLiteral("1 picture was not sent to the server: the program was closed before "
                             "it could be sent.")
            : QStringLiteral("%1 pictures were not sent to the server: the program was closed "
                             "before they could be sent.")
                  .arg(notSent);
    qCWarning(runtime::lcFramla).noquote() << message;
    if (state.services.dialogs != nullptr)
        state.services.dialogs->msgBox(message);
    return state.services.uploads->waitForIdle(0);
}

void UploadQueue::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        // Uploads still queued when the program ends are finished first.
        m_changed.wait(lock, [this] { return m_ending || !m_jobs.empty(); });
        if (m_jobs.empty())
            return;
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_running = true;
        lock.unlock();
        job();
        lock.lock();
        m_running = false;
        m_changed.notify_all();
    }
}

int uploadEdge(const QString &cSize)
{
    if (cSize == QStringLiteral("S"))
        return 160;
    if (cSize == QStringLiteral("L"))
        return 640;
    return 320;
}

namespace {

/// A copy of the prepared picture that only this upload uses, in the
/// program's directory; "" when none could be made.
QString privateCopy(const ProgramState &state)
{
    QTemporaryFile copy(appFile(state, QStringLiteral("upload-XXXXXX.jpg")));
    copy.setAutoRemove(false);
    if (!copy.open())
        return {};
    const auto data = runtime::readWholeFile(appFile(state, kPreviewFile));
    if (!data || data->isEmpty() || copy.write(*data) != data->size()) {
        copy.remove();
        return {};
    }
    return QFileInfo(copy.fileName()).fileName();
}

/// Removes the working copies of puts and checks that were cut off (the
/// program killed half-way) from the program's directory. Only while none of
/// this program's uploads is queued or under way: then none of them is in use.
void removeStaleCopies(const ProgramState &state)
{
    if (state.services.uploads != nullptr && !state.services.uploads->waitForIdle(0))
        return;
    const QDir dir(state.cAppPath);
    const QStringList stale = dir.entryList(
        {QStringLiteral("upload-??????.jpg"), QStringLiteral("verify-??????.jpg")}, QDir::Files);
    for (const QString &name : stale)
        QFile::remove(dir.filePath(name));
}

/// Fetch the target as it now lies on the server into a file of its own.
QByteArray fetchBack(ProgramState &state, const ServerLogin &login, const QString &remote)
{
    QTemporaryFile check(appFile(state, QStringLiteral("verify-XXXXXX.jpg")));
    if (!check.open())
        return {};
    const QString name = QFileInfo(check.fileName()).fileName();
    check.close();
    QFile::remove(check.fileName());
    runRemote(state, login, fetchCommand(login, remote, name, false), runtime::kCopyTimeoutMs);
    const QByteArray data = runtime::readWholeFile(appFile(state, name)).value_or(QByteArray());
    QFile::remove(appFile(state, name));
    return data;
}

/// Everything one upload works from, taken when it is queued: nothing the
/// operator does afterwards changes what is sent or where it goes.
struct UploadJob {
    ServerLogin login;
    Target target;
    QString copy; ///< the upload's own copy of the picture, in the program's directory
    QString appPath;
    Services services;
    OperationLimits limits;
    PutExtras extras;
    QString cfgFileNm;
};

/// Runs one upload on the calling thread with a program state of its own;
/// returns whether the target may now receive a picture.
bool runUpload(const UploadJob &job, TargetDisplay &display)
{
    ProgramState worker;
    worker.services = job.services;
    worker.cAppPath = job.appPath;
    worker.limits = job.limits;
    worker.cCfgFileNm = job.cfgFileNm;
    // The job's login, so that its password is masked in the worker's error texts too.
    worker.login = job.login;
    runtime::runRecoverable(
        worker, [&] { PutFile1(worker, display, job.login, job.target, job.copy, job.extras); });
    QFile::remove(appFile(worker, job.copy));
    return worker.lOk2Put;
}

} // namespace

bool PutFile(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
             const Target &target, const PutExtras &extras)
{
    runtime::Dialogs &dialogs = *state.services.dialogs;
    if (target.isAccount() && !isSafeName(target.cName)) {
        dialogs.msgBox(unsafeNameMessage(QStringLiteral("image name"), target.cName));
        return true;
    }
    const QString targetPath = MAKEFILE(target, login.lIsDOS);
    if (targetPath.isEmpty()) {
        dialogs.msgBox(QStringLiteral("Not put: the code \"%1\" names no image file on the server.")
                           .arg(target.cCode));
        return true;
    }
    if (!isSafeRelativePath(targetPath)) {
        dialogs.msgBox(unsafeNameMessage(QStringLiteral("code"), target.cCode));
        return true;
    }
    QString copy;
    {
        // The picture is taken while no upload or look-up is using the file.
        const runtime::WorkingFilesLock lock(state, QDeadlineTimer(state.limits.lookupMs));
        if (!lock.held()) {
            dialogs.msgBox(QString::fromLatin1(kStillSendingText));
            return true;
        }
        removeStaleCopies(state);
        copy = privateCopy(state);
    }
    if (copy.isEmpty()) {
        dialogs.msgBox(QStringLiteral("Not put: there is no prepared image to send."));
        return true;
    }
    const UploadJob job{login,          target,       copy,   state.cAppPath,
                        state.services, state.limits, extras, state.cCfgFileNm};
    ProgramState *live = &state;
    TargetDisplay *uiDisplay = &display;
    auto run = [job, live, uiDisplay] {
        PostingDisplay posted(*uiDisplay);
        const bool ok2Put = runUpload(job, posted);
        runtime::onUiThreadLater([live, ok2Put] { live->lOk2Put = ok2Put; });
    };
    if (state.services.uploads != nullptr)
        state.services.uploads->enqueue(run);
    else
        run();
    return true;
}

namespace {

/// Removes the upload's temporary file from the server. It runs even when the
/// operation's time is up, with a short time of its own: a file left behind
/// would stay on the server for good. After a refused host key nothing was
/// sent, and the gate runs nothing more.
void removeTemporary(ProgramState &state, const ServerLogin &login, const QString &temporary)
{
    if (state.operation.deadline.hasExpired())
        state.operation.deadline = QDeadlineTimer(kCleanupTimeoutMs);
    const RunOutcome removed = runRemote(
        state, login,
        remoteCommand(login, {QStringLiteral("rm"), QStringLiteral("-f"), temporary}, false),
        kCleanupTimeoutMs);
    if (!removed.succeeded())
        qCWarning(runtime::lcFramla).noquote()
            << "the temporary file" << temporary << "could not be removed:" << removed.message;
}

/// What the copy left: a failure that keeps the picture out, and a warning
/// that does not.
struct Placed {
    QString failure;
    QString warning;
    /// The failure came from a server that could not be reached or a
    /// connection that dropped: the same put may succeed later.
    bool unreachable = false;
    /// The server's placing step left the target alone on purpose.
    PlaceRefusal refusal = PlaceRefusal::None;
};

/// Copies localFile to a name of its own, fetches it back and compares it
/// byte for byte with sent, and only then puts it over the target in one
/// rename, readable for everyone. The picture on the server is replaced whole
/// or not at all; after a failure the copy is removed again.
///
/// On a Unix server the copy goes to the user's reply directory, which only
/// the user can write, and the mode is set and the rename made there
/// (placeCommand): the images directories may be writable by the whole shop's
/// group, and a link another account plants there is never written through.
/// A Windows server has no such directory the program can rely on, no mv -T
/// and no links an ordinary account may make: there the copy lies beside the
/// target, under the target's name and ".part".
Placed placeOnServer(ProgramState &state, const ServerLogin &login, const QString &localFile,
                     const QByteArray &sent, const QString &remote, const QString &expect)
{
    Placed placed;
    const bool beside = login.lIsDOS;
    const QString stagedName = beside ? QString() : stagingName(QStringLiteral(".jpg"));
    const QString temporary = beside ? remote + QLatin1String(kTemporarySuffix)
                                     : replyDirectory(login) + QLatin1Char('/') + stagedName;
    const RunOutcome copied = runRemote(
        state, login, sendCommand(login, localFile, temporary, false), runtime::kCopyTimeoutMs);
    if (!copied.succeeded()) {
        placed.failure = QStringLiteral("The copy to the server failed: ") + copied.message;
        placed.unreachable = server::serverUnreachable(copied);
        // A copy that started may have left part of the file.
        if (copied.status != RunOutcome::Status::NotStarted)
            removeTemporary(state, login, temporary);
        return placed;
    }
    const QString unreadable =
        QStringLiteral("The image could not be made readable for everyone: ");
    if (beside) {
        // Servers without Unix file modes (Windows) refuse this; the picture
        // is still checked and put in place.
        const RunOutcome mode = runRemote(
            state, login,
            remoteCommand(login, {QStringLiteral("chmod"), QStringLiteral("644"), temporary},
                          false),
            runtime::kLookupTimeoutMs);
        if (!mode.succeeded())
            placed.warning = unreadable + mode.message;
    }
    const Fetched arrivedRun = fetchPicture(state, login, temporary);
    const QByteArray &arrived = arrivedRun.data;
    if (arrived.isEmpty()) {
        placed.failure = QStringLiteral("The copy could not be fetched back from the server to "
                                        "check it.");
        placed.unreachable = !arrivedRun.reached;
    } else if (arrived != sent)
        placed.failure = QStringLiteral("The image fetched back from the server differs from the "
                                        "one sent.");
    if (placed.failure.isEmpty()) {
        const ToolCommand place =
            beside ? remoteCommand(login,
                                   {QStringLiteral("mv"), QStringLiteral("-f"), temporary, remote},
                                   false)
                   : placeCommand(login, stagedName, QStringLiteral("644"), remote, expect);
        const RunOutcome moved = runRemote(state, login, place, runtime::kLookupTimeoutMs);
        const QString modeProblem = beside ? QString() : modeNotSet(moved);
        placed.refusal = beside ? PlaceRefusal::None : placeRefusal(moved);
        if (!modeProblem.isEmpty())
            placed.warning = unreadable + modeProblem;
        else if (placed.refusal == PlaceRefusal::Taken)
            placed.failure =
                QStringLiteral("A picture was put at %1 meanwhile, so it was left as it is.")
                    .arg(remote);
        else if (placed.refusal == PlaceRefusal::Changed)
            placed.failure =
                QStringLiteral("The picture on file at %1 changed meanwhile, so it was not "
                               "replaced.")
                    .arg(remote);
        else if (placed.refusal == PlaceRefusal::OutsideDatabase)
            placed.failure = QStringLiteral("The picture's folder on the server is not in the "
                                            "database directory (a link leads elsewhere), so "
                                            "nothing was put there.");
        else if (!moved.succeeded()) {
            placed.failure = QStringLiteral("The image was copied, but it could not be put in "
                                            "place: ") +
                             moved.message;
            placed.unreachable = server::serverUnreachable(moved);
        }
    }
    if (!placed.warning.isEmpty())
        qCWarning(runtime::lcFramla).noquote() << placed.warning;
    if (!placed.failure.isEmpty())
        removeTemporary(state, login, temporary);
    return placed;
}

} // namespace

namespace {

/// What a put knows of the picture at its target before it places its own,
/// and what the placing step must find there.
struct Prior {
    qint64 journalId = 0;
    /// The picture there (empty: none); unknown when it was not asked for.
    std::optional<QByteArray> previous;
    bool replaces = false; ///< something is there that the put will replace
    QString expect;        ///< what the placing step requires at the target
    QString refusal;       ///< why the put must not go ahead; "" when it may
    /// Why what is at the target could not be fetched (the put does not go
    /// ahead either: it would replace a picture without keeping it).
    QString unfetched;
    bool unreachable = false; ///< ... because the server or the line was down
};

/// Settles what the put may replace and records the put (pending) in the
/// journal with the copy of what it replaces: the picture the caller knew,
/// else the plain file fetched now (only while a journal is kept). A
/// replace whose copy cannot be kept goes ahead only with the operator's yes.
Prior priorOf(ProgramState &state, const ServerLogin &login, const Target &target,
              const QString &remote, const QByteArray &sent, const PutExtras &extras, bool again)
{
    Prior prior;
    const bool keeping = state.services.journal != nullptr;
    bool plain = true;
    if (extras.previous && !again && !extras.replaceAny) {
        prior.previous = extras.previous;
    } else if (keeping) {
        const OnServer before = fetchPlainFile(state, login, remote);
        // The put is still journalled, and may wait in the outbox.
        if (!before.reached) {
            prior.unfetched = QStringLiteral("What the server holds at %1 could not be fetched: %2")
                                  .arg(remote, before.message);
            prior.unreachable = before.unreachable;
        } else {
            prior.previous = before.data;
        }
        plain = before.plain;
    }
    prior.replaces = !plain || (prior.previous && !prior.previous->isEmpty());
    if (!prior.previous || !plain)
        prior.expect = expectAny();
    else if (prior.previous->isEmpty())
        prior.expect = expectNone();
    else
        prior.expect = runtime::sha256Hex(*prior.previous);

    history::JournalEntry entry =
        journalEntry(state, login,
                     extras.restoredFrom != 0 ? history::JournalAction::Restore
                     : prior.replaces         ? history::JournalAction::Replace
                                              : history::JournalAction::Put,
                     recordKindOf(target), target.cCode, remote);
    entry.size = sent.isEmpty() ? -1 : sent.size();
    entry.sha256 = sent.isEmpty() ? QString() : runtime::sha256Hex(sent);
    entry.restoredFrom = extras.restoredFrom;
    // A retry from the outbox goes on in the record its first attempt made.
    const JournalBegun begun =
        journalBeginPut(state, entry, plain ? prior.previous.value_or(QByteArray()) : QByteArray(),
                        extras.outboxId);
    prior.journalId = begun.id;
    if (!keeping || !prior.replaces || (plain && begun.id != 0 && !begun.copyMissing))
        return prior;

    const QString why = !plain                ? QStringLiteral("what is there is not a plain file")
                        : begun.notPicture    ? QStringLiteral("what is there is not a picture")
                        : begun.why.isEmpty() ? QStringLiteral("the journal could not keep it")
                                              : begun.why;
    if (extras.askWhenUnkept && goAheadUnkept(state, remote, why, QStringLiteral("Replace")))
        return prior;
    prior.refusal = QStringLiteral("the picture on file could not be kept (%1), so it was not "
                                   "replaced")
                        .arg(why);
    journalEnd(state, prior.journalId, history::JournalOutcome::Failed, prior.refusal);
    prior.journalId = 0;
    return prior;
}

/// A put that could not reach the server: a retry notes one more attempt,
/// a first put keeps the prepared picture in the outbox. True when the
/// picture waits there.
bool keepInOutbox(ProgramState &state, const ServerLogin &login, const Target &target,
                  const QString &remote, const QByteArray &prepared, const PutExtras &extras,
                  bool hadPicture, qint64 journalId, const QString &failure)
{
    history::Outbox *outbox = state.services.outbox;
    if (outbox == nullptr)
        return false;
    if (!extras.outboxId.isEmpty())
        return outbox->recordAttempt(extras.outboxId, QDateTime::currentDateTimeUtc(), failure);
    if (prepared.isEmpty())
        return false;
    history::OutboxEntry entry;
    entry.code = target.cCode;
    entry.name = target.cName;
    entry.kind = recordKindOf(target);
    entry.size = target.cSize;
    entry.serverPath = remote;
    entry.settingsFile = settingsStem(state);
    entry.server = identityOf(login);
    entry.lastReason = failure;
    entry.hadPicture = hadPicture;
    entry.journalId = journalId;
    QString why;
    const QString id = outbox->add(entry, prepared, &why);
    if (id.isEmpty())
        qCWarning(runtime::lcFramla).noquote()
            << "the photo could not be kept in the outbox:" << why;
    else
        qCInfo(runtime::lcFramla).noquote() << "kept in the outbox as" << id << "for" << remote;
    return !id.isEmpty();
}

} // namespace

bool PutFile1(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
              const Target &target, const QString &localFile, const PutExtras &extras)
{
    return putWithOutcome(state, display, login, target, localFile, extras).ok();
}

PutOutcome putWithOutcome(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                          const Target &target, const QString &localFile, const PutExtras &extras)
{
    PutOutcome outcome;
    // Waiting for a look-up to leave the working files counts against the put's own time.
    OperationScope operation(state, state.limits.putMs);
    const runtime::WorkingFilesLock lock(state, state.operation.deadline);
    if (!lock.held()) {
        display.showReply(QString::fromLatin1(kNotRecordedText) + QStringLiteral("\r\n") +
                          QString::fromLatin1(kOperationTimeText));
        outcome.reason = QString::fromLatin1(kOperationTimeText);
        return outcome;
    }
    const int edge = uploadEdge(target.cSize);
    const QString targetPath = MAKEFILE(target, login.lIsDOS);
    // Uploads always name the remote file with "/", whatever the server.
    const QString remote = login.cPath + QLatin1Char('/') + targetPath;
    Placed placed;

    display.showReply(QStringLiteral("Sending image to server..."));
    // The picture as prepared: what the outbox keeps, resized again when it is sent.
    const QByteArray prepared =
        runtime::readWholeFile(appFile(state, localFile)).value_or(QByteArray());
    // A picture restored from the journal goes back byte for byte.
    RunOutcome resized;
    if (extras.restoredFrom != 0) {
        resized.status = RunOutcome::Status::Finished;
        resized.exitCode = 0;
    } else {
        resized =
            state.services.shell->run(resizeCommand(edge, localFile), runtime::kImageToolTimeoutMs);
    }
    const QByteArray sent =
        runtime::readWholeFile(appFile(state, localFile)).value_or(QByteArray());
    if (!resized.succeeded())
        placed.failure = QStringLiteral("The image could not be resized: ") + resized.message;
    else if (sent.isEmpty())
        placed.failure = QStringLiteral("The resized image could not be read.");

    outcome.serverPath = remote;
    Prior prior;
    if (placed.failure.isEmpty()) {
        display.setBusy(true);
        // With replacing chosen, a picture that changed between the fetch of
        // the copy and the rename is fetched and kept again, twice at most.
        for (int attempt = 0;; ++attempt) {
            prior = priorOf(state, login, target, remote, sent, extras, attempt > 0);
            if (!prior.unfetched.isEmpty()) {
                placed.failure = prior.unfetched;
                placed.unreachable = prior.unreachable;
                break;
            }
            if (!prior.refusal.isEmpty()) {
                placed.failure = prior.refusal;
                break;
            }
            placed = placeOnServer(state, login, localFile, sent, remote, prior.expect);
            const bool meanwhile =
                placed.refusal == PlaceRefusal::Taken || placed.refusal == PlaceRefusal::Changed;
            if (!meanwhile || !extras.replaceAny || attempt == 2)
                break;
            journalEnd(state, prior.journalId, history::JournalOutcome::Failed, placed.failure);
        }
        display.setBusy(false);
    }
    const qint64 journalId = prior.journalId;
    const std::optional<QByteArray> &previous = prior.previous;
    QString &failure = placed.failure;

    display.showReply(QStringLiteral("Verifying that image is on server..."));
    display.hangTarget(QStringLiteral("wait.gif"), QStringLiteral("TW"));
    runtime::eraseFile(appFile(state, kPreviewFile));
    const QString reply = QString::fromUtf8(readReplyFile(state));
    const QString supplierImage = supplierImagePath(reply);
    // The picture now in place is fetched back beside the server's new
    // answer, which does not depend on it, when the shell can run it beside;
    // else first, as before. Either way it is fetched after the rename and
    // compared below, so a picture someone else put there meanwhile is
    // caught. Not when the view shows a supplier's picture: the target is
    // then fetched on its own.
    std::optional<PictureAhead> fetchedBack;
    if (supplierImage.isEmpty() && extras.askAfter)
        fetchedBack.emplace(state, login, target);
    const bool beside = fetchedBack && fetchedBack->started();
    if (!beside)
        ShowOldImg(state, display, login, target);
    // The server is asked again, so that the description and the notes the
    // write check reads say what the server holds now.
    std::optional<RunOutcome> asked;
    if (extras.askAfter)
        asked = runRemote(state, login, requestCommand(login, target.cCode, target.cTime),
                          runtime::kLookupTimeoutMs);
    if (beside)
        ShowOldImg(state, display, login, target, &*fetchedBack);

    if (failure.isEmpty()) {
        // What the view shows is the target itself unless the reply pointed
        // it at a supplier's picture; then the target is fetched on its own.
        const QByteArray recorded =
            supplierImage.isEmpty()
                ? runtime::readWholeFile(appFile(state, kPreviewFile)).value_or(QByteArray())
                : fetchBack(state, login, remote);
        if (recorded.isEmpty())
            failure =
                QStringLiteral("Nothing could be fetched back from ") + remote + QLatin1Char('.');
        else if (recorded != sent)
            failure = QStringLiteral("The image fetched back from the server differs from the one "
                                     "sent.");
    }

    // The upload's own state keeps what the reply allows now; the queue hands
    // it to the program's state.
    if (asked)
        state.lOk2Put = SHWTXTMSG1(state, display, login, target, requestRun(*asked)).ok2Put;
    const QString description = asked ? replyText(readReplyFile(state)) : QString();
    const bool ok = failure.isEmpty();
    const bool hadPicture =
        extras.hadPicture.value_or(previous.has_value() && !previous->isEmpty());
    // A retry notes every failed attempt, so that its pause grows whatever stopped it.
    const bool queued = !ok && (placed.unreachable || !extras.outboxId.isEmpty()) &&
                        keepInOutbox(state, login, target, remote, prepared, extras, hadPicture,
                                     journalId, failure);
    if (ok && !extras.outboxId.isEmpty() && state.services.outbox != nullptr)
        state.services.outbox->remove(extras.outboxId);
    journalEnd(state, journalId,
               ok       ? history::JournalOutcome::Ok
               : queued ? history::JournalOutcome::Queued
                        : history::JournalOutcome::Failed,
               failure);
    if (extras.finished)
        runtime::onUiThreadLater([done = extras.finished, ok, queued] { done(ok, queued); });
    const QString kept = queued && extras.outboxId.isEmpty()
                             ? QString::fromLatin1(kKeptInOutboxText) + QStringLiteral("\r\n")
                             : QString();
    if (!failure.isEmpty())
        display.showReply(QString::fromLatin1(kNotRecordedText) + QStringLiteral("\r\n") + kept +
                          failure + QStringLiteral("\r\n\r\n") + description);
    else if (!placed.warning.isEmpty())
        display.showReply(placed.warning + QStringLiteral("\r\n\r\n") + description);

    outcome.queued = queued;
    outcome.reason = failure;
    outcome.copyNotKept = !prior.refusal.isEmpty();
    outcome.meanwhile = prior.refusal.isEmpty() && (placed.refusal == PlaceRefusal::Taken ||
                                                    placed.refusal == PlaceRefusal::Changed);
    if (ok) {
        outcome.kind = prior.replaces ? PutOutcome::Kind::Replaced : PutOutcome::Kind::Placed;
        outcome.size = sent.size();
        outcome.sha256 = runtime::sha256Hex(sent);
    } else if (placed.refusal != PlaceRefusal::None || !prior.refusal.isEmpty()) {
        outcome.kind = PutOutcome::Kind::Refused;
        if (placed.refusal == PlaceRefusal::Taken)
            outcome.reason = QString::fromLatin1(kPutMeanwhileText);
        else if (outcome.meanwhile)
            outcome.reason = QString::fromLatin1(kChangedMeanwhileText);
    } else {
        outcome.kind =
            placed.unreachable ? PutOutcome::Kind::Unreachable : PutOutcome::Kind::Failed;
    }
    return outcome;
}

} // namespace framla::server
