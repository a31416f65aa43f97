// The outbox against the real test server: a put made while sshd is down
// is kept, survives the program's end, and is sent by itself once sshd is
// back, checked byte for byte; a picture someone else put meanwhile stops
// the retry until the operator answers; the retry knows its own earlier
// placing, and writes only where the target says, never the stored path.
#include "app/outbox_sender.h"
#include "e2e/history_fixture.h"
#include "history/durable_file.h"
#include "runtime/files.h"
#include "server/outbox_send.h"
#include "server/put_journal.h"
#include "server/target.h"
#include "server/upload.h"

#include <QDeadlineTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace framla;

class TestOutboxE2e : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.error())); }
    void cleanupTestCase() { m_server.stop(); }
    void sentWhenServerIsBack_data();
    void sentWhenServerIsBack();
    void retryChecksWhatIsThere_data();
    void retryChecksWhatIsThere();

private:
    /// sshd and every connection it holds end: the port refuses from now on.
    void killDaemon()
    {
        const qint64 daemon = m_server.fact("FRAMLA_TEST_SSHD_PID").toLongLong();
        for (const qint64 pid : QList<qint64>{daemon} + test::descendantsOf(daemon))
            ::kill(pid_t(pid), SIGKILL);
        QThread::msleep(200);
    }

    test::TestServer m_server;
};

void TestOutboxE2e::sentWhenServerIsBack_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("someoneElsePuts"); ///< a picture appears while the photo waits
    QTest::addColumn<int>("answer");           ///< the operator's answer when asked
    QTest::addColumn<bool>("oursOnServer");
    QTest::addColumn<int>("asked");
    QTest::newRow("replace, sent by itself") << "AB10001" << false << 0 << true << 0;
    QTest::newRow("new picture, someone else's kept")
        << "AB10004" << true << int(runtime::kNo) << false << 1;
    QTest::newRow("new picture, operator replaces")
        << "AB10004" << true << int(runtime::kYes) << true << 1;
}

void TestOutboxE2e::sentWhenServerIsBack()
{
    QFETCH(QString, code);
    QFETCH(bool, someoneElsePuts);
    QFETCH(int, answer);
    QFETCH(bool, oursOnServer);
    QFETCH(int, asked);
    test::ServerWorld w(m_server);
    w.dialogs.answers.enqueue(answer);
    ProgramState &state = w.state;
    const QTemporaryDir &dir = w.dir;
    test::ScriptedDialogs &dialogs = w.dialogs;
    auto outbox = std::make_unique<history::Outbox>(dir.path());
    state.services.outbox = outbox.get();

    const QString onServer = m_server.dbPath() + "/images/AB/" + code + ".jpg";
    if (someoneElsePuts)
        QFile::remove(onServer);
    const QString photo = dir.filePath("photo.jpg");
    QVERIFY(test::noisePhoto("640x480", photo));
    QTemporaryDir elsewhere;
    const QString resized = elsewhere.filePath("resized.jpg");
    QVERIFY(QFile::copy(photo, resized) &&
            test::runTool("mogrify", {"-resize", "320x320", resized}));
    QVERIFY(QFile::copy(photo, dir.filePath("scratch.jpg")));

    killDaemon();
    {
        server::UploadQueue uploads;
        state.services.uploads = &uploads;
        // As the operator saw it when putting: whether the server had a picture.
        server::PutExtras extras;
        extras.hadPicture = !someoneElsePuts;
        server::PutFile(state, w.display, state.login, {code, code, true, false, "10:00:01", "M"},
                        extras);
        QVERIFY(uploads.waitForIdle(180000));
        state.services.uploads = nullptr;
    }
    QCoreApplication::processEvents();
    QVERIFY2(w.display.replies.last().startsWith(QString::fromLatin1(server::kNotRecordedText) +
                                                 "\r\n" + server::kKeptInOutboxText + "\r\n"),
             qPrintable(w.display.replies.last()));

    // The program ends; the next one finds the photo waiting.
    outbox = std::make_unique<history::Outbox>(dir.path());
    state.services.outbox = outbox.get();
    QCOMPARE(outbox->list().size(), 1);
    QCOMPARE(outbox->list().first().code, code);

    QVERIFY2(m_server.restart(), qPrintable(m_server.error()));
    QVERIFY(test::noisePhoto("64x48", dir.filePath("theirs.jpg")));
    const QByteArray theirs = runtime::readWholeFile(dir.filePath("theirs.jpg")).value();
    if (someoneElsePuts)
        QVERIFY(runtime::writeWholeFile(onServer, theirs));
    server::UploadQueue uploads;
    state.services.uploads = &uploads;
    QLabel caption;
    app::OutboxSender sender(state, &caption, nullptr);
    // Within a minute of sshd coming back (the pause is a minute at most).
    const QDeadlineTimer patience(60000);
    const auto settled = [&] {
        return oursOnServer ? outbox->list().isEmpty() : dialogs.boxes.size() == asked;
    };
    while (!settled() && !patience.hasExpired())
        QTest::qWait(200);
    QVERIFY(uploads.waitForIdle(60000));
    QCoreApplication::processEvents();
    if (!oursOnServer) {
        // The timer's next look (it rewrites the caption) leaves the declined photo unasked.
        caption.clear();
        QTRY_VERIFY_WITH_TIMEOUT(!caption.text().isEmpty(), 30000);
        QVERIFY(uploads.waitForIdle(60000));
        QCoreApplication::processEvents();
    }

    QCOMPARE(dialogs.boxes.size(), asked);
    const QByteArray expected = oursOnServer ? runtime::readWholeFile(resized).value() : theirs;
    QCOMPARE(runtime::readWholeFile(onServer).value_or("(missing)"), expected);
    QCOMPARE(outbox->list().size(), oursOnServer ? 0 : 1);
    // The journal: one record, which the retry that was sent closed.
    QStringList outcomes;
    for (const history::JournalEntry &e : w.journal.forThisThread()->entries())
        outcomes << history::outcomeName(e.outcome);
    const QStringList expectedOutcomes = oursOnServer ? QStringList{"ok"} : QStringList{"queued"};
    QCOMPARE(outcomes, expectedOutcomes);
}

