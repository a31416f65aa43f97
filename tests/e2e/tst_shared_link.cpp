// The one connection that a look-up's and a put's runs share, against the
// real sshd with the real PuTTY tools: the runs log in once, a restarted
// server costs nothing but sharing, a killed program leaves no plink, and no
// other local account gets in through the sharing socket.
#include "core/program_state.h"
#include "runtime/files.h"
#include "runtime/shared_link.h"
#include "runtime/shell.h"
#include "server/command_lines.h"
#include "server/lookup.h"
#include "server/remote_run.h"
#include "server/upload.h"
#include "server/write_check.h"
#include "support/scripted_world.h"
#include "support/server_case.h"

#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>

using namespace framla;

namespace {

/// A plink process (by its command line), or "" when pid is no plink.
QByteArray plinkLine(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    const QByteArray line = file.open(QIODevice::ReadOnly) ? file.readAll().replace('\0', ' ') : "";
    return line.contains("plink") ? line : QByteArray();
}

/// The program stand-in the kill test ends: the runner opens the shared
/// connection of the login in FRAMLA_HOLD_LOGIN and waits to be killed.
int holdLink()
{
    const QStringList login = qEnvironmentVariable("FRAMLA_HOLD_LOGIN").split(QLatin1Char(' '));
    if (login.size() != 4)
        return 2;
    runtime::ProcessShell shell(QDir::currentPath(), nullptr);
    const runtime::ToolCommand command = server::remoteCommand(
        core::loginOf(login.at(0), login.at(1), QStringLiteral("/"), login.at(2), login.at(3)),
        {QStringLiteral("true")}, false);
    shell.shareConnectionOf(runtime::linkKeyOf(command));
    if (!shell.run(command, 60000).succeeded() || !shell.sharedLink().waitUntilUp(60000))
        return 1;
    std::puts("up");
    std::fflush(stdout);
    std::getchar();
    return 0;
}

} // namespace

class TestSharedLink : public test::ServerCase {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void lookUpAndPutLogInOnce();
    void otherAccountCannotShare();
    void killedProgramLeavesNoPlink();
    void unknownHostKeyAskedOnce();
    void restartedServer();

private:
    void lookUp(const QString &code);
    void openLink();
    QStringList shareArgs() const;

    int m_second = 0;
    server::LookupResult m_found; ///< what the last look-up found
};

void TestSharedLink::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
}

void TestSharedLink::init()
{
    QVERIFY(freshCase());
    server::followRunningSettings(m_state);
}

void TestSharedLink::cleanup()
{
    endCase();
}

void TestSharedLink::lookUp(const QString &code)
{
    m_state.cTime = QStringLiteral("13:00:%1").arg(++m_second % 60, 2, 10, QLatin1Char('0'));
    m_found = server::PrepText(m_state, m_display, m_state.login,
                               test::targetFor(m_state, code, true, code, m_state.cTime));
    const QByteArray reply = runtime::readWholeFile(m_appDir->filePath("framla.tmp")).value_or("");
    QVERIFY2(reply.startsWith(m_state.cTime.toLatin1()), reply.constData());
}

void TestSharedLink::openLink()
{
    lookUp(QStringLiteral("AB10001"));
    QVERIFY(m_shell->sharedLink().waitUntilUp(60000));
}

QStringList TestSharedLink::shareArgs() const
{
    // No password: only a shared connection lets this in.
    return {QStringLiteral("-batch"), QStringLiteral("-share"),
            QStringLiteral("-ssh"),   QStringLiteral("-P"),
            m_server.port(),          m_server.user() + QLatin1Char('@') + m_server.host(),
            QStringLiteral("true")};
}

void TestSharedLink::lookUpAndPutLogInOnce()
{
    openLink();
    const int logins = m_server.acceptedLogins();
    QVERIFY(logins > 0);

    lookUp(QStringLiteral("AB10001"));
    QCOMPARE(
        runtime::readWholeFile(m_appDir->filePath("scratch.jpg")).value_or(""),
        runtime::readWholeFile(m_server.dbPath() + "/images/AB/AB10001.jpg").value_or("missing"));
    lookUp(QStringLiteral("CD20002"));
    QVERIFY(m_found.ok2Put == true);
    QProcess convert;
    convert.start(QStringLiteral("convert"),
                  {QStringLiteral("-size"), QStringLiteral("800x600"), QStringLiteral("plasma:"),
                   m_appDir->filePath("scratch.jpg")});
    QVERIFY(convert.waitForFinished(60000) && convert.exitCode() == 0);
    m_dialogs.answers.enqueue(runtime::kOk);
    QVERIFY(server::Ok2Write(m_state, QStringLiteral("framla.tmp"), true));
    // The put runs on the upload worker, through the same connection.
    server::UploadQueue queue;
    m_state.services.uploads = &queue;
    server::PutFile(m_state, m_display, m_state.login,
                    test::targetFor(m_state, QStringLiteral("CD20002"), true,
                                    QStringLiteral("CD20002"), m_state.cTime, QStringLiteral("S")));
    QVERIFY(queue.waitForIdle(120000));
    QCoreApplication::processEvents();
    m_state.services.uploads = nullptr;
    QCOMPARE(QImageReader(m_server.dbPath() + "/images/CD/CD20002.jpg").size(), QSize(160, 120));
    QVERIFY2(!m_display.replies.last().contains(QString::fromLatin1(server::kNotRecordedText)),
             qPrintable(m_display.replies.last()));
    // Two look-ups and a put, and not one more login.
    QCOMPARE(m_server.acceptedLogins(), logins);
}

