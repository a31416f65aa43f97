#include "geometry.h"

#include "core/value.h"

#include <cmath>

namespace framla::imaging {

using core::safeDiv;

ViewRect fitRect(QSizeF picture, QSize canvas, bool autoScale)
{
    const double top = canvas.height() - 2;
    ViewRect rect{1, 1, double(canvas.width() - 2), top};
    if (autoScale) {
        const double aspect = safeDiv(picture.width(), picture.height());
        if (aspect > 1)
            rect.y2 = safeDiv(rect.x2, aspect);
        else
            rect.x2 = rect.y2 * aspect;
    } else {
        rect.x2 = picture.width();
        rect.y2 = picture.height();
    }
    // Hang the picture from the top edge; it is never centred.
    if (rect.y2 < top) {
        const double lift = top - rect.y2;
        rect.y1 += lift;
        rect.y2 += lift;
    }
    return rect;
}

QPointF toWidget(QPointF view, int canvasHeight)
{
    return {view.x(), canvasHeight - view.y()};
}

QRectF toWidget(const ViewRect &rect, int canvasHeight)
{
    return QRectF(toWidget(QPointF(rect.x1, rect.y2), canvasHeight),
                  toWidget(QPointF(rect.x2, rect.y1), canvasHeight))
        .normalized();
}

QPoint toView(QPoint widget, int canvasHeight)
{
    return {widget.x(), canvasHeight - widget.y()};
}

QSize neededPixels(QSize picture, const ViewRect &target, double devicePixelRatio)
{
    const double ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const int width = int(std::ceil(std::abs(target.x2 - target.x1) * ratio));
    const int height = int(std::ceil(std::abs(target.y2 - target.y1) * ratio));
    return {qBound(1, width, qMax(1, picture.width())),
            qBound(1, height, qMax(1, picture.height()))};
}

} // namespace framla::imaging