void TestOutboxE2e::retryChecksWhatIsThere_data()
{
    // A photo for AB10004 waits, put when no picture was there and journalled
    // as queued; when it is tried again, the server holds ours or nothing.
    QTest::addColumn<QString>("stored"); ///< the picture the stored path names
    QTest::addColumn<bool>("ours");      ///< at AB10004
    QTest::addColumn<QString>("after");  ///< outcome; journal record; outbox; AB10004; AB10001
    // clang-format off
    QTest::newRow("placed by an attempt cut off before it could say so") << "AB10004" << true << "sent; ok; 0 waiting; ours; as before";
    QTest::newRow("a stored path naming another picture") << "AB10001" << false << "sent; ok; 0 waiting; ours; as before";
    // clang-format on
}

void TestOutboxE2e::retryChecksWhatIsThere()
{
    QFETCH(QString, stored);
    QFETCH(bool, ours);
    QFETCH(QString, after);
    test::ServerWorld w(m_server);
    history::Outbox outbox(w.path);
    w.state.services.outbox = &outbox;
    const QString images = m_server.dbPath() + "/images/AB/";
    const QByteArray otherBefore = runtime::readWholeFile(images + "AB10001.jpg").value();
    // The photo as prepared, and as every attempt resizes it before it is sent.
    const QString photo = w.dir.filePath("photo.jpg");
    const QString resized = w.dir.filePath("resized.jpg");
    QVERIFY(test::noisePhoto("640x480", photo) && QFile::copy(photo, resized) &&
            test::runTool("mogrify", {"-resize", "320x320", resized}));
    const QByteArray sent = runtime::readWholeFile(resized).value();
    history::JournalEntry record;
    record.code = "AB10004";
    record.sha256 = runtime::sha256Hex(sent);
    record.outcome = history::JournalOutcome::Queued;
    history::OutboxEntry entry;
    entry.code = entry.name = "AB10004";
    entry.serverPath = images + stored + ".jpg";
    entry.server = server::identityOf(w.state.login);
    entry.journalId = w.journal.forThisThread()->record(record);
    const QString id = outbox.add(entry, runtime::readWholeFile(photo).value());
    QVERIFY(!id.isEmpty());
    QFile::remove(images + "AB10004.jpg");
    if (ours)
        QVERIFY(runtime::writeWholeFile(images + "AB10004.jpg", sent));
    const server::RetryResult result =
        server::sendWaitingPut(w.state, w.display, w.state.login, outbox, id, false);
    const QMap<QByteArray, QString> named = {{sent, "ours"}, {otherBefore, "as before"}};
    const QStringList said = {
        QStringList{"sent", "waiting: " + result.reason, "ask"}.value(int(result.outcome), "gone"),
        history::outcomeName(w.journal.forThisThread()->entry(entry.journalId)->outcome),
        QStringLiteral("%1 waiting").arg(outbox.list().size()),
        named.value(runtime::readWholeFile(images + "AB10004.jpg").value_or(""), "other"),
        named.value(runtime::readWholeFile(images + "AB10001.jpg").value_or(""), "other")};
    QCOMPARE(said.join("; "), after);
}

QTEST_MAIN(TestOutboxE2e)
#include "tst_outbox_e2e.moc"
