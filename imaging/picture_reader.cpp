#include "picture_reader.h"

#include "runtime/logging.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QSet>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QtEndian>

#include <cstdlib>
#include <cstring>

extern "C" {
#include <emf2svg.h>
}

// Resources live in a static library: they are registered by hand, once, and
// outside any namespace as Q_INIT_RESOURCE requires.
static void registerFramlaResources()
{
    Q_INIT_RESOURCE(framla);
}

namespace framla::imaging {

namespace {

void ensureResources()
{
    static const bool done = [] {
        registerFramlaResources();
        return true;
    }();
    Q_UNUSED(done);
}

/// The widest pixel Qt decodes to (16-bit PNG, Format_RGBA64).
constexpr qint64 kMaxBytesPerPixel = 8;

/// The formats a bitmap name stands for. Qt reads more (SVG, XPM, ICO...)
/// by content; those are refused rather than decoded under a bitmap's name.
bool isBitmapFormat(const QByteArray &format)
{
    return format == "bmp" || format == "jpeg" || format == "gif" || format == "png";
}

void logRefusal(const QString &path, const QString &why)
{
    qCInfo(runtime::lcFramla).noquote() << "picture not readable:" << path << "-" << why;
}

/// Raises Qt's limit on the memory one picture may take to the given
/// megabytes for as long as it lives; never lowers it. The limit is
/// process-wide; bitmaps are decoded on the UI thread only.
class RaisedAllocationLimit {
public:
    explicit RaisedAllocationLimit(qint64 megabytes)
        : m_previous(QImageReader::allocationLimit())
        , m_raised(m_previous != 0 && megabytes > m_previous)
    {
        if (m_raised)
            QImageReader::setAllocationLimit(int(megabytes));
    }
    ~RaisedAllocationLimit()
    {
        if (m_raised)
            QImageReader::setAllocationLimit(m_previous);
    }
    RaisedAllocationLimit(const RaisedAllocationLimit &) = delete;
    RaisedAllocationLimit &operator=(const RaisedAllocationLimit &) = delete;

private:
    int m_previous;
    bool m_raised;
};

quint32 le32(const QByteArray &bytes, int offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

/// The extent of an inclusive pair of coordinates, whichever way round.
qint64 extent(quint32 from, quint32 to)
{
    return qAbs(qint64(qint32(to)) - qint64(qint32(from))) + 1;
}

/// True when a picture held in a data link is one a bitmap name may stand
/// for and within the pixel budget by its header. QtSvg takes the bytes
/// after the last "base64," and reads them by their content (an SVG among
/// them, with links of its own).
bool heldPictureFits(const QString &link)
{
    const qsizetype at = link.lastIndexOf(QLatin1String("base64,"));
    if (at < 0)
        return true; // not read at all
    QByteArray bytes = QByteArray::fromBase64(link.mid(at + 7).toLatin1());
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    return isBitmapFormat(reader.format()) && size.isValid() &&
           oversizeReason(size.width(), size.height()).isEmpty();
}

/// True when an SVG document made of a metafile draws from itself alone. The
/// converter writes a metafile's text as it is inside CDATA, so text holding
/// "]]>" adds markup of its own choosing: a link to any file on the disk,
/// which QtSvg reads (a device or a pipe among them), or uses of uses that
/// multiply without end. What the converter itself writes passes: links only
/// to pictures it holds or to its own images, and no document type.
bool drawsFromItselfOnly(const QByteArray &svg)
{
    QXmlStreamReader xml(svg);
    QSet<QString> images;
    QStringList used;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::DTD)
            return false;
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        QString link;
        for (const QXmlStreamAttribute &attribute : attributes) {
            if (attribute.name() != QLatin1String("href"))
                continue;
            link = attribute.value().toString();
            if (link.startsWith(QLatin1String("data:")) ? !heldPictureFits(link)
                                                        : !link.startsWith(u'#'))
                return false;
        }
        if (xml.name() == QLatin1String("image"))
            images << attributes.value(QLatin1String("id")).toString();
        if (xml.name() == QLatin1String("use"))
            used << link.mid(1);
    }
    for (const QString &id : std::as_const(used)) {
        if (!images.contains(id))
            return false;
    }
    return !xml.hasError();
}

} // namespace

