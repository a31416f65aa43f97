// The reply fetch of a look-up: the token and the request the reply must
// name, the retries, the failures shown, and the text as it is shown.
#include "lookup_fixture.h"
#include "runtime/files.h"
#include "server/lookup.h"
#include "server/reply.h"

using namespace framla;
using runtime::RunOutcome;
using runtime::ToolCommand;

class TestLookupReply : public test::LookupFixture {
    Q_OBJECT
private Q_SLOTS:
    void init() { reset(); }
    void token_data();
    void token();
    void matchOnRetry();
    void requestNote_data();
    void requestNote();
    void closingLine();
    void fetchFailure_data();
    void fetchFailure();
    void showExisting_data();
    void showExisting();
    void replyEncoding_data();
    void replyEncoding();
    void replyNotTaken_data();
    void replyNotTaken();
};

void TestLookupReply::token_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("token");
    QTest::addColumn<bool>("accepted");
    const QByteArray full("10:30:00 ok\r\nGold ring\r\n");
    QTest::newRow("full token") << full << test::kToken << true;
    QTest::newRow("earlier token")
        << QByteArray("10:29:59\r\nGold ring\r\n") << test::kToken << false;
    QTest::newRow("part of the token") << QByteArray("10:30:0") << test::kToken << false;
    QTest::newRow("empty") << QByteArray("") << test::kToken << false;
    QTest::newRow("no reply") << QByteArray("Unknown!") << test::kToken << false;
    QTest::newRow("no reply file at all") << QByteArray() << test::kToken << false;
    // Every reply begins with the empty string: it must answer no request.
    QTest::newRow("empty token") << full << QString() << false;
}

void TestLookupReply::token()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, token);
    QFETCH(bool, accepted);
    serve({reply});
    Target target = test::asked("AB12345");
    target.cTime = token;
    const server::ReplyAnswer answer = fetchReply(target);
    QCOMPARE(answer.answered, accepted);
    if (accepted) {
        QCOMPARE(m_fetches, 1);
        QVERIFY(m_clock.pauses.isEmpty());
        QCOMPARE(m_display.replies.last(), QStringLiteral("Gold ring\r\n"));
        QCOMPARE(answer.text, QStringLiteral("Gold ring\r\n"));
        QVERIFY(answer.ok2Put);
        return;
    }
    QCOMPARE(m_fetches, 4);
    QCOMPARE(m_clock.pauses, (QList<int>{10, 100, 200}));
    // "Re-trying..." only before the third retry, then the error text.
    QCOMPARE(m_display.replies,
             (QStringList{"Fetching data from server...",
                          "Fetching data from server...\r\nRe-trying...", test::kFetchFailed}));
    QVERIFY(!answer.ok2Put);
    QCOMPARE(runtime::readWholeFile(m_world.file("framla.tmp")).value(), QByteArray("Unknown!"));
}

void TestLookupReply::matchOnRetry()
{
    serve({"10:29:59\r\nold\r\n", "10:29:59\r\nold\r\n", "10:30:00\r\nnew\r\n"});
    QVERIFY(fetchReply(test::asked("AB12345")).answered);
    QCOMPARE(m_clock.pauses, (QList<int>{10, 100}));
    QCOMPARE(m_display.replies, (QStringList{"Fetching data from server...", "new\r\n"}));
}

void TestLookupReply::requestNote_data()
{
    QTest::addColumn<QString>("code"); // what was asked for
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("fetches");
    const QByteArray head("10:30:00 framaid\r\nGold ring\r\n");
    const QByteArray target("<!-- images/AB/AB12345.jpg exists -->\r\n");
    const QByteArray end("<!-- end -->\r\n"); // every reply that names its request ends so
    const QByteArray asked = head + "<!-- request AB12345 -->\r\n" + target + end;
    const QByteArray other = head + "<!-- request AB12346 -->\r\n" + target + end;
    QTest::newRow("names the code asked for") << "AB12345" << QList<QByteArray>{asked} << true << 1;
    QTest::newRow("names another code") << "AB12345" << QList<QByteArray>{other} << false << 4;
    // clang-format off
    QTest::newRow("names a longer code") << "AB12345" << QList<QByteArray>{head + "<!-- request AB123456 -->\r\n" + end} << false << 4;
    QTest::newRow("names no request: an older framaid")
        << "AB12345" << QList<QByteArray>{head + target} << true << 1;
    QTest::newRow("cut off inside the note")
        << "AB12345" << QList<QByteArray>{head + "<!-- request AB12345"} << false << 4;
    QTest::newRow("another code's reply, then this one's")
        << "AB12345" << QList<QByteArray>{other, asked} << true << 2;
    QTest::newRow("closing text at the end of a line of the item's") << "AB12345" << QList<QByteArray>{head + "<!-- request AB12345 -->\r\nPlain <!-- end -->\r\n"} << false << 4;
    QTest::newRow("closing line with more after it") << "AB12345" << QList<QByteArray>{asked + "<!-- Owned by fxt -->\r\n"} << false << 4;
    QTest::newRow("file checked") << "ix0001.dbf" << QList<QByteArray>{head + "<!-- request ix0001.dbf -->\r\n" + end} << true << 1;
    QTest::newRow("another file") << "ix0001.dbf" << QList<QByteArray>{head + "<!-- request ix0002.dbf -->\r\n" + end} << false << 4;
    // clang-format on
}

void TestLookupReply::requestNote()
{
    QFETCH(QString, code);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(bool, accepted);
    QFETCH(int, fetches);
    serve(replies);
    QCOMPARE(fetchReply(test::asked(code)).answered, accepted);
    QCOMPARE(m_fetches, fetches);
    QCOMPARE(m_display.replies.last().startsWith(QStringLiteral("Gold ring")), accepted);
}

