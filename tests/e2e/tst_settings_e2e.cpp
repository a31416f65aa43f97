// The real program on a first run: the operator opens the settings tab, types
// the settings of the real test server, and "Test and save above settings"
// fetches the probe file with the real pscp, writes the settings file and
// brings the image tab up.
#include "app/main_window.h"
#include "app/program.h"
#include "config/settings_file.h"
#include "support/dialog_operator.h"
#include "support/test_server.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

using namespace framla;
using app::MainWindow;

class TestSettingsE2e : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void typedSettingsSaved();

private:
    test::TestServer m_server;
};

void TestSettingsE2e::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
}

void TestSettingsE2e::cleanupTestCase()
{
    m_server.stop();
}

void TestSettingsE2e::typedSettingsSaved()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());

    app::Program program;
    program.start({});
    MainWindow *window = program.window();
    QVERIFY(QTest::qWaitForWindowExposed(window));

    QTabBar *headers = window->tabBar();
    QTest::mouseClick(headers, Qt::LeftButton, {}, headers->tabRect(1).center());
    QCOMPARE(window->currentPage(), MainWindow::Page::Settings);

    const app::SettingsTabControls &c = window->settingsTab();
    const QStringList typed{m_server.host(), m_server.port(), m_server.dbPath(), m_server.user(),
                            m_server.password()};
    const QList<QLineEdit *> fields{c.oXbpAddress, c.oXbpPort, c.oXbpPath, c.oXbpUser, c.oXbpPass};
    for (qsizetype i = 0; i < fields.size(); ++i) {
        QTest::mouseClick(fields.at(i), Qt::LeftButton);
        QTest::keyClick(fields.at(i), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(fields.at(i), Qt::Key_Delete);
        QTest::keyClicks(fields.at(i), typed.at(i));
    }

    // The operator reads each box and presses its button.
    test::DialogOperator desk;
    QTest::mouseClick(c.oXbpSave, Qt::LeftButton);

    QCOMPARE(desk.boxes, QStringList{"P A S S E D   T E S T\nConfiguration saved"});
    QCOMPARE(desk.failures, QStringList());
    QCOMPARE(window->currentPage(), MainWindow::Page::Image);
    QVERIFY(window->imagePage()->isVisible());
    QVERIFY(QFile::exists(dir.filePath("framla.ok")));

    const ProgramState &state = program.state();
    const auto fieldsOf = [](const ServerLogin &login) {
        return QStringList{login.cAddress, login.cPort, login.cPath, login.cUser, login.cPass};
    };
    QCOMPARE(fieldsOf(state.login), typed);
    ServerLogin saved;
    QVERIFY(!config::READPARAM(saved, dir.filePath("Framla.cfg")).isEmpty());
    QCOMPARE(fieldsOf(saved), typed);
    QDir::setCurrent(previous);
}

QTEST_MAIN(TestSettingsE2e)
#include "tst_settings_e2e.moc"
