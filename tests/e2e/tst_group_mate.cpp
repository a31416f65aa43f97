// A second account in the shop's group, on the real test server, tries to
// redirect the operator's writes: a link planted where a send or a put could
// write, the operator's reply directory swapped for one of its own, a second
// put to the same picture while the first is under way. The files the links
// point at stay as they were; what arrives is a file of its own, whole, with
// its mode, and nothing is left beside it.
#include "core/program_state.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "server/command_lines.h"
#include "server/data_transfer.h"
#include "server/upload.h"
#include "support/scripted_world.h"
#include "support/server_case.h"

#include <QDir>
#include <QScopeGuard>
#include <QTest>

#include <functional>

using namespace framla;

namespace {
/// Runs the real tools and lets the other account act just before or after each run.
class MeddledShell final : public runtime::Shell {
public:
    explicit MeddledShell(runtime::Shell &real)
        : m_real(real)
    {}
    std::function<void(const runtime::ToolCommand &)> before;
    std::function<void(const runtime::ToolCommand &)> after;
    runtime::RunOutcome run(const runtime::ToolCommand &command, int timeoutMs) override
    {
        if (before)
            before(command);
        const runtime::RunOutcome outcome = m_real.run(command, timeoutMs);
        if (after)
            after(command);
        return outcome;
    }

private:
    runtime::Shell &m_real;
};

/// The server path a pscp command sends to; "" for any other command.
QString sentTo(const runtime::ToolCommand &command)
{
    const QString to = command.args.value(4);
    if (command.executableName() != QStringLiteral("pscp") || !to.contains(QLatin1Char('@')))
        return {};
    return to.mid(to.indexOf(QLatin1Char(':')) + 1);
}

/// A file's mode (in hexadecimal Qt flags) and whole content.
QByteArray modeAndContent(const QString &path)
{
    return QByteArray::number(int(QFileInfo(path).permissions()), 16) + ' ' +
           runtime::readWholeFile(path).value_or("(missing)");
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}
} // namespace

class TestGroupMate : public test::ServerCase {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init() { QVERIFY(freshCase()); }
    void cleanup() { endCase(); }
    void writesStayOurs_data();
    void writesStayOurs();

private:
    /// Runs a shell script as the other account; true when it ended with 0.
    bool asMate(const QString &script, const QStringList &args)
    {
        return test::runTool("runuser",
                             QStringList{"-u", m_mate, "--", "sh", "-c", script, "mate"} + args);
    }
    /// A put of code's picture from a second desk with the same login; whether it arrived.
    bool putFromAnotherDesk(const QString &code);

    QString m_mate;
};

void TestGroupMate::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    // The shop's directories are writable by its group, as framaid --setup
    // leaves them where the database directory is; the other account is in that group.
    const QString db = m_server.dbPath();
    m_mate = QStringLiteral("fxg") + m_server.user().mid(3);
    QVERIFY(test::runTool(
        "useradd", {"-M", "-N", "-g", QFileInfo(db).group(), "-s", "/usr/sbin/nologin", m_mate}));
    QVERIFY(test::runTool("find", {db, "-type", "d", "-not", "-path", "*/jtemp*", "-exec", "chmod",
                                   "2775", "{}", "+"}));
}

void TestGroupMate::cleanupTestCase()
{
    if (!m_mate.isEmpty())
        test::runTool("userdel", {m_mate});
    m_server.stop();
}

bool TestGroupMate::putFromAnotherDesk(const QString &code)
{
    QTemporaryDir dir;
    runtime::ProcessShell shell(dir.path(), &m_dialogs);
    test::RecordingDisplay display;
    ProgramState desk;
    desk.cAppPath = dir.path();
    m_server.configure(desk);
    desk.services = m_state.services;
    desk.services.shell = &shell;
    desk.services.workingFiles = std::make_shared<std::recursive_mutex>();
    return test::runTool("convert",
                         {"-size", "900x600", "plasma:red-blue", dir.filePath("theirs.jpg")}) &&
           server::PutFile1(desk, display, server::loginOf(desk),
                            test::targetFor(desk, code, true, code, "12:00:02"), "theirs.jpg");
}

void TestGroupMate::writesStayOurs_data()
{
    QTest::addColumn<QString>("what");     // an inventory code, or a data file's name
    QTest::addColumn<QString>("meddling"); // what the other account does
    QTest::addColumn<bool>("arrives");
    QTest::newRow("data file, link at a fixed name") << "IX0007.DBF"
                                                     << "link" << true;
    QTest::newRow("picture, link at a fixed name") << "AB10004"
                                                   << "link" << true;
    QTest::newRow("data file, reply directory taken over") << "IX0008.DBF"
                                                           << "takeover" << false;
    QTest::newRow("picture, reply directory taken over") << "EF30001"
                                                         << "takeover" << false;
    QTest::newRow("picture, a second put to it meanwhile") << "CD20002"
                                                           << "second put" << true;
}

