// The look-up: the request, the flags derived from the reply, long-code
// resolution, the picture on file, and what is never sent or acted on.
#include "lookup_fixture.h"
#include "runtime/files.h"
#include "server/existing_image.h"
#include "server/lookup.h"
#include "server/remote_run.h"
#include "server/reply.h"

#include <QDir>
#include <QThread>

using namespace framla;
using runtime::RunOutcome;
using runtime::ToolCommand;

class TestLookup : public test::LookupFixture {
    Q_OBJECT
private Q_SLOTS:
    void init() { reset(); }
    void putPermission_data();
    void putPermission();
    void longCode_data();
    void longCode();
    void existingImage_data();
    void existingImage();
    void staleReplyNotActedOn();
    void emptyCodeIsNoRequest_data();
    void emptyCodeIsNoRequest();
    void windowsServerLines_data();
    void windowsServerLines();
    void hostileValuesSendNothing_data();
    void hostileValuesSendNothing();
    void operationStops_data();
    void operationStops();
    void requestFailureShown_data();
    void requestFailureShown();
    void cutOffReply_data();
    void cutOffReply();
    void pictureAhead_data();
    void pictureAhead();
};

void TestLookup::putPermission_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("put");
    QTest::newRow("known item") << QByteArray("10:30:00\r\nAB12345 Gold ring\r\n") << "yes";
    QTest::newRow("no group") << QByteArray("10:30:00\r\nZZ no pre-existing group\r\n") << "no";
}

void TestLookup::putPermission()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, put);
    serve({reply});
    QCOMPARE(test::putAnswer(lookUp(QStringLiteral("AB12345"))), put);
    QCOMPARE(m_display.replies.last(), QString::fromUtf8(reply.mid(10)));
}

void TestLookup::longCode_data()
{
    QTest::addColumn<int>("mode"); // 0 inventory, 1 supplier or customer, 2 repairs
    QTest::addColumn<QString>("code");
    QTest::addColumn<QByteArray>("line2");
    QTest::addColumn<QStringList>("expectedRequests");
    QTest::addColumn<QStringList>("names");
    const QString dir = QStringLiteral("framaid /srv/zmr/jtemp/clerk ");
    QTest::newRow("resolved once")
        << 0 << "AB1234567" << QByteArray("AB12345: Gold ring")
        << QStringList{dir + "AB1234567 10:30:00", dir + "AB12345 10:30:00"}
        << QStringList{"AB12345"};
    QTest::newRow("colon elsewhere") << 0 << "AB1234567" << QByteArray("AB1234: Gold ring")
                                     << QStringList{dir + "AB1234567 10:30:00"} << QStringList{};
    QTest::newRow("seven characters never resolve")
        << 0 << "AB12345" << QByteArray("AB12399: Gold ring")
        << QStringList{dir + "AB12345 10:30:00"} << QStringList{};
    // What the server names passes the same check as a typed code.
    QTest::newRow("quote in the resolved code")
        << 0 << "AB1234567" << QByteArray("AB'2345: resolved")
        << QStringList{dir + "AB1234567 10:30:00"} << QStringList{};
    QTest::newRow("blank in the resolved code")
        << 0 << "AB1234567" << QByteArray("AB 2345: Gold ring")
        << QStringList{dir + "AB1234567 10:30:00"} << QStringList{};
    QTest::newRow("not in account mode") << 1 << "12345" << QByteArray("1234567: x")
                                         << QStringList{dir + "12345 10:30:00"} << QStringList{};
    // A service order is eight characters long and never resolves either.
    QTest::newRow("not in repairs mode") << 2 << "or000123" << QByteArray("OR00012: Repair")
                                         << QStringList{dir + "or000123 10:30:00"} << QStringList{};
}

void TestLookup::longCode()
{
    QFETCH(int, mode);
    QFETCH(QString, code);
    QFETCH(QByteArray, line2);
    QFETCH(QStringList, expectedRequests);
    QFETCH(QStringList, names);
    // Every reply names a seven-character code: the look-up still ends.
    serve({"10:30:00\r\n" + line2 + "\r\n"});
    m_state.lOrders = mode == 2;
    const server::LookupResult found = lookUp(code, mode == 0, QStringLiteral("RING"));
    QCOMPARE(requests(), expectedRequests);
    // The code found is shown in the name field and handed back.
    QCOMPARE(m_display.names, names);
    QCOMPARE(found.resolvedCode, names.value(0));
}

