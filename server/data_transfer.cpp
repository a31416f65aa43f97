#include "data_transfer.h"
#include "upload.h"

#include "core/app_files.h"
#include "lookup.h"
#include "put_journal.h"
#include "remote_run.h"
#include "reply.h"
#include "runtime/clock.h"
#include "runtime/dialogs.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "runtime/working_files.h"
#include "server/command_lines.h"
#include "target.h"
#include "target_display.h"
#include "write_check.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace framla::server {

namespace {

/// The data transfer files, as the file dialog's filter names them.
constexpr auto kDataFilePatterns = "IX*.DBF;IY*.DBF;I*EXP.DBF;*.CSV;*.TXT";

/// True for a file name the filter takes, in any letter case: a name typed
/// into the dialog passes it unchecked.
bool isDataFileName(const QString &fileName)
{
    const QStringList patterns = QString::fromLatin1(kDataFilePatterns).split(QLatin1Char(';'));
    return std::any_of(patterns.cbegin(), patterns.cend(), [&](const QString &pattern) {
        return QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern),
                                  QRegularExpression::CaseInsensitiveOption)
            .match(fileName)
            .hasMatch();
    });
}

} // namespace

QString GetDataFile(ProgramState &state)
{
    const QString chosen = state.services.dialogs->openFileName(
        QStringLiteral("Select Data Transfer File"),
        QStringLiteral("Allowed data files: ix.., iy.., i..exp, csv & txt"),
        QString::fromLatin1(kDataFilePatterns), state.cAppPath);
    return chosen;
}

bool CheckIXdata(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                 const QString &fileName, const QString &subDirectory)
{
    runtime::WorkingFilesLock lock(state);
    Target report;
    report.cCode = fileName;
    report.cTime = state.services.clock->timeOfDay();
    const runtime::ToolCommand request = remoteCommand(
        login,
        {QStringLiteral("framaid"), replyDirectory(login), fileName, report.cTime, subDirectory},
        false);
    display.setBusy(true);
    const runtime::RunOutcome asked = runRemote(state, login, request, runtime::kLookupTimeoutMs);
    display.setBusy(false);
    return SHWTXTMSG1(state, display, login, report, requestRun(asked)).answered;
}

QString dataFileMode(const QString &fileName)
{
    const QString tail = fileName.right(4).toUpper();
    return QStringLiteral(".DBF .DBT").contains(tail) && tail.size() == 4 ? QStringLiteral("666")
                                                                          : QStringLiteral("644");
}

int dataCopyLimitMs(qint64 bytes)
{
    constexpr qint64 step = 100 * 1024;
    constexpr qint64 longest = 24 * 3600 * 1000; // a day: beyond that nothing is gained
    const qint64 steps = bytes <= 0 ? 0 : (bytes + step - 1) / step;
    return int(qMin<qint64>(runtime::kCopyTimeoutMs + steps * 1000, longest));
}

