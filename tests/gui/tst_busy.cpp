// The wait pointer over the whole window and the normal pointer back, from
// the UI thread and from a worker.
#include "ui/busy.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QVBoxLayout>

using namespace framla;

class TestBusy : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void busyAndDone();
    void doneWithoutBusy();
    void ownPointerRestoredOnce();
    void fromWorker();

private:
    QList<QWidget *> all() const;
    QDialog *m_window = nullptr;
    QLineEdit *m_edit = nullptr;
    QPushButton *m_hidden = nullptr;
};

void TestBusy::init()
{
    m_window = new QDialog;
    auto *page = new QWidget(m_window);
    auto *layout = new QVBoxLayout(page);
    m_edit = new QLineEdit(page);
    layout->addWidget(m_edit);
    layout->addWidget(new QPushButton(QStringLiteral("Put it"), page));
    // Created but never shown: it gets the pointer like any other.
    m_hidden = new QPushButton(QStringLiteral("X"), m_window);
    m_hidden->hide();
    m_window->show();
}

void TestBusy::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

QList<QWidget *> TestBusy::all() const
{
    QList<QWidget *> widgets = m_window->findChildren<QWidget *>();
    widgets.prepend(m_window);
    return widgets;
}

void TestBusy::busyAndDone()
{
    QCOMPARE(all().size(), 5);
    ui::SHOWBUSY(m_window);
    for (QWidget *widget : all())
        QCOMPARE(widget->cursor().shape(), Qt::WaitCursor);
    ui::SHOWDONE(m_window);
    for (QWidget *widget : all())
        QVERIFY(widget->cursor().shape() != Qt::WaitCursor);
    // Text fields get their own pointer back.
    QCOMPARE(m_edit->cursor().shape(), Qt::IBeamCursor);
    QCOMPARE(m_hidden->cursor().shape(), Qt::ArrowCursor);
}

void TestBusy::doneWithoutBusy()
{
    ui::SHOWDONE(m_window);
    QCOMPARE(m_edit->cursor().shape(), Qt::IBeamCursor);
    QCOMPARE(m_window->cursor().shape(), Qt::ArrowCursor);
}

void TestBusy::ownPointerRestoredOnce()
{
    m_edit->setCursor(Qt::PointingHandCursor);
    ui::SHOWBUSY(m_window);
    ui::SHOWDONE(m_window);
    QCOMPARE(m_edit->cursor().shape(), Qt::PointingHandCursor);
    // The field gives up its own pointer; the next wait must not bring the old one back.
    m_edit->unsetCursor();
    ui::SHOWBUSY(m_window);
    ui::SHOWDONE(m_window);
    QVERIFY(!m_edit->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(m_edit->cursor().shape(), Qt::ArrowCursor);
}

void TestBusy::fromWorker()
{
    QThread *worker = QThread::create([this] {
        ui::SHOWBUSY(m_window);
        ui::SHOWDONE(m_window);
        ui::SHOWBUSY(m_window);
    });
    worker->start();
    QVERIFY(worker->wait(5000));
    delete worker;
    // Posted to the UI thread in call order: the last call wins.
    QTRY_COMPARE(m_edit->cursor().shape(), Qt::WaitCursor);
    QCoreApplication::processEvents();
    for (QWidget *widget : all())
        QCOMPARE(widget->cursor().shape(), Qt::WaitCursor);
}

QTEST_MAIN(TestBusy)
#include "tst_busy.moc"
