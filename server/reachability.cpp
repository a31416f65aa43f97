#include "reachability.h"

#include "runtime/shared_link.h"

#include <QList>

namespace framla::server {

namespace {

/// What PuTTY puts before its last words.
constexpr char kFatal[] = "FATAL ERROR: ";

/// What follows kFatal, or "" when the line holds none.
QByteArray fatalWords(const QByteArray &line)
{
    const qsizetype at = line.indexOf(kFatal);
    return at < 0 ? QByteArray() : line.mid(at + qsizetype(sizeof kFatal) - 1);
}

/// A line of PuTTY's own that says the server turned the login down or
/// could not be trusted: the server was there and a retry would meet the
/// same answer.
bool refusedLine(const QByteArray &line)
{
    static const char *const refused[] = {
        "Configured password was not accepted",
        "No supported authentication methods available",
        "Cannot confirm a host key in batch mode",
    };
    const QByteArray fatal = fatalWords(line);
    for (const char *words : refused) {
        if (fatal.startsWith(words))
            return true;
    }
    // sshd ends the connection itself after too many failed logins.
    return line.startsWith("Access denied") ||
           (fatal.startsWith("Remote side sent disconnect message") &&
            fatal.contains("authentication"));
}

/// A line of PuTTY 0.78's own when it could not connect or lost the
/// connection (older releases put "Network error: " before the reason), or
/// the resolver's answer after "ssh_init: " (pscp) or on the line after
/// "Unable to open connection:" (plink).
bool unreachableLine(const QByteArray &line, const QByteArray &before)
{
    static const char *const reasons[] = {
        "Connection refused",
        "Connection timed out",
        "Connection reset by peer",
        "Broken pipe",
        "No route to host",
        "Network is unreachable",
        "Host is unreachable",
        "Host does not exist",
        "Name or service not known",
        "Temporary failure in name resolution",
        "Software caused connection abort",
    };
    QByteArray reason = fatalWords(line);
    if (reason.startsWith("Network error: "))
        reason = reason.mid(15);
    if (reason.isEmpty() && line.startsWith("ssh_init: "))
        reason = line.mid(10);
    if (reason.isEmpty() && before == "Unable to open connection:")
        reason = line;
    for (const char *known : reasons) {
        if (!reason.isEmpty() && reason.startsWith(known))
            return true;
    }
    return false;
}

} // namespace

bool serverUnreachable(const runtime::RunOutcome &outcome)
{
    using Status = runtime::RunOutcome::Status;
    if (outcome.status == Status::TimedOut)
        return true;
    if (outcome.status != Status::Finished || outcome.exitCode == 0)
        return false;
    QByteArray said = outcome.standardError;
    said.replace('\r', '\n');
    const QList<QByteArray> lines = said.split('\n');
    for (const QByteArray &line : lines) {
        if (refusedLine(line))
            return false;
    }
    // A tool ended by a signal in mid-transfer: pscp dies of SIGPIPE when
    // the connection goes while it writes.
    if (outcome.exitCode < 0 || runtime::connectionLost(said))
        return true;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (unreachableLine(lines.at(i), i > 0 ? lines.at(i - 1) : QByteArray()))
            return true;
    }
    return false;
}

} // namespace framla::server
