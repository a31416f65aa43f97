// The image view on its own: which names it takes, the built-in pictures,
// where a picture lands, that nothing is erased, metafiles, and large photos.
#include "imaging/image_view.h"
#include "imaging/picture_reader.h"
#include "tst_image_view_support.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace framla;
using imaging::ImageView;
using test::near;

namespace {
const QColor kRed(220, 0, 0);
const QColor kBlue(0, 0, 220);
const QColor kGreen(0, 160, 0);

/// An enhanced metafile: the given records, then a green box as in makeEmf.
QByteArray emfOf(const QByteArray &records)
{
    QByteArray emf = test::makeEmf(kGreen);
    emf.insert(88, records);
    qToLittleEndian<quint32>(emf.size(), emf.data() + 48); // the file's size in its header
    return emf;
}

/// EMR_EXTTEXTOUTW: text at (10, 50).
QByteArray textRecord(const QString &text)
{
    QByteArray chars(reinterpret_cast<const char *>(text.utf16()), 2 * text.size());
    chars.append(QByteArray((4 - chars.size() % 4) % 4, '\0'));
    const quint32 n = quint32(text.size());
    const quint32 offDx = 76 + quint32(chars.size());
    QByteArray record;
    for (const quint32 word : {84u, offDx + 4 * n, 0u, 0u, 0u, 0u, 1u, 0u, 0u, 10u, 50u, n, 76u, 0u,
                               0u, 0u, 0u, 0u, offDx})
        test::emf::put32(record, word);
    record += chars;
    for (quint32 i = 0; i < n; ++i)
        test::emf::put32(record, 8);
    return record;
}

/// EMR_STRETCHDIBITS: a 4 x 4 24-bit bitmap over the whole metafile.
QByteArray bitmapRecord()
{
    QByteArray record;
    for (const quint32 word :
         {81u, 168u, 0u,        0u,  0u,  0u,  0u, 0u, 0u,        0u, 4u, 4u, 80u, 40u, 120u,
          48u, 0u,   0xCC0020u, 99u, 99u, 40u, 4u, 4u, 0x180001u, 0u, 0u, 0u, 0u,  0u,  0u})
        test::emf::put32(record, word);
    return record + QByteArray(48, '\x40');
}

} // namespace

class TestImageView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void loadNames_data();
    void loadNames();
    void builtinPictures_data();
    void builtinPictures();
    void pictureLands_data();
    void pictureLands();
    void nothingErased();
    void clipLimitsDrawing();
    void metafileDrawn();
    void metafileDrawsFromItselfOnly_data();
    void metafileDrawsFromItselfOnly();
    void hugePicturesRefused_data();
    void hugePicturesRefused();
    void largePhotoDecodedSmall_data();
    void largePhotoDecodedSmall();
    void growingViewDecodesAgain();

private:
    QColor at(int x, int y) const { return m_view->surface().pixelColor(x, y); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
    std::unique_ptr<ImageView> m_view;
};

void TestImageView::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    m_view = std::make_unique<ImageView>();
    m_view->resize(278, 256);
    m_view->show();
    QCOMPARE(m_view->canvas()->size(), QSize(278, 256));
}

void TestImageView::cleanup()
{
    m_view.reset();
    QDir::setCurrent(m_previousDir);
}

void TestImageView::loadNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // empty: no file of that name
    QTest::addColumn<bool>("loads");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("file");

    QByteArray jpeg;
    {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(kGreen);
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPG");
    }
    const QByteArray emf = test::makeEmf(kRed);
    // Every row first shows "previous.jpg" (640 x 480).
    QTest::newRow("jpeg extension is not taken: view emptied")
        << "photo.jpeg" << jpeg << false << 0 << "";
    QTest::newRow("missing file: previous picture kept")
        << "gone.jpg" << QByteArray() << false << 1 << "previous.jpg";
    QTest::newRow("upper-case name") << "RING.JPG" << jpeg << true << 1 << "RING.JPG";
    QTest::newRow("text anywhere in the name")
        << "ring.jpg.old" << jpeg << true << 1 << "ring.jpg.old";
    QTest::newRow("other extension: view emptied") << "notes.txt" << jpeg << false << 0 << "";
    QTest::newRow("unreadable bitmap: view emptied")
        << "broken.jpg" << QByteArray("not a picture") << false << 0 << "";
    QTest::newRow("enhanced metafile") << "drawing.emf" << emf << true << 2 << "drawing.emf";
    QTest::newRow("enhanced metafile, upper case")
        << "DRAWING.EMF" << emf << true << 2 << "DRAWING.EMF";
    // Only enhanced metafiles can be read; another kind is refused.
    QTest::newRow("OS/2 metafile")
        << "chart.met" << QByteArray("\xD3\xA8\xA8\x00 OS/2 GOCA", 14) << false << 0 << "";
    QByteArray damaged = emf;
    damaged[40] = 'X'; // not " EMF"
    QTest::newRow("damaged metafile header") << "bad.emf" << damaged << false << 0 << "";
    QByteArray cut = emf.left(120); // says it is longer than it is
    QTest::newRow("cut-off metafile") << "cut.emf" << cut << false << 0 << "";
    QTest::newRow("metafile over 2 MB")
        << "big.emf" << emf + QByteArray(2 * 1024 * 1024, '\0') << false << 0 << "";
    // Only the bitmap formats the names stand for are read, whatever else
    // Qt could read: an SVG would be drawn on the window's thread at any cost.
    QTest::newRow("SVG under a bitmap name")
        << "drawing.png"
        << QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"50\" height=\"40\">"
                      "<rect width=\"50\" height=\"40\" fill=\"red\"/></svg>")
        << false << 0 << "";
}

