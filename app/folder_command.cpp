#include "folder_command.h"

#include "app/startup.h"
#include "batch/runner.h"
#include "core/program_state.h"
#include "runtime/clock.h"
#include "runtime/dialogs.h"
#include "server/remote_run.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>

namespace framla::app {

namespace {

/// No operator sits at a script: what a box would say goes to the error
/// stream, and every question is answered no (an unknown host key is not
/// trusted).
class ConsoleDialogs final : public runtime::Dialogs {
public:
    explicit ConsoleDialogs(std::FILE *err)
        : m_err(err)
    {}
    void msgBox(const QString &text, const QString &) override
    {
        std::fprintf(
            m_err, "framla: %s\n",
            qPrintable(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" "))));
    }
    int confirmBox(const QString &text, const QString &, runtime::Buttons buttons, runtime::Icon,
                   runtime::DefaultButton) override
    {
        msgBox(text, {});
        return buttons == runtime::Buttons::YesNo ? runtime::kNo : runtime::kCancel;
    }
    QString openFileName(const QString &, const QString &, const QString &,
                         const QString &) override
    {
        return {};
    }

private:
    std::FILE *m_err;
};

QString line(const QString &file, const QString &what, const QString &path, const QString &reason)
{
    QString text = file + QStringLiteral(": ") + what;
    if (!path.isEmpty())
        text += QLatin1Char(' ') + path;
    if (!reason.isEmpty())
        text += QStringLiteral(" (") + reason + QLatin1Char(')');
    return text;
}

} // namespace

int runFolderCommand(const CommandLineRequest &request, std::FILE *out, std::FILE *err)
{
    ConsoleDialogs dialogs(err);
    runtime::SystemClock clock;
    ProgramState state;
    state.services.dialogs = &dialogs;
    state.services.clock = &clock;
    startBeforeWindow(state, request.rest);
    startAfterWindow(state);
    if (!QFileInfo(request.folder).isDir()) {
        std::fprintf(err, "framla: %s is not a folder\n", qPrintable(request.folder));
        return kFolderUnusable;
    }
    if (const QString problem = core::loginProblem(state.login); !problem.isEmpty()) {
        std::fprintf(err, "framla: the settings in %s cannot be used: %s\n",
                     qPrintable(state.cCfgFileNm), qPrintable(problem));
        return kFolderUnusable;
    }
    batch::BatchOptions options = batch::BatchOptions::of(state);
    options.replace = request.replace;
    batch::BatchRun run(state, QDir(request.folder).absolutePath(), options);
    const QList<batch::PlanRow> rows = run.plan();

    QMap<QString, int> counts;
    if (request.dryRun) {
        for (const batch::PlanRow &row : rows) {
            const QString what = batch::actionWord(row.action);
            ++counts[what];
            std::fprintf(out, "%s\n", qPrintable(line(row.file, what, row.named.path, row.reason)));
        }
    } else {
        run.onDone = [&](int index, const batch::RowResult &result) {
            std::fprintf(out, "%s\n",
                         qPrintable(line(rows.at(index).file, result.outcome, result.serverPath,
                                         result.reason)));
            std::fflush(out);
        };
        const QList<batch::RowResult> results = run.run(rows);
        // The photos nothing was done with are listed after those put.
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const batch::RowResult &result = results.at(i);
            ++counts[result.outcome];
            if (rows.at(i).action != batch::Action::Put &&
                rows.at(i).action != batch::Action::Replace)
                std::fprintf(out, "%s\n",
                             qPrintable(line(rows.at(i).file, result.outcome, result.serverPath,
                                             result.reason)));
        }
        const QString report = batch::BatchRun::writeReport(state.cAppPath, rows, results);
        if (report.isEmpty())
            std::fprintf(err, "framla: the report could not be written in %s\n",
                         qPrintable(state.cAppPath));
        else
            std::fprintf(out, "report: %s\n", qPrintable(report));
    }
    QStringList summary;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        summary << QStringLiteral("%1 %2").arg(it.value()).arg(it.key());
    std::fprintf(out, "%lld photos: %s\n", static_cast<long long>(rows.size()),
                 qPrintable(summary.join(QStringLiteral(", "))));
    const int filed =
        counts.value(QStringLiteral("put")) + counts.value(QStringLiteral("replaced")) +
        counts.value(QStringLiteral("skipped")) + counts.value(QStringLiteral("replace")) +
        counts.value(QStringLiteral("skip"));
    return filed == rows.size() ? kFolderFiled : kFolderNotFiled;
}

} // namespace framla::app
