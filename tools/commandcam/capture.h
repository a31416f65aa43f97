#pragma once

#include "devices.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

namespace commandcam {

/// Splits a stream of binary PPM frames (P6, 8 bits per sample), as ffmpeg
/// writes them to a pipe, into pictures.
class PpmStream {
public:
    /// Adds bytes; returns false once the stream is found malformed.
    bool feed(const QByteArray &bytes);
    /// The newest complete frame since the last call, if any.
    std::optional<QImage> takeLatest();
    int framesSeen() const { return m_frames; }

private:
    bool parseOne();

    QByteArray m_buffer;
    std::optional<QImage> m_latest;
    int m_frames = 0;
    bool m_broken = false;
};

struct CaptureOptions {
    int delayMs = 2000;
    bool preview = false;
    bool quiet = false;
};

/// Reads the device through ffmpeg for the delay (showing the frames in a
/// preview window when asked) and returns the first frame after it; an
/// error text when no frame came.
struct CaptureResult {
    QImage image;
    QString error;
};
CaptureResult captureStill(const Device &device, const CaptureOptions &options);

/// Writes the picture as a 24-bit BMP, replacing the file atomically.
bool saveBitmap(const QImage &image, const QString &path, QString *error);

} // namespace commandcam
