#include "journal.h"

#include "durable_file.h"
#include "runtime/logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
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

/// Times as the database keeps them: UTC, fixed width, so that text order
/// is time order.
QString timeText(const QDateTime &when)
{
    return when.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz'Z'"));
}

QDateTime timeOf(const QString &text)
{
    QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    return when.toUTC();
}

bool fail(QString *why, const QString &reason)
{
    qCWarning(runtime::lcFramla).noquote() << "journal:" << reason;
    if (why != nullptr)
        *why = reason;
    return false;
}

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

/// The first column of the first row of a statement.
std::optional<QVariant> scalar(QSqlDatabase &db, const QString &statement, QString *why)
{
    QSqlQuery query(db);
    if (!query.exec(statement) || !query.next()) {
        fail(why, query.lastError().text());
        return std::nullopt;
    }
    return query.value(0);
}

/// A text for a NOT NULL column: Qt binds a null QString as NULL.
QVariant notNull(const QString &text)
{
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

std::atomic<int> connectionCount{0};

} // namespace

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
    QString why;
    if (!connect(path, &why)) {
        disconnect();
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
        if (!connect(path, &again)) {
            disconnect();
            return fail(message, QStringLiteral("%1 The new journal cannot be opened either (%2).")
                                     .arg(setAside, again));
        }
    }
    m_open = true;
    removeStrayCopies();
    return true;
}

bool Journal::connect(const QString &path, QString *why)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open())
        return fail(why, db.lastError().text());
    // quick_check reads every page: a file that is not a database fails
    // here ("file is not a database"), a damaged one answers with its faults.
    const auto check = scalar(db, QStringLiteral("PRAGMA quick_check"), why);
    if (!check)
        return false;
    if (check->toString() != QLatin1String("ok")) {
        // The first fault found is enough to say; the header line names
        // only the database.
        const QStringList faults = check->toString().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const qsizetype first = faults.size() > 1 && faults.first().startsWith(u"***") ? 1 : 0;
        return fail(why, QStringLiteral("SQLite's check found: %1").arg(faults.value(first)));
    }
    const auto mode = scalar(db, QStringLiteral("PRAGMA journal_mode=WAL"), why);
    if (!mode)
        return false;
    if (mode->toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        return fail(why, QStringLiteral("the write-ahead log cannot be used"));
    if (!exec(db, QStringLiteral("PRAGMA synchronous=FULL"), why))
        return false;
    const auto version = scalar(db, QStringLiteral("PRAGMA user_version"), why);
    if (!version)
        return false;
    if (version->toInt() == kSchemaVersion)
        return true;
    const auto tables = scalar(db, QStringLiteral("SELECT count(*) FROM sqlite_schema"), why);
    if (!tables)
        return false;
    if (version->toInt() != 0 || tables->toInt() != 0)
        return fail(why, QStringLiteral("not a journal of this program"));
    return createSchema(why);
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

qint64 Journal::record(const JournalEntry &entry, const QByteArray &previous, QString *why)
{
    if (!usable(why))
        return 0;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction()) {
        fail(why, db.lastError().text());
        return 0;
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
        return 0;
    }
    const qint64 id = insert.lastInsertId().toLongLong();
    QString copyWhy;
    QString copyName;
    if (!previous.isEmpty()) {
        // A record that was cut off may have left a file of this name (its
        // id is given again after the roll-back); it is written over.
        copyName = QStringLiteral("%1.jpg").arg(id);
        QSqlQuery update(db);
        update.prepare(QStringLiteral(
            "UPDATE entries SET copy_file = ?, copy_size = ?, copy_sha256 = ? WHERE id = ?"));
        update.addBindValue(copyName);
        update.addBindValue(qint64(previous.size()));
        update.addBindValue(sha256Hex(previous));
        update.addBindValue(id);
        if (!writeDurably(copyPath(copyName), previous, &copyWhy) || !exec(update, &copyWhy)) {
            fail(why, QStringLiteral("the picture that was on the server before is not kept: %1")
                          .arg(copyWhy));
            QFile::remove(copyPath(copyName));
            copyName.clear();
        }
    }
    if (!db.commit()) {
        fail(why, db.lastError().text());
        db.rollback();
        if (!copyName.isEmpty())
            QFile::remove(copyPath(copyName));
        return 0;
    }
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

QList<JournalEntry> Journal::entries(const JournalFilter &filter, int limit, QString *why)
{
    if (!usable(why))
        return {};
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral(
        "SELECT id, at, settings, address, port, user, db_path, action, kind, code, server_path,"
        " size, sha256, outcome, reason, restored_from, copy_file, copy_size, copy_sha256"
        " FROM entries WHERE (? = '' OR code LIKE ? ESCAPE '\\')"
        " AND (? = '' OR (at >= ? AND at < ?)) ORDER BY id DESC LIMIT ?"));
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
    while (query.next()) {
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
        entry.previousKept = !query.value(16).isNull();
        entry.previousSize = query.value(17).toLongLong();
        entry.previousSha256 = text(18);
        found.append(entry);
    }
    return found;
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
    if (!query.next() || query.value(0).isNull()) {
        fail(why,
             QStringLiteral("the journal keeps no copy of the picture before record %1").arg(id));
        return std::nullopt;
    }
    QFile file(copyPath(query.value(0).toString()));
    if (!file.open(QIODevice::ReadOnly)) {
        fail(why, QStringLiteral("the copy %1 cannot be read: %2")
                      .arg(file.fileName(), file.errorString()));
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (sha256Hex(bytes) != query.value(1).toString()) {
        fail(why, QStringLiteral("the copy %1 is damaged").arg(file.fileName()));
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
