#pragma once

// The journal: one record of every put, replace, delete, data-file send and
// restore, in an SQLite database in the working directory, with a copy of
// the picture a replace or delete took off the server (a file of its own
// under kCopiesDir, so that the database stays small and a copy can be
// pruned without rewriting it).
//
// The database runs in write-ahead-log mode with synchronous=FULL: a record
// is on disk once record() returns, and survives the program being killed
// or the power going at any moment. FULL rather than NORMAL, because the
// copy of a replaced picture may be the only one left once the server holds
// the new picture; its cost, one sync of the log per record, is small beside
// the network runs of a put.
//
// Filing never stops because of the journal: every method fails soft,
// returns "nothing" (0, false, empty) and says why.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

class QThread;

namespace framla::history {

/// The database file and the folder of copies, in the working directory.
inline constexpr auto kJournalFile = "journal.db";
inline constexpr auto kCopiesDir = "journal-copies";
/// What the copies of previous pictures may take before the oldest are pruned.
inline constexpr qint64 kDefaultCopyLimit = 500LL * 1024 * 1024;
/// The most pixels a kept copy may have: the budget the image views read
/// pictures with (imaging::kMaxPicturePixels), which this layer does not link.
inline constexpr qint64 kMaxCopyPixels = 100'000'000;

/// What was done.
enum class JournalAction { Put, Replace, Delete, DataFile, Restore };
/// The record a picture is filed under; a data file belongs to none.
enum class RecordKind { Inventory, Supplier, Customer, Order, DataFile };
/// How it ended; Pending until the caller says (a record still Pending
/// after a restart was cut off).
enum class JournalOutcome { Pending, Ok, Failed, Queued };

/// Who logs in where, without the password: what the journal and the
/// outbox keep of a server login.
struct ServerIdentity {
    QString address;
    QString port;
    QString user;
    QString dbPath;
    bool operator==(const ServerIdentity &) const = default;
};

/// One record of the journal.
struct JournalEntry {
    qint64 id = 0;        ///< given by the journal
    QDateTime when;       ///< UTC; record() takes the current time when it is not set
    QString settingsFile; ///< the settings file's stem
    ServerIdentity server;
    JournalAction action = JournalAction::Put;
    RecordKind kind = RecordKind::Inventory;
    QString code;
    QString serverPath;
    qint64 size = -1; ///< of what was put; -1 when nothing was (a delete)
    QString sha256;   ///< of what was put, see sha256Hex; "" when nothing was
    JournalOutcome outcome = JournalOutcome::Pending;
    QString reason;          ///< why it failed or was queued
    qint64 restoredFrom = 0; ///< a restore: the record whose previous picture it put back

    // The picture that was on the server before (read back by entries()).
    qint64 previousSize = -1; ///< -1 when no copy was taken
    QString previousSha256;
    bool previousKept = false; ///< the copy is still there (not pruned)

