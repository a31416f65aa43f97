// Target codes: normalisation in the three modes, image paths, numeric value.
#include "core/normalize.h"
#include "core/value.h"
#include "server/image_path.h"

#include <QTest>

using framla::core::NORMALIZE;
using framla::server::MAKEFILE;

enum Mode { Inventory, CustSup, Repairs };
Q_DECLARE_METATYPE(Mode)

class TestCodes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void normalize_data();
    void normalize();
    void makefile_data();
    void makefile();
    void val_data();
    void val();
};

void TestCodes::normalize_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expected");

    // Inventory codes are widened to seven characters.
    QTest::newRow("letters widen with dashes") << Inventory << "AB12"
                                               << "AB---12";
    QTest::newRow("digits widen with zeros") << Inventory << "1234"
                                             << "1200034";
    QTest::newRow("three characters") << Inventory << "AB1"
                                      << "AB----1";
    QTest::newRow("six characters") << Inventory << "AB1234"
                                    << "AB-1234";
    QTest::newRow("trailing blanks ignored") << Inventory << "AB12   "
                                             << "AB---12";
    QTest::newRow("raw material") << Inventory << "F0001"
                                  << "F0001";
    QTest::newRow("raw material with leading star") << Inventory << "*F0001"
                                                    << "F0001";
    QTest::newRow("raw material between stars") << Inventory << "*F0001*"
                                                << "F0001";
    QTest::newRow("six characters with a star are widened") << Inventory << "F0001*"
                                                            << "F0-001*";
    QTest::newRow("raw material worth nothing is widened") << Inventory << "F0000"
                                                           << "F0--000";
    QTest::newRow("seven unchanged") << Inventory << "AB12345"
                                     << "AB12345";
    QTest::newRow("eight unchanged") << Inventory << "AB123456"
                                     << "AB123456";
    QTest::newRow("long code keeps its blanks") << Inventory << "AB123456 "
                                                << "AB123456 ";
    QTest::newRow("two characters unchanged") << Inventory << "12"
                                              << "12";
    QTest::newRow("empty") << Inventory << ""
                           << "";
    QTest::newRow("blanks only") << Inventory << "   "
                                 << "";

    // Service orders become "or" and six digits.
    QTest::newRow("order with prefix") << Repairs << "OR123"
                                       << "or000123";
    QTest::newRow("order lower prefix") << Repairs << "or123"
                                        << "or000123";
    QTest::newRow("order digits") << Repairs << "123"
                                  << "or000123";
    QTest::newRow("order six digits") << Repairs << "999999"
                                      << "or999999";
    QTest::newRow("order zero") << Repairs << "0"
                                << "";
    QTest::newRow("order empty") << Repairs << ""
                                 << "";
    QTest::newRow("order too big") << Repairs << "1000000"
                                   << "";
    QTest::newRow("order letters") << Repairs << "ORX"
                                   << "";
    QTest::newRow("bare OR") << Repairs << "OR"
                             << "";

    // Account numbers are checked, not changed.
    QTest::newRow("customer") << CustSup << "12345"
                              << "12345";
    QTest::newRow("supplier") << CustSup << "1234"
                              << "1234";
    QTest::newRow("supplier zero") << CustSup << "0"
                                   << "0";
    QTest::newRow("customer too low") << CustSup << "10000"
                                      << "";
    QTest::newRow("supplier too low") << CustSup << "1000"
                                      << "";
    QTest::newRow("three digits") << CustSup << "999"
                                  << "";
    QTest::newRow("six digits") << CustSup << "123456"
                                << "";
    QTest::newRow("account with trailing blank") << CustSup << "1234 "
                                                 << "1234";
    QTest::newRow("account with letters") << CustSup << "12AB"
                                          << "";
}

void TestCodes::normalize()
{
    QFETCH(Mode, mode);
    QFETCH(QString, code);
    QFETCH(QString, expected);
    QCOMPARE(NORMALIZE(code, mode == Inventory, mode == Repairs), expected);
}

