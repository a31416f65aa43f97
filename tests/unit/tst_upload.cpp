// Putting a picture on the server and deleting the recorded one, against a
// server kept in memory behind a scripted shell.
#include "core/program_state.h"
#include "history/journal_keeper.h"
#include "history/outbox.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/working_files.h"
#include "server/data_transfer.h"
#include "server/deletion.h"
#include "server/lookup.h"
#include "server/upload.h"
#include "support/fake_server.h"
#include "support/scripted_world.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace framla;

namespace {
const QString kToken = QStringLiteral("10:30:00");
const QString kTarget = QStringLiteral("/srv/zmr/images/AB/AB12345.jpg");

} // namespace

class TestUpload : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void size_data();
    void size();
    void linesAndOrder();
    void windowsServer();
    void fetchedBack_data();
    void fetchedBack();
    void outcomes_data();
    void outcomes();
    void refused_data();
    void refused();
    void copyNotKept_data();
    void copyNotKept();
    void uploadsTakeTurns();
    void uploadKeepsItsPictureAndPath();
    void currentDirectoryChangedMeanwhile();
    void endGivesUpQueued_data();
    void endGivesUpQueued();
    void deletion_data();
    void deletion();
    void workerErrorMasksPassword();

private:
    bool put(const QString &code, const QString &size = QStringLiteral("M"), bool inventory = true,
             const QString &name = QString());
    QStringList commandTexts() const;
    void prepare(const QByteArray &picture);

    test::ScriptedWorld m_world;
    test::ScriptedDialogs &m_dialogs = m_world.dialogs;
    test::ScriptedShell &m_shell = m_world.shell;
    test::RecordingDisplay &m_display = m_world.display;
    ProgramState &m_state = m_world.state;
    std::unique_ptr<test::FakeServer> m_server;
};

void TestUpload::init()
{
    m_world.reset();
    QVERIFY(m_world.dir->isValid());
    m_server = std::make_unique<test::FakeServer>(m_world.dir->path());
    m_server->attach(m_shell);
    // The reply of the look-up that came before the put.
    m_server->files.insert(QStringLiteral("/srv/zmr/jtemp/clerk/framla.tmp"),
                           (kToken + QStringLiteral("\r\nGold ring\r\n")).toUtf8());
    prepare("picture");
}

void TestUpload::prepare(const QByteArray &picture)
{
    QVERIFY(runtime::writeWholeFile(m_world.file("scratch.jpg"), picture));
}

bool TestUpload::put(const QString &code, const QString &size, bool inventory, const QString &name)
{
    return server::PutFile(
        m_state, m_display, m_world.login(),
        m_world.target(code, inventory, name.isEmpty() ? code : name, kToken, size));
}

QStringList TestUpload::commandTexts() const
{
    return test::FakeServer::stableTexts(m_shell);
}

void TestUpload::size_data()
{
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("edge");
    QTest::newRow("S") << "S"
                       << "160x160";
    QTest::newRow("M") << "M"
                       << "320x320";
    QTest::newRow("L") << "L"
                       << "640x640";
    QTest::newRow("empty") << ""
                           << "320x320";
    QTest::newRow("s") << "s"
                       << "320x320";
    QTest::newRow("l") << "l"
                       << "320x320";
}

void TestUpload::size()
{
    QFETCH(QString, size);
    QFETCH(QString, edge);
    QVERIFY(put(QStringLiteral("AB12345"), size));
    QCOMPARE(commandTexts().first(),
             QStringLiteral("/C mogrify -resize ") + edge + QStringLiteral(" COPY.jpg"));
    QCOMPARE(m_server->files.value(kTarget), QByteArray("picture|") + edge.toLatin1());
}

