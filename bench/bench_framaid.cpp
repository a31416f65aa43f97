// framaid's look-up in a large item table, against reading the table bare.
//
// A look-up reads the whole item table when the code is the last record's,
// when it is in no record, and for a long code (matched against the tag and
// the first seven characters of every record). Figures: for item tables of
// 1,000, 50,000 and 200,000 records (make_items), the median time of each of
// the three look-ups and of "cat items.dbf > /dev/null" (the floor: the same
// bytes read with nothing done to them), run side by side in the same
// rounds, and each look-up's ratio to the floor.
//
//   bench_framaid [ROUNDS]        (default 9)
// FRAMAID=/path/to/framaid measures another build of framaid.

#include "bench_common.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

using namespace framla;

namespace {

QString built(const char *name)
{
    const QString dir = qEnvironmentVariable("FRAMLA_BIN_DIR", QStringLiteral(FRAMLA_BINARY_DIR));
    return dir + QStringLiteral("/framaid/") + QLatin1String(name);
}

/// Runs a program to its end; its output, or nothing when it failed.
std::optional<QByteArray> runToEnd(const QString &program, const QStringList &args, bool keepOutput = true)
{
    QProcess p;
    if (!keepOutput)
        p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        return std::nullopt;
    }
    return keepOutput ? p.readAllStandardOutput() : QByteArray();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 9;
    const QString framaid = qEnvironmentVariable("FRAMAID", built("framaid"));
    QTemporaryDir tmp;
    if (!tmp.isValid() || !QFileInfo(framaid).isExecutable())
        return 1;

    std::printf("look-ups that read the whole item table, %d rounds side by side\n", rounds);
    std::printf("%9s  %-28s %10s %8s\n", "records", "", "median", "ratio");
    for (const int records : {1000, 50000, 200000}) {
        const QString db = tmp.filePath(QStringLiteral("db%1").arg(records));
        if (!runToEnd(built("make_sample"), {db}))
            return 1;
        const QString table = db + QStringLiteral("/items.dbf");
        const QList<QByteArray> facts =
            runToEnd(built("make_items"), {table, QString::number(records)}).value_or("").split('\n');
        const QList<QByteArray> last = facts.value(0).split(' ');
        const QList<QByteArray> missing = facts.value(1).split(' ');
        if (last.size() != 3 || missing.size() != 2)
            return 1;
        const QString outdir = db + QStringLiteral("/jtemp/bench");
        const auto lookUp = [&](const QByteArray &code) {
            return [&, code] { runToEnd(framaid, {outdir, QString::fromLatin1(code), QStringLiteral("00:00:00")}); };
        };
        const std::vector<std::function<void()>> runs{
            [&] { runToEnd(QStringLiteral("cat"), {table}, false); },
            lookUp(last.at(1)),
            lookUp(missing.at(1)),
            lookUp(last.at(2)),
        };
        const char *names[] = {"cat items.dbf > /dev/null", "last record", "missing code", "long code (tag)"};
        const auto times = bench::sideBySide(runs, rounds);
        const double floor = bench::median(times[0]);
        for (size_t i = 0; i < runs.size(); ++i) {
            const double m = bench::median(times[i]);
            std::printf("%9d  %-28s %7.1f ms %8.2f\n", records, names[i], m, m / floor);
        }
        std::printf("%9s  (table %.1f MB)\n", "", QFileInfo(table).size() / 1e6);
        QDir(db).removeRecursively();
    }
    return 0;
}
