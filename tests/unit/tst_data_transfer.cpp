// Sending data transfer files into the shuttle directory.
#include "core/program_state.h"
#include "runtime/files.h"
#include "server/command_lines.h"
#include "server/data_transfer.h"
#include "support/fake_server.h"
#include "support/scripted_world.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace framla;

class TestDataTransfer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void mode_data();
    void mode();
    void sendLines_data();
    void sendLines();
    void copyLimit_data();
    void copyLimit();
    void checkLine_data();
    void checkLine();
    void chooseKeepsThePath();
    void transfer_data();
    void transfer();

private:
    test::ScriptedWorld m_world;
    test::ScriptedDialogs &m_dialogs = m_world.dialogs;
    test::ScriptedShell &m_shell = m_world.shell;
    test::RecordingDisplay &m_display = m_world.display;
    ProgramState &m_state = m_world.state;
    std::unique_ptr<test::FakeServer> m_server;
};

void TestDataTransfer::init()
{
    m_world.reset();
    QVERIFY(m_world.dir->isValid());
    // The data files live elsewhere than the program.
    m_state.cAppPath = m_world.file("app");
    QVERIFY(QDir().mkpath(m_state.cAppPath));
    m_server = std::make_unique<test::FakeServer>(m_state.cAppPath);
    m_server->attach(m_shell);
}

void TestDataTransfer::mode_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("mode");
    QTest::newRow("table") << "IX0001.DBF"
                           << "666";
    QTest::newRow("table, lower case") << "ix0001.dbf"
                                       << "666";
    QTest::newRow("memo file") << "ix0001.dbt"
                               << "666";
    QTest::newRow("csv") << "export.csv"
                         << "644";
    QTest::newRow("text") << "stock.txt"
                          << "644";
    QTest::newRow("index") << "ix0001.ntx"
                           << "644";
    QTest::newRow("short name") << "DBF"
                                << "644";
}

void TestDataTransfer::mode()
{
    QFETCH(QString, name);
    QFETCH(QString, mode);
    QCOMPARE(server::dataFileMode(name), mode);
}

void TestDataTransfer::sendLines_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("lines");
    // Copied into the user's own reply directory under a name of its own,
    // then given its mode and moved in one run (the script is the real
    // server's to try).
    QTest::newRow("unix server")
        << "/srv/zmr"
        << QStringList{"/C start /min /wait .\\pscp.exe -scp -P 22 -pw pw \"/home/shop/My "
                       "Data/IX0001.DBF\" clerk@shop:/srv/zmr/jtemp/clerk/STAGED-ix0001.dbf",
                       "/C start /min /wait .\\plink.exe -ssh -P 22 -pw pw clerk@shop sh -c SCRIPT "
                       "framla-place /srv/zmr/jtemp/clerk 666 STAGED-ix0001.dbf "
                       "/srv/zmr/shuttle/ix0001.dbf any /srv/zmr"};
    // The copy and the move are tripled for a Windows server; the mode line never is.
    QTest::newRow("windows server")
        << "c:\\zmr"
        << QStringList{"/C start /min /wait .\\pscp.exe -scp -P 22 -pw pw \"/home/shop/My "
                       "Data/IX0001.DBF\" clerk@shop:c:\\\\\\zmr/shuttle/.framla-ix0001.dbf",
                       "/C start /min /wait .\\plink.exe -ssh -P 22 -pw pw clerk@shop mv -f "
                       "c:\\\\\\zmr/shuttle/.framla-ix0001.dbf c:\\\\\\zmr/shuttle/ix0001.dbf",
                       "/C start /min /wait .\\plink.exe -ssh -P 22 -pw pw clerk@shop chmod 666 "
                       "c:\\zmr/shuttle/ix0001.dbf"};
}

void TestDataTransfer::sendLines()
{
    QFETCH(QString, path);
    QFETCH(QStringList, lines);
    m_state.login.cPath = path;
    m_state.login.lIsDOS = path.contains(QLatin1Char('\\'));
    m_shell.onRun = nullptr;
    const server::DataSend send =
        server::SendIXdata(m_state, m_display, m_state.login, QStringLiteral("/home/shop/My Data"),
                           QStringLiteral("IX0001.DBF"), path + QStringLiteral("/shuttle/"));
    QVERIFY(send.sent);
    QStringList texts = m_shell.texts();
    texts.replaceInStrings(QRegularExpression("upload-[0-9a-f]{16}"), "STAGED");
    texts.replaceInStrings(QRegularExpression("sh -c \"'[^']*'\" "), "sh -c SCRIPT ");
    QCOMPARE(texts, lines);
    QCOMPARE(m_display.events, (QStringList{"busy", "done"}));
}

