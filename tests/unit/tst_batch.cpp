// The name rules of a batch, what a look-up's reply means for a photo, and
// the centred crop, each as a table.
#include "app/arguments.h"
#include "app/folder_command.h"
#include "batch/litter.h"
#include "batch/plan.h"
#include "batch/runner.h"
#include "batch/survey.h"
#include "imaging/batch_prepare.h"
#include "server/command_lines.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    void csvLines_data();
    void csvLines();
    void listings_data();
    void listings();
    void printedLines_data();
    void printedLines();
    void staleWorkDirs_data();
    void staleWorkDirs();
};

void TestBatch::names_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<Mode>("mode");
    // Per file: "file | code | picture path | reason", in name order.
    QTest::addColumn<QStringList>("rows");
    const QString twice = QStringLiteral("gives the same picture as ");
    QTest::newRow("inventory")
        << QStringList{"AB12345.jpg", "ab12.JPG", "AB12345 (2).jpg",
                       "BC12.jpeg",   "x.png",    "2000000200011.jpg"}
        << Mode::Inventory
        << QStringList{
               "2000000200011.jpg | 2000000200011 |  | ", // a barcode: the server resolves it
               "AB12345 (2).jpg | AB12345 | images/AB/AB12345.jpg | " + twice + "AB12345.jpg",
               "AB12345.jpg | AB12345 | images/AB/AB12345.jpg | " + twice + "AB12345 (2).jpg",
               "BC12.jpeg | BC---12 | images/BC/BC---12.jpg | ",
               "ab12.JPG | AB---12 | images/AB/AB---12.jpg | ",
               "x.png |  |  | \"x\" names no picture on the server"};
    QTest::newRow("accounts")
        << QStringList{"1234-RING5.jpg", "12345-Pearl drop.jpg", "RING5.jpg", "999-A.jpg",
                       "1234-.jpg",      "1234-RING-5.jpg"}
        << Mode::CustSup
        << QStringList{"1234-.jpg |  |  | not an account, \"-\" and a picture name",
                       "1234-RING-5.jpg | 1234 | images/ssr/1234/RING-5.jpg | ",
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
        << "1 0 put the item's own picture will stand in front of its supplier's picture "
           "images/ssr/1234/RING5.jpg";
    // clang-format off
    const QString ssr = "File RING5.jpg among the pictures of supplier 1234\n<!-- images/ssr/1234/RING5.jpg exists on server (9 bytes) -->\n";
    QTest::newRow("supplier's shared, kept") << Mode::CustSup << false << true << ssr << "1 1 skip it has a picture; replacing was not chosen";
    QTest::newRow("supplier's shared, replaced") << Mode::CustSup << true << true << ssr << "1 1 replace ";
    QTest::newRow("no group folder") << Mode::Inventory << true << true << "Item GH40001: Brooch\nNo picture can be filed for GH40001: no pre-existing group images/GH/ on the server.\n" << "0 0 refuse No picture can be filed for GH40001: no pre-existing group images/GH/ on the server.";
    // clang-format on
    QTest::newRow("no record") << Mode::Repairs << true << true
                               << "or000999: no pre-existing group\n"
                               << "0 0 refuse or000999: no pre-existing group";
    QTest::newRow("no account") << Mode::CustSup << true << true
                                << "1111 is not an existing supplier account.\n"
                                << "0 0 refuse 1111 is not an existing supplier account.";
    QTest::newRow("no reply") << Mode::Inventory << true << false << ""
                              << "0 0 refuse no reply from the server: timed out";
    // notes "down": the look-up could not reach the server.
    QTest::newRow("server down") << Mode::Inventory << true << false << "down"
                                 << "0 0 refuse the server cannot be reached";
}

