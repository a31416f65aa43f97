// The journal on a real SQLite file: what is recorded comes back whole and
// newest first, filtered by code and day; copies of previous pictures come
// back checked and are pruned oldest first but never the last of a record;
// a damaged file is set aside, a busy or unreadable one never is; only
// pictures are kept as copies, and only under the journal's own names; a
// writer killed with SIGKILL loses nothing it had committed.
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
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

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
    e.sha256 = sha256Hex("bytes");
    return e;
}

/// A BMP of width x height pixels of 24 bits, size bytes long (the pixels
/// are fill).
QByteArray bmp(qint32 width, qint32 height, qsizetype size, char fill)
{
    QByteArray bytes(54, '\0');
    const auto put = [&](int at, qint32 value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = char((value >> (8 * i)) & 0xff);
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put(2, qint32(size));
    put(10, 54);
    put(14, 40);
    put(18, width);
    put(22, height);
    bytes[26] = 1;
    bytes[28] = 24;
    return bytes + QByteArray(size - 54, fill);
}

/// A picture of one pixel, size bytes long.
QByteArray pictureOf(qsizetype size, char fill)
{
    return bmp(1, 1, size, fill);
}

/// The copy the killed writer keeps with record id (of code "K<id>").
QByteArray copyOf(qint64 id)
{
    return pictureOf(20000, char('a' + id % 26));
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

/// A small picture in the given format ("JPG", "PNG").
QByteArray picture(const char *format)
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return buffer.data();
}

/// A PNG whose header claims width x height pixels.
QByteArray pngClaiming(quint32 width, quint32 height)
{
    QByteArray bytes = picture("PNG");
    for (int i = 0; i < 4; ++i) {
        bytes[16 + i] = char(width >> (24 - 8 * i));
        bytes[20 + i] = char(height >> (24 - 8 * i));
    }
    quint32 crc = 0xffffffff; // CRC-32 of the header chunk's type and data
    for (int at = 12; at < 29; ++at) {
        crc ^= quint8(bytes[at]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320 & (0 - (crc & 1)));
    }
    crc = ~crc;
    for (int i = 0; i < 4; ++i)
        bytes[29 + i] = char(crc >> (24 - 8 * i));
    return bytes;
}

/// Runs statements on a connection of the test's own to dir's journal.
struct RawJournal {
    explicit RawJournal(const QString &dir)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "raw");
        db.setDatabaseName(QDir(dir).filePath("journal.db"));
        db.open();
    }
    ~RawJournal() { QSqlDatabase::removeDatabase("raw"); }
    bool run(const QString &statement, const QVariantList &values = {})
    {
        QSqlQuery query(QSqlDatabase::database("raw"));
        query.prepare(statement);
        for (const QVariant &value : values)
            query.addBindValue(value);
        return query.exec();
    }
    void close() { QSqlDatabase::database("raw").close(); }
};

} // namespace

class TestJournal : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { QVERIFY(m_dir.emplace().isValid()); }
    void recordsAndCopiesComeBackWhole();
    void filter_data();
    void filter();
    void prune_data();
    void prune();
    void damagedFileIsSetAside_data();
    void damagedFileIsSetAside();
    void checkVerdict_data();
    void checkVerdict();
    void errorsAreNotDamage_data();
    void errorsAreNotDamage();
    void copyIsAPicture_data();
    void copyIsAPicture();
    void copyNamesAreTheJournals_data();
    void copyNamesAreTheJournals();
    void putLearnsWhetherTheCopyIsKept_data();
    void putLearnsWhetherTheCopyIsKept();
    void retryKeepsOneRecord_data();
    void retryKeepsOneRecord();
    void killedWriterLosesNothingCommitted();

private:
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
    const QByteArray before = picture("JPG");
    first.id = journal.record(first, before);
    second.id = journal.record(second);
    QVERIFY(first.id > 0 && second.id > first.id);
    QVERIFY(journal.setOutcome(first.id, JournalOutcome::Failed, QStringLiteral("refused")));
    QVERIFY(!journal.setOutcome(999, JournalOutcome::Ok));
    first.outcome = JournalOutcome::Failed;
    first.reason = QStringLiteral("refused");
    first.previousSize = before.size();
    first.previousSha256 = sha256Hex(before);
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
        QVERIFY(journal.record(entry(QLatin1String(code), kind), pictureOf(100, 'x')) > 0);
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
                                 i % 2 != 0 ? pictureOf(60, 'c') : QByteArray()) > 0);
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

void TestJournal::checkVerdict_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<CheckVerdict>("verdict");
    const QString header = "*** in database main ***\n";
    QTest::newRow("short read beside a log write")
        << header + "Page 3: unable to get the page. error code=522" << CheckVerdict::Unsure;
    QTest::newRow("I/O error, then pages it could not reach")
        << header + "Page 3: unable to get the page. error code=10\nPage 4 is never used"
        << CheckVerdict::Unsure;
    QTest::newRow("page damaged") << header + "Page 3: unable to get the page. error code=11"
                                  << CheckVerdict::Damaged;
}

