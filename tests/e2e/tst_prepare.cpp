// Preview preparation and the quarter turn with the real ImageMagick tools,
// run through the program's own tool runner.
#include "core/program_state.h"
#include "imaging/prepare.h"
#include "runtime/shell.h"
#include "support/scripted_dialogs.h"

#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace framla;

namespace {

/// Mean and standard deviation of the grey level, and the share of pixels
/// that are nearly black.
struct Statistics {
    double mean = 0;
    double spread = 0;
    double black = 0;
};

Statistics statisticsOf(const QString &path)
{
    const QImage image = QImage(path).convertToFormat(QImage::Format_Grayscale8);
    Statistics s;
    if (image.isNull())
        return s;
    double sum = 0;
    double squares = 0;
    qint64 dark = 0;
    const qint64 count = qint64(image.width()) * image.height();
    for (int y = 0; y < image.height(); ++y) {
        const uchar *line = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            sum += line[x];
            squares += double(line[x]) * line[x];
            dark += line[x] < 8 ? 1 : 0;
        }
    }
    s.mean = sum / count;
    s.spread = std::sqrt(squares / count - s.mean * s.mean);
    s.black = double(dark) / count;
    return s;
}

/// A photo-like 1600 x 1200 JPEG: a smooth grey ramp left to right, a red
/// left third so that turns can be told apart.
bool writeSource(const QString &path, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int x = 0; x < size.width(); ++x) {
        const int level = 255 * x / (size.width() - 1);
        QPainter(&image).fillRect(x, 0, 1, size.height(), QColor(level, level, level));
    }
    QPainter(&image).fillRect(0, 0, size.width() / 3, size.height() / 4, QColor(200, 0, 0));
    return image.save(path, "JPG", 92);
}

} // namespace

class TestPrepare : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void cropSize_data();
    void cropSize();
    void adjustmentDirection_data();
    void adjustmentDirection();
    void missingSourceLeavesNoPreview();
    void rotateTurnsFile();

private:
    void setControls(int bright, int gamma, int contrast);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
    test::ScriptedDialogs m_dialogs;
    std::unique_ptr<runtime::ProcessShell> m_shell;
    ProgramState m_state;
    imaging::Adjustment m_adjustment;
};

void TestPrepare::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    m_shell = std::make_unique<runtime::ProcessShell>(m_dir->path(), &m_dialogs);
    m_state = ProgramState();
    m_state.cAppPath = m_dir->path();
    m_state.services.shell = m_shell.get();
    m_state.services.dialogs = &m_dialogs;
    m_adjustment = {};
    setControls(4, 0, 0);
}

void TestPrepare::cleanup()
{
    QDir::setCurrent(m_previousDir);
}

void TestPrepare::setControls(int bright, int gamma, int contrast)
{
    m_adjustment = {bright, gamma, contrast};
}

void TestPrepare::cropSize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("source");
    QTest::addColumn<CropCoords>("marks");
    QTest::addColumn<QSize>("preview");

    const CropCoords box{QPoint(50, 200), QPoint(150, 100)};
    QTest::newRow("landscape 583x583") << "ring.jpg" << QSize(1600, 1200) << box << QSize(583, 583);
    QTest::newRow("portrait 634x634")
        << "pendant.jpg" << QSize(1200, 1600) << box << QSize(634, 634);
    QTest::newRow("blank in the folder")
        << "my photos/ring 2.jpg" << QSize(1600, 1200) << box << QSize(583, 583);
    // No crop marks: the whole picture, clipped to it by the tool.
    QTest::newRow("no crop marks")
        << "whole.jpg" << QSize(1600, 1200) << CropCoords{QPoint(0, 0), QPoint(274, 252)}
        << QSize(1600, 1200);
}

void TestPrepare::cropSize()
{
    QFETCH(QString, name);
    QFETCH(QSize, source);
    QFETCH(CropCoords, marks);
    QFETCH(QSize, preview);
    const QString path = QDir(m_dir->path()).filePath(name);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QVERIFY(writeSource(path, source));
    QVERIFY(imaging::Prepare(m_state, {path, source, ASCRN_SIZE, marks}, m_adjustment));
    QCOMPARE(QImageReader(QStringLiteral("scratch.jpg")).size(), preview);
    QCOMPARE(QDir::currentPath(), QDir(m_dir->path()).canonicalPath());
}

