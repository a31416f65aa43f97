// The outbox on real files: waiting puts come back whole, oldest first, in
// a new Outbox as in the old; attempts move the next one back; stray files
// are skipped or cleared; a step cut half way leaves the put whole or gone;
// and which failed runs count as an unreachable server, with PuTTY 0.78's
// own words.
#include "history/durable_file.h"
#include "history/outbox.h"
#include "runtime/files.h"
#include "server/reachability.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace framla::history;
using framla::runtime::RunOutcome;

Q_DECLARE_METATYPE(framla::runtime::RunOutcome::Status)

namespace {

OutboxEntry waiting(const QString &code, const QDateTime &first)
{
    OutboxEntry e;
    e.code = e.name = code;
    e.kind = RecordKind::Customer;
    e.size = "L";
    e.serverPath = "/srv/shop/images/" + code + ".jpg";
    e.settingsFile = "shop";
    e.server = {"10.0.0.5", "22", "clerk", "/srv/shop"};
    e.firstTried = first;
    e.lastReason = "The server could not be reached.";
    e.hadPicture = true;
    e.journalId = 7;
    return e;
}

const QDateTime kMonday(QDate(2024, 5, 6), QTime(9, 0), Qt::UTC);

} // namespace

class TestOutbox : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void retryPause_data();
    void retryPause();
    void waitingPutsComeBackOldestFirst();
    void strayFiles_data();
    void strayFiles();
    void cutOff_data();
    void cutOff();
    void unreachable_data();
    void unreachable();
};

void TestOutbox::retryPause_data()
{
    QTest::addColumn<int>("attempts");
    QTest::addColumn<int>("seconds");
    const int table[][2] = {{0, 0}, {1, 15}, {2, 30}, {3, 60}, {4, 60}, {40, 60}, {INT_MAX, 60}};
    for (const auto &row : table)
        QTest::addRow("%d", row[0]) << row[0] << row[1];
}

void TestOutbox::retryPause()
{
    QFETCH(int, attempts);
    QFETCH(int, seconds);
    QCOMPARE(retryPauseSeconds(attempts), seconds);
}

void TestOutbox::waitingPutsComeBackOldestFirst()
{
    QTemporaryDir dir;
    QString late, early;
    {
        Outbox outbox(dir.path());
        late = outbox.add(waiting(QStringLiteral("20001"), kMonday.addSecs(60)), "late");
        early = outbox.add(waiting(QStringLiteral("20002"), kMonday), "early");
        QVERIFY(!late.isEmpty() && !early.isEmpty());
        QVERIFY(outbox.recordAttempt(early, kMonday.addSecs(100), QStringLiteral("timed out")));
    }
    Outbox outbox(dir.path()); // as at the next start
    OutboxEntry first = waiting(QStringLiteral("20002"), kMonday);
    first.id = early;
    first.sha256 = framla::runtime::sha256Hex("early");
    first.lastTried = kMonday.addSecs(100);
    first.attempts = 2;
    first.lastReason = QStringLiteral("timed out");
    OutboxEntry second = waiting(QStringLiteral("20001"), kMonday.addSecs(60));
    second.id = late;
    second.sha256 = framla::runtime::sha256Hex("late");
    second.lastTried = second.firstTried;
    QCOMPARE(outbox.list(), QList<OutboxEntry>({first, second}));
    QCOMPARE(nextAttemptAt(first), kMonday.addSecs(130));
    QCOMPARE(outbox.load(early), std::optional(std::pair(first, QByteArray("early"))));
    QVERIFY(outbox.remove(early));
    QCOMPARE(outbox.list(), QList<OutboxEntry>({second}));
    QCOMPARE(QDir(outbox.directory()).entryList(QDir::Files),
             QStringList({late + QStringLiteral(".jpg"), late + QStringLiteral(".json")}));
}

void TestOutbox::strayFiles_data()
{
    // A file dropped beside one good entry: skipped or cleared at the next
    // start, and the good entry is listed either way.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("cleared");
    const QString id = QStringLiteral("20240506T090000000Z-0badc0de");
    QTest::newRow("metadata cut short")
        << id + ".json" << QByteArray("{\"format\": 1, \"co") << false;
    QTest::newRow("another program's file") << "notes.json" << QByteArray("{}") << false;
    QTest::newRow("metadata of another entry") << id + ".json" << QByteArray("copy") << false;
    QTest::newRow("picture without metadata") << id + ".jpg" << QByteArray("jpeg") << true;
    QTest::newRow("a write cut off") << id + ".json.tmp" << QByteArray("{") << true;
}

