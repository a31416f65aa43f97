#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace commandcam {

/// One camera the tool can capture from.
struct Device {
    QString name; ///< as the device list shows it after "Device name: "
    QString path; ///< /dev/videoN, or "synthetic:N"
    bool synthetic = false;
};

/// The environment variable that replaces the real cameras by synthetic
/// ones: its value is how many ("0" for none; any other text for one).
inline constexpr auto kSyntheticVariable = "FRAMLA_COMMANDCAM_SYNTHETIC";

/// The cameras, numbered from 1 in this order: the synthetic ones when the
/// variable is set, else the V4L2 video capture devices by node number.
QList<Device> listDevices();

/// The device list as the tool prints it: a block per device with a line
/// "  Device name: NAME" ending in a line feed.
QString deviceListText(const QList<Device> &devices);

/// The ffmpeg input arguments that read the device.
QStringList ffmpegInput(const Device &device);

} // namespace commandcam
