// The operator's keys reach the real program through a real X server while it
// waits for the test server: codes typed during a look-up are looked up after
// it, whole and in order, as a barcode scanner's are; the code field has the
// focus whenever the image tab comes back; and "Put it" stays usable across a
// refused and a real deletion of the recorded picture and a data file sent
// with "ix".
#include "app/main_window.h"
#include "app/program.h"
#include "runtime/application.h"
#include "server/deletion.h"
#include "support/dialog_operator.h"
#include "support/test_server.h"
#include "support/x_display.h"

#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace framla;

namespace {

/// The codes of the look-ups the program asked the server for, in order,
/// read from the commands its shell logs ("framaid <replies> <code> <token>").
QStringList lookedUp;
QtMessageHandler previousHandler = nullptr;

void noteLookUps(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static const QRegularExpression request(
        QStringLiteral("^running( shared)?: .* framaid \\S+ (\\S+) \\S+$"));
    if (const QRegularExpressionMatch match = request.match(message);
        qstrcmp(context.category, "framla") == 0 && match.hasMatch())
        lookedUp << match.captured(2);
    previousHandler(type, context, message);
}

/// xdotool's arguments that click these controls of the window, then type
/// the keys as fast as a barcode scanner: a line end is Return, "|" a pause
/// of 0.1 s.
QStringList xdotoolInput(const QWidget *window, const QStringList &clicks, const QString &typed)
{
    QStringList args;
    for (const QString &name : clicks) {
        const auto *control = window->findChild<QWidget *>(name);
        const QPoint at = control->mapTo(window, control->rect().center());
        args += QString::asprintf("mousemove --window %llu %d %d click 1 sleep 0.5",
                                  qulonglong(window->winId()), at.x(), at.y())
                    .split(' ');
    }
    const QStringList key = QStringLiteral("key --delay 5").split(' ');
    args += key;
    for (const QChar ch : typed)
        args += ch == '|' ? QStringList{"sleep", "0.1"} + key
                          : QStringList{ch == '\n' ? QStringLiteral("Return") : QString(ch)};
    return args;
}

} // namespace

class TestOperatorFlow : public QObject {
    Q_OBJECT
    test::TestServer m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
    std::unique_ptr<app::Program> m_program;
    std::unique_ptr<test::DialogOperator> m_operator;

    /// Clicks and types with real pointer and key events on the X display
    /// and waits for xdotool.
    void type(const QString &typed, const QStringList &clicks = {})
    {
        QProcess xdotool;
        xdotool.setProcessChannelMode(QProcess::ForwardedChannels);
        xdotool.start("xdotool", xdotoolInput(m_program->window(), clicks, typed));
        QVERIFY2(xdotool.waitForStarted(10000), "xdotool must be installed");
        // The program takes the keys in while xdotool types them.
        QTRY_VERIFY_WITH_TIMEOUT(xdotool.state() == QProcess::NotRunning, 60000);
        QCOMPARE(xdotool.exitCode(), 0);
    }
    bool onServer(const QString &file) const
    {
        return QFile::exists(m_server.dbPath() + u'/' + file);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.error()));
        previousHandler = qInstallMessageHandler(noteLookUps);
    }
    void cleanupTestCase() { m_server.stop(); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_previousDir = QDir::currentPath();
        QDir::setCurrent(m_dir->path());
        QVERIFY(m_server.saveSettingsIn(m_dir->path()));
        m_program = std::make_unique<app::Program>();
        m_program->start({});
        app::MainWindow *window = m_program->window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // No window manager runs: the window takes the X input focus itself.
        window->activateWindow();
        QVERIFY2(QTest::qWaitForWindowActive(window), "the window did not get the X input focus");
        m_operator = std::make_unique<test::DialogOperator>();
        // Inventory mode; the code field has the focus.
        QTest::mouseClick(window->imageTab().modeRadios.at(0), Qt::LeftButton);
        QTRY_VERIFY(window->imageTab().oXbpGetCd->hasFocus());
        lookedUp.clear();
    }
    void cleanup()
    {
        m_operator.reset();
        m_program.reset();
        QDir::setCurrent(m_previousDir);
        m_dir.reset();
    }
    void typedCodes_data();
    void typedCodes();
    void putStaysEnabled_data();
    void putStaysEnabled();
};

