// What ImageMagick really decodes, and makes of a photo prepared for a put
// in one run, beside what the batch's preparation predicts, on pictures of
// awkward sizes.
#include "batch/runner.h"
#include "imaging/batch_prepare.h"
#include "runtime/shell.h"

#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace framla;

class TestBatchPrepare : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void preparations_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<int>("edge");
        QTest::newRow("12 MP square at M") << QSize(4000, 3000) << "jpg" << 1.0 << 320;
        QTest::newRow("odd sides, whole, at M") << QSize(4001, 2999) << "jpg" << 0.0 << 320;
        QTest::newRow("odd sides, square, at L") << QSize(3999, 3001) << "jpg" << 1.0 << 640;
        QTest::newRow("4:3 of a portrait at S") << QSize(777, 1001) << "jpg" << 0.75 << 160;
        QTest::newRow("not a JPEG") << QSize(1000, 700) << "png" << 0.0 << 160;
    }
    void preparations();
};

void TestBatchPrepare::preparations()
{
    QFETCH(QSize, size);
    QFETCH(QString, kind);
    QFETCH(double, ratio);
    QFETCH(int, edge);
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("photo.") + kind);
    const auto text = [](QSize s) {
        return QStringLiteral("%1x%2").arg(s.width()).arg(s.height());
    };
    QCOMPARE(QProcess::execute(QStringLiteral("convert"),
                               {QStringLiteral("-size"), text(size),
                                QStringLiteral("gradient:gold-navy"), source}),
             0);
    const imaging::PreviewSource preview{source, size, size, batch::centredCrop(size, ratio)};
    const imaging::PutDecode decode = imaging::putDecode(
        size, imaging::cropArgument(size, size, preview.aCropCoords), edge, kind == "jpg");

    // What the tools make of it: the size decoded with the hint, and the picture of the one run.
    QProcess identify;
    identify.start(QStringLiteral("identify"),
                   {QStringLiteral("-define"),
                    QStringLiteral("jpeg:size=") + text(decode.hint.isEmpty() ? size : decode.hint),
                    QStringLiteral("-format"), QStringLiteral("%wx%h"), source});
    QVERIFY(identify.waitForFinished(60000));
    ProgramState state;
    runtime::ProcessShell shell(dir.path(), nullptr);
    state.services.shell = &shell;
    const QString out = dir.filePath(QStringLiteral("out.jpg"));
    QVERIFY(imaging::prepareForPut(state, preview, {}, edge, out));
    QCOMPARE(identify.readAllStandardOutput() + ' ' + text(QImageReader(out).size()),
             text(decode.decoded) + ' ' +
                 text(imaging::fittedInto(QSize(int(decode.crop.W), int(decode.crop.H)), edge)));
}

QTEST_GUILESS_MAIN(TestBatchPrepare)
#include "tst_batch_prepare.moc"
