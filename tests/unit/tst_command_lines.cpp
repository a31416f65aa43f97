// Command lines: the remote shapes in both server flavours and the resize, rendered as
// the log shows them, and the check of typed values.
#include "core/program_state.h"
#include "runtime/files.h"
#include "server/command_lines.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace framla;
using runtime::ToolCommand;
using runtime::WindowHint;

class TestCommandLines : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lines_data();
    void lines();
    void passwordMasked();
    void safeNames_data();
    void safeNames();
    void remoteWords_data();
    void remoteWords();
    void loginProblems_data();
    void loginProblems();
    void placeScript_data();
    void placeScript();
    void fetchPlain_data();
    void fetchPlain();
    void staleBatchDirectories();
};

namespace {
using Settings = ServerLogin;

Settings settings(const QString &path)
{
    Settings s;
    s.cAddress = QStringLiteral("shop.example");
    s.cPort = QStringLiteral("22");
    s.cPath = path;
    s.cUser = QStringLiteral("clerk");
    s.cPass = QStringLiteral("se\\cret");
    s.lIsDOS = path.contains(QLatin1Char('\\'));
    return s;
}
} // namespace

void TestCommandLines::lines_data()
{
    QTest::addColumn<ToolCommand>("command");
    QTest::addColumn<QString>("expected");

    const Settings unix = settings(QStringLiteral("/srv/zmr"));
    const Settings dos = settings(QStringLiteral("c:\\zmr"));

    QTest::newRow("reply fetch") << server::fetchCommand(
                                        unix, unix.cPath + "/jtemp/" + unix.cUser + "/framla.tmp",
                                        QStringLiteral("."), true)
                                 << "/C start /min /wait .\\pscp.exe -scp -P 22 -pw se\\cret "
                                    "clerk@shop.example:/srv/zmr/jtemp/clerk/framla.tmp .";
    // Only the remote path's backslashes are tripled; the "/" before the file
    // name stays single, the tool name and the password stay as they are.
    QTest::newRow("reply fetch, Windows server")
        << server::fetchCommand(dos, dos.cPath + "\\temp\\" + dos.cUser + "/framla.tmp",
                                QStringLiteral("."), true)
        << "/C start /min /wait .\\pscp.exe -scp -P 22 -pw se\\cret "
           "clerk@shop.example:c:\\\\\\zmr\\\\\\temp\\\\\\clerk/framla.tmp .";
    QTest::newRow("settings test shows its window")
        << server::fetchCommand(unix, unix.cPath + "/framla.ok", QStringLiteral("."), true,
                                WindowHint::Normal)
        << "/C start /wait .\\pscp.exe -scp -P 22 -pw se\\cret "
           "clerk@shop.example:/srv/zmr/framla.ok .";
    QTest::newRow("existing image fetch")
        << server::fetchCommand(unix, unix.cPath + "/images/AB/AB12345.jpg",
                                QStringLiteral("scratch.jpg"), true)
        << "/C start /min /wait .\\pscp.exe -scp -P 22 -pw se\\cret "
           "clerk@shop.example:/srv/zmr/images/AB/AB12345.jpg scratch.jpg";
    QTest::newRow("upload")
        << server::sendCommand(unix, QStringLiteral("scratch.jpg"),
                               unix.cPath + "/images/AB/AB12345.jpg", false)
        << "/C start /min /wait .\\pscp.exe -scp -P 22 -pw se\\cret scratch.jpg "
           "clerk@shop.example:/srv/zmr/images/AB/AB12345.jpg";
    QTest::newRow("upload to a Windows server keeps its slashes")
        << server::sendCommand(dos, QStringLiteral("scratch.jpg"),
                               dos.cPath + "/images/AB/AB12345.jpg", false)
        << "/C start /min /wait .\\pscp.exe -scp -P 22 -pw se\\cret scratch.jpg "
           "clerk@shop.example:c:\\zmr/images/AB/AB12345.jpg";
    QTest::newRow("look-up request")
        << server::requestCommand(unix, QStringLiteral("AB12345"), QStringLiteral("10:30:00"))
        << "/C start /min /wait .\\plink.exe -ssh -P 22 -pw se\\cret clerk@shop.example "
           "framaid /srv/zmr/jtemp/clerk AB12345 10:30:00";
    QTest::newRow("look-up request, Windows server")
        << server::requestCommand(dos, QStringLiteral("AB12345"), QStringLiteral("10:30:00"))
        << "/C start /min /wait .\\plink.exe -ssh -P 22 -pw se\\cret clerk@shop.example "
           "framaid c:\\zmr/jtemp/clerk AB12345 10:30:00";
    Settings domain = unix;
    domain.cUser = QStringLiteral("DOM\\clerk");
    QTest::newRow("look-up request, login in a domain")
        << server::requestCommand(domain, QStringLiteral("or000123"), QStringLiteral("Timeless"))
        << "/C start /min /wait .\\plink.exe -ssh -P 22 -pw se\\cret DOM\\clerk@shop.example "
           "framaid /srv/zmr/jtemp/DOM_clerk or000123 Timeless";
    QTest::newRow("resize before the upload")
        << server::resizeCommand(320, QStringLiteral("upload-1.jpg"))
        << "/C mogrify -resize 320x320 upload-1.jpg";
    QTest::newRow("deletion, Windows server")
        << server::remoteCommand(dos,
                                 {QStringLiteral("rm"), QStringLiteral("-f"),
                                  dos.cPath + "\\images\\AB\\AB12345.jpg"},
                                 true)
        << "/C start /min /wait .\\plink.exe -ssh -P 22 -pw se\\cret clerk@shop.example rm -f "
           "c:\\\\\\zmr\\\\\\images\\\\\\AB\\\\\\AB12345.jpg";
    QTest::newRow("chmod")
        << server::remoteCommand(unix,
                                 {QStringLiteral("chmod"), QStringLiteral("644"),
                                  unix.cPath + "/images/AB/AB12345.jpg"},
                                 false)
        << "/C start /min /wait .\\plink.exe -ssh -P 22 -pw se\\cret clerk@shop.example chmod "
           "644 /srv/zmr/images/AB/AB12345.jpg";
    Settings blank = settings(QStringLiteral("/srv/shop data"));
    QTest::newRow("path with a blank is quoted for the server")
        << server::requestCommand(blank, QStringLiteral("AB12345"), QStringLiteral("10:30:00"))
        << "/C start /min /wait .\\plink.exe -ssh -P 22 -pw se\\cret clerk@shop.example "
           "framaid \"'/srv/shop data/jtemp/clerk'\" AB12345 10:30:00";
    QTest::newRow("remote path with a blank is quoted for the server")
        << server::fetchCommand(blank, blank.cPath + "/framla.ok", QStringLiteral("."), false)
        << "/C start /min /wait .\\pscp.exe -scp -P 22 -pw se\\cret "
           "\"clerk@shop.example:'/srv/shop data/framla.ok'\" .";
    QTest::newRow("local file with a blank stays one argument")
        << server::sendCommand(unix, QStringLiteral("/home/shop/My Files/STOCK.DBF"),
                               unix.cPath + "/shuttle/stock.dbf", true)
        << "/C start /min /wait .\\pscp.exe -scp -P 22 -pw se\\cret "
           "\"/home/shop/My Files/STOCK.DBF\" clerk@shop.example:/srv/zmr/shuttle/stock.dbf";
}

