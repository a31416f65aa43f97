// The name rules of a batch, what a look-up's reply means for a photo, and
// the centred crop, each as a table.
#include "app/arguments.h"
#include "batch/plan.h"
#include "batch/runner.h"
#include "batch/survey.h"
#include "imaging/batch_prepare.h"
#include "server/command_lines.h"

#include <QTest>

using namespace framla;
using batch::Action;
using core::Mode;

class TestBatch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void names_data();
    void names();
    void decisions_data();
    void decisions();
    void centredCrops_data();
    void centredCrops();
    void preparations_data();
    void preparations();
    void folderArguments_data();
    void folderArguments();
    void replyDirectories_data();
    void replyDirectories();
};

void TestBatch::names_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<Mode>("mode");
    // Per file: "file | code | picture path | reason", in name order.
    QTest::addColumn<QStringList>("rows");
    const QString twice = QStringLiteral("gives the same picture as ");
    QTest::newRow("inventory")
        << QStringList{"AB12345.jpg", "ab12.JPG", "AB12345 (2).jpg", "BC12.jpeg", "x.png"}
        << Mode::Inventory
        << QStringList{
               "AB12345 (2).jpg | AB12345 | images/AB/AB12345.jpg | " + twice + "AB12345.jpg",
               "AB12345.jpg | AB12345 | images/AB/AB12345.jpg | " + twice + "AB12345 (2).jpg",
               "BC12.jpeg | BC---12 | images/BC/BC---12.jpg | ",
               "ab12.JPG | AB---12 | images/AB/AB---12.jpg | ",
               "x.png |  |  | \"x\" names no picture on the server"};
    QTest::newRow("accounts")
        << QStringList{"1234-RING5.jpg", "12345-Pearl drop.jpg", "RING5.jpg", "999-A.jpg",
                       "1234-.jpg"}
        << Mode::CustSup
        << QStringList{"1234-.jpg |  |  | not an account, \"-\" and a picture name",
                       "1234-RING5.jpg | 1234 | images/ssr/1234/RING5.jpg | ",
                       "12345-Pearl drop.jpg | 12345 | images/cust/12345/Pearldrop.jpg | ",
                       "999-A.jpg |  |  | \"999\" is not a supplier's or customer's account",
                       "RING5.jpg |  |  | not an account, \"-\" and a picture name"};
    QTest::newRow("repairs")
        << QStringList{"or000123.jpg", "123.jpg", "77.jpg", "notes.jpg"} << Mode::Repairs
        << QStringList{"123.jpg | or000123 | images/ord/or000123.jpg | " + twice + "or000123.jpg",
                       "77.jpg | or000077 | images/ord/or000077.jpg | ",
                       "notes.jpg |  |  | \"notes\" is not a service order number",
                       "or000123.jpg | or000123 | images/ord/or000123.jpg | " + twice + "123.jpg"};
}

void TestBatch::names()
{
    QFETCH(QStringList, files);
    QFETCH(Mode, mode);
    QStringList shown;
    for (const batch::PlanRow &row : batch::planFiles(files, mode))
        shown << QStringList{row.file, row.named.code, row.named.path, row.reason}.join(" | ");
    QFETCH(QStringList, rows);
    QCOMPARE(shown, rows);
}

void TestBatch::decisions_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("notes");
    QTest::addColumn<QString>("expected"); // "exists picture action reason"
    const QString item = QStringLiteral("AB12345: Ring, gold\n<!-- request AB12345 -->\n");
    const QString onFile =
        item + "<!-- images/AB/AB12345.jpg exists (698 bytes, user=framla, mode 644) -->\n";
    QTest::newRow("new") << Mode::Inventory << false << true
                         << item + "<!-- images/AB/AB12345.jpg: no file of that name yet -->\n"
                         << "1 0 put ";
    QTest::newRow("kept") << Mode::Inventory << false << true << onFile
                          << "1 1 skip it has a picture; replacing was not chosen";
    QTest::newRow("replaced") << Mode::Inventory << true << true << onFile << "1 1 replace ";
    QTest::newRow("web")
        << Mode::Inventory << true << true
        << item + "<!-- images/AB/AB12345.jpg exists (9 bytes) Owned by user=www-data -->\n"
        << "1 1 refuse the picture was published by the web upload utility";
    QTest::newRow("other owner")
        << Mode::Inventory << true << true
        << item + "<!-- images/AB/AB12345.jpg exists (9 bytes) Owned by user=anna -->\n"
        << "1 1 refuse the picture is owned by user=anna";
    QTest::newRow("supplier's")
        << Mode::Inventory << true << true
        << item + "<!-- images/ssr/1234/RING5.jpg exists on server -->\n"
        << "1 0 refuse the item shows its supplier's picture images/ssr/1234/RING5.jpg";
    QTest::newRow("no record") << Mode::Repairs << true << true
                               << "or000999: no pre-existing group\n"
                               << "0 0 refuse no such record on the server";
    QTest::newRow("no account") << Mode::CustSup << true << true
                                << "1111 is not an existing supplier account.\n"
                                << "0 0 refuse no such record on the server";
    QTest::newRow("no reply") << Mode::Inventory << true << false << ""
                              << "0 0 refuse no reply from the server: timed out";
}

void TestBatch::decisions()
{
    QFETCH(Mode, mode);
    QFETCH(bool, replace);
    QFETCH(bool, answered);
    QFETCH(QString, notes);
    QFETCH(QString, expected);
    batch::PlanRow row;
    batch::decide(row, {answered, notes, notes, QStringLiteral("timed out")}, mode, replace);
    QCOMPARE(QStringLiteral("%1 %2 %3 %4")
                 .arg(int(row.recordExists))
                 .arg(int(row.hasPicture))
                 .arg(batch::actionWord(row.action), row.reason),
             expected);
}