void TestUpload::linesAndOrder()
{
    // Left in the program's directory by a put that was killed.
    QVERIFY(runtime::writeWholeFile(m_world.file("upload-Ab12Cd.jpg"), "cut"));
    QVERIFY(runtime::writeWholeFile(m_world.file("verify-Ab12Cd.jpg"), "cut"));
    QVERIFY(put(QStringLiteral("AB12345")));
    const QStringList texts = commandTexts();
    const QString plink = "/C start /min /wait .\\plink.exe -ssh -P 22 -pw pw clerk@shop ";
    const QString pscp = "/C start /min /wait .\\pscp.exe -scp -P 22 -pw pw ";
    // Copied into the user's own reply directory, checked, and only then
    // given its mode and put in its place.
    QCOMPARE(texts,
             (QStringList{"/C mogrify -resize 320x320 COPY.jpg",
                          pscp + "COPY.jpg clerk@shop:/srv/zmr/jtemp/clerk/STAGED.jpg",
                          pscp + "clerk@shop:/srv/zmr/jtemp/clerk/STAGED.jpg CHECK.jpg",
                          plink + "sh -c SCRIPT framla-place /srv/zmr/jtemp/clerk 644 STAGED.jpg "
                                  "/srv/zmr/images/AB/AB12345.jpg any /srv/zmr",
                          pscp + "clerk@shop:/srv/zmr/images/AB/AB12345.jpg scratch.jpg",
                          plink + "framaid /srv/zmr/jtemp/clerk AB12345 10:30:00",
                          pscp + "clerk@shop:/srv/zmr/jtemp/clerk/framla.tmp ."}));
    QCOMPARE(m_server->modes.value(kTarget), QStringLiteral("644"));
    // The pointer covers the copy and the mode change only.
    QCOMPARE(m_display.events.mid(0, 6),
             (QStringList{"text:Sending image to server...", "busy", "done",
                          "text:Verifying that image is on server...", "picture:wait.gif TW",
                          "picture:wait.gif TW"}));
    QCOMPARE(m_display.events.last(), QStringLiteral("text:Gold ring\r\n"));
    QVERIFY(m_display.events.contains(QStringLiteral("picture:scratch.jpg T")));
    // The server's copy is what the view now shows; the private copy is gone.
    QCOMPARE(runtime::readWholeFile(m_world.file("scratch.jpg")).value_or(""),
             m_server->files.value(kTarget));
    QCOMPARE(QDir(m_world.dir->path()).entryList({"upload-*", "verify-*"}), QStringList{});
    QVERIFY(m_state.lOk2Put);
}

void TestUpload::windowsServer()
{
    m_state.login.cPath = QStringLiteral("c:\\zmr");
    m_state.login.lIsDOS = true;
    QVERIFY(put(QStringLiteral("AB12345")));
    const QStringList texts = commandTexts();
    // Uploads keep "/" after the database path; the mode is set all the same.
    QCOMPARE(texts.value(1),
             QStringLiteral("/C start /min /wait .\\pscp.exe -scp -P 22 -pw pw "
                            "COPY.jpg clerk@shop:c:\\zmr/images\\AB\\AB12345.jpg.part"));
    QVERIFY(
        texts.value(2).endsWith(QStringLiteral(" chmod 644 c:\\zmr/images\\AB\\AB12345.jpg.part")));
}

void TestUpload::fetchedBack_data()
{
    QTest::addColumn<bool>("beside");   ///< the shell runs the fetch back beside the request
    QTest::addColumn<bool>("replaced"); ///< someone else puts a picture there after the rename
    QTest::addColumn<QString>("back");  ///< where the placed picture is fetched to
    QTest::addColumn<QString>("lead");  ///< the reply display before the description
    const QString differs =
        QString::fromLatin1(server::kNotRecordedText) +
        "\r\nThe image fetched back from the server differs from the one sent.\r\n\r\n";
    // clang-format off
    QTest::newRow("one after the other") << false << false << "scratch.jpg" << "";
    QTest::newRow("beside the request") << true << false << "CHECK.jpg" << "";
    QTest::newRow("replaced meanwhile") << true << true << "CHECK.jpg" << differs;
    // clang-format on
}

void TestUpload::fetchedBack()
{
    QFETCH(bool, beside);
    QFETCH(bool, replaced);
    QFETCH(QString, back);
    QFETCH(QString, lead);
    m_shell.beside = beside;
    const auto serve = m_shell.onRun;
    m_shell.onRun = [&](const runtime::ToolCommand &command) {
        if (replaced && command.args.value(3).endsWith(kTarget))
            m_server->files.insert(kTarget, "someone else's");
        return serve(command);
    };
    QVERIFY(put(QStringLiteral("AB12345")));
    const QString pscp = "/C start /min /wait .\\pscp.exe -scp -P 22 -pw pw clerk@shop:";
    QCOMPARE(commandTexts().mid(4),
             (QStringList{pscp + kTarget + " " + back,
                          "/C start /min /wait .\\plink.exe -ssh -P 22 -pw pw clerk@shop framaid "
                          "/srv/zmr/jtemp/clerk AB12345 10:30:00",
                          pscp + "/srv/zmr/jtemp/clerk/framla.tmp ."}));
    QCOMPARE(m_display.replies.last(), lead + "Gold ring\r\n");
    QCOMPARE(m_display.pictures, (QStringList{"wait.gif TW", "wait.gif TW", "scratch.jpg T"}));
}

