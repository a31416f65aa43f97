// A second account in the shop's group, on the real test server, tries to
// redirect the operator's writes: a link planted where a send or a put could
// write, the operator's reply directory swapped for one of its own, a second
// put to the same picture while the first is under way. The files the links
// point at stay as they were; what arrives is a file of its own, whole, with
// its mode, and nothing is left beside it.
#include "runtime/files.h"
#include "server/command_lines.h"
#include "server/data_transfer.h"
#include "server/upload.h"
#include "support/scripted_shell.h"
#include "support/scripted_world.h"
#include "support/server_case.h"

#include <QCryptographicHash>
#include <QDir>
#include <QScopeGuard>
#include <QTest>

#include <sys/stat.h>

using namespace framla;

namespace {
/// The server path a pscp command sends to; "" for any other command.
QString sentTo(const runtime::ToolCommand &command)
{
    const QString to = command.args.value(4);
    return command.executableName() == "pscp" && to.contains('@') ? to.section(':', 1) : "";
}

/// "name mode digest" of a file: its mode in octal, its content's digest.
QString line(const QString &name, const QString &mode, const QByteArray &content)
{
    return name + ' ' + mode + ' ' +
           QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex();
}

/// The lines of every entry of dir whose name matches filter; "name link" for a link.
QStringList stateOf(const QString &dir, const QString &filter = "*")
{
    QStringList state;
    for (const QFileInfo &entry : QDir(dir).entryInfoList(
             {filter}, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        struct stat s {};
        state << (::lstat(QFile::encodeName(entry.filePath()).constData(), &s) != 0 ||
                          !S_ISREG(s.st_mode)
                      ? entry.fileName() + (S_ISLNK(s.st_mode) ? " link" : " other")
                      : line(entry.fileName(), QString::number(s.st_mode & 07777, 8),
                             runtime::readWholeFile(entry.filePath()).value_or("")));
    }
    return state;
}
} // namespace

class TestGroupMate : public test::ServerCase {
    Q_OBJECT
    QString m_mate;

    /// Runs a shell script as the other account; true when it ended with 0.
    bool asMate(const QString &script, const QStringList &args)
    {
        return test::runTool("runuser",
                             QStringList{"-u", m_mate, "--", "sh", "-c", script, "mate"} + args);
    }
    /// Put number n of a picture of its own to code from desk; whether it arrived.
    bool put(ProgramState &desk, const QString &code, int n)
    {
        const QString name = QStringLiteral("put%1.jpg").arg(n);
        return test::runTool("convert", {"-size", "900x600", "plasma:red-blue",
                                         QDir(desk.cAppPath).filePath(name)}) &&
               server::PutFile1(
                   desk, m_display, desk.login,
                   test::targetFor(desk, code, true, code, QString("12:00:0%1").arg(n)), name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.error()));
        // The shop's directories are writable by its group, as framaid --setup
        // leaves them where the database directory is; the other account is in that group.
        const QString db = m_server.dbPath();
        m_mate = QStringLiteral("fxg") + m_server.user().mid(3);
        QVERIFY(test::runTool("useradd", {"-M", "-N", "-g", QFileInfo(db).group(), "-s",
                                          "/usr/sbin/nologin", m_mate}));
        QVERIFY(test::runTool("find", {db, "-type", "d", "-not", "-path", "*/jtemp*", "-exec",
                                       "chmod", "2775", "{}", "+"}));
    }
    void cleanupTestCase()
    {
        if (!m_mate.isEmpty())
            test::runTool("userdel", {m_mate});
        m_server.stop();
    }
    void init() { QVERIFY(freshCase()); }
    void cleanup() { endCase(); }

