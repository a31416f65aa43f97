// Photos that are damaged, CMYK, transparent, turned by their tag, full of
// camera metadata or claiming more pixels than they hold, through the real
// ImageMagick: what the batch's put and the window's preview make of each.
#include "core/program_state.h"
#include "imaging/batch_prepare.h"
#include "runtime/files.h"
#include "runtime/shell.h"

#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace framla;

namespace {

/// An APP1 segment with the camera's metadata: its make, the orientation
/// given, and a GPS directory (latitude "N").
QByteArray cameraSegment(quint16 orientation)
{
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    const auto u16 = [&](quint16 v) { tiff.append(char(v & 0xFF)).append(char(v >> 8)); };
    const auto u32 = [&](quint32 v) { u16(quint16(v & 0xFFFF)), u16(quint16(v >> 16)); };
    u16(3);
    u16(0x010F), u16(2), u32(4), tiff.append("Cam\0", 4);  // Make
    u16(0x0112), u16(3), u32(1), u16(orientation), u16(0); // Orientation
    u16(0x8825), u16(4), u32(1), u32(8 + 2 + 3 * 12 + 4);  // the GPS directory
    u32(0);
    u16(1), u16(0x0001), u16(2), u32(2), tiff.append("N\0\0\0", 4), u32(0); // GPSLatitudeRef
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray length(2, '\0');
    qToBigEndian<quint16>(quint16(payload.size() + 2), length.data());
    return QByteArray("\xFF\xE1", 2) + length + payload;
}

/// "red", "white"... for the mean of a 6x6 patch around a point.
QString colourAt(const QImage &image, QPoint at)
{
    int sum[3] = {0, 0, 0};
    for (int y = at.y() - 3; y < at.y() + 3; ++y) {
        for (int x = at.x() - 3; x < at.x() + 3; ++x) {
            const QRgb p = image.pixel(x, y);
            sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p);
        }
    }
    static const char *names[] = {"black", "blue",    "green",  "cyan",
                                  "red",   "magenta", "yellow", "white"};
    return QLatin1String(
        names[(sum[0] > 36 * 128) * 4 + (sum[1] > 36 * 128) * 2 + (sum[2] > 36 * 128)]);
}

} // namespace

class TestPhotoFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void preparations_data();
    void preparations();

private:
    /// A picture made by convert with the arguments given.
    QByteArray made(const QStringList &args);
    /// What was made, or why nothing was: "WxH top-left centre bottom-right [exif]".
    QString described(bool made, const QString &why, const QString &file);

    QTemporaryDir m_dir;
    std::unique_ptr<runtime::ProcessShell> m_shell;
    ProgramState m_state;
};

void TestPhotoFaults::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_shell = std::make_unique<runtime::ProcessShell>(m_dir.path(), nullptr);
    m_state.services.shell = m_shell.get();
    m_state.cAppPath = m_dir.path();
}

QByteArray TestPhotoFaults::made(const QStringList &args)
{
    const QString file = m_dir.filePath(QStringLiteral("made"));
    runtime::ToolCommand command;
    command.tool = QStringLiteral("convert");
    command.args = args;
    command.args.last() = command.args.last() + ':' + file;
    command.viaStart = false;
    if (!m_shell->run(command, 60000).succeeded())
        return {};
    return runtime::readWholeFile(file).value_or(QByteArray());
}

QString TestPhotoFaults::described(bool made, const QString &why, const QString &file)
{
    if (!made)
        return QStringLiteral("refused: ") + why;
    const QImage image(file);
    runtime::ToolCommand identify;
    identify.tool = QStringLiteral("identify");
    identify.args = QStringList{QStringLiteral("-format"), QStringLiteral("%[EXIF:*]"), file};
    identify.viaStart = false;
    const bool exif = !m_shell->run(identify, 60000).standardOutput.trimmed().isEmpty();
    const int w = image.width();
    const int h = image.height();
    return QStringLiteral("%1x%2 %3 %4 %5%6")
        .arg(w)
        .arg(h)
        .arg(colourAt(image, {4, 4}), colourAt(image, {w / 2, h / 2}),
             colourAt(image, {w - 4, h - 4}), exif ? QStringLiteral(" exif") : QString());
}

