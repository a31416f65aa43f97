#include "runner.h"

#include "batch/channel.h"
#include "batch/litter.h"
#include "batch/survey.h"
#include "core/app_files.h"
#include "imaging/batch_prepare.h"
#include "runtime/dialogs.h"
#include "runtime/files.h"
#include "runtime/guarded.h"
#include "runtime/logging.h"
#include "runtime/shell.h"
#include "server/command_lines.h"
#include "server/upload.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <thread>

namespace framla::batch {

namespace {

/// Runs work(k) on count threads side by side and waits for them all.
void onThreads(int count, const std::function<void(int)> &work)
{
    std::vector<std::thread> threads;
    threads.reserve(std::size_t(count));
    for (int k = 0; k < count; ++k)
        threads.emplace_back([&work, k] { work(k); });
    for (std::thread &thread : threads)
        thread.join();
}

/// A photo on its way from preparation to a channel.
struct Prepared {
    int index = -1;
    QString file;         ///< the prepared picture, by absolute path; "" when it failed
    QString failure;      ///< why preparation failed
    bool refused = false; ///< the photo itself cannot be filed (damaged, too large)
};

/// Puts one prepared photo through the channel the way the window's put
/// does (resize, copy to a name of its own, check, rename, mode, look-up
/// again), unless the server holds the very picture it would give.
RowResult putPhoto(Channel &channel, const PlanRow &row, const Prepared &item,
                   const BatchOptions &options, RowResult result)
{
    ProgramState &state = channel.state();
    const QString local = QStringLiteral("photo-%1.jpg").arg(item.index);
    const QString file = appFile(state, local);
    QFile::remove(file);
    result.outcome = QStringLiteral("failed");
    if (!QFile::rename(item.file, file)) {
        result.reason = QStringLiteral("the prepared photo could not be taken over");
        return result;
    }
    const auto sameOnServer = [&] {
        if (row.pictureOnFile.isEmpty())
            return false;
        const QString check = QStringLiteral("check-%1.jpg").arg(item.index);
        QFile::remove(appFile(state, check));
        if (!QFile::copy(file, appFile(state, check)))
            return false;
        const runtime::RunOutcome resized = state.services.shell->run(
            server::resizeCommand(server::uploadEdge(options.size), check),
            runtime::kImageToolTimeoutMs);
        const std::optional<QByteArray> mine = runtime::readWholeFile(appFile(state, check));
        QFile::remove(appFile(state, check));
        const std::optional<QByteArray> theirs = runtime::readWholeFile(row.pictureOnFile);
        if (!resized.succeeded() || !mine || !theirs || mine->isEmpty() || *mine != *theirs)
            return false;
        result.size = mine->size();
        return true;
    };
    if (sameOnServer()) {
        QFile::remove(file);
        result.outcome = QStringLiteral("skipped");
        result.reason = QStringLiteral("the server holds this picture already");
        return result;
    }
    const Target target = channel.targetFor(row.named, options.mode, options.size);
    server::PutOutcome put;
    put.reason = QStringLiteral("the put stopped on an error");
    // Nobody reads the channel's description: the look-up after the put is left out.
    server::PutExtras extras;
    extras.askAfter = false;
    // Nobody is there to ask: a replace whose copy cannot be kept is not made.
    extras.askWhenUnkept = false;
    // The placing step itself refuses a picture that appeared since the plan,
    // or with replacing chosen replaces whatever is there by then, kept first.
    if (options.replace)
        extras.replaceAny = true;
    else
        extras.previous = QByteArray();
    runtime::runRecoverable(state, [&] {
        put = server::putWithOutcome(state, channel.display(), channel.login(), target, local,
                                     extras);
    });
    QFile::remove(file);
    result.reason = put.reason;
    switch (put.kind) {
    case server::PutOutcome::Kind::Placed:
        result.outcome = QStringLiteral("put");
        break;
    case server::PutOutcome::Kind::Replaced:
        result.outcome = QStringLiteral("replaced");
        break;
    case server::PutOutcome::Kind::Refused:
        // Left alone on purpose: another desk's picture, or one whose copy cannot be kept.
        result.outcome = put.meanwhile || put.copyNotKept ? QStringLiteral("skipped")
                                                          : QStringLiteral("refused");
        break;
    case server::PutOutcome::Kind::Unreachable:
        result.outcome = QStringLiteral("failed");
        result.reason = QString::fromLatin1(kUnreachableReason);
        break;
    case server::PutOutcome::Kind::Failed:
        result.outcome = QStringLiteral("failed");
        break;
    }
    if (put.ok())
        result.size = put.size;
    return result;
}

} // namespace

BatchRun::BatchRun(const ProgramState &program, QString folder, BatchOptions options,
                   const runtime::ProcessShell *link)
    : m_program(program)
    , m_folder(std::move(folder))
    , m_options(std::move(options))
    , m_work(workDirTemplate())
{
    m_options.channels = qMax(1, m_options.channels);
    if (link == nullptr) {
        m_ownLink =
            std::make_unique<runtime::ProcessShell>(m_work.path(), program.services.dialogs.get());
        link = m_ownLink.get();
    }
    m_link = link;
}

BatchRun::~BatchRun() = default;

ServerLogin BatchRun::channelLogin() const
{
    // A name nobody can guess, so that no other account makes it first.
    ServerLogin login = m_program.login;
    if (!login.lIsDOS)
        login.replyTag = QStringLiteral("b%1").arg(QRandomGenerator::system()->generate64(), 16, 16,
                                                   QLatin1Char('0'));
    return login;
}

QString BatchRun::workDirectory(const QString &name) const
{
    QDir(m_work.path()).mkpath(name);
    return QDir(m_work.path()).filePath(name);
}

int BatchRun::preparers() const
{
    return m_options.preparers > 0 ? m_options.preparers : qMax(1, QThread::idealThreadCount());
}

QList<PlanRow> BatchRun::plan()
{
    QList<PlanRow> rows = planFiles(photoFilesIn(m_folder), m_options.mode);
    std::atomic<int> next{0};
    std::atomic<bool> unreachable{false};
    onThreads(m_options.channels, [&](int k) {
        Channel channel(m_program, channelLogin(), workDirectory(QStringLiteral("look-%1").arg(k)),
                        *m_link);
        // What a batch that was killed left on the server goes first.
        if (k == 0 && !channel.removeStaleBatchDirectories())
            unreachable = true;
        bool asked = false;
        for (int i = next++; i < rows.size(); i = next++) {
            PlanRow &row = rows[i];
            if (row.named.code.isEmpty() || !row.reason.isEmpty())
                continue;
            if (m_cancelled) {
                row.reason = QStringLiteral("the look-up was cancelled");
                continue;
            }
            // Once the server cannot be reached, the look-ups left would only wait.
            if (unreachable) {
                row.checked = false;
                row.unreachable = true;
                row.action = Action::Refuse;
                row.reason = QString::fromLatin1(kUnreachableReason);
                continue;
            }
            asked = true;
            surveyRow(channel, row, i, m_options.mode, m_options.replace);
            if (row.unreachable)
                unreachable = true;
            const QString kept = QDir(channel.directory()).filePath(existingPictureName(i));
            if (QFileInfo::exists(kept))
                row.pictureOnFile = kept;
        }
        if (asked)
            channel.removeReplyDirectory();
    });
    refuseDuplicates(rows);
    return rows;
}

QList<RowResult> BatchRun::run(const QList<PlanRow> &rows)
{
    const QString dbPath = m_program.login.cPath;
    QList<RowResult> results;
    for (const PlanRow &row : rows)
        results.append(resultOf(row, dbPath));
    std::vector<int> todo;
    for (int i = 0; i < rows.size(); ++i) {
        if (rows.at(i).action == Action::Put || rows.at(i).action == Action::Replace)
            todo.push_back(i);
    }

    // Preparation on every core feeds a short queue that the channels empty.
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Prepared> ready;
    std::size_t taken = 0;
    int preparing = preparers();
    const std::size_t bound = std::size_t(m_options.channels + preparers());
    const QString readyDir = workDirectory(QStringLiteral("ready"));
    // Each photo is made ready for the put's box in one run, decoded no
    // larger than that box needs.
    const int edge = server::uploadEdge(m_options.size);

    const auto done = [&](int index, const RowResult &result) {
        std::lock_guard lock(m_report);
        results[index] = result;
        if (onDone)
            onDone(index, result);
    };

    const auto prepare = [&](int k) {
        const QString dir = workDirectory(QStringLiteral("prepare-%1").arg(k));
        ProgramState state;
        state.services.dialogs = m_program.services.dialogs;
        state.services.clock = m_program.services.clock;
        runtime::ProcessShell shell(dir, m_program.services.dialogs.get());
        state.services.shell = &shell;
        state.cAppPath = dir;
        for (;;) {
            int index = -1;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return ready.size() < bound || m_cancelled; });
                if (m_cancelled || taken >= todo.size())
                    break;
                index = todo[taken++];
            }
            Prepared prepared;
            prepared.index = index;
            const QString source = QDir(m_folder).filePath(rows.at(index).file);
            // The header is judged before any tool runs: a photo over the
            // pixel budget, or one that does not decode whole, is never sent.
            // A FIFO or device swapped in after the listing is never opened.
            const QString refused = isRegularFile(source)
                                        ? imaging::photoRefusal(source)
                                        : QStringLiteral("the photo is not a plain file");
            // The size as the photo is shown, turned by its orientation tag.
            const QSize size = refused.isEmpty() ? imaging::photoSize(source) : QSize();
            imaging::PreviewSource preview{source, size, size,
                                           centredCrop(size, m_options.cropRatio)};
            const QString file = QDir(readyDir).filePath(QStringLiteral("photo-%1.jpg").arg(index));
            QString why;
            prepared.refused = !refused.isEmpty();
            if (prepared.refused)
                prepared.failure = refused;
            else if (!size.isValid())
                prepared.failure = QStringLiteral("the photo could not be read");
            else if (!imaging::prepareForPut(state, preview, m_options.adjustment, edge, file,
                                             &why)) {
                prepared.failure =
                    why.isEmpty() ? QStringLiteral("the photo could not be prepared") : why;
                prepared.refused = !why.isEmpty();
            } else
                prepared.file = file;
            std::lock_guard lock(mutex);
            ready.push_back(prepared);
            changed.notify_all();
        }
        std::lock_guard lock(mutex);
        --preparing;
        changed.notify_all();
    };

    const auto put = [&](int k) {
        Channel channel(m_program, channelLogin(), workDirectory(QStringLiteral("put-%1").arg(k)),
                        *m_link);
        bool made = false;
        for (;;) {
            Prepared item;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return !ready.empty() || preparing == 0; });
                if (ready.empty() || m_cancelled)
                    break;
                item = ready.front();
                ready.pop_front();
                changed.notify_all();
            }
            const PlanRow &row = rows.at(item.index);
            RowResult result = results.at(item.index);
            if (item.file.isEmpty()) {
                result.outcome =
                    item.refused ? QStringLiteral("refused") : QStringLiteral("failed");
                result.reason = item.failure;
                done(item.index, result);
                continue;
            }
            {
                std::lock_guard lock(m_report);
                if (onStarted)
                    onStarted(item.index);
            }
            if (!made) {
                // The put stages the picture in the channel's own reply directory.
                channel.makeReplyDirectory();
                made = true;
            }
            result = putPhoto(channel, row, item, m_options, result);
            done(item.index, result);
        }
        if (made)
            channel.removeReplyDirectory();
    };

    std::thread preparation([&] { onThreads(preparers(), prepare); });
    onThreads(m_options.channels, put);
    {
        // A cancel leaves preparers waiting for room in the queue.
        std::lock_guard lock(mutex);
        changed.notify_all();
    }
    preparation.join();

    for (int index : todo) {
        RowResult &result = results[index];
        if (result.outcome == QStringLiteral("not put") && result.reason.isEmpty())
            result.reason = QStringLiteral("the batch was cancelled before it was put");
    }
    return results;
}

} // namespace framla::batch