void TestCommandLines::lines()
{
    QFETCH(ToolCommand, command);
    QFETCH(QString, expected);
    QCOMPARE(command.textWithPassword(), expected);
}

void TestCommandLines::passwordMasked()
{
    const Settings unix = settings(QStringLiteral("/srv/zmr"));
    const ToolCommand command =
        server::fetchCommand(unix, QStringLiteral("/srv/zmr/x"), QStringLiteral("."), false);
    QVERIFY(!command.text().contains(unix.cPass));
    QVERIFY(command.text().contains(QStringLiteral("-pw ********")));
    QVERIFY(!command.args.contains(unix.cPass));
}

void TestCommandLines::safeNames_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("onUnix");    // safe for a Unix server
    QTest::addColumn<bool>("onWindows"); // safe for a Windows server
    QTest::newRow("code") << "AB---12" << true << true;
    QTest::newRow("name") << "RING_5.v2" << true << true;
    QTest::newRow("order") << "or000123" << true << true;
    // Every word is quoted, so ordinary file names pass.
    QTest::newRow("camera copy") << "IMG_1234(2)" << true << true;
    QTest::newRow("plus") << "RING+5" << true << true;
    QTest::newRow("star") << "*" << true << true;
    QTest::newRow("semicolon") << "a;b" << true << true;
    QTest::newRow("substitution") << "$(id)" << true << false;
    QTest::newRow("backquote") << "`id`" << true << false;
    QTest::newRow("percent") << "%TEMP%" << true << false;
    QTest::newRow("empty") << "" << false << false;
    QTest::newRow("command with a blank") << ";touch x" << false << false;
    QTest::newRow("quote") << "a'b" << false << false;
    QTest::newRow("double quote") << "a\"b" << false << false;
    QTest::newRow("parent") << "../x" << false << false;
    QTest::newRow("dots inside") << "a..b" << false << false;
    QTest::newRow("leading dot") << ".profile" << false << false;
    QTest::newRow("leading dash") << "-rf" << false << false;
    QTest::newRow("dash inside") << "a-rf" << true << true;
    QTest::newRow("blank") << "a b" << false << false;
    QTest::newRow("slash") << "a/b" << false << false;
    QTest::newRow("backslash") << "a\\b" << false << false;
    QTest::newRow("tab") << "a\tb" << false << false;
    QTest::newRow("delete") << "a\x7f" << false << false;
    QTest::newRow("accented") << "caf\u00e9" << false << false;
}

