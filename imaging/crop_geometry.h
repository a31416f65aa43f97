#pragma once

// Pure arithmetic of the crop marks, in the source view's own coordinates:
// origin at the lower left of the drawing area, y upward, one unit per screen
// pixel. Nothing here touches a widget; the marking routines in crop.h apply
// these rules to the pointer positions they take.

#include "core/program_state.h"

#include <QPoint>
#include <QSize>

namespace framla::imaging {

/// The source view's drawing area, within which dragged marks are kept.
inline constexpr int kCropViewWidth = 278;
inline constexpr int kCropViewHeight = 256;
/// A pointer closer than this (in x or in y) to an edge catches that edge.
inline constexpr int kEdgeReach = 6;
/// The width / height limits of a freely drawn box, as the marking uses them.
inline constexpr double kMinCropRatio = 0.33;
inline constexpr double kMaxCropRatio = 3;

/// The rectangle meaning "no crop marks": {{0, 0}, screen box}.
CropCoords noCropMarks(QSize ascrnSize = ASCRN_SIZE);

/// Orders the corners in place so that the upper-left one comes first
/// (x1 <= x2, y1 >= y2); returns the same rectangle.
CropCoords &NORMCROPS(CropCoords &aCrop);

/// Width over height of a rectangle, either corner order; a zero height gives 0.
double cropRatio(const CropCoords &aCrop);

/// The fixed proportion rule on a normalised rectangle, in place: nCropRat is
/// height / width (0.75 for 4:3, 1 for square; 0 or less leaves the
/// rectangle free). A box taller than wide widens to the right, any other
/// moves its bottom edge. The moved corner keeps the fraction the rule makes
/// (a quarter or a third of a pixel), so the box has the proportion exactly.
/// Nothing is clamped to the view.
void applyProportion(CropCoords &aCrop, double nCropRat);

/// Whether a box of this shape is accepted: a free box (nCropRat 0) only
/// within the ratio limits, inclusive; a box of fixed proportion always.
bool proportionAccepted(const CropCoords &aCrop, double nMinRatio, double nMaxRatio,
                        double nCropRat);

/// Moves the box back inside the view without changing its size, in this
/// order: left edge to 1, bottom edge to 1, right edge to 278, top edge to
/// 256. The box is only shifted, so a fixed proportion and its fractions
/// stay exact. The rules assume the upper-left corner first; a box larger
/// than the view ends against the right or top border.
void keepInside(CropCoords &aCrop);

/// Moves both corners by the pointer's step from `from` to `to`.
void dragBy(CropCoords &aCrop, QPoint from, QPoint to);

/// One stretch step: every edge that the pointer was within kEdgeReach of
/// before the step (tested at `from`) moves with the pointer; then the box is
/// kept inside the view. Near both edges of a box under 12 units, both move.
/// The corners are not reordered when an edge is pulled past the opposite one.
void stretchBy(CropCoords &aCrop, QPoint from, QPoint to);

} // namespace framla::imaging
