#include "survey.h"

#include "batch/channel.h"
#include "core/app_files.h"
#include "core/target.h"
#include "runtime/files.h"
#include "server/data_transfer.h"
#include "server/image_path.h"
#include "server/lookup.h"
#include "server/reply.h"

#include <QFile>

namespace framla::batch {

namespace {

const QString kWebAccount = QStringLiteral("user=www-data");

/// The reply file of the channel's last request, when it answers token and request.
std::optional<QString> answerOf(const ProgramState &state, const QString &token,
                                const QString &request)
{
    const QByteArray reply = server::readReplyFile(state);
    if (!server::replyAnswers(reply, token, request))
        return std::nullopt;
    return server::replyText(reply);
}

} // namespace

QString existingPictureName(int index)
{
    return QStringLiteral("existing-%1.jpg").arg(index);
}

namespace {

/// The reply's line that holds words, trimmed; "" when none does.
QString lineWith(const QString &text, const QString &words)
{
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (line.contains(words))
            return line.trimmed();
    }
    return {};
}

} // namespace

void decide(PlanRow &row, const RecordReply &reply, core::Mode mode, bool replace)
{
    row.checked = reply.answered;
    row.recordExists = false;
    row.hasPicture = false;
    row.unreachable = false;
    row.action = Action::Refuse;
    if (!reply.answered) {
        row.unreachable = reply.unreachable;
        row.reason = reply.unreachable
                         ? QString::fromLatin1(kUnreachableReason)
                         : QStringLiteral("no reply from the server: ") + reply.failure;
        return;
    }
    // The server says why it files nothing under the code: say it in its words.
    const QString notFiled = lineWith(reply.text, QStringLiteral("no pre-existing group"));
    const QString notAccount = lineWith(reply.text, QStringLiteral("is not an existing"));
    row.recordExists = notFiled.isEmpty() && notAccount.isEmpty();
    if (!row.recordExists) {
        row.reason = !notAccount.isEmpty() ? notAccount : notFiled;
        return;
    }
    const server::WriteMarks marks = server::writeMarks(reply.notes);
    const QString supplierPicture = server::supplierImagePath(reply.notes);
    // An item's note on its supplier's picture is no picture of the item's
    // own; an account's picture under images/ssr/ is the target itself.
    row.hasPicture = marks.exists && (supplierPicture.isEmpty() || mode == core::Mode::CustSup);
    if (marks.owned) {
        row.reason = marks.owner == kWebAccount
                         ? QStringLiteral("the picture was published by the web upload utility")
                         : QStringLiteral("the picture is owned by %1").arg(marks.owner);
        return;
    }
    if (row.hasPicture && !replace) {
        row.action = Action::Skip;
        row.reason = QStringLiteral("it has a picture; replacing was not chosen");
        return;
    }
    row.action = row.hasPicture ? Action::Replace : Action::Put;
    row.reason.clear();
    if (mode == core::Mode::Inventory && !supplierPicture.isEmpty())
        row.reason = QStringLiteral("the item's own picture will stand in front of its "
                                    "supplier's picture %1")
                         .arg(supplierPicture);
}

void surveyRow(Channel &channel, PlanRow &row, int index, core::Mode mode, bool replace)
{
    if (row.named.code.isEmpty() || !row.reason.isEmpty())
        return;
    ProgramState &state = channel.state();
    Target target = channel.targetFor(row.named, mode);
    const server::LookupResult found =
        server::PrepText(state, channel.display(), channel.login(), target);
    // A long inventory code is filed under the code the server resolved it to.
    if (!found.resolvedCode.isEmpty()) {
        row.named.code = found.resolvedCode;
        row.named.name = found.resolvedCode;
        target.cCode = target.cName = found.resolvedCode;
        row.named.path =
            server::MAKEFILE(found.resolvedCode, found.resolvedCode, true, false, false);
    }
    RecordReply reply;
    const std::optional<QString> answer = answerOf(state, target.cTime, target.cCode);
    reply.answered = answer.has_value();
    reply.text = answer.value_or(QString());
    reply.notes = reply.text;
    reply.failure = channel.display().lastReply();
    reply.unreachable = found.unreachable;
    if (reply.answered && state.previewExists)
        QFile::rename(appFile(state, kPreviewFile), appFile(state, existingPictureName(index)));
    // An account's picture is judged by the server's report on the file itself.
    if (reply.answered && mode == core::Mode::CustSup && server::okToPut(reply.text) &&
        !reply.text.contains(QStringLiteral("is not an existing"))) {
        const QString file = row.named.name + QStringLiteral(".jpg");
        const QString directory = row.named.path.section(QLatin1Char('/'), 0, 2);
        const bool reported =
            server::CheckIXdata(state, channel.display(), channel.login(), file, directory);
        // A report that did not answer leaves "Unknown!" in the reply file.
        reply.answered = reported;
        reply.notes = reported ? server::replyText(server::readReplyFile(state)) : QString();
        reply.failure = channel.display().lastReply();
    }
    decide(row, reply, mode, replace);
    // A long code the server did not resolve names no picture to put.
    if (row.named.path.isEmpty() && row.action != Action::Refuse) {
        row.action = Action::Refuse;
        row.reason = QStringLiteral("the server names no item for %1").arg(row.named.code);
    }
}

} // namespace framla::batch
