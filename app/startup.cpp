#include "startup.h"

#include "batch/litter.h"
#include "config/local_options.h"
#include "config/settings_file.h"
#include "core/app_files.h"
#include "imaging/acquisition.h"
#include "runtime/files.h"

#include <QDir>
#include <QPoint>
#include <QSize>

namespace framla::app {

StartArguments startBeforeWindow(ProgramState &state, const QStringList &arguments)
{
    const StartArguments args = parseArguments(arguments);
    state.cCfgFileNm = args.cfgFileName;
    state.cStartCode = args.startCode;
    state.cStartAccount = args.startAccount;

    state.lOk2Put = false;
    state.cAppPath = QDir::currentPath();
    // A preview left by an earlier run must never reach the copy button.
    state.previewExists = !runtime::eraseFile(appFile(state, kPreviewFile));
    // So must the prepared photos of a batch that was killed.
    batch::removeStaleWorkDirs(QDir::tempPath(), QLatin1String(batch::kWorkDirPrefix),
                               batch::kStaleWorkDirSecs);

    config::LoadConfig(state);

    // The start arguments choose the mode; the account number wins. Not saved.
    if (!args.startCode.isEmpty())
        state.aLocalCfg[slot(Option::Inventory)] = true;
    if (!args.startAccount.isEmpty())
        state.aLocalCfg[slot(Option::Inventory)] = false;

    state.nDlgWidth = 600;
    state.nDlgHeight = 400;
    return args;
}

QPoint centredPosition(const QSize &desktop, int width, int height)
{
    return {(desktop.width() - width) / 2, (desktop.height() - height) / 2};
}

void startAfterWindow(ProgramState &state)
{
    state.login = ServerLogin{};

    state.nDevNum = static_cast<int>(optionValue(state.aLocalCfg, Option::Device, 1.0));
    state.nDelaySecs = static_cast<int>(optionValue(state.aLocalCfg, Option::Delay, 4.0));
    state.lPreview = optionValue(state.aLocalCfg, Option::Preview, true);
    state.cGrabCommand =
        imaging::BldGrabCmd(state, state.nDevNum, state.nDelaySecs, state.lPreview);

    config::READPARAM(state.login, state.cCfgFileNm);
    state.cAddressy = state.login.cAddress;
    state.cPathy = state.login.cPath;
}

} // namespace framla::app