void TestLookup::existingImage_data()
{
    QTest::addColumn<bool>("inventory");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("fetched");
    QTest::newRow("own picture") << true << "/srv/zmr"
                                 << "AB12345"
                                 << "" << QByteArray("x")
                                 << "clerk@shop:/srv/zmr/images/AB/AB12345.jpg";
    QTest::newRow("supplier picture")
        << true << "/srv/zmr"
        << "AB12345"
        << "" << QByteArray("Ring\r\nimages/ssr/1234/RING5.jpg exists on server\r\n")
        << "clerk@shop:/srv/zmr/images/ssr/1234/RING5.jpg";
    QTest::newRow("last of two supplier pictures")
        << true << "/srv/zmr"
        << "AB12345"
        << ""
        << QByteArray("images/ssr/1234/A.jpg exists on server\r\n"
                      "images/ssr/1234/B.jpg exists on server\r\n")
        << "clerk@shop:/srv/zmr/images/ssr/1234/B.jpg";
    QTest::newRow("server names something odd")
        << true << "/srv/zmr"
        << "AB12345"
        << "" << QByteArray("images/ssr/1234/../../x.jpg exists on server\r\n")
        << "clerk@shop:/srv/zmr/images/AB/AB12345.jpg";
    QTest::newRow("supplier without a name")
        << false << "/srv/zmr"
        << "1234"
        << "" << QByteArray("x") << "clerk@shop:/srv/zmr/images/ssr/1234/1234.jpg";
    QTest::newRow("path ending in a slash")
        << true << "/srv/zmr/"
        << "AB12345"
        << "" << QByteArray("x") << "clerk@shop:/srv/zmr/images/AB/AB12345.jpg";
    QTest::newRow("code with a quote fetches nothing") << true << "/srv/zmr"
                                                       << "A'B"
                                                       << "" << QByteArray("x") << "";
    // An ordinary file name goes to the server quoted.
    QTest::newRow("name from a camera file")
        << false << "/srv/zmr"
        << "1234"
        << "IMG_1234(2)" << QByteArray("x")
        << "clerk@shop:'/srv/zmr/images/ssr/1234/IMG_1234(2).jpg'";
    // The server names the supplier's picture as it is on disk.
    QTest::newRow("supplier picture in capitals")
        << true << "/srv/zmr"
        << "AB12345"
        << "" << QByteArray("Ring\r\nimages/ssr/1234/RING5.JPG exists on server\r\n")
        << "clerk@shop:/srv/zmr/images/ssr/1234/RING5.JPG";
    QTest::newRow("no rule fetches nothing") << true << "/srv/zmr"
                                             << "F0000X12"
                                             << "" << QByteArray("x") << "";
}

void TestLookup::existingImage()
{
    QFETCH(bool, inventory);
    QFETCH(QString, path);
    QFETCH(QString, code);
    QFETCH(QString, name);
    QFETCH(QByteArray, reply);
    QFETCH(QString, fetched);
    QVERIFY(runtime::writeWholeFile(m_world.file("framla.tmp"), reply));
    QVERIFY(runtime::writeWholeFile(m_world.file("scratch.jpg"), "left over"));
    serve({reply});
    Target target = test::asked(code);
    target.cName = name;
    target.lInventory = inventory;
    QVERIFY(server::ShowOldImg(m_state, m_display,
                               ServerLogin{"shop", "22", path, "clerk", "pw", m_state.login.lIsDOS},
                               target));
    QCOMPARE(fetchedImages(), fetched.isEmpty() ? QStringList{} : QStringList{fetched});
    QCOMPARE(m_display.pictures, (QStringList{"wait.gif TW", "scratch.jpg T"}));
    // The left-over preview is never shown as the recorded picture.
    QCOMPARE(QFile::exists(m_world.file("scratch.jpg")), !fetched.isEmpty());
}

