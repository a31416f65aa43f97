#include "command_lines.h"

#include <QRandomGenerator>

#include <algorithm>

namespace framla::server {

namespace {

bool isNameChar(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
           c == QLatin1Char('_') || c == QLatin1Char('.');
}

bool isPlainPathChar(QChar c, bool lIsDOS)
{
    return isNameChar(c) || c == QLatin1Char('/') || c == QLatin1Char(':') ||
           (lIsDOS && c == QLatin1Char('\\'));
}

QString userAtHost(const ServerLogin &login)
{
    return login.cUser + QLatin1Char('@') + login.cAddress;
}

// The copy tool looks for its "host:" at the first ":", "/" or "\\" of an
// argument (outside brackets), so a login holding one of these ("DOM\\clerk")
// goes to it with -l and the remote path starts "@host:". Logins with "@" are
// fine in "user@host": both tools split at the last "@".
bool copyNeedsSwitch(const ServerLogin &login)
{
    for (const QChar c : login.cUser)
        if (QStringLiteral(":/\\[]").contains(c))
            return true;
    return false;
}

// The copy tool hands the remote path to the server's shell: a path that is
// not plain is quoted for it, so a blank or a "$(...)" in a setting stays text.
QString remoteSpec(const ServerLogin &login, const QString &remotePath, bool windowsFlavour)
{
    return (copyNeedsSwitch(login) ? QLatin1Char('@') + login.cAddress : userAtHost(login)) +
           QLatin1Char(':') +
           remoteWord(windowsFlavour ? tripleBackslashes(remotePath) : remotePath, login.lIsDOS);
}

ToolCommand copyCommand(const ServerLogin &login, const QStringList &ends)
{
    ToolCommand command;
    command.tool = QStringLiteral(".\\pscp.exe");
    command.args = QStringList{QStringLiteral("-scp"), QStringLiteral("-P"), login.cPort};
    if (copyNeedsSwitch(login)) {
        command.args << QStringLiteral("-l") << login.cUser;
        // A connection shared by login would be looked up by "@host" alone.
        command.mayShare = false;
    }
    command.args << ends;
    command.password = login.cPass;
    command.passwordAt = 3;
    return command;
}

} // namespace

QString replyDirectoryName(const QString &user)
{
    const auto plain = [](QChar c) {
        return c.unicode() < 0x80 && (c.isLetterOrNumber() || c == u'-' || c == u'_');
    };
    // The server program takes a plain name only: letters, digits, "-", "_"
    // and "." (not first, never two together). Any other login gets its
    // characters outside these as "_"; should two logins meet in one name,
    // the directory stays its first owner's (the server program checks).
    QString name = user.left(64);
    const bool asItIs =
        !name.startsWith(u'.') && !name.contains(QStringLiteral("..")) &&
        std::all_of(name.cbegin(), name.cend(), [&](QChar c) { return plain(c) || c == u'.'; });
    if (!asItIs)
        std::replace_if(
            name.begin(), name.end(), [&](QChar c) { return !plain(c); }, u'_');
    return name;
}

QString replyDirectory(const ServerLogin &login)
{
    const QString own = replyDirectoryName(login.cUser);
    return login.cPath + QStringLiteral("/jtemp/") +
           (login.replyTag.isEmpty() ? own : own + QLatin1Char('.') + login.replyTag);
}

bool isSafeName(const QString &value, bool lIsDOS)
{
    // Every word is quoted for the server's shell, so only what quoting
    // cannot protect, or what would make the word more than one file name,
    // is refused.
    if (value.isEmpty() || value.startsWith(QLatin1Char('.')) ||
        value.startsWith(QLatin1Char('-')) || value.contains(QStringLiteral("..")))
        return false;
    for (const QChar c : value) {
        const char16_t u = c.unicode();
        if (u <= 0x20 || u >= 0x7f || u == u'/' || u == u'\\' || u == u'\'' || u == u'"')
            return false;
        if (lIsDOS && (u == u'$' || u == u'`' || u == u'%'))
            return false;
    }
    return true;
}

bool isSafeRelativePath(const QString &path, bool lIsDOS)
{
    if (path.isEmpty())
        return false;
    const QStringList parts =
        QString(path).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (!isSafeName(part, lIsDOS))
            return false;
    }
    return true;
}

QString unsafeNameMessage(const QString &what, const QString &value, bool lIsDOS)
{
    return QStringLiteral("The %1 \"%2\" cannot be used.").arg(what, value) +
           QStringLiteral("\r\nLeave out blanks, slashes, quotes, \"..\" and accented or control "
                          "characters, and do not start with \".\" or \"-\".") +
           (lIsDOS ? QStringLiteral(" A Windows server also takes no \"$\", \"`\" or \"%\".")
                   : QString());
}