void TestImageView::loadNames()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, loads);
    QFETCH(int, mode);
    QFETCH(QString, file);
    QVERIFY(test::writePicture(QStringLiteral("previous.jpg"), QSize(640, 480), kBlue));
    QVERIFY(m_view->load(QStringLiteral("previous.jpg")));
    if (!content.isEmpty())
        QVERIFY(test::writeFile(name, content));

    QCOMPARE(m_view->load(name), loads);
    QCOMPARE(m_view->mode(), ImageView::Mode(mode));
    QCOMPARE(m_view->file(), file);
    // The raw size is that of the last bitmap loaded, also after a metafile.
    const QSize expected = loads && mode == 1 ? QSize(64, 48) : QSize(640, 480);
    QCOMPARE(m_view->rawSize(), expected);
}

void TestImageView::builtinPictures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QColor>("textColour");
    QTest::newRow("wait.gif") << "wait.gif" << QColor(224, 0, 0);
    QTest::newRow("noimage.gif") << "noimage.gif" << QColor(80, 80, 80);
}

void TestImageView::builtinPictures()
{
    QFETCH(QString, name);
    QFETCH(QColor, textColour);
    QVERIFY(!QFile::exists(name));
    QVERIFY(m_view->load(name));
    QCOMPARE(m_view->file(), name);
    QCOMPARE(m_view->mode(), ImageView::kBitmap);
    QCOMPARE(m_view->rawSize(), QSize(141, 130));
    // Grey, with the text in its colour somewhere in the middle band.
    const QImage picture(imaging::builtinResource(name));
    QCOMPARE(picture.size(), QSize(141, 130));
    QCOMPARE(picture.pixelColor(3, 3), QColor(192, 192, 192));
    bool textFound = false;
    for (int y = 30; y < 100 && !textFound; ++y)
        for (int x = 10; x < 130 && !textFound; ++x)
            textFound = near(picture.pixelColor(x, y), textColour, 8);
    QVERIFY(textFound);
}

void TestImageView::pictureLands_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("autoScale");
    QTest::addColumn<QRect>("covered");    // Qt pixels that must show the picture
    QTest::addColumn<QPoint>("uncovered"); // a Qt pixel that must not

    // 1600 x 1200: x 1 to 276, view y 48 to 254, that is Qt rows 2 to 207.
    QTest::newRow("landscape") << QSize(1600, 1200) << true << QRect(QPoint(2, 3), QPoint(274, 206))
                               << QPoint(100, 215);
    // 1200 x 1600: x 1 to 190.5 from the left edge, not centred.
    QTest::newRow("portrait") << QSize(1200, 1600) << true << QRect(QPoint(2, 3), QPoint(188, 253))
                              << QPoint(200, 100);
    QTest::newRow("square") << QSize(400, 400) << true << QRect(QPoint(2, 3), QPoint(252, 253))
                            << QPoint(262, 100);
    // Natural size, hung from the top: view 1..100 x 205..254.
    QTest::newRow("natural size") << QSize(100, 50) << false << QRect(QPoint(2, 3), QPoint(98, 50))
                                  << QPoint(50, 60);
}

void TestImageView::pictureLands()
{
    QFETCH(QSize, size);
    QFETCH(bool, autoScale);
    QFETCH(QRect, covered);
    QFETCH(QPoint, uncovered);
    QVERIFY(test::writePicture(QStringLiteral("p.png"), size, kRed, "PNG"));
    m_view->setAutoScale(autoScale);
    const QColor background = at(uncovered.x(), uncovered.y());
    QVERIFY(m_view->load(QStringLiteral("p.png")));
    m_view->display();
    for (const QPoint &p : {covered.topLeft(), covered.topRight(), covered.bottomLeft(),
                            covered.bottomRight(), covered.center()})
        QVERIFY2(near(at(p.x(), p.y()), kRed, 2),
                 qPrintable(QStringLiteral("at %1,%2").arg(p.x()).arg(p.y())));
    QCOMPARE(at(uncovered.x(), uncovered.y()), background);
}

