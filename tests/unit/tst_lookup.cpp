// The look-up: the request, the reply with its token and retries, the flags
// derived from the reply, long-code resolution and the picture on file.
#include "core/program_state.h"
#include "runtime/files.h"
#include "server/existing_image.h"
#include "server/lookup.h"
#include "server/remote_run.h"
#include "server/reply.h"
#include "server/target.h"
#include "server/command_lines.h"
#include "support/scripted_world.h"

#include <QDir>
#include <QThread>
#include <QTemporaryDir>
#include <QTest>

using namespace framla;
using runtime::RunOutcome;
using runtime::ToolCommand;

namespace {
const QString kToken = QStringLiteral("10:30:00");
const QString kFetchFailed = QStringLiteral("ERROR: Failed to fetch data from\r\n"
                                            "Server. Probably temporary connection\r\n"
                                            "failure. Please try again, or check\r\n"
                                            "settings if it persists.");

// What a look-up of the code with the test's token asks for.
framla::server::Target asked(const QString &code)
{
    framla::server::Target target;
    target.cCode = code;
    target.cTime = kToken;
    return target;
}
}

class TestLookup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void token_data();
    void token();
    void matchOnRetry();
    void requestNote_data();
    void requestNote();
    void fetchFailure_data();
    void fetchFailure();
    void noReplyFileAtAll();
    void putPermission_data();
    void putPermission();
    void showExisting_data();
    void showExisting();
    void longCode_data();
    void longCode();
    void existingImage_data();
    void existingImage();
    void staleReplyNotActedOn();
    void emptyCodeIsNoRequest_data();
    void emptyCodeIsNoRequest();
    void windowsServerLines_data();
    void windowsServerLines();
    void replyEncoding_data();
    void replyEncoding();
    void hostileValuesSendNothing_data();
    void hostileValuesSendNothing();
    void replyNotTaken_data();
    void replyNotTaken();
    void operationStops_data();
    void operationStops();
    void requestFailureShown_data();
    void requestFailureShown();
    void cutOffReply_data();
    void cutOffReply();

private:
    /// The replies the server gives to successive fetches of the reply file
    /// (the last one repeats); image fetches create "scratch.jpg".
    void serve(const QList<QByteArray> &replies);
    QStringList fetchedImages() const;
    QStringList requests() const;
    bool lookUp(const QString &code, bool inventory = true, const QString &name = {});

    test::ScriptedWorld m_world;
    test::ScriptedDialogs &m_dialogs = m_world.dialogs;
    test::ScriptedShell &m_shell = m_world.shell;
    test::TestClock &m_clock = m_world.clock;
    test::RecordingDisplay &m_display = m_world.display;
    ProgramState &m_state = m_world.state;
    int m_fetches = 0;
    RunOutcome m_fetchOutcome;   ///< how every fetch of the reply file ends
    RunOutcome m_requestOutcome; ///< how every run of framaid ends
};

void TestLookup::init()
{
    m_world.reset();
    QVERIFY(m_world.dir->isValid());
    m_fetches = 0;
    m_fetchOutcome = test::finishedRun();
    m_requestOutcome = test::finishedRun();
}

void TestLookup::serve(const QList<QByteArray> &replies)
{
    m_shell.onRun = [this, replies](const ToolCommand &command) {
        RunOutcome outcome = test::finishedRun();
        const QString target = command.args.value(4);
        const QDir dir(m_state.cAppPath);
        if (command.executableName() == QStringLiteral("pscp") &&
            command.args.value(3).endsWith(QStringLiteral("/framla.tmp"))) {
            const QByteArray reply = replies.value(qMin<qsizetype>(m_fetches, replies.size() - 1));
            ++m_fetches;
            if (!reply.isNull())
                runtime::writeWholeFile(dir.filePath(QStringLiteral("framla.tmp")), reply);
            return m_fetchOutcome;
        } else if (command.executableName() == QStringLiteral("plink")) {
            return m_requestOutcome;
        } else if (target == QStringLiteral("scratch.jpg")) {
            runtime::writeWholeFile(dir.filePath(target), command.args.value(3).toUtf8());
        }
        return outcome;
    };
}

