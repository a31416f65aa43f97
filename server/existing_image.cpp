#include "existing_image.h"

#include "core/app_files.h"
#include "core/codes.h"
#include "core/value.h"
#include "image_path.h"
#include "remote_run.h"
#include "reply.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "server/command_lines.h"
#include "target.h"
#include "target_display.h"

namespace framla::server {

QString remoteImagePath(const QString &cPath, const QString &imagePath, bool lIsDOS)
{
    if (lIsDOS)
        return cPath + QLatin1Char('\\') + imagePath;
    // A database path that ends in "/" gives no doubled separator.
    QString path = cPath + QLatin1Char('/') + imagePath;
    return path.replace(QStringLiteral("//"), QStringLiteral("/"));
}

bool ShowOldImg(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                const Target &target)
{
    const QString preview = appFile(state, kPreviewFile);
    runtime::eraseFile(preview);
    state.previewExists = false;
    display.hangTarget(QStringLiteral("wait.gif"), QStringLiteral("TW"));

    // An account's own picture is named like the account when no name is given.
    Target shown = target;
    if (shown.cName.isEmpty() && target.isAccount() && core::isAccount(core::VAL(target.cCode)))
        shown.cName = target.cCode;
    QString imagePath = MAKEFILE(shown, login.lIsDOS);

    const QString reply = QString::fromUtf8(readReplyFile(state));
    const QString supplierImage = supplierImagePath(reply);
    if (!supplierImage.isEmpty())
        imagePath = supplierImage;
    // A code or name that is not plain never reaches the server.
    if (!isSafeRelativePath(imagePath, login.lIsDOS))
        imagePath.clear();

    if (!imagePath.isEmpty()) {
        const runtime::ToolCommand fetch =
            fetchCommand(login, remoteImagePath(login.cPath, imagePath, login.lIsDOS),
                         QLatin1String(kPreviewFile), login.lIsDOS);
        display.setBusy(true);
        runRemote(state, login, fetch, runtime::kCopyTimeoutMs);
        display.setBusy(false);
    }
    state.previewExists = runtime::fileExists(preview);
    display.hangTarget(QLatin1String(kPreviewFile), QStringLiteral("T"));
    return true;
}

} // namespace framla::server