    bool operator==(const JournalEntry &) const = default;
};

/// What entries() lists: records whose code holds `code` (any case), made
/// on `day` (local time); an empty code or a null day lets every one pass.
struct JournalFilter {
    QString code;
    QDate day;
};

/// What prune() did.
struct PruneResult {
    int removed = 0;  ///< copies removed
    qint64 freed = 0; ///< their bytes
    qint64 kept = 0;  ///< the bytes of the copies left
};

/// What became of the picture that was on the server before, given to
/// record() or reuse().
enum class CopyFate {
    None,       ///< none was given
    Kept,       ///< its copy is kept
    NotPicture, ///< it is not a picture within kMaxCopyPixels: no copy is kept
    NotKept,    ///< its copy could not be written (a full disk, a locked journal ...)
};

/// What SQLite's quick check answered, as a verdict on the file.
enum class CheckVerdict {
    Sound,   ///< "ok"
    Damaged, ///< a fault in the file itself
    Unsure,  ///< a page could not be read (busy, I/O, a log being written): no verdict
};
CheckVerdict checkVerdict(const QString &answer);

/// Why bytes are not kept as the copy of a picture: not a BMP, JPEG, GIF or
/// PNG that decodes, or more than kMaxCopyPixels; "" for a picture.
QString pictureRefusal(const QByteArray &bytes);

/// The names the database keeps for actions, kinds and outcomes
/// ("data file", "order", "queued" ...), also what the History window shows.
QString actionName(JournalAction action);
QString kindName(RecordKind kind);
QString outcomeName(JournalOutcome outcome);

/// One connection to the journal, usable from the thread that made it (the
/// upload worker and the History window each hold their own; SQLite keeps
/// them apart).
class Journal {
public:
    Journal();
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    /// Opens (or starts) the journal in dir. The first connection of the
    /// process to the file (while no other of its connections holds it)
    /// checks it first, on a connection of its own: a file that is not a
    /// journal database or whose pages SQLite's quick check finds damaged is
    /// set aside under a name with the time
    /// (journal.db.damaged-20240501T101530Z) and a new one is started: then
    /// true, with *message saying so. Any other error (busy, locked, a page
    /// being written, a full disk) leaves the file as it is; the open is
    /// tried again a few times, then false with the reason, as when no
    /// journal can be kept at all. Copies that no record names (left by a
    /// record or a prune that was cut off) are removed once they are ten
    /// minutes old.
    bool open(const QString &dir, QString *message = nullptr);
    bool isOpen() const { return m_open; }
    void close();

    /// Records entry (its id is ignored) and, when previous is not empty,
    /// keeps it as the copy of the picture that was on the server before.
    /// Returns the new record's id, or 0 with the reason. A copy that cannot
    /// be kept, or bytes that are not a picture, leave the record without
    /// one, and *why says so; *copy says what became of previous.
    qint64 record(const JournalEntry &entry, const QByteArray &previous = {},
                  QString *why = nullptr, CopyFate *copy = nullptr);

    /// A retry of the put recorded as id: the record takes entry's action,
    /// server path, size and SHA-256, is pending again, and keeps previous
    /// as its copy unless it keeps that picture already. Without such a
    /// record, a new one is made as by record(). Returns the record's id.
    qint64 reuse(qint64 id, const JournalEntry &entry, const QByteArray &previous = {},
                 QString *why = nullptr, CopyFate *copy = nullptr);

    /// The record id, as entries() gives it.
    std::optional<JournalEntry> entry(qint64 id, QString *why = nullptr);

    /// Sets how the record ended.
    bool setOutcome(qint64 id, JournalOutcome outcome, const QString &reason = {},
                    QString *why = nullptr);

    /// The records that pass filter, newest first (in the order they were
    /// made), at most limit of them.
    QList<JournalEntry> entries(const JournalFilter &filter = {}, int limit = 500,
                                QString *why = nullptr);

    /// The copy of the picture that was on the server before record id,
    /// checked against its SHA-256 and read as a picture; nothing (and why)
    /// when none is kept, it is damaged or it is not a picture.
    std::optional<QByteArray> previousPicture(qint64 id, QString *why = nullptr);

    /// Removes copies, oldest first, until they take at most limitBytes;
    /// the newest copy of each record (kind and code) is never removed. Only
    /// the journal's own names (<id>.jpg in kCopiesDir) are ever removed.
    PruneResult prune(qint64 limitBytes, QString *why = nullptr);

private:
    enum class Opened { Ok, Damaged, Failed };
    Opened check(const QString &path, QString *why);
    Opened connect(const QString &path, QString *why);
    Opened openOnce(const QString &path, bool first, QString *why);
    void disconnect();
    bool createSchema(QString *why);
    bool keepCopy(qint64 id, const QByteArray &previous, QString *why, CopyFate *copy,
                  QString *written);
    void removeStrayCopies();
    bool usable(QString *why) const;
    QString copyPath(const QString &name) const;

    QString m_connection; ///< this object's own connection name
    QString m_dir;
    QString m_file; ///< the database file, as the process counts its connections to it
    bool m_open = false;
    QThread *m_thread = nullptr;
};

} // namespace framla::history
