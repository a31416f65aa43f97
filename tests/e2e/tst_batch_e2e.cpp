// Filing folders of photos in one go on a real SSH server with the real
// PuTTY tools, ImageMagick and framaid: the plan before, the server's files
// and the report after, a cancel half-way, and two batches at once.
#include "app/batch_window.h"
#include "batch/runner.h"
#include "config/local_options.h"
#include "history/journal_keeper.h"
#include "runtime/files.h"
#include "support/delay_proxy.h"
#include "support/server_case.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <thread>

#include <unistd.h>

using namespace framla;
using batch::BatchRun;
using core::Mode;

class TestBatchE2e : public test::ServerCase {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.error())); }
    void cleanupTestCase() { m_server.stop(); }
    void init() { QVERIFY(freshCase()); }
    void cleanup() { endCase(); }
    void folders_data();
    void folders();
    void cancelLosesNothing();
    void twoBatchesAtOnce();
    void changedSincePlan_data();
    void changedSincePlan();
    void photoOnTheServer_data();
    void photoOnTheServer();
    void droppedNetwork();
    void commandLine();
    void twoDesksAtOnce_data();
    void twoDesksAtOnce();
    void commandLineJournal_data();
    void commandLineJournal();
    void window();

private:
    /// A folder of photos with the given names, each a different picture.
    QString makeFolder(const QString &name, const QStringList &files);
    /// "outcome size-matches-server" per row: the server's file is the one reported.
    QStringList onServer(const QList<batch::PlanRow> &rows, const QList<batch::RowResult> &results);
    batch::BatchOptions options(Mode mode, bool replace) const
    {
        batch::BatchOptions o;
        o.mode = mode;
        o.replace = replace;
        o.cropRatio = 1.0;
        return o;
    }
    int m_photos = 0;
};

QString TestBatchE2e::makeFolder(const QString &name, const QStringList &files)
{
    const QString dir = m_appDir->filePath(name);
    QDir().mkpath(dir);
    for (const QString &file : files) {
        const QString colour =
            QStringLiteral("gradient:#%1-navy")
                .arg((0x202020 + 0x050403 * ++m_photos) % 0xe0e0e0, 6, 16, QLatin1Char('0'));
        if (!test::runTool(QStringLiteral("convert"),
                           {QStringLiteral("-size"), QStringLiteral("800x600"), colour,
                            QDir(dir).filePath(file)}))
            return {};
    }
    return dir;
}

QStringList TestBatchE2e::onServer(const QList<batch::PlanRow> &rows,
                                   const QList<batch::RowResult> &results)
{
    QStringList lines;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const batch::RowResult &r = results.at(i);
        const QImageReader picture(r.serverPath);
        // The picture on the server is the one reported, at the options' size and proportion.
        const bool right = r.size > 0 && QFileInfo(r.serverPath).size() == r.size &&
                           picture.size() == QSize(320, 320);
        lines << QStringLiteral("%1 %2 %3 %4")
                     .arg(rows.at(i).file, r.outcome, right ? "on server" : "-", r.reason);
    }
    return lines;
}

