#include "capture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>

#include <memory>

namespace commandcam {

namespace {

/// Reads one whitespace-separated header number at pos; -1 when the header
/// is not complete yet, -2 when it is malformed.
int headerNumber(const QByteArray &buffer, qsizetype &pos)
{
    while (pos < buffer.size()) {
        const char c = buffer.at(pos);
        if (c == '#') {
            const qsizetype end = buffer.indexOf('\n', pos);
            if (end < 0)
                return -1;
            pos = end + 1;
        } else if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            ++pos;
        } else {
            break;
        }
    }
    const qsizetype start = pos;
    while (pos < buffer.size() && buffer.at(pos) >= '0' && buffer.at(pos) <= '9')
        ++pos;
    if (pos == buffer.size())
        return -1; // the number may go on in the next bytes
    if (pos == start || pos - start > 6)
        return -2;
    return buffer.mid(start, pos - start).toInt();
}

/// Stops ffmpeg: it is asked first; one that does not end is killed.
void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(2000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

constexpr int kFirstFrameGraceMs = 15000;

} // namespace

bool PpmStream::feed(const QByteArray &bytes)
{
    if (m_broken)
        return false;
    m_buffer.append(bytes);
    while (parseOne()) {
    }
    return !m_broken;
}

bool PpmStream::parseOne()
{
    if (m_buffer.size() < 2)
        return false;
    if (!m_buffer.startsWith("P6")) {
        m_broken = true;
        return false;
    }
    qsizetype pos = 2;
    const int width = headerNumber(m_buffer, pos);
    const int height = width >= 0 ? headerNumber(m_buffer, pos) : width;
    const int maxValue = height >= 0 ? headerNumber(m_buffer, pos) : height;
    if (width == -2 || height == -2 || maxValue == -2 || (maxValue >= 0 && maxValue != 255) ||
        width == 0 || height == 0) {
        m_broken = true;
        return false;
    }
    if (maxValue < 0 || pos >= m_buffer.size())
        return false;
    ++pos; // the single blank after the maximum value
    const qsizetype bytes = qsizetype(width) * height * 3;
    if (m_buffer.size() - pos < bytes)
        return false;
    QImage frame(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        memcpy(frame.scanLine(y), m_buffer.constData() + pos + qsizetype(y) * width * 3,
               size_t(width) * 3);
    m_buffer.remove(0, pos + bytes);
    m_latest = std::move(frame);
    ++m_frames;
    return true;
}

std::optional<QImage> PpmStream::takeLatest()
{
    std::optional<QImage> out = std::move(m_latest);
    m_latest.reset();
    return out;
}

CaptureResult captureStill(const Device &device, const CaptureOptions &options)
{
    CaptureResult result;
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty()) {
        result.error = QStringLiteral("ffmpeg was not found on the search path.");
        return result;
    }
    QProcess process;
    QStringList args{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                     QStringLiteral("error"), QStringLiteral("-nostdin")};
    args << ffmpegInput(device) << QStringList{QStringLiteral("-vf"),  QStringLiteral("fps=10"),
                                               QStringLiteral("-f"),   QStringLiteral("image2pipe"),
                                               QStringLiteral("-c:v"), QStringLiteral("ppm"),
                                               QStringLiteral("-")};
    process.start(ffmpeg, args);
    if (!process.waitForStarted(10000)) {
        result.error = QStringLiteral("ffmpeg could not be started: ") + process.errorString();
        return result;
    }

    std::unique_ptr<QLabel> preview;
    if (options.preview && qobject_cast<QApplication *>(QCoreApplication::instance())) {
        preview = std::make_unique<QLabel>();
        preview->setWindowTitle(QStringLiteral("CommandCam preview: ") + device.name);
        preview->setMinimumSize(160, 90);
        preview->resize(640, 360);
        preview->setAlignment(Qt::AlignCenter);
        preview->setStyleSheet(QStringLiteral("background: black"));
        preview->show();
    }

    PpmStream stream;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    tick.start(50);
    const qint64 limit = qint64(options.delayMs) + kFirstFrameGraceMs;
    while (clock.elapsed() < limit) {
        if (!stream.feed(process.readAllStandardOutput())) {
            result.error = QStringLiteral("ffmpeg sent a picture stream that cannot be read.");
            break;
        }
        if (std::optional<QImage> frame = stream.takeLatest()) {
            if (clock.elapsed() >= options.delayMs) {
                result.image = std::move(*frame);
                break;
            }
            if (preview) {
                preview->setPixmap(QPixmap::fromImage(
                    frame->scaled(preview->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
            }
        }
        if (process.state() == QProcess::NotRunning && process.bytesAvailable() == 0)
            break;
        loop.exec();
    }
    stop(process);
    if (result.image.isNull() && result.error.isEmpty()) {
        const QString said = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        result.error = QStringLiteral("No picture came from %1 (%2)%3")
                           .arg(device.name, device.path,
                                said.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + said);
    }
    return result;
}

bool saveBitmap(const QImage &image, const QString &path, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        !image.convertToFormat(QImage::Format_RGB888).save(&file, "BMP") || !file.commit()) {
        if (error != nullptr)
            *error = QStringLiteral("%1 could not be written: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace commandcam
