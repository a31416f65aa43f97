// The remote layer against a real SSH server with the real PuTTY tools and
// the real framaid: the settings test, look-ups in every mode, hostile
// values, the host-key question and the password kept out of process lists.
#include "core/codes.h"
#include "core/program_state.h"
#include "runtime/clock.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "server/command_lines.h"
#include "server/lookup.h"
#include "server/settings_probe.h"
#include "server/target.h"
#include "support/scripted_world.h"
#include "support/server_case.h"

#include <QDir>
#include <QDirIterator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace framla;
using runtime::RunOutcome;

class TestRemote : public test::ServerCase {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void settingsTest_data();
    void settingsTest();
    void unknownHostKey_data();
    void unknownHostKey();
    void hostKeyWarningFromTheServer_data();
    void hostKeyWarningFromTheServer();
    void lookUp_data();
    void lookUp();
    void replyNotTheAnswer_data();
    void replyNotTheAnswer();
    void hostileWordsRunNothing_data();
    void hostileWordsRunNothing();
    void hostileSettingsRunNothing_data();
    void hostileSettingsRunNothing();
    void passwordNotInProcessList();
    void lateReply_data();
    void lateReply();
    void otherLogins_data();
    void otherLogins();
    void serverDown();

private:
    QByteArray serverFile(const QString &relative) const;
    /// The look-up of a code as the code field takes it: normalised where it enters.
    server::LookupResult lookUpCode(const QString &code, bool inventory, bool orders,
                                    const QString &name);

    QString m_mate;       ///< another account on the server
    QStringList m_logins; ///< accounts named with "@" and "\\", as SSH servers allow
};

void TestRemote::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    m_mate = QStringLiteral("fxr") + m_server.user().mid(3);
    QVERIFY(test::runTool("useradd", {"-M", "-N", "-s", "/usr/sbin/nologin", m_mate}));
    m_logins = {m_server.user() + "@corp", "DOM\\" + m_server.user()};
    for (const QString &login : m_logins)
        QVERIFY(test::runTool("sh", {"-c",
                                     "useradd --badname -M -N -s /bin/sh \"$0\" && printf "
                                     "'%s:%s\\n' \"$0\" \"$1\" | chpasswd",
                                     login, m_server.password()}));
    const QString config = QFileInfo(m_server.logFile()).dir().filePath("sshd_config");
    QVERIFY(test::runTool("sed", {"-i", "s/^AllowUsers .*/& ?*corp DOM?*/", config}));
    QVERIFY2(m_server.restart(), qPrintable(m_server.error()));
}

void TestRemote::cleanupTestCase()
{
    test::runTool("userdel", {m_mate});
    for (const QString &login : m_logins)
        test::runTool("userdel", {login});
    m_server.stop();
}

void TestRemote::init()
{
    QVERIFY(freshCase());
}

void TestRemote::cleanup()
{
    endCase();
}

QByteArray TestRemote::serverFile(const QString &relative) const
{
    return runtime::readWholeFile(m_server.dbPath() + QLatin1Char('/') + relative)
        .value_or(QByteArray("(missing on server)"));
}

server::LookupResult TestRemote::lookUpCode(const QString &code, bool inventory, bool orders,
                                            const QString &name)
{
    m_state.lOrders = orders;
    m_state.cTime = m_clock.timeOfDay();
    const QString entered = core::enteredCode(code, core::modeOf(inventory, orders));
    return server::PrepText(m_state, m_display, m_state.login,
                            test::targetFor(m_state, entered, inventory, name, m_state.cTime));
}

