// A look-up's three tool runs and a put's five, each run on a new SSH
// connection, against the same runs through one shared connection (PuTTY's
// connection sharing: an upstream `plink -share -N` kept open, every run
// with -share), on loopback and through tools/delayproxy with a 50 ms round
// trip (and TCP's handshake on each new connection), all side by side in one
// run. Run as root (the test SSH server of
// scripts/test-server makes a throwaway account).
#include "bench_common.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <map>

using namespace framla;

namespace {

int g_failures = 0;

bool run(const QString &program, const QStringList &args, const QString &dir)
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, args);
    const bool ok = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
                    process.exitCode() == 0;
    if (!ok) {
        ++g_failures;
        std::fprintf(stderr, "bench_link: %s %s failed: %s\n", qPrintable(program),
                     qPrintable(args.join(QLatin1Char(' '))),
                     process.readAllStandardError().constData());
    }
    return ok;
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
                        {QStringLiteral("--listen"), QStringLiteral("0"), QStringLiteral("--target"),
                         host + QLatin1Char(':') + port, QStringLiteral("--rtt"),
                         QString::number(rtt), QStringLiteral("--handshake")});
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

/// The upstream of a shared connection: `plink -share -N`, kept open.
class Upstream {
public:
    /// Open, and wait until a first downstream run has gone through it
    /// (the upstream answers downstreams before its own connection is made).
    bool start(const QStringList &login, const QString &userAtHost)
    {
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("plink"),
                        QStringList{QStringLiteral("-share"), QStringLiteral("-N")} + login +
                            QStringList{userAtHost});
        // Ready when a downstream would find it.
        for (int i = 0; i < 200; ++i) {
            QProcess probe;
            probe.start(QStringLiteral("plink"),
                        QStringList{QStringLiteral("-shareexists")} + login + QStringList{userAtHost});
            if (probe.waitForFinished(10000) && probe.exitCode() == 0)
                return run(QStringLiteral("plink"),
                           QStringList{QStringLiteral("-share")} + login +
                               QStringList{QStringLiteral("-ssh"), userAtHost, QStringLiteral("true")},
                           QString());
            if (m_process.state() == QProcess::NotRunning)
                return false;
            QThread::msleep(50);
        }
        return false;
    }
    void stop()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
    }

private:
    QProcess m_process;
};

struct Contender {
    QString label;
    std::vector<Step> steps;
    std::vector<std::vector<double>> times; // per step, per round
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
    const QString userAtHost = user + QLatin1Char('@') + facts.value(QStringLiteral("FRAMLA_TEST_HOST"));
    const QString db = facts.value(QStringLiteral("FRAMLA_TEST_DBPATH"));
    const QString replyDir = db + QStringLiteral("/jtemp/") + user;
    const QString reply = replyDir + QStringLiteral("/framla.tmp");
    const QString photo = work.filePath(QStringLiteral("photo.jpg"));
    bench::writePhoto(photo, QSize(320, 240));

    Proxy proxy;
    if (!proxy.start(facts, rtt)) {
        std::fprintf(stderr, "bench_link: the delay proxy did not start\n");
        run(QStringLiteral("bash"), {script, QStringLiteral("stop"), serverDir.path()}, work.path());
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
        {QStringLiteral("%1 ms round trip (delayproxy --handshake)").arg(rtt), proxy.port(), 0.35, 0.5},
    };

    // setting -> contender -> median of each step, for the round trips.
    std::map<QString, std::map<QString, std::vector<double>>> stepMedians;
    std::vector<std::pair<QString, std::vector<QString>>> stepNames;