void TestBatchE2e::folders_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QStringList>("files");
    // Per photo before: "file code exists picture action reason"; after: "file outcome server
    // reason".
    QTest::addColumn<QStringList>("plan");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("inventory")
        << Mode::Inventory
        << QStringList{"AB10004.jpg",       "ab12.jpg",    "CD20002.jpg", "CD20002 (2).jpg",
                       "AB10002.jpg",       "AB10003.jpg", "AB10001.jpg", "x.png",
                       "2000000200011.jpg", "CD20001.jpg"}
        << QStringList{"2000000200011.jpg CD20001 1 1 refuse gives the same picture as CD20001.jpg",
                       "AB10001.jpg AB10001 1 1 skip it has a picture; replacing was not chosen",
                       "AB10002.jpg AB10002 1 1 refuse the picture was published by the web upload "
                       "utility",
                       "AB10003.jpg AB10003 1 0 put the item's own picture will stand in front of "
                       "its supplier's picture images/ssr/1234/RING5.jpg",
                       "AB10004.jpg AB10004 1 0 put ",
                       "CD20001.jpg CD20001 1 1 refuse gives the same picture as 2000000200011.jpg",
                       "CD20002 (2).jpg CD20002 0 0 refuse gives the same picture as CD20002.jpg",
                       "CD20002.jpg CD20002 0 0 refuse gives the same picture as CD20002 (2).jpg",
                       "ab12.jpg AB---12 1 1 skip it has a picture; replacing was not chosen",
                       "x.png  0 0 refuse \"x\" names no picture on the server"}
        << QStringList{"2000000200011.jpg refused - gives the same picture as CD20001.jpg",
                       "AB10001.jpg skipped - it has a picture; replacing was not chosen",
                       "AB10002.jpg refused - the picture was published by the web upload utility",
                       "AB10003.jpg put on server ",
                       "AB10004.jpg put on server ",
                       "CD20001.jpg refused - gives the same picture as 2000000200011.jpg",
                       "CD20002 (2).jpg refused - gives the same picture as CD20002.jpg",
                       "CD20002.jpg refused - gives the same picture as CD20002 (2).jpg",
                       "ab12.jpg skipped - it has a picture; replacing was not chosen",
                       "x.png refused - \"x\" names no picture on the server"};
    QTest::newRow("accounts")
        << Mode::CustSup << QStringList{"1001-RW3.jpg", "1111-A.jpg"}
        << QStringList{"1001-RW3.jpg 1001 1 0 put ",
                       "1111-A.jpg 1111 0 0 refuse 1111 is not an existing supplier account."}
        << QStringList{"1001-RW3.jpg put on server ",
                       "1111-A.jpg refused - 1111 is not an existing supplier account."};
    QTest::newRow("repairs")
        << Mode::Repairs << QStringList{"107.jpg", "or000999.jpg"}
        << QStringList{"107.jpg or000107 1 0 put ",
                       "or000999.jpg or000999 0 0 refuse No picture can be filed for a service "
                       "order that cannot be found: no pre-existing group."}
        << QStringList{"107.jpg put on server ",
                       "or000999.jpg refused - No picture can be filed for a service order that "
                       "cannot be found: no pre-existing group."};
}

void TestBatchE2e::folders()
{
    QFETCH(Mode, mode);
    QFETCH(QStringList, files);
    QFETCH(QStringList, plan);
    QFETCH(QStringList, after);
    const QString folder = makeFolder(QTest::currentDataTag(), files);
    QVERIFY(!folder.isEmpty());
    BatchRun run(m_state, folder, options(mode, false));
    const QList<batch::PlanRow> rows = run.plan();
    QStringList planned;
    for (const batch::PlanRow &row : rows)
        planned << QStringLiteral("%1 %2 %3 %4 %5 %6")
                       .arg(row.file, row.named.code)
                       .arg(int(row.recordExists))
                       .arg(int(row.hasPicture))
                       .arg(batch::actionWord(row.action), row.reason);
    QCOMPARE(planned, plan);
    // The look-ups leave no reply directory of theirs on the server.
    QCOMPARE(QDir(m_server.dbPath() + "/jtemp").entryList({m_server.user() + ".b*"}),
             QStringList());
    const QList<batch::RowResult> results = run.run(rows);
    QCOMPARE(onServer(rows, results), after);

    // The report says the same, line by line; a rerun that replaces finds the very same bytes,
    // but puts a photo whose picture on the server has other pixels in as many bytes (with no
    // journal kept, the put cannot tell it replaced one).
    const QString report = BatchRun::writeReport(m_appDir->path(), rows, results);
    QCOMPARE(QString::fromUtf8(runtime::readWholeFile(report).value_or("no report")),
             batch::reportText(rows, results));
    qsizetype changed = 0;
    while (results.at(changed).outcome != QStringLiteral("put"))
        ++changed;
    QByteArray bytes = runtime::readWholeFile(results.at(changed).serverPath).value_or("");
    ++bytes[bytes.indexOf("\xff\xdb") + 5]; // the first step of the quantisation table
    QFile picture(results.at(changed).serverPath);
    QVERIFY(picture.open(QIODevice::WriteOnly) && picture.write(bytes) == bytes.size());
    picture.close();
    BatchRun again(m_state, folder, options(mode, true));
    const QList<batch::PlanRow> second = again.plan();
    const QList<batch::RowResult> rerun = again.run(second);
    for (qsizetype i = 0; i < second.size(); ++i) {
        if (results.at(i).outcome == QStringLiteral("put"))
            QCOMPARE(rerun.at(i).outcome + ": " + rerun.at(i).reason,
                     i == changed
                         ? QStringLiteral("put: ")
                         : QStringLiteral("skipped: the server holds this picture already"));
    }
}

