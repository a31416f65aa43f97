// A look-up and a put as the operator sees them (the program's own routines
// through the runner), with the shared connection and with a new connection
// for every run, against the bare tool runs each on a new connection (and
// the same bare runs with -share, to count where the time goes, and the
// program's runs through the shared connection one after the other, to show
// what running some side by side gains); on loopback and through
// tools/delayproxy with a 50 ms round trip (and TCP's handshake on each new
// connection), all side by side in one run. Also the first look-up, made
// while the shared connection is still opening, both ways the runner can go
// meanwhile. Run as root (the test SSH server of scripts/test-server makes a
// throwaway account).
#include "bench_common.h"
#include "bench_remote.h"
#include "core/program_state.h"
#include "runtime/clock.h"
#include "runtime/shared_link.h"
#include "runtime/shell.h"
#include "server/command_lines.h"
#include "server/lookup.h"
#include "server/remote_run.h"
#include "server/target.h"
#include "server/upload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>

using namespace framla;

namespace {

int g_failures = 0;

bool run(const QString &program, const QStringList &args, const QString &dir)
{
    QByteArray errors;
    if (bench::runTool(program, args, dir, &errors))
        return true;
    ++g_failures;
    std::fprintf(stderr, "bench_link: %s %s failed: %s\n", qPrintable(program),
                 qPrintable(args.join(QLatin1Char(' '))), errors.constData());
    return false;
}

/// One tool run of a sequence: its name for the table and its command.
struct Step {
    QString name;
    QString tool;
    QStringList args;
};

/// The delay proxy in front of the server, with PuTTY's host-key cache
/// taught the server's key at the proxy's port.
class Proxy {
public:
    bool start(const QMap<QString, QString> &facts, int rtt)
    {
        const QString host = facts.value(QStringLiteral("FRAMLA_TEST_HOST"));
        const QString port = facts.value(QStringLiteral("FRAMLA_TEST_PORT"));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(FRAMLA_BINARY_DIR "/tools/delayproxy/delayproxy"),
                        {QStringLiteral("--listen"), QStringLiteral("0"),
                         QStringLiteral("--target"), host + QLatin1Char(':') + port,
                         QStringLiteral("--rtt"), QString::number(rtt),
                         QStringLiteral("--handshake")});
        while (m_process.waitForStarted(10000) && !m_process.canReadLine() &&
               m_process.waitForReadyRead(10000)) {
        }
        m_port = QString::fromLatin1(m_process.readLine()).trimmed();
        QFile cache(facts.value(QStringLiteral("PUTTYDIR")) + QStringLiteral("/sshhostkeys"));
        if (m_port.toInt() <= 0 || !cache.open(QIODevice::ReadWrite))
            return false;
        const QByteArray all = cache.readAll();
        const QByteArray straight = '@' + port.toLatin1() + ':' + host.toLatin1() + ' ';
        const QByteArray proxied = '@' + m_port.toLatin1() + ':' + host.toLatin1() + ' ';
        QByteArray added;
        for (const QByteArray &line : all.split('\n'))
            if (line.contains(straight))
                added += QByteArray(line).replace(straight, proxied) + '\n';
        cache.seek(cache.size());
        return !added.isEmpty() && cache.write(added) == added.size();
    }
    void stop()
    {
        m_process.terminate();
        m_process.waitForFinished(10000);
    }
    QString port() const { return m_port; }

private:
    QProcess m_process;
    QString m_port;
};

/// A contender: either bare tool runs (steps, timed one by one) or one
/// routine of the program (whole).
struct Contender {
    QString label;
    std::vector<Step> steps;
    std::function<void()> routine;
    std::vector<std::vector<double>> times; // per step (or the routine), per round
    std::function<void()> prepare;          // before each round, not timed
};