void TestRemote::settingsTest_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("passes");
    QTest::addColumn<QString>("reason");
    QTest::newRow("good") << ""
                          << ""
                          << "" << true << "";
    QTest::newRow("wrong password") << ""
                                    << ""
                                    << "wrong" << false << "password";
    QTest::newRow("wrong path") << ""
                                << "/nowhere"
                                << "" << false << "not found";
    QTest::newRow("closed port") << "1"
                                 << ""
                                 << "" << false << "refused";
    // The copy tool hands the remote path to the server's shell.
    QTest::newRow("path with a substitution") << ""
                                              << "/srv/$(touch /tmp/framla-pwned)"
                                              << "" << false << "not found";
}

void TestRemote::settingsTest()
{
    QFETCH(QString, port);
    QFETCH(QString, path);
    QFETCH(QString, password);
    QFETCH(bool, passes);
    QFETCH(QString, reason);
    const bool ok = server::TestConfig(
        m_state, core::loginOf(m_state.login.cAddress, port.isEmpty() ? m_state.login.cPort : port,
                               path.isEmpty() ? m_state.login.cPath : path, m_state.login.cUser,
                               password.isEmpty() ? m_state.login.cPass : password));
    QCOMPARE(ok, passes);
    QCOMPARE(QFile::exists(m_appDir->filePath("framla.ok")), passes);
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/framla-pwned")));
    if (passes) {
        QCOMPARE(runtime::readWholeFile(m_appDir->filePath("framla.ok")).value(),
                 serverFile("framla.ok"));
        QVERIFY(m_dialogs.boxes.isEmpty());
    } else {
        QCOMPARE(m_dialogs.boxes.size(), 1);
        const QString text = m_dialogs.boxes.first().text;
        QVERIFY(text.startsWith(
            QStringLiteral("Cannot read ZMR database using the entered parameters.")));
        QVERIFY2(text.contains(reason), qPrintable(text));
    }
}

void TestRemote::unknownHostKey_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("refused") << int(runtime::kNo);
    QTest::newRow("trusted") << int(runtime::kYes);
}

void TestRemote::unknownHostKey()
{
    QFETCH(int, answer);
    // A PuTTY that has never seen this server.
    QTemporaryDir fresh;
    qputenv("PUTTYDIR", fresh.path().toLocal8Bit());
    m_dialogs.answers.enqueue(answer);
    const bool ok = server::TestConfig(m_state, m_state.login);
    QCOMPARE(m_dialogs.boxes.first().kind, test::ScriptedDialogs::Box::Confirm);
    const QString question = m_dialogs.boxes.first().text;
    QVERIFY2(question.contains(QStringLiteral("The host key is not cached for this server")),
             qPrintable(question));
    QVERIFY2(question.contains(m_server.fact("FRAMLA_TEST_HOSTKEY")), qPrintable(question));
    const QByteArray cache =
        runtime::readWholeFile(fresh.filePath(QStringLiteral("sshhostkeys"))).value_or("");
    if (answer == runtime::kYes) {
        QVERIFY(ok);
        QVERIFY(cache.contains(m_state.login.cPort.toLatin1()));
        QCOMPARE(m_dialogs.boxes.size(), 1);
    } else {
        QVERIFY(!ok);
        QVERIFY(cache.isEmpty());
        QVERIFY(m_dialogs.boxes.last().text.contains(QStringLiteral("host key was not accepted")));
    }
}

void TestRemote::hostKeyWarningFromTheServer_data()
{
    QTest::addColumn<bool>("known"); // PuTTY has this server's key
    QTest::newRow("key known") << true;
    QTest::newRow("key not known") << false;
}

