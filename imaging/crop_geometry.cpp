#include "crop_geometry.h"

#include "core/value.h"

#include <cmath>
#include <utility>

namespace framla::imaging {

using core::safeDiv;

CropCoords noCropMarks(QSize ascrnSize)
{
    return {QPointF(0, 0), QPointF(ascrnSize.width(), ascrnSize.height())};
}

CropCoords &NORMCROPS(CropCoords &aCrop)
{
    QPointF &first = aCrop[0];
    QPointF &second = aCrop[1];
    if (first.x() > second.x())
        std::swap(first.rx(), second.rx());
    if (first.y() < second.y())
        std::swap(first.ry(), second.ry());
    return aCrop;
}

double cropRatio(const CropCoords &aCrop)
{
    const double w = std::abs(aCrop[1].x() - aCrop[0].x());
    const double h = std::abs(aCrop[0].y() - aCrop[1].y());
    return safeDiv(w, h);
}

void applyProportion(CropCoords &aCrop, double nCropRat)
{
    if (!(nCropRat > 0))
        return;
    const double w = std::abs(aCrop[1].x() - aCrop[0].x());
    const double h = std::abs(aCrop[0].y() - aCrop[1].y());
    // The fraction the rule leaves is kept: rounding here would make the
    // crop of a large picture a few pixels off the proportion.
    if (cropRatio(aCrop) < 1)
        aCrop[1].setX(aCrop[0].x() + h / nCropRat); // taller than wide: widen to the right
    else
        aCrop[1].setY(aCrop[0].y() - w * nCropRat); // otherwise the bottom edge moves
}

bool proportionAccepted(const CropCoords &aCrop, double nMinRatio, double nMaxRatio,
                        double nCropRat)
{
    if (nCropRat != 0)
        return true;
    const double r = cropRatio(aCrop);
    return !(r < nMinRatio) && !(r > nMaxRatio);
}

void keepInside(CropCoords &aCrop)
{
    QPointF &upperLeft = aCrop[0];
    QPointF &lowerRight = aCrop[1];
    if (upperLeft.x() < 1) {
        lowerRight.rx() -= upperLeft.x() - 1;
        upperLeft.setX(1);
    }
    if (lowerRight.y() < 1) {
        upperLeft.ry() -= lowerRight.y() - 1;
        lowerRight.setY(1);
    }
    if (lowerRight.x() > kCropViewWidth) {
        upperLeft.rx() -= lowerRight.x() - kCropViewWidth;
        lowerRight.setX(kCropViewWidth);
    }
    if (upperLeft.y() > kCropViewHeight) {
        lowerRight.ry() -= upperLeft.y() - kCropViewHeight;
        upperLeft.setY(kCropViewHeight);
    }
}

void dragBy(CropCoords &aCrop, QPoint from, QPoint to)
{
    const QPointF step = to - from;
    aCrop[0] += step;
    aCrop[1] += step;
}

void stretchBy(CropCoords &aCrop, QPoint from, QPoint to)
{
    const QPointF step = to - from;
    QPointF &first = aCrop[0];
    QPointF &second = aCrop[1];
    // Every test is made before any edge moves, with the pointer's old place.
    const bool left = std::abs(from.x() - first.x()) < kEdgeReach;
    const bool top = std::abs(from.y() - first.y()) < kEdgeReach;
    const bool right = std::abs(from.x() - second.x()) < kEdgeReach;
    const bool bottom = std::abs(from.y() - second.y()) < kEdgeReach;
    if (left)
        first.rx() += step.x();
    if (top)
        first.ry() += step.y();
    if (right)
        second.rx() += step.x();
    if (bottom)
        second.ry() += step.y();
    keepInside(aCrop);
}

} // namespace framla::imaging
