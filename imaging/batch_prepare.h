#pragma once

// A photo made ready for a put in one image-tool run: decoded at a fraction
// of its size where the put does not need the rest, cropped, adjusted and
// fitted into the put's box. The window keeps its own two-step preview; this
// is the batch's, where nobody looks at the picture before it is sent.

#include "imaging/prepare.h"

#include <QSize>
#include <QString>

namespace framla::imaging {

/// How one run reads and crops a photo for a put.
struct PutDecode {
    int reduction = 1; ///< the photo is decoded at 1/reduction of its size (1, 2, 4 or 8)
    QSize hint;        ///< the jpeg:size hint that gives that decode; empty for none
    QSize decoded;     ///< the size the picture has once decoded
    CropArgument crop; ///< the crop in the decoded picture's pixels
};

/// The size of a picture fitted into an edge x edge box with its proportion
/// kept, as the image tools round it; a picture that fits already keeps
/// its size (it is never enlarged).
QSize fittedInto(QSize picture, int edge);

/// The size ImageMagick 6.9 decodes a JPEG of the given size to when given
/// the jpeg:size hint: it takes the whole part of the smaller of the two
/// ratios picture / hint as libjpeg's scale denominator, and libjpeg-turbo
/// decodes at the smallest of 1/8 .. 16/8 that is not below 1/denominator,
/// rounding each side up. A hint of 0 on a side leaves that side out.
QSize jpegDecodedSize(QSize picture, QSize hint);

/// The largest reduction (1, 2, 4 or 8) for which the crop, scaled with the
/// picture, is still at least the size the put will make of it (the crop
/// fitted into edge x edge, never enlarged), with the hint that gives it and
/// the crop scaled to the decoded picture and kept inside it. Only a JPEG
/// is decoded reduced (other coders ignore the hint); an empty crop, which
/// the tool reads as the whole picture, is left as it is.
PutDecode putDecode(QSize picture, const CropArgument &crop, int edge, bool jpeg);

/// Whether a file begins as every JPEG does (FF D8 FF), whatever its name.
bool isJpegFile(const QString &path);

/// The size of a photo as the view shows it and the preparation crops it
/// (turned by its orientation tag); invalid when it cannot be read. The
/// centred crop of a batch is made on this size.
QSize photoSize(const QString &path);

/// Why a photo must not be prepared, found before any tool runs: "" when it
/// may be; else "the photo cannot be read as a picture", "<kind> pictures
/// are not read", "the photo is too large: W x H pixels, more than the 100
/// megapixels a picture may have", or one of kCutShortReason and
/// kCorruptReason.
QString photoRefusal(const QString &path);

/// convert [limits] [-define jpeg:size=WxH] "source" -auto-orient -colorspace sRGB
///   -background white -alpha remove -alpha off -crop WxH+L+T +repage
///   -modulate B -gamma G -level C -resize EDGExEDGE -strip "out"
/// The hint is of the file as it lies; the crop of the picture turned upright.
runtime::ToolCommand putPreparationCommand(const QString &source, const PutDecode &decode,
                                           const Adjustment &adjustment, int edge,
                                           const QString &outFile);

/// Makes outFile, ready for a put at the given edge, from the source with its
/// crop (on its photoSize) and the adjustment (each value clamped to 0..9),
/// in one run of the tool. A photo photoRefusal refuses is not run at all,
/// and one the run finds damaged gives no picture either; why then says why
/// (empty for a run that failed otherwise). A run that fails leaves no
/// outFile (nor an old one), is logged, and gives false.
bool prepareForPut(ProgramState &state, const PreviewSource &source, const Adjustment &adjustment,
                   int edge, const QString &outFile, QString *why = nullptr);

} // namespace framla::imaging
