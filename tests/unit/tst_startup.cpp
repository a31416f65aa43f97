// Start-up: the three arguments, the stale preview, the start mode and the
// settings read from the file the first argument names.
#include "app/startup.h"
#include "config/local_options.h"
#include "core/program_state.h"
#include "runtime/files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace framla;

class TestStartup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void arguments_data();
    void arguments();
    void stalePreviewRemoved();
    void startModeFromArguments_data();
    void startModeFromArguments();
    void settingsReadFromNamedFile();
    void captureCommandFromOptions();
    void centred();

private:
    QString m_previousDir;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestStartup::init()
{
    m_previousDir = QDir::currentPath();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QDir::setCurrent(m_dir->path());
}

void TestStartup::cleanup()
{
    QDir::setCurrent(m_previousDir);
    m_dir.reset();
}

void TestStartup::arguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("cfg");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("account");

    QTest::newRow("none") << QStringList{} << "Framla.cfg"
                          << ""
                          << "";
    QTest::newRow("stem") << QStringList{"shop2"} << "shop2.cfg"
                          << ""
                          << "";
    QTest::newRow("dot removed") << QStringList{"a.b"} << "ab.cfg"
                                 << ""
                                 << "";
    QTest::newRow("path characters removed") << QStringList{"./x,y*"} << "xy.cfg"
                                             << ""
                                             << "";
    QTest::newRow("dollar removed") << QStringList{"$HOME"} << "HOME.cfg"
                                    << ""
                                    << "";
    QTest::newRow("dots only") << QStringList{"..."} << "Framla.cfg"
                               << ""
                               << "";
    QTest::newRow("blanks left") << QStringList{" . "} << "Framla.cfg"
                                 << ""
                                 << "";
    QTest::newRow("empty stem") << QStringList{""} << "Framla.cfg"
                                << ""
                                << "";
    QTest::newRow("start code normalised") << QStringList{"x", "AB12"} << "x.cfg"
                                           << "AB---12"
                                           << "";
    QTest::newRow("account 1000 refused") << QStringList{"x", "", "1000"} << "x.cfg"
                                          << ""
                                          << "";
    QTest::newRow("account 1001 kept") << QStringList{"x", "", "1001"} << "x.cfg"
                                       << ""
                                       << "1001";
    QTest::newRow("account 99999 kept") << QStringList{"x", "", "99999"} << "x.cfg"
                                        << ""
                                        << "99999";
    QTest::newRow("account 100000 refused") << QStringList{"x", "", "100000"} << "x.cfg"
                                            << ""
                                            << "";
    QTest::newRow("account in letters refused") << QStringList{"x", "", "AB"} << "x.cfg"
                                                << ""
                                                << "";
    // Both enter as the code field takes them: a code it would refuse is no start.
    QTest::newRow("start code with blanks") << QStringList{"x", "ab 12"} << "x.cfg"
                                            << "AB---12"
                                            << "";
    QTest::newRow("account 10000 refused") << QStringList{"x", "", "10000"} << "x.cfg"
                                           << ""
                                           << "";
    QTest::newRow("account with a leading zero refused") << QStringList{"x", "", "01234"} << "x.cfg"
                                                         << ""
                                                         << "";
}

void TestStartup::arguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, cfg);
    QFETCH(QString, code);
    QFETCH(QString, account);
    const app::StartArguments parsed = app::parseArguments(args);
    QCOMPARE(parsed.cfgFileName, cfg);
    QCOMPARE(parsed.startCode, code);
    QCOMPARE(parsed.startAccount, account);
}

void TestStartup::stalePreviewRemoved()
{
    QVERIFY(runtime::writeWholeFile(QStringLiteral("scratch.jpg"), "old preview"));
    ProgramState state;
    app::startBeforeWindow(state, {});
    QVERIFY(!QFile::exists(QStringLiteral("scratch.jpg")));
    QCOMPARE(state.cAppPath, QDir::currentPath());
    // With no options file nothing is written.
    QVERIFY(!QFile::exists(QStringLiteral("scratch.xpf")));
}

void TestStartup::startModeFromArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("inventorySlot");
    QTest::newRow("none keeps the default") << QStringList{} << true;
    QTest::newRow("code") << QStringList{"x", "AB12"} << true;
    QTest::newRow("account") << QStringList{"x", "", "1234"} << false;
    QTest::newRow("account wins over code") << QStringList{"x", "AB12", "1234"} << false;
    QTest::newRow("refused account leaves the mode") << QStringList{"x", "AB12", "1000"} << true;
}

void TestStartup::startModeFromArguments()
{
    QFETCH(QStringList, args);
    QFETCH(bool, inventorySlot);
    ProgramState state;
    app::startBeforeWindow(state, args);
    QCOMPARE(std::get<bool>(state.aLocalCfg.at(0)), inventorySlot);
    // The mode chosen by the arguments is not saved.
    QVERIFY(!QFile::exists(QStringLiteral("scratch.xpf")));
}

void TestStartup::settingsReadFromNamedFile()
{
    const QByteArray file = "Configuration file for 'Framla'.\r\n"
                            "[Address]\r\nshop.example\r\n\r\n"
                            "[Datapath]\r\nc:\\zmr\\data\r\n\r\n"
                            "[Username]\r\nclerk\r\n";
    QVERIFY(runtime::writeWholeFile(QStringLiteral("shop2.cfg"), file));
    ProgramState state;
    state.login.cPass = QStringLiteral("left over");
    app::startBeforeWindow(state, {"shop2"});
    app::startAfterWindow(state);
    QCOMPARE(state.cCfgFileNm, QStringLiteral("shop2.cfg"));
    QCOMPARE(state.login.cAddress, QStringLiteral("shop.example"));
    QCOMPARE(state.login.cPort, QStringLiteral("22"));
    QCOMPARE(state.login.cPath, QStringLiteral("c:\\zmr\\data"));
    QCOMPARE(state.login.cUser, QStringLiteral("clerk"));
    QCOMPARE(state.login.cPass, QString());
    QVERIFY(state.login.lIsDOS);
    QCOMPARE(state.cAddressy, state.login.cAddress);
    QCOMPARE(state.cPathy, state.login.cPath);
    QCOMPARE(state.nDelaySecs, 4);
}

void TestStartup::captureCommandFromOptions()
{
    // The operator's camera choices reach the capture command at start-up.
    LocalCfg options = defaultLocalCfg();
    options[slot(Option::Device)] = 2.0;
    options[slot(Option::Delay)] = 3.0;
    options[slot(Option::Preview)] = false;
    QVERIFY(
        runtime::writeWholeFile(QStringLiteral("scratch.xpf"), config::encodeLocalCfg(options)));
    ProgramState state;
    app::startBeforeWindow(state, {});
    app::startAfterWindow(state);
    QCOMPARE(state.cGrabCommand,
             QStringLiteral("/C START /B /wait ./CommandCam.exe /quiet /devnum 2 /delay  3000"));
}

void TestStartup::centred()
{
    QCOMPARE(app::centredPosition(QSize(1920, 1080), 600, 400), QPoint(660, 340));
    QCOMPARE(app::centredPosition(QSize(1025, 769), 600, 400), QPoint(212, 184));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
