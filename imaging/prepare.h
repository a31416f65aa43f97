#pragma once

#include "core/app_files.h"
#include "runtime/tool_command.h"

#include <QSize>
#include <QString>
#include <QStringList>

namespace framla::runtime {
struct RunOutcome;
}

namespace framla::imaging {

/// A file name as the image tools must see it: one that starts with "-"
/// would be taken for an option, so it is given as "./-...".
QString toolFileName(const QString &name);
/// The resource limits every image-tool run starts with: room for a photo of
/// kMaxPicturePixels, and a picture larger than that fails at once instead
/// of filling the memory and the disk. A system policy of ImageMagick may
/// lower them further.
QStringList imageToolLimits();
/// An image tool's command: run hidden and waited for, within imageToolLimits.
runtime::ToolCommand imageToolCommand(const QString &tool, const QStringList &args);

/// Why a photo is refused, as the operator is told.
inline constexpr auto kCutShortReason = "the photo is damaged: its image data is cut short";
inline constexpr auto kCorruptReason = "the photo is damaged: its image data is corrupt";

/// Why a source must not be prepared, found from the file before any tool
/// runs: more pixels than a picture may have by its header, or a JPEG whose
/// data does not run whole to its end marker (noise after that marker is no
/// part of the picture and does no harm). "" otherwise, also for a file that
/// cannot be read: the tool's own run finds that out.
QString sourceRefusal(const QString &path);
/// Why the picture an image tool read is not whole, from the warnings it
/// wrote (the tool exits 0 and fills what is missing with grey): "" when it
/// wrote none of the JPEG decoder's warnings about missing or corrupt data.
QString damageReason(const QByteArray &standardError);
/// Runs an image tool through the program's runner within the image tools'
/// time limit; a failure is logged with the tool's message.
runtime::RunOutcome runImageTool(ProgramState &state, const runtime::ToolCommand &command);

/// The crop in image pixels, each number truncated toward zero.
struct CropArgument {
    qint64 W = 0;
    qint64 H = 0;
    qint64 L = 0;
    qint64 T = 0;
    /// "WxH+L+T", as the crop tool takes it.
    QString text() const;
    bool operator==(const CropArgument &) const = default;
};

/// Maps the crop marks (view coordinates, y upward, either corner order) onto
/// the picture's pixels. The scale follows the picture's width when it is
/// relatively wider than the screen box, else its height; a zero size gives 0.
/// Fractions of the marks are scaled as they are, so a 4:3 or square box
/// gives a crop of that proportion to within one pixel.
CropArgument cropArgument(QSize anSize, QSize aScrnSize, const CropCoords &aCropCoords);

/// The three adjustment controls, each 0 to 9.
struct Adjustment {
    int bright = 4;
    int gamma = 0;
    int contrast = 0;
};

/// The values as Prepare uses them: each clamped to 0..9.
Adjustment clamped(const Adjustment &adjustment);

/// Brightness for -modulate: (b + 1) x 20, 100 leaving the picture as it is.
QString brightnessArgument(int bright);
/// Gamma: (g + 10) / 10 with two decimals, "1.00" to "1.90".
QString gammaArgument(int gamma);
/// Black point for -level: c x 10 on the 0..255 scale, written as a
/// percentage so that every ImageMagick build (8- or 16-bit) reads the same
/// level: 90 is "35.29%".
QString contrastArgument(int contrast);

/// What every run that reads a photo does to it first: turned upright by its
/// orientation tag, in sRGB (a CMYK JPEG would come out as a negative), and
/// laid on white (transparency would turn black in a JPEG).
QStringList uprightSrgbArguments();

/// convert "source" -auto-orient -colorspace sRGB -background white -alpha remove
///   -alpha off -crop WxH+L+T -strip scratch.jpg (without the camera's metadata)
runtime::ToolCommand cropCommand(const QString &cFilename, const CropArgument &crop);
/// mogrify -modulate B -gamma G -level C scratch.jpg
runtime::ToolCommand adjustmentCommand(const Adjustment &adjustment);
/// The file the quarter turn is written to before it replaces the source:
/// beside the source, so that the replacement is one rename.
QString rotationFile(const QString &cFilename);
/// convert "file" -auto-orient -rotate 90 "turned file": the turn is of the
/// picture as the view shows it.
runtime::ToolCommand rotateCommand(const QString &cFilename);

/// What a preview is made from: the source picture and the crop marked on it.
struct PreviewSource {
    QString cFilename;      ///< the source picture
    QSize anSize;           ///< its size in pixels
    QSize aScrnSize;        ///< the part of the source view that stands for it
    CropCoords aCropCoords; ///< the crop marks, in source-view pixels

    /// The source the program state holds now.
    static PreviewSource of(const ProgramState &state);
};

/// Makes the preview "scratch.jpg" from the source: the crop, then the
/// adjustment with the three values of the window's controls, each run and
/// waited for. The previous preview is removed first; when either step
/// fails, the preview is removed again, the failure is logged and the result
/// is false, so no old or half-made preview is taken for this source's. A
/// source refused by sourceRefusal, or one the crop found damaged, makes no
/// preview either; why then says so (else it is left empty).
bool Prepare(ProgramState &state, const PreviewSource &source, const Adjustment &adjustment,
             QString *why = nullptr);

/// Turns the source file a quarter turn clockwise. The turned picture is
/// written beside it and replaces it only when the tool succeeded; false,
/// with the source untouched, otherwise.
bool SrcRotate(ProgramState &state, const QString &cFilename);

} // namespace framla::imaging
