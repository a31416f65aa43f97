// "Put it", the size radios, both "X" buttons, "Show Existing" and "ix" on
// the real window, clicked with real events, against a server in memory:
// the size question, the write check, the supplier picture, the deletion's
// question and look-up, and the order of the commands a put runs.
#include "app/event_chain.h"
#include "app/image_tab.h"
#include "app/main_window.h"
#include "app/put_actions.h"
#include "app/source_actions.h"
#include "app/window_display.h"
#include "app/window_start.h"
#include "config/local_options.h"
#include "imaging/crop_geometry.h"
#include "imaging/image_view.h"
#include "imaging/prepare.h"
#include "runtime/application.h"
#include "runtime/files.h"
#include "server/lookup.h"
#include "server/upload.h"
#include "support/fake_server.h"
#include "support/scripted_world.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace framla;
using app::MainWindow;
using Boxes = QStringList;

namespace {

const QString kCode = QStringLiteral("AB12345");
const QString kItemPicture = QStringLiteral("/srv/zmr/images/AB/AB12345.jpg");
/// The operator's private copy on the server, before it is put in place.
const QString kStaged = QStringLiteral("/srv/zmr/jtemp/clerk/upload-[0-9a-f]{16}");
const QString kSupplierReply =
    QStringLiteral("Signet ring\r\n<!-- images/ssr/1234/RING5.jpg exists on server -->\r\n");

QByteArray jpeg(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkYellow);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return data;
}

/// Collects the addresses handed to the desktop's web browser.
class Browser final : public QObject {
    Q_OBJECT
public:
    QStringList opened;
public Q_SLOTS:
    void open(const QUrl &url) { opened << url.toString(); }
};

} // namespace

class TestPutActions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void sizeQuestion_data();
    void sizeQuestion();
    void writeRefused();
    void deleteTarget_data();
    void deleteTarget();
    void commandsOfAPut_data();
    void commandsOfAPut();
    void pictureAppearedSinceTheLookUp();
    void sizeRadios_data();
    void sizeRadios();
    void deleteSource_data();
    void deleteSource();
    void supplierPictureNote_data();
    void supplierPictureNote();
    void showExisting_data();
    void showExisting();
    void dataFileFromTheRunningDatabase();

private:
    /// The window with its real handlers, an item or account looked up and a
    /// source chosen, as the code entry and the source handlers leave them.
    void open(bool inventory, const QString &code, const QString &name);
    void click(QWidget *button);
    /// Waits for the uploads asked for and lets their changes reach the window.
    void settle();
    /// A file was sent to a remote path that the pattern matches.
    bool sent(const QString &remote) const;

    test::ScriptedWorld m_world;
    std::unique_ptr<test::FakeServer> m_server;
    QSize m_preview{640, 480}; ///< what the crop tool makes
    std::unique_ptr<QTemporaryDir> m_tools;
    QByteArray m_path;
    std::unique_ptr<server::UploadQueue> m_uploads;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<app::WindowDisplay> m_display;
    std::unique_ptr<app::EventChain> m_chain;
    app::ImageTab *m_tab = nullptr;
};

void TestPutActions::init()
{
    m_world.reset();
    QVERIFY(m_world.dir->isValid());
    m_server = std::make_unique<test::FakeServer>(m_world.dir->path());
    m_preview = {640, 480};
    // The image tools: the crop makes a real picture of the size the test
    // chooses; the other tool runs change nothing.
    m_world.shell.onRun = [this](const runtime::ToolCommand &command) {
        const QString tool = command.executableName();
        if (tool == QStringLiteral("convert"))
            runtime::writeWholeFile(m_world.file(command.args.last()), jpeg(m_preview));
        if (tool == QStringLiteral("convert") || tool == QStringLiteral("mogrify"))
            return test::finishedRun();
        return m_server->handle(command);
    };
    m_path = qgetenv("PATH");
}

void TestPutActions::cleanup()
{
    if (m_uploads)
        QVERIFY(m_uploads->waitForIdle(30000));
    m_chain.reset();
    m_display.reset();
    m_window.reset();
    m_uploads.reset();
    qputenv("PATH", m_path);
    m_tools.reset();
}

