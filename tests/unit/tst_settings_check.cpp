// The settings test (fetching the probe file) and the image-tool check.
#include "config/settings_check.h"
#include "core/program_state.h"
#include "runtime/files.h"
#include "server/command_lines.h"
#include "server/settings_probe.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_shell.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace framla;
using runtime::RunOutcome;
using runtime::ToolCommand;

class TestSettingsCheck : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void probeArrives_data();
    void probeArrives();
    void guardFileRefuses();
    void staleProbeErased();
    void imageToolsOnPath_data();
    void imageToolsOnPath();
    void windowsToolCheck_data();
    void windowsToolCheck();
    void askWhenToolsMissing_data();
    void askWhenToolsMissing();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
    test::ScriptedDialogs m_dialogs;
    test::ScriptedShell m_shell;
    ProgramState m_state;
};

void TestSettingsCheck::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_previousDir = QDir::currentPath();
    m_dialogs = test::ScriptedDialogs();
    m_shell = test::ScriptedShell();
    m_state = ProgramState();
    m_state.cAppPath = m_dir->path();
    m_state.services.dialogs = &m_dialogs;
    m_state.services.shell = &m_shell;
}

void TestSettingsCheck::cleanup()
{
    QDir::setCurrent(m_previousDir);
}

void TestSettingsCheck::probeArrives_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("arrives");
    QTest::addColumn<QString>("line");
    QTest::newRow("arrives") << "/srv/zmr" << true
                             << "/C start /wait .\\pscp.exe -scp -P 2222 -pw pw "
                                "clerk@10.0.0.5:/srv/zmr/framla.ok .";
    QTest::newRow("does not arrive") << "/srv/zmr" << false
                                     << "/C start /wait .\\pscp.exe -scp -P 2222 -pw pw "
                                        "clerk@10.0.0.5:/srv/zmr/framla.ok .";
    QTest::newRow("Windows server") << "d:\\zmr" << true
                                    << "/C start /wait .\\pscp.exe -scp -P 2222 -pw pw "
                                       "clerk@10.0.0.5:d:\\\\\\zmr\\\\\\framla.ok .";
}

void TestSettingsCheck::probeArrives()
{
    QFETCH(QString, path);
    QFETCH(bool, arrives);
    QFETCH(QString, line);
    m_shell.onRun = [&](const ToolCommand &) {
        // The copy runs in the program's directory.
        if (arrives)
            runtime::writeWholeFile(m_dir->filePath(QStringLiteral("framla.ok")), "ok");
        return arrives
                   ? test::finishedRun()
                   : test::finishedRun(
                         1, QStringLiteral("The server did not accept the user name or password."));
    };
    const bool ok = server::TestConfig(
        m_state, core::loginOf(QStringLiteral("10.0.0.5"), QStringLiteral("2222"), path,
                               QStringLiteral("clerk"), QStringLiteral("pw")));
    QCOMPARE(ok, arrives);
    QCOMPARE(m_shell.texts(), QStringList{line});
    QCOMPARE(QDir::currentPath(), m_previousDir); // the current directory is never changed
    if (arrives) {
        QVERIFY(m_dialogs.boxes.isEmpty());
    } else {
        QCOMPARE(m_dialogs.boxes.size(), 1);
        QVERIFY(m_dialogs.boxes.first().text.startsWith(
            QStringLiteral("Cannot read ZMR database using the entered parameters.\r\n")));
        QVERIFY(m_dialogs.boxes.first().text.contains(QStringLiteral("password")));
    }
}

