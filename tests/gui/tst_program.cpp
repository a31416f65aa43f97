// The program starts, shows its one window and ends when it is closed.
#include "app/main_window.h"
#include "app/program.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace framla;

class TestProgram : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void windowShownAndClosed();
};

void TestProgram::windowShownAndClosed()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());

    app::Program program;
    program.start({QStringLiteral("shop"), QStringLiteral("AB12")});
    app::MainWindow *window = program.window();
    QVERIFY(window != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->windowTitle(), QStringLiteral("Framla by Tillsmith Solutions CC"));
    QCOMPARE(window->size(), QSize(600, 400));
    QCOMPARE(program.state().cCfgFileNm, QStringLiteral("shop.cfg"));
    QCOMPARE(program.state().cStartCode, QStringLiteral("AB---12"));
    // Escape, as in a dialog, does not end the program.
    QTest::keyClick(window->imageTab().oXbpGetCd, Qt::Key_Escape);
    QVERIFY(window->isVisible());

    // Closing the window ends the event loop with exit code 0.
    QTimer::singleShot(0, window, &QWidget::close);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
    watchdog.start(10000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!window->isVisible());
    QDir::setCurrent(previous);
}

QTEST_MAIN(TestProgram)
#include "tst_program.moc"
