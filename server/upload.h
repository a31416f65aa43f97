#pragma once

#include "core/service.h"
#include "core/app_files.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <functional>

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
             const Target &target);

/// The upload itself, on the calling thread: resize localFile (a file in the
/// program's directory), copy it to a name of its own in the user's reply
/// directory (on a Windows server: beside the target, with kTemporarySuffix),
/// fetch it back and compare, and only then make it readable and rename it
/// over the target; then show what the server now records, with its
/// description asked for again, and say plainly when the picture did not
/// arrive. A failed or interrupted copy leaves the picture that was there
/// before. Returns whether the server holds the picture that was sent.
bool PutFile1(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
              const Target &target, const QString &localFile = QLatin1String(kPreviewFile));

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
template<>
struct ServiceType<UploadsService> {
    using type = server::UploadQueue;
};
} // namespace framla