QStringList TestLookup::fetchedImages() const
{
    QStringList out;
    for (const ToolCommand &command : m_shell.commands) {
        if (command.args.value(4) == QStringLiteral("scratch.jpg"))
            out.append(command.args.value(3));
    }
    return out;
}

QStringList TestLookup::requests() const
{
    QStringList out;
    for (const ToolCommand &command : m_shell.commands) {
        if (command.executableName() == QStringLiteral("plink"))
            out.append(command.args.mid(4).join(QLatin1Char(' ')));
    }
    return out;
}

bool TestLookup::lookUp(const QString &code, bool inventory, const QString &name)
{
    server::Target target = server::targetOf(m_state);
    target.cCode = code;
    target.cName = name;
    target.lInventory = inventory;
    target.cTime = kToken;
    return server::PrepText(m_state, m_display, server::loginOf(m_state), target);
}

void TestLookup::token_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("token");
    QTest::addColumn<bool>("accepted");
    const QByteArray full("10:30:00 ok\r\nGold ring\r\n");
    QTest::newRow("full token") << full << kToken << true;
    QTest::newRow("earlier token") << QByteArray("10:29:59\r\nGold ring\r\n") << kToken << false;
    QTest::newRow("part of the token") << QByteArray("10:30:0") << kToken << false;
    QTest::newRow("empty") << QByteArray("") << kToken << false;
    QTest::newRow("no reply") << QByteArray("Unknown!") << kToken << false;
    // Every reply begins with the empty string: it must answer no request.
    QTest::newRow("empty token") << full << QString() << false;
}

void TestLookup::token()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, token);
    QFETCH(bool, accepted);
    serve({reply});
    server::Target target = asked("AB12345");
    target.cTime = token;
    const bool ok = server::SHWTXTMSG1(m_state, m_display, server::loginOf(m_state), target);
    QCOMPARE(ok, accepted);
    if (accepted) {
        QCOMPARE(m_fetches, 1);
        QVERIFY(m_clock.pauses.isEmpty());
        QCOMPARE(m_display.replies.last(), QStringLiteral("Gold ring\r\n"));
        QVERIFY(m_state.lOk2Put);
        return;
    }
    QCOMPARE(m_fetches, 4);
    QCOMPARE(m_clock.pauses, (QList<int>{10, 100, 200}));
    // "Re-trying..." only before the third retry, then the error text.
    QCOMPARE(m_display.replies, (QStringList{"Fetching data from server...",
                                             "Fetching data from server...\r\nRe-trying...",
                                             kFetchFailed}));
    QVERIFY(!m_state.lOk2Put);
    QCOMPARE(runtime::readWholeFile(m_world.file("framla.tmp")).value(), QByteArray("Unknown!"));
}

void TestLookup::matchOnRetry()
{
    serve({"10:29:59\r\nold\r\n", "10:29:59\r\nold\r\n", "10:30:00\r\nnew\r\n"});
    QVERIFY(server::SHWTXTMSG1(m_state, m_display, server::loginOf(m_state), asked("AB12345")));
    QCOMPARE(m_clock.pauses, (QList<int>{10, 100}));
    QCOMPARE(m_display.replies, (QStringList{"Fetching data from server...", "new\r\n"}));
}

