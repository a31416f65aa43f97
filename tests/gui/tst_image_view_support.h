#pragma once

// Pictures made on the spot for the image view tests: plain bitmaps of a
// known colour and size, and a small enhanced metafile.

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QtEndian>

namespace framla::test {

/// Writes a picture of one colour (JPEG, PNG, BMP or GIF by the format).
inline bool writePicture(const QString &path, QSize size, QColor colour, const char *format = "JPG")
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image.save(path, format, 95);
}

/// Writes a picture whose left half and right half differ, so that turning
/// and cropping it can be told apart.
inline bool writeHalves(const QString &path, QSize size, QColor left, QColor right)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(right);
    QPainter(&image).fillRect(0, 0, size.width() / 2, size.height(), left);
    return image.save(path, nullptr, 95);
}

namespace emf {

inline void put32(QByteArray &bytes, quint32 value)
{
    char raw[4];
    qToLittleEndian(value, raw);
    bytes.append(raw, 4);
}

inline void record(QByteArray &out, quint32 type, std::initializer_list<quint32> words)
{
    put32(out, type);
    put32(out, quint32(8 + 4 * words.size()));
    for (quint32 word : words)
        put32(out, word);
}

} // namespace emf

/// An enhanced metafile, 100 x 100 units, with a filled rectangle in the
/// given colour from (10, 10) to (90, 90).
inline QByteArray makeEmf(QColor fill)
{
    QByteArray body;
    const quint32 colorref =
        quint32(fill.red()) | quint32(fill.green()) << 8 | quint32(fill.blue()) << 16;
    emf::record(body, 39, {1, 0 /* solid */, colorref, 0}); // create brush 1
    emf::record(body, 37, {1});                             // select it
    emf::record(body, 43, {10, 10, 90, 90});                // rectangle
    emf::record(body, 14, {0, 16, 20});                     // end of file
    QByteArray header;
    const quint32 total = 88 + quint32(body.size());
    emf::record(header, 1, {0,           0,        99,    99,    // bounds, device units
                            0,           0,        2645,  2645,  // frame, 0.01 mm
                            0x464D4520u, 0x10000u, total, 5,     // " EMF", version, bytes, records
                            2,           0,        0,     0,     // handles, description, palette
                            1024,        768,      320,   240}); // device in pixels and millimetres
    return header + body;
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

/// True when two colours are within a few steps of each other (JPEG is lossy).
inline bool near(QColor a, QColor b, int tolerance = 24)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

} // namespace framla::test
