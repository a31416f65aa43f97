// One put as the program makes it, in a process of its own that a test can
// kill part-way:
//
//   framla_put_driver PHOTO CODE [PORT]
//
// Runs in the program's directory (the current one): start-up reads the
// options and the settings file there, the size "L" is chosen (which saves
// the options, as the size buttons do), PHOTO becomes the prepared picture
// and is put as the image of the inventory code CODE on the upload worker.
// PORT, when given, replaces the settings' port for this run only. Prints
// the reply display's last text; exits with 0 when the picture was recorded.
#include "app/startup.h"
#include "config/local_options.h"
#include "core/app_files.h"
#include "runtime/clock.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "server/command_lines.h"
#include "server/target.h"
#include "server/upload.h"
#include "support/recording_display.h"
#include "support/scripted_dialogs.h"

#include <QCoreApplication>

#include <cstdio>

using namespace framla;

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments().mid(1);
    if (args.size() < 2 || args.size() > 3) {
        std::fputs("usage: framla_put_driver PHOTO CODE [PORT]\n", stderr);
        return 2;
    }
    ProgramState state;
    app::startBeforeWindow(state, {});
    app::startAfterWindow(state);
    if (args.size() == 3)
        state.login.cPort = args.at(2);

    // Nobody is at the desk: every question is answered with No.
    test::ScriptedDialogs dialogs;
    runtime::SystemClock clock;
    runtime::ProcessShell shell(state.cAppPath, &dialogs);
    server::UploadQueue uploads;
    state.services.dialogs = &dialogs;
    state.services.clock = &clock;
    state.services.shell = &shell;
    state.services.uploads = &uploads;

    state.cSize = QStringLiteral("L");
    state.aLocalCfg[slot(Option::Size)] = state.cSize;
    if (!config::SaveConfig(state))
        return 3;
    const auto photo = runtime::readWholeFile(args.at(0));
    if (!photo || !runtime::writeWholeFile(appFile(state, kPreviewFile), *photo))
        return 3;

    state.cTime = clock.timeOfDay();
    test::RecordingDisplay display;
    const server::Target target{args.at(1), args.at(1), true, false, state.cTime, state.cSize};
    server::PutFile(state, display, state.login, target);
    if (!uploads.waitForIdle(600000))
        return 4;
    // What the worker showed arrives on this thread.
    QCoreApplication::processEvents();
    const QString last = display.replies.value(display.replies.size() - 1);
    std::fputs(qPrintable(last + QLatin1Char('\n')), stdout);
    return !last.isEmpty() && !last.startsWith(QLatin1String(server::kNotRecordedText)) ? 0 : 1;
}
