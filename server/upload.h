#pragma once

#include "core/app_files.h"
#include "core/service.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <functional>
#include <optional>

namespace framla {
struct ProgramState;
struct ServerLogin;
struct Target;
} // namespace framla

namespace framla::server {

class TargetDisplay;

/// The one upload worker: uploads run on it one after another, in the order
/// they were asked for.
class UploadQueue {
public:
    UploadQueue();
    /// Waits for the uploads still queued.
    ~UploadQueue();
    UploadQueue(const UploadQueue &) = delete;
    UploadQueue &operator=(const UploadQueue &) = delete;

    void enqueue(std::function<void()> job);
    /// Wait until every queued upload has ended; false when the time ran out.
    bool waitForIdle(int timeoutMs);
    /// Gives up the uploads that have not begun and waits at most timeoutMs
    /// for the one under way (on the UI thread, delivering what the worker
    /// posts meanwhile). Returns how many pictures were not sent: those given
    /// up, and the one under way when it has not ended by then.
    int abandon(int timeoutMs);

private:
    void work();

    // Standard threads and locks, which thread checkers can follow.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_jobs;
    bool m_running = false; ///< a job is under way
    bool m_ending = false;
    std::thread m_worker;
};

/// What a put may be told beyond its target, and what it reports at its
/// end; all optional, so that a plain put needs none of it.
struct PutExtras {
    /// The picture the server held at the target when the operator put (an
    /// empty one: none). Unknown: the put fetches it itself while a journal
    /// is kept, as the copy a replace keeps.
    std::optional<QByteArray> previous;
    /// A restore: the journal record whose previous picture this puts back,
    /// as it was on the server (not resized again).
    qint64 restoredFrom = 0;
    /// A retry of a put waiting in the outbox: it is removed once the
    /// server holds the picture, and never added a second time.
    QString outboxId;
    /// Whether the server had a picture at the target when the operator put
    /// (kept with a put that goes to the outbox); unknown: taken from previous.
    std::optional<bool> hadPicture;
    /// Called on the UI thread when the put has ended: whether the server
    /// holds the picture, and whether it went to the outbox.
    std::function<void(bool ok, bool queued)> finished;
    /// Whatever picture lies at the target by the rename is replaced (a
    /// batch with replacing chosen): it is fetched and kept first, and when
    /// it changes between that fetch and the rename, fetched and kept again.
    /// Otherwise only the picture the put knows of (previous, or the one it
    /// fetches itself) is replaced, and where there was none, a picture put
    /// meanwhile is left alone and the put refused.
    bool replaceAny = false;
    /// Whether the operator is asked before a picture whose copy cannot be
    /// kept is replaced; without (a batch, the command line) the put is
    /// refused then.
    bool askWhenUnkept = true;
    /// Whether the server is asked about the target again after the put, so
    /// that the description shown says what it holds now. A batch, whose
    /// display nobody reads, leaves it out; the fetch back still checks the
    /// picture.
    bool askAfter = true;
};

/// How a put ended, for the caller to show or count.
struct PutOutcome {
    enum class Kind {
        Placed,      ///< the picture is on the server where there was none
        Replaced,    ///< it replaced the picture there, whose copy was kept
        Refused,     ///< the put was not made on purpose (see reason)
        Unreachable, ///< the server could not be reached or the line dropped
        Failed,      ///< anything else went wrong (see reason)
    };
    Kind kind = Kind::Failed;
    QString reason;     ///< why it was not placed; "" when it was
    QString serverPath; ///< the target on the server
    qint64 size = -1;   ///< bytes placed; -1 when none
    QString sha256;     ///< of what was placed; "" when nothing was
    /// Refused because a picture was put at the target since the put's
    /// caller looked (or the one it agreed to replace changed).
    bool meanwhile = false;
    /// Refused because the picture it would replace could not be kept.
    bool copyNotKept = false;
    /// The picture waits in the outbox.
    bool queued = false;

    bool ok() const { return kind == Kind::Placed || kind == Kind::Replaced; }
};

/// The sentence added below kNotRecordedText when the picture went to the outbox.
inline constexpr auto kKeptInOutboxText =
    "The photo is kept in the outbox and will be sent again by itself as soon as the "
    "server can be reached.";

/// The edge of the square the picture is resized to fit: 160 for "S", 640
/// for "L", 320 for anything else.
int uploadEdge(const QString &cSize);

/// Put the prepared picture ("scratch.jpg") on the server as the target's
/// image. Returns at once; the upload runs on the upload worker with its own
/// copy of the picture, the login and the target as they are now. A target
/// that names no file, or no prepared picture, is refused with a message.
/// While none of the program's uploads is queued or under way, working copies
/// left in the program's directory by a put that was cut off are removed first.
bool PutFile(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
             const Target &target, const PutExtras &extras = {});

/// The upload itself, on the calling thread: resize localFile (a file in the
/// program's directory), copy it to a name of its own in the user's reply
/// directory (on a Windows server: beside the target, with kTemporarySuffix),
/// fetch it back and compare, and only then make it readable and rename it
/// over the target; then show what the server now records, with its
/// description asked for again, and say plainly when the picture did not
/// arrive. A failed or interrupted copy leaves the picture that was there
/// before. Returns whether the server holds the picture that was sent.
///
/// Every put is journalled (with the copy of the picture it replaced) when
/// the state keeps a journal; one that failed because the server could not
/// be reached or the connection dropped goes to the outbox, when the state
/// keeps one, with the picture as it was before the resize.
bool PutFile1(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
              const Target &target, const QString &localFile = QLatin1String(kPreviewFile),
              const PutExtras &extras = {});

/// PutFile1 with what became of the put.
PutOutcome putWithOutcome(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                          const Target &target,
                          const QString &localFile = QLatin1String(kPreviewFile),
                          const PutExtras &extras = {});

/// What the operator reads when the put found a picture that was put at the
/// target since the look-up, or the picture agreed to be replaced changed.
inline constexpr auto kPutMeanwhileText = "a picture was put meanwhile";
inline constexpr auto kChangedMeanwhileText = "the picture on file changed meanwhile";

/// How long the end of the program waits for the upload under way.
inline constexpr int kExitWaitMs = 10000;

/// At the end of the program: the uploads not begun are given up, the one
/// under way gets at most waitMs to end, and the operator is told how many
/// pictures were not sent (in a message box, and in the log). Returns whether
/// no upload is under way any more; if one is, the program must end without
/// waiting for it.
bool endUploads(ProgramState &state, int waitMs);

/// What a look-up or a put says when an upload still holds the working files
/// after the time it may wait for them.
inline constexpr auto kStillSendingText =
    "A picture is still being sent to the server; try again in a moment.";

/// Added to the target's name while the picture is copied and checked beside
/// it (on a Windows server). The server program counts only names ending in
/// ".jpg", so a copy under way never passes for a picture.
inline constexpr auto kTemporarySuffix = ".part";

/// The time a clean-up run on the server may take, even after the
/// operation's own time is up.
inline constexpr int kCleanupTimeoutMs = 15000;

/// What the description box says above the description when an upload failed.
inline constexpr auto kNotRecordedText = "THE IMAGE WAS NOT RECORDED ON THE SERVER.";

} // namespace framla::server

namespace framla {
/// server::UploadQueue fills the program state's UploadsService slot.
template<> struct ServiceType<UploadsService> {
    using type = server::UploadQueue;
};
} // namespace framla