void TestJournal::checkVerdict()
{
    QFETCH(QString, answer);
    QFETCH(CheckVerdict, verdict);
    QCOMPARE(framla::history::checkVerdict(answer), verdict);
}

void TestJournal::errorsAreNotDamage_data()
{
    // What stands in the way of opening a journal of three records; the
    // file is never set aside, and once the obstacle is gone every record is there.
    QTest::addColumn<QString>("obstacle");
    QTest::newRow("locked by another connection") << "lock";
    QTest::newRow("its log cannot be opened") << "wal";
}

void TestJournal::errorsAreNotDamage()
{
    QFETCH(QString, obstacle);
    {
        Journal first;
        QVERIFY(first.open(m_dir->path()));
        for (int i = 0; i < 3; ++i)
            QVERIFY(first.record(entry(QStringLiteral("E%1").arg(i)), pictureOf(60, 'e')) > 0);
    }
    std::optional<RawJournal> holder;
    const QString wal = m_dir->filePath("journal.db-wal");
    if (obstacle == "lock") {
        holder.emplace(m_dir->path());
        QVERIFY(holder->run("PRAGMA locking_mode=EXCLUSIVE") &&
                holder->run("UPDATE entries SET reason = 'held' WHERE id = 1"));
    } else {
        QFile::remove(wal);
        QVERIFY(QDir(m_dir->path()).mkdir("journal.db-wal"));
    }
    Journal journal;
    QString message;
    QVERIFY(!journal.open(m_dir->path(), &message));
    QVERIFY2(message.startsWith("The journal cannot be opened just now ("), qPrintable(message));
    QCOMPARE(QDir(m_dir->path()).entryList({"*damaged*"}, QDir::AllEntries), QStringList());
    if (holder) {
        holder->close();
        holder.reset();
    } else {
        QVERIFY(QDir(wal).removeRecursively());
    }
    QVERIFY(journal.open(m_dir->path(), &message));
    QCOMPARE(message, QString());
    QCOMPARE(journal.entries().size(), 3);
}

void TestJournal::copyIsAPicture_data()
{
    // What the put found on the server before: kept as the copy only when it
    // is a picture; and a copy planted in its place is never given back to restore.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("refusal"); ///< "" for a picture
    QTest::newRow("JPEG") << picture("JPG") << "";
    QTest::newRow("a text file through a link")
        << QByteArray("password=hunter2\n") << "it is not a BMP, JPEG, GIF or PNG picture";
    QTest::newRow("a JPEG's first bytes, nothing more")
        << QByteArray("\xFF\xD8\xFF\xE0 not really") << "its size cannot be read";
    QTest::newRow("a header claiming 400 megapixels")
        << pngClaiming(20000, 20000)
        << "20000 x 20000 pixels, more than the 100 megapixels a picture may have";
}

void TestJournal::copyIsAPicture()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, refusal);
    Journal journal;
    QVERIFY(journal.open(m_dir->path()));
    QString why;
    CopyFate fate = CopyFate::None;
    QVERIFY(journal.record(entry("AB10001"), bytes, &why, &fate) > 0);
    QCOMPARE(fate == CopyFate::Kept ? QStringLiteral("kept") : why,
             refusal.isEmpty() ? QStringLiteral("kept")
                               : QStringLiteral("what was on the server before is not a picture "
                                                "(%1), so no copy of it is kept")
                                     .arg(refusal));
    QCOMPARE(journal.entries().first().previousKept, refusal.isEmpty());

    // The same bytes planted as a picture's copy, with their SHA-256.
    const qint64 other = journal.record(entry("AB10002"), picture("JPG"));
    const QString copy = m_dir->filePath(QStringLiteral("journal-copies/%1.jpg").arg(other));
    QVERIFY(framla::runtime::writeWholeFile(copy, bytes));
    {
        RawJournal raw(m_dir->path());
        QVERIFY(
            raw.run("UPDATE entries SET copy_sha256 = ? WHERE id = ?", {sha256Hex(bytes), other}));
    }
    const std::optional<QByteArray> back = journal.previousPicture(other, &why);
    QCOMPARE(back ? QStringLiteral("restored") : why,
             refusal.isEmpty()
                 ? QStringLiteral("restored")
                 : QStringLiteral("the copy %1 is not a picture (%2)").arg(copy, refusal));
}

void TestJournal::copyNamesAreTheJournals_data()
{
    // A record of three copies of one code whose oldest names a file planted
    // in journal.db: pruning to nothing and reading its copy never reach it.
    QTest::addColumn<QString>("planted");
    QTest::addColumn<QString>("victim"); ///< relative to the test's directory
    QTest::newRow("out of the folder") << "../../victim.txt"
                                       << "victim.txt";
    QTest::newRow("another record's copy") << "3.jpg"
                                           << "work/journal-copies/3.jpg";
    QTest::newRow("a name in the folder") << "notes.jpg"
                                          << "work/journal-copies/notes.jpg";
}

