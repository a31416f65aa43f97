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

using namespace framla;

namespace {

/// What was made, or why nothing was: "WxH top-left centre bottom-right[ exif]".
QString described(bool made, const QString &why, const QString &file)
{
    if (!made)
        return QStringLiteral("refused: ") + why;
    const QImage image(file);
    const int w = image.width(), h = image.height();
    QString text = QStringLiteral("%1x%2").arg(w).arg(h);
    for (const QPoint at : {QPoint(4, 4), QPoint(w / 2, h / 2), QPoint(w - 4, h - 4)}) {
        const QRgb p = image.pixel(at);
        const int colour = (qRed(p) > 128) * 4 + (qGreen(p) > 128) * 2 + (qBlue(p) > 128);
        text += ' ' + QStringLiteral("black blue green cyan red magenta yellow white")
                          .section(' ', colour, colour);
    }
    const QByteArray bytes = runtime::readWholeFile(file).value_or(QByteArray());
    return text + (bytes.contains(QByteArray("Exif\0\0", 6)) ? " exif" : "");
}

} // namespace

class TestPhotoFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void preparations_data();
    void preparations();

private:
    QTemporaryDir m_dir;
    runtime::ProcessShell m_shell{m_dir.path(), nullptr};
};

void TestPhotoFaults::preparations_data()
{
    QTest::addColumn<QByteArray>("photo");
    QTest::addColumn<QString>("batch");  // what the batch's put makes (size M), or why not
    QTest::addColumn<QString>("window"); // what the window's preview makes, or why not
    const QString file = m_dir.filePath(QStringLiteral("made"));
    // clang-format off
    const auto made = [&](QStringList args) { // the last argument names the format
        args.last() += ':' + file;
        const bool ran = m_shell.run({"convert", args, runtime::WindowHint::Hidden, false}, 60000).succeeded();
        return ran ? runtime::readWholeFile(file).value_or(QByteArray()) : QByteArray();
    };
    const QByteArray red = made({"-size", "400x300", "xc:red", "jpg"});
    const QByteArray redBlue = made({"-size", "400x300", "xc:red", "-fill", "blue", "-draw", "rectangle 300,0 399,299", "jpg"});
    QByteArray noise(30000, '\0');
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    const QString cut = "refused: " + QLatin1String(imaging::kCutShortReason);
    const QString corrupt = "refused: " + QLatin1String(imaging::kCorruptReason);
    // The camera's APP1 segment: its make "Cam", orientation 6 (turned right) and a GPS directory.
    const QByteArray camera = QByteArray::fromHex("ffe1004c457869660000" "49492a0008000000" "0300" "0f0102000400000043616d00" "120103000100000006000000" "258804000100000032000000" "00000000" "0100" "01000200020000004e000000" "00000000");
    const QByteArray bomb = runtime::readWholeFile(FRAMLA_SOURCE_DIR "/tests/fuzz/corpus/fuzz_picture_reader/bomb-progressive.jpg").value_or(QByteArray());
    const QString tooLarge = "refused: the photo is too large: 40000 x 40000 pixels, more than the 100 megapixels a picture may have";
    QVERIFY(red.size() > 400 && redBlue.size() > 400 && !bomb.isEmpty());
    QTest::newRow("cut in half") << red.left(red.size() / 2) << cut << cut;
    QTest::newRow("cut, then noise") << red.left(red.size() / 2) + noise << corrupt << corrupt;
    QTest::newRow("noise after its end") << red + noise << "320x240 red red red" << "400x300 red red red";
    QTest::newRow("CMYK") << made({"-size", "400x300", "xc:red", "-colorspace", "CMYK", "jpg"}) << "320x240 red red red" << "400x300 red red red";
    QTest::newRow("transparent PNG") << made({"-size", "400x300", "xc:none", "-fill", "red", "-draw", "circle 200,150 200,60", "png32"}) << "320x240 white red white" << "400x300 white red white";
    QTest::newRow("camera's metadata, turned") << redBlue.left(2) + camera + redBlue.mid(2) << "240x320 red red blue" << "300x400 red red blue";
    QTest::newRow("header of 40000 x 40000") << bomb << tooLarge << tooLarge;
    // clang-format on
}

void TestPhotoFaults::preparations()
{
    QFETCH(QByteArray, photo);
    ProgramState state;
    state.services.shell = &m_shell;
    state.cAppPath = m_dir.path();
    const QString source = m_dir.filePath(QStringLiteral("photo.jpg"));
    const QString out = m_dir.filePath(QStringLiteral("out.jpg"));
    QVERIFY(runtime::writeWholeFile(source, photo));
    const QSize size = imaging::photoSize(source);
    const imaging::PreviewSource whole{
        source, size, size, {QPointF(0, 0), QPointF(size.width(), size.height())}};
    QString why;
    QTEST(described(imaging::prepareForPut(state, whole, {}, 320, out, &why), why, out), "batch");
    why.clear();
    const bool preview = imaging::Prepare(state, whole, {}, &why);
    QTEST(described(preview, why, m_dir.filePath(QStringLiteral("scratch.jpg"))), "window");
}

QTEST_GUILESS_MAIN(TestPhotoFaults)
#include "tst_photo_faults.moc"