void TestBatchE2e::cancelLosesNothing()
{
    const QStringList files{"1200101.jpg", "CD20004.jpg", "CD20006.jpg", "EF30005.jpg"};
    const QString folder = makeFolder(QStringLiteral("cancel"), files);
    batch::BatchOptions o = options(Mode::Inventory, false);
    o.channels = 1;
    o.preparers = 1;
    BatchRun run(m_state, folder, o);
    const QList<batch::PlanRow> rows = run.plan();
    run.onDone = [&](int, const batch::RowResult &) { run.cancel(); };
    const QList<batch::RowResult> results = run.run(rows);
    const QStringList lines = onServer(rows, results);
    // What was put is on the server and listed; the rest is listed as not put and not on the
    // server.
    QCOMPARE(lines.first(), QStringLiteral("1200101.jpg put on server "));
    for (qsizetype i = 1; i < rows.size(); ++i) {
        QCOMPARE(lines.at(i),
                 rows.at(i).file +
                     QStringLiteral(" not put - the batch was cancelled before it was put"));
        QVERIFY(!QFile::exists(results.at(i).serverPath));
    }
    QCOMPARE(QDir(folder).entryList(QDir::Files), files);
}

void TestBatchE2e::twoBatchesAtOnce()
{
    const QString first =
        makeFolder(QStringLiteral("first"), {"7777-BOX1.jpg", "7777-BOX2.jpg", "7777-BOX3.jpg"});
    const QString second =
        makeFolder(QStringLiteral("second"), {"23456-E1.jpg", "23456-E2.jpg", "23456-E3.jpg"});
    QStringList lines[2];
    const auto file = [&](int k, const QString &folder) {
        BatchRun run(m_state, folder, options(Mode::CustSup, false));
        const QList<batch::PlanRow> rows = run.plan();
        lines[k] = onServer(rows, run.run(rows));
    };
    std::thread other([&] { file(1, second); });
    file(0, first);
    other.join();
    QCOMPARE(lines[0], (QStringList{"7777-BOX1.jpg put on server ", "7777-BOX2.jpg put on server ",
                                    "7777-BOX3.jpg put on server "}));
    QCOMPARE(lines[1], (QStringList{"23456-E1.jpg put on server ", "23456-E2.jpg put on server ",
                                    "23456-E3.jpg put on server "}));
}

namespace {

/// The sample shop's pictures at paths, put back as they were when it goes.
struct SampleKept {
    explicit SampleKept(QStringList kept)
        : paths(std::move(kept))
    {
        for (const QString &path : paths)
            before << runtime::readWholeFile(path).value_or(QByteArray());
    }
    ~SampleKept()
    {
        for (qsizetype i = 0; i < paths.size(); ++i) {
            QFile::remove(paths.at(i));
            if (!before.at(i).isEmpty())
                runtime::writeWholeFile(paths.at(i), before.at(i));
        }
    }
    QStringList paths;
    QList<QByteArray> before;
};

} // namespace

