// The look-up of an inventory code as the operator sees it, against the same
// tool runs started bare, side by side in one run, on the test SSH server of
// scripts/test-server. Run as root (the server makes a throwaway account).
//
// The program's way: the real window (app::Program started in a scratch
// working directory whose settings file points at the test server, under
// FramlaApplication so that the per-event chain runs), the code typed into
// the yellow code field and Enter pressed with QTest::keyClick. The look-up
// handler holds the UI thread until its tools are done; the round ends when
// the description box shows the item's description and the target view shows
// the recorded picture, after the pending paints have been delivered.
//
// The bare way: plink framaid (the request), pscp the reply, pscp the
// picture, each a QProcess with -batch -pwfile, as bench_put starts them.
//
// Every round asks with a new request token: the window takes the time of
// day, so before each round the benchmark waits (outside the timing) until
// the second has changed since the window's last request. Both ways ask
// about the same code every round, so that they fetch the same reply and the
// same picture.
#include "app/main_window.h"
#include "app/program.h"
#include "bench_common.h"
#include "bench_remote.h"
#include "core/program_state.h"
#include "imaging/image_view.h"
#include "runtime/application.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTime>

#include <cstdio>
#include <functional>

using namespace framla;

namespace {

const QString kCode = QStringLiteral("AB10001");
const QString kDescription = QStringLiteral("Solitaire ring, 0.50ct diamond");

/// The settings file as the program writes it (and scripts/run.sh for the
/// demo): CR LF lines, a plain port and password read back as they are.
bool writeSettings(const QString &file, const QMap<QString, QString> &facts)
{
    const QStringList lines = {
        QStringLiteral("Configuration file for 'Framla'."),
        QStringLiteral("Framla is an image filing clerk for"),
        QStringLiteral("The Jewellery Tillsmith (Plus)."),
        QString(),
        QStringLiteral("[Address]"),
        facts.value(QStringLiteral("FRAMLA_TEST_HOST")),
        QString(),
        QStringLiteral("[Port]"),
        facts.value(QStringLiteral("FRAMLA_TEST_PORT")),
        QString(),
        QStringLiteral("[Datapath]"),
        facts.value(QStringLiteral("FRAMLA_TEST_DBPATH")),
        QString(),
        QStringLiteral("[Username]"),
        facts.value(QStringLiteral("FRAMLA_TEST_USER")),
        QString(),
        QStringLiteral("[Password]"),
        facts.value(QStringLiteral("FRAMLA_TEST_PASSWORD")),
        QString(),
        QStringLiteral("(end of parameter file)"),
    };
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    for (const QString &line : lines)
        out.write(line.toUtf8() + "\r\n");
    return out.flush();
}

/// Delivers what is pending: paints, the cursor's return, deferred deletes.
void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

/// Waits until the time of day (to the second) differs from the one given.
void waitForNewSecond(const QString &last)
{
    while (QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) == last)
        QThread::msleep(5);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    runtime::FramlaApplication application(argc, argv);
    const int rounds = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 9;

    QTemporaryDir serverDir;
    QTemporaryDir work; // the program's working directory
    QTemporaryDir bareWork;
    QMap<QString, QString> facts;
    if (!bench::startTestServer("bench_lookup", serverDir.path(), bareWork.path(), facts))
        return 1;
    auto stopServer = [&] { bench::stopTestServer(serverDir.path(), bareWork.path()); };

