#include "settings_probe.h"

#include "command_lines.h"
#include "core/app_files.h"
#include "remote_run.h"
#include "runtime/dialogs.h"
#include "runtime/files.h"
#include "runtime/shell.h"

namespace framla::server {

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
    runtime::ToolCommand command =
        fetchCommand(trial, remote, QStringLiteral("."), trial.lIsDOS, runtime::WindowHint::Normal);
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

    const runtime::RunOutcome outcome = runRemote(state, trial, command, runtime::kCopyTimeoutMs);

    if (runtime::fileExists(localProbe))
        return true;
    QString text = QStringLiteral("Cannot read ZMR database using the entered parameters.");
    if (!outcome.message.isEmpty())
        text += QStringLiteral("\r\n") + outcome.message;
    state.services.dialogs->msgBox(text);
    return false;
}

} // namespace framla::server
