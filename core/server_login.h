#pragma once

// The server login: where the server is, how to log in, and the database
// directory on it. The program state holds the running one; the settings
// test builds a trial one from the typed fields.

#include <QString>

namespace framla {

/// The server settings every remote command needs.
struct ServerLogin {
    QString cAddress;
    QString cPort = QStringLiteral("22");
    QString cPath;
    QString cUser;
    QString cPass;
    /// The server runs Windows: its paths use backslashes.
    bool lIsDOS = false;
    /// Requests that run side by side under one account (the channels of a
    /// batch, two desks) each take a reply directory of their own,
    /// "jtemp/<user>.<tag>", so that no reply is taken for another request;
    /// empty for the account's usual one.
    QString replyTag{};

    bool operator==(const ServerLogin &) const = default;
};

} // namespace framla

namespace framla::core {

/// True for a database path of a Windows server: it holds a backslash.
bool isWindowsPath(const QString &cPath);

/// A login from five typed values, its flavour taken from the database path.
ServerLogin loginOf(const QString &cAddress, const QString &cPort, const QString &cPath,
                    const QString &cUser, const QString &cPass);

/// True for a host name ("shop.example", "srv-2"), an IPv4 address or an IPv6
/// address in brackets ("[::1]"): nothing else may stand before the ":" that
/// the copy tool splits its remote path at.
bool isHostAddress(const QString &address);

/// True for a name an SSH server may take as a login ("clerk", "clerk@corp",
/// "DOM\\clerk"): not empty, not starting with "-" (which the tools would
/// read as a switch), without control characters.
bool isLoginName(const QString &user);

/// Why the settings cannot be used for a remote command, naming the field
/// ("" when they can): the address, the user name, the port, and in the
/// Windows flavour a database path or user name with a character that
/// server's shell would expand ("$", "`", "\"" or "%").
QString loginProblem(const ServerLogin &login);

} // namespace framla::core
