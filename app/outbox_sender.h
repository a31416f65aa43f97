#pragma once

// The outbox in the background: the puts that could not reach the server
// are sent again, oldest first, each after its growing pause, from a timer
// on the window's thread that hands every attempt to the upload worker. A
// put whose target gained a picture meanwhile waits for the operator's
// answer. The image tab's caption says how many wait.

#include "server/outbox_send.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

class QLabel;

namespace framla {
struct ProgramState;
}

namespace framla::app {

class OutboxSender final : public QObject {
    Q_OBJECT
public:
    /// caption (may be null) shows how many wait; the first look at the
    /// outbox comes at once, so that what waits from an earlier run goes first.
    OutboxSender(ProgramState &state, QLabel *caption, QObject *parent);

    /// Sends the waiting put now, whatever its pause (asking first when its
    /// target gained a picture).
    void sendNow(const QString &id);
    /// Drops a waiting put, noting it in the journal.
    void drop(const QString &id);
    /// How many puts wait.
    int waiting() const;
    /// The caption's text for count puts waiting ("" for none).
    static QString captionText(int count);

signals:
    /// The outbox changed (sent, dropped, attempted).
    void changed();

private:
    void look();
    void attempt(const QString &id, bool replaceAllowed);
    void ended(const QString &id, const server::RetryResult &result);
    void showCount();

    ProgramState &m_state;
    QLabel *m_caption;
    QTimer m_timer;
    bool m_busy = false;  ///< an attempt is on the upload worker
    QSet<QString> m_held; ///< waiting for the operator, not sent by the timer
    QSet<QString> m_now;  ///< to be sent at once
};

} // namespace framla::app