void TestOperatorFlow::typedCodes_data()
{
    QTest::addColumn<QStringList>("clicks"); // before the keys
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("codes");
    // clang-format off
    QTest::newRow("a second code 0.1 s after the first Enter") << QStringList{} << "ab12\n|cd20002\n" << QStringList{"AB---12", "CD20002"};
    QTest::newRow("ten codes from a barcode scanner") << QStringList{} << "ab12\ncd20001\ncd20002\nab10001\nab10003\nef30001\n1234\nab10006\nef30002\ncd20005\n"
        << QStringList{"AB---12", "CD20001", "CD20002", "AB10001", "AB10003", "EF30001", "1200034", "AB10006", "EF30002", "CD20005"};
    // Wherever the image tab comes back, the next code goes to the code field.
    QTest::newRow("back from the settings tab with <") << QStringList{"toSettings", "backToImage"} << "ab12\n" << QStringList{"AB---12"};
    QTest::newRow("back from About Framla") << QStringList{"toSettings", "aboutFramla"} << "ab12\n" << QStringList{"AB---12"};
    QTest::newRow("back from a crop proportion chosen") << QStringList{"toSettings", "cropRatio43"} << "ab12\n" << QStringList{"AB---12"};
    // clang-format on
}

void TestOperatorFlow::typedCodes()
{
    QFETCH(QStringList, clicks);
    QFETCH(QString, typed);
    QFETCH(QStringList, codes);
    type(typed, clicks);
    // A look-up takes well under a second against the test server.
    QTRY_COMPARE_WITH_TIMEOUT(lookedUp, codes, 10000 + 3000 * int(codes.size()));
    QCOMPARE(m_operator->failures, QStringList());
}

void TestOperatorFlow::putStaysEnabled_data()
{
    // The code typed, the target's "X" or "ix" clicked, and a file on the
    // server: whether it is there before the click and after it.
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("before");
    QTest::addColumn<bool>("after");
    QTest::addColumn<QStringList>("boxes");
    const auto question = [](const char *name) {
        return QStringLiteral("Are you sure you want to delete the target image:\n%1.jpg\n"
                              "(Write privilege for the selected image is required.)")
            .arg(QLatin1String(name));
    };
    const QString guard = QString::fromLatin1(server::kSupplierGuardText).replace("\r\n", "\n");
    // clang-format off
    QTest::newRow("the supplier's picture: deletion refused") << "ab10003 oXbpDelTarg images/ssr/1234/RING5.jpg" << true << true << QStringList{question("AB10003"), guard};
    QTest::newRow("the item's own picture deleted") << "ab10006 oXbpDelTarg images/AB/AB10006.jpg" << true << false << QStringList{question("AB10006"), "Replace existing image?"};
    QTest::newRow("a data file sent") << "ab10006 oXbpBrowData shuttle/ix0003.dbf" << false << true << QStringList{"File ix0003.dbf sent.\nCheck details shown for validity."};
    // clang-format on
}

void TestOperatorFlow::putStaysEnabled()
{
    QFETCH(QString, action);
    QFETCH(bool, before);
    QFETCH(bool, after);
    QFETCH(QStringList, boxes);
    const QStringList codeButtonFile = action.split(' ');
    const app::ImageTabControls &c = m_program->window()->imageTab();

    // A source picture chosen, then the code looked up: the picture may be put.
    const QString photo = m_dir->filePath("photo.jpg"), dataFile = m_dir->filePath("IX0003.DBF");
    QImage picture(800, 600, QImage::Format_RGB32);
    picture.fill(QColor(0x8a, 0x6d, 0x3b));
    QVERIFY(picture.save(photo, "JPEG") && picture.save(dataFile, "BMP")); // any data will do
    QTest::keyClicks(c.oXbpImageFile, photo);
    QTest::keyClick(c.oXbpImageFile, Qt::Key_Return);
    c.oXbpGetCd->setFocus(Qt::OtherFocusReason);
    type(codeButtonFile[0] + '\n');
    QTRY_VERIFY_WITH_TIMEOUT(c.oXbpPut->isEnabled(), 30000);
    QCOMPARE(onServer(codeButtonFile[2]), before);

    m_operator->files.enqueue(dataFile);
    QTest::mouseClick(m_program->window()->findChild<QPushButton *>(codeButtonFile[1]),
                      Qt::LeftButton);
    QCOMPARE(m_operator->boxes, boxes);
    QCOMPARE(m_operator->failures, QStringList());
    QCOMPARE(onServer(codeButtonFile[2]), after);
    QTRY_VERIFY2_WITH_TIMEOUT(c.oXbpPut->isEnabled(), "\"Put it\" is greyed out", 5000);
}

// Real X events need a real X server: the test's own display, chosen before
// the application connects to one, and an application object that runs the
// window's per-event chain as the program's does.
int main(int argc, char *argv[])
{
    const test::XDisplay display; // outlives the application
    if (display.name().isEmpty())
        qFatal("Xvfb did not start");
    qputenv("DISPLAY", display.name().toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");
    runtime::FramlaApplication application(argc, argv);
    TestOperatorFlow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_operator_flow.moc"