/// Runs each contender once per round, alternating who goes first.
void runRounds(std::vector<Contender> &contenders, int rounds, const QString &dir)
{
    for (Contender &contender : contenders)
        contender.times.resize(contender.routine ? 1 : contender.steps.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < contenders.size(); ++i) {
            Contender &contender = contenders[round % 2 == 0 ? i : contenders.size() - 1 - i];
            if (contender.prepare)
                contender.prepare();
            if (contender.routine) {
                QElapsedTimer timer;
                timer.start();
                contender.routine();
                contender.times[0].push_back(double(timer.nsecsElapsed()) / 1e6);
                continue;
            }
            for (size_t s = 0; s < contender.steps.size(); ++s) {
                const Step &step = contender.steps[s];
                QElapsedTimer timer;
                timer.start();
                run(step.tool, step.args, dir);
                contender.times[s].push_back(double(timer.nsecsElapsed()) / 1e6);
            }
        }
    }
}

/// The median of the rounds' totals.
double total(const Contender &contender)
{
    std::vector<double> sums(contender.times.empty() ? 0 : contender.times[0].size(), 0.0);
    for (const auto &stepTimes : contender.times)
        for (size_t r = 0; r < stepTimes.size(); ++r)
            sums[r] += stepTimes[r];
    return bench::median(sums);
}

void print(const Contender &contender)
{
    std::printf("  %-44s : %8.1f ms (median)", qPrintable(contender.label), total(contender));
    if (!contender.routine) {
        std::printf(" =");
        for (size_t s = 0; s < contender.steps.size(); ++s)
            std::printf("%s %s %.0f", s ? " +" : "", qPrintable(contender.steps[s].name),
                        bench::median(contender.times[s]));
    }
    std::printf("\n");
}

QString verdict(double value, double goal)
{
    if (goal <= 0)
        return QStringLiteral("(no goal)");
    return QStringLiteral("(goal <= %1) %2")
        .arg(goal)
        .arg(value <= goal ? QStringLiteral("met") : QStringLiteral("missed"));
}

/// The program's runner with nothing run beside: its runs go one after the
/// other, to show what running them side by side gains.
class InTurn final : public runtime::Shell {
public:
    explicit InTurn(runtime::Shell &inner)
        : m_inner(inner)
    {}
    runtime::RunOutcome run(const runtime::ToolCommand &command, int timeoutMs) override
    {
        return m_inner.run(command, timeoutMs);
    }

private:
    runtime::Shell &m_inner;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 5;
    const int rtt = 50;
    QTemporaryDir serverDir;
    QTemporaryDir work;
    const QString script = QStringLiteral(FRAMLA_SOURCE_DIR "/scripts/test-server");
    qputenv("FRAMLA_BIN_DIR", FRAMLA_BINARY_DIR);
    if (!run(QStringLiteral("bash"), {script, QStringLiteral("start"), serverDir.path()},
             work.path())) {
        std::fprintf(stderr, "bench_link: the test server did not start (run as root)\n");
        return 1;
    }
    const auto facts = bench::readFacts(serverDir.filePath(QStringLiteral("server.env")));
    qputenv("PUTTYDIR", facts.value(QStringLiteral("PUTTYDIR")).toLocal8Bit());
    const QString user = facts.value(QStringLiteral("FRAMLA_TEST_USER"));
    const QString userAtHost =
        user + QLatin1Char('@') + facts.value(QStringLiteral("FRAMLA_TEST_HOST"));
    const QString db = facts.value(QStringLiteral("FRAMLA_TEST_DBPATH"));
    const QString replyDir = db + QStringLiteral("/jtemp/") + user;
    const QString reply = replyDir + QStringLiteral("/framla.tmp");
    const QString photo = work.filePath(QStringLiteral("photo.jpg"));
    bench::writePhoto(photo, QSize(2000, 1500));

    Proxy proxy;
    if (!proxy.start(facts, rtt)) {
        std::fprintf(stderr, "bench_link: the delay proxy did not start\n");
        run(QStringLiteral("bash"), {script, QStringLiteral("stop"), serverDir.path()},
            work.path());
        return 1;
    }

    struct Setting {
        QString name;
        QString port;
        double lookupGoal;
        double putGoal; // 0: none
    };
    const std::vector<Setting> settings = {
        {QStringLiteral("loopback"), facts.value(QStringLiteral("FRAMLA_TEST_PORT")), 0.3, 0},
        {QStringLiteral("%1 ms round trip (delayproxy --handshake)").arg(rtt), proxy.port(), 0.35,
         0.5},
    };

