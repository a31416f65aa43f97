#include "crop_geometry.h"

#include "core/value.h"

#include <cmath>
#include <utility>

namespace framla::imaging {

using core::safeDiv;

namespace {
/// The nearest whole pixel (halves away from zero).
int pixel(double value)
{
    return int(std::lround(value));
}
} // namespace

CropCoords noCropMarks(QSize ascrnSize)
{
    return {QPoint(0, 0), QPoint(ascrnSize.width(), ascrnSize.height())};
}

CropCoords &NORMCROPS(CropCoords &aCrop)
{
    QPoint &first = aCrop[0];
    QPoint &second = aCrop[1];
    if (first.x() > second.x()) {
        const int x = first.x();
        first.setX(second.x());
        second.setX(x);
    }
    if (first.y() < second.y()) {
        const int y = first.y();
        first.setY(second.y());
        second.setY(y);
    }
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
    if (cropRatio(aCrop) < 1)
        aCrop[1].setX(pixel(aCrop[0].x() + h / nCropRat)); // taller than wide: widen to the right
    else
        aCrop[1].setY(pixel(aCrop[0].y() - w * nCropRat)); // otherwise the bottom edge moves
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
    QPoint &upperLeft = aCrop[0];
    QPoint &lowerRight = aCrop[1];
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
    const QPoint step = to - from;
    aCrop[0] += step;
    aCrop[1] += step;
}

void stretchBy(CropCoords &aCrop, QPoint from, QPoint to)
{
    const QPoint step = to - from;
    QPoint &first = aCrop[0];
    QPoint &second = aCrop[1];
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