QString oversizeReason(qint64 width, qint64 height)
{
    if (width * height <= kMaxPicturePixels)
        return {};
    return QStringLiteral("%1 x %2 pixels, more than the %3 megapixels a picture may have")
        .arg(width)
        .arg(height)
        .arg(kMaxPicturePixels / 1'000'000);
}

PictureKind kindOfName(const QString &name)
{
    const QString upper = name.toUpper();
    for (const char *text : {".BMP", ".JPG", ".GIF", ".PNG"}) {
        if (upper.contains(QLatin1String(text)))
            return PictureKind::Bitmap;
    }
    for (const char *text : {".EMF", ".MET"}) {
        if (upper.contains(QLatin1String(text)))
            return PictureKind::Metafile;
    }
    return PictureKind::None;
}

QIcon windowIcon()
{
    ensureResources();
    return QIcon(QLatin1String(kWindowIconResource));
}

bool isBuiltinName(const QString &name)
{
    return name == QLatin1String(kWaitPicture) || name == QLatin1String(kNoImagePicture);
}

QString builtinResource(const QString &name)
{
    if (!isBuiltinName(name))
        return {};
    ensureResources();
    return QStringLiteral(":/framla/") + name;
}

namespace {

/// True when the picture's orientation tag turns it a quarter turn: shown,
/// its width and height change places.
bool turnedSideways(QImageReader &reader)
{
    return reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
}

} // namespace

QSize readPixelSize(const QString &path)
{
    ensureResources();
    QImageReader reader(path);
    const QSize size = reader.size();
    return turnedSideways(reader) ? size.transposed() : size;
}

std::optional<DecodedBitmap> decodeBitmap(const QString &path,
                                          const std::function<QSize(QSize)> &neededFor)
{
    ensureResources();
    QImageReader reader(path);
    // Shown upright, as the image tools turn it (-auto-orient) before they crop it.
    reader.setAutoTransform(true);
    // The header first: what the file is and how large it says it is.
    const QByteArray format = reader.format();
    const bool sideways = turnedSideways(reader);
    DecodedBitmap result;
    result.rawSize = sideways ? reader.size().transposed() : reader.size();
    QString refusal;
    if (!format.isEmpty() && !isBitmapFormat(format))
        refusal = QStringLiteral("%1 pictures are not read").arg(QString::fromLatin1(format));
    else if (result.rawSize.isValid())
        refusal = oversizeReason(result.rawSize.width(), result.rawSize.height());
    if (!refusal.isEmpty()) {
        logRefusal(path, refusal);
        return std::nullopt;
    }
    const bool scalesWhileDecoding = reader.supportsOption(QImageIOHandler::ScaledSize);
    if (result.rawSize.isValid()) {
        const QSize needed = neededFor ? neededFor(result.rawSize) : result.rawSize;
        if (needed.isValid() &&
            (needed.width() < result.rawSize.width() || needed.height() < result.rawSize.height()))
            // The file is scaled as it lies, and turned after.
            reader.setScaledSize(sideways ? needed.transposed() : needed);
    }
    // A format that cannot decode at a reduced size holds the whole picture
    // before it is scaled down; JPEG allocates only the reduced one. The
    // limit is raised for the size the header gives and no more: a damaged
    // GIF can decode larger than its header says. A header that gives no
    // size is damaged too, and the read fails on it under Qt's own limit.
    const QSize raw = result.rawSize;
    const qint64 wholeBytes = scalesWhileDecoding || !raw.isValid()
                                  ? 0
                                  : qint64(raw.width()) * raw.height() * kMaxBytesPerPixel;
    const RaisedAllocationLimit limit(wholeBytes / (1024 * 1024) + 1);
    if (!reader.read(&result.image)) {
        logRefusal(path, reader.errorString());
        return std::nullopt;
    }
    if (!result.rawSize.isValid())
        result.rawSize = result.image.size();
    return result;
}