void TestBatchE2e::changedSincePlan_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("had");         // the sample's picture is there at the plan
    QTest::addColumn<bool>("otherDesk");   // another desk puts one between the plan and the put
    QTest::addColumn<QString>("expected"); // "action outcome reason, server holds, copy kept"
    // clang-format off
    QTest::newRow("put meanwhile") << Mode::Inventory << false << "AB10004.jpg" << false << true << "put skipped a picture was put meanwhile, theirs, no copy";
    QTest::newRow("put meanwhile, replacing") << Mode::Inventory << true << "AB10004.jpg" << false << true << "put replaced , ours, theirs kept";
    QTest::newRow("changed meanwhile, replacing") << Mode::Inventory << true << "AB10001.jpg" << true << true << "replace replaced , ours, theirs kept";
    QTest::newRow("account, put meanwhile") << Mode::CustSup << false << "1001-RW3.jpg" << false << true << "put skipped a picture was put meanwhile, theirs, no copy";
    QTest::newRow("supplier's shared picture") << Mode::CustSup << false << "1234-RING5.jpg" << true << false << "skip skipped it has a picture; replacing was not chosen, before, no copy";
    // clang-format on
}

void TestBatchE2e::changedSincePlan()
{
    QFETCH(Mode, mode);
    QFETCH(bool, replace);
    QFETCH(QString, file);
    QFETCH(bool, had);
    QFETCH(bool, otherDesk);
    QFETCH(QString, expected);
    const QString onServer = m_server.dbPath() + '/' + batch::codeOfFile(file, mode).path;
    const SampleKept sample({onServer});
    if (!had)
        QFile::remove(onServer);
    const QByteArray before = runtime::readWholeFile(onServer).value_or(QByteArray());
    history::JournalKeeper journal(m_appDir->filePath(QStringLiteral("journal")));
    m_state.services.journal = &journal;
    BatchRun run(m_state, makeFolder(QTest::currentDataTag(), {file}), options(mode, replace));
    const QList<batch::PlanRow> rows = run.plan();
    // The other desk works under the same account: its picture is the account's.
    const QByteArray theirs =
        runtime::readWholeFile(QStringLiteral(FRAMLA_SOURCE_DIR "/resources/noimage.gif")).value();
    const QFileInfo group(QFileInfo(onServer).path());
    if (otherDesk)
        QVERIFY(runtime::writeWholeFile(onServer, theirs) &&
                ::chown(QFile::encodeName(onServer).constData(), group.ownerId(),
                        group.groupId()) == 0);
    const batch::RowResult result = run.run(rows).value(0);
    const QByteArray now = runtime::readWholeFile(onServer).value_or(QByteArray());
    QString copy = QStringLiteral("no copy");
    for (const history::JournalEntry &e : journal.forThisThread()->entries()) {
        if (journal.forThisThread()->previousPicture(e.id) == theirs)
            copy = QStringLiteral("theirs kept");
    }
    m_state.services.journal = nullptr;
    const QString holds = now == theirs                                      ? "theirs"
                          : now == before                                    ? "before"
                          : QImageReader(onServer).size() == QSize(320, 320) ? "ours"
                                                                             : "other";
    QCOMPARE(QStringLiteral("%1 %2 %3, %4, %5")
                 .arg(batch::actionWord(rows.value(0).action), result.outcome, result.reason, holds,
                      copy),
             expected);
}

void TestBatchE2e::photoOnTheServer_data()
{
    QTest::addColumn<QString>("photo");    // convert's words for AB10004's photo, its name last
    QTest::addColumn<bool>("cut");         // then cut short
    QTest::addColumn<QString>("expected"); // outcome, and the picture's centre on the server
    QTest::newRow("cut short") << "xc:red AB10004.jpg" << true << "refused none";
    QTest::newRow("CMYK") << "xc:red -colorspace CMYK AB10004.jpg" << false << "put red";
    QTest::newRow("transparent") << "xc:none png32:AB10004.png" << false << "put white";
}

