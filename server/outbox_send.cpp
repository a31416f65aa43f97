#include "outbox_send.h"

#include "core/app_files.h"
#include "core/program_state.h"
#include "existing_image.h"
#include "history/journal_keeper.h"
#include "history/outbox.h"
#include "put_journal.h"
#include "runtime/clock.h"
#include "runtime/files.h"
#include "runtime/guarded.h"
#include "runtime/logging.h"
#include "runtime/working_files.h"
#include "target.h"
#include "upload.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <optional>

namespace framla::server {

namespace {

/// A working file's bytes, put back as they were when it goes out of scope.
class KeptFile {
public:
    explicit KeptFile(QString path)
        : m_path(std::move(path))
        , m_data(runtime::readWholeFile(m_path))
    {}
    ~KeptFile()
    {
        QFile::remove(m_path);
        if (!m_data)
            return;
        QFile file(m_path);
        if (!file.open(QIODevice::WriteOnly) || file.write(*m_data) != m_data->size())
            qCWarning(runtime::lcFramla).noquote() << "could not put back" << m_path;
    }
    KeptFile(const KeptFile &) = delete;
    KeptFile &operator=(const KeptFile &) = delete;

private:
    QString m_path;
    std::optional<QByteArray> m_data;
};

RetryResult waiting(history::Outbox &outbox, const QString &id, const QString &code,
                    const QString &reason)
{
    outbox.recordAttempt(id, QDateTime::currentDateTimeUtc(), reason);
    qCInfo(runtime::lcFramla).noquote()
        << "the waiting photo for" << code << "was not sent:" << reason;
    return {RetryOutcome::Waiting, code, reason};
}

/// Whether onServer is what an attempt at entry sent: the journal's record
/// of the put holds the SHA-256 of the bytes sent (the outbox's picture is
/// kept as prepared, before the resize every attempt makes).
bool placedBefore(ProgramState &state, const history::OutboxEntry &entry,
                  const QByteArray &onServer)
{
    if (entry.journalId <= 0 || state.services.journal == nullptr)
        return false;
    history::Journal *journal = state.services.journal->forThisThread();
    if (journal == nullptr)
        return false;
    const std::optional<history::JournalEntry> record = journal->entry(entry.journalId);
    return record && !record->sha256.isEmpty() && record->code == entry.code &&
           record->sha256 == runtime::sha256Hex(onServer);
}

} // namespace

bool putPicture(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                const Target &target, const QByteArray &picture, const PutExtras &extras)
{
    const runtime::WorkingFilesLock lock(state);
    const KeptFile preview(appFile(state, kPreviewFile));
    const KeptFile reply(appFile(state, kReplyFile));
    // No reply of the operator's look-up may pass for this target's.
    QFile::remove(appFile(state, kReplyFile));
    QTemporaryFile copy(appFile(state, QStringLiteral("upload-XXXXXX.jpg")));
    if (!copy.open() || copy.write(picture) != picture.size() || !copy.flush()) {
        qCWarning(runtime::lcFramla).noquote() << "no working copy of the picture could be made";
        return false;
    }
    copy.close();
    return PutFile1(state, display, login, target, QFileInfo(copy.fileName()).fileName(), extras);
}

void runOnUploadWorker(ProgramState &state, std::function<void(ProgramState &worker)> job)
{
    auto run = [job = std::move(job), services = state.services, appPath = state.cAppPath,
                limits = state.limits, cfg = state.cCfgFileNm, login = state.login] {
        ProgramState worker;
        worker.services = services;
        worker.cAppPath = appPath;
        worker.limits = limits;
        worker.cCfgFileNm = cfg;
        worker.login = login;
        runtime::runRecoverable(worker, [&] { job(worker); });
    };
    if (state.services.uploads != nullptr)
        state.services.uploads->enqueue(std::move(run));
    else
        run();
}

RetryResult sendWaitingPut(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                           history::Outbox &outbox, const QString &id, bool replaceAllowed)
{
    QString why;
    const auto loaded = outbox.load(id, &why);
    if (!loaded)
        return {RetryOutcome::Gone, {}, why};
    const history::OutboxEntry &entry = loaded->first;
    if (identityOf(login) != entry.server)
        return waiting(outbox, id, entry.code,
                       QStringLiteral("it was put with the settings of another server (%1@%2)")
                           .arg(entry.server.user, entry.server.address));

    // The path is made again from the target and the running login: the
    // stored one is only a file's word, and never fetched or written.
    const QString token = state.services.clock != nullptr ? state.services.clock->timeOfDay()
                                                          : QStringLiteral("Timeless");
    const Target target = targetOfEntry(entry, token);
    const QString remote = remotePathOf(target, login);
    if (remote.isEmpty())
        return waiting(
            outbox, id, entry.code,
            QStringLiteral("the code %1 names no picture on the server").arg(entry.code));

    // Looked up again: a picture someone put meanwhile is never replaced
    // unasked. Only a plain file is fetched; a link there counts as something
    // there, and the put itself deals with it.
    const OnServer now = fetchPlainFile(state, login, remote);
    if (!now.reached)
        return waiting(outbox, id, entry.code, now.message);
    if (now.plain && !now.data.isEmpty() && placedBefore(state, entry, now.data)) {
        // An earlier attempt placed it and was cut off before it could say so.
        qCInfo(runtime::lcFramla).noquote()
            << "the waiting photo for" << entry.code << "was on the server already";
        outbox.remove(id);
        journalEnd(state, entry.journalId, history::JournalOutcome::Ok,
                   QStringLiteral("an earlier attempt had put it on the server"));
        return {RetryOutcome::Sent, entry.code, {}};
    }
    if (!entry.hadPicture && (!now.plain || !now.data.isEmpty()) && !replaceAllowed)
        return {RetryOutcome::AskOperator, entry.code,
                QStringLiteral("the server now holds a picture for it")};

    PutExtras extras;
    if (now.plain)
        extras.previous = now.data;
    extras.outboxId = id;
    extras.hadPicture = entry.hadPicture || replaceAllowed;
    const bool sent = putPicture(state, display, login, target, loaded->second, extras);
    if (sent) {
        qCInfo(runtime::lcFramla).noquote() << "the waiting photo for" << entry.code << "was sent";
        journalEnd(state, entry.journalId, history::JournalOutcome::Ok,
                   QStringLiteral("sent later from the outbox"));
        return {RetryOutcome::Sent, entry.code, {}};
    }
    // PutFile1 noted the attempt.
    return {RetryOutcome::Waiting, entry.code, QStringLiteral("the put failed")};
}

} // namespace framla::server