void TestCommandLines::safeNames()
{
    QFETCH(QString, value);
    QFETCH(bool, onUnix);
    QFETCH(bool, onWindows);
    QCOMPARE(server::isSafeName(value), onUnix);
    QCOMPARE(server::isSafeName(value, true), onWindows);
}

void TestCommandLines::remoteWords_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("dos");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain path") << "/srv/zmr/x.jpg" << false << "/srv/zmr/x.jpg";
    QTest::newRow("blank") << "/srv/a b" << false << "'/srv/a b'";
    QTest::newRow("quote inside") << "it's" << false << "'it'\\''s'";
    QTest::newRow("star") << "*" << false << "'*'";
    QTest::newRow("windows path") << "c:\\zmr\\x" << true << "c:\\zmr\\x";
    QTest::newRow("windows blank") << "c:\\my zmr" << true << "\"c:\\my zmr\"";
    // A double quote cannot stand inside a quoted Windows word: it is left out.
    QTest::newRow("windows double quote") << "c:\\my \"zmr\"" << true << "\"c:\\my zmr\"";
    QTest::newRow("windows double quote alone") << "a\"b" << true << "\"ab\"";
    QTest::newRow("backslash on a unix server") << "a\\b" << false << "'a\\b'";
    // The server's shell still expands a leading home directory.
    QTest::newRow("home directory") << "~/zmr/x.jpg" << false << "~/zmr/x.jpg";
    QTest::newRow("home directory, blank") << "~/my zmr" << false << "~/'my zmr'";
    QTest::newRow("tilde elsewhere") << "/srv/~x" << false << "'/srv/~x'";
}

void TestCommandLines::remoteWords()
{
    QFETCH(QString, word);
    QFETCH(bool, dos);
    QFETCH(QString, expected);
    QCOMPARE(server::remoteWord(word, dos), expected);
}

