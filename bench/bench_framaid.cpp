// framaid's look-up in a large item table, against reading the table bare
// and against the way framaid read before.
//
// A look-up reads the whole item table when the code is the last record's,
// when it is in no record, and for a long code (matched against the tag and
// the first seven characters of every record). Figures: for item tables of
// 1,000, 50,000 and 200,000 records (make_items), the median time of each of
// the three look-ups, of the same three with FRAMAID_READ=records (every
// record fetched through the library, a system call or more each: how
// framaid read before it searched the records' bytes in blocks), and of
// "cat items.dbf > /dev/null" (the floor: the same bytes read with nothing
// done to them), all run side by side in the same rounds; each look-up's
// ratio to the floor and the record-by-record time's ratio to the block
// reading's; first each look-up is made both ways and their replies must be
// the same. At 200,000 records every look-up should answer within 30 ms or
// 3 times the floor, whichever is larger.
//
//   bench_framaid [ROUNDS]        (default 9)
// FRAMAID=/path/to/framaid measures another build of framaid.

#include "bench_common.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
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
std::optional<QByteArray>
runToEnd(const QString &program, const QStringList &args, bool keepOutput = true,
         const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    if (!keepOutput)
        p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                     p.readAllStandardError().constData());
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

    QProcessEnvironment recordByRecord = QProcessEnvironment::systemEnvironment();
    recordByRecord.insert(QStringLiteral("FRAMAID_READ"), QStringLiteral("records"));

    std::printf("look-ups that read the whole item table, %d rounds side by side\n", rounds);
    std::printf("%9s  %-28s %10s %8s %12s %8s %8s\n", "records", "", "median", "ratio",
                "one by one", "ratio", "gain");
    bool goalMet = true;
    for (const int records : {1000, 50000, 200000}) {
        const QString db = tmp.filePath(QStringLiteral("db%1").arg(records));
        if (!runToEnd(built("make_sample"), {db}))
            return 1;
        const QString table = db + QStringLiteral("/items.dbf");
        const QList<QByteArray> facts =
            runToEnd(built("make_items"), {table, QString::number(records)})
                .value_or("")
                .split('\n');
        const QList<QByteArray> last = facts.value(0).split(' ');
        const QList<QByteArray> missing = facts.value(1).split(' ');
        if (last.size() != 3 || missing.size() != 2)
            return 1;
        const QString outdir = db + QStringLiteral("/jtemp/bench");
        const auto lookUp = [&](const QByteArray &code, const QProcessEnvironment &env) {
            return [&, code, env] {
                runToEnd(framaid, {outdir, QString::fromLatin1(code), QStringLiteral("00:00:00")},
                         true, env);
            };
        };
        const QProcessEnvironment blocks = QProcessEnvironment::systemEnvironment();
        const QByteArray codes[] = {last.at(1), missing.at(1), last.at(2)};
        std::vector<std::function<void()>> runs{
            [&] { runToEnd(QStringLiteral("cat"), {table}, false); }};
        for (const QByteArray &code : codes)
            runs.push_back(lookUp(code, blocks));
        for (const QByteArray &code : codes)
            runs.push_back(lookUp(code, recordByRecord));
        // Both ways must give the same reply, word for word.
        for (const QByteArray &code : codes) {
            QByteArray replies[2];
            for (int way = 0; way < 2; ++way) {
                lookUp(code, way ? recordByRecord : blocks)();
                QFile reply(outdir + QStringLiteral("/framla.tmp"));
                replies[way] = reply.open(QIODevice::ReadOnly) ? reply.readAll() : QByteArray();
            }
            if (replies[0].isEmpty() || replies[0] != replies[1]) {
                std::fprintf(stderr, "the replies to %s differ:\n%s\n%s\n", code.constData(),
                             replies[0].constData(), replies[1].constData());
                return 1;
            }
        }
        const char *names[] = {"last record", "missing code", "long code (tag)"};
        const auto times = bench::sideBySide(runs, rounds);
        const double floor = bench::median(times[0]);
        std::printf("%9d  %-28s %7.1f ms %8.2f\n", records, "cat items.dbf > /dev/null", floor,
                    1.0);
        for (size_t i = 0; i < 3; ++i) {
            const double m = bench::median(times[1 + i]);
            const double old = bench::median(times[4 + i]);
            std::printf("%9d  %-28s %7.1f ms %8.2f %9.1f ms %8.2f %8.1f\n", records, names[i], m,
                        m / floor, old, old / floor, old / m);
            if (records == 200000 && m > std::max(30.0, 3 * floor))
                goalMet = false;
        }
        std::printf("%9s  (table %.1f MB)\n", "", QFileInfo(table).size() / 1e6);
        QDir(db).removeRecursively();
    }
    std::printf("at 200,000 records, every look-up within max(30 ms, 3 x floor): %s\n",
                goalMet ? "met" : "not met");
    return 0;
}
