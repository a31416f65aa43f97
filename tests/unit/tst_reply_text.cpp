// The description box shows a reply whole, and only the start of a wall of text.
#include "app/reply_text.h"

#include <QTest>

class TestReplyText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void shown_data();
    void shown();
};

void TestReplyText::shown_data()
{
    const QString note = QStringLiteral("(Too long to show in full: the text was cut short.)");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("a reply") << "AB12345 Gold ring\r\n<!-- Owned by fxt -->\r\n"
                             << "AB12345 Gold ring\n<!-- Owned by fxt -->\n";
    QTest::newRow("one word of a million")
        << QString(1000000, 'w') << QString(400, 'w') + "…\n" + note;
    QTest::newRow("400 characters, 401")
        << QString(400, 'a') + "\r\n" + QString(401, 'b')
        << QString(400, 'a') + '\n' + QString(400, 'b') + "…\n" + note;
    QTest::newRow("a character of two code units across the cut") // U+1F48D, a ring
        << QString(399, 'a') + QString::fromUcs4(U"\U0001F48D") + 'b'
        << QString(399, 'a') + "…\n" + note;
    QTest::newRow("200 lines") << QString("1\r\n").repeated(200) << QString("1\n").repeated(200);
    QTest::newRow("201 lines") << QString("1\r\n").repeated(201)
                               << QString("1\n").repeated(200) + note;
}

void TestReplyText::shown()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(framla::app::shownReplyText(text), shown);
}

QTEST_GUILESS_MAIN(TestReplyText)
#include "tst_reply_text.moc"