void TestJournal::copyNamesAreTheJournals()
{
    QFETCH(QString, planted);
    QFETCH(QString, victim);
    const QString work = m_dir->filePath("work");
    Journal journal;
    QVERIFY(journal.open(work));
    for (int i = 0; i < 3; ++i)
        QVERIFY(journal.record(entry("A"), pictureOf(100, char('a' + i))) == i + 1);
    const QString target = m_dir->filePath(victim);
    if (!QFile::exists(target))
        QVERIFY(framla::runtime::writeWholeFile(target, pictureOf(100, 'v')));
    const QByteArray victimBytes = *framla::runtime::readWholeFile(target);
    {
        RawJournal raw(work);
        QVERIFY(raw.run("UPDATE entries SET copy_file = ?, copy_sha256 = ? WHERE id = 1",
                        {planted, sha256Hex(victimBytes)}));
    }
    QString why;
    QCOMPARE(journal.previousPicture(1, &why), std::nullopt);
    QCOMPARE(why, "the journal keeps no copy of the picture before record 1");
    journal.prune(0);
    QCOMPARE(framla::runtime::readWholeFile(target), std::optional(victimBytes));
}

void TestJournal::putLearnsWhetherTheCopyIsKept_data()
{
    // What journalBeginPut() tells a replace about the copy of the picture before it.
    QTest::addColumn<QByteArray>("previous");
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("told"); ///< record, kept, missing, not a picture; why
    const QByteArray jpeg = picture("JPG");
    QTest::newRow("a picture") << jpeg << ""
                               << "record kept; ";
    QTest::newRow("not a picture")
        << QByteArray("secret") << ""
        << "record missing not-a-picture; what was on the server before is not a picture";
    QTest::newRow("copies cannot be written (a full disk)")
        << jpeg << "copies"
        << "record missing; the picture that was on the server before is not kept";
    QTest::newRow("journal locked by another process")
        << jpeg << "lock"
        << "missing; database is locked Unable to fetch row";
}

void TestJournal::putLearnsWhetherTheCopyIsKept()
{
    QFETCH(QByteArray, previous);
    QFETCH(QString, obstacle);
    QFETCH(QString, told);
    framla::history::JournalKeeper keeper(m_dir->path());
    framla::ProgramState state;
    state.services.journal = &keeper;
    QVERIFY(keeper.forThisThread() != nullptr);
    std::optional<RawJournal> holder;
    if (obstacle == "lock") {
        holder.emplace(m_dir->path());
        // A write under way, never ended: every other writer waits for it.
        QVERIFY(holder->run("BEGIN IMMEDIATE"));
    } else if (obstacle == "copies") {
        QVERIFY(QDir(m_dir->filePath("journal-copies")).removeRecursively() &&
                framla::runtime::writeWholeFile(m_dir->filePath("journal-copies"),
                                                "a file in its place"));
    }
    const framla::server::JournalBegun begun =
        framla::server::journalBeginPut(state, entry("AB10001"), previous);
    QString said = QString(begun.id > 0 ? "record" : "") + (begun.copyKept ? " kept" : "") +
                   (begun.copyMissing ? " missing" : "") +
                   (begun.notPicture ? " not-a-picture" : "");
    said = said.trimmed() + "; " + begun.why.section(QRegularExpression("( \\(|: )"), 0, 0);
    QCOMPARE(said, told);
}

void TestJournal::retryKeepsOneRecord_data()
{
    // A put waiting in the outbox, its first attempt journalled as queued;
    // the retry's journalBeginPut() with the picture now on the server.
    QTest::addColumn<bool>("recordGone"); ///< the journal was started anew meanwhile
    QTest::addColumn<QString>("after");   ///< records, the retry's, what the outbox notes
    QTest::newRow("its record") << false << "1 record; replace pending, copy kept; noted 1";
    QTest::newRow("its record gone") << true << "1 record; replace pending, copy kept; noted 1";
}

void TestJournal::retryKeepsOneRecord()
{
    QFETCH(bool, recordGone);
    QFETCH(QString, after);
    framla::history::JournalKeeper keeper(m_dir->path());
    Outbox outbox(m_dir->path());
    framla::ProgramState state;
    state.services.journal = &keeper;
    state.services.outbox = &outbox;
    Journal &journal = *keeper.forThisThread();
    JournalEntry first = entry("AB10004");
    first.action = JournalAction::Put;
    first.outcome = JournalOutcome::Queued;
    OutboxEntry waiting;
    waiting.code = waiting.name = "AB10004";
    waiting.journalId = recordGone ? 99 : journal.record(first);
    const QString id = outbox.add(waiting, picture("JPG"));
    QVERIFY(!id.isEmpty());

    const framla::server::JournalBegun begun =
        framla::server::journalBeginPut(state, entry("AB10004"), picture("PNG"), id);
    const QList<JournalEntry> records = journal.entries();
    QVERIFY(!records.isEmpty());
    const QString said =
        QStringLiteral("%1 record%2; %3 %4, copy %5; noted %6")
            .arg(records.size())
            .arg(records.size() == 1 ? "" : "s")
            .arg(actionName(records.first().action), outcomeName(records.first().outcome),
                 records.first().previousKept && begun.copyKept ? "kept" : "missing")
            .arg(outbox.entry(id)->journalId == begun.id ? records.first().id : -1);
    QCOMPARE(said, after);
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
