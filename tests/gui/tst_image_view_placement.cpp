// Placing pictures in the views: the delete flags for every mode letter in
// and out of Inventory mode, the built-in pictures, the no-image picture
// under a new one, the crop box, and deleting the source file.
#include "core/program_state.h"
#include "imaging/acquisition.h"
#include "imaging/image_view.h"
#include "imaging/placement.h"
#include "tst_image_view_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace framla;
using imaging::HangPicture;
using imaging::ImageView;
using test::near;

namespace {
const QColor kRed(220, 0, 0);
const QColor kBlue(0, 0, 220);
const QColor kPanelGrey(192, 192, 192);
const CropCoords kNoMarks{QPoint(0, 0), QPoint(274, 252)};

/// Saves what a widget shows when FRAMLA_SCREENSHOT_DIR names a folder.
void keepScreenshot(QWidget *widget, const QString &name)
{
    const QString folder = qEnvironmentVariable("FRAMLA_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        widget->grab().save(QDir(folder).filePath(name));
}
} // namespace

class TestImageViewPlacement : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void flags_data();
    void flags();
    void waitIsAlwaysBuiltin();
    void noImageUnderNewPicture();
    void cropBox_data();
    void cropBox();
    void fractionalBoxAtPixels_data();
    void fractionalBoxAtPixels();
    void laterPlacementRemovesBox();
    void deleteSource_data();
    void deleteSource();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
    ProgramState m_state;
    std::unique_ptr<ImageView> m_view;
};

void TestImageViewPlacement::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    m_state = ProgramState();
    m_state.cAppPath = m_dir->path();
    m_view = std::make_unique<ImageView>();
    m_view->resize(278, 256);
    QVERIFY(test::writePicture(QStringLiteral("source.jpg"), QSize(1600, 1200), kRed));
    QVERIFY(test::writePicture(QStringLiteral("scratch.jpg"), QSize(583, 583), kBlue));
}

void TestImageViewPlacement::cleanup()
{
    m_view.reset();
    QDir::setCurrent(m_previousDir);
}

void TestImageViewPlacement::flags_data()
{
    QTest::addColumn<bool>("inventory");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("srcBefore");
    QTest::addColumn<bool>("targBefore");
    QTest::addColumn<bool>("srcAfter");
    QTest::addColumn<bool>("targAfter");
    QTest::addColumn<QString>("shown");

    const QString src = QStringLiteral("source.jpg");
    const QString scratch = QStringLiteral("scratch.jpg");
    const QString missing = QStringLiteral("missing.jpg");
    const QString noImage = QStringLiteral("noimage.gif");

    // An existing source file, Inventory mode: the letters have the last word.
    QTest::newRow("inv S") << true << src << "S" << false << false << true << true << src;
    QTest::newRow("inv SW") << true << src << "SW" << true << false << false << true << src;
    QTest::newRow("inv T") << true << src << "T" << false << false << true << true << src;
    QTest::newRow("inv TW") << true << src << "TW" << false << true << true << false << src;
    QTest::newRow("inv none") << true << src << "" << false << false << true << true << src;
    QTest::newRow("inv unknown letter")
        << true << src << "Q" << false << false << true << true << src;
    // Outside Inventory mode the letters change nothing in this branch.
    QTest::newRow("out S") << false << src << "S" << false << false << true << true << src;
    QTest::newRow("out SW") << false << src << "SW" << false << false << true << true << src;
    QTest::newRow("out T") << false << src << "T" << false << false << true << true << src;
    QTest::newRow("out TW") << false << src << "TW" << false << false << true << true << src;
    // The preview never makes the source deletable.
    QTest::newRow("inv scratch TW")
        << true << scratch << "TW" << false << true << false << false << scratch;
    QTest::newRow("inv scratch TW keeps src")
        << true << scratch << "TW" << true << true << true << false << scratch;
    QTest::newRow("out scratch TW")
        << false << scratch << "TW" << false << false << false << true << scratch;
    // A file that does not exist shows the no-image picture; only SW and TW act.
    QTest::newRow("missing S") << true << missing << "S" << false << true << false << true
                               << noImage;
    QTest::newRow("missing S, set")
        << true << missing << "S" << true << false << true << false << noImage;
    QTest::newRow("missing SW") << true << missing << "SW" << true << true << false << true
                                << noImage;
    QTest::newRow("missing T") << true << missing << "T" << true << false << true << false
                               << noImage;
    QTest::newRow("missing TW") << true << missing << "TW" << true << true << true << false
                                << noImage;
    QTest::newRow("out missing SW")
        << false << missing << "SW" << true << true << false << true << noImage;
    QTest::newRow("out missing TW")
        << false << missing << "TW" << true << true << true << false << noImage;
    QTest::newRow("wait SW") << true << "wait.gif"
                             << "SW" << true << true << false << true << "wait.gif";
    QTest::newRow("wait TW") << false << "wait.gif"
                             << "TW" << true << true << true << false << "wait.gif";
}

