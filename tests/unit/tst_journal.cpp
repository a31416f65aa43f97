// The journal on a real SQLite file: what is recorded comes back whole and
// newest first, filtered by code and day; copies of previous pictures come
// back checked and are pruned oldest first but never the last of a record;
// only pictures, only under the journal's own names; a busy file is kept;
// a damaged file is set aside; a writer killed with SIGKILL loses nothing
// it had committed.
#include "core/program_state.h"
#include "history/durable_file.h"
#include "history/journal.h"
#include "history/journal_keeper.h"
#include "history/outbox.h"
#include "runtime/files.h"
#include "server/put_journal.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace framla;
using namespace framla::history;

namespace {

constexpr auto kWriterVariable = "FRAMLA_JOURNAL_WRITER";

JournalEntry entry(const QString &code, RecordKind kind = RecordKind::Inventory,
                   const QDateTime &when = QDateTime::currentDateTimeUtc())
{
    JournalEntry e;
    e.when = when.toUTC();
    e.settingsFile = "shop";
    e.server = {"10.0.0.5", "22", "clerk", "/srv/shop"};
    e.action = JournalAction::Replace;
    e.kind = kind;
    e.code = code;
    e.serverPath = "/srv/shop/images/" + code + ".jpg";
    e.size = 5;
    e.sha256 = runtime::sha256Hex("bytes");
    return e;
}

/// A picture of one pixel in format ("BMP", "JPG", "PNG"), padded to size bytes with fill.
QByteArray picture(const char *format, qsizetype size = 0, char fill = '\0')
{
    QImage image(1, 1, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return buffer.data().leftJustified(size, fill);
}

/// The copy the killed writer keeps with record id (of code "K<id>").
QByteArray copyOf(qint64 id)
{
    return picture("BMP", 20000, char('a' + id % 26));
}

/// Writes records into a new journal, printing each id once it is
/// committed, until it is killed.
int writeUntilKilled(const QString &dir)
{
    Journal journal;
    if (!journal.open(dir))
        return 2;
    for (qint64 i = 1;; ++i) {
        const qint64 id = journal.record(entry(QStringLiteral("K%1").arg(i)), copyOf(i));
        if (id != i || !journal.setOutcome(id, JournalOutcome::Ok))
            return 3;
        std::printf("%lld\n", id);
        std::fflush(stdout);
    }
}

} // namespace

class TestJournal : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { QVERIFY(m_dir.emplace().isValid()); }
    void cleanup() { QSqlDatabase::removeDatabase("raw"); }
    void recordsAndCopiesComeBackWhole();
    void filter_data();
    void filter();
    void prune_data();
    void prune();
    void damagedFileIsSetAside_data();
    void damagedFileIsSetAside();
    void onlyDamageIsSetAside_data();
    void onlyDamageIsSetAside();
    void copiesArePicturesOfOwnNames_data();
    void copiesArePicturesOfOwnNames();
    void putLearnsOfItsRecordAndCopy_data();
    void putLearnsOfItsRecordAndCopy();
    void killedWriterLosesNothingCommitted();

private:
    /// Runs a statement on the test's own connection to the journal, open until cleanup().
    bool raw(const QString &statement)
    {
        QSqlDatabase db = QSqlDatabase::contains("raw")
                              ? QSqlDatabase::database("raw")
                              : QSqlDatabase::addDatabase("QSQLITE", "raw");
        db.setDatabaseName(m_dir->filePath("journal.db"));
        return (db.isOpen() || db.open()) && QSqlQuery(db).exec(statement);
    }

    std::optional<QTemporaryDir> m_dir;
};

