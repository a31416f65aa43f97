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

#include <atomic>
#include <thread>

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

private:
    /// Makes in dir each entry "NAME file|fifo|dir|link TARGET"; false when one cannot be made.
    /// (A file is a small PNG.)
    static bool makeEntries(const QString &dir, const QStringList &entries);
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
        << "1 0 put the item's own picture will stand in front of its supplier's picture "
           "images/ssr/1234/RING5.jpg";
    const QString ssr =
        QStringLiteral("File RING5.jpg among the pictures of supplier 1234\n<!-- "
                       "images/ssr/1234/RING5.jpg exists on server (9 bytes) -->\n");
    QTest::newRow("supplier's shared, kept")
        << Mode::CustSup << false << true << ssr
        << "1 1 skip it has a picture; replacing was not chosen";
    QTest::newRow("supplier's shared, replaced")
        << Mode::CustSup << true << true << ssr << "1 1 replace ";
    QTest::newRow("no record") << Mode::Repairs << true << true
                               << "or000999: no pre-existing group\n"
                               << "0 0 refuse or000999: no pre-existing group";
    QTest::newRow("no group folder")
        << Mode::Inventory << true << true
        << "Item GH40001: Brooch\nNo picture can be filed for GH40001: no pre-existing group "
           "images/GH/ on the server.\n"
        << "0 0 refuse No picture can be filed for GH40001: no pre-existing group images/GH/ on "
           "the server.";
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
    const QString rest =
        " +repage -modulate 100 -gamma 1.00 -level 0.00% -resize %1x%1 -strip out.jpg";
    // Upright, in sRGB, on white.
    const QString ring =
        "ring.jpg -auto-orient -colorspace sRGB -background white -alpha remove -alpha off";
    // clang-format off
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
    QTest::newRow("plain") << QStringList{"AB1.jpg", "AB1", "put", "/srv/a b.jpg", "320", ""}
                           << "AB1.jpg,AB1,put,/srv/a b.jpg,320,";
    QTest::newRow("formula") << QStringList{"=cmd|' -C calc'!A0.jpg", "x"}
                             << "\"'=cmd|' -C calc'!A0.jpg\",x";
    QTest::newRow("at") << QStringList{"@SUM(1+1).jpg"} << "\"'@SUM(1+1).jpg\"";
    QTest::newRow("plus and minus") << QStringList{"+1.jpg", "-1.jpg"} << "\"'+1.jpg\",\"'-1.jpg\"";
    QTest::newRow("tab and return")
        << QStringList{"\t=1.jpg", "\r=1.jpg"} << "\"'\t=1.jpg\",\"'\r=1.jpg\"";
    QTest::newRow("quote") << QStringList{"a\"b.jpg", "=\"x\""} << "\"a\"\"b.jpg\",\"'=\"\"x\"\"\"";
    QTest::newRow("comma, line break") << QStringList{"a,b", "c\nd"} << "\"a,b\",\"c\nd\"";
    QTest::newRow("not at the start") << QStringList{"a=b+c-d@e.jpg"} << "a=b+c-d@e.jpg";
}

void TestBatch::csvLines()
{
    QFETCH(QStringList, fields);
    QTEST(batch::csvLine(fields), "line");
}

bool TestBatch::makeEntries(const QString &dir, const QStringList &entries)
{
    for (const QString &entry : entries) {
        const QStringList parts = entry.split(' ');
        const QString path = QDir(dir).filePath(parts.at(0));
        const QString kind = parts.at(1);
        const bool made = kind == "file" ? QImage(64, 48, QImage::Format_RGB32).save(path, "PNG")
                          : kind == "fifo"
                              ? ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0
                          : kind == "dir" ? QDir().mkdir(path)
                                          : ::symlink(QFile::encodeName(parts.at(2)).constData(),
                                                      QFile::encodeName(path).constData()) == 0;
        if (!made)
            return false;
    }
    return true;
}

void TestBatch::listings_data()
{
    QTest::addColumn<QStringList>("entries");
    // Per entry, by name: whether the folder lists it, and the size a read gives without waiting.
    QTest::addColumn<QStringList>("found");
    QTest::newRow("kinds") << QStringList{"a.jpg file", "b.JPEG file", "c.gif file", "d.tif file",
                                          "e.TIFF file"}
                           << QStringList{"a.jpg listed 64x48", "b.JPEG listed 64x48",
                                          "c.gif listed 64x48", "d.tif - 64x48", "e.TIFF - 64x48"};
    QTest::newRow("fifo") << QStringList{"a.jpg fifo"} << QStringList{"a.jpg - none"};
    QTest::newRow("link to a fifo") << QStringList{"pipe fifo", "a.jpg link pipe"}
                                    << QStringList{"a.jpg - none", "pipe - none"};
    QTest::newRow("link to a file") << QStringList{"photo file", "a.jpg link photo"}
                                    << QStringList{"a.jpg listed 64x48", "photo - 64x48"};
    QTest::newRow("dangling, folder") << QStringList{"a.jpg link gone", "b.jpg dir"}
                                      << QStringList{"a.jpg - none", "b.jpg - none"};
    QTest::newRow("hidden") << QStringList{".a.jpg file", ".b.jpg link .a.jpg"}
                            << QStringList{".a.jpg - 64x48", ".b.jpg - 64x48"};
}