void TestPrepare::adjustmentDirection_data()
{
    QTest::addColumn<int>("bright");
    QTest::addColumn<int>("gamma");
    QTest::addColumn<int>("contrast");
    QTest::addColumn<int>("meanMoves");  // against the unadjusted preview: -1, 0, +1
    QTest::addColumn<bool>("stretched"); // wider spread, more black: contrast
    QTest::newRow("brighter") << 7 << 0 << 0 << +1 << false;
    QTest::newRow("darker") << 1 << 0 << 0 << -1 << false;
    QTest::newRow("gamma lifts the middle") << 4 << 6 << 0 << +1 << false;
    // The black point moves up and the white point down by as much: the
    // levels spread out, the darkest part goes black; the mean stays.
    QTest::newRow("contrast 3") << 4 << 0 << 3 << 0 << true;
    QTest::newRow("contrast 9") << 4 << 0 << 9 << 0 << true;
}

void TestPrepare::adjustmentDirection()
{
    QFETCH(int, bright);
    QFETCH(int, gamma);
    QFETCH(int, contrast);
    QFETCH(int, meanMoves);
    QFETCH(bool, stretched);
    const QString source = QDir(m_dir->path()).filePath(QStringLiteral("ramp.jpg"));
    QVERIFY(writeSource(source, QSize(800, 600)));
    const CropCoords all{QPoint(0, 0), QPoint(274, 252)};

    QVERIFY(imaging::Prepare(m_state, {source, QSize(800, 600), ASCRN_SIZE, all}, m_adjustment));
    const Statistics plain = statisticsOf(QStringLiteral("scratch.jpg"));
    QVERIFY(plain.mean > 60 && plain.mean < 200);

    setControls(bright, gamma, contrast);
    QVERIFY(imaging::Prepare(m_state, {source, QSize(800, 600), ASCRN_SIZE, all}, m_adjustment));
    const Statistics adjusted = statisticsOf(QStringLiteral("scratch.jpg"));
    const QString seen = QStringLiteral("mean %1 -> %2, spread %3 -> %4, black %5 -> %6")
                             .arg(plain.mean)
                             .arg(adjusted.mean)
                             .arg(plain.spread)
                             .arg(adjusted.spread)
                             .arg(plain.black)
                             .arg(adjusted.black);
    if (meanMoves > 0)
        QVERIFY2(adjusted.mean > plain.mean + 5, qPrintable(seen));
    else if (meanMoves < 0)
        QVERIFY2(adjusted.mean < plain.mean - 5, qPrintable(seen));
    if (stretched) {
        QVERIFY2(adjusted.spread > plain.spread + 5, qPrintable(seen));
        QVERIFY2(adjusted.black > plain.black + 0.05, qPrintable(seen));
    }
}

void TestPrepare::missingSourceLeavesNoPreview()
{
    const QString source = QDir(m_dir->path()).filePath(QStringLiteral("ring.jpg"));
    QVERIFY(writeSource(source, QSize(1600, 1200)));
    const CropCoords box{QPoint(50, 200), QPoint(150, 100)};
    QVERIFY(imaging::Prepare(m_state, {source, QSize(1600, 1200), ASCRN_SIZE, box}, m_adjustment));
    QVERIFY(QFile::exists(QStringLiteral("scratch.jpg")));
    QVERIFY(QFile::remove(source));
    QVERIFY(!imaging::Prepare(m_state, {source, QSize(1600, 1200), ASCRN_SIZE, box}, m_adjustment));
    QVERIFY(!QFile::exists(QStringLiteral("scratch.jpg")));
}

void TestPrepare::rotateTurnsFile()
{
    const QString source = QDir(m_dir->path()).filePath(QStringLiteral("turn me.jpg"));
    QVERIFY(writeSource(source, QSize(1600, 1200)));
    QVERIFY(imaging::SrcRotate(m_state, source));
    const QImage turned(source);
    QCOMPARE(turned.size(), QSize(1200, 1600));
    // Clockwise: the red upper-left corner is now upper right.
    const QColor upperRight = turned.pixelColor(1150, 50);
    const QColor upperLeft = turned.pixelColor(50, 50);
    QVERIFY(upperRight.red() > 150 && upperRight.green() < 60);
    QVERIFY(upperLeft.red() < 60);
    QCOMPARE(QDir::currentPath(), QDir(m_dir->path()).canonicalPath());
}

QTEST_MAIN(TestPrepare)
#include "tst_prepare.moc"