bool looksLikeEmf(const QByteArray &bytes)
{
    // EMR_HEADER: type 1, its own size, bounds and frame, then " EMF", the
    // version and the size of the whole file.
    constexpr int kHeaderMin = 88;
    if (bytes.size() < kHeaderMin)
        return false;
    const quint32 type = le32(bytes, 0);
    const quint32 headerSize = le32(bytes, 4);
    const quint32 signature = le32(bytes, 40);
    const quint32 total = le32(bytes, 48);
    if (type != 1 || headerSize < kHeaderMin || headerSize > quint32(bytes.size()) ||
        signature != 0x464D4520u || total < headerSize || total > quint32(bytes.size()))
        return false;
    // Every record whole, of a size of four-byte steps, within the size the
    // header gives, the last one EMR_EOF (type 14): the converter reads
    // records by the sizes they give, and past the end of a file whose
    // records do not add up.
    quint32 at = 0;
    quint32 last = 0;
    while (at < total) {
        if (total - at < 8)
            return false;
        const quint32 size = le32(bytes, int(at) + 4);
        if (size < 8 || size % 4 != 0 || size > total - at)
            return false;
        last = le32(bytes, int(at));
        // Only the record types a metafile has (1 to 122), the header first
        // and only there: the converter trusts the type it dispatches on.
        if (last < 1 || last > 122 || (last == 1) != (at == 0))
            return false;
        at += size;
    }
    return last == 14;
}

std::optional<QByteArray> emfToSvg(const QByteArray &bytes)
{
    if (!looksLikeEmf(bytes))
        return std::nullopt;
    // Only the bytes the header counts, in a writable buffer (the converter
    // wants one) with zeros after them: what the converter reads past a
    // record's end is then nothing of the program's.
    const qsizetype counted = le32(bytes, 48);
    QByteArray contents = bytes.left(counted) + QByteArray(1024, '\0');
    generatorOptions options{};
    char nameSpace[] = "svg";
    options.nameSpace = nameSpace;
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    char *out = nullptr;
    size_t outLength = 0;
    const int ok = emf2svg(contents.data(), size_t(counted), &out, &outLength, &options);
    std::optional<QByteArray> svg;
    if (ok != 0 && out != nullptr && outLength > 0)
        svg = QByteArray(out, qsizetype(outLength));
    std::free(out);
    return svg;
}

QString metafileRefusal(const QByteArray &bytes)
{
    if (!looksLikeEmf(bytes))
        return QStringLiteral("not an enhanced metafile");
    // The bounds, inclusive, in device pixels: the size it is drawn at.
    return oversizeReason(extent(le32(bytes, 8), le32(bytes, 16)),
                          extent(le32(bytes, 12), le32(bytes, 20)));
}

std::optional<QByteArray> readMetafile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (file.size() > kMaxMetafileBytes) {
        logRefusal(path, QStringLiteral("%1 bytes, more than the %2 MB a metafile may have")
                             .arg(file.size())
                             .arg(kMaxMetafileBytes / (1024 * 1024)));
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    const QString refusal = metafileRefusal(bytes);
    if (!refusal.isEmpty()) {
        logRefusal(path, refusal);
        return std::nullopt;
    }
    return bytes;
}

QImage drawMetafile(const QByteArray &bytes, QSize size, double ratio, bool fit)
{
    if (!metafileRefusal(bytes).isEmpty())
        return {};
    const std::optional<QByteArray> svg = emfToSvg(bytes);
    if (!svg || !drawsFromItselfOnly(*svg))
        return {};
    QSvgRenderer renderer(*svg);
    if (!renderer.isValid())
        return {};
    QImage image((QSizeF(size) * ratio).toSize().expandedTo({1, 1}),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // Only what falls inside the picture is drawn, however large the
    // metafile's own size.
    renderer.render(&painter, fit ? QRectF(QPointF(0, 0), QSizeF(size))
                                  : QRectF(QPointF(0, 0), QSizeF(renderer.defaultSize())));
    return image;
}

} // namespace framla::imaging