void TestLookupReply::closingLine()
{
    // A reply that names its request ends with its closing line: one cut short answers nothing.
    serve({"10:30:00 framaid\r\nGold ring\r\n<!-- request AB12345 -->\r\n"});
    QVERIFY(!fetchReply(test::asked("AB12345")).answered);
    QCOMPARE(m_display.replies.last(), test::kFetchFailed + "\r\n\r\n" + server::kReplyCutText);
}

void TestLookupReply::fetchFailure_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QList<int>>("pauses");
    // Only a fetch that ran and failed may do better a moment later.
    QTest::newRow("tool missing") << int(RunOutcome::Status::NotStarted) << -1
                                  << "The program pscp was not found in /app or on the search path."
                                  << QList<int>{};
    QTest::newRow("host key refused")
        << int(RunOutcome::Status::Refused) << 1
        << "The server's host key was not accepted, so nothing was sent to the server."
        << QList<int>{};
    QTest::newRow("time-out") << int(RunOutcome::Status::TimedOut) << -1
                              << "pscp did not finish within 30 seconds and was stopped."
                              << QList<int>{};
    QTest::newRow("file not there")
        << int(RunOutcome::Status::Finished) << 1
        << "The file or directory was not found on the server." << QList<int>{10, 100, 200};
}

void TestLookupReply::fetchFailure()
{
    QFETCH(int, status);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QList<int>, pauses);
    m_fetchOutcome.status = RunOutcome::Status(status);
    m_fetchOutcome.exitCode = exitCode;
    m_fetchOutcome.message = message;
    serve({QByteArray()});
    QVERIFY(!fetchReply(test::asked("AB12345")).answered);
    QCOMPARE(m_fetches, 1 + pauses.size());
    QCOMPARE(m_clock.pauses, pauses);
    QCOMPARE(m_display.replies.last(), test::kFetchFailed + "\r\n\r\n" + message);
    QCOMPARE(runtime::readWholeFile(m_world.file("framla.tmp")).value(), QByteArray("Unknown!"));
}

void TestLookupReply::showExisting_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("shown");
    QTest::newRow("supplier with pictures") << "1500" << QByteArray("Supplier Ltd\r\n") << 1;
    QTest::newRow("supplier without pictures") << "1500" << QByteArray("(no images found)") << 0;
    QTest::newRow("unknown account") << "1500" << QByteArray("1500 is not an existing") << 0;
    QTest::newRow("customer") << "12345" << QByteArray("Mrs Smith\r\n") << 1;
    QTest::newRow("999") << "999" << QByteArray("x\r\n") << 0;
    QTest::newRow("100000") << "100000" << QByteArray("x\r\n") << 0;
    QTest::newRow("inventory code") << "AB12345" << QByteArray("x\r\n") << 0;
}

void TestLookupReply::showExisting()
{
    QFETCH(QString, code);
    QFETCH(QByteArray, text);
    QFETCH(int, shown);
    serve({"10:30:00\r\n" + text});
    QVERIFY(fetchReply(test::asked(code)).answered);
    QCOMPARE(m_display.showExisting, shown);
}

void TestLookupReply::replyEncoding_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("UTF-8") << QByteArray("Anello \xe2\x82\xac 5, d\xc3\xa9j\xc3\xa0")
                           << "Anello \u20ac 5, d\u00e9j\u00e0";
    QTest::newRow("code page 1252") << QByteArray("Anello \x80 5, d\xe9j\xe0 \x93oro\x94")
                                    << "Anello \u20ac 5, d\u00e9j\u00e0 \u201coro\u201d";
    QTest::newRow("plain ASCII") << QByteArray("Gold ring") << "Gold ring";
}

void TestLookupReply::replyEncoding()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, shown);
    serve({"10:30:00 framaid\r\n" + text});
    QVERIFY(fetchReply(test::asked("AB12345")).answered);
    QCOMPARE(m_display.replies.last(), shown);
}

void TestLookupReply::replyNotTaken_data()
{
    QTest::addColumn<bool>("stale");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("shown"); // "" for a reply that is taken
    const QString failed = test::kFetchFailed;
    const QByteArray head("10:30:00\r\n");
    // A reply left by an earlier request with the same token, and a fetch that fails.
    QTest::newRow("stale reply") << true << QByteArray() << failed;
    QTest::newRow("reply over the limit")
        << false << head + QByteArray(server::kReplyLimit, 'x')
        << failed + "\r\n\r\n" + QString::fromLatin1(server::kReplyTooLargeText);
    QTest::newRow("reply of the limit exactly: taken")
        << false << head + QByteArray(server::kReplyLimit - head.size(), 'x') << QString();
}

void TestLookupReply::replyNotTaken()
{
    QFETCH(bool, stale);
    QFETCH(QByteArray, reply);
    QFETCH(QString, shown);
    if (stale)
        QVERIFY(runtime::writeWholeFile(m_world.file("framla.tmp"), "10:30:00\r\nOld ring\r\n"));
    serve({reply});
    if (stale)
        m_fetchOutcome.exitCode = 1;
    const server::ReplyAnswer answer = fetchReply(test::asked("AB12345"));
    QCOMPARE(answer.answered, shown.isEmpty());
    QCOMPARE(m_fetches, stale ? 4 : 1);
    if (shown.isEmpty())
        return;
    QCOMPARE(m_display.replies.last(), shown);
    QVERIFY(!answer.ok2Put);
}

QTEST_GUILESS_MAIN(TestLookupReply)
#include "tst_lookup_reply.moc"