    bench::NoDialogs dialogs;
    runtime::SystemClock clock;
    server::QuietDisplay display;
    // setting -> bare contender -> median of each step, for the round trips.
    std::map<QString, std::map<QString, std::vector<double>>> stepMedians;
    std::vector<std::pair<QString, std::vector<QString>>> stepNames;

    std::printf(
        "a look-up and a put through the program's routines, with the shared connection and "
        "with a new connection for every run, against the bare tool runs, %d rounds side by "
        "side\n",
        rounds);
    for (const Setting &setting : settings) {
        ProgramState state;
        state.cAppPath = work.path();
        state.login.cAddress = facts.value(QStringLiteral("FRAMLA_TEST_HOST"));
        state.login.cPort = setting.port;
        state.login.cUser = user;
        state.login.cPass = facts.value(QStringLiteral("FRAMLA_TEST_PASSWORD"));
        state.login.cPath = db;
        state.services.dialogs = &dialogs;
        state.services.clock = &clock;
        const ServerLogin login = state.login;
        int second = 0;
        const auto lookUpWith = [&](runtime::Shell &shell, const QString &code) {
            state.services.shell = &shell;
            state.cTime = QStringLiteral("12:%1:%2")
                              .arg(second / 60 % 60, 2, 10, QLatin1Char('0'))
                              .arg(second % 60, 2, 10, QLatin1Char('0'));
            ++second;
            state.cCode = code;
            state.cName = code;
            server::PrepText(state, display, login, server::targetOf(state));
            QFile answer(work.filePath(QStringLiteral("framla.tmp")));
            if (!answer.open(QIODevice::ReadOnly) ||
                !answer.readAll().startsWith(state.cTime.toLatin1()))
                ++g_failures;
        };
        const auto putWith = [&](runtime::Shell &shell) {
            state.services.shell = &shell;
            state.cTime = QStringLiteral("13:%1:%2")
                              .arg(second / 60 % 60, 2, 10, QLatin1Char('0'))
                              .arg(second % 60, 2, 10, QLatin1Char('0'));
            ++second;
            state.cCode = QStringLiteral("AB10004");
            state.cName = state.cCode;
            QFile::remove(work.filePath(QStringLiteral("scratch.jpg")));
            QFile::copy(photo, work.filePath(QStringLiteral("scratch.jpg")));
            if (!server::PutFile1(state, display, login, server::targetOf(state)))
                ++g_failures;
        };

        const QStringList putty = {QStringLiteral("-batch"), QStringLiteral("-P"), setting.port,
                                   QStringLiteral("-pwfile"),
                                   facts.value(QStringLiteral("FRAMLA_TEST_PWFILE"))};
        const QString picture = db + QStringLiteral("/images/AB/AB10001.jpg");
        const QString target = db + QStringLiteral("/images/AB/AB10004.jpg");
        const QString bare = work.filePath(QStringLiteral("bare.jpg"));
        const auto lookUp = [&](const QStringList &share) {
            const QStringList with = share + putty;
            return std::vector<Step>{
                {QStringLiteral("plink framaid"), QStringLiteral("plink"),
                 with + QStringList{QStringLiteral("-ssh"), userAtHost, QStringLiteral("framaid"),
                                    replyDir, QStringLiteral("AB10001"),
                                    QStringLiteral("12:00:00")}},
                {QStringLiteral("pscp reply"), QStringLiteral("pscp"),
                 with + QStringList{QStringLiteral("-scp"), userAtHost + QLatin1Char(':') + reply,
                                    work.filePath(QStringLiteral("reply.tmp"))}},
                {QStringLiteral("pscp picture"), QStringLiteral("pscp"),
                 with + QStringList{QStringLiteral("-scp"), userAtHost + QLatin1Char(':') + picture,
                                    work.filePath(QStringLiteral("picture.jpg"))}}};
        };
        const auto put = [&](const QStringList &share) {
            const QStringList with = share + putty;
            return std::vector<Step>{
                {QStringLiteral("copy"), QStringLiteral("cp"), {photo, bare}},
                {QStringLiteral("mogrify"),
                 QStringLiteral("mogrify"),
                 {QStringLiteral("-resize"), QStringLiteral("320x320"), bare}},
                {QStringLiteral("pscp send"), QStringLiteral("pscp"),
                 with + QStringList{QStringLiteral("-scp"), bare,
                                    userAtHost + QLatin1Char(':') + target}},
                {QStringLiteral("plink chmod"), QStringLiteral("plink"),
                 with + QStringList{QStringLiteral("-ssh"), userAtHost, QStringLiteral("chmod"),
                                    QStringLiteral("644"), target}},
                {QStringLiteral("pscp fetch back"), QStringLiteral("pscp"),
                 with + QStringList{QStringLiteral("-scp"), userAtHost + QLatin1Char(':') + target,
                                    work.filePath(QStringLiteral("back.jpg"))}},
                {QStringLiteral("plink framaid"), QStringLiteral("plink"),
                 with + QStringList{QStringLiteral("-ssh"), userAtHost, QStringLiteral("framaid"),
                                    replyDir, QStringLiteral("AB10004"),
                                    QStringLiteral("12:00:01")}},
                {QStringLiteral("pscp reply"), QStringLiteral("pscp"),
                 with + QStringList{QStringLiteral("-scp"), userAtHost + QLatin1Char(':') + reply,
                                    work.filePath(QStringLiteral("reply.tmp"))}}};
        };

        // The first look-up, while the shared connection opens: a new runner
        // (and connection) every round, the one before ended untimed, so that
        // no other upstream is there to share.
        std::unique_ptr<runtime::ProcessShell> cold;
        const auto newRunner = [&](runtime::FirstSharedRuns firstRuns) {
            return [&, firstRuns] {
                cold.reset();
                cold = std::make_unique<runtime::ProcessShell>(work.path(), &dialogs, firstRuns);
                state.services.shell = cold.get();
                server::followRunningSettings(state);
            };
        };
        const auto firstLookUp = [&] { lookUpWith(*cold, QStringLiteral("AB10001")); };
        std::vector<Contender> first = {
            {QStringLiteral("look-up, bare runs, new connections"),
             lookUp({}),
             {},
             {},
             [&] { cold.reset(); }},
            {QStringLiteral("first look-up, own connections meanwhile"),
             {},
             firstLookUp,
             {},
             newRunner(runtime::FirstSharedRuns::OwnConnection)},
            {QStringLiteral("first look-up, attached at once"),
             {},
             firstLookUp,
             {},
             newRunner(runtime::FirstSharedRuns::Attach)},
        };
        runRounds(first, rounds, work.path());
        cold.reset();

        // Then with the shared connection open.
        runtime::ProcessShell own(work.path(), &dialogs);
        runtime::ProcessShell shared(work.path(), &dialogs);
        InTurn inTurn(shared);
        state.services.shell = &shared;
        server::followRunningSettings(state);
        QElapsedTimer opening;
        opening.start();
        lookUpWith(shared, QStringLiteral("AB10001"));
        if (!shared.sharedLink().waitUntilUp(60000)) {
            std::fprintf(stderr, "bench_link: the shared connection did not open (%s)\n",
                         qPrintable(setting.name));
            ++g_failures;
            continue;
        }
        const double openedMs = double(opening.nsecsElapsed()) / 1e6;
        const QStringList share = {QStringLiteral("-share")};
        std::vector<Contender> warm = {
            {QStringLiteral("look-up, bare runs, new connections"), lookUp({}), {}, {}, {}},
            {QStringLiteral("look-up, bare runs, shared"), lookUp(share), {}, {}, {}},
            {QStringLiteral("look-up, program, new connections"),
             {},
             [&] { lookUpWith(own, QStringLiteral("AB10001")); },
             {},
             {}},
            {QStringLiteral("look-up, program, shared"),
             {},
             [&] { lookUpWith(shared, QStringLiteral("AB10001")); },
             {},
             {}},
            {QStringLiteral("put, bare runs, new connections"), put({}), {}, {}, {}},
            {QStringLiteral("put, bare runs, shared"), put(share), {}, {}, {}},
            {QStringLiteral("put, program, new connections"), {}, [&] { putWith(own); }, {}, {}},
            {QStringLiteral("put, program, shared"), {}, [&] { putWith(shared); }, {}, {}},
            {QStringLiteral("look-up, program, shared, in turn"),
             {},
             [&] { lookUpWith(inTurn, QStringLiteral("AB10001")); },
             {},
             {}},
            {QStringLiteral("put, program, shared, in turn"), {}, [&] { putWith(inTurn); }, {}, {}},
        };
        runRounds(warm, rounds, work.path());

        std::printf("\n%s (the shared connection opened in %.0f ms, with the first look-up)\n",
                    qPrintable(setting.name), openedMs);
        for (const Contender &contender : first)
            print(contender);
        for (const Contender &contender : warm)
            print(contender);
        const auto ratio = [](const Contender &a, const Contender &b) {
            return total(b) > 0 ? total(a) / total(b) : 0.0;
        };
        const double lookupRatio = ratio(warm[3], warm[0]);
        const double putRatio = ratio(warm[7], warm[4]);
        std::printf("  look-up, program shared / bare new         : %6.3f  %s\n", lookupRatio,
                    qPrintable(verdict(lookupRatio, setting.lookupGoal)));
        std::printf("  put, program shared / bare new             : %6.3f  %s\n", putRatio,
                    qPrintable(verdict(putRatio, setting.putGoal)));
        std::printf("  look-up, program shared in turn / bare new : %6.3f\n",
                    ratio(warm[8], warm[0]));
        std::printf("  put, program shared in turn / bare new     : %6.3f\n",
                    ratio(warm[9], warm[4]));
        std::printf("  look-up, program new connections / bare new: %6.3f\n",
                    ratio(warm[2], warm[0]));
        std::printf("  put, program new connections / bare new    : %6.3f\n",
                    ratio(warm[6], warm[4]));
        std::printf("  first look-up, own meanwhile / bare new    : %6.3f\n",
                    ratio(first[1], first[0]));
        std::printf("  first look-up, attached / bare new         : %6.3f\n",
                    ratio(first[2], first[0]));

        for (const Contender &contender : warm) {
            if (contender.routine)
                continue;
            for (size_t s = 0; s < contender.steps.size(); ++s)
                stepMedians[setting.name][contender.label].push_back(
                    bench::median(contender.times[s]));
            if (stepNames.size() < 4) {
                std::vector<QString> names;
                for (const Step &step : contender.steps)
                    names.push_back(step.name);
                stepNames.emplace_back(contender.label, names);
            }
        }
    }

    // What the delay adds to a run, in round trips: each run's median at the
    // round trip less its median on loopback, over the round trip.
    const auto &near = stepMedians[settings[0].name];
    const auto &far = stepMedians[settings[1].name];
    if (!near.empty() && !far.empty()) {
        std::printf(
            "\nround trips a bare run waits for ((median at %d ms - on loopback) / %d ms)\n", rtt,
            rtt);
        for (const auto &[label, names] : stepNames) {
            const auto a = near.find(label);
            const auto b = far.find(label);
            if (a == near.end() || b == far.end())
                continue;
            std::printf("  %-36s :", qPrintable(label));
            double sum = 0;
            for (size_t s = 0; s < names.size(); ++s) {
                const double trips = (b->second[s] - a->second[s]) / rtt;
                sum += trips;
                std::printf("%s %s %.1f", s ? "," : "", qPrintable(names[s]), trips);
            }
            std::printf("; all %.1f\n", sum);
        }
    }

    proxy.stop();
    run(QStringLiteral("bash"), {script, QStringLiteral("stop"), serverDir.path()}, work.path());
    if (g_failures)
        std::printf("\n%d runs failed: the figures above are not to be trusted\n", g_failures);
    return g_failures ? 1 : 0;
}
