#include "journal.h"

#include "durable_file.h"
#include "history_util.h"
#include "runtime/files.h"
#include "runtime/logging.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <atomic>

namespace framla::history {

namespace {

constexpr int kSchemaVersion = 1;
/// How long a write waits for the other connection (the History window's
/// or the upload worker's) to finish its own.
constexpr int kBusyTimeoutMs = 3000;
/// How old a copy that no record names must be before it is taken for
/// the leftover of a record or prune that was cut off.
constexpr int kStraySeconds = 600;
/// How often an open that met an error other than damage is tried, and the
/// pause before the second try (doubled before each further one).
constexpr int kOpenAttempts = 3;
constexpr int kOpenPauseMs = 100;
/// SQLite's primary result codes that mean the file itself is damaged.
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;
/// The edge a copy is decoded at to see that it is a picture.
constexpr int kCheckEdge = 64;

constexpr const char *kActionNames[] = {"put", "replace", "delete", "data file", "restore"};
constexpr const char *kKindNames[] = {"inventory", "supplier", "customer", "order", "data file"};
constexpr const char *kOutcomeNames[] = {"pending", "ok", "failed", "queued"};

template<typename Enum, size_t N>
Enum enumOf(const QString &name, const char *const (&names)[N], Enum fallback)
{
    for (size_t i = 0; i < N; ++i) {
        if (name == QLatin1String(names[i]))
            return Enum(i);
    }
    return fallback;
}

QDateTime timeOf(const QString &text)
{
    QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    return when.toUTC();
}

constexpr Failure fail("journal");

/// Runs a statement; false with SQLite's words when it fails.
bool exec(QSqlQuery &query, QString *why)
{
    if (query.exec())
        return true;
    return fail(why, query.lastError().text());
}

bool exec(QSqlDatabase &db, const QString &statement, QString *why)
{
    QSqlQuery query(db);
    if (query.exec(statement))
        return true;
    return fail(why, query.lastError().text());
}

/// A text for a NOT NULL column: Qt binds a null QString as NULL.
QVariant notNull(const QString &text)
{
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

std::atomic<int> connectionCount{0};

/// The process's open connections by database file: the first one checks
/// the file, and a file another connection holds is never set aside.
QMutex openFilesMutex;
QHash<QString, int> openFiles;

/// SQLite's primary result code in an error, -1 when it gives none.
int primaryCode(const QSqlError &error)
{
    bool number = false;
    const int code = error.nativeErrorCode().toInt(&number);
    return number ? code & 0xff : -1;
}

bool damageCode(int primary)
{
    return primary == kSqliteCorrupt || primary == kSqliteNotADatabase;
}

/// The copy of record id is named by the journal itself: "<id>.jpg".
QString ownCopyName(qint64 id)
{
    return QStringLiteral("%1.jpg").arg(id);
}

} // namespace

CheckVerdict checkVerdict(const QString &answer)
{
    if (answer == QLatin1String("ok"))
        return CheckVerdict::Sound;
    // A page that could not be read for a reason other than damage (a log
    // being written beside, an I/O error) leaves the check without a verdict,
    // and what it says of the pages below it with none either.
    static const QRegularExpression unread(QStringLiteral("error code=([0-9]+)"));
    const QStringList lines = answer.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = unread.match(line);
        if (match.hasMatch() && !damageCode(match.captured(1).toInt() & 0xff))
            return CheckVerdict::Unsure;
    }
    return CheckVerdict::Damaged;
}

QString pictureRefusal(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return QStringLiteral("it cannot be read");
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    const QByteArray format = reader.format();
    if (format != "jpeg" && format != "png" && format != "gif" && format != "bmp")
        return QStringLiteral("it is not a BMP, JPEG, GIF or PNG picture");
    const QSize size = reader.size();
    if (!size.isValid())
        return QStringLiteral("its size cannot be read");
    if (qint64(size.width()) * size.height() > kMaxCopyPixels)
        return QStringLiteral("%1 x %2 pixels, more than the %3 megapixels a picture may have")
            .arg(size.width())
            .arg(size.height())
            .arg(kMaxCopyPixels / 1'000'000);
    // Decoded small (a JPEG is decoded at the smaller size directly).
    reader.setScaledSize(
        size.scaled(kCheckEdge, kCheckEdge, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    if (reader.read().isNull())
        return QStringLiteral("it does not decode: %1").arg(reader.errorString());
    return {};
}

QString actionName(JournalAction action)
{
    return QLatin1String(kActionNames[int(action)]);
}

QString kindName(RecordKind kind)
{
    return QLatin1String(kKindNames[int(kind)]);
}

QString outcomeName(JournalOutcome outcome)
{
    return QLatin1String(kOutcomeNames[int(outcome)]);
}

Journal::Journal()
    : m_connection(QStringLiteral("framla-journal-%1").arg(connectionCount.fetch_add(1)))
{}

Journal::~Journal()
{
    close();
}

void Journal::close()
{
    disconnect();
    if (m_open) {
        const QMutexLocker lock(&openFilesMutex);
        if (--openFiles[m_file] <= 0)
            openFiles.remove(m_file);
    }
    m_open = false;
}

void Journal::disconnect()
{
    if (!QSqlDatabase::contains(m_connection))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

bool Journal::open(const QString &dir, QString *message)
{
    close();
    if (message != nullptr)
        message->clear();
    m_dir = dir;
    m_thread = QThread::currentThread();
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return fail(message, QStringLiteral("Qt's SQLite driver is not installed, so no journal "
                                            "is kept (Debian package libqt6sql6-sqlite)."));
    if (!QDir().mkpath(QDir(dir).filePath(QLatin1String(kCopiesDir))))
        return fail(message, QStringLiteral("The folder %1 cannot be made, so no journal is kept.")
                                 .arg(QDir(dir).filePath(QLatin1String(kCopiesDir))));
    const QString path = QDir(dir).filePath(QLatin1String(kJournalFile));
    m_file = QFileInfo(path).absoluteFilePath();
    // Opens of the same file wait for each other, so that the check runs once,
    // before any other connection of the process works on the file.
    const QMutexLocker lock(&openFilesMutex);
    const bool first = openFiles.value(m_file) == 0;
    QString why;
    Opened opened = Opened::Failed;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (attempt > 0)
            QThread::msleep(kOpenPauseMs << (attempt - 1));
        opened = openOnce(path, first, &why);
        if (opened != Opened::Failed)
            break;
    }
    if (opened == Opened::Damaged && !first) {
        // Another connection of the process works on it: it is not set aside
        // under its feet.
        opened = Opened::Failed;
    }
    if (opened == Opened::Failed)
        return fail(message, QStringLiteral("The journal cannot be opened just now (%1); it is "
                                            "left as it is and tried again later.")
                                 .arg(why));
    if (opened == Opened::Damaged) {
        // The damaged file and its log go aside together, under one name,
        // and its copies with them: the new journal names none of them, and
        // they may be the only ones left of pictures the server no longer has.
        const QString stamp = QStringLiteral(".damaged-") +
                              QDateTime::currentDateTimeUtc().toString(u"yyyyMMddTHHmmss'Z'");
        const QString copies = QDir(dir).filePath(QLatin1String(kCopiesDir));
        for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            if (QFile::exists(path + suffix) &&
                !QFile::rename(path + suffix, path + stamp + suffix))
                return fail(message, QStringLiteral("The journal file %1 is damaged (%2) and "
                                                    "cannot be set aside; no journal is kept.")
                                         .arg(path, why));
        }
        if (!QDir().rename(copies, copies + stamp) || !QDir().mkpath(copies))
            return fail(message, QStringLiteral("The journal file %1 is damaged (%2) and its "
                                                "copies cannot be set aside; no journal is kept.")
                                     .arg(path, why));
        const QString setAside =
            QStringLiteral("The journal file was damaged (%1); it was set aside as %2, its "
                           "copies of earlier pictures as %3, and a new journal was started.")
                .arg(why, QLatin1String(kJournalFile) + stamp, QLatin1String(kCopiesDir) + stamp);
        fail(message, setAside);
        QString again;
        if (connect(path, &again) != Opened::Ok) {
            disconnect();
            return fail(message, QStringLiteral("%1 The new journal cannot be opened either (%2).")
                                     .arg(setAside, again));
        }
    }
    ++openFiles[m_file];
    m_open = true;
    removeStrayCopies();
    return true;
}

Journal::Opened Journal::openOnce(const QString &path, bool first, QString *why)
{
    Opened opened = first ? check(path, why) : Opened::Ok;
    if (opened == Opened::Ok)
        opened = connect(path, why);
    if (opened != Opened::Ok)
        disconnect();
    return opened;
}

Journal::Opened Journal::check(const QString &path, QString *why)
{
    // A connection of its own, closed before the journal's is made.
    const QString name = m_connection + QStringLiteral("-check");
    Opened opened = Opened::Ok;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
        QSqlQuery query(db);
        // quick_check reads every page: a file that is not a database fails
        // here ("file is not a database"), a damaged one answers with its faults.
        if (!db.open()) {
            fail(why, db.lastError().text());
            opened = damageCode(primaryCode(db.lastError())) ? Opened::Damaged : Opened::Failed;
        } else if (!query.exec(QStringLiteral("PRAGMA quick_check"))) {
            fail(why, query.lastError().text());
            opened = damageCode(primaryCode(query.lastError())) ? Opened::Damaged : Opened::Failed;
        } else {
            QStringList answer;
            while (query.next())
                answer << query.value(0).toString();
            const QString text = answer.join(QLatin1Char('\n'));
            // The first fault found is enough to say; the header line names
            // only the database.
            const QStringList faults = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            const qsizetype at = faults.size() > 1 && faults.first().startsWith(u"***") ? 1 : 0;
            switch (checkVerdict(text)) {
            case CheckVerdict::Sound:
                break;
            case CheckVerdict::Damaged:
                opened = Opened::Damaged;
                fail(why, QStringLiteral("SQLite's check found: %1").arg(faults.value(at)));
                break;
            case CheckVerdict::Unsure:
                opened = Opened::Failed;
                fail(why, QStringLiteral("SQLite's check could not read the file: %1")
                              .arg(faults.value(at)));
                break;
            }
        }
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return opened;
}

Journal::Opened Journal::connect(const QString &path, QString *why)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    // Damage only when SQLite says the file is damaged or not a database;
    // busy, locked, I/O errors and a full disk leave it as it is.
    const auto failed = [&](const QSqlError &error) {
        fail(why, error.text());
        return damageCode(primaryCode(error)) ? Opened::Damaged : Opened::Failed;
    };
    if (!db.open())
        return failed(db.lastError());
    QSqlQuery query(db);
    const auto value = [&](const QString &statement) -> std::optional<QVariant> {
        if (!query.exec(statement) || !query.next())
            return std::nullopt;
        return query.value(0);
    };
    const auto mode = value(QStringLiteral("PRAGMA journal_mode=WAL"));
    if (!mode)
        return failed(query.lastError());
    if (mode->toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        fail(why, QStringLiteral("the write-ahead log cannot be used"));
        return Opened::Failed;
    }
    if (!query.exec(QStringLiteral("PRAGMA synchronous=FULL")))
        return failed(query.lastError());
    const auto version = value(QStringLiteral("PRAGMA user_version"));
    if (!version)
        return failed(query.lastError());
    if (version->toInt() == kSchemaVersion)
        return Opened::Ok;
    const auto tables = value(QStringLiteral("SELECT count(*) FROM sqlite_schema"));
    if (!tables)
        return failed(query.lastError());
    query.finish();
    if (version->toInt() != 0 || tables->toInt() != 0) {
        fail(why, QStringLiteral("not a journal of this program"));
        return Opened::Damaged;
    }
    return createSchema(why) ? Opened::Ok : Opened::Failed;
}

bool Journal::createSchema(QString *why)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    static const char *const statements[] = {
        "CREATE TABLE entries ("
        " id INTEGER PRIMARY KEY AUTOINCREMENT,"
        " at TEXT NOT NULL, settings TEXT NOT NULL,"
        " address TEXT NOT NULL, port TEXT NOT NULL, user TEXT NOT NULL, db_path TEXT NOT NULL,"
        " action TEXT NOT NULL, kind TEXT NOT NULL, code TEXT NOT NULL,"
        " server_path TEXT NOT NULL, size INTEGER NOT NULL, sha256 TEXT NOT NULL,"
        " outcome TEXT NOT NULL, reason TEXT NOT NULL, restored_from INTEGER NOT NULL,"
        // copy_file is NULL when no copy was taken or it was pruned; the
        // size and hash of a pruned copy stay.
        " copy_file TEXT, copy_size INTEGER NOT NULL, copy_sha256 TEXT NOT NULL)",
        "CREATE INDEX entries_code ON entries(code)",
        "CREATE INDEX entries_at ON entries(at)",
        "PRAGMA user_version = 1",
    };
    if (!db.transaction())
        return fail(why, db.lastError().text());
    for (const char *statement : statements) {
        if (!exec(db, QLatin1String(statement), why)) {
            db.rollback();
            return false;
        }
    }
    return db.commit() || fail(why, db.lastError().text());
}