void TestSharedLink::otherAccountCannotShare()
{
    openLink();
    const int logins = m_server.acceptedLogins();
    // The owner gets in through the sharing socket without a password ...
    QProcess owner;
    owner.start(QStringLiteral("plink"), shareArgs());
    QVERIFY(owner.waitForFinished(60000));
    QCOMPARE(owner.exitCode(), 0);
    // ... another account, which knows the host key, does not.
    QTemporaryDir keys;
    QVERIFY(QFile::copy(m_server.fact("PUTTYDIR") + "/sshhostkeys", keys.filePath("sshhostkeys")));
    QVERIFY(QFile::setPermissions(keys.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                   QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                   QFileDevice::ExeOther));
    QVERIFY(QFile::setPermissions(keys.filePath("sshhostkeys"),
                                  QFileDevice::ReadOwner | QFileDevice::ReadOther));
    QProcess other;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PUTTYDIR"), keys.path());
    env.insert(QStringLiteral("HOME"), keys.path());
    other.setProcessEnvironment(env);
    other.setStandardInputFile(QProcess::nullDevice());
    other.start(QStringLiteral("setpriv"),
                QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                            QStringLiteral("--clear-groups"), QStringLiteral("plink")} +
                    shareArgs());
    QVERIFY(other.waitForFinished(60000));
    const QByteArray said = other.readAllStandardError();
    QVERIFY2(other.exitCode() != 0, said.constData());
    QVERIFY2(said.contains("interactive prompts in batch mode") && !said.contains("host key"),
             said.constData());
    QCOMPARE(m_server.acceptedLogins(), logins);
}

void TestSharedLink::killedProgramLeavesNoPlink()
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(
        QStringLiteral("FRAMLA_HOLD_LOGIN"),
        QStringList{m_server.host(), m_server.port(), m_server.user(), m_server.password()}.join(
            ' '));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(m_appDir->path());
    program.start(QCoreApplication::applicationFilePath());
    QVERIFY(program.waitForStarted(10000));
    while (!program.canReadLine() && program.waitForReadyRead(60000)) {
    }
    QCOMPARE(program.readLine(), QByteArray("up\n"));
    QList<qint64> plinks;
    for (const qint64 pid : test::descendantsOf(program.processId()))
        if (!plinkLine(pid).isEmpty())
            plinks.append(pid);
    QCOMPARE(plinks.size(), 1);
    QVERIFY2(plinkLine(plinks.first()).contains(" -share -N "),
             plinkLine(plinks.first()).constData());

    ::kill(pid_t(program.processId()), SIGKILL);
    QVERIFY(program.waitForFinished(10000));
    QTRY_VERIFY_WITH_TIMEOUT(plinkLine(plinks.first()).isEmpty(), 10000);
    // Nothing is left that lets a password-less run in.
    QProcess after;
    after.start(QStringLiteral("plink"), shareArgs());
    QVERIFY(after.waitForFinished(60000));
    QVERIFY(after.exitCode() != 0);
}

void TestSharedLink::unknownHostKeyAskedOnce()
{
    // The upstream meets the unknown key too, but gives up without asking;
    // the look-up's own run asks the operator, once.
    QTemporaryDir fresh;
    qputenv("PUTTYDIR", fresh.path().toLocal8Bit());
    m_dialogs.answers.enqueue(runtime::kYes);
    lookUp(QStringLiteral("AB10001"));
    QCOMPARE(m_dialogs.boxes.size(), 1);
    QVERIFY2(m_dialogs.boxes.first().text.contains(m_server.fact("FRAMLA_TEST_HOSTKEY")),
             qPrintable(m_dialogs.boxes.first().text));
}

void TestSharedLink::restartedServer()
{
    openLink();
    QVERIFY2(m_server.restart(), qPrintable(m_server.error()));
    lookUp(QStringLiteral("AB10001"));
    QCOMPARE(
        runtime::readWholeFile(m_appDir->filePath("scratch.jpg")).value_or(""),
        runtime::readWholeFile(m_server.dbPath() + "/images/AB/AB10001.jpg").value_or("missing"));
    lookUp(QStringLiteral("AB10001"));
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("FRAMLA_HOLD_LOGIN")) {
        QCoreApplication app(argc, argv);
        return holdLink();
    }
    QCoreApplication app(argc, argv);
    TestSharedLink test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_shared_link.moc"
