#pragma once

// Reading pictures for the image views: which names are accepted, the two
// built-in pictures, bitmaps decoded at the size the screen needs, and
// enhanced metafiles turned into SVG.

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QSize>
#include <QString>

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

/// The pixel size stored in a picture's header, without decoding it; an
/// invalid size when the file cannot be read as a picture.
QSize readPixelSize(const QString &path);

/// A bitmap as decoded for the screen, with its true pixel size.
struct DecodedBitmap {
    QImage image;  ///< possibly a smaller copy than the file holds
    QSize rawSize; ///< the file's own pixel size
};

/// Decodes a bitmap (a file or a resource path). neededFor gets the true
/// size and answers the size the screen needs; a picture larger than that is
/// decoded smaller (JPEG directly at the reduced size), so a camera file of
/// tens of megapixels never has to fit in memory whole. Orientation tags are
/// ignored, as the image tools that crop the file ignore them.
std::optional<DecodedBitmap> decodeBitmap(const QString &path,
                                          const std::function<QSize(QSize)> &neededFor);

/// True when the bytes start with a well-formed enhanced-metafile header.
bool looksLikeEmf(const QByteArray &bytes);

/// An enhanced metafile as an SVG document; nothing when the bytes are not a
/// metafile that can be read.
std::optional<QByteArray> emfToSvg(const QByteArray &bytes);

/// The metafile in a file as an SVG document; nothing for a missing, overly
/// large or unreadable file, and for metafile kinds other than EMF.
std::optional<QByteArray> metafileAsSvg(const QString &path);

} // namespace framla::imaging
