#include "acquisition.h"

#include "core/app_files.h"
#include "imaging/placement.h"
#include "runtime/dialogs.h"
#include "runtime/files.h"
#include "runtime/logging.h"
#include "runtime/shell.h"

#include <cmath>

namespace framla::imaging {

using runtime::ToolCommand;

namespace {

/// Splits a command line at blanks; double quotes keep blanks in a word.
QStringList words(const QString &line)
{
    QStringList out;
    QString word;
    bool quoted = false;
    bool inWord = false;
    for (const QChar c : line) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            inWord = true;
        } else if (c.isSpace() && !quoted) {
            if (inWord)
                out << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        out << word;
    return out;
}

/// The time limit of a capture: its delay and a generous minute for the
/// camera to start and the picture to be written.
int captureTimeoutMs(const ToolCommand &command)
{
    const qsizetype at = command.args.indexOf(QStringLiteral("/delay"), 0);
    const int delay = at >= 0 && at + 1 < command.args.size() ? command.args.at(at + 1).toInt() : 0;
    return qBound(0, delay, 100000) + 60000;
}

} // namespace

QString fieldText(double value, int width)
{
    const QString digits = QString::number(std::round(value), 'f', 0);
    if (digits.size() > width)
        return QString(width, QLatin1Char('*'));
    return digits.rightJustified(width, QLatin1Char(' '));
}

QString BldGrabCmd(ProgramState &state, int nDevNum, int nDelaySecs, bool lPreview)
{
    Q_UNUSED(nDevNum);
    Q_UNUSED(nDelaySecs);
    Q_UNUSED(lPreview);
    const double device = optionValue(state.aLocalCfg, Option::Device, 0.0);
    const double delay = optionValue(state.aLocalCfg, Option::Delay, 0.0);
    QString line = QStringLiteral("/C START /B /wait ./CommandCam.exe /quiet /devnum ");
    line += device > 0 ? fieldText(device, 1) : QStringLiteral("1");
    line += QStringLiteral(" /delay ");
    line += delay > 0 ? fieldText(delay * 1000, 5) : QStringLiteral("1");
    if (optionValue(state.aLocalCfg, Option::Preview, false))
        line += QStringLiteral(" /preview");
    return line;
}

std::optional<ToolCommand> captureCommandFromText(const QString &line)
{
    const QStringList parts = words(line);
    qsizetype i = 0;
    if (parts.size() < 2 || parts.at(i++).compare(QLatin1String("/C"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    ToolCommand command;
    command.viaStart = false;
    command.window = runtime::WindowHint::Hidden;
    if (parts.at(i).compare(QLatin1String("start"), Qt::CaseInsensitive) == 0) {
        command.viaStart = true;
        command.window = runtime::WindowHint::Normal;
        for (++i; i < parts.size() && parts.at(i).startsWith(QLatin1Char('/')); ++i) {
            if (parts.at(i).compare(QLatin1String("/min"), Qt::CaseInsensitive) == 0)
                command.window = runtime::WindowHint::Minimised;
            else if (parts.at(i).compare(QLatin1String("/B"), Qt::CaseInsensitive) == 0)
                command.window = runtime::WindowHint::Hidden;
        }
    }
    if (i >= parts.size())
        return std::nullopt;
    command.tool = parts.at(i++);
    if (command.executableName() != QLatin1String("commandcam"))
        return std::nullopt;
    for (; i < parts.size(); ++i) {
        const QString &part = parts.at(i);
        if (part.startsWith(QLatin1Char('>'))) {
            command.outputFile = part.mid(1);
            if (command.outputFile.isEmpty() && i + 1 < parts.size())
                command.outputFile = parts.at(++i);
            if (command.outputFile.isEmpty())
                return std::nullopt;
            continue;
        }
        command.args << part;
    }
    return command;
}

QString GrabImage(ProgramState &state, const QString &cGrabCommand)
{
    const QString line =
        cGrabCommand.isEmpty() ? QString::fromLatin1(kDefaultGrabCommand) : cGrabCommand;
    const QString capture = QLatin1String(kCaptureFile);
    runtime::eraseFile(appFile(state, capture));
    runtime::RunOutcome outcome;
    const std::optional<ToolCommand> command = captureCommandFromText(line);
    if (!command)
        outcome.message =
            QStringLiteral("The capture command is not one of the webcam tool: %1").arg(line);
    else if (state.services.shell != nullptr)
        outcome = state.services.shell->run(*command, captureTimeoutMs(*command));
    if (!runtime::fileExists(appFile(state, capture))) {
        QString text = QStringLiteral("The webcam did not deliver a picture.");
        if (!outcome.message.isEmpty())
            text += QStringLiteral("\r\n") + outcome.message;
        qCWarning(runtime::lcFramla).noquote() << text;
        if (state.services.dialogs != nullptr)
            state.services.dialogs->msgBox(text, QStringLiteral("Capture"));
    }
    return capture;
}

QString devlistText(const QString &toolOutput)
{
    static const QString label = QStringLiteral("Device name:");
    if (!toolOutput.contains(label))
        return QString::fromLatin1(kNoDeviceNotice);
    QString rest = toolOutput;
    QString result;
    int counter = 1;
    for (qsizetype at = rest.indexOf(label); at >= 0; at = rest.indexOf(label)) {
        rest = rest.mid(at + label.size() + 1);
        const qsizetype end = rest.indexOf(QLatin1Char('\n'));
        // A last name without a line end is kept as it stands.
        result +=
            fieldText(counter, 1) + QStringLiteral(": ") + (end >= 0 ? rest.left(end + 1) : rest);
        ++counter;
    }
    return result;
}

QString GetDevlist(ProgramState &state)
{
    ToolCommand command;
    command.tool = QStringLiteral("./CommandCam.exe");
    command.args = {QStringLiteral("/devlist")};
    command.window = runtime::WindowHint::Hidden;
    command.outputFile = QLatin1String(kDeviceListFile);
    const QString list = appFile(state, kDeviceListFile);
    // A list left by an earlier run must not pass for this one's.
    runtime::eraseFile(list);
    if (state.services.shell != nullptr) {
        const runtime::RunOutcome outcome = state.services.shell->run(command, 30000);
        if (!outcome.succeeded())
            qCWarning(runtime::lcFramla).noquote() << "device list:" << outcome.message;
    }
    const QByteArray text = runtime::readWholeFile(list).value_or(QByteArray());
    runtime::eraseFile(list);
    return devlistText(QString::fromUtf8(text));
}

QString GetFileName(ProgramState &state)
{
    QString chosen;
    if (state.services.dialogs != nullptr)
        chosen = state.services.dialogs->openFileName(
            QStringLiteral("Select source image"),
            QStringLiteral("Supported image files (BMP, JPG, PNG, EMF, MET)"),
            QStringLiteral("*.BMP;*.JPG;*.PNG;*.EMF;*.MET"), QString());
    return chosen;
}

void DelFile(ProgramState &state, const QString &cFilename, ImageView *oStat)
{
    if (!cFilename.isEmpty() && !runtime::eraseFile(cFilename))
        qCWarning(runtime::lcFramla).noquote() << "could not delete" << cFilename;
    HangPicture(state, cFilename, oStat, QStringLiteral("SW"));
}

} // namespace framla::imaging