void TestImageView::nothingErased()
{
    // A landscape red picture, then a portrait blue one: right of the blue
    // one, the red stays.
    QVERIFY(test::writePicture(QStringLiteral("wide.png"), QSize(1600, 1200), kRed, "PNG"));
    QVERIFY(test::writePicture(QStringLiteral("tall.png"), QSize(1200, 1600), kBlue, "PNG"));
    m_view->load(QStringLiteral("wide.png"));
    m_view->display();
    m_view->load(QStringLiteral("tall.png"));
    m_view->display();
    QVERIFY(near(at(100, 100), kBlue, 2));
    QVERIFY(near(at(240, 100), kRed, 2));
    // A repaint shows the same: the surface is what the canvas shows.
    const QImage shown = m_view->canvas()->grab().toImage();
    QVERIFY(near(shown.pixelColor(240, 100), kRed, 2));
    QVERIFY(near(shown.pixelColor(100, 100), kBlue, 2));
}

void TestImageView::clipLimitsDrawing()
{
    QVERIFY(test::writePicture(QStringLiteral("red.png"), QSize(400, 400), kRed, "PNG"));
    QVERIFY(test::writePicture(QStringLiteral("blue.png"), QSize(400, 400), kBlue, "PNG"));
    m_view->load(QStringLiteral("red.png"));
    m_view->display();
    m_view->load(QStringLiteral("blue.png"));
    // Repaint only view x 50..100, y 50..100 (Qt rows 156..206), widened by one.
    m_view->display(imaging::ViewRect{50, 50, 100, 100});
    QVERIFY(near(at(75, 180), kBlue, 2));
    QVERIFY(near(at(49, 180), kBlue, 2)); // the one-unit widening
    QVERIFY(near(at(47, 180), kRed, 2));
    QVERIFY(near(at(75, 100), kRed, 2));
}

void TestImageView::metafileDrawn()
{
    QVERIFY(test::writeFile(QStringLiteral("box.emf"), test::makeEmf(kGreen)));
    QVERIFY(m_view->load(QStringLiteral("box.emf")));
    m_view->display();
    QVERIFY(!near(at(139, 128), kGreen, 8)); // drawn on another thread, landing later
    // Scaled to the whole drawing area: the rectangle covers its middle
    // once the drawing, made aside, is done.
    QTRY_VERIFY(near(at(139, 128), kGreen, 8));
}

void TestImageView::metafileDrawsFromItselfOnly_data()
{
    QTest::addColumn<QByteArray>("records");
    QTest::addColumn<bool>("drawn");
    // The converter puts text in CDATA as it is: "]]>" ends it, and what
    // follows is markup. QtSvg would read the file linked, or the SVG held
    // as data, with links of its own.
    const QString blue = QDir::current().absoluteFilePath(QStringLiteral("blue.png"));
    const QByteArray svg("<svg xmlns=\"http://www.w3.org/2000/svg\"/>");
    const auto markup = [](const QString &inside) {
        return textRecord(QStringLiteral("a]]></svg:text>%1<svg:text><![CDATA[b").arg(inside));
    };
    QTest::newRow("text: drawn") << textRecord(QStringLiteral("Ring <18 ct> & chain ]]")) << true;
    QTest::newRow("a bitmap it holds: drawn") << bitmapRecord() << true;
    QTest::newRow("a picture on the disk")
        << markup(QStringLiteral("<svg:image xlink:href=\"%1\" width=\"99\" height=\"99\"/>")
                      .arg(blue))
        << false;
    QTest::newRow("an SVG held as a PNG")
        << markup(QStringLiteral("<svg:image xlink:href=\"data:image/png;base64,%1\" width=\"9\" "
                                 "height=\"9\"/>")
                      .arg(QString::fromLatin1(svg.toBase64())))
        << false;
    QTest::newRow("uses of a group")
        << markup(QStringLiteral("<svg:g id=\"g\"/><svg:use xlink:href=\"#g\"/>")) << false;
}

void TestImageView::metafileDrawsFromItselfOnly()
{
    QFETCH(QByteArray, records);
    QFETCH(bool, drawn);
    QVERIFY(test::writePicture(QStringLiteral("blue.png"), QSize(99, 99), kBlue, "PNG"));
    const QByteArray emf = emfOf(records);
    QCOMPARE(imaging::drawMetafile(emf, QSize(99, 99), 1.0, true).isNull(), !drawn);
    if (drawn)
        return;
    // Accepted on its header, then taken off the view when it cannot be drawn.
    QVERIFY(test::writeFile(QStringLiteral("bad.emf"), emf));
    QTest::ignoreMessage(
        QtInfoMsg, qPrintable(QStringLiteral("picture not readable: %1 - the metafile could "
                                             "not be drawn")
                                  .arg(QFileInfo(QStringLiteral("bad.emf")).absoluteFilePath())));
    QVERIFY(m_view->load(QStringLiteral("bad.emf")));
    QTRY_COMPARE(m_view->mode(), ImageView::kNothing);
    QCOMPARE(m_view->file(), QString());
}