void Journal::removeStrayCopies()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT copy_file FROM entries WHERE copy_file IS NOT NULL"))) {
        fail(nullptr, query.lastError().text());
        return;
    }
    QSet<QString> named;
    while (query.next())
        named.insert(query.value(0).toString());
    const QDir copies(QDir(m_dir).filePath(QLatin1String(kCopiesDir)));
    // A copy that another connection is writing has no committed record
    // yet: only what was left a while ago is stray.
    const QDateTime settled = QDateTime::currentDateTimeUtc().addSecs(-kStraySeconds);
    const QFileInfoList present = copies.entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo &copy : present) {
        const QString name = copy.fileName();
        if (named.contains(name) || copy.lastModified() > settled)
            continue;
        qCInfo(runtime::lcFramla).noquote() << "journal: removing a copy no record names:" << name;
        QFile::remove(copies.filePath(name));
    }
}

bool Journal::usable(QString *why) const
{
    if (!m_open)
        return fail(why, QStringLiteral("the journal is not open"));
    if (QThread::currentThread() != m_thread)
        return fail(why,
                    QStringLiteral("the journal was used from a thread it does not belong to"));
    return true;
}

QString Journal::copyPath(const QString &name) const
{
    return QDir(m_dir).filePath(QLatin1String(kCopiesDir) + QLatin1Char('/') + name);
}

