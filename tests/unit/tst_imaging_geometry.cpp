// The pure arithmetic of the picture views and of the preview crop: where a
// picture lands in a view, and which pixels the crop marks stand for.
#include "core/program_state.h"
#include "imaging/crop_geometry.h"
#include "imaging/geometry.h"
#include "imaging/prepare.h"

#include <QTest>

#include <cmath>

using namespace framla;
using imaging::ViewRect;

Q_DECLARE_METATYPE(framla::imaging::ViewRect)
Q_DECLARE_METATYPE(framla::imaging::CropArgument)

namespace {
constexpr double kTolerance = 0.01;
const QSize kSourceView{278, 256};
const QSize kTargetView{141, 130};
} // namespace

class TestImagingGeometry : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fitting_data();
    void fitting();
    void decodeSize_data();
    void decodeSize();
    void crop_data();
    void crop();
    void proportionalCrop_data();
    void proportionalCrop();
};

void TestImagingGeometry::fitting_data()
{
    QTest::addColumn<QSizeF>("picture");
    QTest::addColumn<QSize>("canvas");
    QTest::addColumn<bool>("autoScale");
    QTest::addColumn<ViewRect>("expected");

    // Landscape fills the width and hangs from the top edge.
    QTest::newRow("1600x1200 landscape")
        << QSizeF(1600, 1200) << kSourceView << true << ViewRect{1, 48, 276, 254};
    // Portrait and square fill the height, starting at the left edge (never centred).
    QTest::newRow("1200x1600 portrait")
        << QSizeF(1200, 1600) << kSourceView << true << ViewRect{1, 1, 190.5, 254};
    QTest::newRow("square") << QSizeF(500, 500) << kSourceView << true << ViewRect{1, 1, 254, 254};
    // The aspect is compared with 1, not with the view's 276/254: just below
    // that the width still rules and the picture is taller than the view.
    QTest::newRow("aspect 1.05 overflows the top")
        << QSizeF(1050, 1000) << kSourceView << true << ViewRect{1, 1, 276, 276 / 1.05};
    QTest::newRow("aspect 276/254 fits exactly")
        << QSizeF(276, 254) << kSourceView << true << ViewRect{1, 1, 276, 254};
    QTest::newRow("aspect 1.1 leaves a band below")
        << QSizeF(1100, 1000) << kSourceView << true << ViewRect{1, 1 + 254 - 276 / 1.1, 276, 254};
    QTest::newRow("no-image picture in the target view")
        << QSizeF(141, 130) << kTargetView << true << ViewRect{1, 1, 139, 139 / (141.0 / 130)};
    // Natural size: drawn from the lower left corner 1,1 to w,h, then hung.
    QTest::newRow("natural size, small")
        << QSizeF(100, 50) << kSourceView << false << ViewRect{1, 205, 100, 254};
    QTest::newRow("natural size, large")
        << QSizeF(640, 480) << kSourceView << false << ViewRect{1, 1, 640, 480};
    QTest::newRow("zero height counts as aspect 0")
        << QSizeF(640, 0) << kSourceView << true << ViewRect{1, 1, 0, 254};
}

void TestImagingGeometry::fitting()
{
    QFETCH(QSizeF, picture);
    QFETCH(QSize, canvas);
    QFETCH(bool, autoScale);
    QFETCH(ViewRect, expected);
    const ViewRect got = imaging::fitRect(picture, canvas, autoScale);
    QVERIFY2(qAbs(got.x1 - expected.x1) < kTolerance && qAbs(got.y1 - expected.y1) < kTolerance &&
                 qAbs(got.x2 - expected.x2) < kTolerance && qAbs(got.y2 - expected.y2) < kTolerance,
             qPrintable(QStringLiteral("got {%1, %2, %3, %4}")
                            .arg(got.x1)
                            .arg(got.y1)
                            .arg(got.x2)
                            .arg(got.y2)));
}

void TestImagingGeometry::decodeSize_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("camera photo shrinks to the view")
        << QSize(6000, 4000) << 1.0 << QSize(275, 183);
    QTest::newRow("twice as many device pixels") << QSize(6000, 4000) << 2.0 << QSize(550, 366);
    QTest::newRow("small picture is never enlarged") << QSize(100, 50) << 1.0 << QSize(100, 50);
    QTest::newRow("portrait") << QSize(3000, 4000) << 1.0 << QSize(190, 253);
}

