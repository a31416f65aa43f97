#include "arguments.h"

#include "core/normalize.h"
#include "core/value.h"

namespace framla::app {

QString settingsFileName(const QString &argument)
{
    QString stem = argument;
    for (const QChar c :
         {QLatin1Char('/'), QLatin1Char('.'), QLatin1Char(','), QLatin1Char('*'), QLatin1Char('$')})
        stem.remove(c);
    if (stem.trimmed().isEmpty())
        return QStringLiteral("Framla.cfg");
    return stem + QStringLiteral(".cfg");
}

QString startAccount(const QString &argument)
{
    const double value = core::VAL(argument);
    return (value > 1000 && value <= 99999) ? argument : QString();
}

StartArguments parseArguments(const QStringList &arguments)
{
    StartArguments out;
    if (arguments.size() > 0)
        out.cfgFileName = settingsFileName(arguments.at(0));
    if (arguments.size() > 1)
        out.startCode = core::NORMALIZE(arguments.at(1), true, false);
    if (arguments.size() > 2)
        out.startAccount = startAccount(arguments.at(2));
    return out;
}

} // namespace framla::app