void TestJournal::recordsAndCopiesComeBackWhole()
{
    // Copies no record names: one left long ago, one another connection may be writing.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("journal-copies")));
    for (const auto &[name, age] : {std::pair{"77.jpg", 3600}, {"78.jpg", 0}}) {
        QFile copy(m_dir->filePath(QStringLiteral("journal-copies/") + QLatin1String(name)));
        QVERIFY(copy.open(QIODevice::WriteOnly) &&
                copy.setFileTime(QDateTime::currentDateTime().addSecs(-age),
                                 QFileDevice::FileModificationTime));
    }
    Journal journal;
    QVERIFY(journal.open(m_dir->path()));
    QCOMPARE(QDir(m_dir->filePath(QStringLiteral("journal-copies"))).entryList(QDir::Files),
             QStringList{"78.jpg"});
    JournalEntry first = entry(QStringLiteral("AB10001"));
    JournalEntry second = entry(QStringLiteral("1234"), RecordKind::Supplier);
    second.action = JournalAction::Delete;
    second.size = -1;
    second.sha256.clear();
    const QByteArray before = picture("BMP", 300, 'p');
    first.id = journal.record(first, before);
    second.id = journal.record(second);
    QVERIFY(first.id > 0 && second.id > first.id);
    QVERIFY(journal.setOutcome(first.id, JournalOutcome::Failed, QStringLiteral("refused")));
    QVERIFY(!journal.setOutcome(999, JournalOutcome::Ok));
    first.outcome = JournalOutcome::Failed;
    first.reason = QStringLiteral("refused");
    first.previousSize = 300;
    first.previousSha256 = runtime::sha256Hex(before);
    first.previousKept = true;
    QCOMPARE(journal.entries(), QList<JournalEntry>({second, first}));

    QCOMPARE(journal.previousPicture(first.id), std::optional(before));
    QString why;
    QCOMPARE(journal.previousPicture(second.id, &why), std::nullopt);
    QCOMPARE(
        why,
        QStringLiteral("the journal keeps no copy of the picture before record %1").arg(second.id));
    QFile copy(m_dir->filePath(QStringLiteral("journal-copies/%1.jpg").arg(first.id)));
    QVERIFY(copy.open(QIODevice::ReadWrite) && copy.write("X") == 1);
    copy.close();
    QCOMPARE(journal.previousPicture(first.id, &why), std::nullopt);
    QCOMPARE(why, QStringLiteral("the copy %1 is damaged").arg(copy.fileName()));
}

void TestJournal::filter_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("day"); // 0: any; else the day of the month
    QTest::addColumn<QStringList>("found");
    QTest::newRow("all") << "" << 0 << QStringList{"AC1", "X_1", "AB2", "AB1"};
    QTest::newRow("part of a code, any case") << "b" << 0 << QStringList{"AB2", "AB1"};
    QTest::newRow("wildcards are letters") << "_" << 0 << QStringList{"X_1"};
    QTest::newRow("percent") << "%" << 0 << QStringList{};
    QTest::newRow("local day, both ends") << "" << 2 << QStringList{"X_1", "AB2"};
    QTest::newRow("code and day") << "AB" << 2 << QStringList{"AB2"};
}

void TestJournal::filter()
{
    QFETCH(QString, code);
    QFETCH(int, day);
    QFETCH(QStringList, found);
    Journal journal;
    QVERIFY(journal.open(m_dir->path()));
    const auto local = [](int d, int h, int m) {
        return QDateTime(QDate(2024, 5, d), QTime(h, m), Qt::LocalTime);
    };
    const std::pair<const char *, QDateTime> made[] = {{"AB1", local(1, 23, 59)},
                                                       {"AB2", local(2, 0, 0)},
                                                       {"X_1", local(2, 23, 59)},
                                                       {"AC1", local(3, 0, 0)}};
    for (const auto &[name, when] : made)
        QVERIFY(journal.record(entry(QLatin1String(name), RecordKind::Inventory, when)) > 0);
    QStringList codes;
    const QDate date = day == 0 ? QDate() : QDate(2024, 5, day);
    for (const JournalEntry &e : journal.entries({code, date}))
        codes.append(e.code);
    QCOMPARE(codes, found);
}

void TestJournal::prune_data()
{
    // Five copies of 100 bytes: A, A, B, A (as a supplier), A; the newest
    // of inventory A (5), of B (3) and of supplier A (4) always stay.
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<QList<qint64>>("kept");
    QTest::newRow("under the limit") << qint64(500) << QList<qint64>{5, 4, 3, 2, 1};
    QTest::newRow("oldest first") << qint64(450) << QList<qint64>{5, 4, 3, 2};
    QTest::newRow("never the last of a record") << qint64(0) << QList<qint64>{5, 4, 3};
}