void TestUpload::outcomes_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("lead");
    QTest::addColumn<QByteArray>("recorded");
    const QString notRecorded = QString::fromLatin1(server::kNotRecordedText) + "\r\n";
    QTest::newRow("copy refused") << "copy refused"
                                  << notRecorded + "The copy to the server failed: Access denied"
                                  << QByteArray("old picture");
    QTest::newRow("copy refused to a retry from the outbox")
        << "copy refused, retry" << notRecorded + "The copy to the server failed: Access denied"
        << QByteArray("old picture");
    QTest::newRow("copy interrupted")
        << "copy interrupted" << notRecorded + "The copy to the server failed: Connection lost"
        << QByteArray("old picture");
    QTest::newRow("something else arrived")
        << "corrupt"
        << notRecorded + "The image fetched back from the server differs from the one sent."
        << QByteArray("old picture");
    QTest::newRow("time up during the copy")
        << "slow" << notRecorded + "The copy could not be fetched back from the server to check it."
        << QByteArray("old picture");
    QTest::newRow("rename refused")
        << "mv"
        << notRecorded + "The image was copied, but it could not be put in "
                         "place: mv: Operation not permitted"
        << QByteArray("old picture");
    QTest::newRow("mode refused")
        << "chmod"
        << "The image could not be made readable for everyone: chmod: Operation not permitted"
        << QByteArray("picture|320x320");
}

void TestUpload::outcomes()
{
    QFETCH(QString, fault);
    QFETCH(QString, lead);
    QFETCH(QByteArray, recorded);
    m_server->files.insert(kTarget, "old picture");
    m_server->failCopies = fault.startsWith("copy refused");
    m_server->interruptCopies = fault == "copy interrupted";
    m_server->corruptCopies = fault == "corrupt";
    // The temporary file is cleared even when the put's time is up.
    m_server->copyTakesMs = fault == "slow" ? 1500 : 0;
    m_state.limits.putMs = fault == "slow" ? 1000 : m_state.limits.putMs;
    m_server->refusedCommands = QStringList{fault}.filter(QRegularExpression("^(mv|chmod)$"));
    // The server's answer now, not the one from before the put.
    m_server->replyBody = QStringLiteral("Gold ring\r\nimages/AB/AB12345.jpg on file\r\n");
    // A retry that failed still waits in the outbox.
    history::Outbox outbox(m_world.dir->path());
    server::PutExtras extras;
    if (fault.endsWith("retry")) {
        m_state.services.outbox = &outbox;
        extras.outboxId = outbox.add({}, "picture");
    }
    QVERIFY(server::PutFile(m_state, m_display, m_world.login(),
                            m_world.target("AB12345", true, "AB12345", kToken, "M"), extras));
    QCOMPARE(outbox.list().size(), extras.outboxId.isEmpty() ? 0 : 1);
    QCOMPARE(m_display.replies.last(),
             lead + "\r\n\r\nGold ring\r\nimages/AB/AB12345.jpg on file\r\n");
    // The picture is replaced whole or not at all, and nothing else is left,
    // neither beside it nor in the reply directory.
    QCOMPARE(m_server->files.value(kTarget), recorded);
    QCOMPARE(m_server->files.keys().filter(QStringLiteral("/AB/")), QStringList{kTarget});
    QCOMPARE(m_server->files.keys().filter(QStringLiteral("/upload-")), QStringList{});
    // The view still shows what the server holds.
    QCOMPARE(m_display.pictures.last(), QStringLiteral("scratch.jpg T"));
}

void TestUpload::copyNotKept_data()
{
    QTest::addColumn<bool>("picture"); // what the server holds decodes as a picture
    QTest::addColumn<bool>("ask");     // the window (asks) or the batch (does not)
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("expected"); // kind, what the server holds, questions
    QTest::newRow("a picture, kept") << true << false << 0 << "1 ours 0";
    QTest::newRow("batch: not a picture") << false << false << 0 << "2 theirs 0";
    QTest::newRow("window: no") << false << true << int(runtime::kNo) << "2 theirs 1";
    QTest::newRow("window: yes") << false << true << int(runtime::kYes) << "1 ours 1";
}