void TestCommandLines::loginProblems_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("problem");
    const QString ok;
    QTest::newRow("host name") << "shop.example"
                               << "22"
                               << "clerk"
                               << "/srv/zmr" << ok;
    QTest::newRow("IPv4") << "10.0.0.5"
                          << "2222"
                          << "clerk"
                          << "/srv/zmr" << ok;
    QTest::newRow("IPv6 in brackets") << "[::1]"
                                      << "22"
                                      << "j.smith_2"
                                      << "/srv/zmr" << ok;
    QTest::newRow("Windows path") << "shop"
                                  << "22"
                                  << "clerk"
                                  << "c:\\zmr data" << ok;
    QTest::newRow("Unix path with a substitution") << "shop"
                                                   << "22"
                                                   << "clerk"
                                                   << "/srv/x$(touch p)" << ok;
    const QString address = "The server address \"%1\" is not a host name or an IP address.";
    QTest::newRow("colon in the address") << "127.0.0.1:$(touch /tmp/p)"
                                          << "22"
                                          << "clerk"
                                          << "/srv" << address.arg("127.0.0.1:$(touch /tmp/p)");
    QTest::newRow("IPv6 without brackets") << "::1"
                                           << "22"
                                           << "clerk"
                                           << "/srv" << address.arg("::1");
    QTest::newRow("empty address") << ""
                                   << "22"
                                   << "clerk"
                                   << "/srv" << address.arg("");
    QTest::newRow("option as address") << "-oProxyCommand=x"
                                       << "22"
                                       << "clerk"
                                       << "/srv" << address.arg("-oProxyCommand=x");
    QTest::newRow("port 0") << "shop"
                            << "0"
                            << "clerk"
                            << "/srv"
                            << "The port \"0\" is not a number from 1 to 65535.";
    QTest::newRow("port out of range") << "shop"
                                       << "70000"
                                       << "clerk"
                                       << "/srv"
                                       << "The port \"70000\" is not a number from 1 to 65535.";
    QTest::newRow("user with a command") << "shop"
                                         << "22"
                                         << "a;id"
                                         << "/srv" << ok;
    QTest::newRow("user in a domain") << "shop"
                                      << "22"
                                      << "DOM\\clerk@corp"
                                      << "c:\\zmr" << ok;
    QTest::newRow("empty user") << "shop"
                                << "22"
                                << ""
                                << "/srv"
                                << "The user name is empty.";
    QTest::newRow("user as a switch")
        << "shop"
        << "22"
        << "-oX"
        << "/srv"
        << "The user name \"-oX\" starts with \"-\", which no login name does.";
    QTest::newRow("percent in a Windows user")
        << "shop"
        << "22"
        << "%USERNAME%"
        << "c:\\zmr"
        << "The user name contains \"%\", which the shell of a Windows server would expand.";
    QTest::newRow("substitution in a Windows path")
        << "shop"
        << "22"
        << "clerk"
        << "c:\\x$(touch /tmp/p)"
        << "The database path contains \"$\", which the shell of a Windows server would expand.";
    QTest::newRow("percent in a Windows path")
        << "shop"
        << "22"
        << "clerk"
        << "c:\\%TEMP%"
        << "The database path contains \"%\", which the shell of a Windows server would expand.";
    QTest::newRow("newline in a path") << "shop"
                                       << "22"
                                       << "clerk"
                                       << "/srv/a\nb"
                                       << "The database path contains a control character.";
}

void TestCommandLines::loginProblems()
{
    QFETCH(QString, address);
    QFETCH(QString, port);
    QFETCH(QString, user);
    QFETCH(QString, path);
    QFETCH(QString, problem);
    QCOMPARE(core::loginProblem(core::loginOf(address, port, path, user, QStringLiteral("pw"))),
             problem);
}

namespace {

/// Runs a remote command's words (after "user@host") with the local sh, as
/// the server's login shell would; returns "<exit> <standard output>".
QString runAsServer(const ToolCommand &command)
{
    QStringList words = command.args.mid(4);
    for (QString &word : words) {
        if (word.size() > 1 && word.startsWith(u'\'') && word.endsWith(u'\''))
            word = word.mid(1, word.size() - 2);
    }
    QProcess sh;
    sh.start(words.takeFirst(), words);
    sh.waitForFinished();
    return QString::number(sh.exitCode()) + ' ' + QString::fromLatin1(sh.readAllStandardOutput());
}

/// A shop's database with the operator's reply directory and a private
/// folder outside it. At images/AB/AB1.jpg: "absent", "old", a "link" to the
/// private file, or "folder link" (images/AB leads to the private folder);
/// or the reply directory is "not ours" or "group-writable".
struct Shop {
    QTemporaryDir top;
    QString db = top.filePath("db"), outside = top.filePath("private");
    QString target = db + "/images/AB/AB1.jpg", staged = db + "/jtemp/clerk/upload-1.jpg";
    ServerLogin login = core::loginOf("shop", "22", db, "clerk", "pw");

