// Putting, replacing and deleting pictures and sending data files on a real
// SSH server with the real PuTTY tools, ImageMagick and framaid.
#include "core/program_state.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "runtime/working_files.h"
#include "server/command_lines.h"
#include "server/data_transfer.h"
#include "server/deletion.h"
#include "server/lookup.h"
#include "server/target.h"
#include "server/upload.h"
#include "server/write_check.h"
#include "support/scripted_world.h"
#include "support/server_case.h"

#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace framla;

namespace {
/// Runs the real tools, but can stop the server just before the copy starts.
class DyingServerShell final : public runtime::Shell {
public:
    DyingServerShell(runtime::Shell &real, qint64 sshdPid)
        : m_real(real)
        , m_pid(sshdPid)
    {}
    bool dieBeforeCopy = false;
    runtime::RunOutcome run(const runtime::ToolCommand &command, int timeoutMs) override
    {
        if (dieBeforeCopy && command.executableName() == QStringLiteral("pscp") &&
            command.args.value(4).contains(QLatin1Char('@'))) {
            ::kill(static_cast<pid_t>(m_pid), SIGKILL);
            QTest::qWait(300);
        }
        return m_real.run(command, timeoutMs);
    }

private:
    runtime::Shell &m_real;
    qint64 m_pid;
};
} // namespace

class TestPut : public test::ServerCase {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void putSizes_data();
    void putSizes();
    void accountPictures_data();
    void accountPictures();
    void ownedByOthers();
    void replaceCancelled();
    void deleteAndGuard();
    void dataFiles_data();
    void dataFiles();
    void copyCutOffKeepsThePicture();
    void serverDiesBeforeTheCopy(); // last: the server is gone afterwards

private:
    server::LookupResult lookUp(const QString &code, bool inventory = true,
                                const QString &name = QString());
    void makePhoto(int width, int height,
                   const QStringList &pattern = {QStringLiteral("gradient:gold-navy")});
    bool putNow(const QString &code, const QString &size, bool inventory, const QString &name);
    QString serverPath(const QString &relative) const
    {
        return m_server.dbPath() + QLatin1Char('/') + relative;
    }

    std::unique_ptr<DyingServerShell> m_dying;
    int m_second = 0;
};

void TestPut::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
}

void TestPut::cleanupTestCase()
{
    m_server.stop();
}

void TestPut::init()
{
    QVERIFY(freshCase());
    m_dying = std::make_unique<DyingServerShell>(
        *m_shell, m_server.fact("FRAMLA_TEST_SSHD_PID").toLongLong());
    m_state.services.shell = m_dying.get();
}

void TestPut::cleanup()
{
    m_dying.reset();
    endCase();
}

server::LookupResult TestPut::lookUp(const QString &code, bool inventory, const QString &name)
{
    // A token of its own for every look-up, as the time of day would give.
    m_state.cTime = QStringLiteral("12:00:%1").arg(++m_second % 60, 2, 10, QLatin1Char('0'));
    return server::PrepText(m_state, m_display, m_state.login,
                            test::targetFor(m_state, code, inventory, name, m_state.cTime));
}

void TestPut::makePhoto(int width, int height, const QStringList &pattern)
{
    QProcess convert;
    convert.start(
        QStringLiteral("convert"),
        QStringList{QStringLiteral("-size"), QStringLiteral("%1x%2").arg(width).arg(height)} +
            pattern + QStringList{m_appDir->filePath("scratch.jpg")});
    QVERIFY(convert.waitForFinished(60000));
    QCOMPARE(convert.exitCode(), 0);
}

bool TestPut::putNow(const QString &code, const QString &size, bool inventory, const QString &name)
{
    server::UploadQueue queue;
    m_state.services.uploads = &queue;
    server::PutFile(m_state, m_display, m_state.login,
                    test::targetFor(m_state, code, inventory, name, m_state.cTime, size));
    const bool idle = queue.waitForIdle(120000);
    QCoreApplication::processEvents();
    m_state.services.uploads = nullptr;
    return idle;
}

void TestPut::putSizes_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("size");
    QTest::addColumn<int>("edge");
    QTest::newRow("M") << "AB10004"
                       << "M" << 320;
    QTest::newRow("S") << "CD20002"
                       << "S" << 160;
    QTest::newRow("L") << "CD20004"
                       << "L" << 640;
}

