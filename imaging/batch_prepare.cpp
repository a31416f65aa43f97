#include "batch_prepare.h"

#include "imaging/picture_reader.h"
#include "runtime/files.h"
#include "runtime/logging.h"
#include "runtime/shell.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <cmath>

namespace framla::imaging {

namespace {

qint64 roundedUp(qint64 value, qint64 by)
{
    return (value + by - 1) / by;
}

QString sizeText(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

/// One side of the crop scaled by 1/reduction: at least a pixel, and moved
/// back when rounding would take it past the decoded picture's edge.
void scaleSide(qint64 &start, qint64 &length, int reduction, qint64 decoded)
{
    length = qBound<qint64>(1, std::llround(double(length) / reduction), decoded);
    start = qBound<qint64>(0, std::llround(double(start) / reduction), decoded - length);
}

} // namespace

QSize fittedInto(QSize picture, int edge)
{
    const double w = picture.width();
    const double h = picture.height();
    if (w <= 0 || h <= 0 || (w <= edge && h <= edge))
        return picture;
    const double scale = qMin(edge / w, edge / h);
    return {qMax(1, int(std::floor(scale * w + 0.5))), qMax(1, int(std::floor(scale * h + 0.5)))};
}

QSize jpegDecodedSize(QSize picture, QSize hint)
{
    double factor = hint.width() > 0 ? double(picture.width()) / hint.width() : 1.0;
    if (hint.height() > 0 && factor > double(picture.height()) / hint.height())
        factor = double(picture.height()) / hint.height();
    const auto denominator = unsigned(factor);
    int eighths = 16;
    for (int m = 1; m < 16; ++m) {
        if (8 <= denominator * unsigned(m)) {
            eighths = m;
            break;
        }
    }
    return {int(roundedUp(qint64(picture.width()) * eighths, 8)),
            int(roundedUp(qint64(picture.height()) * eighths, 8))};
}

PutDecode putDecode(QSize picture, const CropArgument &crop, int edge, bool jpeg)
{
    PutDecode whole{1, QSize(), picture, crop};
    if (!jpeg || crop.W <= 0 || crop.H <= 0 || picture.isEmpty())
        return whole;
    const QSize wanted = fittedInto(QSize(int(crop.W), int(crop.H)), edge);
    for (int reduction : {8, 4, 2}) {
        // The hint is the picture's size divided down: the whole part of
        // picture / hint is then the reduction itself, which the scale
        // denominator must be for libjpeg to decode at exactly 1/reduction.
        const QSize hint(qMax(1, picture.width() / reduction),
                         qMax(1, picture.height() / reduction));
        const QSize decoded = jpegDecodedSize(picture, hint);
        if (decoded != QSize(int(roundedUp(picture.width(), reduction)),
                             int(roundedUp(picture.height(), reduction))))
            continue;
        CropArgument scaled = crop;
        scaleSide(scaled.L, scaled.W, reduction, decoded.width());
        scaleSide(scaled.T, scaled.H, reduction, decoded.height());
        if (scaled.W >= wanted.width() && scaled.H >= wanted.height())
            return {reduction, hint, decoded, scaled};
    }
    return whole;
}

bool isJpegFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(3) == QByteArray("\xFF\xD8\xFF", 3);
}

QSize photoSize(const QString &path)
{
    return readPixelSize(path);
}

QString photoRefusal(const QString &path)
{
    QImageReader reader(path);
    const QByteArray format = reader.format();
    if (!format.isEmpty() && format != "bmp" && format != "jpeg" && format != "gif" &&
        format != "png")
        return QStringLiteral("%1 pictures are not read").arg(QString::fromLatin1(format));
    if (!reader.size().isValid())
        return QStringLiteral("the photo cannot be read as a picture");
    return sourceRefusal(path);
}

runtime::ToolCommand putPreparationCommand(const QString &source, const PutDecode &decode,
                                           const Adjustment &adjustment, int edge,
                                           const QString &outFile)
{
    QStringList args;
    if (!decode.hint.isEmpty())
        args << QStringLiteral("-define") << QStringLiteral("jpeg:size=") + sizeText(decode.hint);
    // The fit into the put's box is made here, from the decoded pixels, and
    // not left to the put: the picture is then encoded once at its final
    // size and the put's resize only re-encodes it at that size. Measured on
    // a 12 MP photo beside the window's three full-size runs, that keeps more
    // of the photo than an encode at up to twice the size followed by the
    // put's resize (39.4 against 38.9 dB at size M, 46.2 against 44.4 dB at
    // L), and the two runs together are no slower (82 against 93 ms at M).
    args << toolFileName(source) << uprightSrgbArguments() << QStringLiteral("-crop")
         << decode.crop.text() << QStringLiteral("+repage") << QStringLiteral("-modulate")
         << brightnessArgument(adjustment.bright) << QStringLiteral("-gamma")
         << gammaArgument(adjustment.gamma) << QStringLiteral("-level")
         << contrastArgument(adjustment.contrast) << QStringLiteral("-resize")
         << QStringLiteral("%1x%1").arg(edge) << QStringLiteral("-strip") << toolFileName(outFile);
    return imageToolCommand(QStringLiteral("convert"), args);
}

bool prepareForPut(ProgramState &state, const PreviewSource &source, const Adjustment &adjustment,
                   int edge, const QString &outFile, QString *why)
{
    runtime::eraseFile(outFile);
    QString refusal = photoRefusal(source.cFilename);
    bool made = false;
    if (refusal.isEmpty()) {
        PutDecode decode = putDecode(
            source.anSize, cropArgument(source.anSize, source.aScrnSize, source.aCropCoords), edge,
            isJpegFile(source.cFilename));
        // The hint is read against the file as it lies, before it is turned.
        QImageReader reader(source.cFilename);
        if (reader.transformation().testFlag(QImageIOHandler::TransformationRotate90))
            decode.hint.transpose();
        const runtime::RunOutcome run =
            runImageTool(state, putPreparationCommand(source.cFilename, decode, clamped(adjustment),
                                                      edge, outFile));
        refusal = damageReason(run.standardError);
        made = run.succeeded() && refusal.isEmpty() && QFileInfo(outFile).size() > 0;
    }
    if (why != nullptr)
        *why = refusal;
    if (!made) {
        // A picture cut off half-way, or made from a damaged photo, must not
        // be sent as this photo's.
        runtime::eraseFile(outFile);
        qCWarning(runtime::lcFramla).noquote() << "the preparation of" << source.cFilename
                                               << "for the put failed; nothing was made" << refusal;
    }
    return made;
}

} // namespace framla::imaging