    explicit Shop(const QString &before)
    {
        QDir().mkpath(db + "/jtemp/clerk");
        QFile::setPermissions(
            db + "/jtemp/clerk",
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                (before == "group-writable" ? QFile::WriteGroup : QFile::Permissions()));
        if (before == "not ours")
            QVERIFY(::chown(QFile::encodeName(db + "/jtemp/clerk").constData(), 65534, 65534) == 0);
        QDir().mkpath(outside);
        QDir().mkpath(db + "/images");
        runtime::writeWholeFile(outside + "/secret.txt", "secret");
        if (before == "folder link")
            QFile::link(outside, db + "/images/AB");
        QDir().mkpath(db + "/images/AB");
        if (before == "old")
            runtime::writeWholeFile(target, "old");
        if (before == "link")
            QFile::link(outside + "/secret.txt", target);
    }
    /// What lies at the target: "link", its content, or "absent".
    QString at() const
    {
        return QFileInfo(target).isSymLink() ? "link"
                                             : runtime::readWholeFile(target).value_or("absent");
    }
};

QString sha256(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

} // namespace

void TestCommandLines::placeScript_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("expect");
    QTest::addColumn<QString>("expected"); // exit, target, files left staged, files in private
    // clang-format off
    QTest::newRow("none there") << "absent" << "none" << "0 new 0 1";
    QTest::newRow("put meanwhile") << "old" << "none" << "4 old 0 1";
    QTest::newRow("the one agreed to") << "old" << sha256("old") << "0 new 0 1";
    QTest::newRow("changed meanwhile") << "old" << sha256("other") << "5 old 0 1";
    QTest::newRow("gone meanwhile") << "absent" << sha256("old") << "5 absent 0 1";
    QTest::newRow("any") << "old" << "any" << "0 new 0 1";
    QTest::newRow("a link, its target's content") << "link" << sha256("secret") << "5 link 0 1";
    QTest::newRow("a link, none expected") << "link" << "none" << "4 link 0 1";
    QTest::newRow("a link, any") << "link" << "any" << "0 new 0 1";
    QTest::newRow("group folder leads out") << "folder link" << "none" << "6 1 1";
    QTest::newRow("reply directory not ours") << "not ours" << "any" << "1 absent 1 1";
    QTest::newRow("reply directory others may write") << "group-writable" << "any" << "1 absent 1 1";
    QTest::newRow("mode refused: placed, says so") << "chmod refused" << "any" << "3 link 0 1";
    // clang-format on
}

void TestCommandLines::placeScript()
{
    QFETCH(QString, before);
    QFETCH(QString, expect);
    QFETCH(QString, expected);
    Shop shop(before);
    runtime::writeWholeFile(shop.staged, "new");
    QFile::setPermissions(shop.staged, QFile::ReadOwner | QFile::WriteOwner);
    // A staged name whose mode cannot be set: a link to nothing.
    if (before == "chmod refused")
        QVERIFY(QFile::remove(shop.staged) && QFile::link(shop.top.filePath("gone"), shop.staged));
    const QString exit =
        runAsServer(server::placeCommand(shop.login, "upload-1.jpg", "644", shop.target, expect));
    // Nothing is written into the private folder; what was placed is readable for everyone.
    QCOMPARE(exit + (before == "folder link" ? QString() : shop.at() + ' ') +
                 QString::number(QDir(shop.db + "/jtemp/clerk").count() - 2) + ' ' +
                 QString::number(QDir(shop.outside).count() - 2),
             expected);
    QVERIFY(exit != "0 " || QFile::permissions(shop.target) & QFile::ReadOther);
}

void TestCommandLines::fetchPlain_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("expected"); // exit and what came out
    // clang-format off
    QTest::newRow("a picture") << "old" << "0 old";
    QTest::newRow("none") << "absent" << "4 ";
    QTest::newRow("a link to another file") << "link" << "5 ";
    // clang-format on
}

void TestCommandLines::fetchPlain()
{
    QFETCH(QString, before);
    QFETCH(QString, expected);
    Shop shop(before);
    QCOMPARE(runAsServer(server::fetchPlainCommand(shop.login, shop.target)), expected);
}

void TestCommandLines::staleBatchDirectories()
{
    // What a killed batch left goes after two hours; nothing of another login or in use.
    Shop shop(QStringLiteral("absent"));
    const QString jtemp = shop.db + "/jtemp/";
    for (const QString &name : {"clerk.b01", "clerk.b02", "clerkx.b01", "clerk"})
        QDir().mkpath(jtemp + name);
    for (const QString &old : {"clerk.b01", "clerkx.b01", "clerk"})
        QVERIFY(QProcess::execute("touch", {"-d", "3 hours ago", jtemp + old}) == 0);
    QCOMPARE(runAsServer(server::staleBatchDirectoriesCommand(shop.login)), "0 ");
    QCOMPARE(QDir(jtemp).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
             (QStringList{"clerk", "clerk.b02", "clerkx.b01"}));
}

QTEST_GUILESS_MAIN(TestCommandLines)
#include "tst_command_lines.moc"