bool Journal::keepCopy(qint64 id, const QByteArray &previous, QString *why, CopyFate *copy,
                       QString *written)
{
    // A record that was cut off may have left a file of this name (its id is
    // given again after the roll-back); it is written over.
    const QString refusal = pictureRefusal(previous);
    if (!refusal.isEmpty()) {
        *copy = CopyFate::NotPicture;
        return fail(why, QStringLiteral("what was on the server before is not a picture (%1), so "
                                        "no copy of it is kept")
                             .arg(refusal));
    }
    const QString name = ownCopyName(id);
    QSqlQuery update(QSqlDatabase::database(m_connection, false));
    update.prepare(QStringLiteral(
        "UPDATE entries SET copy_file = ?, copy_size = ?, copy_sha256 = ? WHERE id = ?"));
    update.addBindValue(name);
    update.addBindValue(qint64(previous.size()));
    update.addBindValue(runtime::sha256Hex(previous));
    update.addBindValue(id);
    QString copyWhy;
    if (!writeDurably(copyPath(name), previous, &copyWhy) || !exec(update, &copyWhy)) {
        QFile::remove(copyPath(name));
        *copy = CopyFate::NotKept;
        return fail(why, QStringLiteral("the picture that was on the server before is not kept: %1")
                             .arg(copyWhy));
    }
    *written = name;
    *copy = CopyFate::Kept;
    return true;
}