void TestUpload::copyNotKept()
{
    QFETCH(bool, picture);
    QFETCH(bool, ask);
    QFETCH(int, answer);
    QFETCH(QString, expected);
    history::JournalKeeper journal(m_world.dir->path());
    m_state.services.journal = &journal;
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QBuffer jpeg;
    QVERIFY(jpeg.open(QIODevice::WriteOnly) && image.save(&jpeg, "JPEG"));
    const QByteArray theirs = picture ? jpeg.data() : QByteArray("notes, not a picture");
    m_server->files.insert(kTarget, theirs);
    if (answer != 0)
        m_dialogs.answers.enqueue(answer);
    server::PutExtras extras;
    extras.replaceAny = true;
    extras.askWhenUnkept = ask;
    const server::PutOutcome outcome = server::putWithOutcome(
        m_state, m_display, m_world.login(),
        m_world.target(QStringLiteral("AB12345"), true, QStringLiteral("AB12345"), kToken, "M"),
        QStringLiteral("scratch.jpg"), extras);
    m_state.services.journal = nullptr;
    QCOMPARE(QStringLiteral("%1 %2 %3")
                 .arg(int(outcome.kind))
                 .arg(m_server->files.value(kTarget) == theirs ? "theirs" : "ours")
                 .arg(m_dialogs.boxes.size()),
             expected);
}

void TestUpload::refused_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("inventory");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("prepared");
    QTest::newRow("no rule for the code") << "AB123456" << true << "" << true;
    QTest::newRow("supplier without a name") << "1234" << false << "" << true;
    QTest::newRow("name with a slash") << "1234" << false << "a/b" << true;
    QTest::newRow("nothing prepared") << "AB12345" << true << "" << false;
    QTest::newRow("seven characters with a quote") << "A'id'B1" << true << "" << true;
    QTest::newRow("order with a quote") << "OR1'" << true << "" << true;
}

void TestUpload::refused()
{
    QFETCH(QString, code);
    QFETCH(bool, inventory);
    QFETCH(QString, name);
    QFETCH(bool, prepared);
    if (!prepared)
        QFile::remove(m_world.file("scratch.jpg"));
    QVERIFY(server::PutFile(m_state, m_display, m_world.login(),
                            m_world.target(code, inventory, name, kToken)));
    QCOMPARE(m_dialogs.boxes.size(), 1);
    QVERIFY(m_dialogs.boxes.first().text.startsWith(QStringLiteral("Not put")) ||
            m_dialogs.boxes.first().text.contains(QStringLiteral("cannot be used")));
    QVERIFY(m_shell.commands.isEmpty());
}

void TestUpload::uploadsTakeTurns()
{
    server::UploadQueue queue;
    m_state.services.uploads = &queue;
    QVERIFY(put(QStringLiteral("AB12345")));
    {
        // As the put action does: the next picture is prepared while no
        // upload is using the working files.
        runtime::WorkingFilesLock lock(m_state);
        prepare("second");
        QVERIFY(put(QStringLiteral("CD54321")));
    }
    QVERIFY(queue.waitForIdle(30000));
    QCoreApplication::processEvents();
    // Every step of the first upload comes before the first step of the second.
    const QStringList texts = commandTexts();
    const qsizetype secondStart = texts.indexOf(QRegularExpression(QStringLiteral(".*CD54321.*")));
    QVERIFY2(secondStart > 0, qPrintable(texts.join(QLatin1Char('\n'))));
    for (qsizetype i = secondStart; i < texts.size(); ++i)
        QVERIFY2(!texts.at(i).contains(QStringLiteral("AB12345")), qPrintable(texts.at(i)));
    QCOMPARE(m_server->files.value(kTarget), QByteArray("picture|320x320"));
    QCOMPARE(m_server->files.value("/srv/zmr/images/CD/CD54321.jpg"), QByteArray("second|320x320"));
    // The display changes reached the UI thread in order.
    QCOMPARE(m_display.replies.first(), QStringLiteral("Sending image to server..."));
    QCOMPARE(m_display.replies.count(QStringLiteral("Sending image to server...")), 2);
}

void TestUpload::uploadKeepsItsPictureAndPath()
{
    server::UploadQueue queue;
    m_state.services.uploads = &queue;
    QVERIFY(put(QStringLiteral("AB12345")));
    // At once the operator prepares another picture and looks up another code.
    prepare("another picture");
    server::PrepText(m_state, m_display, m_world.login(),
                     m_world.target(QStringLiteral("CD54321"), true, QString(), kToken));
    QVERIFY(queue.waitForIdle(30000));
    QCOMPARE(m_server->files.value(kTarget), QByteArray("picture|320x320"));
    QVERIFY(!m_server->files.contains("/srv/zmr/images/CD/CD54321.jpg"));
}

