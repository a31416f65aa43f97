// The filter a file dialog is given.
#include "runtime/qt_dialogs.h"

#include <QRegularExpression>
#include <QTest>

class TestDialogs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void filter_data();
    void filter();
};

void TestDialogs::filter_data()
{
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("shown");
    QTest::newRow("upper-case table") << true << "IX0001.DBF" << true;
    QTest::newRow("lower-case table") << true << "ix0001.dbf" << true;
    QTest::newRow("mixed-case export") << true << "Ix02Exp.Dbf" << true;
    QTest::newRow("csv") << true << "export.csv" << true;
    QTest::newRow("text") << true << "NOTES.TXT" << true;
    QTest::newRow("other table") << true << "stock.dbf" << false;
    QTest::newRow("picture") << true << "ring.jpg" << false;
    QTest::newRow("windows keeps the patterns") << false << "IX0001.DBF" << true;
}

void TestDialogs::filter()
{
    QFETCH(bool, caseSensitive);
    QFETCH(QString, file);
    QFETCH(bool, shown);
    const QString text = framla::runtime::fileDialogFilter(
        QStringLiteral("Allowed data files: ix.., iy.., i..exp, csv & txt"),
        QStringLiteral("IX*.DBF;IY*.DBF;I*EXP.DBF;*.CSV;*.TXT"), caseSensitive);
    QVERIFY(text.startsWith(QStringLiteral("Allowed data files: ix.., iy.., i..exp, csv & txt (")));
    const QString patterns = text.section(QLatin1Char('('), 1).chopped(1);
    bool matched = false;
    for (const QString &pattern : patterns.split(QLatin1Char(' '))) {
        const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern));
        matched = matched || re.match(file).hasMatch();
    }
    QCOMPARE(matched, shown);
}

QTEST_GUILESS_MAIN(TestDialogs)
#include "tst_dialogs.moc"