QString remoteWord(const QString &word, bool lIsDOS)
{
    bool plain = !word.isEmpty();
    for (const QChar c : word)
        plain = plain && isPlainPathChar(c, lIsDOS);
    if (plain)
        return word;
    if (lIsDOS)
        return QLatin1Char('"') + QString(word).remove(QLatin1Char('"')) + QLatin1Char('"');
    // The server's shell must still expand a home directory written "~/".
    if (word.startsWith(QStringLiteral("~/")) && word.size() > 2)
        return QStringLiteral("~/") + remoteWord(word.mid(2), false);
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString tripleBackslashes(const QString &path)
{
    QString out = path;
    out.replace(QLatin1Char('\\'), QStringLiteral("\\\\\\"));
    return out;
}

ToolCommand fetchCommand(const ServerLogin &login, const QString &remotePath,
                         const QString &localTarget, bool windowsFlavour, WindowHint window)
{
    ToolCommand command =
        copyCommand(login, {remoteSpec(login, remotePath, windowsFlavour), localTarget});
    command.window = window;
    return command;
}

ToolCommand sendCommand(const ServerLogin &login, const QString &localFile,
                        const QString &remotePath, bool windowsFlavour)
{
    return copyCommand(login, {localFile, remoteSpec(login, remotePath, windowsFlavour)});
}

ToolCommand remoteCommand(const ServerLogin &login, const QStringList &words, bool windowsFlavour)
{
    ToolCommand command;
    command.tool = QStringLiteral(".\\plink.exe");
    command.args = {QStringLiteral("-ssh"), QStringLiteral("-P"), login.cPort, userAtHost(login)};
    for (const QString &word : words)
        command.args << (windowsFlavour ? tripleBackslashes(remoteWord(word, true))
                                        : remoteWord(word, login.lIsDOS));
    command.password = login.cPass;
    command.passwordAt = 3;
    return command;
}

ToolCommand requestCommand(const ServerLogin &login, const QString &cCode, const QString &cToken)
{
    return remoteCommand(login, {QStringLiteral("framaid"), replyDirectory(login), cCode, cToken},
                         false);
}

ToolCommand resizeCommand(int edge, const QString &localFile)
{
    ToolCommand command;
    command.tool = QStringLiteral("mogrify");
    command.viaStart = false;
    command.window = WindowHint::Hidden;
    command.args = {QStringLiteral("-resize"), QStringLiteral("%1x%1").arg(edge), localFile};
    return command;
}

QString stagingName(const QString &tail)
{
    return QStringLiteral("upload-%1")
               .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0')) +
           tail;
}

namespace {

/// The script's exit status for a file in place whose mode could not be set.
constexpr int kPlacedWithoutMode = 3;
/// The script's exit statuses for a target it would not replace.
constexpr int kTargetTaken = 4;
constexpr int kTargetChanged = 5;
constexpr int kOutsideDatabase = 6;

// Run by sh on the server with the reply directory, the mode, the staged
// name, the target, what the target must hold at the rename and the
// database directory. One line without "!" or "'", so that any login shell
// hands it to sh unchanged. The target's directory is resolved to the
// directory itself (cd -P) and must lie in the database: a link planted as
// a group's folder never leads a put elsewhere. After the cd into the reply
// directory "." is a directory that no other account can swap or write in,
// so the chmod acts on the file that was staged and on nothing else.
// "none": the file is linked in under the target's name, which fails when
// any name is there by then, so a picture that appeared since the plan is
// never replaced. A SHA-256: the target must be a plain file with that
// content right before the rename. "any": the target is replaced. mv -T
// replaces a link at the target instead of writing through it.
constexpr auto kPlaceScript =
    "m=0; case $4 in /*) t=$4 ;; *) t=$PWD/$4 ;; esac; d=${t%/*}; d=${d:-/}; n=${t##*/}; "
    "case $6 in /*) b=$6 ;; *) b=$PWD/$6 ;; esac; "
    "b=$(cd -P -- \"$b\" && pwd -P) && d=$(cd -P -- \"$d\" && pwd -P) && "
    "case $d/ in \"$b\"/*) ;; *) false ;; esac "
    "|| { echo \"$4 does not lie in the database $6\" >&2; exit 6; }; t=$d/$n; "
    "cd -P -- \"$1\" && [ -O . ] && l=$(ls -ld .) && l=${l%% *} && "
    "case $l in ?????w* | ????????w* | ??????????+*) false ;; d*) ;; *) false ;; esac "
    "|| { echo \"$1 is not a directory of this account alone\" >&2; exit 1; }; "
    "find . -type f -name \"upload-*\" -mmin +60 -exec rm -f {} + 2>/dev/null; "
    // m=3: kPlacedWithoutMode.
    "chmod \"$2\" \"$3\" || m=3; f=$3; "
    "s=$(stat -L -c %d . 2>/dev/null); "
    "if [ -n \"$s\" ] && [ \"$s\" = \"$(stat -L -c %d -- \"$d\" 2>/dev/null)\" ]; then :; "
    // Onto another file system the file first crosses to a name beside the
    // target, chosen here, so no other account sees it coming.
    "else f=$(mktemp -u -- \"$d/.framla-XXXXXXXXXX.part\") && mv -f -T -- \"$3\" \"$f\" "
    "|| { rm -f -- \"$f\"; exit 1; }; "
    "fi; "
    "case $5 in none) if ln -T -- \"$f\" \"$t\" 2>/dev/null; then rm -f -- \"$f\"; "
    "elif [ -e \"$t\" ] || [ -L \"$t\" ]; then rm -f -- \"$f\"; "
    "echo \"a picture was put at $4 meanwhile\" >&2; exit 4; "
    "else rm -f -- \"$f\"; echo \"$4 could not be made\" >&2; exit 1; fi ;; "
    "any) mv -f -T -- \"$f\" \"$t\" || { rm -f -- \"$f\"; exit 1; } ;; "
    "*) h=; if [ -L \"$t\" ]; then :; elif [ -f \"$t\" ]; then h=$(sha256sum < \"$t\") || h=; fi; "
    "if [ \"${h%% *}\" = \"$5\" ]; then mv -f -T -- \"$f\" \"$t\" || { rm -f -- \"$f\"; exit 1; }; "
    "else rm -f -- \"$f\"; echo \"the picture at $4 changed meanwhile\" >&2; exit 5; fi ;; "
    "esac; exit $m";

// Run by sh on the server with a file's path: writes the file to standard
// output when it is a plain file (not a link, a directory or a device);
// ends with 4 when nothing is there and with 5 when something else is.
constexpr auto kFetchPlainScript =
    "case $1 in /*) f=$1 ;; *) f=$PWD/$1 ;; esac; [ -d \"${f%/*}\" ] || exit 4; "
    "cd -P -- \"${f%/*}\" || exit 1; n=${f##*/}; "
    "if [ -L \"$n\" ]; then exit 5; elif [ -f \"$n\" ]; then exec cat -- \"$n\"; "
    "elif [ -e \"$n\" ]; then exit 5; fi; exit 4";

} // namespace

QString expectNone()
{
    return QStringLiteral("none");
}

QString expectAny()
{
    return QStringLiteral("any");
}

ToolCommand placeCommand(const ServerLogin &login, const QString &stagedName, const QString &mode,
                         const QString &target, const QString &expect)
{
    return remoteCommand(login,
                         {QStringLiteral("sh"), QStringLiteral("-c"),
                          QString::fromLatin1(kPlaceScript), QStringLiteral("framla-place"),
                          replyDirectory(login), mode, stagedName, target, expect, login.cPath},
                         false);
}

PlaceRefusal placeRefusal(const runtime::RunOutcome &outcome)
{
    if (outcome.status != runtime::RunOutcome::Status::Finished)
        return PlaceRefusal::None;
    switch (outcome.exitCode) {
    case kTargetTaken:
        return PlaceRefusal::Taken;
    case kTargetChanged:
        return PlaceRefusal::Changed;
    case kOutsideDatabase:
        return PlaceRefusal::OutsideDatabase;
    default:
        return PlaceRefusal::None;
    }
}

ToolCommand staleBatchDirectoriesCommand(const ServerLogin &login)
{
    // Two hours: a batch's directory changes with every picture it stages.
    static constexpr auto script =
        "cd -P -- \"$1\" && find . -maxdepth 1 -type d -name \"$2.b*\" -user \"$(id -u)\" "
        "-mmin +120 -exec rm -rf -- {} +";
    return remoteCommand(login,
                         {QStringLiteral("sh"), QStringLiteral("-c"), QString::fromLatin1(script),
                          QStringLiteral("framla-litter"), login.cPath + QStringLiteral("/jtemp"),
                          replyDirectoryName(login.cUser)},
                         false);
}

ToolCommand fetchPlainCommand(const ServerLogin &login, const QString &remote)
{
    return remoteCommand(login,
                         {QStringLiteral("sh"), QStringLiteral("-c"),
                          QString::fromLatin1(kFetchPlainScript), QStringLiteral("framla-fetch"),
                          remote},
                         false);
}

QString modeNotSet(const runtime::RunOutcome &outcome)
{
    if (outcome.status != runtime::RunOutcome::Status::Finished ||
        outcome.exitCode != kPlacedWithoutMode)
        return {};
    const QString said =
        QString::fromLocal8Bit(outcome.standardError).section(QLatin1Char('\n'), 0, 0).trimmed();
    return said.isEmpty() ? outcome.message : said;
}

} // namespace framla::server