void TestCodes::makefile_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("dos");
    QTest::addColumn<QString>("expected");

    QTest::newRow("inventory") << Inventory << "AB12345"
                               << "AB12345" << false << "images/AB/AB12345.jpg";
    QTest::newRow("inventory on a Windows server")
        << Inventory << "AB12345"
        << "AB12345" << true << "images\\AB\\AB12345.jpg";
    QTest::newRow("abbreviated inventory") << Inventory << "AB12"
                                           << "" << false << "images/AB/AB---12.jpg";
    QTest::newRow("raw material, inventory") << Inventory << "F0001"
                                             << "" << false << "images/F/F0001.jpg";
    // The code enters normalised for its mode, so the same code always maps
    // to the file the look-up used: no account is a raw-material code, and a
    // five-character inventory code is widened to seven.
    QTest::newRow("raw material, accounts") << CustSup << "F0001"
                                            << "x" << false << "";
    QTest::newRow("raw material, orders") << Repairs << "F0001"
                                          << "" << false << "";
    QTest::newRow("raw material worth nothing") << Inventory << "F0000"
                                                << "" << false << "images/F0/F0--000.jpg";
    QTest::newRow("supplier") << CustSup << "1234"
                              << "RING5" << false << "images/ssr/1234/RING5.jpg";
    QTest::newRow("supplier on a Windows server")
        << CustSup << "1234"
        << "RING5" << true << "images\\ssr\\1234\\RING5.jpg";
    QTest::newRow("supplier 1000") << CustSup << "1000"
                                   << "RING5" << false << "";
    QTest::newRow("customer") << CustSup << "12345"
                              << "BROOCH" << false << "images/cust/12345/BROOCH.jpg";
    QTest::newRow("customer code in inventory mode")
        << Inventory << "12345"
        << "BROOCH" << false << "images/12/1200345.jpg";
    QTest::newRow("supplier zero") << CustSup << "0"
                                   << "X" << false << "images/ssr/0/X.jpg";
    QTest::newRow("order") << Repairs << "OR123"
                           << "" << false << "images/ord/or000123.jpg";
    QTest::newRow("order on a Windows server") << Repairs << "123"
                                               << "" << true << "images\\ord\\or000123.jpg";
    QTest::newRow("long inventory code") << Inventory << "AB123456"
                                         << "" << false << "";
    // Nothing to name a file by: no path at all rather than "images/ord/.jpg".
    QTest::newRow("order that is no order") << Repairs << "0"
                                            << "" << false << "";
    QTest::newRow("supplier without a name") << CustSup << "1234"
                                             << "" << false << "";
    QTest::newRow("customer without a name") << CustSup << "12345"
                                             << "" << false << "";
}

void TestCodes::makefile()
{
    QFETCH(Mode, mode);
    QFETCH(QString, code);
    QFETCH(QString, name);
    QFETCH(bool, dos);
    QFETCH(QString, expected);
    // The code as it enters, then its path.
    const QString entered = NORMALIZE(code, mode == Inventory, mode == Repairs);
    const QString before = entered;
    QCOMPARE(MAKEFILE(entered, name, mode == Inventory, mode == Repairs, dos), expected);
    QCOMPARE(entered, before);
}

void TestCodes::val_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("digits") << "1234" << 1234.0;
    QTest::newRow("leading digits") << "12AB" << 12.0;
    QTest::newRow("letter first") << "F0001" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("leading blanks") << "  42" << 42.0;
    QTest::newRow("fraction") << "0.75" << 0.75;
    QTest::newRow("negative") << "-5" << -5.0;
    QTest::newRow("sign alone") << "-" << 0.0;
}

void TestCodes::val()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(framla::core::VAL(text), expected);
}

QTEST_GUILESS_MAIN(TestCodes)
#include "tst_codes.moc"
