#include "settings_check.h"

#include "core/app_files.h"
#include "runtime/dialogs.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "server/command_lines.h"
#include "server/remote_run.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace framla::config {

bool TestConfig(ProgramState &state, const ServerLogin &trial)
{
    // Nothing reaches the server from settings that no shell may read safely.
    if (const QString problem = core::loginProblem(trial); !problem.isEmpty()) {
        state.services.dialogs->msgBox(problem);
        return false;
    }
    const QString probe = QString::fromLatin1(kProbeFile);
    const QString remote =
        trial.cPath + (trial.lIsDOS ? QStringLiteral("\\") : QStringLiteral("/")) + probe;
    runtime::ToolCommand command = server::fetchCommand(trial, remote, QStringLiteral("."),
                                                        trial.lIsDOS, runtime::WindowHint::Normal);
    // The test logs in itself: a connection kept open for the running
    // settings proves nothing about the typed ones, and is left alone.
    command.mayShare = false;

    if (runtime::fileExists(appFile(state, kGuardFile))) {
        state.services.dialogs->msgBox(
            QStringLiteral("Sorry, you are running the program from a damaged or improper "
                           "directory"));
        return false;
    }
    const QString localProbe = appFile(state, probe);
    runtime::eraseFile(localProbe);

    const runtime::RunOutcome outcome =
        server::runRemote(state, trial, command, runtime::kCopyTimeoutMs);

    if (runtime::fileExists(localProbe))
        return true;
    QString text = QStringLiteral("Cannot read ZMR database using the entered parameters.");
    if (!outcome.message.isEmpty())
        text += QStringLiteral("\r\n") + outcome.message;
    state.services.dialogs->msgBox(text);
    return false;
}

bool windowsImageToolsFound(const QString &pathText, bool systemMogrifyExists)
{
    return pathText.contains(QStringLiteral("IMAGEMAGICK"), Qt::CaseInsensitive) ||
           systemMogrifyExists;
}

bool imageToolsOnPath(const QStringList &pathDirs)
{
    return !QStandardPaths::findExecutable(QStringLiteral("convert"), pathDirs).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("mogrify"), pathDirs).isEmpty();
}

bool CheckImageTools(ProgramState &state)
{
#ifdef Q_OS_WIN
    if (windowsImageToolsFound(
            qEnvironmentVariable("Path"),
            QFileInfo::exists(QStringLiteral("c:\\Windows\\System\\Mogrify.exe"))))
        return true;
#else
    const QStringList dirs =
        qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (imageToolsOnPath(dirs))
        return true;
#endif
    const int answer = state.services.dialogs->confirmBox(
        QStringLiteral("'ImageMagick' must be installed and the\r\n"
                       "path to ImageMagick must be registered.\r\n"
                       "Proceed regardless. Image functions may fail."),
        QString(), runtime::Buttons::YesNo, runtime::Icon::Warning, runtime::DefaultButton::Second);
    return answer != runtime::kNo;
}

} // namespace framla::config
