#include "devices.h"

#include <QDir>
#include <QFile>

#include <algorithm>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace commandcam {

namespace {

QList<Device> syntheticDevices(const QByteArray &value)
{
    bool isNumber = false;
    const int count = qBound(0, value.trimmed().toInt(&isNumber), 9);
    QList<Device> devices;
    for (int i = 1; i <= (isNumber ? count : 1); ++i)
        devices.append({QStringLiteral("Framla synthetic camera %1").arg(i),
                        QStringLiteral("synthetic:%1").arg(i), true});
    return devices;
}

/// The card name of a V4L2 node that captures video; "" for other nodes
/// (metadata, output, radio) and nodes that cannot be opened.
QString captureCardName(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return {};
    v4l2_capability caps{};
    const bool ok = ::ioctl(fd, VIDIOC_QUERYCAP, &caps) == 0;
    ::close(fd);
    if (!ok)
        return {};
    const quint32 which =
        (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
    if (!(which & V4L2_CAP_VIDEO_CAPTURE))
        return {};
    return QString::fromUtf8(reinterpret_cast<const char *>(caps.card)).trimmed();
}

QList<Device> videoDevices()
{
    QStringList nodes = QDir(QStringLiteral("/dev"))
                            .entryList({QStringLiteral("video*")}, QDir::System | QDir::Files);
    std::sort(nodes.begin(), nodes.end(), [](const QString &a, const QString &b) {
        return a.mid(5).toInt() < b.mid(5).toInt();
    });
    QList<Device> devices;
    for (const QString &node : std::as_const(nodes)) {
        const QString path = QStringLiteral("/dev/") + node;
        const QString card = captureCardName(path);
        if (!card.isEmpty())
            devices.append({card, path, false});
    }
    return devices;
}

} // namespace

QList<Device> listDevices()
{
    if (qEnvironmentVariableIsSet(kSyntheticVariable))
        return syntheticDevices(qgetenv(kSyntheticVariable));
    return videoDevices();
}

QString deviceListText(const QList<Device> &devices)
{
    QString text = QStringLiteral("CommandCam for Linux: video capture devices\n\n");
    if (devices.isEmpty())
        return text + QStringLiteral("No video capture devices.\n");
    for (qsizetype i = 0; i < devices.size(); ++i) {
        text += QStringLiteral("Capture device %1:\n").arg(i + 1);
        text += QStringLiteral("  Device name: %1\n").arg(devices.at(i).name);
        text += QStringLiteral("  Device path: %1\n\n").arg(devices.at(i).path);
    }
    return text;
}

QStringList ffmpegInput(const Device &device)
{
    if (device.synthetic) {
        // A moving test pattern at a webcam's usual size and rate, paced in
        // real time as a camera is.
        return {QStringLiteral("-re"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                QStringLiteral("-i"), QStringLiteral("testsrc2=size=1280x720:rate=10")};
    }
    return {QStringLiteral("-f"), QStringLiteral("v4l2"), QStringLiteral("-i"), device.path};
}

} // namespace commandcam