void TestImagingGeometry::decodeSize()
{
    QFETCH(QSize, picture);
    QFETCH(double, ratio);
    QFETCH(QSize, expected);
    const ViewRect target = imaging::fitRect(picture, kSourceView, true);
    QCOMPARE(imaging::neededPixels(picture, target, ratio), expected);
}

void TestImagingGeometry::crop_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<CropCoords>("marks");
    QTest::addColumn<QString>("expected");

    const CropCoords box{QPoint(50, 200), QPoint(150, 100)};
    QTest::newRow("landscape 1600x1200") << QSize(1600, 1200) << box << "583x583+291+303";
    QTest::newRow("portrait 1200x1600") << QSize(1200, 1600) << box << "634x634+317+330";
    QTest::newRow("corners in the other order")
        << QSize(1600, 1200) << CropCoords{QPoint(150, 100), QPoint(50, 200)} << "583x583+291+303";
    QTest::newRow("no picture loaded") << QSize(0, 0) << box << "0x0+0+0";
    QTest::newRow("no crop marks: the whole screen box")
        << QSize(1600, 1200) << CropCoords{QPoint(0, 0), QPoint(274, 252)} << "1600x1471+0+0";
    // Same aspect as the box: the height rules (rs < ri is false).
    QTest::newRow("picture of the box's own aspect")
        << QSize(274, 252) << CropCoords{QPoint(10, 252), QPoint(20, 242)} << "10x10+10+0";
    // A box pulled above the screen box gives a negative top offset.
    QTest::newRow("above the screen box")
        << QSize(274, 252) << CropCoords{QPoint(0, 256), QPoint(10, 246)} << "10x10+0+-4";
}

void TestImagingGeometry::crop()
{
    QFETCH(QSize, picture);
    QFETCH(CropCoords, marks);
    QFETCH(QString, expected);
    QCOMPARE(imaging::cropArgument(picture, ASCRN_SIZE, marks).text(), expected);
}

void TestImagingGeometry::proportionalCrop_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QPoint>("first");
    QTest::addColumn<QPoint>("second");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<QString>("expected");

    // 102 wide leaves a half in the height (76.5), 91 high a third in the width.
    const QPoint wideA(20, 230), wideB(122, 150), tallA(30, 220), tallB(100, 129);
    QTest::newRow("4000x3000, 4:3")
        << QSize(4000, 3000) << wideA << wideB << 0.75 << "1489x1116+291+321";
    QTest::newRow("3264x2448, 4:3, up and left")
        << QSize(3264, 2448) << wideB << wideA << 0.75 << "1215x911+238+262";
    QTest::newRow("1234x987, 4:3")
        << QSize(1234, 987) << tallA << QPoint(132, 150) << 0.75 << "459x344+135+144";
    QTest::newRow("1234x987, 4:3 from a tall box")
        << QSize(1234, 987) << tallB << tallA << 0.75 << "546x409+135+144";
    QTest::newRow("2448x3264, 4:3 from a tall box")
        << QSize(2448, 3264) << tallA << tallB << 0.75 << "1571x1178+388+414";
    QTest::newRow("4000x3000, square")
        << QSize(4000, 3000) << wideA << wideB << 1.0 << "1489x1489+291+321";
    QTest::newRow("1234x987, square, up and left")
        << QSize(1234, 987) << QPoint(132, 100) << tallA << 1.0 << "540x540+135+144";
    QTest::newRow("3264x2448, square from a tall box")
        << QSize(3264, 2448) << QPoint(90, 129) << tallA << 1.0 << "1084x1084+357+381";
}

void TestImagingGeometry::proportionalCrop()
{
    QFETCH(QSize, picture);
    QFETCH(QPoint, first);
    QFETCH(QPoint, second);
    QFETCH(double, ratio);
    QFETCH(QString, expected);
    CropCoords marks{first, second};
    imaging::applyProportion(imaging::NORMCROPS(marks), ratio);
    const imaging::CropArgument crop = imaging::cropArgument(picture, ASCRN_SIZE, marks);
    QCOMPARE(crop.text(), expected);
    // The proportion holds to within one pixel of the picture.
    QVERIFY2(std::abs(double(crop.H) - ratio * double(crop.W)) < 1, qPrintable(crop.text()));
}

QTEST_APPLESS_MAIN(TestImagingGeometry)
#include "tst_imaging_geometry.moc"
