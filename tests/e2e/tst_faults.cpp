// Faults on the way to the real test server. Through the real program's
// window a code is looked up while framaid is missing on the server, while
// the server accepts and never answers, with a wrong password and while the
// server shows another host key than PuTTY's cache holds; a look-up made
// while a put hangs says a picture is still being sent, and then the put loses
// its network part-way through the copy. Each ends with a plain message,
// reports nothing as done that was not, and leaves the local files as they were.
#include "app/main_window.h"
#include "app/program.h"
#include "config/local_options.h"
#include "config/settings_file.h"
#include "runtime/application.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "server/command_lines.h"
#include "server/lookup.h"
#include "server/remote_run.h"
#include "server/target.h"
#include "server/upload.h"
#include "support/delay_proxy.h"
#include "support/dialog_operator.h"
#include "support/recording_display.h"
#include "support/scripted_dialogs.h"
#include "support/test_clock.h"
#include "support/test_server.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace framla;

namespace {

QByteArray fileBytes(const QString &path)
{
    return runtime::readWholeFile(path).value_or(QByteArray("(missing)"));
}

/// The reply display's text after a failed look-up, line by line.
QStringList failedLookUp(const QString &reason)
{
    return QString::fromLatin1(server::kFetchFailedText).split(QStringLiteral("\r\n")) +
           QStringList{QString(), reason};
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void lookUpFault_data();
    void lookUpFault();
    void networkDropsMidPut();

private:
    QString serverFile(const QString &relative) const
    {
        return m_server.dbPath() + QLatin1Char('/') + relative;
    }

    test::TestServer m_server;
};

void TestFaults::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
}

void TestFaults::cleanupTestCase()
{
    m_server.stop();
}

void TestFaults::lookUpFault_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("shown"); ///< the reply display, line by line
    QTest::addColumn<QStringList>("boxes"); ///< every message box, whole
    QTest::newRow("framaid missing")
        << "no framaid" << failedLookUp(QString::fromLatin1(server::kNoServerProgramText))
        << QStringList{};
    QTest::newRow("server never answers")
        << "silent" << failedLookUp(QString::fromLatin1(server::kOperationTimeText))
        << QStringList{};
    QTest::newRow("wrong password")
        << "password"
        << failedLookUp(QStringLiteral("The server did not accept the user name or password."))
        << QStringList{};
    QTest::newRow("changed host key, refused")
        << "host key"
        << failedLookUp(QStringLiteral(
               "The server's host key was not accepted, so nothing was sent to the server."))
        << QStringList{
               QStringLiteral("WARNING - POTENTIAL SECURITY BREACH!\n"
                              "The server's host key does not match the one stored for it.\n"
                              "Either the server was given a new key, or another computer is "
                              "pretending to be the server.\n\n"
                              "Server: 127.0.0.1 (port %1)\n"
                              "Key fingerprint: ssh-ed25519 255 %2\n\n"
                              "Replace the stored key and connect?")
                   .arg(m_server.port(), m_server.fact("FRAMLA_TEST_HOSTKEY"))};
}

