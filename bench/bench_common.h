#pragma once

// Shared helpers of the benchmarks: photo-like test pictures, timing rounds
// run side by side, and medians.

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>

#include <algorithm>
#include <functional>
#include <vector>

namespace framla::bench {

/// Runs a tool in dir to its end (two minutes at most) with nothing on its
/// standard input; true when it exited normally with 0. What it wrote on
/// standard error goes to *errors when asked for.
inline bool runTool(const QString &program, const QStringList &args, const QString &dir,
                    QByteArray *errors = nullptr)
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, args);
    const bool ok = process.waitForFinished(120000) &&
                    process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (errors != nullptr)
        *errors = process.readAllStandardError();
    return ok;
}

/// A photo-like picture: soft gradients, a few shapes and fine noise, so the
/// JPEG coder has real work (flat colours would flatter every decoder).
inline bool writePhoto(const QString &path, QSize size, int quality = 90)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, size.width(), size.height());
    sky.setColorAt(0, QColor(40, 60, 90));
    sky.setColorAt(1, QColor(230, 210, 170));
    painter.fillRect(image.rect(), sky);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(184, 134, 11), size.width() / 60.0));
    painter.drawEllipse(QPointF(size.width() * 0.5, size.height() * 0.55), size.width() * 0.2,
                        size.height() * 0.25);
    painter.end();
    QRandomGenerator noise(42);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int n = int(noise.bounded(17)) - 8;
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + n, 255), qBound(0, qGreen(p) + n, 255),
                           qBound(0, qBlue(p) + n, 255));
        }
    }
    return image.save(path, "JPG", quality);
}

/// Runs each contender once per round, alternating, and returns every
/// contender's times in milliseconds.
inline std::vector<std::vector<double>> sideBySide(const std::vector<std::function<void()>> &runs,
                                                   int rounds)
{
    std::vector<std::vector<double>> times(runs.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < runs.size(); ++i) {
            // Alternate who goes first, so neither always meets a warm cache.
            const size_t which = (round % 2 == 0) ? i : runs.size() - 1 - i;
            QElapsedTimer timer;
            timer.start();
            runs[which]();
            times[which].push_back(double(timer.nsecsElapsed()) / 1e6);
        }
    }
    return times;
}

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

/// The KEY=VALUE lines of a file such as the test server's server.env.
inline QMap<QString, QString> readFacts(const QString &file)
{
    QMap<QString, QString> facts;
    QFile env(file);
    if (env.open(QIODevice::ReadOnly)) {
        while (!env.atEnd()) {
            const QString line = QString::fromUtf8(env.readLine()).trimmed();
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (eq > 0)
                facts.insert(line.left(eq), line.mid(eq + 1));
        }
    }
    return facts;
}

} // namespace framla::bench