DataSend SendIXdata(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                    const QString &localDirectory, const QString &fileName,
                    const QString &targetDirectory)
{
    const QString serverName = fileName.toLower();
    const QString local = QDir(localDirectory).filePath(fileName);
    const QString remote = targetDirectory + serverName;
    const QString mode = dataFileMode(serverName);
    // The copy arrives under a name of its own: a file cut off half-way never
    // stands under the real name. On a Unix server that name lies in the
    // user's reply directory, where no other account can plant a link, and
    // the mode is set and the file moved there in one run (placeCommand); the
    // shuttle directory may be writable by the whole shop's group. A Windows
    // server keeps the copy beside the target.
    const bool beside = login.lIsDOS;
    const QString stagedName = beside ? QString() : stagingName(QLatin1Char('-') + serverName);
    const QString partial = beside ? targetDirectory + QStringLiteral(".framla-") + serverName
                                   : replyDirectory(login) + QLatin1Char('/') + stagedName;
    const auto run = [&](const runtime::ToolCommand &command, int limitMs) {
        return runRemote(state, login, command, limitMs);
    };
    DataSend result;
    display.setBusy(true);
    const runtime::RunOutcome copied =
        run(sendCommand(login, local, partial, beside), dataCopyLimitMs(QFileInfo(local).size()));
    runtime::RunOutcome moved;
    if (copied.succeeded())
        moved = run(
            beside ? remoteCommand(
                         login, {QStringLiteral("mv"), QStringLiteral("-f"), partial, remote}, true)
                   : placeCommand(login, stagedName, mode, remote),
            runtime::kLookupTimeoutMs);
    const QString modeProblem = beside ? QString() : modeNotSet(moved);
    if (!copied.succeeded() || (!moved.succeeded() && modeProblem.isEmpty())) {
        result.failure = !copied.succeeded() ? copied.message : moved.message;
        run(remoteCommand(login, {QStringLiteral("rm"), QStringLiteral("-f"), partial}, beside),
            runtime::kLookupTimeoutMs);
    } else {
        result.sent = true;
        QString problem = modeProblem;
        if (beside) {
            const runtime::RunOutcome changed =
                run(remoteCommand(login, {QStringLiteral("chmod"), mode, remote}, false),
                    runtime::kLookupTimeoutMs);
            problem = changed.succeeded() ? QString() : changed.message;
        }
        if (!problem.isEmpty())
            result.warning = QStringLiteral("Warning: the file's access mode could not be set (") +
                             mode + QStringLiteral("): ") + problem;
    }
    display.setBusy(false);
    return result;
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

bool transferDataFile(ProgramState &state, TargetDisplay &display, const QString &chosenPath)
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
    if (!isDataFileName(serverName)) {
        const QString types =
            QString::fromLatin1(kDataFilePatterns).replace(QLatin1Char(';'), QStringLiteral(", "));
        dialogs.msgBox(failed + QStringLiteral("\r\nOnly data transfer files can be sent: ") +
                       types + QLatin1Char('.'));
        return false;
    }
    if (!isSafeName(serverName, state.login.lIsDOS)) {
        dialogs.msgBox(
            failed + QStringLiteral("\r\n") +
            unsafeNameMessage(QStringLiteral("file name"), serverName, state.login.lIsDOS));
        return false;
    }
    if (!local.isFile() || !local.isReadable()) {
        dialogs.msgBox(failed + QStringLiteral("\r\nThe file cannot be read: ") + chosenPath);
        return false;
    }
    const qint64 size = local.size();

    // A large file's copy may take longer than the usual operation.
    OperationScope operation(state, state.limits.transferMs +
                                        (dataCopyLimitMs(size) - runtime::kCopyTimeoutMs));
    // Waiting for an upload to leave the working files counts against the send's own time.
    const runtime::WorkingFilesLock lock(state, state.operation.deadline);
    if (!lock.held()) {
        dialogs.msgBox(failed + QStringLiteral("\r\n") + QString::fromLatin1(kStillSendingText));
        return false;
    }
    const ServerLogin login = state.login;
    const QString shuttle = QStringLiteral("shuttle");
    if (!CheckIXdata(state, display, login, serverName, shuttle)) {
        dialogs.msgBox(failed + QStringLiteral("\r\nThe server did not answer the check."));
        return false;
    }
    if (!Ok2Write(state, QString::fromLatin1(kReplyFile), false))
        return false;
    const QString shuttleDir = login.cPath + QStringLiteral("/shuttle/");
    qint64 journalId = 0;
    if (state.services.journal != nullptr) {
        history::JournalEntry entry =
            journalEntry(state, login, history::JournalAction::DataFile,
                         history::RecordKind::DataFile, serverName, shuttleDir + serverName);
        entry.size = size;
        entry.sha256 =
            runtime::sha256Hex(runtime::readWholeFile(chosenPath).value_or(QByteArray()));
        journalId = journalBegin(state, entry);
    }
    const DataSend send =
        SendIXdata(state, display, login, local.absolutePath(), local.fileName(), shuttleDir);
    CheckIXdata(state, display, login, serverName, shuttle);
    const QString report = replyText(readReplyFile(state));
    // Where the report gives the file's size it must be the size sent; a
    // report without one only has to show the file.
    const qint64 onServer = reportedSize(report, serverName);
    const bool shown = onServer >= 0 ? onServer == size : writeMarks(report).exists;
    journalEnd(state, journalId,
               send.sent && shown ? history::JournalOutcome::Ok : history::JournalOutcome::Failed,
               send.failure);
    if (send.sent && shown) {
        dialogs.msgBox(
            QStringLiteral("File ") + serverName +
            QStringLiteral(" sent.\r\nCheck details shown for validity.") +
            (send.warning.isEmpty() ? QString() : QStringLiteral("\r\n") + send.warning));
        return true;
    }
    QString reason = send.failure;
    if (reason.isEmpty())
        reason = onServer < 0 ? QStringLiteral("The server does not show the file.")
                              : QStringLiteral("The server shows %1 bytes; %2 were sent.")
                                    .arg(onServer)
                                    .arg(size);
    dialogs.msgBox(failed + QStringLiteral("\r\n") + reason);
    return false;
}

} // namespace framla::server
