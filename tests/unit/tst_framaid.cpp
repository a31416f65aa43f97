// framaid's look-ups: replies for every kind of request, large, changing,
// half-written and damaged tables, file checks, ownership, and readers that
// never see half a reply.
#include "framaid_fixture.h"

using namespace framaid_test;

class FramaidTest : public FramaidFixture {
    Q_OBJECT
    using FramaidFixture::lookUp; // beside the test function of the same name

private slots:
    void initTestCase() { prepareCase(); }

    void lookUp_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        QTest::addColumn<bool>("exists"); // "exists" among the notes

        const QStringList noMarks{"no pre-existing group", "(no images found)",
                                  "is not an existing", "Owned by"};
        QTest::newRow("own picture")
            << "AB10001"
            << QStringList{"AB10001: Solitaire ring, 0.50ct diamond",
                           "Supplier 1234 (Bellini Oro S.p.A.), stock reference RING5",
                           "Price: 2450.00", "<!-- images/AB/AB10001.jpg exists ("}
            << noMarks + QStringList{"images/ssr/"} << true;
        QTest::newRow("supplier's picture")
            << "AB10003"
            << QStringList{"<!-- images/AB/AB10003.jpg: no picture on file yet -->",
                           "images/ssr/1234/RING5.jpg exists on server -->"}
            << noMarks << true;
        QTest::newRow("supplier's picture, other letter case")
            << "AB10005" << QStringList{"images/ssr/1234/RING7.jpg exists on server"} << noMarks
            << true;
        QTest::newRow("picture not tied to a supplier")
            << "AB00012" << QStringList{"images/ssr/0/KID1.jpg exists on server"} << noMarks
            << true;
        QTest::newRow("no picture anywhere")
            << "AB10004"
            << QStringList{"AB10004: Eternity ring",
                           "<!-- images/AB/AB10004.jpg: no picture on file yet -->"}
            << noMarks + QStringList{"images/ssr/"} << false;
        // No picture is filed under a code the shop has not keyed in.
        QTest::newRow("deleted record")
            << "AB19999"
            << QStringList{"Item AB19999 is not in the item table.", "no pre-existing group"}
            << QStringList{"Withdrawn"} << false;
        QTest::newRow("unknown item, group there")
            << "AB12345"
            << QStringList{"Item AB12345 is not in the item table.", "no pre-existing group"}
            << QStringList{"images/ssr/", "(no images found)", "is not an existing"} << false;
        QTest::newRow("group directory missing")
            << "GH40001"
            << QStringList{"GH40001: Automatic watch", "no pre-existing group images/GH/"}
            << QStringList{"images/ssr/"} << false;
        QTest::newRow("raw material")
            << "F0001"
            << QStringList{"F0001: Fine gold grain, 999.9", "<!-- images/F/F0001.jpg exists ("}
            << noMarks << true;
        QTest::newRow("raw material, group missing")
            << "K0001" << QStringList{"K0001: Ruby", "no pre-existing group images/K/"}
            << QStringList{} << false;
        QTest::newRow("numeric inventory code")
            << "1200034"
            << QStringList{"1200034: Gift voucher card", "images/12/1200034.jpg exists"} << noMarks
            << true;
        QTest::newRow("supplier")
            << "1234"
            << QStringList{"Supplier 1234: Bellini Oro S.p.A.", "City: Vicenza",
                           "Pictures on file (3): CHAIN2.jpg, RING5.jpg, RING7.jpg"}
            << noMarks + QStringList{"images/ssr/"} << false;
        QTest::newRow("supplier, empty directory, code page")
            << "7777" << QStringList{"Supplier 7777: Atelier R\u00e9my", "(no images found)"}
            << QStringList{"is not an existing", "no pre-existing group"} << false;
        QTest::newRow("unknown supplier")
            << "1111"
            << QStringList{"1111 is not an existing supplier account.", "(no images found)",
                           "no pre-existing group"}
            << QStringList{} << false;
        // The account numbers' bounds: suppliers 1001 to 9999, customers 10001 to 99999.
        QTest::newRow("lowest supplier")
            << "1001"
            << QStringList{"Supplier 1001: Goldcraft Ltd",
                           "Pictures on file (3): BC18.jpg, GR3.jpg, WB4.jpg"}
            << noMarks << false;
        QTest::newRow("one below the suppliers")
            << "1000" << QStringList{"Code 1000 is not an inventory code", "no pre-existing group"}
            << QStringList{"Supplier", "supplier account"} << false;
        QTest::newRow("highest supplier number")
            << "9999" << QStringList{"9999 is not an existing supplier account."} << QStringList{}
            << false;
        QTest::newRow("one below the customers")
            << "10000"
            << QStringList{"Code 10000 is not an inventory code", "no pre-existing group"}
            << QStringList{"Customer", "customer account"} << false;
        QTest::newRow("a high customer number")
            << "99998" << QStringList{"99998 is not an existing customer account."} << QStringList{}
            << false;
        QTest::newRow("customer") << "12345"
                                  << QStringList{"Customer 12345: Mr J. Okafor",
                                                 "Pictures on file (2): BROOCH.jpg, WATCH1.jpg"}
                                  << noMarks << false;
        QTest::newRow("customer, empty directory")
            << "23456" << QStringList{"Customer 23456: Ms L. Brennan", "(no images found)"}
            << QStringList{"is not an existing"} << false;
        QTest::newRow("unknown customer")
            << "88888" << QStringList{"88888 is not an existing customer account."} << QStringList{}
            << false;
        QTest::newRow("supplier account 0")
            << "0" << QStringList{"Pictures on file (1): KID1.jpg"} << noMarks << false;
        QTest::newRow("service order")
            << "or000101"
            << QStringList{"Service order or000101: Resize ring from N to P",
                           "Customer 12345 (Mr J. Okafor)", "Due: 2024-03-18",
                           "<!-- images/ord/or000101.jpg exists ("}
            << noMarks << true;
        QTest::newRow("service order without picture")
            << "or000103" << QStringList{"Service order or000103: Replace watch battery"} << noMarks
            << false;
        QTest::newRow("unknown service order")
            << "or000999"
            << QStringList{"Service order or000999 is not in the service order table.",
                           "no pre-existing group"}
            << QStringList{} << false;
        // The desktop program sends a service order as "or" and six digits;
        // in Inventory mode every code is in capitals, so this is an item's tag.
        QTest::newRow("inventory tag shaped like a service order")
            << "OR000101"
            << QStringList{"No item matches the long code OR000101.", "no pre-existing group"}
            << QStringList{"Service order", "images/ord/"} << false;
        QTest::newRow("not a code")
            << "12" << QStringList{"Code 12 is not an inventory code", "no pre-existing group"}
            << QStringList{} << false;
    }

    void lookUp()
    {
        QFETCH(QString, code);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        QFETCH(bool, exists);
        const Run r = lookUp(m_db, code);
        QCOMPARE(r.exitCode, 0);
        checkShape(r, m_db);
        for (const QString &p : present)
            QVERIFY2(r.reply.contains(p),
                     qPrintable(p + QLatin1String("\n--- not in ---\n") + r.reply));
        for (const QString &a : absent)
            QVERIFY2(!r.reply.contains(a),
                     qPrintable(a + QLatin1String("\n--- is in ---\n") + r.reply));
        QCOMPARE(notes(r.reply).contains(QLatin1String("exists")), exists);
    }

    // The first note names what the reply answers, as it was asked.
    void requestNote_data()
    {
        QTest::addColumn<QStringList>("request"); // after OUTDIR
        QTest::addColumn<QString>("note");        // "" for none
        QTest::newRow("item") << QStringList{"AB10001", kToken} << "<!-- request AB10001 -->";
        QTest::newRow("supplier's picture stays the last note")
            << QStringList{"AB10003", kToken} << "<!-- request AB10003 -->";
        QTest::newRow("service order, as typed")
            << QStringList{"OR000101", kToken} << "<!-- request OR000101 -->";
        QTest::newRow("long code")
            << QStringList{"2000000100014", kToken} << "<!-- request 2000000100014 -->";
        QTest::newRow("not a code") << QStringList{"12", kToken} << "<!-- request 12 -->";
        QTest::newRow("file check")
            << QStringList{"ix0001.dbf", kToken, "shuttle"} << "<!-- request ix0001.dbf -->";
        QTest::newRow("refused directory")
            << QStringList{"x.jpg", kToken, "../jtemp"} << "<!-- request x.jpg -->";
        // Names as ordinary file names come: the desktop program quotes them.
        QTest::newRow("camera file name")
            << QStringList{"IMG_1234(2)", kToken} << "<!-- request IMG_1234(2) -->";
        QTest::newRow("shell characters stay text")
            << QStringList{"$(id);*", kToken} << "<!-- request $(id);* -->";
        QTest::newRow("file check, plus sign")
            << QStringList{"ring+5.jpg", kToken, "shuttle"} << "<!-- request ring+5.jpg -->";
        QTest::newRow("refused code is not repeated") << QStringList{"a b", kToken} << "";
    }

    void requestNote()
    {
        QFETCH(QStringList, request);
        QFETCH(QString, note);
        const Run r = run(QStringList{m_db + "/jtemp/root"} + request);
        QVERIFY(r.exitCode == 0 || r.exitCode == 2);
        checkShape(r, m_db);
        const QStringList noteLines =
            notes(r.reply).split(QLatin1String("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(noteLines.filter(QLatin1String("<!-- request ")),
                 note.isEmpty() ? QStringList() : QStringList{note});
        if (!note.isEmpty())
            QCOMPARE(noteLines.first(), note);
        if (r.reply.contains(QLatin1String("exists on server")))
            QVERIFY(noteLines.at(noteLines.size() - 2).contains(QLatin1String("exists on server")));
    }

    // A table of many blocks (8,192 records of 128 bytes a block): records on
    // either side of a block's edge, the last one, a deleted one and a tag.
    void largeTable_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("expected"); // line 2
        QTest::newRow("last of a block") << "AB08192"
                                         << "AB08192: Ring, pattern 192";
        QTest::newRow("first of the next") << "AB08193"
                                           << "AB08193: Ring, pattern 193";
        QTest::newRow("last record") << "AB20000"
                                     << "AB20000: Ring, pattern 0";
        QTest::newRow("deleted record") << "AB08245"
                                        << "Item AB08245 is not in the item table.";
        QTest::newRow("tag") << "2000000016385"
                             << "AB16385: Ring, pattern 385";
        QTest::newRow("missing") << "ZZ99999"
                                 << "Item ZZ99999 is not in the item table.";
        QTest::newRow("key in lower case") << "AB20001"
                                           << "AB20001: Ring, pattern 0";
        QTest::newRow("tag in lower case") << "AB2000303X"
                                           << "AB20001: Ring, pattern 0";
        QTest::newRow("right-aligned tag") << "20000000213"
                                           << "AB20002: Ring, pattern 0";
    }

    void largeTable()
    {
        QFETCH(QString, code);
        QFETCH(QString, expected);
        static QString db;
        if (db.isEmpty()) {
            db = dbWithItems(20000);
            // Keys as other programs write them; a code that starts a tag.
            const QString t = db + "/items.dbf";
            QVERIFY(appendItem(t, "ab20001", "ab2000303x") && appendItem(t, "2000000", "") &&
                    appendItem(t, "AB20002", "  20000000213"));
        }
        const Run r = lookUp(db, code);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(line2(r.reply), expected);
    }

    // Each look-up reads the table as it is then: items a shop program
    // appends between two look-ups are found by the second.
    void tableChangedBetweenLookUps()
    {
        const QString db = dbWithItems(300);
        QCOMPARE(line2(lookUp(db, "AB00300").reply), QString("AB00300: Ring, pattern 300"));
        QCOMPARE(line2(lookUp(db, "AB00301").reply),
                 QString("Item AB00301 is not in the item table."));
        for (int i = 301; i <= 302; ++i)
            QVERIFY(appendItem(db + "/items.dbf", "AB00" + QByteArray::number(i),
                               "2000000000" + QByteArray::number(i)));
        QCOMPARE(line2(lookUp(db, "AB00301").reply), QString("AB00301: Ring, pattern 300"));
        QCOMPARE(line2(lookUp(db, "AB00302").reply), QString("AB00302: Ring, pattern 300"));
        QCOMPARE(line2(lookUp(db, "2000000000302").reply), QString("AB00302: Ring, pattern 300"));
    }

    // A table whose last record is only half written (the header counts it,
    // its bytes stop half way): that record is not there yet, the others are.
    void halfWrittenRecord_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("expected"); // line 2
        QTest::newRow("the half record") << "AB00300"
                                         << "Item AB00300 is not in the item table.";
        QTest::newRow("the one before") << "AB00299"
                                        << "AB00299: Ring, pattern 299";
        QTest::newRow("the first") << "AB00001"
                                   << "AB00001: Ring, pattern 1";
        QTest::newRow("tag of the one before") << "2000000000299"
                                               << "AB00299: Ring, pattern 299";
        QTest::newRow("prefix of the half record") << "AB00300X"
                                                   << "No item matches the long code AB00300X.";
    }

    void halfWrittenRecord()
    {
        QFETCH(QString, code);
        QFETCH(QString, expected);
        static QString db;
        if (db.isEmpty()) {
            db = dbWithItems(300);
            QFile table(db + "/items.dbf");
            QVERIFY(table.open(QIODevice::ReadOnly));
            const int recordLen = int(le(table.read(12), 10, 2));
            table.close();
            QVERIFY(table.resize(table.size() - recordLen / 2));
        }
        const Run r = lookUp(db, code);
        QCOMPARE(r.exitCode, 0);
        checkShape(r, db);
        QCOMPARE(line2(r.reply), expected);
    }

    void accountDirectoryIsMade()
    {
        const QString db = freshDb();
        QVERIFY(!QFileInfo(db + "/images/ssr/1500").exists());
        const Run r = lookUp(db, QStringLiteral("1500"));
        QVERIFY(r.reply.contains("A new picture directory has been made"));
        QVERIFY(r.reply.contains("(no images found)"));
        QVERIFY(!r.reply.contains("no pre-existing group"));
        QVERIFY(QFileInfo(db + "/images/ssr/1500").isDir());
        QVERIFY(!QFileInfo(db + "/images/ssr/1111").exists()); // unknown accounts get none
    }

    // An account's list names its first 30 pictures and counts the rest.
    void pictureList_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("expected");
        QStringList names;
        for (int i = 1; i <= 30; ++i)
            names << QStringLiteral("P%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
        const QString thirty = names.join(QLatin1String(", "));
        QTest::newRow("30 pictures") << 30 << "Pictures on file (30): " + thirty;
        QTest::newRow("31 pictures") << 31 << "Pictures on file (31): " + thirty + " and 1 more";
    }

    void pictureList()
    {
        QFETCH(int, count);
        QFETCH(QString, expected);
        const QString db = freshDb();
        for (int i = 1; i <= count; ++i) {
            QFile picture(
                db + QStringLiteral("/images/ssr/7777/P%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
            QVERIFY(picture.open(QIODevice::WriteOnly));
        }
        const Run r = lookUp(db, QStringLiteral("7777"));
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.reply.split(QLatin1String("\r\n"));
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^Pictures on file"))),
                 QStringList{expected});
    }

    void longCode_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("resolved"); // "" when it must not resolve
        QTest::newRow("code with a suffix") << "AB10001X"
                                            << "AB10001";
        QTest::newRow("scanned tag") << "2000000100014"
                                     << "AB10001";
        QTest::newRow("scanned tag of a chain") << "2000000200011"
                                                << "CD20001";
        QTest::newRow("unknown") << "AB99999XX"
                                 << "";
        QTest::newRow("deleted item") << "AB19999-2"
                                      << "";
        QTest::newRow("raw material with a suffix") << "F0001XYZ"
                                                    << "";
        QTest::newRow("unknown tag") << "2000000999999"
                                     << "";
    }

    void longCode()
    {
        QFETCH(QString, code);
        QFETCH(QString, resolved);
        const Run r = lookUp(m_db, code);
        QCOMPARE(r.exitCode, 0);
        checkShape(r, m_db);
        const QString second = line2(r.reply);
        // What the desktop program does: ":" as 8th character of line 2.
        const bool resolves = second.size() > 7 && second.at(7) == QLatin1Char(':');
        QCOMPARE(resolves, !resolved.isEmpty());
        if (resolves) {
            QCOMPARE(second.left(7), resolved);
            QVERIFY(r.reply.contains("(the long code " + code + " was read as " + resolved + ")"));
            QVERIFY(
                notes(r.reply).contains("images/" + resolved.left(2) + '/' + resolved + ".jpg"));
        } else {
            QVERIFY(r.reply.contains("no pre-existing group")); // nothing can be put under it
        }
    }

    void fileCheck_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("subdir");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<bool>("exists");
        QTest::newRow("data file there")
            << "ix0001.dbf"
            << "shuttle" << 0
            << QStringList{"File ix0001.dbf in the shuttle directory",
                           "<!-- shuttle/ix0001.dbf exists (124 bytes,"}
            << true;
        QTest::newRow("new data file")
            << "ix0002.dbf"
            << "shuttle/" << 0
            << QStringList{"<!-- shuttle/ix0002.dbf: no file of that name yet -->"} << false;
        QTest::newRow("supplier picture there")
            << "RING5.jpg"
            << "images/ssr/1234" << 0
            << QStringList{"Bellini Oro", "<!-- images/ssr/1234/RING5.jpg exists on server ("}
            << true;
        QTest::newRow("new supplier picture")
            << "RING8.jpg"
            << "images/ssr/1234" << 0 << QStringList{"<!-- RING8.jpg: no file of that name yet -->"}
            << false;
        QTest::newRow("customer picture there")
            << "BROOCH.jpg"
            << "images/cust/12345" << 0
            << QStringList{"Mr J. Okafor", "<!-- images/cust/12345/BROOCH.jpg exists ("} << true;
        QTest::newRow("new customer picture")
            << "RING2.jpg"
            << "images/cust/10001" << 0
            << QStringList{"images/cust/10001/RING2.jpg: no file of that name yet"} << false;
        QTest::newRow("unknown supplier")
            << "X.jpg"
            << "images/ssr/1111" << 0
            << QStringList{"1111 is not an existing supplier account.", "no pre-existing group"}
            << false;
        QTest::newRow("inventory group")
            << "AB10001.jpg"
            << "images/AB" << 0 << QStringList{"<!-- images/AB/AB10001.jpg exists ("} << true;
        QTest::newRow("not an account")
            << "X.jpg"
            << "images/ssr/999" << 2
            << QStringList{"Request refused: 999 is not a supplier account number."} << false;
        QTest::newRow("one below the suppliers")
            << "X.jpg"
            << "images/ssr/1000" << 2
            << QStringList{"Request refused: 1000 is not a supplier account number."} << false;
        QTest::newRow("one below the customers")
            << "X.jpg"
            << "images/cust/10000" << 2
            << QStringList{"Request refused: 10000 is not a customer account number."} << false;
        QTest::newRow("reply directory") << "framla.tmp"
                                         << "jtemp" << 2
                                         << QStringList{"Request refused: framaid reports only on "
                                                        "files in shuttle/ and under images/"}
                                         << false;
    }

    void fileCheck()
    {
        QFETCH(QString, file);
        QFETCH(QString, subdir);
        QFETCH(int, exitCode);
        QFETCH(QStringList, present);
        QFETCH(bool, exists);
        const Run r = run({m_db + "/jtemp/root", file, kToken, subdir});
        QCOMPARE(r.exitCode, exitCode);
        checkShape(r, m_db);
        for (const QString &p : present)
            QVERIFY2(r.reply.contains(p),
                     qPrintable(p + QLatin1String("\n--- not in ---\n") + r.reply));
        QCOMPARE(notes(r.reply).contains(QLatin1String("exists")), exists);
        QVERIFY(!r.reply.contains("Owned by")); // root may write everything
    }

    void ownership_data()
    {
        QTest::addColumn<QStringList>(
            "request");                    // after OUTDIR: code or file, token, sub-directory
        QTest::addColumn<QString>("path"); // the file (or directory) given an owner
        QTest::addColumn<uint>("owner");
        QTest::addColumn<uint>("mode");
        QTest::addColumn<QString>("mark"); // owner as the desktop program reads it
        QTest::addColumn<bool>("exists");
        const QStringList ab10001{"AB10001", kToken};
        QTest::newRow("published by the web server")
            << ab10001 << "images/AB/AB10001.jpg" << uint(kWwwData) << 0644u << "user=www-data"
            << true;
        QTest::newRow("root's picture")
            << ab10001 << "images/AB/AB10001.jpg" << 0u << 0644u << "user=root" << true;
        QTest::newRow("own picture")
            << ab10001 << "images/AB/AB10001.jpg" << uint(kNobody) << 0644u << "" << true;
        QTest::newRow("anyone may write it")
            << ab10001 << "images/AB/AB10001.jpg" << 0u << 0666u << "" << true;
        QTest::newRow("new picture, directory closed")
            << QStringList{"AB10004", kToken} << "images/AB" << 0u << 0755u << "user=root" << false;
        QTest::newRow("new picture, own directory") << QStringList{"AB10004", kToken} << "images/AB"
                                                    << uint(kNobody) << 0755u << "" << false;
        QTest::newRow("data file of the web server")
            << QStringList{"ix0001.dbf", kToken, "shuttle"} << "shuttle/ix0001.dbf"
            << uint(kWwwData) << 0644u << "user=www-data" << true;
        QTest::newRow("supplier picture of another")
            << QStringList{"RING5.jpg", kToken, "images/ssr/1234"} << "images/ssr/1234/RING5.jpg"
            << 0u << 0644u << "user=root" << true;
    }

    void ownership()
    {
        QFETCH(QStringList, request);
        QFETCH(QString, path);
        QFETCH(uint, owner);
        QFETCH(uint, mode);
        QFETCH(QString, mark);
        QFETCH(bool, exists);
        const QString db = freshDb();
        const QByteArray target = QFile::encodeName(db + '/' + path);
        QVERIFY(::chown(target.constData(), owner, owner) == 0);
        QVERIFY(::chmod(target.constData(), mode) == 0);

        const QString outdir = db + "/jtemp/nobody";
        const Run r = run(QStringList{outdir} + request, kNobody);
        QCOMPARE(r.exitCode, 0);
        checkShape(r, db);
        QCOMPARE(ownerMark(r.reply), mark);
        if (!mark.isEmpty())
            QVERIFY(r.reply.contains("Owned by " + mark + " -->"));
        QCOMPARE(notes(r.reply).contains(QLatin1String("exists")), exists);

        // The same request by root: root may write it, so no owner mark.
        const Run asRoot = run(QStringList{db + "/jtemp/root"} + request);
        QCOMPARE(ownerMark(asRoot.reply), QString());
    }

    void brokenTable_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("items missing")
            << "items.dbf"
            << "remove"
            << "AB10001"
            << "Item AB10001: the item table items.dbf is missing from the database directory";
        QTest::newRow("items cut short") << "items.dbf"
                                         << "truncate"
                                         << "AB10001"
                                         << "the item table items.dbf is damaged: it is shorter "
                                            "than its header says (33 records)";
        QTest::newRow("items empty")
            << "items.dbf"
            << "empty"
            << "AB10001"
            << "the item table items.dbf is damaged: it is too short to be a dBase table";
        QTest::newRow("items not a table")
            << "items.dbf"
            << "text"
            << "AB10001"
            << "the item table items.dbf is damaged: it is not a dBase table";
        QTest::newRow("record length zero")
            << "items.dbf"
            << "reclen"
            << "AB10001"
            << "the item table items.dbf is damaged: its header is damaged";
        QTest::newRow("field list broken") << "items.dbf"
                                           << "fieldlen"
                                           << "AB10001"
                                           << "the item table items.dbf is damaged: its field list "
                                              "does not match its record length";
        QTest::newRow("items a directory")
            << "items.dbf"
            << "directory"
            << "AB10001"
            << "the item table items.dbf is damaged: it is not a plain file";
        QTest::newRow("items unreadable")
            << "items.dbf"
            << "unreadable"
            << "AB10001"
            << "the item table items.dbf cannot be read (Permission denied)";
        QTest::newRow("long code, items missing") << "items.dbf"
                                                  << "remove"
                                                  << "AB10001X"
                                                  << "The long code AB10001X cannot be matched to "
                                                     "an item: the item table items.dbf is missing";
        QTest::newRow("table name in capitals") << "items.dbf"
                                                << "capitals"
                                                << "AB10001"
                                                << "AB10001: Solitaire ring";
        QTest::newRow("suppliers missing, item") << "suppliers.dbf"
                                                 << "remove"
                                                 << "AB10001"
                                                 << "AB10001: Solitaire ring";
        QTest::newRow("suppliers missing")
            << "suppliers.dbf"
            << "remove"
            << "1234"
            << "Supplier 1234: the supplier table suppliers.dbf is missing";
        QTest::newRow("customers damaged")
            << "customers.dbf"
            << "truncate"
            << "12345"
            << "Customer 12345: the customer table customers.dbf is damaged";
        QTest::newRow("orders missing")
            << "orders.dbf"
            << "remove"
            << "or000101"
            << "Service order or000101: the service order table orders.dbf is missing";
    }

    void brokenTable()
    {
        QFETCH(QString, table);
        QFETCH(QString, damage);
        QFETCH(QString, code);
        QFETCH(QString, expected);
        const QString db = freshDb();
        const QString path = db + '/' + table;
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        f.close();
        uid_t as = 0;
        if (damage == "remove" || damage == "directory" || damage == "capitals") {
            QVERIFY(QFile::remove(path));
            if (damage == "directory")
                QVERIFY(QDir().mkdir(path));
            if (damage == "capitals")
                QVERIFY(QFile::copy(m_db + '/' + table, db + '/' + table.toUpper()));
        } else if (damage == "unreadable") {
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0) == 0);
            as = kNobody;
        } else {
            if (damage == "truncate")
                bytes.truncate(bytes.size() / 2);
            else if (damage == "empty")
                bytes.clear();
            else if (damage == "text")
                bytes = QByteArray("code,desc\nAB10001,ring\n").repeated(40);
            else if (damage == "reclen")
                bytes[10] = bytes[11] = 0;
            else if (damage == "fieldlen")
                bytes[32 + 16] = char(200); // first field's length
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
            f.close();
        }
        const Run r = lookUp(db, code, as);
        QCOMPARE(r.exitCode, 0);
        checkShape(r, db);
        QVERIFY2(r.reply.contains(expected), qPrintable(r.reply));
    }

    // Random damage to the item table's header and first records: every run
    // must end normally with a reply that carries the token.
    void damagedTablesNeverStopTheReply()
    {
        const QString db = freshDb();
        QFile f(db + "/items.dbf");
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray original = f.readAll();
        f.close();
        QRandomGenerator rng(20240611);
        const QStringList codes{"AB10001", "AB10003", "AB10001X", "2000000200011"};
        for (int round = 0; round < 80; ++round) {
            QByteArray b = original;
            const int changes = rng.bounded(1, 7);
            for (int i = 0; i < changes; ++i)
                b[rng.bounded(rng.bounded(4) ? 320 : int(b.size()))] = char(rng.bounded(256));
            if (rng.bounded(5) == 0)
                b.truncate(rng.bounded(int(b.size())));
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(b);
            f.close();
            const Run r = lookUp(db, codes.at(round % codes.size()));
            QVERIFY2(r.exitCode == 0, qPrintable(QString::number(round)));
            checkShape(r, db);
        }
    }

    // Readers see either the old reply or a whole new one, never a part.
    void replyIsReplacedWhole()
    {
        const QString db = freshDb();
        const QString outdir = db + "/jtemp/root";
        QVERIFY(run({outdir, "AB10001", "00:00:00"}).exitCode == 0);
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < 12; ++i) {
            runs.push_back(std::make_unique<QProcess>());
            runs.back()->start(
                framaid(), {outdir, i % 2 ? "AB10003" : "1234", QString("00:00:%1").arg(i + 10)});
        }
        QFile reply(outdir + "/framla.tmp");
        int reads = 0;
        QDeadlineTimer deadline(30000);
        auto running = [&] {
            for (auto &p : runs)
                if (p->state() != QProcess::NotRunning && !p->waitForFinished(0))
                    return true;
            return false;
        };
        do {
            QVERIFY(reply.open(QIODevice::ReadOnly));
            const QByteArray text = reply.readAll();
            reply.close();
            ++reads;
            QVERIFY2(text.startsWith("00:00:") && text.endsWith(" -->\r\n"), text.constData());
        } while (running() && !deadline.hasExpired());
        QVERIFY(!deadline.hasExpired());
        for (auto &p : runs)
            QCOMPARE(p->exitCode(), 0);
        QVERIFY(reads > 0);
        QCOMPARE(QDir(outdir).entryList(QDir::Files | QDir::Hidden), QStringList{"framla.tmp"});
    }
};

QTEST_GUILESS_MAIN(FramaidTest)
#include "tst_framaid.moc"
