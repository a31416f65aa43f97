// The boxes as the operator closes them: Escape or the window's close button.
#include "app/window_layout.h"
#include "runtime/qt_dialogs.h"
#include "support/dialog_operator.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace framla;
using namespace framla::runtime;

Q_DECLARE_METATYPE(framla::runtime::Buttons)

class TestQtDialogs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void closing_data();
    void closing();
    void linesKept_data();
    void linesKept();
    void startFolder_data();
    void startFolder();
    void fileDialogRemembersFolder();
    void markupShownAsWritten();
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
        QTest::addRow("Abort/Retry/Ignore, %s", how)
            << Buttons::AbortRetryIgnore << escape << int(kAbort);
    }
}

void TestQtDialogs::closing()
{
    QFETCH(Buttons, buttons);
    QFETCH(bool, escape);
    QFETCH(int, answer);
    test::DialogOperator desk;
    desk.answer = [escape](QDialog *box) {
        if (escape)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->close();
    };
    QtDialogs dialogs;
    QCOMPARE(dialogs.confirmBox(QStringLiteral("Error Base/1"), QStringLiteral("Qt Error Message"),
                                buttons, Icon::Critical, DefaultButton::First),
             answer);
    QCOMPARE(desk.failures, QStringList());
}

void TestQtDialogs::linesKept_data()
{
    using framla::app::layout::HelpTopic;
    QTest::addColumn<QString>("text");
    QTest::newRow("About Framla") << framla::app::layout::helpPage(HelpTopic::About).text;
    QTest::newRow("Inventory") << framla::app::layout::helpPage(HelpTopic::Inventory).text;
    QTest::newRow("short lines") << QStringLiteral("Not put");
}

// The box shows the text's own line breaks and no others, and stays on the screen.
void TestQtDialogs::linesKept()
{
    QFETCH(QString, text);
    int shownHeight = 0, unwrappedHeight = 0;
    QRect box, screen;
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (shown == nullptr || !shown->isVisible())
            return;
        poll.stop();
        QCoreApplication::processEvents(); // the box's own layout requests
        const auto *label = shown->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        shownHeight = label->heightForWidth(label->width());
        unwrappedHeight = label->heightForWidth(QWIDGETSIZE_MAX);
        box = shown->frameGeometry();
        screen = shown->screen()->availableGeometry();
        shown->accept();
    });
    poll.start();
    QtDialogs dialogs;
    dialogs.confirmBox(text, QStringLiteral("Help"), Buttons::Ok, Icon::Information,
                       DefaultButton::First);
    QCOMPARE(shownHeight, unwrappedHeight);
    QVERIFY2(screen.contains(box), qPrintable(QStringLiteral("%1 wide").arg(box.width())));
}

void TestQtDialogs::startFolder_data()
{
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("photos");
    QTest::addColumn<QString>("expected");
    QTest::newRow("last folder first") << "a"
                                       << "b"
                                       << "a";
    QTest::newRow("photo folder at first") << ""
                                           << "b"
                                           << "b";
    QTest::newRow("a vanished last folder") << "gone"
                                            << "b"
                                            << "b";
    QTest::newRow("neither: working directory") << ""
                                                << "gone"
                                                << "";
    QTest::newRow("a file is no folder") << "file"
                                         << ""
                                         << "";
}

void TestQtDialogs::startFolder()
{
    QFETCH(QString, last);
    QFETCH(QString, photos);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("a") && QDir(dir.path()).mkpath("b"));
    QFile file(dir.filePath("file"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    const auto in = [&](const QString &name) { return name.isEmpty() ? name : dir.filePath(name); };
    QCOMPARE(fileDialogStartFolder(in(last), in(photos)), in(expected));
}

// The source dialog opens on the photo folder, then where a file was chosen;
// a dialog given its own folder keeps it and changes nothing.
void TestQtDialogs::fileDialogRemembersFolder()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("photos") && QDir(dir.path()).mkpath("other") &&
            QDir(dir.path()).mkpath("data"));
    QFile picture(dir.filePath("other/ring.jpg"));
    QVERIFY(picture.open(QIODevice::WriteOnly));
    picture.close();
    qputenv("FRAMLA_PHOTOS", dir.filePath("photos").toUtf8());
    // As the operator types the file's path into the name field; "" cancels.
    test::DialogOperator desk;
    const QString ring = dir.filePath("other/ring.jpg");
    desk.files << QString() << ring << ring << QString();
    QtDialogs dialogs;
    const auto open = [&](const QString &start) {
        return dialogs.openFileName(QStringLiteral("Select source image"), QStringLiteral("Images"),
                                    QStringLiteral("*.JPG"), start);
    };
    QCOMPARE(open(QString()), QString());
    QCOMPARE(open(QString()), ring);
    QCOMPARE(open(dir.filePath("data")), ring);
    QCOMPARE(open(QString()), QString());
    QCOMPARE(desk.failures, QStringList());
    QCOMPARE(desk.folders, QStringList({dir.filePath("photos"), dir.filePath("photos"),
                                        dir.filePath("data"), dir.filePath("other")}));
    qunsetenv("FRAMLA_PHOTOS");
}

// An owner name from the server in a box's first line is shown as written, never as markup.
void TestQtDialogs::markupShownAsWritten()
{
    const QString text = QStringLiteral("Owned by <b>owner</b> &amp; co -->");
    QString shown;
    test::DialogOperator desk;
    desk.answer = [&shown](QDialog *box) {
        auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        shown = QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name);
        box->close();
    };
    QtDialogs().msgBox(text, QStringLiteral("Not put"));
    QCOMPARE(shown, text);
}

QTEST_MAIN(TestQtDialogs)
#include "tst_qt_dialogs.moc"