qint64 Journal::record(const JournalEntry &entry, const QByteArray &previous, QString *why,
                       CopyFate *copy)
{
    CopyFate fate = previous.isEmpty() ? CopyFate::None : CopyFate::NotKept;
    const auto done = [&](qint64 id) {
        if (copy != nullptr)
            *copy = fate;
        return id;
    };
    if (!usable(why))
        return done(0);
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction()) {
        fail(why, db.lastError().text());
        return done(0);
    }
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral(
        "INSERT INTO entries (at, settings, address, port, user, db_path, action, kind, code,"
        " server_path, size, sha256, outcome, reason, restored_from, copy_size, copy_sha256)"
        " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, -1, '')"));
    const QDateTime when = entry.when.isValid() ? entry.when : QDateTime::currentDateTimeUtc();
    for (const QVariant &value :
         {notNull(timeText(when)), notNull(entry.settingsFile), notNull(entry.server.address),
          notNull(entry.server.port), notNull(entry.server.user), notNull(entry.server.dbPath),
          notNull(actionName(entry.action)), notNull(kindName(entry.kind)), notNull(entry.code),
          notNull(entry.serverPath), QVariant(entry.size), notNull(entry.sha256),
          notNull(outcomeName(entry.outcome)), notNull(entry.reason), QVariant(entry.restoredFrom)})
        insert.addBindValue(value);
    if (!exec(insert, why)) {
        db.rollback();
        return done(0);
    }
    const qint64 id = insert.lastInsertId().toLongLong();
    QString copyName;
    if (!previous.isEmpty())
        keepCopy(id, previous, why, &fate, &copyName);
    if (!db.commit()) {
        fail(why, db.lastError().text());
        db.rollback();
        if (!copyName.isEmpty())
            QFile::remove(copyPath(copyName));
        fate = previous.isEmpty() ? CopyFate::None : CopyFate::NotKept;
        return done(0);
    }
    return done(id);
}

