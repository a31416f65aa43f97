// The real program SIGKILLed while it sends a photo from the outbox to the
// real test server (through the delay proxy, so that the copy takes long
// enough to be cut): afterwards the journal opens and holds every put that
// had ended, and the outbox still holds the photo.
#include "config/local_options.h"
#include "config/settings_file.h"
#include "e2e/history_fixture.h"
#include "history/journal.h"
#include "runtime/files.h"
#include "server/put_journal.h"
#include "server/target.h"
#include "server/upload.h"
#include "support/delay_proxy.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace framla;

class TestOutboxKillE2e : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.error())); }
    void cleanupTestCase() { m_server.stop(); }
    void killedWhileSending();

private:
    test::TestServer m_server;
};

void TestOutboxKillE2e::killedWhileSending()
{
    QTemporaryDir dir;
    test::DelayProxy proxy;
    QVERIFY2(proxy.startInFrontOf(m_server, 500), qPrintable(proxy.error()));
    ProgramState state;
    state.cAppPath = dir.path();
    ServerLogin slow = m_server.login();
    slow.cPort = proxy.port();
    QVERIFY(config::SaveParam(state, slow, dir.filePath("Framla.cfg")));

    // Two puts that ended, straight to the server.
    const QString photo = dir.filePath("photo.jpg");
    QVERIFY(test::noisePhoto("640x480", photo));
    {
        test::ServerWorld w(m_server, dir.path());
        for (const QString code : {"AB10006", "AB10007"}) {
            QFile::remove(dir.filePath("scratch.jpg"));
            QVERIFY(QFile::copy(photo, dir.filePath("scratch.jpg")));
            QVERIFY(server::PutFile1(w.state, w.display, w.state.login,
                                     {code, code, true, false, "10:00:01", "M"}));
        }
    }
    // A photo that waits, its pause long over, for the settings the program runs with.
    history::OutboxEntry waiting;
    waiting.code = waiting.name = QStringLiteral("AB10001");
    waiting.serverPath = m_server.dbPath() + "/images/AB/AB10001.jpg";
    waiting.settingsFile = QStringLiteral("Framla");
    waiting.server = server::identityOf(slow);
    waiting.firstTried = QDateTime::currentDateTimeUtc().addSecs(-3600);
    waiting.hadPicture = true;
    const QString id =
        history::Outbox(dir.path()).add(waiting, runtime::readWholeFile(photo).value());
    QVERIFY(!id.isEmpty());

    const QDir replies(m_server.dbPath() + "/jtemp/" + m_server.user());
    const auto copying = [&] { return !replies.entryList({"upload-*"}, QDir::Files).isEmpty(); };
    QProcess program;
    program.setWorkingDirectory(dir.path());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(FRAMLA_BINARY_DIR "/app/framla"), {});
    QVERIFY(program.waitForStarted(10000));
    const QDeadlineTimer patience(120000);
    while (!copying() && !program.waitForFinished(10) && !patience.hasExpired()) {
    }
    QVERIFY2(copying() && program.state() == QProcess::Running, "the send never began");
    ::kill(pid_t(program.processId()), SIGKILL);
    QVERIFY(program.waitForFinished(10000));

    history::Journal journal;
    QVERIFY(journal.open(dir.path()));
    QStringList ended;
    for (const history::JournalEntry &e : journal.entries())
        if (e.outcome != history::JournalOutcome::Pending)
            ended << e.code + ' ' + history::actionName(e.action) + ' ' +
                         history::outcomeName(e.outcome);
    QCOMPARE(ended, (QStringList{"AB10007 replace ok", "AB10006 replace ok"}));
    const QList<history::OutboxEntry> left = history::Outbox(dir.path()).list();
    QCOMPARE(left.size(), 1);
    QCOMPARE(left.first().id, id);
}

QTEST_GUILESS_MAIN(TestOutboxKillE2e)
#include "tst_outbox_kill_e2e.moc"