void TestImageViewPlacement::flags()
{
    QFETCH(bool, inventory);
    QFETCH(QString, file);
    QFETCH(QString, mode);
    QFETCH(bool, srcBefore);
    QFETCH(bool, targBefore);
    QFETCH(bool, srcAfter);
    QFETCH(bool, targAfter);
    QFETCH(QString, shown);
    m_state.aLocalCfg[0] = inventory;
    m_state.lInventory = !inventory; // the option slot counts, not the variable
    m_state.lOk2DelSrc = srcBefore;
    m_state.lOk2DelTarg = targBefore;
    HangPicture(m_state, file, m_view.get(), mode);
    QCOMPARE(m_state.lOk2DelSrc, srcAfter);
    QCOMPARE(m_state.lOk2DelTarg, targAfter);
    QCOMPARE(m_view->file(), shown);
    QVERIFY(m_view->isVisible());
}

void TestImageViewPlacement::waitIsAlwaysBuiltin()
{
    // A file of that name in the program's directory is not what is shown.
    QVERIFY(test::writePicture(QStringLiteral("wait.gif"), QSize(141, 130), kBlue, "PNG"));
    m_state.lOk2DelTarg = false;
    HangPicture(m_state, QStringLiteral("wait.gif"), m_view.get(), QStringLiteral("SW"));
    QCOMPARE(m_view->file(), QStringLiteral("wait.gif"));
    QVERIFY(near(m_view->surface().pixelColor(10, 10), kPanelGrey, 4));
    // Placed as the waiting picture, not as a file that was found.
    QVERIFY(!m_state.lOk2DelTarg);
    QVERIFY(!m_state.lOk2DelSrc);
}

void TestImageViewPlacement::noImageUnderNewPicture()
{
    // A tall blue picture first, then the wide red source: below the red
    // one the no-image picture shows, not the blue one.
    QVERIFY(test::writePicture(QStringLiteral("tall.png"), QSize(1200, 1600), kBlue, "PNG"));
    HangPicture(m_state, QStringLiteral("tall.png"), m_view.get(), QStringLiteral("S"));
    QVERIFY(near(m_view->surface().pixelColor(100, 230), kBlue, 2));
    HangPicture(m_state, QStringLiteral("source.jpg"), m_view.get(), QStringLiteral("S"));
    QVERIFY(near(m_view->surface().pixelColor(100, 100), kRed));
    QVERIFY(near(m_view->surface().pixelColor(100, 240), kPanelGrey, 4));
}

void TestImageViewPlacement::cropBox_data()
{
    QTest::addColumn<bool>("given");
    QTest::addColumn<CropCoords>("marks");
    QTest::addColumn<bool>("drawn");
    QTest::newRow("not given") << false << CropCoords{QPoint(50, 200), QPoint(150, 100)} << false;
    QTest::newRow("no crop marks") << true << kNoMarks << false;
    QTest::newRow("marked") << true << CropCoords{QPoint(50, 200), QPoint(150, 100)} << true;
    QTest::newRow("one number differs")
        << true << CropCoords{QPoint(0, 0), QPoint(274, 251)} << true;
    QTest::newRow("reversed corners")
        << true << CropCoords{QPoint(150, 100), QPoint(50, 200)} << true;
}

