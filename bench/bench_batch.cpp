// A folder of photos filed in one go (batch::BatchRun) on the test SSH server
// of scripts/test-server, side by side with two baselines: on loopback, the
// bare ImageMagick work the batch does for the same photos on both cores
// (its one convert run, decoded reduced, cropped, adjusted and fitted, then
// the put's resize), with the operator's three full-size runs (crop,
// adjustment, resize) beside them for reference; through tools/delayproxy at
// a 50 ms round trip, the same photos put one after the other the way the
// window puts one (look-up, preparation, file check, PutFile1). Run as root
// (the server makes a throwaway account). FRAMLA_BENCH_PHOTOS (default 100)
// and FRAMLA_BENCH_SIZE (default 4000x3000, 12 MP) set the folder.
#include "batch/runner.h"
#include "bench_common.h"
#include "bench_remote.h"
#include "core/app_files.h"
#include "core/program_state.h"
#include "core/target.h"
#include "imaging/batch_prepare.h"
#include "imaging/prepare.h"
#include "runtime/clock.h"
#include "runtime/shell.h"
#include "server/data_transfer.h"
#include "server/lookup.h"
#include "server/remote_run.h"
#include "server/upload.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <thread>

using namespace framla;

namespace {

/// The delay proxy in front of the server, with PuTTY's host-key cache
/// taught the server's key at the proxy's port.
QString startProxy(QProcess &proxy, const QMap<QString, QString> &facts, int rtt)
{
    const QString host = facts.value(QStringLiteral("FRAMLA_TEST_HOST"));
    const QString port = facts.value(QStringLiteral("FRAMLA_TEST_PORT"));
    proxy.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    proxy.start(QStringLiteral(FRAMLA_BINARY_DIR "/tools/delayproxy/delayproxy"),
                {QStringLiteral("--listen"), QStringLiteral("0"), QStringLiteral("--target"),
                 host + QLatin1Char(':') + port, QStringLiteral("--rtt"), QString::number(rtt),
                 QStringLiteral("--handshake")});
    while (proxy.waitForStarted(10000) && !proxy.canReadLine() && proxy.waitForReadyRead(10000)) {
    }
    const QString proxied = QString::fromLatin1(proxy.readLine()).trimmed();
    QFile cache(facts.value(QStringLiteral("PUTTYDIR")) + QStringLiteral("/sshhostkeys"));
    if (proxied.toInt() <= 0 || !cache.open(QIODevice::ReadWrite))
        return {};
    const QByteArray straight = '@' + port.toLatin1() + ':' + host.toLatin1() + ' ';
    QByteArray added;
    for (const QByteArray &line : cache.readAll().split('\n'))
        if (line.contains(straight))
            added += QByteArray(line).replace(straight, '@' + proxied.toLatin1() + ':' +
                                                            host.toLatin1() + ' ') +
                     '\n';
    cache.seek(cache.size());
    return !added.isEmpty() && cache.write(added) == added.size() ? proxied : QString();
}

/// The bare image work of the batch for one photo: its one convert run, then
/// the put's resize.
void bareImageWork(const QString &photo, const QString &out, QSize size, int edge)
{
    const imaging::PutDecode decode =
        imaging::putDecode(size, imaging::cropArgument(size, size, batch::centredCrop(size, 1.0)),
                           edge, imaging::isJpegFile(photo));
    bench::runTool(QStringLiteral("convert"),
                   imaging::putPreparationCommand(photo, decode, {}, edge, out).args, ".");
    bench::runTool(QStringLiteral("mogrify"),
                   {QStringLiteral("-resize"), QStringLiteral("%1x%1").arg(edge), out}, ".");
}

/// The operator's three runs for one photo, each on the whole picture: crop,
/// neutral adjustment, resize.
void operatorsImageWork(const QString &photo, const QString &out, QSize size, int edge)
{
    const QString crop = QStringLiteral("%1x%2+%3+0")
                             .arg(size.height())
                             .arg(size.height())
                             .arg((size.width() - size.height()) / 2);
    bench::runTool(QStringLiteral("convert"), {photo, QStringLiteral("-crop"), crop, out}, ".");
    bench::runTool(QStringLiteral("mogrify"),
                   {QStringLiteral("-modulate"), QStringLiteral("100"), QStringLiteral("-gamma"),
                    QStringLiteral("1.00"), QStringLiteral("-level"), QStringLiteral("0%"), out},
                   ".");
    bench::runTool(QStringLiteral("mogrify"),
                   {QStringLiteral("-resize"), QStringLiteral("%1x%1").arg(edge), out}, ".");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 1;
    const int photos = qEnvironmentVariableIntValue("FRAMLA_BENCH_PHOTOS") > 0
                           ? qEnvironmentVariableIntValue("FRAMLA_BENCH_PHOTOS")
                           : 100;
    const QStringList wh = qEnvironmentVariable("FRAMLA_BENCH_SIZE", QStringLiteral("4000x3000"))
                               .split(QLatin1Char('x'));
    const QSize size(wh.value(0).toInt(), wh.value(1).toInt());
    QTemporaryDir serverDir;
    QTemporaryDir work;
    QMap<QString, QString> facts;
    if (!bench::startTestServer("bench_batch", serverDir.path(), work.path(), facts))
        return 1;

    bench::NoDialogs dialogs;
    runtime::SystemClock clock;
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

    // Pictures of supplier 7777, whose directory is empty: every photo is a put.
    const QString folder = work.filePath(QStringLiteral("photos"));
    QDir().mkpath(folder);
    QStringList files;
    for (int i = 1; i <= photos; ++i) {
        files << QStringLiteral("7777-P%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
        const QString path = QDir(folder).filePath(files.last());
        if (i == 1)
            bench::writePhoto(path, size);
        else
            QFile::copy(QDir(folder).filePath(files.first()), path);
    }
    const QString pictures = state.login.cPath + QStringLiteral("/images/ssr/7777");
    const auto clearServer = [&] {
        for (const QString &name : QDir(pictures).entryList({QStringLiteral("*.jpg")}, QDir::Files))
            QFile::remove(QDir(pictures).filePath(name));
    };
    batch::BatchOptions options;
    options.mode = core::Mode::CustSup;
    options.cropRatio = 1.0;
    int filed = 0;
    // The batch's channels share the connection of link when one is up.
    const runtime::ProcessShell *link = nullptr;
    // Where a batch's time goes: the look-up pass, then preparation and puts.
    std::vector<double> planMs;
    std::vector<double> putMs;
    const auto runBatch = [&] {
        clearServer();
        batch::BatchRun run(state, folder, options, link);
        QElapsedTimer phase;
        phase.start();
        const QList<batch::PlanRow> rows = run.plan();
        planMs.push_back(double(phase.nsecsElapsed()) / 1e6);
        phase.restart();
        const QList<batch::RowResult> results = run.run(rows);
        putMs.push_back(double(phase.nsecsElapsed()) / 1e6);
        filed = int(std::count_if(results.cbegin(), results.cend(), [](const batch::RowResult &r) {
            return r.outcome == QStringLiteral("put");
        }));
    };

    // Each photo's image work, bare, on both cores.
    const auto onBothCores = [&](auto *imageWork) {
        return [&, imageWork] {
            std::atomic<int> next{0};
            const auto stream = [&](int k) {
                for (int i = next++; i < photos; i = next++)
                    imageWork(QDir(folder).filePath(files.at(i)),
                              work.filePath(QStringLiteral("bare-%1.jpg").arg(k)), size,
                              server::uploadEdge(options.size));
            };
            std::thread other(stream, 1);
            stream(0);
            other.join();
        };
    };
    const auto loopback = bench::sideBySide(
        {runBatch, onBothCores(bareImageWork), onBothCores(operatorsImageWork)}, rounds);
    const double batchLoop = bench::median(loopback[0]);
    const double bare = bench::median(loopback[1]);
    const double three = bench::median(loopback[2]);
    std::printf("%d photos of %dx%d, 4:3 cropped square, size %s, %d round(s) side by side\n",
                photos, size.width(), size.height(), qPrintable(options.size), rounds);
    std::printf("  loopback: batch (%d put)         : %8.1f ms (median)\n", filed, batchLoop);
    std::printf("    of which the look-up pass      : %8.1f ms (median)\n", bench::median(planMs));
    std::printf("    and preparation with the puts  : %8.1f ms (median)\n", bench::median(putMs));
    planMs.clear();
    putMs.clear();
    std::printf("  bare ImageMagick on two cores    : %8.1f ms (median)\n", bare);
    std::printf("  operator's three runs, two cores : %8.1f ms (median)\n", three);
    std::printf("  ratio batch / bare image work    : %8.3f\n", bare > 0 ? batchLoop / bare : 0.0);
    std::printf("  ratio batch / operator's three runs : %8.3f\n",
                three > 0 ? batchLoop / three : 0.0);

    QProcess proxy;
    const QString proxied = startProxy(proxy, facts, 50);
    if (proxied.isEmpty()) {
        std::fprintf(stderr, "bench_batch: the delay proxy did not start\n");
        return 1;
    }
    state.login.cPort = proxied;
    runtime::ProcessShell shell(work.path(), &dialogs);
    state.services.shell = &shell;
    server::followRunningSettings(state);
    link = &shell;
    const auto singlePuts = [&] {
        clearServer();
        for (int i = 0; i < photos; ++i) {
            const batch::NamedCode named = batch::codeOfFile(files.at(i), options.mode);
            const Target target{
                named.code,         named.name, false, false, QStringLiteral("single-%1").arg(i),
                QStringLiteral("M")};
            server::PrepText(state, display, state.login, target);
            const QString source = QDir(folder).filePath(files.at(i));
            imaging::Prepare(state, {source, size, size, batch::centredCrop(size, 1.0)}, {});
            server::CheckIXdata(state, display, state.login, named.name + QStringLiteral(".jpg"),
                                QStringLiteral("images/ssr/7777"));
            server::PutFile1(state, display, state.login, target);
        }
    };
    const auto far = bench::sideBySide({runBatch, singlePuts}, rounds);
    const double batchFar = bench::median(far[0]);
    const double single = bench::median(far[1]);
    std::printf("  50 ms: batch (%d put)            : %8.1f ms (median)\n", filed, batchFar);
    std::printf("    of which the look-up pass      : %8.1f ms (median)\n", bench::median(planMs));
    std::printf("    and preparation with the puts  : %8.1f ms (median)\n", bench::median(putMs));
    std::printf("  50 ms: single puts one by one    : %8.1f ms (median)\n", single);
    std::printf("  ratio batch / single puts        : %8.3f\n",
                single > 0 ? batchFar / single : 0.0);

    proxy.terminate();
    proxy.waitForFinished(10000);
    bench::stopTestServer(serverDir.path(), work.path());
    return 0;
}
