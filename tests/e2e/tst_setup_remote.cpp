// framaid --setup run over SSH, as the shop's account, on an empty directory
// of the test server: the desktop's settings test then passes against it,
// and a look-up there gets its reply.
#include "core/program_state.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "server/command_lines.h"
#include "server/lookup.h"
#include "server/settings_probe.h"
#include "support/recording_display.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_world.h"
#include "support/test_clock.h"
#include "support/test_server.h"

#include <QTemporaryDir>
#include <QTest>

using namespace framla;

class TestSetupRemote : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void emptyDirectory_data();
    void emptyDirectory();

private:
    runtime::RunOutcome onServer(const QStringList &words);

    test::TestServer m_server;
    QTemporaryDir m_appDir;
    test::ScriptedDialogs m_dialogs;
    test::TestClock m_clock;
    test::RecordingDisplay m_display;
    std::unique_ptr<runtime::ProcessShell> m_shell;
    ProgramState m_state;
    int m_made = 0;
};

void TestSetupRemote::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    QVERIFY(m_appDir.isValid());
    m_state.cAppPath = m_appDir.path();
    m_shell = std::make_unique<runtime::ProcessShell>(m_appDir.path(), &m_dialogs);
    m_state.services.dialogs = &m_dialogs;
    m_state.services.clock = &m_clock;
    m_state.services.shell = m_shell.get();
}

void TestSetupRemote::cleanupTestCase()
{
    m_server.stop();
}

runtime::RunOutcome TestSetupRemote::onServer(const QStringList &words)
{
    return m_shell->run(server::remoteCommand(m_state.login, words, false),
                        runtime::kLookupTimeoutMs);
}

void TestSetupRemote::emptyDirectory_data()
{
    QTest::addColumn<bool>("setUp");
    QTest::newRow("prepared by framaid --setup") << true;
    QTest::newRow("left empty") << false;
}

void TestSetupRemote::emptyDirectory()
{
    QFETCH(bool, setUp);
    m_server.configure(m_state);
    m_dialogs = {};
    m_display = {};
    const QString db =
        m_server.fact("FRAMLA_TEST_HOME") + QStringLiteral("/newshop%1").arg(++m_made);
    QVERIFY(onServer({QStringLiteral("mkdir"), db}).succeeded());
    if (setUp) {
        const runtime::RunOutcome setup =
            onServer({QStringLiteral("framaid"), QStringLiteral("--setup"), db});
        QVERIFY2(setup.succeeded(), setup.standardOutput.constData());
        QVERIFY2(setup.standardOutput.contains("jtemp/: made (mode 1777)\n"),
                 setup.standardOutput.constData());
    }

    const bool passes =
        server::TestConfig(m_state, core::loginOf(m_state.login.cAddress, m_state.login.cPort, db,
                                                  m_state.login.cUser, m_state.login.cPass));
    QCOMPARE(passes, setUp);
    QCOMPARE(m_dialogs.boxes.size(), setUp ? 0 : 1);
    if (!setUp)
        return;

    // A look-up in the new database: framaid makes the account's reply
    // directory in jtemp/ and the reply comes back; the tables are the shop's
    // to provide, and --check says so.
    m_state.login.cPath = db;
    m_state.cTime = QStringLiteral("12:34:56");
    server::PrepText(
        m_state, m_display, m_state.login,
        test::targetFor(m_state, QStringLiteral("AB10001"), true, QString(), m_state.cTime));
    QVERIFY2(m_display.replies.contains(QStringLiteral("Fetching data from server...")),
             "no fetch");
    const QString shown = m_display.replies.last();
    QVERIFY2(shown.contains(QStringLiteral("the item table items.dbf is missing")),
             qPrintable(shown));
    const runtime::RunOutcome check =
        onServer({QStringLiteral("framaid"), QStringLiteral("--check"), db});
    QCOMPARE(check.exitCode, 1);
    QVERIFY2(check.standardOutput.contains("\nok       jtemp/" + m_state.login.cUser.toUtf8() +
                                           "/ (the replies to "),
             check.standardOutput.constData());
    QVERIFY2(check.standardOutput.contains("\nMISSING  the item table items.dbf"),
             check.standardOutput.constData());
}

QTEST_GUILESS_MAIN(TestSetupRemote)
#include "tst_setup_remote.moc"
