// The History window against the real test server: a picture replaced by a
// put, or deleted, is put back from the journal byte for byte, and the
// restore is journalled in turn.
#include "app/history_window.h"
#include "app/main_window.h"
#include "app/program.h"
#include "e2e/history_fixture.h"
#include "runtime/files.h"
#include "server/deletion.h"
#include "server/lookup.h"
#include "server/target.h"
#include "server/upload.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace framla;

class TestHistoryE2e : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.error())); }
    void cleanupTestCase() { m_server.stop(); }
    void restore_data();
    void restore();
    void opensFromBothTabs();

private:
    test::TestServer m_server;
};

void TestHistoryE2e::restore_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("deleted");        ///< deleted, else replaced by a put
    QTest::addColumn<bool>("moved");          ///< the settings now name another server
    QTest::addColumn<QStringList>("actions"); ///< the journal afterwards, newest first
    QTest::newRow("replaced") << "AB10001" << false << false
                              << QStringList{"restore ok", "replace ok"};
    QTest::newRow("deleted") << "AB10006" << true << false
                             << QStringList{"restore ok", "delete ok"};
    QTest::newRow("kept from another server")
        << "AB10007" << false << true << QStringList{"replace ok"};
}

void TestHistoryE2e::restore()
{
    QFETCH(QString, code);
    QFETCH(bool, deleted);
    QFETCH(bool, moved);
    QFETCH(QStringList, actions);
    test::ServerWorld w(m_server);
    w.dialogs.answers << runtime::kOk << runtime::kOk << runtime::kOk;
    server::UploadQueue uploads;
    w.state.services.uploads = &uploads;
    ProgramState &state = w.state;

    const QString onServer = m_server.dbPath() + "/images/AB/" + code + ".jpg";
    const QByteArray before = runtime::readWholeFile(onServer).value_or("(missing)");
    const server::Target target{code, code, true, false, "10:00:01", "M"};
    if (deleted) {
        server::PrepText(state, w.display, state.login, target);
        server::DelImage(state, w.display, state.login, target);
        QVERIFY(!QFile::exists(onServer));
    } else {
        QVERIFY(test::noisePhoto("400x300", w.dir.filePath("scratch.jpg")));
        server::PutFile(state, w.display, state.login, target);
        QVERIFY(uploads.waitForIdle(180000));
        QVERIFY(runtime::readWholeFile(onServer).value_or("") != before);
    }

    if (moved)
        state.login.cAddress = QStringLiteral("shop2.invalid");
    app::HistoryWindow window(state, nullptr);
    auto *entries = window.findChild<QTableWidget *>("historyJournal");
    entries->selectRow(0);
    window.restoreSelected();
    QVERIFY(uploads.waitForIdle(180000));
    QCoreApplication::processEvents();

    QCOMPARE(runtime::readWholeFile(onServer).value_or("(missing)") == before, !moved);
    QCOMPARE(test::journalled(w.journal), actions);
}

void TestHistoryE2e::opensFromBothTabs()
{
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QVERIFY(m_server.saveSettingsIn(dir.path()));
    {
        app::Program program;
        program.start({});
        QVERIFY(QTest::qWaitForWindowExposed(program.window()));
        QTest::keyClick(program.window()->imageTab().oXbpGetCd, Qt::Key_H, Qt::ControlModifier);
        auto *history = program.window()->findChild<app::HistoryWindow *>();
        QVERIFY(history != nullptr && history->isVisible());
        history->close();
        program.window()->showPage(app::MainWindow::Page::Settings);
        QTest::mouseClick(program.window()->control("historyButton"), Qt::LeftButton);
        QVERIFY(history->isVisible());
    }
    QDir::setCurrent(previous);
}

QTEST_MAIN(TestHistoryE2e)
#include "tst_history_e2e.moc"
