#include "server_login.h"

#include <QHostAddress>
#include <QStringList>

namespace framla::core {

namespace {

bool isHostLabelChar(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-');
}

} // namespace

bool isWindowsPath(const QString &cPath)
{
    return cPath.contains(QLatin1Char('\\'));
}

ServerLogin loginOf(const QString &cAddress, const QString &cPort, const QString &cPath,
                    const QString &cUser, const QString &cPass)
{
    return {cAddress, cPort, cPath, cUser, cPass, isWindowsPath(cPath)};
}

bool isHostAddress(const QString &address)
{
    if (address.startsWith(QLatin1Char('[')) && address.endsWith(QLatin1Char(']'))) {
        // The address parser stops reading at a NUL, so "[::1<NUL>@x]" would
        // pass: only what an IPv6 address (with a zone) is written with.
        const QString inner = address.mid(1, address.size() - 2);
        for (const QChar c : inner) {
            if (!(c.isDigit() || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                  c == u':' || c == u'.' || c == u'%' || c == u'_' || c == u'-') ||
                c.unicode() > 0x7f)
                return false;
        }
        const QHostAddress ip(inner);
        return ip.protocol() == QAbstractSocket::IPv6Protocol;
    }
    if (address.isEmpty() || address.size() > 253)
        return false;
    const QStringList labels = address.split(QLatin1Char('.'));
    for (const QString &label : labels) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith(QLatin1Char('-')) ||
            label.endsWith(QLatin1Char('-')))
            return false;
        for (const QChar c : label) {
            if (!isHostLabelChar(c))
                return false;
        }
    }
    return true;
}

bool isLoginName(const QString &user)
{
    if (user.isEmpty() || user.startsWith(QLatin1Char('-')))
        return false;
    for (const QChar c : user) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

QString loginProblem(const ServerLogin &login)
{
    if (!isHostAddress(login.cAddress))
        return QStringLiteral("The server address \"%1\" is not a host name or an IP address.")
            .arg(login.cAddress);
    bool portOk = false;
    const int port = login.cPort.toInt(&portOk);
    if (!portOk || port < 1 || port > 65535 || login.cPort.startsWith(QLatin1Char('+')))
        return QStringLiteral("The port \"%1\" is not a number from 1 to 65535.").arg(login.cPort);
    if (login.cUser.isEmpty())
        return QStringLiteral("The user name is empty.");
    if (!isLoginName(login.cUser))
        return login.cUser.startsWith(QLatin1Char('-'))
                   ? QStringLiteral("The user name \"%1\" starts with \"-\", which no login "
                                    "name does.")
                         .arg(login.cUser)
                   : QStringLiteral("The user name contains a control character.");
    for (const QChar c : login.cPath + login.cUser) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("The database path contains a control character.");
        // The name also stands in the Windows server's reply path.
        if (login.lIsDOS && QStringLiteral("$`\"%").contains(c))
            return QStringLiteral("The %1 contains \"%2\", which the shell of a "
                                  "Windows server would expand.")
                .arg(login.cPath.contains(c) ? QStringLiteral("database path")
                                             : QStringLiteral("user name"),
                     c);
    }
    return {};
}

} // namespace framla::core