void TestBatchE2e::photoOnTheServer()
{
    QFETCH(QString, photo);
    QFETCH(bool, cut);
    QFETCH(QString, expected);
    const QString onServer = m_server.dbPath() + QStringLiteral("/images/AB/AB10004.jpg");
    const SampleKept sample({onServer});
    QFile::remove(onServer);
    const QString folder = m_appDir->filePath(QTest::currentDataTag());
    QStringList words = photo.split(' ');
    const QString file = folder + '/' + words.last().section(':', -1);
    words.last().replace(words.last().section(':', -1), file);
    QVERIFY(QDir().mkpath(folder) &&
            test::runTool("convert", QStringList{"-size", "400x300"} + words));
    if (cut)
        QVERIFY(runtime::writeWholeFile(file, runtime::readWholeFile(file)->chopped(100)));
    BatchRun run(m_state, folder, options(Mode::Inventory, false));
    const QString outcome = run.run(run.plan()).value(0).outcome;
    const QImage image(onServer);
    const QRgb centre = image.isNull() ? 0 : image.pixel(image.width() / 2, image.height() / 2);
    QCOMPARE(outcome + ' ' +
                 (image.isNull()                               ? "none"
                  : qRed(centre) > 200 && qGreen(centre) > 200 ? "white"
                  : qRed(centre) > 200                         ? "red"
                                                               : "other"),
             expected);
}

