#include "existing_image.h"

#include "core/program_state.h"
#include "image_path.h"
#include "reply.h"
#include "server/command_lines.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "core/value.h"
#include "target_display.h"

#include <QDir>

namespace framla::server {

QString remoteImagePath(const QString &cPath, const QString &imagePath, bool lIsDOS)
{
    if (lIsDOS)
        return cPath + QLatin1Char('\\') + imagePath;
    // A database path that ends in "/" gives no doubled separator.
    QString path = cPath + QLatin1Char('/') + imagePath;
    return path.replace(QStringLiteral("//"), QStringLiteral("/"));
}

bool ShowOldImg(ProgramState &state, TargetDisplay &owner, const QString &cAddress,
                const QString &cPort, const QString &cPath, const QString &cUser,
                const QString &cPass, const QString &cCode, bool lInventory, const QString &cName)
{
    const QDir appDir(state.cAppPath);
    runtime::eraseFile(appDir.filePath(QStringLiteral("scratch.jpg")));
    owner.hangTarget(QStringLiteral("wait.gif"), QStringLiteral("TW"));

    QString name = cName;
    const double account = core::VAL(cCode);
    if (name.isEmpty() && account > 1000 && account < 100000 && !lInventory && !state.lOrders)
        name = cCode;
    QString imagePath = MAKEFILE(state, cCode, name, lInventory);

    const QString reply = QString::fromUtf8(readReplyFile(state));
    const QString supplierImage = supplierImagePath(reply);
    if (!supplierImage.isEmpty())
        imagePath = supplierImage;
    // A code or name that is not plain never reaches the server.
    if (!isSafeRelativePath(imagePath))
        imagePath.clear();

    if (!imagePath.isEmpty()) {
        const ServerLogin login{cAddress, cPort, cUser, cPass, state.lIsDOS};
        const runtime::ToolCommand fetch =
            fetchCommand(login, remoteImagePath(cPath, imagePath, state.lIsDOS),
                                  QStringLiteral("scratch.jpg"), state.lIsDOS);
        QDir::setCurrent(state.cAppPath);
        owner.setBusy(true);
        state.services.shell->run(fetch, runtime::kCopyTimeoutMs);
        owner.setBusy(false);
    }
    owner.hangTarget(QStringLiteral("scratch.jpg"), QStringLiteral("T"));
    return true;
}

} // namespace framla::server
