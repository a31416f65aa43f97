// The real program against the real test server, driven through its window:
// an item, a supplier's stock reference and a service order are looked up,
// given a cropped and brightened picture of the chosen size with "Put it",
// found on the server at their image path, shown back as recorded and
// deleted again with the target's "X"; a data file sent with "ix" arrives
// in shuttle/.
#include "app/main_window.h"
#include "app/program.h"
#include "app/window_display.h"
#include "app/window_start.h"
#include "core/normalize.h"
#include "core/value.h"
#include "imaging/crop.h"
#include "imaging/image_view.h"
#include "imaging/placement.h"
#include "imaging/prepare.h"
#include "runtime/application.h"
#include "runtime/clock.h"
#include "runtime/files.h"
#include "server/command_lines.h"
#include "server/lookup.h"
#include "server/target.h"
#include "server/upload.h"
#include "support/dialog_operator.h"
#include "support/test_server.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyleOptionSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace framla;
using app::MainWindow;

namespace {

/// The middle of a spin button's up arrow.
QPoint upArrow(QSpinBox *spin)
{
    QStyleOptionSpinBox option;
    option.initFrom(spin);
    option.subControls = QStyle::SC_All;
    option.frame = true;
    option.buttonSymbols = spin->buttonSymbols();
    option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    return spin->style()
        ->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxUp, spin)
        .center();
}

} // namespace

class TestWindowE2e : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void putAndDelete_data();
    void putAndDelete();
    void dataFileToShuttle();

private:
    // The steps of the code entry and source handlers, each as the control
    // it belongs to carries it out.
    /// A mode radio selected: 0 Inventory, 1 Cust/Sup, 2 Repairs.
    void chooseMode(int mode);
    /// A stock reference typed into the target name field.
    void typeTargetName(const QString &name);
    /// A code typed into the yellow code field, then Enter: the look-up.
    void enterCode(const QString &typed);
    /// A source file's path typed into the file field, then Enter.
    void enterSourcePath(const QString &path);
    /// "Set crop marks", then the two corners clicked on the source view.
    void markCrop(QPoint first, QPoint second);

    void waitForUploads();
    QString serverFile(const QString &relative) const
    {
        return m_server.dbPath() + QLatin1Char('/') + relative;
    }

    test::TestServer m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
    std::unique_ptr<app::Program> m_program;
    std::unique_ptr<test::DialogOperator> m_operator;
};

void TestWindowE2e::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
}

void TestWindowE2e::cleanupTestCase()
{
    m_server.stop();
}

void TestWindowE2e::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    QVERIFY(m_server.saveSettingsIn(m_dir->path()));

    m_program = std::make_unique<app::Program>();
    m_program->start({});
    QVERIFY(QTest::qWaitForWindowExposed(m_program->window()));
    QCOMPARE(m_program->window()->currentPage(), MainWindow::Page::Image);
    m_operator = std::make_unique<test::DialogOperator>();
}

void TestWindowE2e::cleanup()
{
    const QStringList dialogFailures = m_operator->failures;
    m_operator.reset();
    m_program.reset();
    QDir::setCurrent(m_previousDir);
    m_dir.reset();
    QVERIFY2(dialogFailures.isEmpty(), qPrintable(dialogFailures.join(u'\n')));
}

void TestWindowE2e::chooseMode(int mode)
{
    const app::ImageTabControls &c = m_program->window()->imageTab();
    QTest::mouseClick(c.modeRadios.at(std::size_t(mode)), Qt::LeftButton);
}

void TestWindowE2e::typeTargetName(const QString &name)
{
    const app::ImageTabControls &c = m_program->window()->imageTab();
    QTest::mouseClick(c.oXbpTargName, Qt::LeftButton);
    QTest::keyClicks(c.oXbpTargName, name);
    // Leaving the field takes the name.
    c.oXbpGetCd->setFocus(Qt::TabFocusReason);
}

void TestWindowE2e::enterCode(const QString &typed)
{
    const app::ImageTabControls &c = m_program->window()->imageTab();
    QTest::mouseClick(c.oXbpGetCd, Qt::LeftButton);
    QTest::keyClicks(c.oXbpGetCd, typed);
    QTest::keyClick(c.oXbpGetCd, Qt::Key_Return);
}

void TestWindowE2e::enterSourcePath(const QString &path)
{
    const app::ImageTabControls &c = m_program->window()->imageTab();
    QTest::mouseClick(c.oXbpImageFile, Qt::LeftButton);
    QTest::keyClicks(c.oXbpImageFile, path);
    QTest::keyClick(c.oXbpImageFile, Qt::Key_Return);
}

void TestWindowE2e::markCrop(QPoint first, QPoint second)
{
    const app::ImageTabControls &c = m_program->window()->imageTab();
    // The two corners are clicked while the marking waits for them.
    QWidget *canvas = c.oStat->canvas();
    QTimer::singleShot(0, canvas, [canvas, first, second] {
        QTest::mouseClick(canvas, Qt::LeftButton, {}, first);
        QTest::mouseClick(canvas, Qt::LeftButton, {}, second);
    });
    QTest::mouseClick(c.oXbpCrop, Qt::LeftButton);
}