void TestGroupMate::writesStayOurs()
{
    QFETCH(QString, what);
    QFETCH(QString, meddling);
    QFETCH(bool, arrives);
    const QString db = m_server.dbPath();
    const QString replies = db + "/jtemp/" + m_server.user();
    const bool picture = !what.contains(QLatin1Char('.'));
    const QString target = picture ? db + "/images/" + what.left(2) + "/" + what + ".jpg"
                                   : db + "/shuttle/" + what.toLower();
    const QString folder = QFileInfo(target).path();
    // The name a send or a put once wrote through, and what a link there
    // points at: the shop's item table, the operator's own start-up file.
    const QString fixedName = picture ? target + ".part" : folder + "/.framla-" + what.toLower();
    const QString victim =
        picture ? db + "/items.dbf" : m_server.fact("FRAMLA_TEST_HOME") + "/.bashrc";
    QVERIFY(runtime::writeWholeFile(victim, runtime::readWholeFile(victim).value_or("# mine\n")));
    QVERIFY(test::runTool("chown", {m_server.user() + ":", victim}));
    QVERIFY(QFile::setPermissions(victim, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    const QByteArray victimBefore = modeAndContent(victim);
    const QStringList before = entries(folder);
    // Takes away what the other account left, and gives the reply directory back.
    const auto undo = [&] {
        test::runTool(
            "sh",
            {"-c",
             "rm -f \"$1\"; if [ -d \"$2.mate\" ]; then rm -rf \"$2\" && mv \"$2.mate\" \"$2\"; fi",
             "undo", fixedName, db + "/jtemp"});
    };
    auto undoAnyway = qScopeGuard(undo);

    MeddledShell shell(*m_shell);
    if (meddling == "link")
        QVERIFY(asMate("ln -s \"$1\" \"$2\"", {picture ? "../../items.dbf" : victim, fixedName}));
    QString staged;
    if (meddling == "takeover") {
        // Just before the copy the other account puts a directory of its own
        // in the place of the operator's reply directory; before the next
        // remote command it swaps the copy there for a link.
        shell.before = [&](const runtime::ToolCommand &command) {
            if (staged.isEmpty() && sentTo(command).startsWith(db + "/jtemp/")) {
                staged = sentTo(command);
                QVERIFY(
                    asMate("mv \"$1\" \"$1.mate\" && mkdir -m 1777 \"$1\" && mkdir -m 777 \"$2\"",
                           {db + "/jtemp", replies}));
            } else if (!staged.isEmpty() && command.executableName() == "plink" &&
                       QFileInfo(staged).isFile() && !QFileInfo(staged).isSymLink()) {
                QVERIFY(asMate("rm -f \"$1\" && ln -s \"$2\" \"$1\"", {staged, victim}));
            }
        };
    }
    bool secondPut = false;
    bool secondArrived = false;
    if (meddling == "second put") {
        shell.after = [&](const runtime::ToolCommand &command) {
            if (!secondPut && !sentTo(command).isEmpty()) {
                secondPut = true;
                secondArrived = putFromAnotherDesk(what);
            }
        };
    }

    m_state.services.shell = &shell;
    QByteArray sent;
    bool done = false;
    if (picture) {
        QVERIFY(test::runTool("convert", {"-size", "1200x900", "gradient:gold-navy",
                                          m_appDir->filePath("mine.jpg")}));
        done = server::PutFile1(m_state, m_display, server::loginOf(m_state),
                                test::targetFor(m_state, what, true, what, "12:00:01"), "mine.jpg");
        sent = runtime::readWholeFile(m_appDir->filePath("mine.jpg")).value_or("");
    } else {
        sent = QByteArray("code,qty\r\n").repeated(40);
        QVERIFY(runtime::writeWholeFile(m_appDir->filePath(what), sent));
        done = server::transferDataFile(m_state, m_display, m_appDir->filePath(what));
    }
    m_state.services.shell = m_shell.get();

    QCOMPARE(done, arrives);
    QCOMPARE(secondArrived, secondPut);
    QCOMPARE(modeAndContent(victim), victimBefore);
    const auto readable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                          QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    const auto mode =
        picture ? readable : readable | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (arrives) {
        // Ours arrived last: whole, as a file of its own.
        QVERIFY(!QFileInfo(target).isSymLink());
        QCOMPARE(modeAndContent(target), QByteArray::number(int(mode), 16) + ' ' + sent);
    } else {
        QVERIFY(!QFileInfo::exists(target) && !QFileInfo(target).isSymLink());
    }
    // Nothing is left beside the target, nor in the operator's reply directory.
    undoAnyway.dismiss();
    undo();
    QStringList expected = before;
    if (arrives && !expected.contains(QFileInfo(target).fileName()))
        expected << QFileInfo(target).fileName();
    expected.sort();
    QCOMPARE(entries(folder), expected);
    QCOMPARE(QDir(replies).entryList({"upload-*"}, QDir::AllEntries | QDir::Hidden | QDir::System),
             QStringList{});
}

QTEST_GUILESS_MAIN(TestGroupMate)
#include "tst_group_mate.moc"