void TestLookup::requestNote_data()
{
    QTest::addColumn<QString>("code"); // what was asked for
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("fetches");
    const QByteArray head("10:30:00 framaid\r\nGold ring\r\n");
    const QByteArray target("<!-- images/AB/AB12345.jpg exists -->\r\n");
    const QByteArray asked = head + "<!-- request AB12345 -->\r\n" + target;
    const QByteArray other = head + "<!-- request AB12346 -->\r\n" + target;
    QTest::newRow("names the code asked for") << "AB12345" << QList<QByteArray>{asked} << true << 1;
    QTest::newRow("names another code") << "AB12345" << QList<QByteArray>{other} << false << 4;
    QTest::newRow("names a longer code") << "AB12345"
        << QList<QByteArray>{head + "<!-- request AB123456 -->\r\n"} << false << 4;
    QTest::newRow("names no request: an older framaid") << "AB12345" << QList<QByteArray>{head + target} << true << 1;
    QTest::newRow("cut off inside the note") << "AB12345" << QList<QByteArray>{head + "<!-- request AB12345"} << false << 4;
    QTest::newRow("another code's reply, then this one's") << "AB12345" << QList<QByteArray>{other, asked} << true << 2;
    QTest::newRow("file checked") << "ix0001.dbf"
        << QList<QByteArray>{head + "<!-- request ix0001.dbf -->\r\n"} << true << 1;
    QTest::newRow("another file") << "ix0001.dbf"
        << QList<QByteArray>{head + "<!-- request ix0002.dbf -->\r\n"} << false << 4;
}

void TestLookup::requestNote()
{
    QFETCH(QString, code);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(bool, accepted);
    QFETCH(int, fetches);
    serve(replies);
    QCOMPARE(server::SHWTXTMSG1(m_state, m_display, server::loginOf(m_state), asked(code)), accepted);
    QCOMPARE(m_fetches, fetches);
    QCOMPARE(m_display.replies.last().startsWith(QStringLiteral("Gold ring")), accepted);
}

void TestLookup::fetchFailure_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QList<int>>("pauses");
    // Only a fetch that ran and failed may do better a moment later.
    QTest::newRow("tool missing")
        << int(RunOutcome::Status::NotStarted) << -1
        << "The program pscp was not found in /app or on the search path." << QList<int>{};
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

void TestLookup::fetchFailure()
{
    QFETCH(int, status);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QList<int>, pauses);
    m_fetchOutcome.status = RunOutcome::Status(status);
    m_fetchOutcome.exitCode = exitCode;
    m_fetchOutcome.message = message;
    serve({QByteArray()});
    QVERIFY(!server::SHWTXTMSG1(m_state, m_display, server::loginOf(m_state), asked("AB12345")));
    QCOMPARE(m_fetches, 1 + pauses.size());
    QCOMPARE(m_clock.pauses, pauses);
    QCOMPARE(m_display.replies.last(),
             kFetchFailed + "\r\n\r\n" + message);
    QCOMPARE(runtime::readWholeFile(m_world.file("framla.tmp")).value(), QByteArray("Unknown!"));
}

void TestLookup::noReplyFileAtAll()
{
    serve({QByteArray()});
    QVERIFY(!server::SHWTXTMSG1(m_state, m_display, server::loginOf(m_state), asked("AB12345")));
    QCOMPARE(runtime::readWholeFile(m_world.file("framla.tmp")).value(), QByteArray("Unknown!"));
}

void TestLookup::putPermission_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("ok2Put");
    QTest::newRow("known item") << QByteArray("10:30:00\r\nAB12345 Gold ring\r\n") << true;
    QTest::newRow("no group") << QByteArray("10:30:00\r\nZZ no pre-existing group\r\n") << false;
}

void TestLookup::putPermission()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, ok2Put);
    serve({reply});
    QVERIFY(lookUp(QStringLiteral("AB12345")));
    QCOMPARE(m_state.lOk2Put, ok2Put);
    QCOMPARE(m_display.replies.last(), QString::fromUtf8(reply.mid(10)));
}

void TestLookup::showExisting_data()
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