qint64 Journal::reuse(qint64 id, const JournalEntry &entry, const QByteArray &previous,
                      QString *why, CopyFate *copy)
{
    if (copy != nullptr)
        *copy = previous.isEmpty() ? CopyFate::None : CopyFate::NotKept;
    if (!usable(why))
        return 0;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (id <= 0 || !db.transaction())
        return record(entry, previous, why, copy);
    QSqlQuery update(db);
    update.prepare(QStringLiteral(
        "UPDATE entries SET action = ?, server_path = ?, size = ?, sha256 = ?, outcome = ?,"
        " reason = '' WHERE id = ?"));
    for (const QVariant &value :
         {notNull(actionName(entry.action)), notNull(entry.serverPath), QVariant(entry.size),
          notNull(entry.sha256), notNull(outcomeName(JournalOutcome::Pending)), QVariant(id)})
        update.addBindValue(value);
    if (!exec(update, why) || update.numRowsAffected() != 1) {
        db.rollback();
        return record(entry, previous, why, copy);
    }
    CopyFate fate = previous.isEmpty() ? CopyFate::None : CopyFate::NotKept;
    QString copyName;
    if (!previous.isEmpty()) {
        QSqlQuery kept(db);
        kept.prepare(QStringLiteral("SELECT copy_file, copy_sha256 FROM entries WHERE id = ?"));
        kept.addBindValue(id);
        if (exec(kept, why) && kept.next() && kept.value(0).toString() == ownCopyName(id) &&
            kept.value(1).toString() == runtime::sha256Hex(previous) &&
            QFile::exists(copyPath(ownCopyName(id))))
            fate = CopyFate::Kept;
        kept.finish();
        if (fate != CopyFate::Kept)
            keepCopy(id, previous, why, &fate, &copyName);
    }
    if (!db.commit()) {
        fail(why, db.lastError().text());
        db.rollback();
        fate = previous.isEmpty() ? CopyFate::None : CopyFate::NotKept;
    }
    if (copy != nullptr)
        *copy = fate;
    return id;
}