void TestPut::putSizes()
{
    QFETCH(QString, code);
    QFETCH(QString, size);
    QFETCH(int, edge);
    QVERIFY(lookUp(code).ok2Put == true);
    makePhoto(2000, 1500);
    // An item that shows its supplier's picture asks before it gets its own.
    m_dialogs.answers.enqueue(runtime::kOk);
    QVERIFY(server::Ok2Write(m_state, QStringLiteral("framla.tmp"), true));
    // As the put action does for such an item, the reply that points at the
    // supplier's picture goes before the item gets its own.
    const QString reply = m_appDir->filePath("framla.tmp");
    if (runtime::readWholeFile(reply).value_or("").contains("/ssr/"))
        QFile::remove(reply);
    QVERIFY(putNow(code, size, true, code));

    const QString remote = serverPath("images/" + code.left(2) + "/" + code + ".jpg");
    QImageReader reader(remote);
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    QCOMPARE(reader.size(), QSize(edge, edge * 3 / 4));
    QCOMPARE(QFileInfo(remote).permissions() & 0x7777,
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                 QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    // Shown back as recorded.
    QCOMPARE(runtime::readWholeFile(m_appDir->filePath("scratch.jpg")).value_or(""),
             runtime::readWholeFile(remote).value_or("missing"));
    QVERIFY2(!m_display.replies.last().contains(QString::fromLatin1(server::kNotRecordedText)),
             qPrintable(m_display.replies.last()));
}

void TestPut::accountPictures_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("where");
    QTest::newRow("supplier") << "1234"
                              << "NEWREF1"
                              << "images/ssr/1234/NEWREF1.jpg";
    QTest::newRow("customer") << "12345"
                              << "BROOCH2"
                              << "images/cust/12345/BROOCH2.jpg";
}

void TestPut::accountPictures()
{
    QFETCH(QString, account);
    QFETCH(QString, name);
    QFETCH(QString, where);
    lookUp(account, false, name);
    makePhoto(800, 800);
    QVERIFY(putNow(account, QStringLiteral("M"), false, name));
    QImageReader reader(serverPath(where));
    QCOMPARE(reader.size(), QSize(320, 320));
}

void TestPut::ownedByOthers()
{
    // A picture the web server published: putting over it is refused.
    lookUp(QStringLiteral("AB10002"));
    QVERIFY(!server::Ok2Write(m_state, QStringLiteral("framla.tmp"), true));
    QCOMPARE(m_dialogs.texts().last(), server::webUploadMessage());

    // A picture that belongs to another account.
    const QString other = serverPath("images/EF/EF30002.jpg");
    QVERIFY(QFile::exists(other));
    QProcess chown;
    chown.start(QStringLiteral("chown"), {QStringLiteral("nobody"), other});
    QVERIFY(chown.waitForFinished(10000));
    QCOMPARE(chown.exitCode(), 0);
    lookUp(QStringLiteral("EF30002"));
    QVERIFY(!server::Ok2Write(m_state, QStringLiteral("framla.tmp"), true));
    QCOMPARE(m_dialogs.texts().last(),
             QStringLiteral("This image file is owned by user=nobody and you\r\ndo not have write "
                            "access permission to overwite it."));
}

void TestPut::replaceCancelled()
{
    const QString remote = serverPath("images/AB/AB10001.jpg");
    const QByteArray before = runtime::readWholeFile(remote).value_or("");
    lookUp(QStringLiteral("AB10001"));
    m_dialogs.answers.enqueue(runtime::kCancel);
    QVERIFY(!server::Ok2Write(m_state, QStringLiteral("framla.tmp"), true));
    QCOMPARE(m_dialogs.texts(), (QStringList{"Replace existing image?", "Cancelled!"}));
    QCOMPARE(runtime::readWholeFile(remote).value_or(""), before);
}

void TestPut::deleteAndGuard()
{
    // The shared supplier picture cannot be deleted from an item.
    lookUp(QStringLiteral("AB10003"));
    server::DelImage(m_state, m_display, m_state.login,
                     test::targetFor(m_state, QStringLiteral("AB10003"), true,
                                     QStringLiteral("AB10003"), m_state.cTime));
    QCOMPARE(m_dialogs.texts().last(),
             QStringLiteral("Deletion is denied from inventory mode.\r\n"
                            "This is a supplier reference image. You could\r\n"
                            "delete the SSR image in supplier mode, but you might\r\n"
                            "want to just record a new image for this item."));
    QVERIFY(QFile::exists(serverPath("images/ssr/1234/RING5.jpg")));

    // An item's own picture goes.
    const QString remote = serverPath("images/CD/CD20001.jpg");
    QVERIFY(QFile::exists(remote));
    lookUp(QStringLiteral("CD20001"));
    m_dialogs.answers.enqueue(runtime::kOk); // the replace question of the write check
    server::DelImage(m_state, m_display, m_state.login,
                     test::targetFor(m_state, QStringLiteral("CD20001"), true,
                                     QStringLiteral("CD20001"), m_state.cTime));
    QVERIFY(!QFile::exists(remote));
    QCOMPARE(m_display.captions.last(), QStringLiteral("Image as now recorded:"));
    QCOMPARE(m_display.pictures.last(), QStringLiteral("scratch.jpg T"));
    QVERIFY(!QFile::exists(m_appDir->filePath("scratch.jpg")));
}

