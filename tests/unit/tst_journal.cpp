// The journal on a real SQLite file: what is recorded comes back whole and
// newest first, filtered by code and day; copies of previous pictures come
// back checked and are pruned oldest first but never the last of a record;
// a damaged file is set aside; a writer killed with SIGKILL loses nothing
// it had committed.
#include "history/durable_file.h"
#include "history/journal.h"

#include <QDir>
#include <QFile>
#include <QProcess>
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

/// The copy the killed writer keeps with record id (of code "K<id>").
QByteArray copyOf(qint64 id)
{
    return QByteArray(20000, char('a' + id % 26));
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
    void recordsAndCopiesComeBackWhole();
    void filter_data();
    void filter();
    void prune_data();
    void prune();
    void damagedFileIsSetAside_data();
    void damagedFileIsSetAside();
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
    first.id = journal.record(first, QByteArray(300, 'p'));
    second.id = journal.record(second);
    QVERIFY(first.id > 0 && second.id > first.id);
    QVERIFY(journal.setOutcome(first.id, JournalOutcome::Failed, QStringLiteral("refused")));
    QVERIFY(!journal.setOutcome(999, JournalOutcome::Ok));
    first.outcome = JournalOutcome::Failed;
    first.reason = QStringLiteral("refused");
    first.previousSize = 300;
    first.previousSha256 = sha256Hex(QByteArray(300, 'p'));
    first.previousKept = true;
    QCOMPARE(journal.entries(), QList<JournalEntry>({second, first}));

    QCOMPARE(journal.previousPicture(first.id), std::optional(QByteArray(300, 'p')));
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
        QVERIFY(journal.record(entry(QLatin1String(code), kind), QByteArray(100, 'x')) > 0);
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
            QVERIFY(first.record(entry(QStringLiteral("P%1").arg(i)), QByteArray(i % 2, 'c')) > 0);
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
