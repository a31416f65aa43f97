// The reply reader and its marks: any bytes as framaid's reply file, with a
// token and a request taken from the front of the input. A reply taken as
// whole under the closing convention is also read cut at every length.
#include "fuzz_input.h"
#include "server/command_lines.h"
#include "server/reply.h"

using namespace framla;
using fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::FuzzInput input(data, size);
    const QString token = input.text();
    const QString request = input.text();
    const QString code = input.text();
    const QByteArray reply = input.rest();

    const bool matches = server::replyMatches(reply, token);
    const bool answers = server::replyAnswers(reply, token, request);
    require(!answers || matches, "a reply that answers matches its token");
    // A reply whole by the closing convention: cut at any length it is not.
    const bool whole = server::replyAnswers(reply, token, request, true);
    require(!whole || answers, "a whole reply answers");
    for (qsizetype length = 0; whole && length < reply.size(); ++length)
        require(!server::replyAnswers(reply.left(length), token, request, true),
                "a reply cut off is never taken as whole");
    require(!matches || !token.isEmpty(), "an empty token matches nothing");
    require(!server::replyMatches(QByteArray(server::kNoReply), token) ||
                QByteArray(server::kNoReply).startsWith(token.toUtf8()),
            "the no-reply text matches only its own beginning");

    const QString text = server::replyText(reply);
    require(text.size() <= reply.size(), "the reply text comes from the reply");

    const QString resolved = server::resolvedCode(text);
    require(resolved.isEmpty() || (resolved.size() == 7 && text.startsWith(resolved + u':')),
            "a resolved code is line two's first seven characters before \":\"");

    for (const QString &from : {text, QString::fromUtf8(reply)}) {
        const QString picture = server::supplierImagePath(from);
        require(picture.isEmpty() ||
                    (picture.startsWith(QStringLiteral("images/ssr/")) &&
                     picture.endsWith(QStringLiteral(".jpg"), Qt::CaseInsensitive) &&
                     server::isSafeRelativePath(picture) && picture.count(u'/') == 3),
                "a supplier picture is a plain images/ssr/<account>/<name>.jpg");

        const server::WriteMarks marks = server::writeMarks(from);
        require(!marks.owned || from.contains(QStringLiteral("Owned by ")),
                "owned only when marked");
        require(!marks.exists || from.contains(QStringLiteral("exists")),
                "exists only when marked");
        require(marks.owner.isEmpty() || marks.owned, "an owner only for an owned target");
        require(!marks.owner.contains(QStringLiteral(" -->")), "the owner ends at its mark");

        require(server::okToPut(from) != from.contains(QStringLiteral("no pre-existing group")),
                "a put is refused exactly when the group is missing");
        if (server::showExistingFor(code, from))
            require(!from.contains(QStringLiteral("(no images found)")) &&
                        !from.contains(QStringLiteral("is not an existing")),
                    "no Show Existing for an account without pictures");
    }
    return 0;
}
