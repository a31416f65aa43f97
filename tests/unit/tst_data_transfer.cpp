// Sending data transfer files into the shuttle directory.
#include "core/program_state.h"
#include "runtime/files.h"
#include "server/command_lines.h"
#include "server/data_transfer.h"
#include "support/fake_server.h"
#include "support/scripted_world.h"

#include <QDir>
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
    QTest::newRow("unix server")
        << "/srv/zmr"
        << QStringList{"/C start /min /wait .\\pscp.exe -scp -P 22 -pw pw \"/home/shop/My "
                       "Data/IX0001.DBF\" clerk@shop:/srv/zmr/shuttle/ix0001.dbf",
                       "/C start /min /wait .\\plink.exe -ssh -P 22 -pw pw clerk@shop chmod 666 "
                       "/srv/zmr/shuttle/ix0001.dbf"};
    // The send is tripled for a Windows server; the mode line never is.
    QTest::newRow("windows server")
        << "c:\\zmr"
        << QStringList{"/C start /min /wait .\\pscp.exe -scp -P 22 -pw pw \"/home/shop/My "
                       "Data/IX0001.DBF\" clerk@shop:c:\\\\\\zmr/shuttle/ix0001.dbf",
                       "/C start /min /wait .\\plink.exe -ssh -P 22 -pw pw clerk@shop chmod 666 "
                       "c:\\zmr/shuttle/ix0001.dbf"};
}

void TestDataTransfer::sendLines()
{
    QFETCH(QString, path);
    QFETCH(QStringList, lines);
    m_state.cPath = path;
    m_state.lIsDOS = path.contains(QLatin1Char('\\'));
    m_shell.onRun = nullptr;
    QString reason;
    QVERIFY(server::SendIXdata(m_state, server::loginOf(m_state), QStringLiteral("/home/shop/My Data"),
                               QStringLiteral("IX0001.DBF"), path + QStringLiteral("/shuttle/"),
                               &reason));
    QCOMPARE(m_shell.texts(), lines);
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
    QTest::addColumn<bool>("sent");
    QTest::addColumn<QString>("message");
    QTest::newRow("arrives whole") << "IX0001.DBF"
                                   << "%1 exists (%2 bytes, mode 666)" << true
                                   << "File ix0001.dbf sent.\r\nCheck details shown for validity.";
    QTest::newRow("arrives short")
        << "IX0001.DBF"
        << "%1 exists (3 bytes, mode 666)" << false << "Failed to send file ix0001.dbf";
    QTest::newRow("not on the server")
        << "export.csv"
        << "nothing about it" << false << "Failed to send file export.csv";
    QTest::newRow("blank in the name") << "my file.csv"
                                       << "" << false << "Space character in file or path name!";
    QTest::newRow("nothing chosen") << ""
                                    << "" << false << "Failed to send file ";
}

void TestDataTransfer::transfer()
{
    QFETCH(QString, file);
    QFETCH(QString, reportAfter);
    QFETCH(bool, sent);
    QFETCH(QString, message);
    const QString local = file.isEmpty() ? QString() : m_world.file(file);
    const QByteArray content = "0123456789";
    if (!local.isEmpty())
        QVERIFY(runtime::writeWholeFile(local, content));
    const QString serverName = file.toLower();
    int checks = 0;
    m_shell.onRun = [&](const runtime::ToolCommand &command) {
        if (command.args.value(4) == QStringLiteral("framaid")) {
            // The first check finds nothing; the second reports what the test says.
            m_server->replyBody =
                QStringLiteral("<!-- ") +
                (checks++ == 0 ? QStringLiteral("shuttle/%1: not there yet") : reportAfter)
                    .arg(QStringLiteral("shuttle/") + serverName)
                    .arg(content.size()) +
                QStringLiteral(" -->");
        }
        return m_server->handle(command);
    };
    QCOMPARE(server::transferDataFile(m_state, m_display, local), sent);
    QVERIFY2(m_dialogs.texts().last().startsWith(message), qPrintable(m_dialogs.texts().last()));
    if (sent) {
        QCOMPARE(m_server->files.value("/srv/zmr/shuttle/ix0001.dbf"), content);
        QCOMPARE(m_server->modes.value("/srv/zmr/shuttle/ix0001.dbf"), QStringLiteral("666"));
    }
    if (file.isEmpty() || file.contains(QLatin1Char(' ')))
        QVERIFY(m_shell.commands.isEmpty());
}

QTEST_GUILESS_MAIN(TestDataTransfer)
#include "tst_data_transfer.moc"