void TestWindowE2e::waitForUploads()
{
    QVERIFY(m_program->state().services.uploads->waitForIdle(180000));
    QCoreApplication::processEvents();
}

void TestWindowE2e::putAndDelete_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("name"); ///< typed into the target name field ("" for none)
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("recorded"); ///< the picture on file before ("" for none)
    QTest::addColumn<int>("sizeRadio");
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("edge");
    QTest::newRow("an item, abbreviated")
        << 0 << ""
        << "1234"
        << "Gift voucher card"
        << "images/12/1200034.jpg" << 0 << "images/12/1200034.jpg" << 160;
    QTest::newRow("a supplier's stock reference")
        << 1 << "RING7"
        << "1234"
        << "Bellini Oro"
        << "images/ssr/1234/RING7.jpg" << 1 << "images/ssr/1234/RING7.jpg" << 320;
    QTest::newRow("a service order") << 2 << ""
                                     << "or103"
                                     << "Replace watch battery"
                                     << "" << 2 << "images/ord/or000103.jpg" << 640;
}

void TestWindowE2e::putAndDelete()
{
    QFETCH(int, mode);
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, description);
    QFETCH(QString, recorded);
    QFETCH(int, sizeRadio);
    QFETCH(QString, where);
    QFETCH(int, edge);
    ProgramState &state = m_program->state();
    const app::ImageTabControls &c = m_program->window()->imageTab();
    const QString preview = m_dir->filePath(QStringLiteral("scratch.jpg"));

    chooseMode(mode);
    if (!name.isEmpty())
        typeTargetName(name);
    enterCode(typed);
    QVERIFY2(c.oXbpShowTxt->toPlainText().contains(description),
             qPrintable(c.oXbpShowTxt->toPlainText()));
    if (!recorded.isEmpty())
        QCOMPARE(runtime::readWholeFile(preview).value_or("local"),
                 runtime::readWholeFile(serverFile(recorded)).value_or("server"));
    QCOMPARE(QFile::exists(preview), !recorded.isEmpty());

    const QString photo = m_dir->filePath(QStringLiteral("photo.jpg"));
    QImage picture(1600, 1200, QImage::Format_RGB32);
    picture.fill(QColor(0x8a, 0x6d, 0x3b));
    QVERIFY(picture.save(photo, "JPEG"));
    enterSourcePath(photo);
    QCOMPARE(state.anSize, QSize(1600, 1200));
    markCrop(QPoint(40, 40), QPoint(200, 180));
    QVERIFY(imaging::cropMarksSet(state.aCropCoords, ASCRN_SIZE));
    QTest::mouseClick(c.oXbpBright, Qt::LeftButton, {}, upArrow(c.oXbpBright));
    QCOMPARE(c.oXbpBright->value(), 5);
    QVERIFY(QFile::exists(preview));

    QTest::mouseClick(c.sizeRadios.at(std::size_t(sizeRadio)), Qt::LeftButton);
    QVERIFY(c.oXbpPut->isEnabled());
    QTest::mouseClick(c.oXbpPut, Qt::LeftButton);
    waitForUploads();

    QImageReader reader(serverFile(where));
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    const QSize put = reader.size();
    QCOMPARE(qMax(put.width(), put.height()), edge);
    QCOMPARE(c.oXbpTargGrp->text(), QStringLiteral("Image as now recorded:"));
    QCOMPARE(runtime::readWholeFile(preview).value_or("local"),
             runtime::readWholeFile(serverFile(where)).value_or("server"));
    QCOMPARE(c.oStat2->rawSize(), put);
    QVERIFY2(c.oXbpShowTxt->toPlainText().contains(description),
             qPrintable(c.oXbpShowTxt->toPlainText()));

    QVERIFY(c.oXbpDelTarg->isEnabled());
    QTest::mouseClick(c.oXbpDelTarg, Qt::LeftButton);
    QVERIFY(!QFile::exists(serverFile(where)));
    QVERIFY2(m_operator->boxes.contains(
                 QStringLiteral("Are you sure you want to delete the target image:\n") +
                 state.cName +
                 QStringLiteral(".jpg\n(Write privilege for the selected image is "
                                "required.)")),
             qPrintable(m_operator->boxes.join(QLatin1Char('|'))));
}

void TestWindowE2e::dataFileToShuttle()
{
    const QString file = m_dir->filePath(QStringLiteral("IX0003.DBF"));
    const QByteArray content = QByteArray("code,qty\r\n").repeated(20);
    QVERIFY(runtime::writeWholeFile(file, content));
    m_operator->files.enqueue(file);
    QTest::mouseClick(m_program->window()->imageTab().oXbpBrowData, Qt::LeftButton);

    // The dialog opened on the program's directory.
    QCOMPARE(m_operator->folders, QStringList{m_dir->path()});
    QCOMPARE(runtime::readWholeFile(serverFile(QStringLiteral("shuttle/ix0003.dbf"))).value_or(""),
             content);
    QCOMPARE(m_operator->boxes,
             QStringList{"File ix0003.dbf sent.\nCheck details shown for validity."});
}

// The program's own application object: it runs the window's per-event chain.
int main(int argc, char *argv[])
{
    runtime::FramlaApplication application(argc, argv);
    TestWindowE2e test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window_e2e.moc"
