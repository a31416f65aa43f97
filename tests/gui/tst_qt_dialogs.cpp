// The boxes as the operator closes them: Escape or the window's close button.
#include "runtime/qt_dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace framla::runtime;

Q_DECLARE_METATYPE(framla::runtime::Buttons)

class TestQtDialogs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void closing_data();
    void closing();
};

void TestQtDialogs::closing_data()
{
    QTest::addColumn<Buttons>("buttons");
    QTest::addColumn<bool>("escape"); // else the close button
    QTest::addColumn<int>("answer");
    for (const bool escape : {true, false}) {
        const char *how = escape ? "Escape" : "close button";
        QTest::addRow("OK, %s", how) << Buttons::Ok << escape << int(kOk);
        QTest::addRow("OK/Cancel, %s", how) << Buttons::OkCancel << escape << int(kCancel);
        QTest::addRow("Yes/No, %s", how) << Buttons::YesNo << escape << int(kNo);
        QTest::addRow("Retry/Cancel, %s", how) << Buttons::RetryCancel << escape << int(kCancel);
        // The error box: closing it ends with the log, never goes on.
        QTest::addRow("Abort/Retry/Ignore, %s", how) << Buttons::AbortRetryIgnore << escape << int(kAbort);
    }
}

void TestQtDialogs::closing()
{
    QFETCH(Buttons, buttons);
    QFETCH(bool, escape);
    QFETCH(int, answer);
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible())
            return;
        poll.stop();
        if (escape)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->close();
    });
    poll.start();
    QtDialogs dialogs;
    QCOMPARE(dialogs.confirmBox(QStringLiteral("Error Base/1"), QStringLiteral("Qt Error Message"),
                                buttons, Icon::Critical, DefaultButton::First),
             answer);
}

QTEST_MAIN(TestQtDialogs)
#include "tst_qt_dialogs.moc"