void TestLookup::staleReplyNotActedOn()
{
    // An earlier look-up left a reply naming a supplier picture; this one fails.
    QVERIFY(runtime::writeWholeFile(m_world.file("framla.tmp"),
                                    "09:00:00\r\nimages/ssr/1234/RING5.jpg exists on server\r\n"
                                    "<!-- exists Owned by someone -->"));
    serve({QByteArray()});
    const server::LookupResult found = lookUp(QStringLiteral("CD54321"));
    QCOMPARE(fetchedImages(), QStringList{"clerk@shop:/srv/zmr/images/CD/CD54321.jpg"});
    QCOMPARE(test::putAnswer(found), QStringLiteral("no"));
}

void TestLookup::emptyCodeIsNoRequest_data()
{
    QTest::addColumn<bool>("inventory");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::newRow("after a deletion") << true << ""
                                      << "";
    QTest::newRow("name before any code") << false << ""
                                          << "RING5";
    QTest::newRow("blanks only") << false << "  "
                                 << "RING5";
}

void TestLookup::emptyCodeIsNoRequest()
{
    QFETCH(bool, inventory);
    QFETCH(QString, code);
    QFETCH(QString, name);
    serve({"10:30:00\r\nx\r\n"});
    // Nothing asked, nothing answered: the put permission stays as it was.
    QCOMPARE(test::putAnswer(lookUp(code, inventory, name)), QStringLiteral("-"));
    QCOMPARE(m_shell.commands.size(), 0);
    QCOMPARE(m_dialogs.texts(), QStringList());
    QCOMPARE(m_display.events, QStringList());
}

void TestLookup::windowsServerLines_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("image");
    const QString fetch = "/C start /min /wait .\\pscp.exe -scp -P 22 -pw pw clerk@shop:";
    QTest::newRow("own picture")
        << QByteArray("10:30:00\r\nRing\r\n")
        << fetch + "c:\\\\\\zmr\\\\\\images\\\\\\AB\\\\\\AB12345.jpg scratch.jpg";
    QTest::newRow("supplier picture")
        << QByteArray("10:30:00\r\nRing\r\n<!-- images/ssr/1234/RING5.jpg exists on server -->\r\n")
        << fetch + "c:\\\\\\zmr\\\\\\images/ssr/1234/RING5.jpg scratch.jpg";
}

void TestLookup::windowsServerLines()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, image);
    m_state.login.cPath = QStringLiteral("c:\\zmr");
    m_state.login.lIsDOS = true;
    serve({reply});
    lookUp(QStringLiteral("AB12345"));
    // The request names the reply directory with "/jtemp/"; the fetch reads
    // "\temp\", its backslashes tripled.
    QCOMPARE(m_shell.texts(),
             (QStringList{"/C start /min /wait .\\plink.exe -ssh -P 22 -pw pw clerk@shop framaid "
                          "c:\\zmr/jtemp/clerk AB12345 10:30:00",
                          "/C start /min /wait .\\pscp.exe -scp -P 22 -pw pw "
                          "clerk@shop:c:\\\\\\zmr\\\\\\temp\\\\\\clerk/framla.tmp .",
                          image}));
}

void TestLookup::hostileValuesSendNothing_data()
{
    QTest::addColumn<bool>("inventory");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");
    const QString unixPath = "/srv/zmr";
    QTest::newRow("long code with a command") << true << "AB1;touch x"
                                              << "" << unixPath;
    // A Windows server's shell expands these even inside quotes.
    QTest::newRow("substitution, Windows server") << true << "$(id)xxxx"
                                                  << ""
                                                  << "c:\\zmr";
    QTest::newRow("variable in a name, Windows server") << false << "1234"
                                                        << "%TEMP%"
                                                        << "c:\\zmr";
    QTest::newRow("option in a name") << false << "1234"
                                      << "-rf" << unixPath;
    QTest::newRow("parent in a name") << false << "1234"
                                      << "../x" << unixPath;
    QTest::newRow("blank in a name") << false << "1234"
                                     << "a b" << unixPath;
    QTest::newRow("quote in a name") << false << "12345"
                                     << "a'b" << unixPath;
}

void TestLookup::hostileValuesSendNothing()
{
    QFETCH(bool, inventory);
    QFETCH(QString, code);
    QFETCH(QString, name);
    QFETCH(QString, path);
    m_state.login.cPath = path;
    m_state.login.lIsDOS = path.contains(QLatin1Char('\\'));
    serve({"10:30:00\r\nx\r\n"});
    QCOMPARE(test::putAnswer(lookUp(code, inventory, name)), QStringLiteral("-"));
    QVERIFY(m_shell.commands.isEmpty());
    QCOMPARE(m_dialogs.boxes.size(), 1);
    QVERIFY(m_dialogs.boxes.first().text.contains(QStringLiteral("cannot be used")));
}