void TestPut::dataFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("arrives");
    QTest::addColumn<QFileDevice::Permissions>("mode");
    const auto rw = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                    QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QTest::newRow("table") << "IX0002.DBF"
                           << "shuttle/ix0002.dbf"
                           << (rw | QFileDevice::WriteGroup | QFileDevice::WriteOther);
    QTest::newRow("export") << "Export 2.csv"
                            << "" << rw;
    QTest::newRow("csv") << "export.csv"
                         << "shuttle/export.csv" << rw;
}

void TestPut::dataFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, arrives);
    QFETCH(QFileDevice::Permissions, mode);
    // The local folder has a blank and capitals: it is used as it is.
    QTemporaryDir local;
    const QString folder = local.filePath("My Exports");
    QVERIFY(QDir().mkpath(folder));
    const QByteArray content = QByteArray("code,desc\r\n").repeated(50);
    QVERIFY(runtime::writeWholeFile(folder + "/" + file, content));
    m_dialogs.answers.enqueue(runtime::kOk); // a replace question for the sample's own export.csv
    const bool sent = server::transferDataFile(m_state, m_display, folder + "/" + file);
    QCOMPARE(sent, !arrives.isEmpty());
    if (arrives.isEmpty()) {
        QVERIFY(m_dialogs.texts().last().startsWith(
            QStringLiteral("Space character in file or path name!")));
        return;
    }
    QCOMPARE(m_dialogs.texts().last(),
             QStringLiteral("File ") + QFileInfo(arrives).fileName() +
                 QStringLiteral(" sent.\r\nCheck details shown for validity."));
    QCOMPARE(runtime::readWholeFile(serverPath(arrives)).value_or(""), content);
    QCOMPARE(QFileInfo(serverPath(arrives)).permissions() & 0x7777, mode);
}

void TestPut::serverDiesBeforeTheCopy()
{
    lookUp(QStringLiteral("EF30001"));
    makePhoto(1200, 900);
    m_dying->dieBeforeCopy = true;
    QVERIFY(
        putNow(QStringLiteral("EF30001"), QStringLiteral("M"), true, QStringLiteral("EF30001")));
    const QString last = m_display.replies.last();
    QVERIFY2(last.startsWith(QString::fromLatin1(server::kNotRecordedText)), qPrintable(last));
    QVERIFY(!QFile::exists(serverPath("images/EF/EF30001.jpg")));
}

void TestPut::copyCutOffKeepsThePicture()
{
    // The group's directory on the server becomes a small file system of its
    // own, holding the item's picture and room for less than the new one.
    const QString group = serverPath("images/EF");
    const QString picture = group + "/EF30003.jpg";
    const QByteArray before = runtime::readWholeFile(picture).value_or("");
    QVERIFY(!before.isEmpty());
    const QFileInfo owner(group);
    const auto run = [](const QString &program, const QStringList &args) {
        QProcess process;
        process.start(program, args);
        return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    };
    const QString options = QStringLiteral("size=%1k,mode=755,uid=%2,gid=%3")
                                .arg((before.size() / 4096 + 1) * 4 + 16)
                                .arg(owner.ownerId())
                                .arg(owner.groupId());
    if (!run("mount", {"-t", "tmpfs", "-o", options, "tmpfs", group}))
        QSKIP("A small file system cannot be mounted here (needs root and the right to mount), so "
              "a copy cut off by a full disk cannot be staged.");
    const auto unmount = qScopeGuard([&] { run("umount", {group}); });
    QVERIFY(runtime::writeWholeFile(picture, before));
    QVERIFY(run("chown", {m_server.user() + ":", picture}));

    lookUp(QStringLiteral("EF30003"));
    makePhoto(640, 480,
              {QStringLiteral("xc:"), QStringLiteral("+noise"), QStringLiteral("Random")});
    QVERIFY(
        putNow(QStringLiteral("EF30003"), QStringLiteral("L"), true, QStringLiteral("EF30003")));
    // The copy into the user's reply directory arrives; the one onto the full
    // file system beside the picture is cut off.
    const QString last = m_display.replies.last();
    QVERIFY2(last.startsWith(QString::fromLatin1(server::kNotRecordedText) +
                             "\r\nThe image was copied, but it could not be put in place: "),
             qPrintable(last));
    QVERIFY(runtime::readWholeFile(picture).value_or("") == before);
    QCOMPARE(QDir(group).entryList(QDir::Files | QDir::Hidden), QStringList{"EF30003.jpg"});
}

QTEST_GUILESS_MAIN(TestPut)
#include "tst_put.moc"