void TestImageViewPlacement::cropBox()
{
    QFETCH(bool, given);
    QFETCH(CropCoords, marks);
    QFETCH(bool, drawn);
    m_view->show();
    HangPicture(m_state, QStringLiteral("source.jpg"), m_view.get(), QStringLiteral("S"),
                given ? std::optional<CropCoords>(marks) : std::nullopt);
    QCOMPARE(m_view->cropBox().has_value(), drawn);
    if (!drawn)
        return;
    QCOMPARE(*m_view->cropBox(), marks);
    const ui::LineAttributes line = m_view->presSpace().lineAttributes();
    QCOMPARE(line.mixMode, ui::kMixInvert);
    QCOMPARE(line.width, 2);
    QCOMPARE(line.lineType, 0);
    // The box is painted over the picture in dark and light dashes, so that
    // it shows on any picture; the picture itself is unchanged.
    const QImage shown = m_view->canvas()->grab().toImage();
    keepScreenshot(m_view.get(), QStringLiteral("placement-crop-box.png"));
    if (marks.at(1) == QPoint(150, 100) || marks.at(0) == QPoint(150, 100)) {
        int dark = 0;
        int light = 0;
        for (int y = 60; y < 150; ++y) {
            const QColor edge = shown.pixelColor(50, y);
            dark += near(edge, Qt::black) ? 1 : 0;
            light += near(edge, Qt::white) ? 1 : 0;
        }
        QVERIFY2(dark > 20 && light > 20,
                 qPrintable(QStringLiteral("%1 dark, %2 light").arg(dark).arg(light)));
        QCOMPARE(dark + light, 90);
        QVERIFY(near(shown.pixelColor(100, 150), kRed));
    }
    QVERIFY(near(m_view->surface().pixelColor(50, 150), kRed));
}

void TestImageViewPlacement::fractionalBoxAtPixels_data()
{
    QTest::addColumn<CropCoords>("marks");
    QTest::addColumn<CropCoords>("pixels");
    QTest::newRow("a quarter down") << CropCoords{QPointF(50, 200), QPointF(150, 124.25)}
                                    << CropCoords{QPointF(50, 200), QPointF(150, 124)};
    QTest::newRow("a half up") << CropCoords{QPointF(50, 200), QPointF(150, 124.5)}
                               << CropCoords{QPointF(50, 200), QPointF(150, 125)};
    QTest::newRow("thirds") << CropCoords{QPointF(49 + 1 / 3.0, 200), QPointF(150 + 2 / 3.0, 110)}
                            << CropCoords{QPointF(49, 200), QPointF(151, 110)};
}

void TestImageViewPlacement::fractionalBoxAtPixels()
{
    // The marks keep fractions; the box shows them at the nearest whole pixels.
    QFETCH(CropCoords, marks);
    QFETCH(CropCoords, pixels);
    m_view->show();
    HangPicture(m_state, QStringLiteral("source.jpg"), m_view.get(), QStringLiteral("S"), pixels);
    const QImage expected = m_view->canvas()->grab().toImage();
    HangPicture(m_state, QStringLiteral("source.jpg"), m_view.get(), QStringLiteral("S"), marks);
    QCOMPARE(*m_view->cropBox(), marks);
    QCOMPARE(m_view->canvas()->grab().toImage(), expected);
}

void TestImageViewPlacement::laterPlacementRemovesBox()
{
    HangPicture(m_state, QStringLiteral("source.jpg"), m_view.get(), QStringLiteral("S"),
                CropCoords{QPoint(50, 200), QPoint(150, 100)});
    QVERIFY(m_view->cropBox().has_value());
    HangPicture(m_state, QStringLiteral("source.jpg"), m_view.get(), QStringLiteral("S"));
    QVERIFY(!m_view->cropBox().has_value());
}

void TestImageViewPlacement::deleteSource_data()
{
    QTest::addColumn<bool>("inventory");
    QTest::newRow("Inventory mode") << true;
    QTest::newRow("Cust/Sup mode") << false;
}

void TestImageViewPlacement::deleteSource()
{
    QFETCH(bool, inventory);
    m_state.aLocalCfg[0] = inventory;
    const QString path = QDir(m_dir->path()).filePath(QStringLiteral("source.jpg"));
    HangPicture(m_state, path, m_view.get(), QStringLiteral("S"));
    QVERIFY(m_state.lOk2DelSrc);
    imaging::DelFile(m_state, path, m_view.get());
    QVERIFY(!QFile::exists(path));
    QCOMPARE(m_view->file(), QStringLiteral("noimage.gif"));
    QVERIFY(!m_state.lOk2DelSrc);
}

QTEST_MAIN(TestImageViewPlacement)
#include "tst_image_view_placement.moc"