void TestLookup::operationStops_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("status"); ///< how the first run ends
    QTest::addColumn<int>("waitMs"); ///< how long the first run takes
    QTest::addColumn<int>("runs");
    const int finished = int(RunOutcome::Status::Finished);
    QTest::newRow("all runs") << "shop" << finished << 0 << 3;
    // The copy tool splits its remote path at the first ":".
    QTest::newRow("address with a command") << "127.0.0.1:$(touch x)" << finished << 0 << 0;
    QTest::newRow("host key refused") << "shop" << int(RunOutcome::Status::Refused) << 0 << 1;
    QTest::newRow("time is up") << "shop" << finished << 50 << 1;
}

void TestLookup::operationStops()
{
    QFETCH(QString, address);
    QFETCH(int, status);
    QFETCH(int, waitMs);
    QFETCH(int, runs);
    m_state.login.cAddress = address;
    if (waitMs > 0)
        m_state.limits.lookupMs = waitMs / 2;
    serve({"10:30:00\r\nGold ring\r\n"});
    const auto serveAll = m_shell.onRun;
    m_shell.onRun = [&](const ToolCommand &command) {
        if (m_shell.commands.size() > 1)
            return serveAll(command);
        QThread::msleep(waitMs);
        RunOutcome outcome = serveAll(command);
        outcome.status = RunOutcome::Status(status);
        return outcome;
    };
    lookUp(QStringLiteral("AB12345"));
    QCOMPARE(m_shell.commands.size(), runs);
}

void TestLookup::requestFailureShown_data()
{
    QTest::addColumn<int>("status"); ///< how the framaid run ends
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("said"); ///< its standard error
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown"); ///< the reply display at the end
    const int finished = int(RunOutcome::Status::Finished);
    const QString failed = test::kFetchFailed + "\r\n\r\n";
    QTest::newRow("framaid missing") << finished << 127 << QByteArray("sh: 1: framaid: not found\n")
                                     << "plink ended with exit code 127: sh: 1: framaid: not found"
                                     << failed + QString::fromLatin1(server::kNoServerProgramText);
    QTest::newRow("framaid failed")
        << finished << 3 << QByteArray() << "plink ended with exit code 3: no reply directory given"
        << failed + "plink ended with exit code 3: no reply directory given";
    // The runner stops the run with what was left of the operation's time.
    QTest::newRow("stopped at the operation's limit")
        << int(RunOutcome::Status::TimedOut) << -1 << QByteArray()
        << "plink did not finish within 0.098 seconds and was stopped."
        << failed + QString::fromLatin1(server::kOperationTimeText);
    // What lies in the reply directory then may be another account's. framaid
    // says why in its own words, which the runner's guess must not replace.
    const QByteArray said("framaid: x belongs to user=mate; no reply is written\n");
    QTest::newRow("reply directory of another account")
        << finished << 5 << said << "The server did not allow access to the file."
        << failed + QString::fromLatin1(said.trimmed());
    QTest::newRow("request refused, the reply says why") << finished << 2 << QByteArray() << ""
                                                         << "Gold ring\r\n";
}

void TestLookup::requestFailureShown()
{
    QFETCH(int, status);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, said);
    QFETCH(QString, message);
    QFETCH(QString, shown);
    m_state.limits.lookupMs = 3000;
    // The reply directory holds a reply with the token: only a run of
    // framaid that ended well makes it the answer.
    serve({"10:30:00\r\nGold ring\r\n"});
    m_requestOutcome.status = RunOutcome::Status(status);
    m_requestOutcome.exitCode = exitCode;
    m_requestOutcome.standardError = said;
    m_requestOutcome.message = message;
    const server::LookupResult found = lookUp(QStringLiteral("AB12345"));
    QCOMPARE(m_display.replies.last(), shown);
    QCOMPARE(test::putAnswer(found), exitCode == 2 ? "yes" : "no");
    QCOMPARE(m_fetches, exitCode == 2 ? 1 : 0);
}

