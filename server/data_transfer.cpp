#include "data_transfer.h"

#include "remote_run.h"
#include "core/app_files.h"
#include "lookup.h"
#include "reply.h"
#include "runtime/clock.h"
#include "server/command_lines.h"
#include "runtime/dialogs.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "runtime/working_files.h"
#include "target.h"
#include "target_display.h"
#include "write_check.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace framla::server {

QString GetDataFile(ProgramState &state)
{
    const QString chosen = state.services.dialogs->openFileName(
        QStringLiteral("Select Data Transfer File"),
        QStringLiteral("Allowed data files: ix.., iy.., i..exp, csv & txt"),
        QStringLiteral("IX*.DBF;IY*.DBF;I*EXP.DBF;*.CSV;*.TXT"), state.cAppPath);
    return chosen;
}

bool CheckIXdata(ProgramState &state, TargetDisplay &oXbpShowTxt, const ServerLogin &login,
                 const QString &fileName, const QString &subDirectory)
{
    runtime::WorkingFilesLock lock(state);
    Target report;
    report.cCode = fileName;
    report.cTime = state.services.clock->timeOfDay();
    const runtime::ToolCommand request = remoteCommand(
        login, {QStringLiteral("framaid"), replyDirectory(login), fileName, report.cTime, subDirectory},
        false);
    oXbpShowTxt.setBusy(true);
    runRemote(state, login, request, runtime::kLookupTimeoutMs);
    oXbpShowTxt.setBusy(false);
    return SHWTXTMSG1(state, oXbpShowTxt, login, report);
}

QString dataFileMode(const QString &fileName)
{
    const QString tail = fileName.right(4).toUpper();
    return QStringLiteral(".DBF .DBT").contains(tail) && tail.size() == 4 ? QStringLiteral("666")
                                                                          : QStringLiteral("644");
}

bool SendIXdata(ProgramState &state, const ServerLogin &login, const QString &localDirectory,
                const QString &fileName, const QString &targetDirectory, QString *reason)
{
    const QString serverName = fileName.toLower();
    const QString local = QDir(localDirectory).filePath(fileName);
    const QString remote = targetDirectory + serverName;
    const runtime::RunOutcome sent =
        runRemote(state, login, sendCommand(login, local, remote, login.lIsDOS), runtime::kCopyTimeoutMs);
    runtime::RunOutcome mode;
    if (sent.succeeded())
        mode = runRemote(
            state, login,
            remoteCommand(
                login, {QStringLiteral("chmod"), dataFileMode(serverName), remote}, false),
            runtime::kLookupTimeoutMs);
    if (reason != nullptr)
        *reason = !sent.succeeded() ? sent.message : (!mode.succeeded() ? mode.message : QString());
    return sent.succeeded() && mode.succeeded();
}

namespace {

/// The size the server's report gives for the file, or -1.
qint64 reportedSize(const QString &reply, const QString &serverName)
{
    const QRegularExpression size(QRegularExpression::escape(serverName) +
                                  QStringLiteral(" exists \\((\\d+) bytes"));
    const QRegularExpressionMatch match = size.match(reply);
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

} // namespace

bool transferDataFile(ProgramState &state, TargetDisplay &oXbpShowTxt, const QString &chosenPath)
{
    runtime::Dialogs &dialogs = *state.services.dialogs;
    const QFileInfo local(chosenPath);
    const QString serverName = local.fileName().toLower();
    const QString failed = QStringLiteral("Failed to send file ") + serverName;
    if (chosenPath.isEmpty()) {
        dialogs.msgBox(QStringLiteral("Failed to send file "));
        return false;
    }
    if (serverName.contains(QLatin1Char(' '))) {
        dialogs.msgBox(QStringLiteral("Space character in file or path name!\r\n") + failed);
        return false;
    }
    if (!isSafeName(serverName)) {
        dialogs.msgBox(failed + QStringLiteral("\r\n") +
                       unsafeNameMessage(QStringLiteral("file name"), serverName));
        return false;
    }
    if (!local.isFile() || !local.isReadable()) {
        dialogs.msgBox(failed + QStringLiteral("\r\nThe file cannot be read: ") + chosenPath);
        return false;
    }
    const qint64 size = local.size();

    runtime::WorkingFilesLock lock(state);
    OperationScope operation(state, state.limits.transferMs);
    const ServerLogin login = loginOf(state);
    const QString shuttle = QStringLiteral("shuttle");
    if (!CheckIXdata(state, oXbpShowTxt, login, serverName, shuttle)) {
        dialogs.msgBox(failed + QStringLiteral("\r\nThe server did not answer the check."));
        return false;
    }
    if (!Ok2Write(state, QString::fromLatin1(kReplyFile), false))
        return false;
    QString reason;
    const bool sent = SendIXdata(state, login, local.absolutePath(), local.fileName(),
                                 login.cPath + QStringLiteral("/shuttle/"), &reason);
    CheckIXdata(state, oXbpShowTxt, login, serverName, shuttle);
    const QString report = replyText(readReplyFile(state));
    const qint64 onServer = reportedSize(report, serverName);
    if (sent && onServer == size) {
        dialogs.msgBox(QStringLiteral("File ") + serverName +
                       QStringLiteral(" sent.\r\nCheck details shown for validity."));
        return true;
    }
    if (reason.isEmpty())
        reason = onServer < 0 ? QStringLiteral("The server does not show the file.")
                              : QStringLiteral("The server shows %1 bytes; %2 were sent.")
                                    .arg(onServer)
                                    .arg(size);
    dialogs.msgBox(failed + QStringLiteral("\r\n") + reason);
    return false;
}

} // namespace framla::server
