#pragma once

// Pure geometry of the image views. View coordinates count from the LOWER
// left of the drawing area with y upward, one unit per screen pixel; Qt counts
// from the upper left with y downward. The two meet only in toWidget/toView.

#include <QPoint>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>

namespace framla::imaging {

/// A rectangle by two corners in view coordinates: {x1, y1} lower left,
/// {x2, y2} upper right, as the drawing routines give them.
struct ViewRect {
    double x1 = 0;
    double y1 = 0;
    double x2 = 0;
    double y2 = 0;
    bool operator==(const ViewRect &) const = default;
};

/// Where a picture of the given pixel size is drawn on a canvas of the given
/// size. With autoScale the picture's own aspect is compared with 1 (not with
/// the canvas's): wider than high fills the width, otherwise the height. The
/// picture always starts at the left edge and hangs from the top edge; what
/// reaches beyond the canvas is clipped by the caller.
ViewRect fitRect(QSizeF picture, QSize canvas, bool autoScale);

/// A view point as a Qt point on a canvas of the given height.
QPointF toWidget(QPointF view, int canvasHeight);
/// A view rectangle as a Qt rectangle on a canvas of the given height.
QRectF toWidget(const ViewRect &rect, int canvasHeight);
/// A pointer position on the canvas (Qt pixels) in view coordinates.
QPoint toView(QPoint widget, int canvasHeight);

/// The pixel size to decode a picture at so that it fills its rectangle on
/// the screen sharply: the rectangle's size in device pixels, rounded up,
/// never larger than the picture itself and never empty.
QSize neededPixels(QSize picture, const ViewRect &target, double devicePixelRatio);

} // namespace framla::imaging