bool Journal::setOutcome(qint64 id, JournalOutcome outcome, const QString &reason, QString *why)
{
    if (!usable(why))
        return false;
    QSqlQuery update(QSqlDatabase::database(m_connection, false));
    update.prepare(QStringLiteral("UPDATE entries SET outcome = ?, reason = ? WHERE id = ?"));
    update.addBindValue(outcomeName(outcome));
    update.addBindValue(notNull(reason));
    update.addBindValue(id);
    if (!exec(update, why))
        return false;
    return update.numRowsAffected() == 1 ||
           fail(why, QStringLiteral("the journal holds no record %1").arg(id));
}

namespace {

/// The columns entries() and entry() read, in the order rowOf() takes them.
constexpr auto kColumns =
    "id, at, settings, address, port, user, db_path, action, kind, code, server_path,"
    " size, sha256, outcome, reason, restored_from, copy_file, copy_size, copy_sha256";

JournalEntry rowOf(const QSqlQuery &query)
{
    JournalEntry entry;
    const auto text = [&](int column) { return query.value(column).toString(); };
    entry.id = query.value(0).toLongLong();
    entry.when = timeOf(text(1));
    entry.settingsFile = text(2);
    entry.server = {text(3), text(4), text(5), text(6)};
    entry.action = enumOf(text(7), kActionNames, JournalAction::Put);
    entry.kind = enumOf(text(8), kKindNames, RecordKind::Inventory);
    entry.code = text(9);
    entry.serverPath = text(10);
    entry.size = query.value(11).toLongLong();
    entry.sha256 = text(12);
    entry.outcome = enumOf(text(13), kOutcomeNames, JournalOutcome::Pending);
    entry.reason = text(14);
    entry.restoredFrom = query.value(15).toLongLong();
    // Only a copy under the journal's own name counts.
    entry.previousKept = text(16) == ownCopyName(entry.id);
    entry.previousSize = query.value(17).toLongLong();
    entry.previousSha256 = text(18);
    return entry;
}

} // namespace

QList<JournalEntry> Journal::entries(const JournalFilter &filter, int limit, QString *why)
{
    if (!usable(why))
        return {};
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("SELECT %1 FROM entries WHERE (? = '' OR code LIKE ? ESCAPE '\\')"
                                 " AND (? = '' OR (at >= ? AND at < ?)) ORDER BY id DESC LIMIT ?")
                      .arg(QLatin1String(kColumns)));
    QString pattern = filter.code;
    pattern.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('%'), QLatin1String("\\%"))
        .replace(QLatin1Char('_'), QLatin1String("\\_"));
    const auto dayStart = [](QDate day) {
        return day.isValid() ? timeText(day.startOfDay(Qt::LocalTime)) : QStringLiteral("");
    };
    query.addBindValue(notNull(filter.code));
    query.addBindValue(QLatin1Char('%') + pattern + QLatin1Char('%'));
    query.addBindValue(dayStart(filter.day));
    query.addBindValue(dayStart(filter.day));
    query.addBindValue(dayStart(filter.day.addDays(1)));
    query.addBindValue(limit);
    if (!exec(query, why))
        return {};
    QList<JournalEntry> found;
    while (query.next())
        found.append(rowOf(query));
    return found;
}

std::optional<JournalEntry> Journal::entry(qint64 id, QString *why)
{
    if (!usable(why))
        return std::nullopt;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(
        QStringLiteral("SELECT %1 FROM entries WHERE id = ?").arg(QLatin1String(kColumns)));
    query.addBindValue(id);
    if (!exec(query, why))
        return std::nullopt;
    if (!query.next()) {
        fail(why, QStringLiteral("the journal holds no record %1").arg(id));
        return std::nullopt;
    }
    return rowOf(query);
}

