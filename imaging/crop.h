#pragma once

// Marking the part of the source picture to keep. The three routines run
// modal loops of their own: until they return, every pointer press, release
// and motion of the program goes to them, whatever control it is over, and
// every other input is dropped. They draw their marks as an overlay on the
// source view (crosshairs, the box); the picture itself is never touched.

#include "core/program_state.h"

#include <QPoint>

#include <optional>

class QAbstractButton;
class QWidget;

namespace framla::imaging {

class ImageView;

/// The proportion rule and, for a free proportion, the limits on a
/// normalised rectangle. With nCropRat > 0 the rectangle is given that
/// height / width in place and returned. With nCropRat 0 a width / height
/// below nMinRatio or above nMaxRatio shows "Proportion too extreme!" and
/// gives {{0, 0}, ASCRN_SIZE} (no crop marks); otherwise the rectangle as it
/// is. A zero height counts as the ratio 0.
CropCoords CONSTRAIN(ProgramState &state, CropCoords &aCrop, double nMinRatio, double nMaxRatio,
                     double nCropRat);

/// Lets the operator give two opposite corners on the source view: press,
/// then press again at the opposite corner, or press, drag and release there
/// (a release where the first press was does not count). oXbpCrop is the
/// "Set crop marks" button, whose caption prompts "Click a corner", then
/// "Opposite corner", then reads "Set crop marks" again. Returns the corners
/// normalised and put through CONSTRAIN with the limits 0.33 and 3, and
/// leaves their box drawn on the view. Blocks until both corners are given;
/// if the view goes away or the program quits first, gives no crop marks.
CropCoords Crop(ProgramState &state, ImageView *oStat, QAbstractButton *oXbpCrop, double nCropRat);

/// The left-button press that started a drag or a stretch, which the caller
/// has already handled.
struct StartingPress {
    /// The control pressed on: it keeps the pointer until the release, so
    /// that positions stay in its coordinates when the pointer leaves it.
    QWidget *control = nullptr;
    /// Where, in that control's coordinates with y upward.
    QPoint pos;
};

/// Moves the crop box with the pointer until the left button is released,
/// then keeps it inside the view without changing its size. Changes
/// aCropCoords in place and returns it; the box is shown at its final place.
/// Without a starting press the first pointer event read is the reference
/// point (the pointer's travel before it is lost) and the view's canvas holds
/// the pointer.
CropCoords DRAGCROPS(ProgramState &state, ImageView *oStat, CropCoords &aCropCoords,
                     std::optional<StartingPress> press = std::nullopt);

/// Pulls the edges that the pointer was within 6 units of, step by step,
/// until the left button is released, keeping the box inside the view after
/// every step and once more at the end. The corners are not reordered.
/// Changes aCropCoords in place and returns it.
CropCoords STRETCHCROPS(ProgramState &state, ImageView *oStat, CropCoords &aCropCoords,
                        std::optional<StartingPress> press = std::nullopt);

/// True while one of the three routines holds the pointer: the window's own
/// per-event handlers must not act on the events it takes.
bool cropMarkingRunning();

} // namespace framla::imaging