void TestImageView::hugePicturesRefused_data()
{
    QTest::addColumn<QString>("name"); // in the picture reader's fuzz corpus
    QTest::addColumn<QSize>("size");
    // Each file is a few hundred bytes at most; decoded, it would take
    // gigabytes (a progressive JPEG's buffers are not under Qt's limit).
    QTest::newRow("progressive JPEG") << "bomb-progressive.jpg" << QSize(40000, 40000);
    QTest::newRow("baseline JPEG") << "bomb-baseline.jpg" << QSize(65000, 40000);
    QTest::newRow("PNG") << "bomb.png" << QSize(15000, 15000);
    QTest::newRow("BMP") << "bomb.bmp" << QSize(15000, 15000);
    QTest::newRow("GIF") << "bomb.gif" << QSize(15000, 15000);
    QTest::newRow("EMF bounds") << "bomb.emf" << QSize(200000, 200000);
    QTest::newRow("JPEG just under the limit: shown") << "baseline.jpg" << QSize(10000, 9999);
    QTest::newRow("JPEG of the limit exactly: shown") << "baseline.jpg" << QSize(10000, 10000);
}

void TestImageView::hugePicturesRefused()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QFile seed(QStringLiteral(FRAMLA_SOURCE_DIR "/tests/fuzz/corpus/fuzz_picture_reader/") + name);
    QVERIFY(seed.open(QIODevice::ReadOnly));
    QByteArray content = seed.readAll();
    const bool shown = qint64(size.width()) * size.height() <= 100'000'000;
    if (shown) // the JPEG's frame header made to claim size
        qToBigEndian<quint32>(size.height() << 16 | size.width(),
                              content.data() + content.indexOf("\xFF\xC0") + 5);
    QVERIFY(test::writeFile(name, content));
    if (!shown)
        QTest::ignoreMessage(
            QtInfoMsg, qPrintable(QStringLiteral("picture not readable: %1 - %2 x %3 pixels, more "
                                                 "than the 100 megapixels a picture may have")
                                      .arg(QFileInfo(name).absoluteFilePath())
                                      .arg(size.width())
                                      .arg(size.height())));
    QCOMPARE(m_view->load(name), shown);
    if (shown)
        QCOMPARE(m_view->rawSize(), size);
}

void TestImageView::largePhotoDecodedSmall_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    // Both beyond what Qt lets one picture take by default (128 MB in 6.4):
    // a camera JPEG, decoded directly at the view's size, and a PNG, which
    // can only be decoded whole and then scaled.
    QTest::newRow("70-megapixel JPEG") << "camera.jpg" << QSize(10000, 7000);
    QTest::newRow("40-megapixel PNG") << "scan.png" << QSize(8000, 5000);
}

void TestImageView::largePhotoDecodedSmall()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    {
        QImage image(size, QImage::Format_RGB888);
        image.fill(kGreen);
        QPainter(&image).fillRect(0, 0, size.width() / 2, size.height(), kRed);
        QVERIFY(image.save(name, nullptr, 80));
    }
    const int limit = QImageReader::allocationLimit();
    QImage whole;
    QVERIFY2(!QImageReader(name).read(&whole),
             "the photo must be beyond the default allocation limit for this test to mean much");

    QVERIFY(m_view->load(name));
    QCOMPARE(m_view->rawSize(), size);
    QVERIFY(m_view->bitmapBytes() < 1024 * 1024);
    QCOMPARE(QImageReader::allocationLimit(), limit); // left as it was
    m_view->display();
    QVERIFY(near(at(60, 100), kRed));
    QVERIFY(near(at(220, 100), kGreen));
}

void TestImageView::growingViewDecodesAgain()
{
    QVERIFY(test::writeHalves(QStringLiteral("big.jpg"), QSize(3000, 2000), kRed, kBlue));
    m_view->resize(139, 128);
    QVERIFY(m_view->load(QStringLiteral("big.jpg")));
    const qsizetype small = m_view->bitmapBytes();
    m_view->resize(556, 512);
    QVERIFY(m_view->bitmapBytes() > 3 * small);
    QCOMPARE(m_view->rawSize(), QSize(3000, 2000));
    QVERIFY(near(at(100, 200), kRed));
    QVERIFY(near(at(500, 200), kBlue));
}

QTEST_MAIN(TestImageView)
#include "tst_image_view.moc"
