#include "arguments.h"

#include "core/codes.h"
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
    // Normalised here, as the code field would take it: the look-up takes it as it is.
    const QString account = core::enteredCode(argument, core::Mode::CustSup);
    return core::isAccount(core::VAL(account)) ? account : QString();
}

StartArguments parseArguments(const QStringList &arguments)
{
    StartArguments out;
    if (arguments.size() > 0)
        out.cfgFileName = settingsFileName(arguments.at(0));
    if (arguments.size() > 1)
        out.startCode = core::enteredCode(arguments.at(1), core::Mode::Inventory);
    if (arguments.size() > 2)
        out.startAccount = startAccount(arguments.at(2));
    return out;
}

namespace {

CommandLineRequest folderRequest(const QStringList &arguments)
{
    CommandLineRequest request{CommandLineRequest::Folder, {}};
    const auto wrong = [](const QString &error) {
        return CommandLineRequest{CommandLineRequest::Wrong, error};
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QStringLiteral("--folder")) {
            if (i + 1 >= arguments.size() || !request.folder.isEmpty())
                return wrong(QStringLiteral("framla: --folder takes one folder"));
            request.folder = arguments.at(++i);
        } else if (argument == QStringLiteral("--replace")) {
            request.replace = true;
        } else if (argument == QStringLiteral("--dry-run")) {
            request.dryRun = true;
        } else if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h") ||
                   argument == QStringLiteral("--version")) {
            return wrong(QStringLiteral("framla: %1 takes no other arguments").arg(argument));
        } else if (argument.startsWith(QLatin1Char('-'))) {
            return wrong(QStringLiteral("framla: unknown option %1").arg(argument));
        } else {
            request.rest.append(argument);
        }
    }
    if (request.folder.isEmpty())
        return wrong(QStringLiteral("framla: --replace and --dry-run go with --folder DIR"));
    if (request.rest.size() > 1)
        return wrong(QStringLiteral("framla: --folder takes a settings file's name, no code"));
    return request;
}

} // namespace

CommandLineRequest commandLineRequest(const QStringList &arguments)
{
    const QStringList known{QStringLiteral("--help"), QStringLiteral("-h"),
                            QStringLiteral("--version")};
    if (arguments.size() == 1 && known.contains(arguments.first()))
        return {arguments.first() == known.last() ? CommandLineRequest::Version
                                                  : CommandLineRequest::Help,
                {}};
    if (arguments.contains(QStringLiteral("--folder")) ||
        arguments.contains(QStringLiteral("--replace")) ||
        arguments.contains(QStringLiteral("--dry-run")))
        return folderRequest(arguments);
    for (const QString &argument : arguments) {
        if (known.contains(argument))
            return {CommandLineRequest::Wrong,
                    QStringLiteral("framla: %1 takes no other arguments").arg(argument)};
        if (argument.startsWith(QLatin1Char('-')))
            return {CommandLineRequest::Wrong,
                    QStringLiteral("framla: unknown option %1").arg(argument)};
    }
    return {};
}

} // namespace framla::app