void TestDataTransfer::copyLimit_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<int>("limitMs");
    QTest::newRow("empty") << qint64(0) << 60000;
    QTest::newRow("one byte") << qint64(1) << 61000;
    QTest::newRow("100 KB") << qint64(102400) << 61000;
    QTest::newRow("just over") << qint64(102401) << 62000;
    QTest::newRow("50 MB") << qint64(50) * 1024 * 1024 << 572000;
    QTest::newRow("beyond a day") << qint64(100) * 1024 * 1024 * 1024 << 86400000;
}

void TestDataTransfer::copyLimit()
{
    QFETCH(qint64, bytes);
    QFETCH(int, limitMs);
    QCOMPARE(server::dataCopyLimitMs(bytes), limitMs);
}

void TestDataTransfer::checkLine_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("subdirectory");
    QTest::addColumn<QString>("line");
    const QString head = "/C start /min /wait .\\plink.exe -ssh -P 22 -pw pw clerk@shop framaid "
                         "/srv/zmr/jtemp/clerk ";
    QTest::newRow("data file") << "ix0001.dbf"
                               << "shuttle" << head + "ix0001.dbf 10:30:00 shuttle";
    QTest::newRow("supplier picture")
        << "ring+5.jpg"
        << "images/ssr/1234" << head + "'ring+5.jpg' 10:30:00 images/ssr/1234";
    QTest::newRow("customer picture")
        << "BROOCH.jpg"
        << "images/cust/12345" << head + "BROOCH.jpg 10:30:00 images/cust/12345";
}

void TestDataTransfer::checkLine()
{
    QFETCH(QString, file);
    QFETCH(QString, subdirectory);
    QFETCH(QString, line);
    QVERIFY(server::CheckIXdata(m_state, m_display, m_state.login, file, subdirectory));
    QCOMPARE(m_shell.texts().value(0), line);
    // The reply it fetched carries the token it sent.
    QCOMPARE(m_display.replies.last(), QStringLiteral("Gold ring\r\n"));
}

void TestDataTransfer::chooseKeepsThePath()
{
    m_dialogs.files.enqueue(QStringLiteral("/home/shop/My Data/IX0001.DBF"));
    const QString current = QDir::currentPath();
    QCOMPARE(server::GetDataFile(m_state), QStringLiteral("/home/shop/My Data/IX0001.DBF"));
    const auto &box = m_dialogs.boxes.first();
    QCOMPARE(box.title, QStringLiteral("Select Data Transfer File"));
    QCOMPARE(box.text, QStringLiteral("Allowed data files: ix.., iy.., i..exp, csv & txt|"
                                      "IX*.DBF;IY*.DBF;I*EXP.DBF;*.CSV;*.TXT"));
    QCOMPARE(QDir::currentPath(), current); // the program's own directory is not touched
}

