// The pure parts of a batch run: the options it starts from, the centred
// crop, and the report.
#include "report.h"

#include "batch/runner.h"

#include "runtime/files.h"

#include <QDateTime>
#include <QDir>

namespace framla::batch {

BatchOptions BatchOptions::of(const ProgramState &state)
{
    BatchOptions options;
    options.mode = core::modeOf(optionValue(state.aLocalCfg, Option::Inventory, true),
                                optionValue(state.aLocalCfg, Option::Orders, false));
    options.size = optionValue(state.aLocalCfg, Option::Size, QStringLiteral("M"));
    options.cropRatio = optionValue(state.aLocalCfg, Option::CropRatio, 0.0);
    // The server's shell on Windows has no private reply directory per channel.
    if (state.login.lIsDOS)
        options.channels = 1;
    return options;
}

CropCoords centredCrop(QSize picture, double ratio)
{
    const double width = picture.width();
    const double height = picture.height();
    if (ratio <= 0 || width <= 0 || height <= 0)
        return {QPointF(0, 0), QPointF(width, height)};
    // The widest box of the proportion that fits, in the middle.
    const double w = height / width > ratio ? width : height / ratio;
    const double h = w * ratio;
    const double left = (width - w) / 2;
    const double bottom = (height - h) / 2;
    return {QPointF(left, bottom), QPointF(left + w, bottom + h)};
}

QString csvLine(const QStringList &fields)
{
    // A spreadsheet takes a cell that begins with one of these for a formula
    // (also when it is quoted), and a photo's name may begin with any of them.
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    QStringList quoted;
    for (QString field : fields) {
        const bool formula = !field.isEmpty() && formulaStarts.contains(field.front());
        if (formula || field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) ||
            field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'))) {
            // A leading apostrophe makes the cell text, as typing it would.
            field = QLatin1Char('"') + QLatin1String(formula ? "'" : "") +
                    field.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
        }
        quoted.append(field);
    }
    return quoted.join(QLatin1Char(','));
}

QString reportText(const QList<PlanRow> &rows, const QList<RowResult> &results)
{
    QString text =
        csvLine({QStringLiteral("file"), QStringLiteral("code"), QStringLiteral("outcome"),
                 QStringLiteral("server path"), QStringLiteral("size"), QStringLiteral("reason")}) +
        QLatin1Char('\n');
    for (qsizetype i = 0; i < rows.size() && i < results.size(); ++i) {
        const RowResult &result = results.at(i);
        text +=
            csvLine({rows.at(i).file, rows.at(i).named.code, result.outcome, result.serverPath,
                     result.size < 0 ? QString() : QString::number(result.size), result.reason}) +
            QLatin1Char('\n');
    }
    return text;
}

RowResult resultOf(const PlanRow &row, const QString &dbPath)
{
    RowResult result;
    if (!row.named.path.isEmpty())
        result.serverPath = dbPath + QLatin1Char('/') + row.named.path;
    result.reason = row.reason;
    switch (row.action) {
    case Action::Skip:
        result.outcome = QStringLiteral("skipped");
        break;
    case Action::Refuse:
        result.outcome = row.unreachable ? QStringLiteral("failed") : QStringLiteral("refused");
        break;
    case Action::Put:
    case Action::Replace:
        result.outcome = QStringLiteral("not put");
        break;
    }
    return result;
}

QString BatchRun::writeReport(const QString &directory, const QList<PlanRow> &rows,
                              const QList<RowResult> &results)
{
    const QString name =
        QStringLiteral("framla-batch-%1.csv")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")));
    const QString path = QDir(directory).filePath(name);
    return runtime::writeWholeFile(path, reportText(rows, results).toUtf8()) ? path : QString();
}

} // namespace framla::batch