void TestJournal::prune()
{
    QFETCH(qint64, limit);
    QFETCH(QList<qint64>, kept);
    Journal journal;
    QVERIFY(journal.open(m_dir->path()));
    for (const auto &[code, kind] : {std::pair{"A", RecordKind::Inventory},
                                     {"A", RecordKind::Inventory},
                                     {"B", RecordKind::Inventory},
                                     {"A", RecordKind::Supplier},
                                     {"A", RecordKind::Inventory}})
        QVERIFY(journal.record(entry(QLatin1String(code), kind), picture("BMP", 100, 'x')) > 0);
    const PruneResult result = journal.prune(limit);
    QList<qint64> left;
    for (const JournalEntry &e : journal.entries())
        if (e.previousKept)
            left.append(e.id);
    QCOMPARE(left, kept);
    QCOMPARE(result.removed, 5 - kept.size());
    QCOMPARE(result.kept, 100 * kept.size());
    QCOMPARE(QDir(m_dir->filePath(QStringLiteral("journal-copies"))).entryList(QDir::Files).size(),
             kept.size());
}

void TestJournal::damagedFileIsSetAside_data()
{
    // Bytes written over a journal of 200 records (pages of 4096 bytes).
    QTest::addColumn<qint64>("at");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("not a database") << qint64(0) << QByteArray(4096, '\xA5');
    QTest::newRow("a page overwritten") << qint64(4096) << QByteArray(4096, '\xA5');
    QTest::newRow("another version's") << qint64(63) << QByteArray("\x07"); // user_version
}

void TestJournal::damagedFileIsSetAside()
{
    QFETCH(qint64, at);
    QFETCH(QByteArray, bytes);
    {
        Journal first;
        QVERIFY(first.open(m_dir->path()));
        for (int i = 0; i < 200; ++i)
            QVERIFY(first.record(entry(QStringLiteral("P%1").arg(i)),
                                 i % 2 != 0 ? picture("BMP", 60, 'c') : QByteArray()) > 0);
    }
    QFile file(m_dir->filePath(QStringLiteral("journal.db")));
    QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(at) && file.write(bytes) == bytes.size());
    const qint64 damagedSize = file.size();
    file.close();

    Journal journal;
    QString message;
    QVERIFY(journal.open(m_dir->path(), &message));
    QVERIFY2(message.startsWith(QStringLiteral("The journal file was damaged (")),
             qPrintable(message));
    const QStringList aside =
        QDir(m_dir->path()).entryList({QStringLiteral("journal.db.damaged-*")}, QDir::Files);
    QCOMPARE(aside.size(), 1);
    const QString copies = QString(aside.first()).replace("journal.db", "journal-copies");
    QVERIFY(message.endsWith(QStringLiteral("it was set aside as %1, its copies of earlier "
                                            "pictures as %2, and a new journal was started.")
                                 .arg(aside.first(), copies)));
    QCOMPARE(QFile(m_dir->filePath(aside.first())).size(), damagedSize);
    QCOMPARE(QDir(m_dir->filePath(copies)).entryList(QDir::Files).size(), 100);
    QVERIFY(journal.record(entry(QStringLiteral("NEW"))) > 0);
    QCOMPARE(journal.entries().size(), 1);
}

void TestJournal::onlyDamageIsSetAside_data()
{
    // SQLite's check at start answers (below its header line), or an obstacle stands before
    // a journal of three records: it is kept as it is, and whole once the obstacle is gone.
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<CheckVerdict>("verdict");
    // clang-format off
    QTest::newRow("short read beside a log write") << "Page 3: unable to get the page. error code=522" << CheckVerdict::Unsure;
    QTest::newRow("I/O error, then pages it could not reach") << "Page 3: unable to get the page. error code=10\nPage 4 is never used" << CheckVerdict::Unsure;
    QTest::newRow("page damaged") << "Page 3: unable to get the page. error code=11" << CheckVerdict::Damaged;
    QTest::newRow("locked by another connection") << "lock" << CheckVerdict::Unsure;
    QTest::newRow("its log cannot be opened") << "wal" << CheckVerdict::Unsure;
    // clang-format on
}

void TestJournal::onlyDamageIsSetAside()
{
    QFETCH(QString, obstacle);
    QFETCH(CheckVerdict, verdict);
    if (obstacle.startsWith("Page")) {
        QCOMPARE(checkVerdict("*** in database main ***\n" + obstacle), verdict);
        return;
    }
    Journal journal;
    QVERIFY(journal.open(m_dir->path()));
    for (int i = 0; i < 3; ++i)
        QVERIFY(journal.record(entry("E")) > 0);
    journal.close();
    const QString wal = m_dir->filePath("journal.db-wal");
    QVERIFY(obstacle == "wal" ? QDir().mkdir(wal)
                              : raw("PRAGMA locking_mode=EXCLUSIVE") &&
                                    raw("UPDATE entries SET reason = 'held'"));
    QString message;
    QVERIFY(!journal.open(m_dir->path(), &message));
    QVERIFY2(message.startsWith("The journal cannot be opened just now ("), qPrintable(message));
    QCOMPARE(QDir(m_dir->path()).entryList({"*damaged*"}, QDir::AllEntries), QStringList());
    cleanup();
    QVERIFY(QDir().rmdir(wal) == (obstacle == "wal"));
    QVERIFY(journal.open(m_dir->path(), &message));
    QCOMPARE(message, QString());
    QCOMPARE(journal.entries().size(), 3);
}

