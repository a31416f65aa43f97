#include "tool_command.h"

namespace framla::runtime {

namespace {

QString shown(const QString &word)
{
    if (word.isEmpty() || word.contains(QLatin1Char(' ')))
        return QLatin1Char('"') + word + QLatin1Char('"');
    return word;
}

QString render(const ToolCommand &command, const QString &password)
{
    QStringList words{QStringLiteral("/C")};
    if (command.viaStart) {
        words << QStringLiteral("start");
        if (command.window == WindowHint::Minimised)
            words << QStringLiteral("/min");
        words << QStringLiteral("/wait");
    }
    words << command.tool;
    for (qsizetype i = 0; i < command.args.size(); ++i) {
        if (i == command.passwordAt)
            words << QStringLiteral("-pw") << shown(password);
        words << shown(command.args.at(i));
    }
    if (command.passwordAt >= command.args.size())
        words << QStringLiteral("-pw") << shown(password);
    if (!command.outputFile.isEmpty())
        words << QStringLiteral(">") + command.outputFile;
    return words.join(QLatin1Char(' '));
}

} // namespace

QString ToolCommand::text() const
{
    return render(*this, QString::fromLatin1(kMaskedPassword));
}

QString ToolCommand::textWithPassword() const
{
    return render(*this, password);
}

bool ToolCommand::isPutty() const
{
    const QString name = executableName();
    return name == QStringLiteral("pscp") || name == QStringLiteral("plink");
}

QString ToolCommand::executableName() const
{
    QString name = tool;
    if (name.startsWith(QStringLiteral(".\\")) || name.startsWith(QStringLiteral("./")))
        name = name.mid(2);
    if (name.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive))
        name.chop(4);
    return name.toLower();
}

} // namespace framla::runtime