void TestFaults::lookUpFault()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, boxes);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString previousDir = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const auto back = qScopeGuard([&] { QDir::setCurrent(previousDir); });

    // The operator's own files: options that differ from the defaults, the
    // settings and a photo waiting to be used.
    ProgramState saved;
    saved.cAppPath = dir.path();
    saved.aLocalCfg[slot(Option::Size)] = QStringLiteral("L");
    saved.aLocalCfg[slot(Option::CropRatio)] = 0.75;
    QVERIFY(config::SaveConfig(saved));
    QString port = m_server.port();
    QString password = m_server.password();

    const QString bin = m_server.dbPath() + QStringLiteral("/../bin/");
    const QString cache = m_server.fact("PUTTYDIR") + QStringLiteral("/sshhostkeys");
    const QByteArray cacheBefore = fileBytes(cache);
    QTcpServer silent;
    QList<QTcpSocket *> held;
    const auto restore = qScopeGuard([&] {
        QFile::rename(bin + "framaid.away", bin + "framaid");
        runtime::writeWholeFile(cache, cacheBefore);
    });
    if (fault == QLatin1String("no framaid")) {
        QVERIFY(QFile::rename(bin + "framaid", bin + "framaid.away"));
    } else if (fault == QLatin1String("silent")) {
        // Takes the connection and never says a word.
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        connect(&silent, &QTcpServer::newConnection, &silent, [&] {
            while (QTcpSocket *socket = silent.nextPendingConnection())
                held << socket;
        });
        port = QString::number(silent.serverPort());
    } else if (fault == QLatin1String("password")) {
        password = QStringLiteral("not") + password;
    } else if (fault == QLatin1String("host key")) {
        // PuTTY remembers another key for this server than the one it shows.
        const QByteArray entry = "@" + port.toLatin1() + ":127.0.0.1 ";
        QByteArray changed = cacheBefore;
        const qsizetype line = changed.indexOf(entry);
        QVERIFY(line >= 0);
        const qsizetype last = changed.indexOf('\n', line) - 1;
        changed[last] = changed.at(last) == '1' ? '2' : '1';
        QVERIFY(runtime::writeWholeFile(cache, changed));
    }
    ServerLogin login = m_server.login();
    login.cPort = port;
    login.cPass = password;
    QVERIFY(config::SaveParam(saved, login, dir.filePath(QStringLiteral("Framla.cfg"))));
    QVERIFY(runtime::writeWholeFile(dir.filePath(QStringLiteral("photo.jpg")), "a photo"));
    const QStringList kept{"Framla.cfg", "scratch.xpf", "photo.jpg"};
    QList<QByteArray> before;
    for (const QString &name : kept)
        before << fileBytes(dir.filePath(name));
    const QByteArray cacheAsked = fileBytes(cache);
    const QString reply = serverFile("jtemp/" + m_server.user() + "/framla.tmp");
    const QByteArray replyBefore = fileBytes(reply);

    {
        app::Program program;
        program.start({});
        QVERIFY(QTest::qWaitForWindowExposed(program.window()));
        // Waiting for the silent server, the whole look-up may take three
        // seconds here, not a minute.
        if (fault == QLatin1String("silent"))
            program.state().limits.lookupMs = 3000;
        // The operator refuses what is asked (No), else presses OK.
        test::DialogOperator desk({QMessageBox::No, QMessageBox::Ok});
        const app::ImageTabControls &c = program.window()->imageTab();
        QElapsedTimer took;
        took.start();
        QTest::mouseClick(c.oXbpGetCd, Qt::LeftButton);
        QTest::keyClicks(c.oXbpGetCd, QStringLiteral("AB10001"));
        QTest::keyClick(c.oXbpGetCd, Qt::Key_Return);
        qInfo("%s: the look-up ended after %lld ms", qPrintable(fault), took.elapsed());

        QCOMPARE(c.oXbpShowTxt->toPlainText().split(QLatin1Char('\n')), shown);
        QCOMPARE(desk.boxes, boxes);
        QCOMPARE(desk.failures, QStringList());
        QVERIFY(!program.state().lOk2Put);
    }
    // Nothing ran on the server, PuTTY was taught no key, and the local
    // files are as they were, also after the program ended.
    QCOMPARE(fileBytes(reply), replyBefore);
    QCOMPARE(fileBytes(cache), cacheAsked);
    for (qsizetype i = 0; i < kept.size(); ++i)
        QVERIFY2(fileBytes(dir.filePath(kept.at(i))) == before.at(i), qPrintable(kept.at(i)));
}

