// The quoting of remote command words, the safe-name rules and the check of
// the server settings.
#include "fuzz_input.h"
#include "server/command_lines.h"

#include <optional>

using namespace framla;
using fuzz::require;

namespace {

bool plainPathChar(QChar c, bool lIsDOS)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'-' || c == u'_' || c == u'.' || c == u'/' || c == u':' || (lIsDOS && c == u'\\');
}

// The word a POSIX shell makes of a quoted word (single quotes, backslash
// escapes outside quotes, "~/" at the start kept as it is); nothing when a
// character outside quotes is one the shell would treat specially.
std::optional<QString> shellWord(const QString &quoted)
{
    QString word;
    bool inQuotes = false;
    for (qsizetype i = 0; i < quoted.size(); ++i) {
        const QChar c = quoted.at(i);
        if (inQuotes) {
            if (c == u'\'')
                inQuotes = false;
            else
                word += c;
        } else if (c == u'\'') {
            inQuotes = true;
        } else if (c == u'\\' && i + 1 < quoted.size()) {
            word += quoted.at(++i);
        } else if (plainPathChar(c, false) || (c == u'~' && (i > 0 || quoted.mid(1, 1) == u"/"))) {
            // A "~" is expanded only at the start, and there only "~/" may stand.
            word += c;
        } else {
            return std::nullopt;
        }
    }
    if (inQuotes)
        return std::nullopt;
    return word;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::FuzzInput input(data, size);
    const bool lIsDOS = input.flag();
    const QString word = input.text();

    const QString quoted = server::remoteWord(word, lIsDOS);
    // A safe name reaches the server as itself, quoted where it needs it.
    if (server::isSafeName(word))
        require(lIsDOS ? (quoted == word || quoted == u'"' + word + u'"')
                       : shellWord(quoted) == word,
                "a safe name arrives as it is");
    if (lIsDOS) {
        // cmd.exe: the word whole, or in double quotes without one inside.
        require(quoted == word || (quoted.startsWith(u'"') && quoted.endsWith(u'"') &&
                                   quoted.size() >= 2 && quoted.count(u'"') == 2),
                "a Windows word is plain or in one pair of double quotes");
    } else {
        // The server's shell gets back the word itself, with nothing expanded:
        // no "$(", no backquote, no blank outside quotes.
        const std::optional<QString> back = shellWord(quoted);
        require(back.has_value(), "nothing outside quotes that the shell would expand");
        require(*back == word, "the shell reads the word back");
    }

    require(!server::isSafeName(word) || server::isSafeRelativePath(word),
            "a safe name is a safe path");
    if (server::isSafeRelativePath(word)) {
        const QString slashed = QString(word).replace(u'\\', u'/');
        require(!slashed.startsWith(u'/') && !slashed.contains(QStringLiteral("..")) &&
                    !slashed.contains(QStringLiteral("//")),
                "a safe path stays below where it starts");
    }

    const QString address = input.text();
    const QString port = input.text();
    const QString path = input.text();
    const QString user = input.text();
    ServerLogin login = core::loginOf(address, port, path, user, QStringLiteral("secret"));
    login.lIsDOS = lIsDOS;
    if (core::loginProblem(login).isEmpty()) {
        require(core::isHostAddress(address) && core::isLoginName(user),
                "address and user are plain");
        bool ok = false;
        const int number = port.toInt(&ok);
        require(ok && number >= 1 && number <= 65535, "the port is a port number");
        require(!address.startsWith(u'-') && !user.startsWith(u'-'), "nothing reads as a switch");
        require(!address.contains(u'@'), "no \"@\" in the address");
        require(!address.contains(u':') || address.startsWith(u'['), "no \":\" outside brackets");
        for (const QChar c : path)
            require(c.unicode() >= 0x20 && (!lIsDOS || !QStringLiteral("$`\"%").contains(c)),
                    "the path holds nothing a shell would expand");
    }
    return 0;
}