std::optional<QByteArray> Journal::previousPicture(qint64 id, QString *why)
{
    if (!usable(why))
        return std::nullopt;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("SELECT copy_file, copy_sha256 FROM entries WHERE id = ?"));
    query.addBindValue(id);
    if (!exec(query, why))
        return std::nullopt;
    // Only the journal's own name is read: a record never leads elsewhere.
    if (!query.next() || query.value(0).toString() != ownCopyName(id)) {
        fail(why,
             QStringLiteral("the journal keeps no copy of the picture before record %1").arg(id));
        return std::nullopt;
    }
    QFile file(copyPath(ownCopyName(id)));
    if (!file.open(QIODevice::ReadOnly)) {
        fail(why, QStringLiteral("the copy %1 cannot be read: %2")
                      .arg(file.fileName(), file.errorString()));
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (runtime::sha256Hex(bytes) != query.value(1).toString()) {
        fail(why, QStringLiteral("the copy %1 is damaged").arg(file.fileName()));
        return std::nullopt;
    }
    const QString refusal = pictureRefusal(bytes);
    if (!refusal.isEmpty()) {
        fail(why,
             QStringLiteral("the copy %1 is not a picture (%2)").arg(file.fileName(), refusal));
        return std::nullopt;
    }
    return bytes;
}

PruneResult Journal::prune(qint64 limitBytes, QString *why)
{
    PruneResult result;
    if (!usable(why))
        return result;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT id, kind, code, copy_file, copy_size FROM entries"
                                   " WHERE copy_file IS NOT NULL ORDER BY id"))) {
        fail(why, query.lastError().text());
        return result;
    }
    struct Copy {
        qint64 id;
        QString record;
        QString file;
        qint64 size;
    };
    QList<Copy> copies;
    QHash<QString, qint64> newest; // record -> id of its newest copy
    while (query.next()) {
        // A name the journal did not give is never followed (nor counted).
        if (query.value(3).toString() != ownCopyName(query.value(0).toLongLong())) {
            fail(nullptr, QStringLiteral("record %1 names a copy %2 the journal did not make; it "
                                         "is left alone")
                              .arg(query.value(0).toLongLong())
                              .arg(query.value(3).toString()));
            continue;
        }
        const QString record =
            query.value(1).toString() + QLatin1Char('\n') + query.value(2).toString();
        copies.append({query.value(0).toLongLong(), record, query.value(3).toString(),
                       query.value(4).toLongLong()});
        newest[record] = copies.last().id;
        result.kept += copies.last().size;
    }
    query.finish();
    const PruneResult untouched = result;
    QList<Copy> gone;
    for (const Copy &copy : copies) {
        if (result.kept <= limitBytes)
            break;
        if (newest.value(copy.record) == copy.id)
            continue;
        gone.append(copy);
        result.kept -= copy.size;
    }
    if (gone.isEmpty())
        return result;
    // The records let go of their copies first; a cut before the files are
    // removed leaves files no record names, which the next open removes.
    if (!db.transaction()) {
        fail(why, db.lastError().text());
        return untouched;
    }
    QSqlQuery update(db);
    update.prepare(QStringLiteral("UPDATE entries SET copy_file = NULL WHERE id = ?"));
    for (const Copy &copy : std::as_const(gone)) {
        update.bindValue(0, copy.id);
        if (!exec(update, why)) {
            db.rollback();
            return untouched;
        }
    }
    if (!db.commit()) {
        fail(why, db.lastError().text());
        db.rollback();
        return untouched;
    }
    for (const Copy &copy : std::as_const(gone)) {
        QFile::remove(copyPath(copy.file));
        ++result.removed;
        result.freed += copy.size;
    }
    syncDirectory(QDir(m_dir).filePath(QLatin1String(kCopiesDir)));
    return result;
}

} // namespace framla::history