void TestDataTransfer::transfer_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reportAfter"); // how the second check reports the file
    QTest::addColumn<QString>("refused");     // the remote step that fails, if any
    QTest::addColumn<bool>("sent");
    QTest::addColumn<QString>("message");
    const QString whole = "%1 exists (%2 bytes, mode 666)";
    const QString sentText = "File ix0001.dbf sent.\r\nCheck details shown for validity.";
    QTest::newRow("arrives whole") << "IX0001.DBF" << whole << "" << true << sentText;
    // A server program that gives no size: the "exists" mark is enough.
    QTest::newRow("marked as there, no size") << "IX0001.DBF"
                                              << "%1 exists"
                                              << "" << true << sentText;
    QTest::newRow("arrives short")
        << "IX0001.DBF"
        << "%1 exists (3 bytes, mode 666)"
        << "" << false
        << "Failed to send file ix0001.dbf\r\nThe server shows 3 bytes; 10 were sent.";
    QTest::newRow("not on the server")
        << "export.csv"
        << "nothing about it"
        << "" << false << "Failed to send file export.csv\r\nThe server does not show the file.";
    QTest::newRow("mode not set")
        << "IX0001.DBF" << whole << "chmod" << true
        << sentText + "\r\nWarning: the file's access mode could not be set (666): "
                      "chmod: Operation not permitted";
    QTest::newRow("copy refused") << "IX0001.DBF" << whole << "pscp" << false
                                  << "Failed to send file ix0001.dbf\r\nAccess denied";
    QTest::newRow("move refused") << "IX0001.DBF" << whole << "mv" << false
                                  << "Failed to send file ix0001.dbf\r\nmv: Permission denied";
    QTest::newRow("blank in the name")
        << "my file.csv"
        << ""
        << "" << false
        << "Space character in file or path name!\r\nFailed to send file my file.csv";
    QTest::newRow("nothing chosen") << ""
                                    << ""
                                    << "" << false << "Failed to send file ";
    QTest::newRow("picture typed into the dialog")
        << "AB12345.JPG"
        << ""
        << "" << false
        << "Failed to send file ab12345.jpg\r\nOnly data transfer files can be sent: IX*.DBF, "
           "IY*.DBF, I*EXP.DBF, *.CSV, *.TXT.";
}

void TestDataTransfer::transfer()
{
    QFETCH(QString, file);
    QFETCH(QString, reportAfter);
    QFETCH(QString, refused);
    QFETCH(bool, sent);
    QFETCH(QString, message);
    const QString local = file.isEmpty() ? QString() : m_world.file(file);
    const QByteArray content = "0123456789";
    if (!local.isEmpty())
        QVERIFY(runtime::writeWholeFile(local, content));
    const QString serverName = file.toLower();
    const QString remote = "/srv/zmr/shuttle/" + serverName;
    m_server->failCopies = refused == "pscp";
    int checks = 0;
    m_shell.onRun = [&](const runtime::ToolCommand &command) {
        const QStringList words = command.args.mid(4);
        const QString verb = command.executableName() == "plink" ? words.value(0) : QString();
        if (verb == "sh") {
            // The run that gives the staged file (DIR/NAME) its mode and moves it onto TARGET:
            // sh -c SCRIPT framla-place DIR MODE NAME TARGET.
            if (refused == "mv")
                return test::finishedRun(1, "mv: Permission denied");
            m_server->files.insert(words.value(7),
                                   m_server->files.take(words.value(4) + "/" + words.value(6)));
            if (refused == "chmod")
                return test::finishedRun(3, "chmod: Operation not permitted");
            m_server->modes.insert(words.value(7), words.value(5));
            return test::finishedRun();
        }
        if (verb == "framaid") {
            // The first check finds nothing; the second reports what the test says.
            QString report = checks++ == 0 ? QStringLiteral("%1: not there yet") : reportAfter;
            report.replace("%1", "shuttle/" + serverName)
                .replace("%2", QString::number(content.size()));
            m_server->replyBody = "<!-- " + report + " -->";
        }
        return m_server->handle(command);
    };
    m_state.lOk2Put = false; // the record on show allows no put
    QCOMPARE(server::transferDataFile(m_state, m_display, local), sent);
    QCOMPARE(m_dialogs.texts().last(), message);
    // A file's report is no look-up: what may be put stays as it was.
    QVERIFY(!m_state.lOk2Put);
    if (reportAfter.isEmpty()) { // refused before anything runs
        QVERIFY(m_shell.commands.isEmpty());
        return;
    }
    // Whatever happened, no half-sent file is left behind.
    QCOMPARE(m_server->files.keys().filter("upload-"), QStringList{});
    QCOMPARE(m_server->files.contains(remote), refused.isEmpty() || refused == "chmod");
    const qsizetype copy =
        m_shell.texts().indexOf(QRegularExpression(".*pscp.exe .*/jtemp/clerk/upload-.*"));
    QCOMPARE(m_shell.timeouts.value(copy), server::dataCopyLimitMs(content.size()));
    if (sent) {
        QCOMPARE(m_server->files.value(remote), content);
        QCOMPARE(m_server->modes.value(remote),
                 refused.isEmpty() ? server::dataFileMode(serverName) : QString());
    }
}

QTEST_GUILESS_MAIN(TestDataTransfer)
#include "tst_data_transfer.moc"