    if (!writeSettings(work.filePath(QStringLiteral("Framla.cfg")), facts)) {
        std::fprintf(stderr, "bench_lookup: cannot write the settings file\n");
        stopServer();
        return 1;
    }
    QDir::setCurrent(work.path());
    int result = 0;
    {
        app::Program program;
        program.start({});
        settle();
        app::MainWindow &window = *program.window();
        const app::ImageTabControls &tab = window.imageTab();

        // The window's way: type the code, press Enter, let the paints out.
        auto lookUpInWindow = [&] {
            tab.oXbpGetCd->setFocus(Qt::OtherFocusReason);
            QTest::keyClicks(tab.oXbpGetCd, kCode);
            QTest::keyClick(tab.oXbpGetCd, Qt::Key_Return);
            settle();
        };
        auto windowShowsIt = [&] {
            const QString preview = QFileInfo(tab.oStat2->file()).fileName();
            return tab.oXbpShowTxt->toPlainText().contains(kDescription) &&
                   preview == QStringLiteral("scratch.jpg") &&
                   tab.oStat2->mode() == imaging::ImageView::kBitmap;
        };

        // The bare way: the same three runs, in a directory of their own.
        const QString host = facts.value(QStringLiteral("FRAMLA_TEST_HOST"));
        const QString user = facts.value(QStringLiteral("FRAMLA_TEST_USER"));
        const QString dbPath = facts.value(QStringLiteral("FRAMLA_TEST_DBPATH"));
        const QString login = user + QLatin1Char('@') + host;
        const QStringList putty = {QStringLiteral("-batch"), QStringLiteral("-P"),
                                   facts.value(QStringLiteral("FRAMLA_TEST_PORT")),
                                   QStringLiteral("-pwfile"),
                                   facts.value(QStringLiteral("FRAMLA_TEST_PWFILE"))};
        const QString replyDir = dbPath + QStringLiteral("/jtemp/") + user;
        const QString picture =
            dbPath + QStringLiteral("/images/AB/") + kCode + QStringLiteral(".jpg");
        const QString bareReply = QDir(bareWork.path()).filePath(QStringLiteral("framla.tmp"));
        const QString barePicture = QDir(bareWork.path()).filePath(QStringLiteral("scratch.jpg"));
        auto lookUpBare = [&] {
            QFile::remove(bareReply);
            QFile::remove(barePicture);
            const QString token = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
            bench::runTool(QStringLiteral("plink"),
                           putty + QStringList{QStringLiteral("-ssh"), login,
                                               QStringLiteral("framaid"), replyDir, kCode, token},
                           bareWork.path());
            bench::runTool(QStringLiteral("pscp"),
                           putty + QStringList{QStringLiteral("-scp"),
                                               login + QLatin1Char(':') + replyDir +
                                                   QStringLiteral("/framla.tmp"),
                                               QStringLiteral(".")},
                           bareWork.path());
            bench::runTool(QStringLiteral("pscp"),
                           putty + QStringList{QStringLiteral("-scp"),
                                               login + QLatin1Char(':') + picture,
                                               QStringLiteral("scratch.jpg")},
                           bareWork.path());
        };
        auto bareGotIt = [&] {
            QFile reply(bareReply);
            return reply.open(QIODevice::ReadOnly) &&
                   QString::fromLatin1(reply.readAll()).contains(kDescription) &&
                   QFileInfo(barePicture).size() > 0;
        };

        // One look-up each way outside the rounds: the connections, the
        // tools and the window's first paint of a picture warm up, and both
        // ways must get the answer.
        lookUpInWindow();
        QString lastToken = program.state().cTime;
        lookUpBare();
        if (!windowShowsIt() || !bareGotIt()) {
            std::fprintf(stderr,
                         "bench_lookup: the first look-up did not show the answer\n"
                         "  window: %s\n  bare: %s\n",
                         qPrintable(tab.oXbpShowTxt->toPlainText()),
                         bareGotIt() ? "ok" : "no reply or picture");
            stopServer();
            return 1;
        }

        int windowMisses = 0;
        int bareMisses = 0;
        std::vector<double> windowTimes;
        std::vector<double> bareTimes;
        std::vector<QString> tokens;
        for (int round = 0; round < rounds; ++round) {
            waitForNewSecond(lastToken);
            // One round at a time, so that the wait stays outside the timing;
            // who goes first alternates, as sideBySide does over its rounds.
            const bool windowFirst = round % 2 == 0;
            std::vector<std::function<void()>> runs = {lookUpInWindow, lookUpBare};
            if (!windowFirst)
                std::swap(runs[0], runs[1]);
            const auto times = bench::sideBySide(runs, 1);
            windowTimes.push_back(times[windowFirst ? 0 : 1].front());
            bareTimes.push_back(times[windowFirst ? 1 : 0].front());
            if (program.state().cTime == lastToken)
                ++windowMisses; // a token used twice: the round does not count as fair
            lastToken = program.state().cTime;
            tokens.push_back(lastToken);
            if (!windowShowsIt())
                ++windowMisses;
            if (!bareGotIt())
                ++bareMisses;
        }

        const double ours = bench::median(windowTimes);
        const double bare = bench::median(bareTimes);
        const double ratio = bare > 0 ? ours / bare : 0;
        std::printf("look-up of %s (description and recorded picture), %d rounds side by side\n",
                    qPrintable(kCode), rounds);
        std::printf("  typed + Enter in the window (three tool runs) : %8.1f ms (median)\n", ours);
        std::printf("  plink framaid + pscp reply + pscp picture     : %8.1f ms (median)\n", bare);
        std::printf("  ratio window / bare                           : %8.3f  (goal <= 1.05) %s\n",
                    ratio, ratio <= 1.05 ? "met" : "NOT met");
        std::printf("  rounds: window");
        for (double t : windowTimes)
            std::printf(" %.0f", t);
        std::printf(" ms\n          bare  ");
        for (double t : bareTimes)
            std::printf(" %.0f", t);
        std::printf(" ms\n  request tokens %s .. %s, each used once; rounds not shown in full: "
                    "window %d, bare %d\n",
                    qPrintable(tokens.front()), qPrintable(tokens.back()), windowMisses,
                    bareMisses);
        if (windowMisses > 0 || bareMisses > 0)
            result = 1;
    }
    QDir::setCurrent(bareWork.path());
    stopServer();
    return result;
}