void TestRemote::hostKeyWarningFromTheServer()
{
    QFETCH(bool, known);
    QTemporaryDir fresh;
    if (!known)
        qputenv("PUTTYDIR", fresh.path().toLocal8Bit());
    // A program on the server that prints PuTTY's question word for word,
    // naming this very server, and counts its runs.
    const QString bin = m_server.dbPath() + QStringLiteral("/../bin/");
    const QString runs = m_server.dbPath() + QStringLiteral("/../fake-runs");
    QFile::remove(runs);
    const QByteArray question =
        "The host key is not cached for this server:\n  " + m_state.login.cAddress.toLatin1() +
        " (port " + m_state.login.cPort.toLatin1() +
        ")\nYou have no guarantee that the server is the computer you\nthink it is.\n"
        "The server's ssh-ed25519 key fingerprint is:\n"
        "  ssh-ed25519 255 SHA256:FakeFakeFakeFakeFakeFakeFakeFakeFakeFakeFak\n"
        "Connection abandoned.\nFATAL ERROR: Cannot confirm a host key in batch mode\n";
    QVERIFY(runtime::writeWholeFile(bin + "fakewarn", "#!/bin/sh\necho run >> " + runs.toLatin1() +
                                                          "\ncat >&2 <<'END'\n" + question +
                                                          "END\nexit 1\n"));
    QFile::setPermissions(bin + "fakewarn", QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                QFileDevice::ReadOther | QFileDevice::ExeOther);
    m_dialogs.answers.enqueue(runtime::kYes);
    const RunOutcome outcome =
        m_shell->run(server::remoteCommand(m_state.login, {QStringLiteral("fakewarn")}, false),
                     runtime::kLookupTimeoutMs);
    QFile::remove(bin + "fakewarn");
    if (known) {
        // Only PuTTY's own question is one: nothing is asked, nothing runs twice.
        QCOMPARE(m_dialogs.texts(), QStringList{});
        QCOMPARE(runtime::readWholeFile(runs).value_or(""), QByteArray("run\n"));
        QCOMPARE(outcome.exitCode, 1);
    } else {
        // The real question names the real key, and the program runs once,
        // after it was accepted.
        QCOMPARE(m_dialogs.boxes.size(), 1);
        QVERIFY2(m_dialogs.boxes.first().text.contains(m_server.fact("FRAMLA_TEST_HOSTKEY")),
                 qPrintable(m_dialogs.boxes.first().text));
        QCOMPARE(runtime::readWholeFile(runs).value_or(""), QByteArray("run\n"));
    }
}

void TestRemote::lookUp_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("mode"); // 0 inventory, 1 accounts, 2 orders
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("described");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<bool>("ok2Put");
    QTest::newRow("inventory") << "AB10001" << 0 << ""
                               << "Solitaire ring"
                               << "images/AB/AB10001.jpg" << true;
    QTest::newRow("abbreviation") << "AB1" << 0 << ""
                                  << "AB----1"
                                  << "" << false;
    QTest::newRow("supplier picture") << "AB10003" << 0 << ""
                                      << "Signet ring"
                                      << "images/ssr/1234/RING5.jpg" << true;
    QTest::newRow("long code") << "2000000100014" << 0 << ""
                               << "Solitaire ring"
                               << "images/AB/AB10001.jpg" << true;
    QTest::newRow("supplier account") << "1234" << 1 << "RING5"
                                      << "1234"
                                      << "images/ssr/1234/RING5.jpg" << true;
    QTest::newRow("customer account") << "12345" << 1 << ""
                                      << "12345"
                                      << "" << true;
    QTest::newRow("service order") << "101" << 2 << ""
                                   << "or000101"
                                   << "images/ord/or000101.jpg" << true;
    // No picture is filed for a service order the shop has not keyed in.
    QTest::newRow("unknown service order")
        << "999" << 2 << ""
        << "Service order or000999 is not in the service order table."
        << "" << false;
    // In Inventory mode an eight-character tag of "OR" and six digits is an item's.
    QTest::newRow("tag shaped like a service order") << "OR000101" << 0 << ""
                                                     << "No item matches the long code OR000101."
                                                     << "" << false;
    QTest::newRow("unknown code") << "AB99999" << 0 << ""
                                  << "AB99999"
                                  << "" << false;
    QTest::newRow("group missing") << "GH40001" << 0 << ""
                                   << "Automatic watch"
                                   << "" << false;
}

