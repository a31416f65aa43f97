#include "startup.h"

#include "core/program_state.h"
#include "config/local_options.h"
#include "config/settings_file.h"
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

    // A preview left by an earlier run must never reach the copy button.
    runtime::eraseFile(QStringLiteral("scratch.jpg"));

    state.lOk2Put = false;
    state.cAppPath = QDir::currentPath();
    state.cAppDir = QDir::currentPath();

    config::LoadConfig(state);

    // The start arguments choose the mode; the account number wins. Not saved.
    if (!args.startCode.isEmpty())
        state.aLocalCfg[0] = true;
    if (!args.startAccount.isEmpty())
        state.aLocalCfg[0] = false;

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
    state.cAddress.clear();
    state.cPath.clear();
    state.cUser.clear();
    state.cPass.clear();
    state.cPort = QStringLiteral("22");

    state.nDevNum = static_cast<int>(std::get<double>(state.aLocalCfg.at(6)));
    state.nDelaySecs = static_cast<int>(std::get<double>(state.aLocalCfg.at(7)));
    state.lPreview = std::get<bool>(state.aLocalCfg.at(8));

    config::READPARAM(state.cAddress, state.cPort, state.cPath, state.cUser, state.cPass,
                      state.cCfgFileNm);
    state.lIsDOS = state.cPath.contains(QLatin1Char('\\'));
    state.cAddressy = state.cAddress;
    state.cPathy = state.cPath;
}

} // namespace framla::app