void TestJournal::copiesArePicturesOfOwnNames_data()
{
    // What was on the server before record 1 (of three of one code) is kept only when it is
    // a picture; planted as the copy record 1 names (unless a file is there), it is given
    // back only when it is a picture of the journal's own name, and pruned only under it.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");  ///< in journal-copies; 1.jpg is the journal's own
    QTest::addColumn<QString>("after"); ///< kept, given back, left by the prune
    const QByteArray huge = picture("PNG").replace(
        8, 25, QByteArray::fromHex("0000000d4948445200004e2000004e2008020000006c12d16e"));
    // clang-format off
    QTest::newRow("a text file through a link") << QByteArray("password=hunter2\n") << "1.jpg" << "what was on the server before is not a picture (it is not a BMP, JPEG, GIF or PNG picture), so no copy of it is kept; the copy <dir>/journal-copies/1.jpg is not a picture (it is not a BMP, JPEG, GIF or PNG picture); gone";
    QTest::newRow("a JPEG's first bytes, nothing more") << QByteArray("\xFF\xD8\xFF\xE0 not really") << "1.jpg" << "what was on the server before is not a picture (its size cannot be read), so no copy of it is kept; the copy <dir>/journal-copies/1.jpg is not a picture (its size cannot be read); gone";
    QTest::newRow("a header claiming 400 megapixels") << huge << "1.jpg" << "what was on the server before is not a picture (20000 x 20000 pixels, more than the 100 megapixels a picture may have), so no copy of it is kept; the copy <dir>/journal-copies/1.jpg is not a picture (20000 x 20000 pixels, more than the 100 megapixels a picture may have); gone";
    QTest::newRow("out of the folder") << picture("JPG") << "../victim.txt" << "kept; the journal keeps no copy of the picture before record 1; left";
    QTest::newRow("another record's copy") << picture("JPG") << "3.jpg" << "kept; the journal keeps no copy of the picture before record 1; left";
    QTest::newRow("a name in the folder") << picture("JPG") << "notes.jpg" << "kept; the journal keeps no copy of the picture before record 1; left";
    // clang-format on
}

void TestJournal::copiesArePicturesOfOwnNames()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(QString, after);
    Journal journal;
    QString why;
    CopyFate fate = CopyFate::None;
    QVERIFY(journal.open(m_dir->path()) && journal.record(entry("A"), bytes, &why, &fate) == 1);
    QStringList said = {fate == CopyFate::Kept ? "kept" : why};
    QVERIFY(journal.record(entry("A"), picture("PNG")) == 2 &&
            journal.record(entry("A"), picture("BMP")) == 3);
    const QString planted = m_dir->filePath("journal-copies/" + name);
    QVERIFY(QFile::exists(planted) || runtime::writeWholeFile(planted, bytes));
    const std::optional<QByteArray> there = runtime::readWholeFile(planted);
    QVERIFY(there && raw(QString("UPDATE entries SET copy_file = '%1', copy_sha256 "
                                 "= '%2' WHERE id = 1")
                             .arg(name, runtime::sha256Hex(*there))));
    said << (journal.previousPicture(1, &why) ? "restored" : why);
    journal.prune(0);
    said << (runtime::readWholeFile(planted) == there ? "left" : "gone");
    QCOMPARE(said.join("; ").replace(m_dir->path(), "<dir>"), after);
}