    void writesStayOurs_data()
    {
        // An inventory code or a data file's name, then what the other account does.
        QTest::addColumn<QString>("meddling");
        QTest::newRow("data file, link at a fixed name") << "IX0007.DBF link";
        QTest::newRow("picture, link at a fixed name") << "AB10004 link";
        QTest::newRow("data file, reply directory taken over") << "IX0008.DBF takeover";
        QTest::newRow("picture, reply directory taken over") << "EF30001 takeover";
        QTest::newRow("picture, a second put to it meanwhile") << "CD20002 second put";
    }
    void writesStayOurs()
    {
        QFETCH(QString, meddling);
        const QString what = meddling.section(' ', 0, 0);
        meddling = meddling.section(' ', 1);
        const QString db = m_server.dbPath(), replies = db + "/jtemp/" + m_server.user();
        const bool picture = !what.contains(QLatin1Char('.'));
        const QString target = picture ? db + "/images/" + what.left(2) + "/" + what + ".jpg"
                                       : db + "/shuttle/" + what.toLower();
        const QString folder = QFileInfo(target).path(), targetName = QFileInfo(target).fileName();
        // The name a send or a put once wrote through, and what a link there
        // points at: the shop's item table, the operator's own start-up file.
        const QString fixedName =
            picture ? target + ".part" : folder + "/.framla-" + what.toLower();
        const QString victim =
            picture ? db + "/items.dbf" : m_server.fact("FRAMLA_TEST_HOME") + "/.bashrc";
        QVERIFY(
            runtime::writeWholeFile(victim, runtime::readWholeFile(victim).value_or("# mine\n")));
        QVERIFY(test::runTool("chown", {m_server.user() + ":", victim}));
        QVERIFY(QFile::setPermissions(victim, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        // Afterwards: the victim as it was, the folder as it was but for the
        // target, no copy left in the reply directory.
        const auto state = [&] {
            return stateOf(QFileInfo(victim).path(), QFileInfo(victim).fileName()) +
                   stateOf(folder);
        };
        QStringList expected = state().filter(
            QRegularExpression("^(?!" + QRegularExpression::escape(targetName) + " )"));
        QByteArray sent = QByteArray("code,qty\r\n").repeated(40);
        bool arrived = false, secondPut = false, secondArrived = false, mateFailed = false;
        {
            // Takes away what the other account left, and gives the reply directory back.
            auto undo = qScopeGuard([&] {
                test::runTool(
                    "sh",
                    {"-c",
                     R"(rm -f "$1"; [ ! -d "$2.mate" ] || { rm -rf "$2" && mv "$2.mate" "$2"; })",
                     "undo", fixedName, db + "/jtemp"});
            });
            if (meddling == "link")
                QVERIFY(asMate(R"(ln -s "$1" "$2")",
                               {picture ? "../../items.dbf" : victim, fixedName}));
            test::ScriptedShell shell; // the real tools, and the other account acting around them
            QString staged;
            shell.onRun = [&](const runtime::ToolCommand &command) {
                if (meddling == "takeover" && staged.isEmpty() &&
                    sentTo(command).startsWith(db + "/jtemp/")) {
                    // Just before the copy the other account puts a directory of its
                    // own in the place of the operator's reply directory; before the
                    // next remote command it swaps the copy there for a link.
                    staged = sentTo(command);
                    mateFailed |=
                        !asMate(R"(mv "$1" "$1.mate" && mkdir -m 1777 "$1" && mkdir -m 777 "$2")",
                                {db + "/jtemp", replies});
                } else if (command.executableName() == "plink" && QFileInfo(staged).isFile() &&
                           !QFileInfo(staged).isSymLink()) {
                    mateFailed |= !asMate(R"(rm -f "$1" && ln -s "$2" "$1")", {staged, victim});
                }
                const runtime::RunOutcome outcome = m_shell->run(command, shell.timeouts.last());
                if (meddling == "second put" && !secondPut && !sentTo(command).isEmpty()) {
                    secondPut = true; // from a second desk with the same login
                    QTemporaryDir dir;
                    runtime::ProcessShell deskShell(dir.path(), &m_dialogs);
                    ProgramState desk = m_state;
                    std::tie(desk.cAppPath, desk.services.shell, desk.services.workingFiles) =
                        std::tuple(dir.path(), &deskShell,
                                   std::make_shared<std::recursive_mutex>());
                    secondArrived = put(desk, what, 2);
                }
                return outcome;
            };
            m_state.services.shell = &shell;
            arrived = picture ? put(m_state, what, 1)
                              : runtime::writeWholeFile(m_appDir->filePath(what), sent) &&
                                    server::transferDataFile(m_state, m_display,
                                                             m_appDir->filePath(what));
        }
        QVERIFY(!mateFailed);
        QCOMPARE(arrived, meddling != "takeover");
        QCOMPARE(secondArrived, secondPut);
        if (picture)
            sent = runtime::readWholeFile(m_appDir->filePath("put1.jpg")).value_or("");
        if (arrived) // ours arrived last: whole, as a file of its own
            expected << line(targetName, picture ? "644" : "666", sent);
        QStringList now = state() + stateOf(replies, "upload-*");
        now.sort();
        expected.sort();
        QCOMPARE(now, expected);
    }
};

QTEST_GUILESS_MAIN(TestGroupMate)
#include "tst_group_mate.moc"