void TestLookup::showExisting()
{
    QFETCH(QString, code);
    QFETCH(QByteArray, text);
    QFETCH(int, shown);
    serve({"10:30:00\r\n" + text});
    QVERIFY(server::SHWTXTMSG1(m_state, m_display, server::loginOf(m_state), asked(code)));
    QCOMPARE(m_display.showExisting, shown);
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
    QVERIFY(lookUp(code, mode == 0, QStringLiteral("RING")));
    QCOMPARE(requests(), expectedRequests);
    QCOMPARE(m_display.names, names);
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
        << "IMG_1234(2)" << QByteArray("x") << "clerk@shop:'/srv/zmr/images/ssr/1234/IMG_1234(2).jpg'";
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
    server::Target target = asked(code);
    target.cName = name;
    target.lInventory = inventory;
    QVERIFY(server::ShowOldImg(m_state, m_display,
                               server::ServerLogin{"shop", "22", path, "clerk", "pw", m_state.lIsDOS},
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
    QVERIFY(lookUp(QStringLiteral("CD54321")));
    QCOMPARE(fetchedImages(), QStringList{"clerk@shop:/srv/zmr/images/CD/CD54321.jpg"});
    QVERIFY(!m_state.lOk2Put);
}

void TestLookup::emptyCodeIsNoRequest_data()
{
    QTest::addColumn<bool>("inventory");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::newRow("after a deletion") << true << "" << "";
    QTest::newRow("name before any code") << false << "" << "RING5";
    QTest::newRow("blanks only") << false << "  " << "RING5";
}

void TestLookup::emptyCodeIsNoRequest()
{
    QFETCH(bool, inventory);
    QFETCH(QString, code);
    QFETCH(QString, name);
    serve({"10:30:00\r\nx\r\n"});
    QVERIFY(lookUp(code, inventory, name));
    QCOMPARE(m_shell.commands.size(), 0);
    QCOMPARE(m_dialogs.texts(), QStringList());
    QCOMPARE(m_display.events, QStringList());
}

void TestLookup::windowsServerLines_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("image");
    const QString fetch = "/C start /min /wait .\\pscp.exe -scp -P 22 -pw pw clerk@shop:";
    QTest::newRow("own picture") << QByteArray("10:30:00\r\nRing\r\n")
                                 << fetch + "c:\\\\\\zmr\\\\\\images\\\\\\AB\\\\\\AB12345.jpg scratch.jpg";
    QTest::newRow("supplier picture")
        << QByteArray("10:30:00\r\nRing\r\n<!-- images/ssr/1234/RING5.jpg exists on server -->\r\n")
        << fetch + "c:\\\\\\zmr\\\\\\images/ssr/1234/RING5.jpg scratch.jpg";
}

void TestLookup::windowsServerLines()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, image);
    m_state.cPath = QStringLiteral("c:\\zmr");
    m_state.lIsDOS = true;
    serve({reply});
    QVERIFY(lookUp(QStringLiteral("AB12345")));
    // The request names the reply directory with "/jtemp/"; the fetch reads
    // "\temp\", its backslashes tripled.
    QCOMPARE(m_shell.texts(),
             (QStringList{"/C start /min /wait .\\plink.exe -ssh -P 22 -pw pw clerk@shop framaid "
                          "c:\\zmr/jtemp/clerk AB12345 10:30:00",
                          "/C start /min /wait .\\pscp.exe -scp -P 22 -pw pw "
                          "clerk@shop:c:\\\\\\zmr\\\\\\temp\\\\\\clerk/framla.tmp .",
                          image}));
}

void TestLookup::replyEncoding_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("UTF-8") << QByteArray("Anello \xe2\x82\xac 5, d\xc3\xa9j\xc3\xa0") << "Anello \u20ac 5, d\u00e9j\u00e0";
    QTest::newRow("code page 1252") << QByteArray("Anello \x80 5, d\xe9j\xe0 \x93oro\x94")
                                    << "Anello \u20ac 5, d\u00e9j\u00e0 \u201coro\u201d";
    QTest::newRow("plain ASCII") << QByteArray("Gold ring") << "Gold ring";
}

void TestLookup::replyEncoding()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, shown);
    serve({"10:30:00 framaid\r\n" + text});
    QVERIFY(server::SHWTXTMSG1(m_state, m_display, server::loginOf(m_state), asked("AB12345")));
    QCOMPARE(m_display.replies.last(), shown);
}

