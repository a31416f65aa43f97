#include "reply.h"

#include "core/app_files.h"
#include "core/codes.h"
#include "core/value.h"
#include "runtime/files.h"
#include "server/command_lines.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>

namespace framla::server {

std::optional<QByteArray> readBoundedReply(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kReplyLimit)
        return std::nullopt;
    QByteArray data = file.read(kReplyLimit + 1);
    if (data.size() > kReplyLimit)
        return std::nullopt;
    return data;
}

QByteArray readReplyFile(const ProgramState &state)
{
    return readBoundedReply(appFile(state, kReplyFile)).value_or(QByteArray());
}

bool replyMatches(const QByteArray &reply, const QString &token)
{
    return !token.isEmpty() && reply.startsWith(token.toUtf8());
}

bool replyClosed(const QByteArray &reply)
{
    const QByteArray closing(kClosingLine);
    const qsizetype at = reply.indexOf(closing);
    if (at < 1 || reply.at(at - 1) != '\n' || reply.indexOf(closing, at + 1) >= 0)
        return false;
    const QByteArray after = reply.mid(at + closing.size());
    return after == "\r\n" || after == "\n";
}

bool announcesClosing(const QByteArray &standardOutput)
{
    const QByteArrayList lines = standardOutput.split('\n');
    return std::any_of(lines.begin(), lines.end(),
                       [](const QByteArray &line) { return line.trimmed() == kWrittenLine; });
}

namespace {

constexpr char kRequestMark[] = "\n<!-- request ";

} // namespace

bool replyAnswers(const QByteArray &reply, const QString &token, const QString &request)
{
    if (!replyMatches(reply, token))
        return false;
    const qsizetype at = reply.indexOf(kRequestMark);
    if (at < 0)
        return true;
    const qsizetype start = at + qsizetype(sizeof kRequestMark) - 1;
    const qsizetype end = reply.indexOf(" -->", start);
    return end >= 0 && reply.mid(start, end - start) == request.toUtf8();
}

bool replyAnswers(const QByteArray &reply, const QString &token, const QString &request,
                  bool announced)
{
    // A framaid that names the request also closes its reply, whether or not
    // its word on standard output came through.
    const bool closingDue = announced || reply.contains(kRequestMark);
    return replyAnswers(reply, token, request) && (!closingDue || replyClosed(reply));
}

QString replyString(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    // The characters code page 1252 puts at 0x80..0x9F; 0 where it has none.
    static constexpr char16_t high[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    text.clear();
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        const char16_t mapped = b >= 0x80 && b < 0xA0 ? high[b - 0x80] : char16_t(b);
        text.append(QChar(mapped != 0 ? mapped : char16_t(b)));
    }
    return text;
}

QString replyText(const QByteArray &reply)
{
    qsizetype end = reply.indexOf("\r\n");
    qsizetype skip = 2;
    if (end < 0) {
        end = reply.indexOf('\n');
        skip = 1;
    }
    if (end < 0)
        return {};
    return replyString(reply.mid(end + skip));
}

QString resolvedCode(const QString &text)
{
    if (text.size() >= 8 && text.at(7) == QLatin1Char(':'))
        return text.left(7);
    return {};
}

bool showExistingFor(const QString &cCode, const QString &text)
{
    const double value = core::VAL(cCode);
    return core::isAccount(value) && !text.contains(QStringLiteral("(no images found)")) &&
           !text.contains(QStringLiteral("is not an existing"));
}

bool okToPut(const QString &text)
{
    return !text.contains(QStringLiteral("no pre-existing group"));
}

QString supplierImagePath(const QString &reply)
{
    const qsizetype start = reply.lastIndexOf(QStringLiteral("images/ssr/"));
    if (start < 0)
        return {};
    QString path = reply.mid(start);
    const qsizetype end = path.indexOf(QStringLiteral("exists on server"));
    if (end >= 0)
        path.truncate(end);
    path = path.trimmed();
    // The name comes from the server: use it only when it is a plain picture path.
    const QStringList parts = path.split(QLatin1Char('/'));
    // The server names the file as it is on disk: "RING5.JPG" is a picture too.
    if (parts.size() != 4 || !path.endsWith(QStringLiteral(".jpg"), Qt::CaseInsensitive) ||
        !isSafeName(parts.at(2)) || !isSafeName(parts.at(3)))
        return {};
    return path;
}

namespace {

/// The text without its "<!-- request NAME -->" lines: the name asked about
/// may hold any mark's words.
QString withoutRequestNote(QString text)
{
    static const QString note = QStringLiteral("<!-- request ");
    for (qsizetype at = text.indexOf(note); at >= 0; at = text.indexOf(note, at)) {
        if (at > 0 && text.at(at - 1) != QLatin1Char('\n')) {
            at += note.size();
            continue;
        }
        const qsizetype end = text.indexOf(QLatin1Char('\n'), at);
        text.remove(at, end < 0 ? text.size() - at : end + 1 - at);
    }
    return text;
}

} // namespace

WriteMarks writeMarks(const QString &reply)
{
    WriteMarks marks;
    const qsizetype comment = reply.indexOf(QStringLiteral("<!--"));
    // Without the mark the text is taken from its fourth character on.
    const QString kept = withoutRequestNote(reply.mid(comment >= 0 ? comment : 3));
    const qsizetype owned = kept.indexOf(QStringLiteral("Owned by "));
    if (owned >= 0) {
        marks.owned = true;
        const QString after = kept.mid(owned + 9);
        const qsizetype close = after.indexOf(QStringLiteral(" -->"));
        // Without its closing mark the owner's name is unknown.
        marks.owner = close >= 0 ? after.left(close) : QString();
    }
    // framaid writes "<path> exists (...)"; a name in a note is followed by
    // its extension or ":", never by a blank.
    static const QRegularExpression exists(QStringLiteral("(?:^|\\s|<!--)exists(?=\\s|-->|$)"));
    marks.exists = kept.contains(exists);
    return marks;
}

} // namespace framla::server