void TestOutbox::strayFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, cleared);
    QTemporaryDir dir;
    QString good;
    {
        Outbox outbox(dir.path());
        good = outbox.add(waiting(QStringLiteral("20003"), kMonday), "good");
        const QDir files(outbox.directory());
        if (content == "copy")
            QVERIFY(
                QFile::copy(files.filePath(good + QStringLiteral(".json")), files.filePath(name)));
        QFile stray(files.filePath(name));
        QVERIFY(content == "copy" ||
                (stray.open(QIODevice::WriteOnly) && stray.write(content) == content.size()));
    }
    Outbox outbox(dir.path());
    QCOMPARE(outbox.list().value(0).id, good);
    QCOMPARE(outbox.list().size(), 1);
    QCOMPARE(QFile::exists(QDir(outbox.directory()).filePath(name)), !cleared);
    // A damaged picture is refused, not sent.
    QFile picture(QDir(outbox.directory()).filePath(good + QStringLiteral(".jpg")));
    QVERIFY(picture.open(QIODevice::Append) && picture.write("!") == 1);
    picture.close();
    QString why;
    QCOMPARE(outbox.load(good, &why), std::nullopt);
    QCOMPARE(why, picture.fileName() + QStringLiteral(" is damaged"));
}

void TestOutbox::cutOff_data()
{
    // A step that fails half way, as a kill or a full disk leaves it: at the
    // next start the put waits whole, or is gone with both its files.
    QTest::addColumn<int>("resource"); ///< what runs out during the step
    QTest::addColumn<int>("left");     ///< puts waiting afterwards
    QTest::newRow("removal cut after its first file") << int(RLIMIT_NOFILE) << 0;
    QTest::newRow("attempt not noted, the disk full") << int(RLIMIT_FSIZE) << 1;
}

void TestOutbox::cutOff()
{
    QFETCH(int, resource);
    QFETCH(int, left);
    QTemporaryDir dir;
    const QString id = Outbox(dir.path()).add(waiting(QStringLiteral("20004"), kMonday), "jpeg");
    {
        Outbox outbox(dir.path());
        // No descriptor is left to sync the directory; no file grows past the metadata's size.
        const int spare = ::open("/dev/null", O_RDONLY);
        ::close(spare);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit, scarce;
        QVERIFY(::getrlimit(resource, &limit) == 0);
        scarce = limit;
        scarce.rlim_cur =
            resource == RLIMIT_NOFILE ? spare : QFileInfo(outbox.directory(), id + ".json").size();
        QVERIFY(::setrlimit(resource, &scarce) == 0);
        const bool done = resource == RLIMIT_NOFILE
                              ? outbox.remove(id)
                              : outbox.recordAttempt(id, kMonday, QString(200, QLatin1Char('x')));
        QVERIFY(::setrlimit(resource, &limit) == 0);
        QVERIFY(!done);
    }
    Outbox outbox(dir.path());
    QCOMPARE(outbox.list().size(), left);
    QCOMPARE(QDir(outbox.directory()).entryList(QDir::Files).size(), 2 * left);
}

void TestOutbox::unreachable_data()
{
    QTest::addColumn<RunOutcome::Status>("status");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("said");
    QTest::addColumn<bool>("unreachable");
    using S = RunOutcome::Status;
    // PuTTY 0.78's words to a stopped, far or cut-off test server (the
    // second line as older releases put it) ...
    const char *const unreachable[] = {
        "FATAL ERROR: Connection refused\n",
        "FATAL ERROR: Network error: Connection timed out\n",
        "FATAL ERROR: No route to host\n",
        "FATAL ERROR: Remote side unexpectedly closed network connection\n",
        "FATAL ERROR: Connection reset by peer\n",
        "ssh_init: Temporary failure in name resolution\n",
        "Unable to open connection:\nName or service not known\n",
    };
    // ... and from a server that answered.
    const char *const refused[] = {
        "Access denied\nFATAL ERROR: Configured password was not accepted\n",
        "unable to identify /nonexist/x: no such file or directory\n",
        "pscp: unable to open /root/x: permission denied\n",
        "mv: Connection refused\n",
        "Connection abandoned.\nFATAL ERROR: Cannot confirm a host key in batch mode\n",
        "FATAL ERROR: Remote side sent disconnect message type 2 (protocol error): \"Too many "
        "authentication failures\"\n",
    };
    for (const char *said : unreachable)
        QTest::addRow("%s", said) << S::Finished << 1 << QByteArray(said) << true;
    for (const char *said : refused)
        QTest::addRow("%s", said) << S::Finished << 1 << QByteArray(said) << false;
    QTest::newRow("ended by a signal") << S::Finished << -1 << QByteArray() << true;
    QTest::newRow("time limit") << S::TimedOut << -1 << QByteArray() << true;
    QTest::newRow("host key refused") << S::Refused << 1 << QByteArray() << false;
    QTest::newRow("no pscp") << S::NotStarted << -1 << QByteArray() << false;
    QTest::newRow("succeeded") << S::Finished << 0 << QByteArray(unreachable[0]) << false;
}

void TestOutbox::unreachable()
{
    QFETCH(RunOutcome::Status, status);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, said);
    QFETCH(bool, unreachable);
    RunOutcome outcome;
    outcome.status = status;
    outcome.exitCode = exitCode;
    outcome.standardError = said;
    QCOMPARE(framla::server::serverUnreachable(outcome), unreachable);
}

QTEST_GUILESS_MAIN(TestOutbox)
#include "tst_outbox.moc"