void TestPutActions::open(bool inventory, const QString &code, const QString &name)
{
    // The image-tool check finds the tools on the search path.
    m_tools = std::make_unique<QTemporaryDir>();
    for (const char *tool : {"convert", "mogrify"}) {
        QFile file(m_tools->filePath(QLatin1String(tool)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    qputenv("PATH", m_tools->path().toLocal8Bit());
    QDir::setCurrent(m_world.dir->path());

    ProgramState &state = m_world.state;
    m_uploads = std::make_unique<server::UploadQueue>();
    state.services.uploads = m_uploads.get();
    state.lInventory = inventory;
    state.aLocalCfg[slot(Option::Inventory)] = inventory;
    m_window = std::make_unique<MainWindow>(state);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_display = std::make_unique<app::WindowDisplay>(state, *m_window);
    m_chain = std::make_unique<app::EventChain>(state, *m_window);
    m_chain->install();
    app::openWindow(state, *m_window, *m_display);
    m_tab = new app::ImageTab(state, *m_window, *m_display);
    m_chain->setImageTabActions(m_tab);

    // The look-up of the code, as the code field's Enter makes it.
    const app::ImageTabControls &c = m_window->imageTab();
    state.cCode = code;
    state.cName = name;
    state.cTime = state.services.clock->timeOfDay();
    const server::LookupResult found =
        server::PrepText(state, *m_display, state.login, server::targetOf(state));
    state.lOk2Put = found.ok2Put.value_or(state.lOk2Put);
    c.oXbpTargName->setText(name);
    // The source, as a typed path leaves it.
    state.cFilename = m_world.file(QStringLiteral("ring photo.jpg"));
    runtime::writeWholeFile(state.cFilename, jpeg({2000, 1500}));
    state.anSize = {2000, 1500};
    c.oXbpImageFile->setText(state.cFilename);
    c.oXbpPut->setEnabled(state.lOk2Put);
    m_world.shell.commands.clear();
    m_world.dialogs.boxes.clear();
}

void TestPutActions::click(QWidget *button)
{
    QVERIFY2(button->isEnabled(), qPrintable(button->objectName()));
    QTest::mouseClick(button, Qt::LeftButton);
}

void TestPutActions::settle()
{
    QVERIFY(m_uploads->waitForIdle(30000));
    QCoreApplication::processEvents();
}

bool TestPutActions::sent(const QString &remote) const
{
    const QRegularExpression path(QRegularExpression::anchoredPattern(remote));
    for (const runtime::ToolCommand &command : m_world.shell.commands) {
        if (command.executableName() == QStringLiteral("pscp") &&
            path.match(command.args.value(4).section(QLatin1Char(':'), 1)).hasMatch())
            return true;
    }
    return false;
}

void TestPutActions::sizeQuestion_data()
{
    QTest::addColumn<QString>("size");
    QTest::addColumn<QSize>("preview");
    QTest::addColumn<bool>("supplierPicture");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<Boxes>("boxes");
    QTest::addColumn<bool>("put");
    const QString question = QStringLiteral("Size verification: Resolution is set for 640 "
                                            "pixels.\r\nNormal is 160 or 320. Are you sure?");
    const QString supplier = QStringLiteral(
        "A supplier image already exists for this code.\r\nAdding a dedicated code will replace "
        "only the selected item's image.\r\nimages/ssr/1234/RING5.jpg");
    const QString replace = QStringLiteral("Confirm replace: Replace existing image?");
    const int ok = runtime::kOk, cancel = runtime::kCancel;

    QTest::newRow("640, a large preview: asked, OK")
        << "L" << QSize(640, 480) << false << QList<int>{ok} << Boxes{question} << true;
    QTest::newRow("640, a tall preview: asked")
        << "L" << QSize(200, 321) << false << QList<int>{ok} << Boxes{question} << true;
    QTest::newRow("640, a preview of 320: not asked")
        << "L" << QSize(320, 240) << false << QList<int>{} << Boxes{} << true;
    QTest::newRow("320, a large preview: not asked")
        << "M" << QSize(640, 480) << false << QList<int>{} << Boxes{} << true;
    QTest::newRow("640, cancelled: nothing put")
        << "L" << QSize(640, 480) << false << QList<int>{cancel} << Boxes{question, "Not put"}
        << false;
    QTest::newRow("supplier picture, cancelled: nothing put")
        << "L" << QSize(640, 480) << true << QList<int>{ok, cancel}
        << Boxes{supplier, replace, question, "Not put"} << false;
    QTest::newRow("supplier picture, OK: put")
        << "L" << QSize(640, 480) << true << QList<int>{ok, ok}
        << Boxes{supplier, replace, question} << true;
}

void TestPutActions::sizeQuestion()
{
    QFETCH(QString, size);
    QFETCH(QSize, preview);
    QFETCH(bool, supplierPicture);
    QFETCH(QList<int>, answers);
    QFETCH(Boxes, boxes);
    QFETCH(bool, put);
    m_preview = preview;
    if (supplierPicture) {
        m_server->replyBody = kSupplierReply;
        m_server->files.insert(QStringLiteral("/srv/zmr/images/ssr/1234/RING5.jpg"),
                               jpeg({300, 300}));
    }
    open(true, kCode, kCode);
    m_world.state.cSize = size;
    for (int answer : answers)
        m_world.dialogs.answers.enqueue(answer);

    const app::ImageTabControls &c = m_window->imageTab();
    click(c.oXbpPut);
    settle();

    QStringList shown;
    for (const auto &box : std::as_const(m_world.dialogs.boxes))
        shown << (box.title.isEmpty() ? box.text : box.title + QLatin1Char(' ') + box.text);
    QCOMPARE(shown, boxes);
    QCOMPARE(sent(kStaged + QStringLiteral("\\.jpg")), put);
    QCOMPARE(m_server->files.contains(kItemPicture), put);
    QCOMPARE(c.oXbpTargGrp->text(),
             put ? QStringLiteral("Image as now recorded:") : QStringLiteral("Pending image:"));
    QCOMPARE(c.oXbpPut->isEnabled(), !put);
    QCOMPARE(m_window->focusWidget(), c.oXbpGetCd);
}

void TestPutActions::writeRefused()
{
    m_server->files.insert(kItemPicture, jpeg({320, 240}));
    m_server->replyBody =
        QStringLiteral("Gold ring\r\n<!-- images/AB/AB12345.jpg Owned by user=nobody -->\r\n");
    open(true, kCode, kCode);
    const QByteArray before = m_server->files.value(kItemPicture);
    const app::ImageTabControls &c = m_window->imageTab();
    click(c.oXbpPut);
    settle();

    QCOMPARE(m_world.dialogs.texts(),
             QStringList{"This image file is owned by user=nobody and you\r\ndo not have write "
                         "access permission to overwite it."});
    QCOMPARE(c.oXbpTargGrp->text(), QStringLiteral(" Existing image:"));
    QVERIFY(!sent(kStaged + QStringLiteral("\\.jpg")));
    QCOMPARE(m_server->files.value(kItemPicture), before);
    QVERIFY(c.oXbpGetCd->isEnabled());
}

void TestPutActions::deleteTarget_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<Boxes>("boxes");
    const QString asked = QStringLiteral(
        "Delete recorded image... Are you sure you want to delete the target image:\r\n%1.jpg\r\n"
        "(Write privilege for the selected image is required.)");
    QTest::newRow("OK") << kCode << int(runtime::kOk) << true << Boxes{asked.arg(kCode)};
    QTest::newRow("Cancel") << kCode << int(runtime::kCancel) << false << Boxes{asked.arg(kCode)};
    // With no code there is nothing to delete and nothing to look up.
    QTest::newRow("no code, OK") << "" << int(runtime::kOk) << false << Boxes{asked.arg("")};
}

void TestPutActions::deleteTarget()
{
    QFETCH(QString, code);
    QFETCH(int, answer);
    QFETCH(bool, deleted);
    QFETCH(Boxes, boxes);
    m_server->files.insert(kItemPicture, jpeg({320, 240}));
    open(true, kCode, kCode);
    const app::ImageTabControls &c = m_window->imageTab();
    c.oXbpTargName->setText(code);
    m_world.state.cName = code;
    m_world.state.lOk2DelTarg = true;
    c.oXbpDelTarg->setEnabled(true);
    m_world.dialogs.answers.enqueue(answer);
    m_world.clock.time = QTime(11, 0, 0);
    click(c.oXbpDelTarg);

    QStringList shown;
    for (const auto &box : std::as_const(m_world.dialogs.boxes))
        shown << (box.title.isEmpty() ? box.text : box.title + QLatin1Char(' ') + box.text);
    QCOMPARE(shown, boxes);
    QCOMPARE(m_server->files.contains(kItemPicture), !deleted);
    // The look-up ran again, with a token of its own.
    QCOMPARE(m_world.state.cTime, QStringLiteral("11:00:00"));
    const QString lastReply = c.oXbpShowTxt->toPlainText();
    QVERIFY2(code.isEmpty() || lastReply == QStringLiteral("Gold ring\n"), qPrintable(lastReply));
}

void TestPutActions::commandsOfAPut_data()
{
    QTest::addColumn<bool>("inventory");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("recorded"); ///< the picture on the server before the put
    QTest::addColumn<QStringList>("lines");
    const QString send = QStringLiteral("/C start /min /wait .\\pscp.exe -scp -P 22 -pw pw ");
    const QString run =
        QStringLiteral("/C start /min /wait .\\plink.exe -ssh -P 22 -pw pw clerk@shop ");
    const QString limits = imaging::imageToolLimits().join(' ');
    const QString prepare = "/C convert " + limits +
                            " \"%1\" -auto-orient -colorspace sRGB -background white -alpha remove "
                            "-alpha off -crop 2000x1839+0+0 -strip scratch.jpg";
    const QString adjust =
        "/C mogrify " + limits + " -modulate 100 -gamma 1.00 -level 0.00% scratch.jpg";
    const QString reply = send + QStringLiteral("clerk@shop:/srv/zmr/jtemp/clerk/framla.tmp .");
    QTest::newRow("an item") << true << kCode << kCode << ""
                             << QStringList{
                                    send + "clerk@shop:/srv/zmr/images/AB/AB12345.jpg scratch.jpg",
                                    prepare,
                                    adjust,
                                    "/C mogrify -resize 320x320 COPY.jpg",
                                    send + "COPY.jpg clerk@shop:/srv/zmr/jtemp/clerk/STAGED.jpg",
                                    send + "clerk@shop:/srv/zmr/jtemp/clerk/STAGED.jpg CHECK.jpg",
                                    run + "sh -c SCRIPT framla-place /srv/zmr/jtemp/clerk 644 "
                                          "STAGED.jpg /srv/zmr/images/AB/AB12345.jpg none "
                                          "/srv/zmr",
                                    send + "clerk@shop:/srv/zmr/images/AB/AB12345.jpg scratch.jpg",
                                    run + "framaid /srv/zmr/jtemp/clerk AB12345 10:30:00",
                                    reply};
    // The check of the account's picture replaces the server's reply: the
    // account is looked up again before the upload, whose closing fetch
    // takes only the reply to its own code.
    QTest::newRow("a supplier's stock reference")
        << false << "1234"
        << "RING7"
        << "/srv/zmr/images/ssr/1234/RING7.jpg"
        << QStringList{
               send + "clerk@shop:/srv/zmr/images/ssr/1234/RING7.jpg scratch.jpg",
               run + "framaid /srv/zmr/jtemp/clerk RING7.jpg 10:30:00 images/ssr/1234",
               reply,
               run + "framaid /srv/zmr/jtemp/clerk 1234 10:30:00",
               reply,
               send + "clerk@shop:/srv/zmr/images/ssr/1234/RING7.jpg scratch.jpg",
               prepare,
               adjust,
               "/C mogrify -resize 320x320 COPY.jpg",
               send + "COPY.jpg clerk@shop:/srv/zmr/jtemp/clerk/STAGED.jpg",
               send + "clerk@shop:/srv/zmr/jtemp/clerk/STAGED.jpg CHECK.jpg",
               run +
                   "sh -c SCRIPT framla-place /srv/zmr/jtemp/clerk 644 STAGED.jpg "
                   "/srv/zmr/images/ssr/1234/RING7.jpg " +
                   QCryptographicHash::hash(jpeg({320, 320}), QCryptographicHash::Sha256).toHex() +
                   " /srv/zmr",
               send + "clerk@shop:/srv/zmr/images/ssr/1234/RING7.jpg scratch.jpg",
               run + "framaid /srv/zmr/jtemp/clerk 1234 10:30:00",
               reply};
}

void TestPutActions::commandsOfAPut()
{
    QFETCH(bool, inventory);
    QFETCH(QString, code);
    QFETCH(QString, name);
    QFETCH(QString, recorded);
    QFETCH(QStringList, lines);
    // A picture on file is one the server reports, and the operator agrees to replace it.
    if (!recorded.isEmpty()) {
        m_server->files.insert(recorded, jpeg({320, 320}));
        m_server->replyBody += "<!-- " + recorded.mid(9) + " exists (698 bytes) -->\r\n";
    }
    open(inventory, code, name);
    if (!recorded.isEmpty())
        m_world.dialogs.answers.enqueue(runtime::kOk);
    click(m_window->imageTab().oXbpPut);
    // The picture put may be deleted at once, while the upload still runs.
    QVERIFY(m_window->imageTab().oXbpDelTarg->isEnabled());
    settle();

    const QStringList ran = test::FakeServer::stableTexts(m_world.shell);
    for (QString &line : lines)
        line.replace(QStringLiteral("%1"), m_world.state.cFilename);
    QCOMPARE(ran, lines);
    QCOMPARE(m_world.dialogs.boxes.size(), recorded.isEmpty() ? 0 : 1);
    // The closing fetch found the reply to its own code.
    QCOMPARE(m_window->imageTab().oXbpShowTxt->toPlainText(),
             QString(m_server->replyBody).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

void TestPutActions::pictureAppearedSinceTheLookUp()
{
    // The look-up found no picture; another desk puts one before "Put it".
    open(true, kCode, kCode);
    const QString remote = QStringLiteral("/srv/zmr/images/AB/AB12345.jpg");
    const QByteArray theirs = jpeg({100, 100});
    m_server->files.insert(remote, theirs);
    click(m_window->imageTab().oXbpPut);
    settle();
    QCOMPARE(m_server->files.value(remote), theirs);
    QCOMPARE(m_window->imageTab().oXbpShowTxt->toPlainText().section(QLatin1Char('\n'), 0, 1),
             QString::fromLatin1(server::kNotRecordedText) + "\nA picture was put at " + remote +
                 " meanwhile, so it was left as it is.");
}

void TestPutActions::sizeRadios_data()
{
    QTest::addColumn<int>("radio");
    QTest::addColumn<QString>("size");
    QTest::newRow("160") << 0 << "S";
    QTest::newRow("320") << 1 << "M";
    QTest::newRow("640") << 2 << "L";
}

void TestPutActions::sizeRadios()
{
    QFETCH(int, radio);
    QFETCH(QString, size);
    m_world.state.cSize = QStringLiteral("X");
    open(true, kCode, kCode);
    click(m_window->imageTab().sizeRadios.at(std::size_t(radio)));
    QCOMPARE(m_world.state.cSize, size);
    const auto saved = config::decodeLocalCfg(
        runtime::readWholeFile(config::localCfgPath(m_world.state)).value_or(QByteArray()));
    QVERIFY(saved.has_value());
    QCOMPARE(optionValue(*saved, Option::Size, QString()), size);
}

void TestPutActions::deleteSource_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("answer");
    QTest::addColumn<Boxes>("boxes");
    QTest::addColumn<bool>("deleted");
    const QString asked = QStringLiteral("There is no undo option for this one! Are you sure you "
                                         "want to delete the source image:\r\n");
    QTest::newRow("the working copy: no question")
        << "tempcopy.jpg" << int(runtime::kCancel) << Boxes{} << true;
    QTest::newRow("a photo, OK") << "ring.jpg" << int(runtime::kOk) << Boxes{asked + "%1"} << true;
    QTest::newRow("a photo, Cancel")
        << "ring.jpg" << int(runtime::kCancel) << Boxes{asked + "%1"} << false;
}

void TestPutActions::deleteSource()
{
    QFETCH(QString, file);
    QFETCH(int, answer);
    QFETCH(Boxes, boxes);
    QFETCH(bool, deleted);
    open(true, kCode, kCode);
    ProgramState &state = m_world.state;
    const app::ImageTabControls &c = m_window->imageTab();
    state.cFilename = m_world.file(file);
    runtime::writeWholeFile(state.cFilename, jpeg({400, 300}));
    c.oXbpImageFile->setText(state.cFilename);
    state.lOk2DelSrc = true;
    c.oXbpDelSrc->setEnabled(true);
    // Crop marks set on it.
    const CropCoords marks{QPoint(20, 200), QPoint(120, 100)};
    const QString told = QStringLiteral("Left-click refresh display, Right-click undo cropping");
    state.aCropCoords = marks;
    c.oXbpInstruct->setText(told);
    c.oXbpCrop->setEnabled(true);
    m_world.dialogs.answers.enqueue(answer);
    click(c.oXbpDelSrc);

    QStringList shown;
    for (const auto &box : std::as_const(m_world.dialogs.boxes))
        shown << box.title + QLatin1Char(' ') + box.text;
    for (QString &line : boxes)
        line = line.arg(m_world.file(file));
    QCOMPARE(shown, boxes);
    QCOMPARE(QFile::exists(m_world.file(file)), !deleted);
    QCOMPARE(c.oXbpImageFile->text().isEmpty(), deleted);
    QCOMPARE(state.cFilename.isEmpty(), deleted);
    QCOMPARE(state.aCropCoords, deleted ? imaging::noCropMarks() : marks);
    QCOMPARE(c.oXbpInstruct->text(), deleted ? QString() : told);
    QCOMPARE(c.oXbpCrop->isEnabled(), !deleted);
    if (!deleted)
        return;
    // Nor can marks be set on the "no image" picture: the corners pressed
    // mark nothing.
    QObject context;
    QTimer::singleShot(0, &context, [&] {
        for (const QPoint corner : {QPoint(20, 200), QPoint(120, 100)})
            QTest::mouseClick(c.oStat->canvas(), Qt::LeftButton, {},
                              QPoint(corner.x(), c.oStat->canvas()->height() - corner.y()));
    });
    m_tab->source().setCropMarks();
    QCOMPARE(state.aCropCoords, imaging::noCropMarks());
    QCOMPARE(c.oXbpInstruct->text(), QString());
}

void TestPutActions::supplierPictureNote_data()
{
    QTest::addColumn<QString>("notes"); // the reply from its first "<!-- " on
    QTest::addColumn<QString>("shown");
    // clang-format off
    QTest::newRow("the picture's note") << "<!-- images/ssr/1234/RING5.jpg exists on server -->\r\n" << "images/ssr/1234/RING5.jpg";
    QTest::newRow("among the server's notes") << "<!-- request AB12345 -->\r\n<!-- AB/AB12345.jpg: no picture on file yet -->\r\n"
        "<!-- this item shows its supplier's picture: images/ssr/1234/RING5.JPG exists on server -->\r\n" << "images/ssr/1234/RING5.JPG";
    QTest::newRow("no plain path: the note, unmarked") << "<!-- request AB12345 -->\r\n<!-- images/ssr/1234/my ring.jpg exists on server -->\r\n"
        << "images/ssr/1234/my ring.jpg exists on server";
    // clang-format on
}

void TestPutActions::supplierPictureNote()
{
    QFETCH(QString, notes);
    QFETCH(QString, shown);
    QCOMPARE(app::PutActions::supplierPictureNote(notes), shown);
}

void TestPutActions::showExisting_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("opened");
    QTest::newRow("supplier") << "shop.example"
                              << "1234"
                              << "http://shop.example/zmr/images/ssr/1234";
    QTest::newRow("customer") << "10.0.0.7"
                              << "12345"
                              << "http://10.0.0.7/zmr/images/cust/12345";
    QTest::newRow("an address with a path") << "shop/x"
                                            << "1234"
                                            << "";
    QTest::newRow("an item code") << "shop"
                                  << "AB12345"
                                  << "";
}

void TestPutActions::showExisting()
{
    QFETCH(QString, address);
    QFETCH(QString, code);
    QFETCH(QString, opened);
    open(false, QStringLiteral("1234"), QStringLiteral("1234"));
    m_world.state.login.cAddress = address;
    m_world.state.cCode = code;
    Browser browser;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "open");
    QPushButton *button = m_window->imageTab().oXbpShowExisting;
    button->setVisible(true);
    click(button);
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));

    QCOMPARE(browser.opened, opened.isEmpty() ? QStringList{} : QStringList{opened});
    QCOMPARE(m_world.dialogs.boxes.size(), opened.isEmpty() ? 1 : 0);
}

void TestPutActions::dataFileFromTheRunningDatabase()
{
    open(true, kCode, kCode);
    // A database path typed on the settings tab but not tested counts for nothing.
    m_window->settingsTab().oXbpPath->setText(QStringLiteral("/elsewhere"));
    const QString file = m_world.file(QStringLiteral("IX0001.DBF"));
    runtime::writeWholeFile(file, "table");
    m_world.dialogs.files.enqueue(file);
    click(m_window->imageTab().oXbpBrowData);

    QVERIFY(sent(kStaged + QStringLiteral("-ix0001\\.dbf")));
    QCOMPARE(m_server->files.value(QStringLiteral("/srv/zmr/shuttle/ix0001.dbf")),
             QByteArray("table"));
    QCOMPARE(m_server->modes.value(QStringLiteral("/srv/zmr/shuttle/ix0001.dbf")),
             QStringLiteral("666"));
    QCOMPARE(m_window->focusWidget(), m_window->imageTab().oXbpGetCd);
}

// The program's own application object: it runs the window's per-event chain.
int main(int argc, char *argv[])
{
    runtime::FramlaApplication application(argc, argv);
    TestPutActions test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_put_actions.moc"
