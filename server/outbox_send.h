#pragma once

// Sending a put that waits in the outbox: the target looked up again, and
// the put made as the operator's own was, with the same checks. Runs on
// the upload worker; the program's working files ("scratch.jpg",
// "framla.tmp") are left as the operator has them.

#include <QByteArray>
#include <QString>

#include <functional>

namespace framla {
struct ProgramState;
struct ServerLogin;
struct Target;
} // namespace framla

namespace framla::history {
class Outbox;
}

namespace framla::server {

class TargetDisplay;
struct PutExtras;

/// How one attempt at a waiting put ended.
enum class RetryOutcome {
    Sent,        ///< the server holds the picture; it left the outbox
    Waiting,     ///< not sent (see reason); it waits for the next attempt
    AskOperator, ///< the server holds a picture it did not hold when the operator put
    Gone,        ///< no such put waits (sent or dropped meanwhile, or unreadable)
};

struct RetryResult {
    RetryOutcome outcome = RetryOutcome::Waiting;
    QString code;   ///< the put's code
    QString reason; ///< why it was not sent
};

/// Puts picture (in memory) as the target's image through PutFile1 with
/// extras, leaving the operator's working files as they were. On the
/// calling thread; returns whether the server holds the picture.
bool putPicture(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                const Target &target, const QByteArray &picture, const PutExtras &extras);

/// Runs job on the upload worker (on the calling thread when the state has
/// none) with a program state of its own that shares the services, the
/// program's directory, the limits, the settings file and login.
void runOnUploadWorker(ProgramState &state, std::function<void(ProgramState &worker)> job);

/// One attempt at the waiting put id with login (the running settings: a
/// put kept for another server waits for those). Before the put the target
/// is fetched again: a picture where there was none when the operator put
/// stops the attempt (AskOperator) unless replaceAllowed.
RetryResult sendWaitingPut(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                           history::Outbox &outbox, const QString &id, bool replaceAllowed);

} // namespace framla::server