void TestBatch::decisions()
{
    QFETCH(Mode, mode);
    QFETCH(bool, replace);
    QFETCH(bool, answered);
    QFETCH(QString, notes);
    QFETCH(QString, expected);
    batch::PlanRow row;
    batch::decide(row, {answered, notes, notes, QStringLiteral("timed out"), notes == "down"}, mode,
                  replace);
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
    // clang-format off
    const QString rest = " +repage -modulate 100 -gamma 1.00 -level 0.00% -resize %1x%1 -strip out.jpg";
    const QString ring = "ring.jpg -auto-orient -colorspace sRGB -background white -alpha remove -alpha off";
    QTest::newRow("square of 12 MP at M") << QSize(4000, 3000) << QRect(500, 0, 3000, 3000) << 320 << neutral << "-define jpeg:size=500x375 " + ring + " -crop 375x375+63+0" + rest.arg(320);
    // 4/8 and 3996/8 both round up: the crop is moved back inside the 500 columns.
    QTest::newRow("rounded past the edge") << QSize(4000, 3000) << QRect(4, 3, 3996, 2997) << 320 << neutral << "-define jpeg:size=500x375 " + ring + " -crop 500x375+0+0" + rest.arg(320);
    QTest::newRow("no smaller than the box") << QSize(800, 600) << QRect(0, 0, 800, 600) << 640 << neutral << ring + " -crop 800x600+0+0" + rest.arg(640);
    QTest::newRow("adjusted") << QSize(1600, 1200) << QRect(0, 0, 1600, 1200) << 160 << QList<int>{6, 2, 3} << "-define jpeg:size=200x150 " + ring + " -crop 200x150+0+0 +repage -modulate 140 -gamma 1.20 -level 11.76% -resize 160x160 -strip out.jpg";
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
             "/C convert " + imaging::imageToolLimits().join(' ') + ' ' + line);
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

void TestBatch::csvLines_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("line");
    // clang-format off
    QTest::newRow("formula at the start") << QStringList{"=cmd|' -C calc'!A0.jpg", "@S(1).jpg", "+1.jpg", "-1.jpg", "\t=1.jpg", "\r=1.jpg", "a=b+c-d@e.jpg"} << "\"'=cmd|' -C calc'!A0.jpg\",\"'@S(1).jpg\",\"'+1.jpg\",\"'-1.jpg\",\"'\t=1.jpg\",\"'\r=1.jpg\",a=b+c-d@e.jpg";
    QTest::newRow("quote, comma, line break") << QStringList{"a\"b.jpg", "=\"x\"", "a,b", "c\nd", "/srv/a b.jpg", ""} << "\"a\"\"b.jpg\",\"'=\"\"x\"\"\",\"a,b\",\"c\nd\",/srv/a b.jpg,";
    // clang-format on
}

void TestBatch::csvLines()
{
    QFETCH(QStringList, fields);
    QTEST(batch::csvLine(fields), "line");
}

/// Makes in dir each entry "NAME file|fifo|dir|link TARGET" (a file is a small PNG), an hour and
/// a minute old but one ending "new"; false when one cannot be made.
static bool makeEntries(const QString &dir, const QStringList &entries)
{
    const auto path = [&](const QString &entry) {
        return QFile::encodeName(QDir(dir).filePath(entry.section(' ', 0, 0)));
    };
    for (const QString &entry : entries) {
        const QString kind = entry.section(' ', 1, 1);
        if (!(kind == "file"   ? QImage(64, 48, QImage::Format_RGB32).save(path(entry), "PNG")
              : kind == "fifo" ? ::mkfifo(path(entry), 0600) == 0
              : kind == "dir"  ? ::mkdir(path(entry), 0700) == 0
                               : ::symlink(entry.section(' ', 2, 2).toUtf8(), path(entry)) == 0))
            return false;
    }
    const timespec old{::time(nullptr) - 61 * 60, 0}, times[2]{old, old};
    for (const QString &entry : entries) {
        if (!entry.endsWith(" new") &&
            ::utimensat(AT_FDCWD, path(entry), times, AT_SYMLINK_NOFOLLOW) != 0)
            return false;
    }
    return true;
}

void TestBatch::listings_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("sizes"); // per entry, as a read gives it without waiting
    // clang-format off
    QTest::newRow("photos") << QStringList{"a.jpg file", "b.JPEG file", "c.gif file", "d.tif file", "e.TIFF file", "f.jpg link p", "p file", ".g.jpg file"} << QStringList{"a.jpg", "b.JPEG", "c.gif", "f.jpg"} << QStringList{"64x48", "64x48", "64x48", "64x48", "64x48", "64x48", "64x48", "64x48"};
    QTest::newRow("no files") << QStringList{"a.jpg fifo", "pipe fifo", "b.jpg link pipe", "c.jpg link gone", "d.jpg dir"} << QStringList{} << QStringList{"none", "none", "none", "none", "none"};
    // clang-format on
}

