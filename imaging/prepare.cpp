#include "prepare.h"

#include "core/value.h"
#include "imaging/picture_reader.h"
#include "runtime/files.h"
#include "runtime/logging.h"
#include "runtime/shell.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace framla::imaging {

using core::safeDiv;
using runtime::ToolCommand;

namespace {

qint64 truncated(double value)
{
    return qint64(std::trunc(value));
}

/// Whether the markers of a JPEG run whole from its start to its end marker:
/// every segment within the file, every scan's data ended by a marker a JPEG
/// may have. kCutShortReason when the file ends first, kCorruptReason for a
/// marker no JPEG has (what follows a cut is read as image data), "" when
/// whole.
QString jpegStructureRefusal(const QByteArray &d)
{
    const auto at = [&](qsizetype i) { return quint8(d.at(i)); };
    const auto segmentMarker = [](int m) {
        return (m >= 0xC0 && m <= 0xCF) || (m >= 0xDA && m <= 0xEF) || m == 0xFE;
    };
    const qsizetype n = d.size();
    qsizetype i = 2; // past the start marker
    bool scanned = false;
    for (;;) {
        if (i + 1 >= n)
            return QLatin1String(kCutShortReason);
        if (at(i) != 0xFF)
            return QLatin1String(kCorruptReason);
        while (i + 1 < n && at(i + 1) == 0xFF)
            ++i; // fill bytes
        if (i + 1 >= n)
            return QLatin1String(kCutShortReason);
        const int marker = at(i + 1);
        i += 2;
        if (marker == 0xD9)
            return scanned ? QString() : QLatin1String(kCorruptReason);
        if (marker >= 0xD0 && marker <= 0xD7)
            continue;
        if (!segmentMarker(marker))
            return QLatin1String(kCorruptReason);
        if (i + 2 > n)
            return QLatin1String(kCutShortReason);
        const qsizetype length = (at(i) << 8) | at(i + 1);
        if (length < 2)
            return QLatin1String(kCorruptReason);
        if (i + length > n)
            return QLatin1String(kCutShortReason);
        i += length;
        if (marker != 0xDA)
            continue;
        scanned = true;
        // The scan's data up to the next marker; FF 00 is a data byte and
        // FF D0..D7 a restart, both within the scan.
        for (;;) {
            const char *found =
                static_cast<const char *>(std::memchr(d.constData() + i, 0xFF, size_t(n - i)));
            if (found == nullptr)
                return QLatin1String(kCutShortReason);
            i = found - d.constData();
            if (i + 1 >= n)
                return QLatin1String(kCutShortReason);
            const int next = at(i + 1);
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7))
                i += 2;
            else if (next == 0xFF)
                ++i;
            else
                break;
        }
    }
}

} // namespace

QString sourceRefusal(const QString &path)
{
    const QSize size = readPixelSize(path);
    if (size.isValid()) {
        const QString over = oversizeReason(size.width(), size.height());
        if (!over.isEmpty())
            return QStringLiteral("the photo is too large: ") + over;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.peek(3) != QByteArray("\xFF\xD8\xFF", 3))
        return {};
    return jpegStructureRefusal(file.readAll());
}

QString damageReason(const QByteArray &standardError)
{
    QString reason;
    for (const QByteArray &line : standardError.split('\n')) {
        // libjpeg's own words, as ImageMagick passes them on.
        if (line.contains("Premature end of JPEG file") ||
            line.contains("premature end of data segment"))
            return QLatin1String(kCutShortReason);
        // Bytes before the end marker are harmless (some cameras write them).
        if ((line.contains("Corrupt JPEG data") && !line.contains("before marker 0xd9")) ||
            line.contains("JPEGErrorHandler"))
            reason = QLatin1String(kCorruptReason);
    }
    return reason;
}

QString toolFileName(const QString &name)
{
    return name.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + name : name;
}

