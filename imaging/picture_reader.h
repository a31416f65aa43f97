#pragma once

// Reading pictures for the image views: which names are accepted, the two
// built-in pictures, bitmaps decoded at the size the screen needs, and
// enhanced metafiles drawn through SVG. Pictures come from the operator's
// disk and from the server, so every one is measured by its header before
// anything is decoded or drawn.

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QSize>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

namespace framla::imaging {

/// The names that stand for the built-in pictures; no file is read for them.
inline constexpr auto kWaitPicture = "wait.gif";
inline constexpr auto kNoImagePicture = "noimage.gif";
/// The window icon, compiled in beside the two pictures.
inline constexpr auto kWindowIconResource = ":/framla/framla.png";

/// The window icon, from the compiled-in resources.
QIcon windowIcon();

enum class PictureKind { None, Bitmap, Metafile };

/// The kind a name stands for: its upper-cased text containing ".BMP",
/// ".JPG", ".GIF" or ".PNG" anywhere is a bitmap, ".EMF" or ".MET" a
/// metafile; "photo.jpeg" contains none of them.
PictureKind kindOfName(const QString &name);

/// True for exactly "wait.gif" and "noimage.gif".
bool isBuiltinName(const QString &name);

/// The resource path of a built-in picture, "" for any other name.
QString builtinResource(const QString &name);

/// The most pixels a picture may have: more than a camera gives a product
/// photo, and at most 800 MB decoded at Qt's widest pixel (16-bit PNG). A
/// header may claim any size in a few bytes; beyond this the picture is
/// refused before anything is decoded.
inline constexpr qint64 kMaxPicturePixels = 100'000'000;

/// Metafiles larger than this are not read. A product drawing is tens or
/// hundreds of kilobytes, one holding a photo of some hundred thousand
/// pixels about a megabyte. Converting the largest allowed takes a fraction
/// of a second, but drawing one can take minutes whatever its size (a
/// megabyte of outlined polygons took over two), which is why metafiles are
/// drawn on a thread of their own (ImageView).
inline constexpr qint64 kMaxMetafileBytes = 2 * 1024 * 1024;

/// Why a picture of width x height pixels is refused ("65000 x 65000 pixels,
/// more than the 100 megapixels a picture may have"); "" when it is within
/// kMaxPicturePixels.
QString oversizeReason(qint64 width, qint64 height);

/// The pixel size stored in a picture's header, without decoding it, as the
/// picture is shown (width and height exchanged when its orientation tag
/// turns it a quarter turn); an invalid size when the file cannot be read as
/// a picture.
QSize readPixelSize(const QString &path);

/// A bitmap as decoded for the screen, with its true pixel size.
struct DecodedBitmap {
    QImage image;  ///< possibly a smaller copy than the file holds
    QSize rawSize; ///< the file's own pixel size, turned as it is shown
};

/// Decodes a bitmap (a file or a resource path). neededFor gets the true
/// size and answers the size the screen needs; a picture larger than that is
/// decoded smaller (JPEG directly at the reduced size), so a camera file of
/// tens of megapixels never has to fit in memory whole. A picture is shown
/// turned as its orientation tag says, as the image tools turn it before
/// they crop it, and its size is the turned one. Only BMP,
/// JPEG, GIF and PNG are read, whatever the name, and none whose header
/// claims more than kMaxPicturePixels; a picture refused or not decoded is
/// logged ("picture not readable: <path> - <why>").
std::optional<DecodedBitmap> decodeBitmap(const QString &path,
                                          const std::function<QSize(QSize)> &neededFor);

/// True when the bytes start with a well-formed enhanced-metafile header.
bool looksLikeEmf(const QByteArray &bytes);

/// An enhanced metafile as an SVG document; nothing when the bytes are not a
/// metafile that can be read.
std::optional<QByteArray> emfToSvg(const QByteArray &bytes);

/// Why an enhanced metafile is refused before it is converted: not a sound
/// EMF header, or bounds beyond kMaxPicturePixels; "" when it may be drawn.
QString metafileRefusal(const QByteArray &bytes);

/// The enhanced metafile in a file, checked by its header and ready to be
/// drawn; nothing for a missing, overly large (kMaxMetafileBytes) or refused
/// file, and for metafile kinds other than EMF. Refusals are logged as for
/// bitmaps.
std::optional<QByteArray> readMetafile(const QString &path);

/// Draws an enhanced metafile into a transparent picture of size (in
/// device-independent pixels, at ratio device pixels each): scaled to the
/// whole picture when fit, else at its own size from the top left corner.
/// A null image when it cannot be converted. Touches no widget, so it may
/// run on any thread.
QImage drawMetafile(const QByteArray &bytes, QSize size, double ratio, bool fit);

} // namespace framla::imaging