void TestPhotoFaults::preparations_data()
{
    QTest::addColumn<QByteArray>("photo");
    QTest::addColumn<QString>("batch");  // what the batch's put makes (size M), or why not
    QTest::addColumn<QString>("window"); // what the window's preview makes, or why not

    const QByteArray red = made({"-size", "400x300", "xc:red", "jpg"});
    const QByteArray redBlue = made(
        {"-size", "400x300", "xc:red", "-fill", "blue", "-draw", "rectangle 300,0 399,299", "jpg"});
    QVERIFY(red.size() > 400 && redBlue.size() > 400);
    QByteArray noise(30000, '\0');
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    const QString cut = QLatin1String(imaging::kCutShortReason);
    const QString corrupt = QLatin1String(imaging::kCorruptReason);
    const QByteArray camera = red.left(2) + cameraSegment(1) + red.mid(2);
    QFile bomb(QStringLiteral(FRAMLA_SOURCE_DIR
                              "/tests/fuzz/corpus/fuzz_picture_reader/bomb-progressive.jpg"));
    QVERIFY(bomb.open(QIODevice::ReadOnly));
    const QString tooLarge = "the photo is too large: 40000 x 40000 pixels, more than the 100 "
                             "megapixels a picture may have";
    // clang-format off
    QTest::newRow("good JPEG") << red << "320x240 red red red" << "400x300 red red red";
    QTest::newRow("cut in half") << red.left(red.size() / 2) << "refused: " + cut << "refused: " + cut;
    QTest::newRow("cut, then noise") << red.left(red.size() / 2) + noise << "refused: " + corrupt << "refused: " + corrupt;
    QTest::newRow("noise after its end") << red + noise << "320x240 red red red" << "400x300 red red red";
    QTest::newRow("CMYK") << made({"-size", "400x300", "xc:red", "-colorspace", "CMYK", "jpg"}) << "320x240 red red red" << "400x300 red red red";
    QTest::newRow("transparent PNG") << made({"-size", "400x300", "xc:none", "-fill", "red", "-draw", "circle 200,150 200,60", "png32"}) << "320x240 white red white" << "400x300 white red white";
    QTest::newRow("turned by its tag") << redBlue.left(2) + cameraSegment(6) + redBlue.mid(2) << "240x320 red red blue" << "300x400 red red blue";
    QTest::newRow("camera metadata") << camera << "320x240 red red red" << "400x300 red red red";
    QTest::newRow("header of 40000 x 40000") << bomb.readAll() << "refused: " + tooLarge << "refused: " + tooLarge;
    // clang-format on
}

void TestPhotoFaults::preparations()
{
    QFETCH(QByteArray, photo);
    QFETCH(QString, batch);
    QFETCH(QString, window);
    const QString source = m_dir.filePath(QStringLiteral("photo.jpg"));
    QVERIFY(runtime::writeWholeFile(source, photo));
    const QSize size = imaging::photoSize(source);
    const imaging::PreviewSource whole{
        source, size, size, {QPointF(0, 0), QPointF(size.width(), size.height())}};

    const QString out = m_dir.filePath(QStringLiteral("out.jpg"));
    QString why;
    const bool put = imaging::prepareForPut(m_state, whole, {}, 320, out, &why);
    QCOMPARE(described(put, why, out), batch);

    why.clear();
    const bool preview = imaging::Prepare(m_state, whole, {}, &why);
    QCOMPARE(described(preview, why, m_dir.filePath(QStringLiteral("scratch.jpg"))), window);
}

QTEST_GUILESS_MAIN(TestPhotoFaults)
#include "tst_photo_faults.moc"
