#include "normalize.h"

#include "core/codes.h"
#include "core/value.h"

namespace framla::core {

namespace {

QString trimRight(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

QString normalizeInventory(QString code, const QString &trimmed)
{
    const qsizetype n = trimmed.size();
    if (code.size() == 7 && code.endsWith(QLatin1Char('*')))
        code = code.left(6);
    if (code.size() == 6 && code.startsWith(QLatin1Char('*')))
        code = code.mid(1);
    // A raw-material code: one letter and four digits worth more than 0.
    if (code.size() == 5 && VAL(code) == 0 && VAL(code.mid(1, 4)) > 0)
        return code;
    if (n > 7)
        return code;
    if (n < 7 && n > 2) {
        const QString fill = VAL(trimmed) == 0 ? QStringLiteral("----") : QStringLiteral("0000");
        return trimmed.left(2) + fill.left(7 - n) + trimmed.mid(2);
    }
    return trimmed;
}

QString normalizeOrder(const QString &trimmed)
{
    QString code = trimmed.toUpper();
    if (code.startsWith(QStringLiteral("OR")) && trimmed.size() > 2)
        code = code.mid(2);
    const double v = VAL(code);
    if (v >= 1 && v < 1000000) {
        const QString seven = QString::number(qRound64(1000000 + v)).rightJustified(7);
        return QStringLiteral("or") + seven.right(6);
    }
    return {};
}

QString normalizeAccount(const QString &trimmed)
{
    const qsizetype n = trimmed.size();
    const double v = VAL(trimmed);
    if ((n == 5 && isCustomerAccount(v)) || (n == 4 && isSupplierAccount(v)) ||
        trimmed == QStringLiteral("0"))
        return trimmed;
    return {};
}

} // namespace

QString NORMALIZE(const QString &cCode, bool lInventory, bool lOrders)
{
    const QString trimmed = trimRight(cCode);
    if (lInventory)
        return normalizeInventory(cCode, trimmed);
    if (lOrders)
        return normalizeOrder(trimmed);
    return normalizeAccount(trimmed);
}

} // namespace framla::core
