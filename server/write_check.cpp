#include "write_check.h"

#include "core/program_state.h"
#include "reply.h"
#include "runtime/dialogs.h"
#include "runtime/files.h"

#include <QDir>

namespace framla::server {

namespace {
const QString kWebAccount = QStringLiteral("user=www-data");

QString kind(bool lIsImage)
{
    return lIsImage ? QStringLiteral("image") : QStringLiteral("data");
}
} // namespace

QString webUploadMessage()
{
    return QStringLiteral("This image was published by a web image upload utility. You will only "
                          "be able to change the image after it has been erased.") +
           QStringLiteral("\r\n") + QStringLiteral("INSTRUCTIONS: Erase the existing image ") +
           QStringLiteral("by clicking the target [x]. You are then free to replace the image.") +
           QStringLiteral("\r\n") +
           QStringLiteral("HINT: Keep a copy of the old image before erasing by First ") +
           QStringLiteral("clicking the [<] button, that sets the old image as the working image.");
}

QString ownerMessage(const QString &owner, bool lIsImage)
{
    QString text = QStringLiteral("This ") + kind(lIsImage) + QStringLiteral(" file is owned by ") +
                   owner +
                   QStringLiteral(" and you\r\ndo not have write access permission to "
                                  "overwite it.");
    if (!lIsImage)
        text += QStringLiteral("\r\nRename local file and try again.");
    return text;
}

bool Ok2Write(ProgramState &state, const QString &replyFile, bool lIsImage,
              std::optional<bool> lForDelete)
{
    const bool forDelete = lForDelete.value_or(false);
    const QString path = QDir(state.cAppPath).filePath(replyFile);
    const WriteMarks marks =
        writeMarks(QString::fromUtf8(runtime::readWholeFile(path).value_or(QByteArray())));
    runtime::Dialogs &dialogs = *state.services.dialogs;

    // An image the web upload utility published may be deleted.
    if (marks.owned && lIsImage && forDelete && marks.owner == kWebAccount)
        return true;
    if (marks.owned) {
        dialogs.msgBox(lIsImage && marks.owner == kWebAccount
                           ? webUploadMessage()
                           : ownerMessage(marks.owner, lIsImage));
        return false;
    }
    if (marks.exists) {
        const int answer = dialogs.confirmBox(
            QStringLiteral("Replace existing ") + kind(lIsImage) + QLatin1Char('?'),
            QStringLiteral("Confirm replace:"), runtime::Buttons::OkCancel, runtime::Icon::Warning,
            runtime::DefaultButton::Second);
        if (answer != runtime::kOk) {
            dialogs.msgBox(QStringLiteral("Cancelled!"));
            return false;
        }
    }
    return true;
}

} // namespace framla::server