void TestJournal::putLearnsOfItsRecordAndCopy_data()
{
    // What journalBeginPut() tells a replace of its record and the copy of the picture
    // before it; a retry of a put waiting in the outbox goes on in that put's record.
    QTest::addColumn<QByteArray>("previous");
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("told"); ///< what it says | the newest record, the outbox's | why
    const QByteArray jpeg = picture("JPG");
    // clang-format off
    QTest::newRow("not a picture") << QByteArray("secret") << "" << "record 1 of 1 kept false missing true not a picture true | replace pending its copy false noted 0 | what was on the server before is not a picture (it is not a BMP, JPEG, GIF or PNG picture), so no copy of it is kept";
    QTest::newRow("copies cannot be written (a full disk)") << jpeg << "copies" << "record 1 of 1 kept false missing true not a picture false | replace pending its copy false noted 0 | the picture that was on the server before is not kept: cannot write <dir>/journal-copies/1.jpg: Not a directory";
    QTest::newRow("journal locked by another process") << jpeg << "lock" << "record 0 of 0 kept false missing true not a picture false | put pending its copy false noted 0 | database is locked Unable to fetch row";
    QTest::newRow("a retry after a queued put") << jpeg << "retry" << "record 1 of 1 kept true missing false not a picture false | replace pending its copy true noted 1 |";
    QTest::newRow("a retry, its record gone") << jpeg << "retry, its record gone" << "record 1 of 1 kept true missing false not a picture false | replace pending its copy true noted 1 |";
    // clang-format on
}

void TestJournal::putLearnsOfItsRecordAndCopy()
{
    QFETCH(QByteArray, previous);
    QFETCH(QString, obstacle);
    QFETCH(QString, told);
    JournalKeeper keeper(m_dir->path());
    Outbox outbox(m_dir->path());
    ProgramState state;
    state.services.journal = &keeper;
    state.services.outbox = &outbox;
    Journal &journal = *keeper.forThisThread();
    JournalEntry first = entry("AB10001");
    first.action = JournalAction::Put;
    first.outcome = JournalOutcome::Queued;
    OutboxEntry waiting;
    waiting.code = waiting.name = "AB10001";
    waiting.journalId = obstacle == "retry" ? journal.record(first) : 99;
    const QString id = obstacle.startsWith("retry") ? outbox.add(waiting, previous) : QString();
    if (obstacle == "lock") // a write under way, never ended: every other writer waits for it
        QVERIFY(raw("BEGIN IMMEDIATE"));
    if (obstacle == "copies") // a file in their folder's place
        QVERIFY(QDir(m_dir->filePath("journal-copies")).removeRecursively() &&
                runtime::writeWholeFile(m_dir->filePath("journal-copies"), "a file"));
    const auto begun = server::journalBeginPut(state, entry("AB10001"), previous, id);
    const JournalEntry record = journal.entries().value(0);
    QString said;
    QDebug(&said).noquote() << "record" << begun.id << "of" << journal.entries().size() << "kept"
                            << begun.copyKept << "missing" << begun.copyMissing << "not a picture"
                            << begun.notPicture << "|" << actionName(record.action)
                            << outcomeName(record.outcome) << "its copy" << record.previousKept
                            << "noted" << outbox.entry(id).value_or(OutboxEntry()).journalId << "|"
                            << QString(begun.why).replace(m_dir->path(), "<dir>");
    QCOMPARE(said.trimmed(), told);
}

void TestJournal::killedWriterLosesNothingCommitted()
{
    QProcess writer;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(kWriterVariable), m_dir->path());
    writer.setProcessEnvironment(environment);
    writer.start(QCoreApplication::applicationFilePath(), {});
    QList<qint64> committed;
    while (committed.size() < 40 && writer.waitForReadyRead(30000)) {
        while (writer.canReadLine())
            committed.append(writer.readLine().trimmed().toLongLong());
    }
    writer.kill(); // SIGKILL, while it writes the next record
    QVERIFY(writer.waitForFinished(30000));
    QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
    QVERIFY(committed.size() >= 40);

    Journal journal;
    QString message;
    QVERIFY2(journal.open(m_dir->path(), &message) && message.isEmpty(), qPrintable(message));
    QMap<qint64, JournalEntry> found;
    for (const JournalEntry &e : journal.entries({}, 100000))
        found.insert(e.id, e);
    for (const qint64 id : std::as_const(committed)) {
        QCOMPARE(found.value(id).code, QStringLiteral("K%1").arg(id));
        QCOMPARE(found.value(id).outcome, JournalOutcome::Ok);
        QCOMPARE(journal.previousPicture(id), std::optional(copyOf(id)));
    }
}

int main(int argc, char *argv[])
{
    // Three hours behind UTC, so that a local day is not a UTC day.
    qputenv("TZ", "XYZ3");
    QCoreApplication application(argc, argv);
    if (qEnvironmentVariableIsSet(kWriterVariable))
        return writeUntilKilled(qEnvironmentVariable(kWriterVariable));
    TestJournal test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_journal.moc"