QStringList imageToolLimits()
{
    // A photo of 100 megapixels takes 800 MB at 16 bits a channel; the area
    // limit fails a larger picture before its pixels are made, and the disk
    // limit keeps a run from writing gigabytes of cache instead.
    return {QStringLiteral("-limit"), QStringLiteral("memory"), QStringLiteral("1GiB"),
            QStringLiteral("-limit"), QStringLiteral("map"),    QStringLiteral("2GiB"),
            QStringLiteral("-limit"), QStringLiteral("disk"),   QStringLiteral("2GiB"),
            QStringLiteral("-limit"), QStringLiteral("area"),   QStringLiteral("128MP"),
            QStringLiteral("-limit"), QStringLiteral("width"),  QStringLiteral("65535"),
            QStringLiteral("-limit"), QStringLiteral("height"), QStringLiteral("65535")};
}

ToolCommand imageToolCommand(const QString &tool, const QStringList &args)
{
    ToolCommand command;
    command.tool = tool;
    command.args = imageToolLimits() + args;
    command.window = runtime::WindowHint::Hidden;
    command.viaStart = false;
    return command;
}

runtime::RunOutcome runImageTool(ProgramState &state, const ToolCommand &command)
{
    runtime::RunOutcome outcome;
    if (state.services.shell != nullptr)
        outcome = state.services.shell->run(command, runtime::kImageToolTimeoutMs);
    else
        outcome.message = QStringLiteral("No tool runner is set up.");
    if (!outcome.succeeded())
        qCWarning(runtime::lcFramla).noquote()
            << command.executableName() << "failed:" << outcome.message;
    return outcome;
}

QString CropArgument::text() const
{
    return QStringLiteral("%1x%2+%3+%4").arg(W).arg(H).arg(L).arg(T);
}

CropArgument cropArgument(QSize anSize, QSize aScrnSize, const CropCoords &aCropCoords)
{
    const double rs = safeDiv(aScrnSize.width(), aScrnSize.height());
    const double ri = safeDiv(anSize.width(), anSize.height());
    // The marks keep the fractions of the proportion rule; the only rounding
    // is the truncation of the four pixel numbers at the end.
    const QPointF a = aCropCoords.at(0);
    const QPointF b = aCropCoords.at(1);
    const double w = std::abs(a.x() - b.x());
    const double h = std::abs(a.y() - b.y());
    const double l = qMin(a.x(), b.x());
    // Image rows count from the top, view coordinates from the bottom.
    const double t = aScrnSize.height() - qMax(a.y(), b.y());
    const double s = rs < ri ? safeDiv(anSize.width(), aScrnSize.width())
                             : safeDiv(anSize.height(), aScrnSize.height());
    return {truncated(w * s), truncated(h * s), truncated(l * s), truncated(t * s)};
}

Adjustment clamped(const Adjustment &adjustment)
{
    return {qBound(0, adjustment.bright, 9), qBound(0, adjustment.gamma, 9),
            qBound(0, adjustment.contrast, 9)};
}

QString brightnessArgument(int bright)
{
    return QString::number((bright + 1) * 20);
}

QString gammaArgument(int gamma)
{
    return QString::number((gamma + 10) / 10.0, 'f', 2);
}

QString contrastArgument(int contrast)
{
    return QString::number(contrast * 10 / 2.55, 'f', 2) + QLatin1Char('%');
}

QStringList uprightSrgbArguments()
{
    return {QStringLiteral("-auto-orient"), QStringLiteral("-colorspace"), QStringLiteral("sRGB"),
            QStringLiteral("-background"),  QStringLiteral("white"),       QStringLiteral("-alpha"),
            QStringLiteral("remove"),       QStringLiteral("-alpha"),      QStringLiteral("off")};
}

ToolCommand cropCommand(const QString &cFilename, const CropArgument &crop)
{
    // The crop is in the pixels of the picture as the view shows it: turned
    // upright first. The camera's metadata (place, serial number) is no part
    // of the shop's picture.
    return imageToolCommand(QStringLiteral("convert"),
                            QStringList{toolFileName(cFilename)} + uprightSrgbArguments() +
                                QStringList{QStringLiteral("-crop"), crop.text(),
                                            QStringLiteral("-strip"), QLatin1String(kPreviewFile)});
}