void TestUpload::currentDirectoryChangedMeanwhile()
{
    // While the worker uploads, a file dialog on the UI thread leaves another
    // directory current: the upload still finds every file it works with.
    server::UploadQueue queue;
    m_state.services.uploads = &queue;
    QTemporaryDir elsewhere;
    const QString before = QDir::currentPath();
    QSemaphore resizing;
    QSemaphore changed;
    const auto serve = m_shell.onRun;
    m_shell.onRun = [&](const runtime::ToolCommand &command) {
        if (command.tool == QLatin1String("mogrify")) {
            resizing.release();
            changed.tryAcquire(1, 10000);
        }
        return serve(command);
    };
    m_dialogs.whileOpen = [&] { QDir::setCurrent(elsewhere.path()); };
    QVERIFY(put(QStringLiteral("AB12345")));
    QVERIFY(resizing.tryAcquire(1, 10000));
    server::GetDataFile(m_state);
    changed.release();
    QVERIFY(queue.waitForIdle(30000));
    QCoreApplication::processEvents();
    const QString during = QDir::currentPath();
    QDir::setCurrent(before);
    QCOMPARE(during, QDir(elsewhere.path()).canonicalPath());
    QCOMPARE(m_server->files.value(kTarget), QByteArray("picture|320x320"));
    QVERIFY2(!m_display.replies.last().startsWith(QLatin1String(server::kNotRecordedText)),
             qPrintable(m_display.replies.last()));
}

void TestUpload::endGivesUpQueued_data()
{
    QTest::addColumn<int>("puts");
    QTest::addColumn<bool>("firstEnds"); ///< the put under way ends while the end waits for it
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("a lone put hangs") << 1 << false
                                      << QStringList{"1 picture was not sent to the server: the "
                                                     "program was closed before it could be sent."};
    QTest::newRow("a put hangs, two queued")
        << 3 << false
        << QStringList{"3 pictures were not sent to the server: the program was closed before they "
                       "could be sent."};
    QTest::newRow("a put ends, two queued")
        << 3 << true
        << QStringList{"2 pictures were not sent to the server: the program was closed before they "
                       "could be sent."};
    QTest::newRow("a lone put ends") << 1 << true << QStringList{};
}

void TestUpload::endGivesUpQueued()
{
    QFETCH(int, puts);
    QFETCH(bool, firstEnds);
    QFETCH(QStringList, boxes);
    server::UploadQueue queue;
    m_state.services.uploads = &queue;
    QSemaphore go;
    const auto serve = m_shell.onRun;
    m_shell.onRun = [&](const runtime::ToolCommand &command) {
        if (command.tool == QLatin1String("mogrify"))
            go.tryAcquire(1, 30000);
        return serve(command);
    };
    {
        const runtime::WorkingFilesLock lock(
            m_state); // every put is queued before the first begins
        for (int i = 0; i < puts; ++i)
            QVERIFY(put(QStringLiteral("AB1234%1").arg(i)));
    }
    QTRY_VERIFY(!m_display.replies.isEmpty()); // the first one has begun
    QObject context;
    if (firstEnds)
        QTimer::singleShot(0, &context, [&] { go.release(); });
    QCOMPARE(server::endUploads(m_state, firstEnds ? 30000 : 100), firstEnds);
    go.release();
    QVERIFY(queue.waitForIdle(30000));
    QCoreApplication::processEvents(); // what it posted goes to this row's display
    QCOMPARE(m_dialogs.texts(), boxes);
    QCOMPARE(commandTexts().filter("mogrify"), QStringList{"/C mogrify -resize 320x320 COPY.jpg"});
}