void TestFaults::networkDropsMidPut()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    test::ScriptedDialogs dialogs;
    test::TestClock clock;
    test::RecordingDisplay display;
    runtime::ProcessShell shell(dir.path(), &dialogs);
    ProgramState state;
    state.cAppPath = dir.path();
    m_server.configure(state);
    state.services.dialogs = &dialogs;
    state.services.clock = &clock;
    state.services.shell = &shell;

    // Each round trip half a second longer: the copy is under way for a while
    // after its file appears on the server.
    test::DelayProxy proxy;
    QVERIFY2(proxy.startInFrontOf(m_server, 500), qPrintable(proxy.error()));
    state.login.cPort = proxy.port();

    // A photo, and the picture the put makes of it.
    const QString photo = dir.filePath(QStringLiteral("photo.jpg"));
    QVERIFY(test::runTool(QStringLiteral("convert"),
                          {"-size", "640x480", "xc:", "+noise", "Random", photo}));
    QTemporaryDir elsewhere;
    const QString resized = elsewhere.filePath(QStringLiteral("resized.jpg"));
    QVERIFY(QFile::copy(photo, resized));
    QVERIFY(test::runTool(QStringLiteral("mogrify"), {"-resize", "640x640", resized}));
    const QByteArray sent = fileBytes(resized);

    const QString picture = serverFile(QStringLiteral("images/AB/AB10001.jpg"));
    // The copy on its way lies in the user's reply directory under a name of its own.
    const QDir replies(m_server.dbPath() + QStringLiteral("/jtemp/") + m_server.user());
    const auto copying = [&] {
        return !replies.entryList({QStringLiteral("upload-*")}, QDir::Files).isEmpty();
    };
    const QByteArray old = fileBytes(picture);
    server::UploadQueue uploads;
    state.services.uploads = &uploads;
    const auto put = [&](const QString &token) {
        QFile::remove(dir.filePath(QStringLiteral("scratch.jpg")));
        QVERIFY(QFile::copy(photo, dir.filePath(QStringLiteral("scratch.jpg"))));
        state.cTime = token;
        const server::Target target{
            QStringLiteral("AB10001"), QStringLiteral("AB10001"), true, false, token,
            QStringLiteral("L")};
        server::PutFile(state, display, state.login, target);
    };

    put(QStringLiteral("10:00:01"));
    // The network goes as soon as the copy has begun.
    const QDeadlineTimer patience(120000);
    while (!copying() && !uploads.waitForIdle(10) && !patience.hasExpired())
        QCoreApplication::processEvents();
    QVERIFY2(copying(), "the copy never began, or ended before the network could go");
    // The server stops answering: a look-up meanwhile gives up within its own time.
    const QStringList ourProxy{"-P", QString::number(QCoreApplication::applicationPid()), "-x",
                               "delayproxy"};
    QCOMPARE(QProcess::execute("pkill", QStringList{"-STOP"} + ourProxy), 0);
    state.limits.lookupMs = 3000;
    server::PrepText(state, display, state.login,
                     {"AB10002", "AB10002", true, false, "10:00:09", "M"});
    QCOMPARE(display.replies.last(),
             "A picture is still being sent to the server; try again in a moment.");
    QCOMPARE(QProcess::execute("pkill", QStringList{"-CONT"} + ourProxy), 0);
    QVERIFY(proxy.stop());
    QVERIFY(uploads.waitForIdle(180000));
    QCoreApplication::processEvents();

    // The server cannot be asked for a description either: no text follows.
    QCOMPARE(display.replies.last(),
             QString::fromLatin1(server::kNotRecordedText) +
                 QStringLiteral("\r\nThe copy to the server failed: The connection to the server "
                                "was lost.\r\n\r\n"));
    QVERIFY(!state.lOk2Put);
    QCOMPARE(fileBytes(picture), old);
    // The put's own working copies are gone.
    QCOMPARE(QDir(dir.path()).entryList({"upload-*", "verify-*"}, QDir::Files), QStringList{});

    // The next put goes the straight way and arrives whole.
    state.login.cPort = m_server.port();
    put(QStringLiteral("10:00:02"));
    QVERIFY(uploads.waitForIdle(180000));
    QCoreApplication::processEvents();
    QVERIFY2(!display.replies.last().startsWith(QString::fromLatin1(server::kNotRecordedText)),
             qPrintable(display.replies.last()));
    QVERIFY(state.lOk2Put);
    QCOMPARE(fileBytes(picture), sent);
    QCOMPARE(
        QDir(m_server.dbPath() + "/images/AB").entryList({"*.part"}, QDir::Files | QDir::Hidden),
        QStringList{});
}

// The program's own application object: it runs the window's per-event chain.
int main(int argc, char *argv[])
{
    runtime::FramlaApplication application(argc, argv);
    TestFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
