// The whole put (resize, copy, mode, fetch back, reply) through the program's
// upload against the same tool runs started bare, side by side in one run,
// on the test SSH server of scripts/test-server. Run as root (the server
// makes a throwaway account).
#include "bench_common.h"
#include "bench_remote.h"
#include "core/program_state.h"
#include "history/journal_keeper.h"
#include "runtime/clock.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "server/command_lines.h"
#include "server/lookup.h"
#include "server/target.h"
#include "server/upload.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace framla;

namespace {

/// Prints the medians of two timings run side by side under a heading, and
/// their ratio over / under (0 when under is 0), the figures in one column.
void printPair(const char *heading, int rounds, const char *firstLabel, double first,
               const char *secondLabel, double second, const char *ratioLabel, double over,
               double under)
{
    std::printf("%s, %d rounds side by side\n", heading, rounds);
    std::printf("  %-34s: %8.1f ms (median)\n", firstLabel, first);
    std::printf("  %-34s: %8.1f ms (median)\n", secondLabel, second);
    std::printf("  %-34s: %8.3f\n", ratioLabel, under > 0 ? over / under : 0.0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 9;
    QTemporaryDir serverDir;
    QTemporaryDir work;
    QMap<QString, QString> facts;
    if (!bench::startTestServer("bench_put", serverDir.path(), work.path(), facts))
        return 1;

    bench::NoDialogs dialogs;
    runtime::SystemClock clock;
    runtime::ProcessShell shell(work.path(), &dialogs);
    server::QuietDisplay display;
    ProgramState state;
    state.cAppPath = work.path();
    state.login.cAddress = facts.value(QStringLiteral("FRAMLA_TEST_HOST"));
    state.login.cPort = facts.value(QStringLiteral("FRAMLA_TEST_PORT"));
    state.login.cUser = facts.value(QStringLiteral("FRAMLA_TEST_USER"));
    state.login.cPass = facts.value(QStringLiteral("FRAMLA_TEST_PASSWORD"));
    state.login.cPath = facts.value(QStringLiteral("FRAMLA_TEST_DBPATH"));
    state.services.dialogs = &dialogs;
    state.services.clock = &clock;
    state.services.shell = &shell;

    const QString photo = work.filePath(QStringLiteral("photo.jpg"));
    bench::writePhoto(photo, QSize(2000, 1500));
    const QString code = QStringLiteral("AB10004");
    state.cTime = QStringLiteral("12:34:56");
    state.cCode = code;
    state.cName = code;
    const ServerLogin serverLogin = state.login;
    const server::Target target = server::targetOf(state);
    server::PrepText(state, display, serverLogin, target);

    const QString login = state.login.cUser + QLatin1Char('@') + state.login.cAddress;
    const QString remote = state.login.cPath + QStringLiteral("/images/AB/AB10004.jpg");
    const QString pwfile = facts.value(QStringLiteral("FRAMLA_TEST_PWFILE"));
    const QStringList putty = {QStringLiteral("-batch"), QStringLiteral("-P"), state.login.cPort,
                               QStringLiteral("-pwfile"), pwfile};
    const QString replyDir = state.login.cPath + QStringLiteral("/jtemp/") + state.login.cUser;
    const QString reply = replyDir + QStringLiteral("/framla.tmp");

    const auto times = bench::sideBySide(
        {[&] {
             QFile::remove(work.filePath(QStringLiteral("scratch.jpg")));
             QFile::copy(photo, work.filePath(QStringLiteral("scratch.jpg")));
             server::PutFile1(state, display, serverLogin, target);
         },
         [&] {
             const QString bare = work.filePath(QStringLiteral("bare.jpg"));
             QFile::remove(bare);
             QFile::copy(photo, bare);
             bench::runTool(QStringLiteral("mogrify"),
                            {QStringLiteral("-resize"), QStringLiteral("320x320"), bare},
                            work.path());
             // As the program places a picture: copied into the user's own
             // reply directory, fetched to check it, given its mode and moved
             // over the target in one run there; then the recorded picture
             // and a fresh look-up.
             const QString name = server::stagingName(QStringLiteral(".jpg"));
             const QString staged = replyDir + QLatin1Char('/') + name;
             bench::runTool(QStringLiteral("pscp"),
                            putty + QStringList{QStringLiteral("-scp"), bare, login + ':' + staged},
                            work.path());
             bench::runTool(QStringLiteral("pscp"),
                            putty + QStringList{QStringLiteral("-scp"), login + ':' + staged,
                                                work.filePath(QStringLiteral("check.jpg"))},
                            work.path());
             const runtime::ToolCommand place =
                 server::placeCommand(serverLogin, name, QStringLiteral("644"), remote);
             bench::runTool(QStringLiteral("plink"),
                            putty + QStringList{QStringLiteral("-ssh")} +
                                place.args.mid(place.args.indexOf(login)),
                            work.path());
             bench::runTool(QStringLiteral("pscp"),
                            putty + QStringList{QStringLiteral("-scp"), login + ':' + remote,
                                                work.filePath(QStringLiteral("back.jpg"))},
                            work.path());
             bench::runTool(QStringLiteral("plink"),
                            putty + QStringList{QStringLiteral("-ssh"), login,
                                                QStringLiteral("framaid"), replyDir, code,
                                                QStringLiteral("12:34:57")},
                            work.path());
             bench::runTool(QStringLiteral("pscp"),
                            putty + QStringList{QStringLiteral("-scp"), login + ':' + reply,
                                                work.filePath(QStringLiteral("reply.tmp"))},
                            work.path());
         }},
        rounds);

    const double ours = bench::median(times[0]);
    const double bare = bench::median(times[1]);
    printPair("put of a 2000 x 1500 JPEG in size M", rounds, "PutFile1 (runner, mogrify + six)",
              ours, "the same tools started bare", bare, "ratio put / bare", ours, bare);

    // The same put with the journal kept (each replace recorded, with the
    // copy of the picture it replaced, which the put knows from the view as
    // the "Put it" handler does) against none, side by side.
    QTemporaryDir journalDir;
    history::JournalKeeper journal(journalDir.path());
    const auto journalled = [&](bool on) {
        QFile::remove(work.filePath(QStringLiteral("scratch.jpg")));
        QFile::copy(photo, work.filePath(QStringLiteral("scratch.jpg")));
        server::PutExtras extras;
        extras.previous = runtime::readWholeFile(work.filePath(QStringLiteral("bare.jpg")))
                              .value_or(QByteArray());
        state.services.journal = on ? &journal : nullptr;
        server::PutFile1(state, display, serverLogin, target, QStringLiteral("scratch.jpg"),
                         extras);
        state.services.journal = nullptr;
    };
    const auto withJournal =
        bench::sideBySide({[&] { journalled(false); }, [&] { journalled(true); }}, rounds);
    const double off = bench::median(withJournal[0]);
    const double on = bench::median(withJournal[1]);
    printPair("the same put with the journal off and on", rounds, "journal off", off,
              "journal on (replace, 1 copy kept)", on, "ratio on / off", on, off);

    bench::stopTestServer(serverDir.path(), work.path());
    return 0;
}