void TestBatchE2e::droppedNetwork()
{
    test::DelayProxy proxy;
    QVERIFY(proxy.startInFrontOf(m_server, 20));
    m_state.login.cPort = proxy.port();
    const QString folder =
        makeFolder(QStringLiteral("dropped"), {"7777-NET1.jpg", "7777-NET2.jpg", "7777-NET3.jpg",
                                               "7777-NET4.jpg", "7777-NET5.jpg"});
    batch::BatchOptions o = options(Mode::CustSup, false);
    o.channels = 2;
    o.preparers = 1;
    BatchRun run(m_state, folder, o);
    const QList<batch::PlanRow> rows = run.plan();
    // The network goes away once the first photo is in.
    std::atomic<bool> dropped{false};
    run.onDone = [&](int, const batch::RowResult &) {
        if (!dropped.exchange(true))
            QMetaObject::invokeMethod(
                this, [&] { proxy.stop(); }, Qt::QueuedConnection);
    };
    QList<batch::RowResult> results;
    std::atomic<bool> over{false};
    std::thread worker([&] {
        results = run.run(rows);
        over = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(over, 600000);
    worker.join();
    int put = 0;
    for (const batch::RowResult &result : results) {
        // Put and checked, or listed as not put: then it is not there, or it
        // could not be checked after it was placed.
        if (result.outcome == QStringLiteral("put")) {
            ++put;
            QCOMPARE(QFileInfo(result.serverPath).size(), result.size);
            continue;
        }
        QVERIFY2(result.outcome == QStringLiteral("failed") &&
                     (!QFile::exists(result.serverPath) ||
                      result.reason.startsWith(QStringLiteral("Nothing could be fetched back"))),
                 qPrintable(result.outcome + QLatin1Char(' ') + result.reason));
    }
    QVERIFY(put >= 1 && put < rows.size());
}

void TestBatchE2e::twoDesksAtOnce_data()
{
    QTest::addColumn<bool>("inventory");
    QTest::addColumn<QStringList>("files"); // of records without a picture
    QTest::newRow("inventory") << true << QStringList{"AB10009.jpg", "AB10007.jpg"};
    QTest::newRow("accounts") << false << QStringList{"7777-DESK1.jpg", "7777-DESK2.jpg"};
}

void TestBatchE2e::twoDesksAtOnce()
{
    QFETCH(bool, inventory);
    QFETCH(QStringList, files);
    QStringList targets;
    for (const QString &file : files)
        targets << m_server.dbPath() + '/' +
                       batch::codeOfFile(file, inventory ? Mode::Inventory : Mode::CustSup).path;
    const SampleKept sample(targets);
    for (const QString &target : targets)
        QFile::remove(target);
    // Two desks, one account, the same codes, started together.
    std::unique_ptr<QProcess> desks[2];
    for (int k = 0; k < 2; ++k) {
        const QString desk = m_appDir->filePath(QStringLiteral("desk%1").arg(k));
        LocalCfg options = defaultLocalCfg();
        options[slot(Option::Inventory)] = inventory;
        QVERIFY(QDir().mkpath(desk) && m_server.saveSettingsIn(desk) &&
                runtime::writeWholeFile(desk + "/scratch.xpf", config::encodeLocalCfg(options)));
        desks[k] = std::make_unique<QProcess>();
        desks[k]->setWorkingDirectory(desk);
        desks[k]->start(
            QStringLiteral(FRAMLA_BINARY_DIR "/app/framla"),
            {"--folder",
             makeFolder(QStringLiteral("%1-%2").arg(QTest::currentDataTag()).arg(k), files)});
    }
    QString said;
    for (auto &desk : desks) {
        QVERIFY(desk->waitForFinished(300000));
        said += QString::fromUtf8(desk->readAllStandardOutput());
    }
    // Each photo's picture is put by one desk; the other leaves it alone.
    for (const QString &file : files)
        QCOMPARE(QStringLiteral("%1 put, %2 skipped")
                     .arg(said.count(file + ": put "))
                     .arg(said.count(file + ": skipped ")),
                 QStringLiteral("1 put, 1 skipped"));
}

void TestBatchE2e::commandLine()
{
    const QString folder =
        makeFolder(QStringLiteral("photos"), {"EF30005.jpg", "CD20005.jpg", "GH40001.jpg"});
    QVERIFY(m_server.saveSettingsIn(m_appDir->path()));
    QProcess framla;
    framla.setWorkingDirectory(m_appDir->path());
    framla.start(QStringLiteral(FRAMLA_BINARY_DIR "/app/framla"),
                 {QStringLiteral("--folder"), folder});
    QVERIFY(framla.waitForFinished(300000));
    QString out = QString::fromUtf8(framla.readAllStandardOutput());
    out.replace(m_server.dbPath(), QStringLiteral("DB"));
    out.replace(QRegularExpression(QStringLiteral("framla-batch-[-0-9]+\\.csv")),
                QStringLiteral("framla-batch.csv"));
    QCOMPARE(out,
             QStringLiteral(
                 "EF30005.jpg: put DB/images/EF/EF30005.jpg\n"
                 "CD20005.jpg: skipped DB/images/CD/CD20005.jpg (it has a picture; replacing was "
                 "not chosen)\n"
                 "GH40001.jpg: refused DB/images/GH/GH40001.jpg (No picture can be filed for "
                 "GH40001: no pre-existing group images/GH/ on the server.)\n"
                 "report: %1/framla-batch.csv\n"
                 "3 photos: 1 put, 1 refused, 1 skipped\n")
                 .arg(m_appDir->path()));
    // A refusal is a photo not filed.
    QCOMPARE(framla.exitCode(), 1);
    QCOMPARE(QImageReader(m_server.dbPath() + QStringLiteral("/images/EF/EF30005.jpg")).size(),
             QSize(320, 240));
}

void TestBatchE2e::commandLineJournal_data()
{
    QTest::addColumn<QString>("photo");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("journalled"); // "action outcome path copy"
    // Records no other test here files to.
    QTest::newRow("replace") << "CD20003.jpg" << QStringList{"--replace"}
                             << "replace ok DB/images/CD/CD20003.jpg the picture before";
    QTest::newRow("put") << "EF30004.jpg" << QStringList{}
                         << "put ok DB/images/EF/EF30004.jpg none";
}

void TestBatchE2e::commandLineJournal()
{
    QFETCH(QString, photo);
    QFETCH(QStringList, arguments);
    QFETCH(QString, journalled);
    const QString folder = makeFolder(QStringLiteral("photos"), {photo});
    QVERIFY(m_server.saveSettingsIn(m_appDir->path()));
    const QString onServer = m_server.dbPath() + "/images/" + photo.left(2) + '/' + photo;
    const QByteArray before = runtime::readWholeFile(onServer).value_or(QByteArray());
    QProcess framla;
    framla.setWorkingDirectory(m_appDir->path());
    framla.start(QStringLiteral(FRAMLA_BINARY_DIR "/app/framla"),
                 QStringList{QStringLiteral("--folder"), folder} + arguments);
    QVERIFY(framla.waitForFinished(300000));
    QVERIFY2(framla.exitCode() == 0, framla.readAllStandardError().constData());
    // The journal of the working directory holds the put, and a replace the
    // very picture it replaced, ready to be restored.
    history::Journal journal;
    QVERIFY(journal.open(m_appDir->path()));
    QStringList lines;
    for (const history::JournalEntry &e : journal.entries()) {
        const std::optional<QByteArray> copy = journal.previousPicture(e.id);
        lines << QStringLiteral("%1 %2 %3 %4")
                     .arg(history::actionName(e.action), history::outcomeName(e.outcome),
                          QString(e.serverPath).replace(m_server.dbPath(), "DB"),
                          !copy             ? "none"
                          : *copy == before ? "the picture before"
                                            : "another picture");
    }
    QCOMPARE(lines, QStringList{journalled});
}

namespace {

/// Cancels the window's look-up once it has ended, before its table is shown.
class CancelBeforeShown final : public QObject {
public:
    explicit CancelBeforeShown(app::BatchWindow &window)
        : m_window(window)
    {
        window.installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MetaCall)
            m_window.cancel();
        return false;
    }

private:
    app::BatchWindow &m_window;
};

} // namespace

void TestBatchE2e::window()
{
    const QString folder = makeFolder(QStringLiteral("window"), {"CD20006.jpg", "AB10010.jpg"});
    app::BatchWindow window(m_state, nullptr);
    window.findChild<QLineEdit *>(QStringLiteral("batchFolder"))->setText(folder);
    const auto column = [&](int c) {
        const auto *table = window.findChild<QTableWidget *>(QStringLiteral("batchTable"));
        QStringList texts;
        for (int row = 0; row < table->rowCount(); ++row)
            texts << table->item(row, 1)->text() + QLatin1Char(' ') + table->item(row, c)->text();
        return texts;
    };
    QSignalSpy planned(&window, &app::BatchWindow::planned);
    auto *lookUp = window.findChild<QPushButton *>(QStringLiteral("batchLookUp"));
    auto *file = window.findChild<QPushButton *>(QStringLiteral("batchFile"));
    {
        // A look-up cancelled is no plan to file by, whatever it found.
        const CancelBeforeShown cancelled(window);
        QTest::mouseClick(lookUp, Qt::LeftButton);
        QVERIFY(planned.wait(120000));
        QCOMPARE(column(5) << QString::number(file->isEnabled()),
                 (QStringList{"AB10010.jpg skip", "CD20006.jpg put", "0"}));
    }
    QTest::mouseClick(lookUp, Qt::LeftButton);
    QVERIFY(planned.wait(120000));
    QCOMPARE(column(5), (QStringList{"AB10010.jpg skip", "CD20006.jpg put"}));
    // Nothing is put before the operator confirms.
    QVERIFY(!QFile::exists(m_server.dbPath() + QStringLiteral("/images/CD/CD20006.jpg")));
    // Filed at the brightness set, however long after the look-up.
    window.findChild<QSpinBox *>(QStringLiteral("batchBright"))->setValue(0);
    QSignalSpy finished(&window, &app::BatchWindow::finished);
    QTest::mouseClick(file, Qt::LeftButton);
    QVERIFY(finished.wait(120000));
    QCOMPARE(column(6), (QStringList{"AB10010.jpg skipped", "CD20006.jpg put"}));
    QVERIFY(window.findChild<QLabel *>(QStringLiteral("batchStatus"))
                ->text()
                .startsWith(QStringLiteral("Done. The report is ")));
    QVERIFY(QFile::exists(m_server.dbPath() + QStringLiteral("/images/CD/CD20006.jpg")));
    const auto lightness = [](const QString &path) {
        return QImage(path)
            .scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .pixelColor(0, 0)
            .lightness();
    };
    QVERIFY(lightness(m_server.dbPath() + QStringLiteral("/images/CD/CD20006.jpg")) <
            lightness(QDir(folder).filePath(QStringLiteral("CD20006.jpg"))) / 2);
}

QTEST_MAIN(TestBatchE2e)
#include "tst_batch_e2e.moc"