void TestSettingsCheck::guardFileRefuses()
{
    QVERIFY(runtime::writeWholeFile(m_dir->filePath(QStringLiteral("control.dbf")), "x"));
    QVERIFY(runtime::writeWholeFile(m_dir->filePath(QStringLiteral("framla.ok")), "old"));
    QVERIFY(!server::TestConfig(m_state, core::loginOf(QStringLiteral("h"), QStringLiteral("22"),
                                                       QStringLiteral("/srv"), QStringLiteral("u"),
                                                       QStringLiteral("p"))));
    QCOMPARE(
        m_dialogs.texts(),
        QStringList{"Sorry, you are running the program from a damaged or improper directory"});
    QVERIFY(m_shell.commands.isEmpty());
    // Nothing erased either.
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("framla.ok"))));
}

void TestSettingsCheck::staleProbeErased()
{
    QVERIFY(runtime::writeWholeFile(m_dir->filePath(QStringLiteral("framla.ok")), "old"));
    QVERIFY(!server::TestConfig(m_state, core::loginOf(QStringLiteral("h"), QStringLiteral("22"),
                                                       QStringLiteral("/srv"), QStringLiteral("u"),
                                                       QStringLiteral("p"))));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("framla.ok"))));
}

void TestSettingsCheck::imageToolsOnPath_data()
{
    QTest::addColumn<QStringList>("tools");
    QTest::addColumn<bool>("found");
    QTest::newRow("both") << QStringList{"convert", "mogrify"} << true;
    QTest::newRow("convert only") << QStringList{"convert"} << false;
    QTest::newRow("mogrify only") << QStringList{"mogrify"} << false;
    QTest::newRow("none") << QStringList{} << false;
}

void TestSettingsCheck::imageToolsOnPath()
{
    QFETCH(QStringList, tools);
    QFETCH(bool, found);
    const QString bin = m_dir->filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    for (const QString &tool : tools) {
        QFile file(bin + QLatin1Char('/') + tool);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    QCOMPARE(config::imageToolsOnPath({m_dir->filePath(QStringLiteral("empty")), bin}), found);
}

void TestSettingsCheck::windowsToolCheck_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("marker"); // c:\Windows\System\Mogrify.exe exists
    QTest::addColumn<bool>("found");
    const QString magick = "C:\\Windows\\system32;C:\\Program Files\\ImageMagick-7.1.1-Q16";
    QTest::newRow("on the path") << magick << false << true;
    QTest::newRow("on the path, lower case") << "c:\\tools\\imagemagick" << false << true;
    QTest::newRow("marker file only") << "C:\\Windows" << true << true;
    QTest::newRow("neither") << "C:\\Windows;C:\\Magick" << false << false;
    QTest::newRow("empty path") << "" << false << false;
}

void TestSettingsCheck::windowsToolCheck()
{
    QFETCH(QString, path);
    QFETCH(bool, marker);
    QFETCH(bool, found);
    QCOMPARE(config::windowsImageToolsFound(path, marker), found);
}

void TestSettingsCheck::askWhenToolsMissing_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("proceed");
    QTest::newRow("yes") << int(runtime::kYes) << true;
    QTest::newRow("no") << int(runtime::kNo) << false;
}

void TestSettingsCheck::askWhenToolsMissing()
{
    QFETCH(int, answer);
    QFETCH(bool, proceed);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", m_dir->path().toLocal8Bit());
    m_dialogs.answers.enqueue(answer);
    const bool result = config::CheckImageTools(m_state);
    qputenv("PATH", path);
    QCOMPARE(result, proceed);
    QCOMPARE(m_dialogs.boxes.size(), 1);
    const auto &box = m_dialogs.boxes.first();
    QCOMPARE(box.text, QStringLiteral("'ImageMagick' must be installed and the\r\n"
                                      "path to ImageMagick must be registered.\r\n"
                                      "Proceed regardless. Image functions may fail."));
    QCOMPARE(box.title, QString());
    QCOMPARE(box.buttons, runtime::Buttons::YesNo);
    QCOMPARE(box.icon, runtime::Icon::Warning);
    QCOMPARE(box.defaultButton, runtime::DefaultButton::Second);
}

QTEST_MAIN(TestSettingsCheck)
#include "tst_settings_check.moc"