void TestLookup::hostileValuesSendNothing_data()
{
    QTest::addColumn<bool>("inventory");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");
    const QString unixPath = "/srv/zmr";
    QTest::newRow("long code with a command") << true << "AB1;touch x" << "" << unixPath;
    // A Windows server's shell expands these even inside quotes.
    QTest::newRow("substitution, Windows server") << true << "$(id)xxxx" << "" << "c:\\zmr";
    QTest::newRow("variable in a name, Windows server") << false << "1234" << "%TEMP%" << "c:\\zmr";
    QTest::newRow("option in a name") << false << "1234" << "-rf" << unixPath;
    QTest::newRow("parent in a name") << false << "1234" << "../x" << unixPath;
    QTest::newRow("blank in a name") << false << "1234" << "a b" << unixPath;
    QTest::newRow("quote in a name") << false << "12345" << "a'b" << unixPath;
}

void TestLookup::hostileValuesSendNothing()
{
    QFETCH(bool, inventory);
    QFETCH(QString, code);
    QFETCH(QString, name);
    QFETCH(QString, path);
    m_state.cPath = path;
    m_state.lIsDOS = path.contains(QLatin1Char('\\'));
    serve({"10:30:00\r\nx\r\n"});
    QVERIFY(lookUp(code, inventory, name));
    QVERIFY(m_shell.commands.isEmpty());
    QCOMPARE(m_dialogs.boxes.size(), 1);
    QVERIFY(m_dialogs.boxes.first().text.contains(QStringLiteral("cannot be used")));
}

void TestLookup::replyNotTaken_data()
{
    QTest::addColumn<bool>("stale");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("shown");
    const QString failed = kFetchFailed;
    // A reply left by an earlier request with the same token, and a fetch that fails.
    QTest::newRow("stale reply") << true << QByteArray() << failed;
    QTest::newRow("reply over the limit")
        << false << QByteArray("10:30:00\r\n") + QByteArray(server::kReplyLimit, 'x')
        << failed + "\r\n\r\n" + QString::fromLatin1(server::kReplyTooLargeText);
}

void TestLookup::replyNotTaken()
{
    QFETCH(bool, stale);
    QFETCH(QByteArray, reply);
    QFETCH(QString, shown);
    if (stale)
        QVERIFY(runtime::writeWholeFile(m_world.file("framla.tmp"), "10:30:00\r\nOld ring\r\n"));
    serve({reply});
    if (stale)
        m_fetchOutcome.exitCode = 1;
    QVERIFY(!server::SHWTXTMSG1(m_state, m_display, server::loginOf(m_state), asked("AB12345")));
    QCOMPARE(m_fetches, stale ? 4 : 1);
    QCOMPARE(m_display.replies.last(), shown);
    QVERIFY(!m_state.lOk2Put);
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
    m_state.cAddress = address;
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
    QVERIFY(lookUp(QStringLiteral("AB12345")));
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
    const QString failed = kFetchFailed + "\r\n\r\n";
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
    QVERIFY(lookUp(QStringLiteral("AB12345")));
    QCOMPARE(m_display.replies.last(), shown);
    QCOMPARE(m_state.lOk2Put, exitCode == 2);
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
    const QString failed = kFetchFailed + "\r\n\r\n";
    QTest::newRow("whole") << true << 0 << head + "<!-- end -->\r\n" << text + "<!-- end -->\r\n";
    QTest::newRow("cut off") << true << 0 << head
                             << failed +
                                    "The server's reply was cut off: its closing line is missing.";
    QTest::newRow("older framaid, no closing line") << false << 0 << head << text;
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
    QVERIFY(lookUp(QStringLiteral("AB12345")));
    QCOMPARE(m_display.replies.last(), shown);
    QCOMPARE(m_state.lOk2Put, !shown.startsWith(kFetchFailed));
}

QTEST_GUILESS_MAIN(TestLookup)
#include "tst_lookup.moc"
