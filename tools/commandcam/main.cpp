// CommandCam for Linux: captures one still from a webcam into image.bmp in
// the current directory, with the command line of the Windows tool of the
// same name:
//   commandcam /devlist
//   commandcam [/quiet] [/devnum N] [/delay MS] [/preview]
// Set FRAMLA_COMMANDCAM_SYNTHETIC to use synthetic cameras instead of real ones.

#include "capture.h"
#include "devices.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace {

enum ExitCode { kOk = 0, kCaptureFailed = 1, kBadUsage = 2, kNoSuchDevice = 3 };

struct Arguments {
    bool devlist = false;
    bool quiet = false;
    bool preview = false;
    int devnum = 1;
    int delayMs = 2000;
    QString error;
};

bool isSwitch(const char *arg, const char *name)
{
    return QString::fromLocal8Bit(arg).compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

/// A whole number of at most the given value; -1 when the text is not one.
int wholeNumber(const char *text, int most)
{
    bool ok = false;
    const int value = QString::fromLocal8Bit(text).trimmed().toInt(&ok);
    return ok && value >= 0 && value <= most ? value : -1;
}

Arguments parse(int argc, char **argv)
{
    Arguments args;
    for (int i = 1; i < argc && args.error.isEmpty(); ++i) {
        const char *arg = argv[i];
        if (isSwitch(arg, "/devlist")) {
            args.devlist = true;
        } else if (isSwitch(arg, "/quiet")) {
            args.quiet = true;
        } else if (isSwitch(arg, "/preview")) {
            args.preview = true;
        } else if (isSwitch(arg, "/devnum") || isSwitch(arg, "/delay")) {
            const bool device = isSwitch(arg, "/devnum");
            const int value = i + 1 < argc ? wholeNumber(argv[i + 1], device ? 99 : 600000) : -1;
            if (value < (device ? 1 : 0))
                args.error =
                    QStringLiteral("%1 needs a %2, not \"%3\".")
                        .arg(QString::fromLocal8Bit(arg),
                             device ? QStringLiteral("device number from 1")
                                    : QStringLiteral("delay in milliseconds"),
                             i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString());
            else
                (device ? args.devnum : args.delayMs) = value;
            ++i;
        } else {
            args.error = QStringLiteral("unknown argument \"%1\"").arg(QString::fromLocal8Bit(arg));
        }
    }
    return args;
}

void say(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

/// A window can be shown only where there is a display (or Qt is told to
/// draw off screen).
bool canShowWindows()
{
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

} // namespace

// Qt's own remarks (no XDG_RUNTIME_DIR, a font it could not find) are not
// this tool's to make: the caller shows the tool's standard error to the
// operator as the reason a capture failed. Only grave ones get through.
void keepQtQuiet(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        say(stderr, QStringLiteral("commandcam: %1\n").arg(message));
}

int main(int argc, char **argv)
{
    qInstallMessageHandler(keepQtQuiet);
    const Arguments args = parse(argc, argv);
    if (!args.error.isEmpty()) {
        say(stderr, QStringLiteral("commandcam: %1\nusage: commandcam /devlist\n"
                                   "       commandcam [/quiet] [/devnum N] [/delay MS] "
                                   "[/preview]\n")
                        .arg(args.error));
        return kBadUsage;
    }

    const bool preview = args.preview && !args.devlist && canShowWindows();
    std::unique_ptr<QCoreApplication> app;
    if (preview)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);

    const QList<commandcam::Device> devices = commandcam::listDevices();
    if (args.devlist) {
        say(stdout, commandcam::deviceListText(devices));
        return kOk;
    }
    if (args.preview && !preview && !args.quiet)
        say(stderr, QStringLiteral("commandcam: no display, so no preview\n"));
    if (args.devnum > devices.size()) {
        say(stderr, QStringLiteral("commandcam: there is no capture device %1 (%2 found)\n")
                        .arg(args.devnum)
                        .arg(devices.size()));
        return kNoSuchDevice;
    }
    const commandcam::Device &device = devices.at(args.devnum - 1);
    if (!args.quiet)
        say(stdout,
            QStringLiteral("Capturing from %1 after %2 ms\n").arg(device.name).arg(args.delayMs));

    const commandcam::CaptureResult result =
        commandcam::captureStill(device, {args.delayMs, preview, args.quiet});
    if (result.image.isNull()) {
        say(stderr, QStringLiteral("commandcam: %1\n").arg(result.error));
        return kCaptureFailed;
    }
    QString error;
    if (!commandcam::saveBitmap(result.image, QStringLiteral("image.bmp"), &error)) {
        say(stderr, QStringLiteral("commandcam: %1\n").arg(error));
        return kCaptureFailed;
    }
    if (!args.quiet)
        say(stdout, QStringLiteral("Captured %1 x %2 into image.bmp\n")
                        .arg(result.image.width())
                        .arg(result.image.height()));
    return kOk;
}