void TestBatch::listings()
{
    QFETCH(QStringList, entries);
    QTemporaryDir dir;
    QVERIFY(makeEntries(dir.path(), entries));
    QTEST(batch::photoFilesIn(dir.path()), "listed");
    // A read that waited on a FIFO would hang here until the test's watchdog fails it.
    QStringList sizes;
    for (const QString &entry : entries) {
        const QSize s = batch::photoSize(dir.filePath(entry.section(' ', 0, 0)));
        sizes << (s.isValid() ? QStringLiteral("%1x%2").arg(s.width()).arg(s.height()) : "none");
    }
    QTEST(sizes, "sizes");
}

void TestBatch::printedLines_data()
{
    // Per photo "file|what|path|reason"; the lines printed for them, then the closing ones.
    QTest::addColumn<QStringList>("photos");
    QTest::addColumn<QStringList>("lines");
    const QString down = batch::kUnreachableReason;
    // clang-format off
    QTest::newRow("controls escaped") << QStringList{"Ærø.jpg|refused||no such record", "C1.jpg|put|C:\\shop\\images\\C1.jpg|", "x\nAB2.jpg: put /srv/AB2.jpg\n.jpg|refused||no code", "a\tb\r\x1b[2J\x01\x7f.jpg|put||", QString::fromUtf8("a\u202Egpj.exe\u2028\u0085|put||")} << QStringList{"Ærø.jpg: refused (no such record)", "C1.jpg: put C:\\shop\\images\\C1.jpg", "x\\nAB2.jpg: put /srv/AB2.jpg\\n.jpg: refused (no code)", "a\\tb\\r\\x1b[2J\\x01\\x7f.jpg: put", "a\\u202egpj.exe\\u2028\\x85: put"};
    QTest::newRow("unreachable") << QStringList{"A1.jpg|failed|/srv/A1.jpg|" + down, "A2.jpg|failed|/srv/A2.jpg|" + down, "A3.jpg|skipped|/srv/A3.jpg|kept"} << QStringList{"A1.jpg: failed", "A2.jpg: failed", "A3.jpg: skipped /srv/A3.jpg (kept)", "failed: " + down};
    // clang-format on
}

void TestBatch::printedLines()
{
    QFETCH(QStringList, photos);
    app::FolderLines lines;
    QStringList printed;
    for (const QString &photo : photos) {
        const QStringList f = photo.split('|');
        printed << lines.photo(f.at(0), f.at(1), f.at(2), f.at(3));
    }
    QTEST(printed + lines.closing(), "lines");
}

void TestBatch::staleWorkDirs_data()
{
    QTest::addColumn<QStringList>("entries"); // as for makeEntries
    QTest::addColumn<QStringList>("left");
    // clang-format off
    QTest::newRow("stale, in use inside") << QStringList{"framla-batch-a1B2c3 dir", "framla-batch-a1B2c3/p.jpg file", "framla-batch-d4E5f6 dir", "framla-batch-d4E5f6/r dir", "framla-batch-d4E5f6/r/p.jpg file new"} << QStringList{"framla-batch-d4E5f6", "framla-batch-d4E5f6/r", "framla-batch-d4E5f6/r/p.jpg"};
    QTest::newRow("others, a link") << QStringList{"framla-a1B2c3 dir", "framla-batch-a1B2c3x dir", "framla-batch-a1B2 dir", "framla-batch-a1B2c4 file", "keep dir", "keep/p.jpg file", "framla-batch-a1B2c5 link keep"} << QStringList{"framla-a1B2c3", "framla-batch-a1B2", "framla-batch-a1B2c3x", "framla-batch-a1B2c4", "framla-batch-a1B2c5", "keep", "keep/p.jpg"};
    // clang-format on
}

void TestBatch::staleWorkDirs()
{
    QFETCH(QStringList, entries);
    QTemporaryDir dir;
    QVERIFY(makeEntries(dir.path(), entries));
    batch::removeStaleWorkDirs(dir.path(), batch::kWorkDirPrefix, batch::kStaleWorkDirSecs);
    QStringList left;
    const auto flags = QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot;
    for (QDirIterator it(dir.path(), flags, QDirIterator::Subdirectories); it.hasNext();)
        left << QDir(dir.path()).relativeFilePath(it.next());
    left.sort();
    QTEST(left, "left");
}

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"