void TestLookup::cutOffReply_data()
{
    QTest::addColumn<bool>("announced"); ///< framaid said its reply ends with the closing line
    QTest::addColumn<int>("fetchExit");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("shown");
    const QByteArray head("10:30:00 framaid\r\nGold ring\r\n<!-- request AB12345 -->\r\n");
    const QString text = "Gold ring\r\n<!-- request AB12345 -->\r\n";
    const QString failed = test::kFetchFailed + "\r\n\r\n";
    QTest::newRow("whole") << true << 0 << head + "<!-- end -->\r\n" << text + "<!-- end -->\r\n";
    QTest::newRow("cut off") << true << 0 << head
                             << failed +
                                    "The server's reply was cut off: its closing line is missing.";
    QTest::newRow("older framaid, no request line, no closing line")
        << false << 0 << QByteArray("10:30:00 framaid\r\nGold ring\r\n")
        << QString("Gold ring\r\n");
    // A reply that names its request ends with the closing line, announced or not.
    QTest::newRow("request line, not announced, cut off")
        << false << 0 << head
        << failed + "The server's reply was cut off: its closing line is missing.";
    // What a copy that failed left behind is never read, whole or not.
    QTest::newRow("copy failed") << false << 1 << head << failed + "Connection lost.";
}

void TestLookup::cutOffReply()
{
    QFETCH(bool, announced);
    QFETCH(int, fetchExit);
    QFETCH(QByteArray, reply);
    QFETCH(QString, shown);
    serve({reply});
    if (announced)
        m_requestOutcome.standardOutput = "framaid: reply written; its last line is <!-- end -->\n";
    m_fetchOutcome = test::finishedRun(fetchExit, QStringLiteral("Connection lost."));
    const server::LookupResult found = lookUp(QStringLiteral("AB12345"));
    QCOMPARE(m_display.replies.last(), shown);
    QCOMPARE(test::putAnswer(found), shown.startsWith(test::kFetchFailed) ? "no" : "yes");
}

void TestLookup::pictureAhead_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("sideSaid"); ///< the fetch beside failed saying this
    QTest::addColumn<QStringList>("fetched"); ///< every picture fetch, in order
    QTest::addColumn<QString>("shown");       ///< what the view shows ("" for none)
    const QString own = "clerk@shop:/srv/zmr/images/AB/AB12345.jpg";
    const QString ssr = "clerk@shop:/srv/zmr/images/ssr/1234/RING5.jpg";
    const QByteArray ring("10:30:00\r\nRing\r\n");
    const QByteArray noFile("scp: x.jpg: No such file or directory\n");
    const QByteArray lost("FATAL ERROR: Network error: x\n");
    // clang-format off
    QTest::newRow("reply agrees") << ring << QByteArray() << QStringList{own} << own;
    QTest::newRow("supplier's picture") << ring + "images/ssr/1234/RING5.jpg exists on server\r\n" << QByteArray() << QStringList{own, ssr} << ssr;
    QTest::newRow("earlier token") << QByteArray("09:00:00\r\nRing\r\n") << QByteArray() << QStringList{own, own} << own;
    QTest::newRow("none there") << ring << noFile << QStringList{own} << "";
    QTest::newRow("connection lost") << ring << lost << QStringList{own, own} << own;
    // clang-format on
}

void TestLookup::pictureAhead()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, sideSaid);
    QFETCH(QStringList, fetched);
    QFETCH(QString, shown);
    serve({reply});
    const auto serveAll = m_shell.onRun;
    m_shell.onRun = [&](const ToolCommand &command) {
        if (sideSaid.isEmpty() || !command.args.value(4).startsWith(QStringLiteral("verify-")))
            return serveAll(command);
        RunOutcome failed = test::finishedRun(1);
        failed.standardError = sideSaid;
        return failed;
    };
    m_shell.beside = true;
    lookUp(QStringLiteral("AB12345"));
    QCOMPARE(fetchedImages(), fetched);
    // Shown after the reply, as without the fetch beside.
    QCOMPARE(m_display.pictures, (QStringList{"wait.gif TW", "scratch.jpg T"}));
    QCOMPARE(runtime::readWholeFile(m_world.file("scratch.jpg")).value_or(""), shown.toUtf8());
    QCOMPARE(QDir(m_world.dir->path()).entryList({"verify-*"}), QStringList{});
}

QTEST_GUILESS_MAIN(TestLookup)
#include "tst_lookup.moc"
