// framaid's refusals, its reply directories, its configuration, and its
// --setup and --check of a database directory.
#include "framaid_fixture.h"

using namespace framaid_test;

class FramaidSetupTest : public FramaidFixture {
    Q_OBJECT

private slots:
    void initTestCase() { prepareCase(); }
    // The fixture's states, and the sample with shuttle/ in another group that may write there.
    QString databaseIn(const QString &state)
    {
        if (state != QLatin1String("shuttle of another group"))
            return FramaidFixture::databaseIn(state);
        const QString db = FramaidFixture::databaseIn(QStringLiteral("sample"));
        const QByteArray shuttle = QFile::encodeName(db + "/shuttle");
        return ::chown(shuttle, uid_t(-1), kWwwData) == 0 && ::chmod(shuttle, 0775) == 0 ? db : "";
    }

    void refusedArgument_data()
    {
        QTest::addColumn<QStringList>("request"); // after OUTDIR
        QTest::addColumn<QString>("expected");
        const QString refusedCode = "is not a code framaid accepts";
        for (const char *code : {"../x", "a/b", "a\\b", ";touch x", "a b", "'", "a\"b", ".hidden",
                                 "-rf", "..", "a..b", "x\ny", "x\ty", "caf\xc3\xa9", ""})
            QTest::newRow(qPrintable("code " + QString::fromUtf8(code).toHtmlEscaped()))
                << QStringList{code, kToken} << refusedCode;
        QTest::newRow("code too long") << QStringList{QString(41, 'A'), kToken} << refusedCode;
        QTest::newRow("file with a path") << QStringList{"../../framla.ok", kToken, "shuttle"}
                                          << "is not a file name framaid accepts";
        QTest::newRow("file like an option")
            << QStringList{"-x.jpg", kToken, "images/AB"} << "is not a file name framaid accepts";
        for (const char *subdir :
             {"../jtemp", "/etc", "images/../jtemp", "shuttle;id", "images/ssr/1234/..", ""})
            QTest::newRow(qPrintable(QString("sub-directory ") + subdir))
                << QStringList{"x.jpg", kToken, subdir} << "is not a directory framaid reports on";
        QTest::newRow("token with a blank")
            << QStringList{"AB10001", "09 41"} << "the request token is not acceptable";
        QTest::newRow("empty token")
            << QStringList{"AB10001", ""} << "the request token is not acceptable";
    }