void TestRemote::lookUp()
{
    QFETCH(QString, code);
    QFETCH(int, mode);
    QFETCH(QString, name);
    QFETCH(QString, described);
    QFETCH(QString, picture);
    QFETCH(bool, ok2Put);
    const server::LookupResult found = lookUpCode(code, mode == 0, mode == 2, name);
    const QByteArray reply = runtime::readWholeFile(m_appDir->filePath("framla.tmp")).value_or("");
    QVERIFY2(reply.startsWith(m_state.cTime.toLatin1()), reply.constData());
    QVERIFY2(m_display.replies.last().contains(described), qPrintable(m_display.replies.last()));
    QVERIFY(found.ok2Put == ok2Put);
    const QString scratch = m_appDir->filePath("scratch.jpg");
    if (picture.isEmpty()) {
        QVERIFY(!QFile::exists(scratch));
    } else {
        // The recorded picture arrives byte for byte.
        QCOMPARE(runtime::readWholeFile(scratch).value_or(""), serverFile(picture));
    }
    QCOMPARE(m_display.pictures.last(), QStringLiteral("scratch.jpg T"));
}

void TestRemote::replyNotTheAnswer_data()
{
    // A script root runs first: $1 the reply directory, $2 another account,
    // $3 the reply it wants read (code and token are in framaid's arguments),
    // $4 the directory of the server's framaid.
    QTest::addColumn<QString>("meddling");
    QTest::addColumn<QString>("why"); ///< under the failure text
    QTest::newRow("reply directory made first by another account")
        << R"sh(rm -rf "$1" && runuser -u "$2" -- sh -c 'mkdir -m 755 "$1" &&
                printf %s "$2" >"$1/framla.tmp"' - "$1" "$3")sh"
        << "framaid: " + m_server.dbPath() + "/jtemp/" + m_server.user() +
               " belongs to user=" + m_mate + ", not to user=" + m_server.user() +
               "; no reply is written";
    // framaid ends well, and its reply loses the mark that forbids a put.
    QTest::newRow("reply cut off")
        << R"sh(cd "$4" && mv framaid framaid.real && printf '#!/bin/sh
                "$HOME/bin/framaid.real" "$@"; c=$?; f="$1/framla.tmp"
                truncate -s "$(grep -abo " Owned by" "$f" | cut -d: -f1)" "$f"; exit $c
                ' >framaid && chmod 755 framaid)sh"
        << "The server's reply was cut off: its closing line is missing.";
}

void TestRemote::replyNotTheAnswer()
{
    QFETCH(QString, meddling);
    QFETCH(QString, why);
    const QString forged = m_clock.timeOfDay() + " framaid\r\nAB10002: Forged ring\r\n"
                                                 "<!-- request AB10002 -->\r\n<!-- end -->\r\n";
    const auto asRoot = [&](const QString &script) {
        return test::runTool("sh",
                             {"-c", script, "-", m_server.dbPath() + "/jtemp/" + m_server.user(),
                              m_mate, forged, m_server.dbPath() + "/../bin"});
    };
    auto undo = qScopeGuard([&] {
        asRoot(
            R"sh(rm -rf "$1"; cd "$4" && { [ ! -e framaid.real ] || mv -f framaid.real framaid; })sh");
    });
    QVERIFY(asRoot(meddling));
    const server::LookupResult found =
        lookUpCode(QStringLiteral("AB10002"), true, false, QString());
    QCOMPARE(m_display.replies.last(),
             QString::fromLatin1(server::kFetchFailedText) + "\r\n\r\n" + why);
    QVERIFY(found.ok2Put == false);
}

void TestRemote::hostileSettingsRunNothing_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("path");
    // A backslash makes the path a Windows server's, whose quoting a POSIX
    // shell on the server would still expand; the copy tool splits its
    // remote path at the first ":" of the address.
    QTest::newRow("substitution in a Windows-style path") << ""
                                                          << "DB\\x$(touch MARK)";
    QTest::newRow("command after a colon in the address") << "127.0.0.1:$(touch MARK)"
                                                          << "";
}

