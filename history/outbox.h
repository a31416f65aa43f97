#pragma once

// The outbox: puts that could not reach the server, kept in the working
// directory until they are sent or the operator drops them. Each waits as
// two files in kOutboxDir: the prepared JPEG (<id>.jpg) and what it is for
// (<id>.json: the target, the server path, the settings and login without
// the password, the attempts so far, the picture's SHA-256, and whether the
// server had a picture at the target when the operator put it). Both are
// written durably; the metadata file is written after the picture and
// removed before it, so that a put is waiting exactly while its metadata
// file is there, whenever the program was cut off.

#include "journal.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QString>

#include <optional>

namespace framla::history {

inline constexpr auto kOutboxDir = "outbox";

/// One put waiting in the outbox.
struct OutboxEntry {
    QString id; ///< given by add(): the stem of its two files
    // The target.
    QString code;
    QString name;
    RecordKind kind = RecordKind::Inventory; ///< also gives the mode
    QString size = QStringLiteral("M");      ///< the size letter
    QString serverPath;
    QString settingsFile; ///< the settings file's stem
    ServerIdentity server;
    QDateTime firstTried; ///< UTC; add() takes the current time when it is not set
    QDateTime lastTried;  ///< UTC; add() takes firstTried
    int attempts = 1;     ///< failed attempts so far, the operator's own included
    QString lastReason;   ///< why the last attempt failed
    QString sha256;       ///< of the picture; add() sets it
    /// The server had a picture at the target when the operator put this
    /// one: a retry that finds one where there was none must ask first.
    bool hadPicture = false;
    qint64 journalId = 0; ///< the journal's record of the put, 0 for none

    bool operator==(const OutboxEntry &) const = default;
};

/// The pause after `attempts` failed attempts before the next: 15 seconds,
/// doubling with every attempt, up to a minute; 0 before the first.
int retryPauseSeconds(int attempts);

/// When the entry may be tried again: its last attempt and the pause.
QDateTime nextAttemptAt(const OutboxEntry &entry);

/// The outbox of one working directory. Safe to use from any thread; make
/// one per program, at start-up, as its constructor clears what a cut-off
/// write or removal left.
class Outbox {
public:
    explicit Outbox(const QString &workDir);
    Outbox(const Outbox &) = delete;
    Outbox &operator=(const Outbox &) = delete;

    QString directory() const { return m_dir; }

    /// Keeps picture and entry (its id and sha256 are set here) durably;
    /// returns the new id, or "" with the reason.
    QString add(const OutboxEntry &entry, const QByteArray &picture, QString *why = nullptr);

    /// The waiting puts, oldest first (first attempt, then id). A file that
    /// is not an outbox entry, or one whose picture is missing or damaged,
    /// is skipped with a log line.
    QList<OutboxEntry> list() const;

    /// One waiting put and its picture, checked against its SHA-256; it
    /// stays in the outbox until remove() (so a put cut off while it is sent
    /// is still waiting afterwards).
    std::optional<std::pair<OutboxEntry, QByteArray>> load(const QString &id,
                                                           QString *why = nullptr) const;

    /// What one waiting put is for, without reading its picture.
    std::optional<OutboxEntry> entry(const QString &id, QString *why = nullptr) const;

    /// Notes the journal record a waiting put's attempts are journalled in.
    bool setJournalId(const QString &id, qint64 journalId, QString *why = nullptr);

    /// Drops a waiting put (sent, or dropped by the operator); true when it
    /// is gone, also when it was not there.
    bool remove(const QString &id, QString *why = nullptr);

    /// Notes one more failed attempt at when, and why it failed.
    bool recordAttempt(const QString &id, const QDateTime &when, const QString &reason,
                       QString *why = nullptr);

private:
    std::optional<OutboxEntry> read(const QString &id, QString *why) const;
    bool write(const OutboxEntry &entry, QString *why);
    QString file(const QString &id, const char *suffix) const;

    QString m_dir;
    mutable QMutex m_mutex;
};

} // namespace framla::history