void TestBatch::centredCrops_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<QString>("crop");
    QTest::newRow("square of a landscape") << QSize(4000, 3000) << 1.0 << "3000x3000+500+0";
    QTest::newRow("4:3 of a portrait") << QSize(3000, 4000) << 0.75 << "3000x2250+0+875";
    QTest::newRow("free") << QSize(640, 480) << 0.0 << "640x480+0+0";
    QTest::newRow("odd pixel") << QSize(1001, 1000) << 1.0 << "1000x1000+0+0";
}

void TestBatch::centredCrops()
{
    QFETCH(QSize, picture);
    QFETCH(double, ratio);
    QFETCH(QString, crop);
    // The view is the picture itself, so the marks are its pixels.
    QCOMPARE(imaging::cropArgument(picture, picture, batch::centredCrop(picture, ratio)).text(),
             crop);
}

void TestBatch::preparations_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QRect>("crop"); // left, top, width, height in the picture's pixels
    QTest::addColumn<int>("edge");
    QTest::addColumn<QList<int>>("adjustment");
    QTest::addColumn<QString>("line"); // after "/C convert "
    const QList<int> neutral{4, 0, 0};
    const QString rest = " +repage -modulate 100 -gamma 1.00 -level 0.00% -resize %1x%1 out.jpg";
    // clang-format off
    QTest::newRow("square of 12 MP at M") << QSize(4000, 3000) << QRect(500, 0, 3000, 3000) << 320 << neutral << "-define jpeg:size=500x375 ring.jpg -crop 375x375+63+0" + rest.arg(320);
    // 4/8 and 3996/8 both round up: the crop is moved back inside the 500 columns.
    QTest::newRow("rounded past the edge") << QSize(4000, 3000) << QRect(4, 3, 3996, 2997) << 320 << neutral << "-define jpeg:size=500x375 ring.jpg -crop 500x375+0+0" + rest.arg(320);
    QTest::newRow("no smaller than the box") << QSize(800, 600) << QRect(0, 0, 800, 600) << 640 << neutral << "ring.jpg -crop 800x600+0+0" + rest.arg(640);
    QTest::newRow("adjusted") << QSize(1600, 1200) << QRect(0, 0, 1600, 1200) << 160 << QList<int>{6, 2, 3} << "-define jpeg:size=200x150 ring.jpg -crop 200x150+0+0 +repage -modulate 140 -gamma 1.20 -level 11.76% -resize 160x160 out.jpg";
    // clang-format on
}

void TestBatch::preparations()
{
    QFETCH(QSize, picture);
    QFETCH(QRect, crop);
    QFETCH(int, edge);
    QFETCH(QList<int>, adjustment);
    QFETCH(QString, line);
    const imaging::PutDecode decode =
        imaging::putDecode(picture, {crop.width(), crop.height(), crop.x(), crop.y()}, edge, true);
    const imaging::Adjustment adjusted{adjustment.at(0), adjustment.at(1), adjustment.at(2)};
    QCOMPARE(imaging::putPreparationCommand("ring.jpg", decode, adjusted, edge, "out.jpg").text(),
             "/C convert " + line);
}

void TestBatch::folderArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("request"); // "folder replace dry-run rest" or the error
    QTest::newRow("folder") << QStringList{"--folder", "/photos"} << "/photos 0 0 ";
    QTest::newRow("all") << QStringList{"shop", "--dry-run", "--folder", "a b", "--replace"}
                         << "a b 1 1 shop";
    QTest::newRow("no folder") << QStringList{"--replace"}
                               << "framla: --replace and --dry-run go with --folder DIR";
    QTest::newRow("folder missing")
        << QStringList{"--dry-run", "--folder"} << "framla: --folder takes one folder";
    QTest::newRow("two folders") << QStringList{"--folder", "a", "--folder", "b"}
                                 << "framla: --folder takes one folder";
    QTest::newRow("a code") << QStringList{"--folder", "a", "shop", "AB12"}
                            << "framla: --folder takes a settings file's name, no code";
    QTest::newRow("unknown") << QStringList{"--folder", "a", "--force"}
                             << "framla: unknown option --force";
    QTest::newRow("help") << QStringList{"--folder", "a", "--help"}
                          << "framla: --help takes no other arguments";
}

void TestBatch::folderArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, request);
    const app::CommandLineRequest r = app::commandLineRequest(arguments);
    QCOMPARE(r.kind == app::CommandLineRequest::Folder ? QStringLiteral("%1 %2 %3 %4")
                                                             .arg(r.folder)
                                                             .arg(int(r.replace))
                                                             .arg(int(r.dryRun))
                                                             .arg(r.rest.join(' '))
                                                       : r.error,
             request);
}

void TestBatch::replyDirectories_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("directory");
    QTest::newRow("the account's own") << "clerk"
                                       << ""
                                       << "/srv/shop/jtemp/clerk";
    QTest::newRow("a channel's") << "clerk"
                                 << "b1f2e3d4-0"
                                 << "/srv/shop/jtemp/clerk.b1f2e3d4-0";
    QTest::newRow("a login made plain") << "DOM\\clerk"
                                        << "b9-3"
                                        << "/srv/shop/jtemp/DOM_clerk.b9-3";
}

void TestBatch::replyDirectories()
{
    QFETCH(QString, user);
    QFETCH(QString, tag);
    ServerLogin login = core::loginOf("shop", "22", "/srv/shop", user, "pw");
    login.replyTag = tag;
    QTEST(server::replyDirectory(login), "directory");
}

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"
