#include "folder_command.h"

#include "app/services.h"
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

/// Prints text as one line (see printableLine).
void say(std::FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", qPrintable(printableLine(text)));
}

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
        say(m_err, QStringLiteral("framla: ") +
                       QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
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
    QString existingDirectory(const QString &, const QString &) override { return {}; }

private:
    std::FILE *m_err;
};

} // namespace

QString printableLine(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        switch (c) {
        case U'\n':
            shown += QStringLiteral("\\n");
            continue;
        case U'\r':
            shown += QStringLiteral("\\r");
            continue;
        case U'\t':
            shown += QStringLiteral("\\t");
            continue;
        default:
            break;
        }
        switch (QChar::category(c)) {
        case QChar::Other_Control: // C0, DEL and C1
            shown += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
            break;
        case QChar::Other_Format: // direction overrides, invisible marks
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            shown += c > 0xFFFF ? QStringLiteral("\\U%1").arg(uint(c), 8, 16, QLatin1Char('0'))
                                : QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
            break;
        default:
            shown += QString::fromUcs4(&c, 1);
        }
    }
    return shown;
}

QString FolderLines::photo(const QString &file, const QString &what, const QString &path,
                           const QString &reason)
{
    QString text = file + QStringLiteral(": ") + what;
    // The same long reason for every photo would only bury the others.
    if (reason == QLatin1String(batch::kUnreachableReason)) {
        m_unreachable = what;
        return printableLine(text);
    }
    if (!path.isEmpty())
        text += QLatin1Char(' ') + path;
    if (!reason.isEmpty())
        text += QStringLiteral(" (") + reason + QLatin1Char(')');
    return printableLine(text);
}

QStringList FolderLines::closing() const
{
    if (m_unreachable.isEmpty())
        return {};
    return {m_unreachable + QStringLiteral(": ") + QLatin1String(batch::kUnreachableReason)};
}

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
        say(err, QStringLiteral("framla: %1 is not a folder").arg(request.folder));
        return kFolderUnusable;
    }
    if (const QString problem = core::loginProblem(state.login); !problem.isEmpty()) {
        say(err, QStringLiteral("framla: the settings in %1 cannot be used: %2")
                     .arg(state.cCfgFileNm, problem));
        return kFolderUnusable;
    }
    // The window's own services: every put and replace is journalled, a
    // replace with the copy of the picture it replaced.
    ProgramServices services(state, &dialogs);
    if (!services.puttyProblem().isEmpty()) {
        say(err, QStringLiteral("framla: ") + services.puttyProblem());
        return kFolderUnusable;
    }
    if (!services.journalMessage().isEmpty())
        say(err, QStringLiteral("framla: ") + services.journalMessage());
    server::followRunningSettings(state);
    batch::BatchOptions options = batch::BatchOptions::of(state);
    options.replace = request.replace;
    batch::BatchRun run(state, QDir(request.folder).absolutePath(), options, services.runner());
    const QList<batch::PlanRow> rows = run.plan();

    FolderLines lines;
    QMap<QString, int> counts;
    if (request.dryRun) {
        for (const batch::PlanRow &row : rows) {
            const QString what =
                row.unreachable ? QStringLiteral("failed") : batch::actionWord(row.action);
            ++counts[what];
            std::fprintf(out, "%s\n",
                         qPrintable(lines.photo(row.file, what, row.named.path, row.reason)));
        }
        for (const QString &closing : lines.closing())
            say(out, closing);
    } else {
        run.onDone = [&](int index, const batch::RowResult &result) {
            std::fprintf(out, "%s\n",
                         qPrintable(lines.photo(rows.at(index).file, result.outcome,
                                                result.serverPath, result.reason)));
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
                             qPrintable(lines.photo(rows.at(i).file, result.outcome,
                                                    result.serverPath, result.reason)));
        }
        for (const QString &closing : lines.closing())
            say(out, closing);
        const QString report = batch::BatchRun::writeReport(state.cAppPath, rows, results);
        if (report.isEmpty())
            say(err, QStringLiteral("framla: the report could not be written in %1")
                         .arg(state.cAppPath));
        else
            say(out, QStringLiteral("report: ") + report);
    }
    QStringList summary;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        summary << QStringLiteral("%1 %2").arg(it.value()).arg(it.key());
    say(out,
        QStringLiteral("%1 photos: %2").arg(rows.size()).arg(summary.join(QStringLiteral(", "))));
    const int filed =
        counts.value(QStringLiteral("put")) + counts.value(QStringLiteral("replaced")) +
        counts.value(QStringLiteral("skipped")) + counts.value(QStringLiteral("replace")) +
        counts.value(QStringLiteral("skip"));
    return filed == rows.size() ? kFolderFiled : kFolderNotFiled;
}

} // namespace framla::app