void TestRemote::hostileSettingsRunNothing()
{
    QFETCH(QString, address);
    QFETCH(QString, path);
    // Where the server's account could write, were anything to run.
    const QString mark = QDir::temp().filePath(
        QStringLiteral("framla-settings-ran-%1").arg(QCoreApplication::applicationPid()));
    QFile::remove(mark);
    m_state.login.cAddress =
        address.isEmpty() ? m_state.login.cAddress : QString(address).replace("MARK", mark);
    m_state.login.cPath =
        path.isEmpty() ? m_state.login.cPath
                       : QString(path).replace("DB", m_state.login.cPath).replace("MARK", mark);
    m_state.login.lIsDOS = m_state.login.cPath.contains(QLatin1Char('\\'));
    const ServerLogin login = m_state.login;
    QVERIFY(!server::TestConfig(m_state, login));
    lookUpCode(QStringLiteral("AB10001"), true, false, QString());
    const bool ran = QFile::remove(mark);
    QVERIFY2(!ran, "a remote command ran from the settings");
    QCOMPARE(m_dialogs.texts().first(), core::loginProblem(login));
}

void TestRemote::hostileWordsRunNothing_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("refused"); // by framaid; else taken as one plain name
    QTest::newRow("star") << "*" << false;
    QTest::newRow("command") << "a;touch${IFS}x" << false;
    QTest::newRow("substitution") << "$(touch${IFS}x)" << false;
    QTest::newRow("command with a blank") << ";touch x" << true;
    QTest::newRow("quote") << "a'b;touch x" << true;
    QTest::newRow("parent") << "../x" << true;
    QTest::newRow("blank") << "a touch x" << true;
}

void TestRemote::hostileWordsRunNothing()
{
    QFETCH(QString, word);
    QFETCH(bool, refused);
    const QDir home(m_server.dbPath() + QStringLiteral("/.."));
    // None is an account number: none enters as a code, so nothing is asked.
    QVERIFY(!lookUpCode(word, false, false, QStringLiteral("x")).ok2Put.has_value());
    QCOMPARE(m_dialogs.boxes.size(), 0);
    // A word that reaches a command line stays one argument on the server,
    // and nothing in it runs.
    const runtime::ToolCommand request = server::remoteCommand(
        m_state.login,
        {QStringLiteral("framaid"),
         m_state.login.cPath + QStringLiteral("/jtemp/") + m_state.login.cUser, word,
         QStringLiteral("10:30:00")},
        false);
    m_shell->run(request, runtime::kLookupTimeoutMs);
    QVERIFY(!QFile::exists(home.filePath(QStringLiteral("x"))));
    QVERIFY(!QFile::exists(m_appDir->filePath(QStringLiteral("x"))));
    const QByteArray reply =
        runtime::readWholeFile(m_server.dbPath() + "/jtemp/" + m_state.login.cUser + "/framla.tmp")
            .value_or("");
    if (refused)
        QVERIFY2(reply.contains("Request refused"), reply.constData());
    else
        QVERIFY2(reply.contains("<!-- request " + word.toUtf8() + " -->"), reply.constData());
}

void TestRemote::passwordNotInProcessList()
{
    const runtime::ToolCommand slow =
        server::remoteCommand(m_state.login, {QStringLiteral("sleep"), QStringLiteral("3")}, false);
    RunOutcome outcome;
    QThread *worker = QThread::create([&] { outcome = m_shell->run(slow, 30000); });
    worker->start();
    bool sawPlink = false;
    const QByteArray password = m_state.login.cPass.toUtf8();
    while (!worker->isFinished()) {
        QDirIterator procs(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
        while (procs.hasNext()) {
            const QByteArray cmdline =
                runtime::readWholeFile(procs.next() + QStringLiteral("/cmdline")).value_or("");
            if (cmdline.contains("plink"))
                sawPlink = true;
            QVERIFY2(!cmdline.contains(password), cmdline.constData());
        }
        QThread::msleep(50);
    }
    worker->wait();
    delete worker;
    QVERIFY(sawPlink);
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.message));
}

