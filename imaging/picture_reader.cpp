#include "picture_reader.h"

#include "runtime/logging.h"

#include <QFile>
#include <QImageReader>
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

/// Reading a whole metafile is bounded: real ones are far smaller.
constexpr qint64 kMaxMetafileBytes = 64 * 1024 * 1024;
/// A format that cannot decode at a reduced size needs the whole picture in
/// memory first; allow that up to this many megabytes.
constexpr int kFullDecodeLimitMb = 1024;

/// Raises Qt's limit on the memory one picture may take for as long as it
/// lives. The limit is process-wide; pictures are decoded on the UI thread only.
class RaisedAllocationLimit {
public:
    explicit RaisedAllocationLimit(bool raise)
        : m_previous(QImageReader::allocationLimit())
        , m_raised(raise && m_previous < kFullDecodeLimitMb && m_previous != 0)
    {
        if (m_raised)
            QImageReader::setAllocationLimit(kFullDecodeLimitMb);
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

} // namespace

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

QSize readPixelSize(const QString &path)
{
    ensureResources();
    QImageReader reader(path);
    reader.setAutoTransform(false);
    return reader.size();
}

std::optional<DecodedBitmap> decodeBitmap(const QString &path,
                                          const std::function<QSize(QSize)> &neededFor)
{
    ensureResources();
    QImageReader reader(path);
    reader.setAutoTransform(false);
    DecodedBitmap result;
    result.rawSize = reader.size();
    const bool scalesWhileDecoding = reader.supportsOption(QImageIOHandler::ScaledSize);
    if (result.rawSize.isValid()) {
        const QSize needed = neededFor ? neededFor(result.rawSize) : result.rawSize;
        if (needed.isValid() &&
            (needed.width() < result.rawSize.width() || needed.height() < result.rawSize.height()))
            reader.setScaledSize(needed);
    }
    // A format that cannot decode at a reduced size holds the whole picture
    // before it is scaled down; JPEG allocates only the reduced one.
    const RaisedAllocationLimit limit(!scalesWhileDecoding);
    if (!reader.read(&result.image)) {
        qCInfo(runtime::lcFramla).noquote()
            << "picture not readable:" << path << "-" << reader.errorString();
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
    return type == 1 && headerSize >= kHeaderMin && headerSize <= quint32(bytes.size()) &&
           signature == 0x464D4520u && total >= headerSize && total <= quint32(bytes.size());
}

std::optional<QByteArray> emfToSvg(const QByteArray &bytes)
{
    if (!looksLikeEmf(bytes))
        return std::nullopt;
    QByteArray contents = bytes; // the converter wants a writable buffer
    generatorOptions options{};
    char nameSpace[] = "svg";
    options.nameSpace = nameSpace;
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    char *out = nullptr;
    size_t outLength = 0;
    const int ok = emf2svg(contents.data(), size_t(contents.size()), &out, &outLength, &options);
    std::optional<QByteArray> svg;
    if (ok != 0 && out != nullptr && outLength > 0)
        svg = QByteArray(out, qsizetype(outLength));
    std::free(out);
    return svg;
}

std::optional<QByteArray> metafileAsSvg(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxMetafileBytes)
        return std::nullopt;
    return emfToSvg(file.readAll());
}

} // namespace framla::imaging
