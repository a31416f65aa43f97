#include "image_path.h"

#include "core/codes.h"
#include "core/value.h"
#include "server/command_lines.h"
#include "target.h"

namespace framla::server {

using core::VAL;

namespace {

QString slashPath(const QString &code, const QString &cName, bool lInventory, bool lOrders)
{
    const qsizetype n = code.size();
    if (lOrders)
        return QStringLiteral("images/ord/") + code.toLower() + QStringLiteral(".jpg");
    // A raw-material code (one letter, four digits) files the same in every mode.
    if (n == 5 && VAL(code) == 0 && VAL(code.mid(1)) > 0)
        return QStringLiteral("images/") + code.left(1) + QLatin1Char('/') + code +
               QStringLiteral(".jpg");
    if (!lInventory && n == 5 && core::isCustomerAccount(VAL(code)))
        return QStringLiteral("images/cust/") + code + QLatin1Char('/') + cName +
               QStringLiteral(".jpg");
    if (!lInventory && n == 4 && core::isSupplierAccount(VAL(code)))
        return QStringLiteral("images/ssr/") + code + QLatin1Char('/') + cName +
               QStringLiteral(".jpg");
    if (!lInventory && code == QStringLiteral("0"))
        return QStringLiteral("images/ssr/0/") + cName + QStringLiteral(".jpg");
    if (n == 7)
        return QStringLiteral("images/") + code.left(2) + QLatin1Char('/') + code +
               QStringLiteral(".jpg");
    return {};
}

} // namespace

QString MAKEFILE(const QString &cCode, const QString &cName, bool lInventory, bool lOrders,
                 bool lIsDOS)
{
    // A code or an account's picture name that is not a plain name fits no
    // rule: one with a "/" would name a file in another directory that still
    // looks like a plain path ("AB/1234" gives "images/AB/AB/1234.jpg").
    if (!isSafeName(cCode) || (!lInventory && !lOrders && !isSafeName(cName)))
        return {};
    QString path = slashPath(cCode, cName, lInventory, lOrders);
    // An empty code or name names no file: "images/ord/.jpg" must never reach
    // the server; nor may a name ending in "." make "..jpg".
    if (!isSafeRelativePath(path))
        return {};
    if (lIsDOS)
        path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return path;
}

QString MAKEFILE(const Target &target, bool lIsDOS)
{
    return MAKEFILE(target.cCode, target.cName, target.lInventory, target.lOrders, lIsDOS);
}

} // namespace framla::server