ToolCommand adjustmentCommand(const Adjustment &adjustment)
{
    return imageToolCommand(QStringLiteral("mogrify"),
                            {QStringLiteral("-modulate"), brightnessArgument(adjustment.bright),
                             QStringLiteral("-gamma"), gammaArgument(adjustment.gamma),
                             QStringLiteral("-level"), contrastArgument(adjustment.contrast),
                             QLatin1String(kPreviewFile)});
}

QString rotationFile(const QString &cFilename)
{
    const QFileInfo source(cFilename);
    return source.dir().filePath(QStringLiteral(".framla-turn-") + source.fileName());
}

ToolCommand rotateCommand(const QString &cFilename)
{
    return imageToolCommand(QStringLiteral("convert"),
                            {toolFileName(cFilename), QStringLiteral("-auto-orient"),
                             QStringLiteral("-rotate"), QStringLiteral("90"),
                             rotationFile(cFilename)});
}

PreviewSource PreviewSource::of(const ProgramState &state)
{
    return {state.cFilename, state.anSize, state.aScrnSize, state.aCropCoords};
}

bool Prepare(ProgramState &state, const PreviewSource &source, const Adjustment &adjustment,
             QString *why)
{
    const QString &cFilename = source.cFilename;
    const QString preview = appFile(state, kPreviewFile);
    runtime::eraseFile(preview);
    QString refusal = sourceRefusal(cFilename);
    const auto refused = [&] {
        runtime::eraseFile(preview);
        state.previewExists = false;
        qCWarning(runtime::lcFramla).noquote()
            << cFilename << "is refused:" << refusal << "- no preview was made";
        if (why != nullptr)
            *why = refusal;
        return false;
    };
    if (!refusal.isEmpty())
        return refused();
    // A step that fails leaves no preview: half a preview (cropped but not
    // adjusted, or cut off) must not be shown, or sent, as this source's.
    const auto failed = [&](const char *step) {
        runtime::eraseFile(preview);
        state.previewExists = false;
        qCWarning(runtime::lcFramla).noquote()
            << "the" << step << "of" << cFilename << "failed; no preview was made";
        return false;
    };
    const runtime::RunOutcome crop = runImageTool(
        state,
        cropCommand(cFilename, cropArgument(source.anSize, source.aScrnSize, source.aCropCoords)));
    if (!crop.succeeded() || !runtime::fileExists(preview))
        return failed("crop");
    refusal = damageReason(crop.standardError);
    if (!refusal.isEmpty())
        return refused();
    if (!runImageTool(state, adjustmentCommand(clamped(adjustment))).succeeded() ||
        !runtime::fileExists(preview))
        return failed("adjustment");
    state.previewExists = true;
    return true;
}

bool SrcRotate(ProgramState &state, const QString &cFilename)
{
    // The tool writes the turned picture beside the source; the source is
    // replaced only by a whole picture, so a tool stopped half-way leaves
    // the operator's photo as it was.
    const QString turned = rotationFile(cFilename);
    runtime::eraseFile(turned);
    const bool made =
        runImageTool(state, rotateCommand(cFilename)).succeeded() && QFileInfo(turned).size() > 0;
    std::error_code error;
    if (made)
        std::filesystem::rename(std::filesystem::path(turned.toStdU16String()),
                                std::filesystem::path(cFilename.toStdU16String()), error);
    if (!made || error) {
        runtime::eraseFile(turned);
        qCWarning(runtime::lcFramla).noquote()
            << "the quarter turn of" << cFilename << "failed; the picture is left as it was"
            << (error ? QString::fromStdString(error.message()) : QString());
        return false;
    }
    return true;
}

} // namespace framla::imaging
