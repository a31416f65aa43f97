// The program killed outright (SIGKILL) while it copies a picture to the real
// test server, and started again: the settings and options files are as they
// were, byte for byte, the server records the old picture or the new one,
// never a cut one, and the next put arrives whole. The put runs in
// framla_put_driver, through the delay proxy, so the copy takes long enough
// to be cut.
#include "config/local_options.h"
#include "config/settings_file.h"
#include "runtime/files.h"
#include "server/upload.h"
#include "support/delay_proxy.h"
#include "support/test_server.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace framla;

namespace {

QByteArray fileBytes(const QString &path)
{
    return runtime::readWholeFile(path).value_or(QByteArray("(missing)"));
}

} // namespace

class TestFaultsKill : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void killedMidCopy();

private:
    test::TestServer m_server;
};

void TestFaultsKill::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
}

void TestFaultsKill::cleanupTestCase()
{
    m_server.stop();
}

void TestFaultsKill::killedMidCopy()
{
    test::DelayProxy proxy;
    QVERIFY2(proxy.startInFrontOf(m_server, 500), qPrintable(proxy.error()));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ProgramState saved;
    saved.cAppPath = dir.path();
    saved.aLocalCfg[slot(Option::Size)] = QStringLiteral("L");
    saved.aLocalCfg[slot(Option::Normalize)] = true;
    QVERIFY(config::SaveConfig(saved));
    ServerLogin login = m_server.login();
    login.cPort = proxy.port();
    QVERIFY(config::SaveParam(saved, login, dir.filePath(QStringLiteral("Framla.cfg"))));
    const QString settings = dir.filePath(QStringLiteral("Framla.cfg"));
    const QString options = config::localCfgPath(saved);
    const QByteArray settingsBefore = fileBytes(settings);
    const QByteArray optionsBefore = fileBytes(options);

    // A photo, and the picture a put makes of it.
    QTemporaryDir elsewhere;
    const QString photo = elsewhere.filePath(QStringLiteral("photo.jpg"));
    QVERIFY(test::runTool(QStringLiteral("convert"),
                          {"-size", "640x480", "xc:", "+noise", "Random", photo}));
    const QString resized = elsewhere.filePath(QStringLiteral("resized.jpg"));
    QVERIFY(QFile::copy(photo, resized));
    QVERIFY(test::runTool(QStringLiteral("mogrify"), {"-resize", "640x640", resized}));
    const QByteArray sent = fileBytes(resized);

    const QString picture = m_server.dbPath() + QStringLiteral("/images/AB/AB10001.jpg");
    // The copy on its way lies in the user's reply directory under a name of its own.
    const QDir replies(m_server.dbPath() + QStringLiteral("/jtemp/") + m_server.user());
    const auto staged = [&] {
        return replies.entryList({QStringLiteral("upload-*")}, QDir::Files);
    };
    QString part;
    const QByteArray old = fileBytes(picture);
    QVERIFY(old != sent);

    QProcess driver;
    driver.setWorkingDirectory(dir.path());
    driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    driver.start(QStringLiteral(FRAMLA_PUT_DRIVER), {photo, QStringLiteral("AB10001")});
    QVERIFY(driver.waitForStarted(10000));
    const QDeadlineTimer patience(120000);
    while (staged().isEmpty() && !driver.waitForFinished(10) && !patience.hasExpired()) {
    }
    part = replies.filePath(staged().value(0));
    QVERIFY2(driver.state() == QProcess::Running && QFile::exists(part),
             qPrintable("the put ended before the copy could be cut: " + driver.readAll()));
    ::kill(pid_t(driver.processId()), SIGKILL);
    QVERIFY(driver.waitForFinished(10000));
    QCOMPARE(driver.exitStatus(), QProcess::CrashExit);
    // The copy was cut short.
    QVERIFY(QFileInfo(part).size() < sent.size());
    QVERIFY2(fileBytes(picture) == old || fileBytes(picture) == sent, "a cut picture is recorded");
    QCOMPARE(fileBytes(settings), settingsBefore);
    QCOMPARE(fileBytes(options), optionsBefore);

    // Started again, with the network back, the put arrives whole. The copy
    // the killed put left on the server has grown old meanwhile.
    QVERIFY(test::runTool(QStringLiteral("touch"),
                          {QStringLiteral("-d"), QStringLiteral("2 hours ago"), part}));
    driver.start(QStringLiteral(FRAMLA_PUT_DRIVER),
                 {photo, QStringLiteral("AB10001"), m_server.port()});
    QVERIFY(driver.waitForFinished(300000));
    const QByteArray said = driver.readAllStandardOutput();
    QVERIFY2(driver.exitStatus() == QProcess::NormalExit && driver.exitCode() == 0,
             said.constData());
    QCOMPARE(fileBytes(picture), sent);
    // Nothing is left beside the picture, nor in the reply directory, nor in
    // the program's directory: the put's own copies are gone, and so are the
    // ones the killed program left.
    QCOMPARE(QDir(QFileInfo(picture).path())
                 .entryList({QStringLiteral("AB10001*")}, QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("AB10001.jpg")});
    QCOMPARE(staged(), QStringList{});
    QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("upload-*"), QStringLiteral("verify-*")}),
             QStringList{});
    QCOMPARE(fileBytes(settings), settingsBefore);
    QCOMPARE(fileBytes(options), optionsBefore);
}

QTEST_GUILESS_MAIN(TestFaultsKill)
#include "tst_faults_kill.moc"