void TestUpload::deletion_data()
{
    QTest::addColumn<bool>("inventory");
    QTest::addColumn<bool>("dos");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("boxes");

    const QByteArray ssr =
        "10:30:00\r\nRing\r\n<!-- images/ssr/1234/RING5.jpg exists on server -->";
    QTest::newRow("own picture")
        << true << false << "AB12345"
        << "AB12345" << QByteArray("10:30:00\r\nRing\r\n")
        << "/C start /min /wait .\\plink.exe -ssh -P 22 -pw pw clerk@shop rm -f "
           "/srv/zmr/images/AB/AB12345.jpg"
        << QStringList{};
    QTest::newRow("supplier picture from inventory mode")
        << true << false << "AB12345"
        << "AB12345" << ssr << ""
        << QStringList{"Deletion is denied from inventory mode.\r\n"
                       "This is a supplier reference image. You could\r\n"
                       "delete the SSR image in supplier mode, but you might\r\n"
                       "want to just record a new image for this item."};
    QTest::newRow("supplier picture in supplier mode")
        << false << false << "1234"
        << "RING5" << ssr
        << "/C start /min /wait .\\plink.exe -ssh -P 22 -pw pw clerk@shop rm -f "
           "/srv/zmr/images/ssr/1234/RING5.jpg"
        << QStringList{"Replace existing image?"};
    QTest::newRow("supplier picture on a Windows server")
        << false << true << "1234"
        << "RING5" << ssr
        << "/C start /min /wait .\\plink.exe -ssh -P 22 -pw pw clerk@shop rm -f "
           "c:\\\\\\zmr\\\\\\images\\\\\\ssr\\\\\\1234\\\\\\RING5.jpg"
        << QStringList{"Replace existing image?"};
    QTest::newRow("web picture may go")
        << true << false << "AB12345"
        << "AB12345"
        << QByteArray("10:30:00\r\n<!-- images/AB/AB12345.jpg exists Owned by user=www-data -->")
        << "/C start /min /wait .\\plink.exe -ssh -P 22 -pw pw clerk@shop rm -f "
           "/srv/zmr/images/AB/AB12345.jpg"
        << QStringList{};
    QTest::newRow("code with a quote")
        << true << false << "A'rm-f'"
        << "A'rm-f'" << QByteArray("10:30:00\r\nRing\r\n") << ""
        << QStringList{"Nothing deleted: the code \"A'rm-f'\" and name \"A'rm-f'\" name no image "
                       "file on the server."};
    QTest::newRow("someone else's picture")
        << true << false << "AB12345"
        << "AB12345" << QByteArray("10:30:00\r\n<!-- exists Owned by user=jane -->") << ""
        << QStringList{"This image file is owned by user=jane and you\r\ndo not have write access "
                       "permission to overwite it."};
}

void TestUpload::deletion()
{
    QFETCH(bool, inventory);
    QFETCH(bool, dos);
    QFETCH(QString, code);
    QFETCH(QString, name);
    QFETCH(QByteArray, reply);
    QFETCH(QString, line);
    QFETCH(QStringList, boxes);
    m_state.login.lIsDOS = dos;
    if (dos)
        m_state.login.cPath = QStringLiteral("c:\\zmr");
    QVERIFY(runtime::writeWholeFile(m_world.file("framla.tmp"), reply));
    m_dialogs.answers.enqueue(runtime::kOk);
    server::DelImage(m_state, m_display, m_world.login(),
                     m_world.target(code, inventory, name, kToken));
    QCOMPARE(m_dialogs.texts(), boxes);
    const QStringList removals = m_shell.texts().filter(QStringLiteral(" rm -f "));
    QCOMPARE(removals, line.isEmpty() ? QStringList{} : QStringList{line});
    if (line.isEmpty()) {
        QVERIFY(m_display.pictures.isEmpty());
    } else {
        QCOMPARE(m_display.captions,
                 (QStringList{"Deleting image on server...", "Image as now recorded:"}));
        QCOMPARE(m_display.pictures.last(), QStringLiteral("scratch.jpg T"));
    }
}

void TestUpload::workerErrorMasksPassword()
{
    // The upload runs on a state of its own: an error there masks the
    // login's password as the program's own state does.
    m_state.login.cPass = QStringLiteral("Zq7-secret");
    m_shell.onRun = [](const runtime::ToolCommand &) -> runtime::RunOutcome {
        runtime::RuntimeError error;
        error.canDefault = true;
        error.description = QStringLiteral("Zq7-secret");
        throw error;
    };
    m_dialogs.answers.enqueue(runtime::kIgnore);
    QVERIFY(put(QStringLiteral("AB12345")));
    QCOMPARE(m_dialogs.boxes.size(), 1);
    QVERIFY2(!m_dialogs.boxes.first().text.contains(QStringLiteral("Zq7")),
             qPrintable(m_dialogs.boxes.first().text));
}

QTEST_GUILESS_MAIN(TestUpload)
#include "tst_upload.moc"