void TestRemote::lateReply_data()
{
    QTest::addColumn<QString>("delay");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("slow, caught by a retry") << "1.5" << true;
    QTest::newRow("too slow") << "8" << false;
}

void TestRemote::lateReply()
{
    QFETCH(QString, delay);
    QFETCH(bool, accepted);
    // A framaid that returns at once and writes its reply only later.
    const QString bin = m_server.dbPath() + QStringLiteral("/../bin/");
    QVERIFY(QFile::rename(bin + "framaid", bin + "framaid.real"));
    QVERIFY(
        runtime::writeWholeFile(bin + "framaid", "#!/bin/sh\n( sleep " + delay.toLatin1() +
                                                     "; exec \"$HOME/bin/framaid.real\" \"$@\" ) "
                                                     ">/dev/null 2>&1 </dev/null &\n"));
    QFile::setPermissions(bin + "framaid", QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                               QFileDevice::ReadOther | QFileDevice::ExeOther);
    runtime::SystemClock clock;
    m_state.services.clock = &clock;
    m_state.cTime = accepted ? QStringLiteral("11:11:11") : QStringLiteral("11:11:22");
    const server::LookupResult found = server::PrepText(
        m_state, m_display, m_state.login,
        test::targetFor(m_state, QStringLiteral("AB10001"), true, QString(), m_state.cTime));
    QFile::remove(bin + "framaid");
    QVERIFY(QFile::rename(bin + "framaid.real", bin + "framaid"));
    QVERIFY(found.ok2Put.has_value());
    const bool retried =
        m_display.replies.contains(QStringLiteral("Fetching data from server...\r\nRe-trying..."));
    if (accepted) {
        QVERIFY2(m_display.replies.last().contains(QStringLiteral("Solitaire ring")),
                 qPrintable(m_display.replies.join('|')));
        QVERIFY(found.ok2Put == true);
    } else {
        QVERIFY(retried);
        QVERIFY(m_display.replies.contains(QString::fromLatin1(server::kFetchFailedText)));
        QVERIFY(found.ok2Put == false);
        // Nothing stale is shown as the recorded picture of this code.
        QCOMPARE(runtime::readWholeFile(m_appDir->filePath("framla.tmp")).value_or(""),
                 QByteArray("Unknown!"));
    }
    // Let the late writer finish before the next test uses the reply file.
    if (!accepted)
        QThread::sleep(8);
}

void TestRemote::serverDown()
{
    m_state.login.cPort = QStringLiteral("1");
    const server::LookupResult found =
        lookUpCode(QStringLiteral("AB10001"), true, false, QString());
    const QString last = m_display.replies.last();
    QVERIFY2(last.startsWith(QString::fromLatin1(server::kFetchFailedText)), qPrintable(last));
    QVERIFY2(last.contains(QStringLiteral("refused the connection")), qPrintable(last));
    QVERIFY(found.ok2Put == false);
}

void TestRemote::otherLogins_data()
{
    QTest::addColumn<QString>("login");
    QTest::newRow("@") << m_logins.value(0);
    QTest::newRow("backslash") << m_logins.value(1);
}

void TestRemote::otherLogins()
{
    QFETCH(QString, login);
    m_state.login.cUser = login;
    QVERIFY(server::TestConfig(m_state, m_state.login));
    QVERIFY(lookUpCode(QStringLiteral("AB10001"), true, false, QString()).ok2Put.has_value());
}

QTEST_GUILESS_MAIN(TestRemote)
#include "tst_remote.moc"