void TestBatch::listings()
{
    QFETCH(QStringList, entries);
    QTemporaryDir dir;
    QVERIFY(makeEntries(dir.path(), entries));
    const QStringList listed = batch::photoFilesIn(dir.path());
    const QStringList names =
        QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                       QDir::Name);
    QStringList found;
    std::atomic<bool> read{false};
    std::thread reader([&] {
        for (const QString &name : names) {
            const QSize size = batch::photoSize(dir.filePath(name));
            found << name + (listed.contains(name) ? " listed " : " - ") +
                         (size.isValid()
                              ? QStringLiteral("%1x%2").arg(size.width()).arg(size.height())
                              : "none");
        }
        read = true;
    });
    // A read that waits on a FIFO is let go by writers once the wait is over.
    const bool waited = !QTest::qWaitFor([&] { return read.load(); }, 5000);
    while (!read) {
        for (const QString &name : names) {
            const QByteArray path = QFile::encodeName(dir.filePath(name));
            if (const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK); fd >= 0)
                ::close(fd);
        }
    }
    reader.join();
    QVERIFY2(!waited, "a read waited on a FIFO");
    QTEST(found, "found");
}

void TestBatch::printedLines_data()
{
    // Per photo "file|what|path|reason"; the lines printed for them, then the closing ones.
    QTest::addColumn<QStringList>("photos");
    QTest::addColumn<QStringList>("lines");
    const QString down = batch::kUnreachableReason;
    QTest::newRow("plain") << QStringList{"AB1.jpg|put|/srv/images/AB/AB1.jpg|",
                                          "Ærø.jpg|refused||no such record",
                                          "C1.jpg|put|C:\\shop\\images\\C1.jpg|"}
                           << QStringList{"AB1.jpg: put /srv/images/AB/AB1.jpg",
                                          "Ærø.jpg: refused (no such record)",
                                          "C1.jpg: put C:\\shop\\images\\C1.jpg"};
    QTest::newRow("forged line")
        << QStringList{"x\nAB2.jpg: put /srv/AB2.jpg\n.jpg|refused||no code"}
        << QStringList{"x\\nAB2.jpg: put /srv/AB2.jpg\\n.jpg: refused (no code)"};
    QTest::newRow("controls") << QStringList{"a\tb\r\x1b[2J\x01\x7f.jpg|put||"}
                              << QStringList{"a\\tb\\r\\x1b[2J\\x01\\x7f.jpg: put"};
    QTest::newRow("invisible") << QStringList{QString::fromUtf8("a\u202Egpj.exe\u2028\u0085|put||")}
                               << QStringList{"a\\u202egpj.exe\\u2028\\x85: put"};
    QTest::newRow("unreachable") << QStringList{"A1.jpg|failed|/srv/A1.jpg|" + down,
                                                "A2.jpg|failed|/srv/A2.jpg|" + down,
                                                "A3.jpg|skipped|/srv/A3.jpg|kept"}
                                 << QStringList{"A1.jpg: failed", "A2.jpg: failed",
                                                "A3.jpg: skipped /srv/A3.jpg (kept)",
                                                "failed: " + down};
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
    // Entries as for makeEntries (one ending in "new" is not aged), the age in minutes of the
    // others, and what is left.
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("stale") << QStringList{"framla-batch-a1B2c3 dir",
                                          "framla-batch-a1B2c3/ready dir",
                                          "framla-batch-a1B2c3/ready/p.jpg file"}
                           << 61 << QStringList{};
    QTest::newRow("in use inside")
        << QStringList{"framla-batch-a1B2c3 dir", "framla-batch-a1B2c3/ready dir",
                       "framla-batch-a1B2c3/ready/p.jpg file new"}
        << 61
        << QStringList{"framla-batch-a1B2c3", "framla-batch-a1B2c3/ready",
                       "framla-batch-a1B2c3/ready/p.jpg"};
    QTest::newRow("others") << QStringList{"framla-a1B2c3 dir", "framla-batch-a1B2c3x dir",
                                           "framla-batch-a1B2 dir", "framla-batch-a1B2c4 file"}
                            << 61
                            << QStringList{"framla-a1B2c3", "framla-batch-a1B2",
                                           "framla-batch-a1B2c3x", "framla-batch-a1B2c4"};
    QTest::newRow("a link") << QStringList{"keep dir", "keep/p.jpg file",
                                           "framla-batch-a1B2c3 link keep"}
                            << 61 << QStringList{"framla-batch-a1B2c3", "keep", "keep/p.jpg"};
}

void TestBatch::staleWorkDirs()
{
    QFETCH(QStringList, entries);
    QFETCH(int, minutes);
    QTemporaryDir dir;
    QVERIFY(makeEntries(dir.path(), entries));
    const timespec then{::time(nullptr) - minutes * 60, 0};
    const timespec times[2]{then, then};
    for (const QString &entry : entries) {
        const QByteArray path = QFile::encodeName(dir.filePath(entry.section(' ', 0, 0)));
        if (!entry.endsWith(" new"))
            QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW), 0);
    }
    batch::removeStaleWorkDirs(dir.path(), batch::kWorkDirPrefix, batch::kStaleWorkDirSecs);
    QStringList left;
    QDirIterator it(dir.path(), QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        left << QDir(dir.path()).relativeFilePath(it.next());
    left.sort();
    QTEST(left, "left");
}

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"