    // framaid takes exactly the names the desktop program sends.
    void sameNamesAsTheDesktop_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name :
             {"IMG_1234(2).jpg", "RING+5.jpg", "a;b", "$(id)", "*", "x=y,z@w~#!&[]{}", "a b", "a/b",
              "a\\b", "it's", "a\"b", ".x", "-x", "a..b", "x\ty", "caf\xc3\xa9", "del\x7f"})
            QTest::newRow(qPrintable(QString::fromUtf8(name).toHtmlEscaped()))
                << QString::fromUtf8(name);
    }

    void sameNamesAsTheDesktop()
    {
        QFETCH(QString, name);
        const Run r = run({m_db + "/jtemp/root", name, kToken, "shuttle"});
        QCOMPARE(!r.reply.contains("is not a file name framaid accepts"),
                 framla::server::isSafeName(name));
    }

    void refusedArgument()
    {
        QFETCH(QStringList, request);
        QFETCH(QString, expected);
        const QString db = freshDb();
        const QStringList before = treeOf(db);
        const Run r = run(QStringList{db + "/jtemp/root"} + request);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.reply.contains("Request refused: ") && r.reply.contains(expected),
                 qPrintable(r.reply));
        QVERIFY(r.raw.endsWith("\r\n"));
        // Nothing but the reply (and its directory) is new.
        QStringList after = treeOf(db);
        after.removeAll(db + "/jtemp/root");
        after.removeAll(db + "/jtemp/root/framla.tmp");
        QCOMPARE(after, before);
    }

    void unusableReplyDirectory_data()
    {
        QTest::addColumn<QString>("outdir"); // "DB" stands for a fresh database
        QTest::newRow("not under jtemp") << "DB/shuttle/root";
        QTest::newRow("no such database") << "/nonexistent/jtemp/root";
        QTest::newRow("dot-dot") << "DB/jtemp/../jtemp/root";
        QTest::newRow("empty") << "";
        QTest::newRow("a file") << "DB/jtemp/taken";
        QTest::newRow("user part not a name") << "DB/jtemp/a b";
        QTest::newRow("jtemp itself") << "DB/jtemp";
    }

    void unusableReplyDirectory()
    {
        QFETCH(QString, outdir);
        const QString db = freshDb();
        QFile taken(db + "/jtemp/taken");
        QVERIFY(taken.open(QIODevice::WriteOnly));
        taken.close();
        const QStringList before = treeOf(db);
        const Run r = run({outdir.replace("DB", db), "AB10001", kToken});
        QCOMPARE(r.exitCode, 3);
        QCOMPARE(treeOf(db), before);
    }

    // jtemp is open to every account: framaid writes only into the calling
    // account's own directory there, which no other account may write.
    void unsafeReplyDirectory_data()
    {
        QTest::addColumn<QString>("planted"); // what is at jtemp/<user> before the run
        QTest::addColumn<uint>("as");
        QTest::addColumn<QString>("message");
        QTest::newRow("link to another directory")
            << "link to shuttle" << 0u
            << "/jtemp/root is a symbolic link, not a directory of its own";
        QTest::newRow("link to the account's own directory")
            << "link to own" << uint(kNobody) << "/jtemp/nobody is a symbolic link";
        QTest::newRow("root's directory, run as nobody")
            << "root 755" << uint(kNobody)
            << "/jtemp/nobody belongs to user=root, not to user=nobody";
        QTest::newRow("web server's directory, run as root")
            << "www-data 755" << 0u << "/jtemp/root belongs to user=www-data, not to user=root";
        QTest::newRow("group may write")
            << "own 770" << 0u << "/jtemp/root may be written by other accounts (mode 770)";
        QTest::newRow("anyone may write")
            << "own 777" << 0u << "/jtemp/root may be written by other accounts (mode 777)";
    }

    void unsafeReplyDirectory()
    {
        QFETCH(QString, planted);
        QFETCH(uint, as);
        QFETCH(QString, message);
        const QString db = freshDb();
        const QString outdir = db + (as ? "/jtemp/nobody" : "/jtemp/root");
        const QByteArray o = QFile::encodeName(outdir);
        const QString own = m_tmp.filePath(QStringLiteral("own%1").arg(m_fresh));
        if (planted == "link to shuttle") {
            QVERIFY(QFile::link(db + "/shuttle", outdir));
        } else if (planted == "link to own") {
            QVERIFY(QDir().mkdir(own) &&
                    ::chown(QFile::encodeName(own).constData(), kNobody, kNobody) == 0);
            QVERIFY(QFile::link(own, outdir));
        } else {
            const QStringList owner = planted.split(' ');
            QVERIFY(QDir().mkdir(outdir));
            const uid_t uid = owner.first() == "root"       ? 0
                              : owner.first() == "www-data" ? kWwwData
                                                            : as;
            QVERIFY(::chown(o.constData(), uid, uid) == 0);
            QVERIFY(::chmod(o.constData(), owner.last().toUInt(nullptr, 8)) == 0);
        }
        const QStringList before = treeOf(db);
        const QStringList ownBefore = treeOf(own);
        const Run r = run({outdir, "AB10001", kToken}, as);
        QCOMPARE(r.exitCode, 5);
        QVERIFY2(r.errors.contains(message), qPrintable(r.errors));
        QCOMPARE(treeOf(db), before); // no reply anywhere
        QCOMPARE(treeOf(own), ownBefore);
    }

    // Where others may write in jtemp (as reached physically) without the sticky bit, one could
    // swap the reply directory after framaid wrote: framaid makes and writes none there, and
    // --check names it.
    void swappableJtemp_data()
    {
        // Its mode; "link": a link to such a directory; "own": the reply directory is there.
        QTest::addColumn<QString>("jtemp");
        QTest::newRow("shop's group") << "2775";
        QTest::newRow("anyone, reply directory there") << "777 own";
        QTest::newRow("a link to a group's directory") << "link 775";
    }

    void swappableJtemp()
    {
        QFETCH(QString, jtemp);
        const QString db = freshDb();
        const bool link = jtemp.startsWith("link");
        const QString where = link ? db + "-jtemp" : db + "/jtemp";
        QVERIFY(!link || (QDir(db + "/jtemp").removeRecursively() && QDir().mkdir(where) &&
                          QFile::link(where, db + "/jtemp")));
        QVERIFY(!jtemp.endsWith("own") || QDir().mkdir(where + "/root"));
        const QString mode = jtemp.section(' ', link ? 1 : 0, link ? 1 : 0);
        QVERIFY(::chmod(QFile::encodeName(where), mode.toUInt(nullptr, 8)) == 0);
        const QStringList before = treeOf(db) + treeOf(where);
        const Run r = run({db + "/jtemp/root", "AB10001", kToken});
        QCOMPARE(r.exitCode, 5);
        // clang-format off
        QCOMPARE(r.errors, QString("framaid: %1/jtemp may be written by other accounts and has no sticky bit (mode %2), so one of them could swap %1/jtemp/root for its own; no reply is written\n").arg(db, mode));
        QCOMPARE(treeOf(db) + treeOf(where), before);
        QCOMPARE(run({"--check", db}).output.split('\n').filter("jtemp").join('\n'), QString("WRONG    jtemp/ has mode %2: other accounts may write there without the sticky bit, so one could swap another's reply directory for its own; framaid writes no reply there until it is 1777\n         fix: chmod 1777 %1/jtemp (as its owner or root; framaid --setup sets it too)").arg(db, mode));
        // clang-format on
    }

    void replyDirectoryIsMadeForANewUser()
    {
        const QString db = freshDb();
        const Run r = run({db + "/jtemp/newclerk/", "AB10001", kToken}, 0, db + "/jtemp/newclerk");
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.reply.startsWith(kToken));
        struct stat st {};
        QVERIFY(::lstat(QFile::encodeName(db + "/jtemp/newclerk").constData(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, 0700u); // no other account may read or plant replies
        QCOMPARE(run({db + "/jtemp/newclerk", "AB10001"}).exitCode, 2); // a token missing: usage
    }

    void configuration_data()
    {
        QTest::addColumn<QString>("conf");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no file: defaults") << "-"
                                           << "AB10001"
                                           << "AB10001: Solitaire ring";
        QTest::newRow("other table and fields")
            << "items = STOCK.DBF\nitems.desc = metal\nitems.show = price\n"
            << "AB10001"
            << "AB10001: 18ct white gold\r\nSupplier 1234 (Bellini Oro S.p.A.), stock reference "
               "RING5\r\nPrice: 2450.00\r\n";
        QTest::newRow("code field missing")
            << "items.code = NOSUCH\n"
            << "AB10001"
            << "the item table items.dbf has no field NOSUCH (see framaid.conf)";
        QTest::newRow("tag field missing: prefix still works") << "items.tag = NOSUCH\n"
                                                               << "AB10001X"
                                                               << "AB10001: Solitaire ring";
        QTest::newRow("lines not understood")
            << "itemz = x\nitems = ../../etc/passwd\n# comment\n\nsuppliers.show = CITY\n"
            << "1234"
            << "Note: framaid.conf has lines framaid does not understand: line 1 (itemz = x) line "
               "2 (items = ../../etc/passwd)";
        QTest::newRow("account directories not made") << "create_account_dirs = no\n"
                                                      << "1500"
                                                      << "no pre-existing group";
    }

    void configuration()
    {
        QFETCH(QString, conf);
        QFETCH(QString, code);
        QFETCH(QString, expected);
        const QString db = freshDb();
        QVERIFY(QFile::copy(db + "/items.dbf", db + "/STOCK.DBF"));
        QFile f(db + "/framaid.conf");
        if (conf == "-") {
            QVERIFY(f.remove());
        } else {
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(conf.toUtf8());
            f.close();
        }
        const Run r = lookUp(db, code);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.reply.contains(expected), qPrintable(r.reply));
    }

    void setup_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("lines"); // among what framaid prints
        QTest::newRow("empty directory")
            << "empty" << 0
            << QStringList{"jtemp/: made (mode 1777)",
                           "shuttle/: made (mode 755)",
                           "images/: made (mode 755)",
                           "images/ssr/: made (mode 755)",
                           "images/ssr/0/: made (mode 755)",
                           "images/cust/: made (mode 755)",
                           "images/ord/: made (mode 755)",
                           "images/F/: made (mode 755)",
                           "framla.ok: made, the file the desktop's settings test fetches",
                           "framaid.conf: made, spelling out the default tables and fields",
                           "Done: 10 changes."};
        QTest::newRow("directory of the shop's group")
            << "empty, group" << 0
            << QStringList{"jtemp/: made (mode 1777)", "images/ord/: made (mode 2775)"};
        QTest::newRow("group mate's link, run as root")
            << "empty, group, images planted" << 1
            << QStringList{"images/: a symbolic link in a directory that other accounts may write; "
                           "framaid run as root does not follow it",
                           "images/ssr/0/: lies beyond images/, which is a symbolic link in a "
                           "directory that other accounts may write; "
                           "framaid run as root does not follow it",
                           "6 steps could not be done."};
        QTest::newRow("sample database")
            << "sample" << 0
            << QStringList{"jtemp/: in order", "images/F/: in order",
                           "framaid.conf: there already, left as it is",
                           "Nothing changed: the database directory was prepared already."};
        QTest::newRow("jtemp closed")
            << "jtemp 755" << 0
            << QStringList{"jtemp/: mode set to 1777 (it was 755)", "Done: 1 change."};
        QTest::newRow("a file in the way")
            << "shuttle a file" << 1
            << QStringList{"shuttle/: something that is not a directory is in the way",
                           "1 step could not be done."};
        QTest::newRow("jtemp a link")
            << "jtemp a link" << 1
            << QStringList{"jtemp/: a symbolic link to a directory of mode 755; framaid sets no "
                           "mode through a link, and it must be 1777"};
    }

    void setup()
    {
        QFETCH(QString, state);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);
        const QString db = databaseIn(state);
        QVERIFY(!db.isEmpty());
        const Run first = run({"--setup", db});
        QCOMPARE(first.exitCode, exitCode);
        const QStringList printed = first.output.split('\n');
        for (const QString &l : lines)
            QVERIFY2(printed.contains(l), qPrintable(l + "\n--- not in ---\n" + first.output));
        // A second run changes nothing, and says so.
        const QStringList before = statesOf(db);
        const Run second = run({"--setup", db});
        QCOMPARE(second.exitCode, exitCode);
        QCOMPARE(statesOf(db), before);
        QCOMPARE(second.output.contains("Nothing changed"), exitCode == 0);
        if (exitCode != 0)
            return;
        struct stat st {};
        QVERIFY(::lstat(QFile::encodeName(db + "/jtemp").constData(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, 01777u);
        // The database answers look-ups, and its framaid.conf is understood.
        const Run r = lookUp(db, "AB10001");
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.reply.startsWith(kToken) && !r.reply.contains("does not understand"),
                 qPrintable(r.reply));
    }

    // Root prepares another account's database as that account: a link the
    // owner planted leads nowhere the owner may not write.
    void setupForAnotherOwner_data()
    {
        QTest::addColumn<QString>(
            "link"); // entry/target in root's directory R (mode 755; 700 for R/x)
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("images") << "images/"
                                << QStringList{"images/: in order (a symbolic link to a directory)",
                                               "images/ssr/: cannot be made: Permission denied",
                                               "5 steps could not be done."};
        QTest::newRow("images, closed")
            << "images/x"
            << QStringList{"images/: a symbolic link that user=nobody may not follow: "
                           "Permission denied",
                           "images/ssr/: cannot be reached: Permission denied",
                           "6 steps could not be done."};
        QTest::newRow("jtemp")
            << "jtemp/"
            << QStringList{"jtemp/: a symbolic link to a directory of mode 755; framaid sets "
                           "no mode through a link, and it must be 1777",
                           "1 step could not be done."};
        QTest::newRow("no link") << ""
                                 << QStringList{"jtemp/: made (mode 1777)",
                                                "images/F/: made (mode 755)", "Done: 10 changes."};
    }

    void setupForAnotherOwner()
    {
        QFETCH(QString, link);
        QFETCH(QStringList, lines);
        const QString db = databaseIn("empty"), root = db + "-root",
                      entry = db + '/' + link.section('/', 0, 0);
        QVERIFY(::chown(QFile::encodeName(db), kNobody, kNobody) == 0 &&
                QDir().mkpath(root + "/x") &&
                ::chmod(QFile::encodeName(root), link.endsWith('x') ? 0700 : 0755) == 0);
        QVERIFY(link.isEmpty() || (QFile::link(root + '/' + link.section('/', 1), entry) &&
                                   ::lchown(QFile::encodeName(entry), kNobody, kNobody) == 0));
        const QStringList rootBefore = treeOf(root);
        const Run r = run({"--setup", db});
        QCOMPARE(r.exitCode, link.isEmpty() ? 0 : 1);
        const QStringList printed = r.output.split('\n');
        QCOMPARE(printed.first(), "framaid --setup works as user=nobody, the owner of " + db +
                                      ": it makes only what that account may make.");
        for (const QString &l : lines)
            QVERIFY2(printed.contains(l), qPrintable(l + "\n--- not in ---\n" + r.output));
        QCOMPARE(treeOf(root), rootBefore);
        for (const QString &state : statesOf(db)) // path mode uid ...: all the owner's
            QVERIFY2(state.section(' ', 2, 2) == QString::number(kNobody), qPrintable(state));
    }

    void check_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<uint>("as");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("lines"); // parts of what framaid prints; %db the database
        QTest::newRow("sample database")
            << "sample" << 0u << 0
            << QStringList{"\nok       the item table items.dbf, with the fields CODE, DESC, "
                           "METAL, WEIGHT, PRICE, SUPPLIER, SSR, TAG\n",
                           "\nok       the service order table orders.dbf, with the fields "
                           "ORDERNO, DESC, RECEIVED, DUE, STATUS, CUSTOMER\n",
                           "\nok       jtemp/ (the accounts' reply directories)\n",
                           "\nok       framla.ok\n",
                           "\nok       images/AB/ (pictures of the item group AB)\n",
                           "\nAll is well.\n"};
        QTest::newRow("empty directory")
            << "empty" << 0u << 1
            << QStringList{
                   "\nMISSING  jtemp/ (the accounts' reply directories)\n",
                   "\nMISSING  framla.ok (the file the desktop's settings test fetches)\n",
                   "ok       framaid.conf: none, so framaid reads its default tables and fields\n"};
        QTest::newRow("prepared, no tables")
            << "empty+setup" << 0u << 1
            << QStringList{
                   "\nMISSING  the item table items.dbf (or name the right one in framaid.conf: "
                   "items = ...)\n",
                   "\nMISSING  the customer table customers.dbf",
                   "\nok       images/ord/ (service order pictures)\n",
                   "\nMISSING  images/<group>/ for the item groups: there is none, so no item's "
                   "picture can be put\n"
                   "         fix: mkdir %db/images/AB, one for each group of the item codes "
                   "(AB12345 is in group AB), as the owner of the database directory\n",
                   "\n5 problems found. A \"fix:\" line says what mends the problem above it;"};
        QTest::newRow("field missing")
            << "field missing" << 0u << 1
            << QStringList{"\nWRONG    the item table items.dbf has no field NOSUCH (or name the "
                           "right one in framaid.conf: items.show = ...)\n",
                           "\n1 problem found."};
        QTest::newRow("configuration not understood")
            << "conf not understood" << 0u << 1
            << QStringList{"\nWRONG    framaid.conf: line 1 (itemz = x) is not understood\n"};
        QTest::newRow("table damaged")
            << "items damaged" << 0u << 1
            << QStringList{"\nWRONG    the item table items.dbf is damaged: it is shorter than its "
                           "header says (33 records)\n"};
        QTest::newRow("jtemp closed")
            << "jtemp 755" << 0u << 1
            << QStringList{"\nWRONG    jtemp/ has mode 755; it must be 1777, so that every account "
                           "can make its reply directory there and none can remove another's\n"
                           "         fix: chmod 1777 %db/jtemp (as its owner or root; framaid "
                           "--setup sets it too)\n"};
        QTest::newRow("directory missing")
            << "shuttle missing" << 0u << 1
            << QStringList{"\nMISSING  shuttle/ (data files sent from the desktop)\n"
                           "         fix: framaid --setup %db (as the owner of the database "
                           "directory, or root)\n"};
        QTest::newRow("another account's directories")
            << "sample" << uint(kNobody) << 1
            << QStringList{
                   "\nWRONG    shuttle/ cannot be written by user=nobody (it belongs to user=root, "
                   "mode 755), so data files sent from the desktop cannot be put there\n"
                   "         fix: as root: chmod g+wx %db/shuttle && usermod -aG root nobody "
                   "(nobody logs in again afterwards)\n",
                   "\nWRONG    images/AB/ cannot be written by user=nobody (it belongs to "
                   "user=root, mode 755), so pictures of the item group AB cannot be put there\n",
                   "\nok       jtemp/ (the accounts' reply directories)\n"};
        QTest::newRow("directory of another group")
            << "shuttle of another group" << uint(kNobody) << 1
            << QStringList{"\n         fix: as root: chgrp root %db/shuttle && usermod -aG root "
                           "nobody (nobody logs in again afterwards)\n"};
        QTest::newRow("reply directory of another account")
            << "reply directory of another" << 0u << 1
            << QStringList{"/jtemp/root belongs to user=nobody, not to user=root, so framaid "
                           "writes no reply there\n"};
    }

    void check()
    {
        QFETCH(QString, state);
        QFETCH(uint, as);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);
        const QString db = databaseIn(state);
        QVERIFY(!db.isEmpty());
        const Run r = run({"--check", db}, as);
        QCOMPARE(r.exitCode, exitCode);
        for (QString l : lines)
            QVERIFY2(('\n' + r.output).contains(l.replace("%db", db)),
                     qPrintable(l + "\n--- not in ---\n" + r.output));
    }
};

QTEST_GUILESS_MAIN(FramaidSetupTest)
#include "tst_framaid_setup.moc"