    std::printf("a look-up's 3 and a put's 5 tool runs, each on a new connection against one shared "
                "connection, %d rounds side by side\n",
                rounds);
    for (const Setting &setting : settings) {
        const QStringList login = {QStringLiteral("-batch"), QStringLiteral("-P"), setting.port,
                                   QStringLiteral("-pwfile"),
                                   facts.value(QStringLiteral("FRAMLA_TEST_PWFILE"))};
        const QString picture = db + QStringLiteral("/images/AB/AB10001.jpg");
        const QString target = db + QStringLiteral("/images/AB/AB10004.jpg");
        const auto lookUp = [&](const QStringList &share) {
            const QStringList with = share + login;
            return std::vector<Step>{
                {QStringLiteral("plink framaid"), QStringLiteral("plink"),
                 with + QStringList{QStringLiteral("-ssh"), userAtHost, QStringLiteral("framaid"),
                                    replyDir, QStringLiteral("AB10001"), QStringLiteral("12:00:00")}},
                {QStringLiteral("pscp reply"), QStringLiteral("pscp"),
                 with + QStringList{QStringLiteral("-scp"), userAtHost + QLatin1Char(':') + reply,
                                    work.filePath(QStringLiteral("reply.tmp"))}},
                {QStringLiteral("pscp picture"), QStringLiteral("pscp"),
                 with + QStringList{QStringLiteral("-scp"), userAtHost + QLatin1Char(':') + picture,
                                    work.filePath(QStringLiteral("picture.jpg"))}}};
        };
        const auto put = [&](const QStringList &share) {
            const QStringList with = share + login;
            return std::vector<Step>{
                {QStringLiteral("pscp send"), QStringLiteral("pscp"),
                 with + QStringList{QStringLiteral("-scp"), photo,
                                    userAtHost + QLatin1Char(':') + target}},
                {QStringLiteral("plink chmod"), QStringLiteral("plink"),
                 with + QStringList{QStringLiteral("-ssh"), userAtHost, QStringLiteral("chmod"),
                                    QStringLiteral("644"), target}},
                {QStringLiteral("pscp fetch back"), QStringLiteral("pscp"),
                 with + QStringList{QStringLiteral("-scp"), userAtHost + QLatin1Char(':') + target,
                                    work.filePath(QStringLiteral("back.jpg"))}},
                {QStringLiteral("plink framaid"), QStringLiteral("plink"),
                 with + QStringList{QStringLiteral("-ssh"), userAtHost, QStringLiteral("framaid"),
                                    replyDir, QStringLiteral("AB10004"), QStringLiteral("12:00:01")}},
                {QStringLiteral("pscp reply"), QStringLiteral("pscp"),
                 with + QStringList{QStringLiteral("-scp"), userAtHost + QLatin1Char(':') + reply,
                                    work.filePath(QStringLiteral("reply.tmp"))}}};
        };
        const QStringList share = {QStringLiteral("-share")};
        std::vector<Contender> contenders = {
            {QStringLiteral("look-up, new connections"), lookUp({}), {}},
            {QStringLiteral("look-up, shared"), lookUp(share), {}},
            {QStringLiteral("put, new connections"), put({}), {}},
            {QStringLiteral("put, shared"), put(share), {}},
        };
        for (Contender &contender : contenders)
            contender.times.resize(contender.steps.size());
        if (stepNames.empty())
            for (const Contender &contender : contenders) {
                std::vector<QString> names;
                for (const Step &step : contender.steps)
                    names.push_back(step.name);
                stepNames.emplace_back(contender.label, names);
            }

        Upstream upstream;
        QElapsedTimer opening;
        opening.start();
        if (!upstream.start(login, userAtHost)) {
            std::fprintf(stderr, "bench_link: the shared connection did not open (%s)\n",
                         qPrintable(setting.name));
            ++g_failures;
            continue;
        }
        const double openedMs = double(opening.nsecsElapsed()) / 1e6;

        for (int round = 0; round < rounds; ++round) {
            for (size_t i = 0; i < contenders.size(); ++i) {
                // Alternate who goes first, so neither always meets a warm cache.
                Contender &contender =
                    contenders[round % 2 == 0 ? i : contenders.size() - 1 - i];
                for (size_t s = 0; s < contender.steps.size(); ++s) {
                    const Step &step = contender.steps[s];
                    QElapsedTimer timer;
                    timer.start();
                    run(step.tool, step.args, work.path());
                    contender.times[s].push_back(double(timer.nsecsElapsed()) / 1e6);
                }
            }
        }
        upstream.stop();

        std::map<QString, double> totals;
        for (const Contender &contender : contenders)
            for (size_t s = 0; s < contender.steps.size(); ++s)
                stepMedians[setting.name][contender.label].push_back(
                    bench::median(contender.times[s]));
        std::printf("\n%s (the shared connection opened in %.0f ms, before the rounds)\n",
                    qPrintable(setting.name), openedMs);
        for (const Contender &contender : contenders) {
            std::vector<double> sums(size_t(rounds), 0.0);
            for (const auto &stepTimes : contender.times)
                for (size_t r = 0; r < stepTimes.size(); ++r)
                    sums[r] += stepTimes[r];
            totals[contender.label] = bench::median(sums);
            std::printf("  %-26s : %8.1f ms (median) =", qPrintable(contender.label),
                        totals[contender.label]);
            for (size_t s = 0; s < contender.steps.size(); ++s)
                std::printf("%s %s %.0f", s ? " +" : "", qPrintable(contender.steps[s].name),
                            bench::median(contender.times[s]));
            std::printf("\n");
        }
        const auto ratio = [&](const char *shared, const char *bare) {
            const double b = totals[QString::fromLatin1(bare)];
            return b > 0 ? totals[QString::fromLatin1(shared)] / b : 0.0;
        };
        const auto verdict = [](double value, double goal) {
            if (goal <= 0)
                return QStringLiteral("(no goal)");
            return QStringLiteral("(goal <= %1) %2")
                .arg(goal)
                .arg(value <= goal ? QStringLiteral("met") : QStringLiteral("missed"));
        };
        const double lookupRatio = ratio("look-up, shared", "look-up, new connections");
        const double putRatio = ratio("put, shared", "put, new connections");
        std::printf("  ratio look-up shared / new : %8.3f  %s\n", lookupRatio,
                    qPrintable(verdict(lookupRatio, setting.lookupGoal)));
        std::printf("  ratio put shared / new     : %8.3f  %s\n", putRatio,
                    qPrintable(verdict(putRatio, setting.putGoal)));
    }

    // What the delay adds to a run, in round trips: each run's median at the
    // round trip less its median on loopback, over the round trip.
    const auto &near = stepMedians[settings[0].name];
    const auto &far = stepMedians[settings[1].name];
    if (!near.empty() && !far.empty()) {
        std::printf("\nround trips a run waits for ((median at %d ms - on loopback) / %d ms)\n",
                    rtt, rtt);
        for (const auto &[label, names] : stepNames) {
            const auto a = near.find(label);
            const auto b = far.find(label);
            if (a == near.end() || b == far.end())
                continue;
            std::printf("  %-26s :", qPrintable(label));
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
        std::printf("\n%d tool runs failed: the figures above are not to be trusted\n", g_failures);
    return g_failures ? 1 : 0;
}
