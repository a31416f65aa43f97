// The image tab's source handlers on the real window, driven by key and
// mouse events: the name a new source gives, the typed source, the crop
// marks set with "Set crop marks" and the presses on the pictures and the
// labels, "Rotate" with its question, "<>" and "<".
#include "imaging/crop_geometry.h"
#include "imaging/prepare.h"
#include "runtime/application.h"
#include "tst_crop_support.h"
#include "tst_image_tab_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

using namespace framla;
using test::ScriptedDialogs;

namespace {

const CropCoords kMarks{QPoint{100, 80}, QPoint{40, 20}};
const CropCoords kNoMarks = imaging::noCropMarks();

const QString kRotateQuestion = "Note: Rotation may permanently reduce\r\n"
                                "the quality of the image. You can copy\r\n"
                                "the original to 'tempcopy' and rotate\r\n"
                                "that instead.\r\n"
                                "(Click [No] then click [<] to make copy)\r\n"
                                "\r\n"
                                "Rotate this original image?";

} // namespace

class TestSourceActions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { m_rig.close(); }
    void nameFromNewSource_data();
    void nameFromNewSource();
    void findCancelled();
    void typedSource_data();
    void typedSource();
    void setCropMarks();
    void pressesOnPictures_data();
    void pressesOnPictures();
    void rotate_data();
    void rotate();
    void switchView();
    void copyPreview();

private:
    /// Cust/Sup mode, an account looked up that allows a put.
    void openAtAccount();
    test::ImageTabRig m_rig;
};

void TestSourceActions::openAtAccount()
{
    m_rig.open();
    QTest::mouseClick(m_rig.control("modeCustSup"), Qt::LeftButton);
    m_rig.state().cCode = "1234";
    m_rig.state().lOk2Put = true;
}

void TestSourceActions::nameFromNewSource_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("useFilename");
    QTest::addColumn<QString>("how"); // "Find", "Enter on Find", "Capture"
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("put");
    // clang-format off
    QTest::newRow("Find") << "ring 7.jpg" << true << "Find" << "ring7" << true;
    QTest::newRow("no dot: no name") << "ring" << true << "Find" << "" << false;
    QTest::newRow("cut to 16") << "a very long name of a ring.png" << true << "Find" << "averylongnameofa" << true;
    QTest::newRow("name rule off") << "ring.jpg" << false << "Find" << "" << false;
    QTest::newRow("Enter on Find") << "ring 7.jpg" << true << "Enter on Find" << "ring7" << true;
    QTest::newRow("Enter on Find, no dot") << "ring" << true << "Enter on Find" << "" << false;
    QTest::newRow("Capture") << "" << true << "Capture" << "image" << true;
    // clang-format on
}

void TestSourceActions::nameFromNewSource()
{
    QFETCH(QString, file);
    QFETCH(bool, useFilename);
    QFETCH(QString, how);
    QFETCH(QString, name);
    QFETCH(bool, put);
    openAtAccount();
    ProgramState &state = m_rig.state();
    state.lUseFilename = useFilename;
    state.aCropCoords = kMarks;
    const app::ImageTabControls &c = m_rig.controls();
    c.oXbpBright->setValue(7);

    QString path = m_rig.world.file("image.bmp");
    if (!file.isEmpty()) {
        path = m_rig.world.file(file);
        if (file.contains('.'))
            m_rig.picture(file);
        else
            runtime::writeWholeFile(path, "not a picture");
    }
    if (how == "Capture") {
        QTest::mouseClick(c.oXbpGrab, Qt::LeftButton);
    } else if (how == "Find") {
        m_rig.find(path);
    } else {
        m_rig.world.dialogs.files.enqueue(path);
        c.oXbpBrowse->setFocus();
        QTest::keyClick(c.oXbpBrowse, Qt::Key_Return);
    }

    QCOMPARE(state.cFilename, path);
    QCOMPARE(c.oXbpImageFile->text(), path);
    QCOMPARE(state.cName, name);
    QCOMPARE(c.oXbpTargName->text(), name);
    QCOMPARE(c.oXbpPut->isEnabled(), put);
    QCOMPARE(state.aCropCoords, kNoMarks);
    QVERIFY(!c.oStat->cropBox().has_value());
    QCOMPARE(c.oXbpBright->value(), 4);
    QCOMPARE(c.oXbpCrop->isEnabled(), true);
    // The buttons prepare a preview; Enter on "Find" does not.
    const bool preview = how != "Enter on Find";
    QCOMPARE(m_rig.record.captions, preview ? QStringList{" Pending image:"} : QStringList{});
    QCOMPARE(m_rig.programs().contains("convert"), preview);
    QCOMPARE(m_rig.messages(), QStringList{});
}

void TestSourceActions::findCancelled()
{
    openAtAccount();
    const QString ring = m_rig.picture("ring.jpg");
    m_rig.find(ring);
    m_rig.world.dialogs.boxes.clear();
    m_rig.find(QString());
    QCOMPARE(m_rig.messages(), QStringList{"Not valid selection"});
    // The source on show stays the source.
    QCOMPARE(m_rig.state().cFilename, ring);
    QCOMPARE(m_rig.controls().oXbpImageFile->text(), ring);
    QCOMPARE(m_rig.window->focusWidget(), m_rig.controls().oXbpGetCd);
}

void TestSourceActions::typedSource_data()
{
    QTest::addColumn<bool>("enter"); // Enter, or the focus leaving the field
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("nameBefore");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("nameField");
    // clang-format off
    QTest::newRow("Enter, Cust/Sup") << true << 1 << "br 7" << "br7" << "br7";
    QTest::newRow("Enter, Inventory") << true << 0 << "ab---12" << "AB---12" << "ab---12";
    QTest::newRow("focus leaves, Cust/Sup") << false << 1 << "br7" << "br7" << "br7";
    QTest::newRow("focus leaves, Inventory") << false << 0 << "x" << "x" << "AB---12";
    // clang-format on
}

void TestSourceActions::typedSource()
{
    QFETCH(bool, enter);
    QFETCH(int, mode);
    QFETCH(QString, nameBefore);
    QFETCH(QString, name);
    QFETCH(QString, nameField);
    m_rig.open();
    QTest::mouseClick(m_rig.control(mode == 0 ? "modeInventory" : "modeCustSup"), Qt::LeftButton);
    ProgramState &state = m_rig.state();
    const app::ImageTabControls &c = m_rig.controls();
    m_rig.find(m_rig.picture("old.jpg", {300, 200}));
    c.oXbpCrop->setEnabled(false);
    state.aCropCoords = kMarks;
    state.cCode = mode == 0 ? "AB---12" : "1234";
    state.cName = nameBefore;
    state.lOk2Put = true;
    c.oXbpTargName->setText(nameBefore);
    const QString typed = m_rig.picture("new.jpg", {120, 90});
    m_rig.world.shell.commands.clear();

    c.oXbpImageFile->setFocus();
    c.oXbpImageFile->selectAll();
    QTest::keyClicks(c.oXbpImageFile, typed);
    if (enter)
        QTest::keyClick(c.oXbpImageFile, Qt::Key_Return);
    else
        c.oXbpGrab->setFocus(Qt::TabFocusReason);

    QCOMPARE(state.cFilename, typed);
    QCOMPARE(c.oStat->file(), typed);
    QCOMPARE(state.anSize, QSize(120, 90));
    QCOMPARE(state.aCropCoords, kNoMarks);
    QVERIFY(!c.oStat->cropBox().has_value());
    QCOMPARE(state.cName, name);
    QCOMPARE(c.oXbpTargName->text(), nameField);
    QCOMPARE(c.oXbpPut->isEnabled(), true);
    QVERIFY(c.oXbpCrop->isEnabled());
    // After Enter the field is marked from the end of the name back to its
    // start; a field that loses the focus shows no marking.
    if (enter) {
        QCOMPARE(c.oXbpImageFile->selectedText(), typed);
        QCOMPARE(c.oXbpImageFile->cursorPosition(), 0);
    } else {
        QCOMPARE(m_rig.window->focusWidget(), c.oXbpGetCd);
    }
    // No preview is made from a typed name.
    QCOMPARE(m_rig.world.shell.commands.size(), 0);
}

void TestSourceActions::setCropMarks()
{
    openAtAccount();
    const app::ImageTabControls &c = m_rig.controls();
    m_rig.find(m_rig.picture("ring.jpg", {274, 252}));
    m_rig.world.shell.commands.clear();
    m_rig.record = {};

    // Two corners pressed on the source while the marking holds the pointer.
    QObject context;
    QWidget *canvas = c.oStat->canvas();
    QStringList during;
    QTimer::singleShot(0, &context, [&] {
        during << c.oXbpInstruct->text() << QString::number(c.oXbpBrowse->isEnabled())
               << QString::number(c.oXbpBrowData->isEnabled())
               << QString::number(int(canvas->cursor().shape()));
        test::ImageTabRig::press(canvas, Qt::LeftButton, {20, 200});
        test::ImageTabRig::press(canvas, Qt::LeftButton, {120, 100});
    });
    QTest::mouseClick(c.oXbpCrop, Qt::LeftButton);

    QCOMPARE(during, (QStringList{"Left-click refresh display, Right-click undo cropping", "0", "0",
                                  QString::number(int(Qt::WaitCursor))}));
    QCOMPARE(m_rig.state().aCropCoords, (CropCoords{QPoint{20, 200}, QPoint{120, 100}}));
    QCOMPARE(m_rig.record.captions, QStringList{" Pending image:"});
    QCOMPARE(m_rig.world.shell.commands.value(0).args.join(' '),
             imaging::imageToolLimits().join(' ') + ' ' + m_rig.world.file("ring.jpg") +
                 " -auto-orient -colorspace sRGB -background white -alpha remove -alpha off -crop "
                 "100x100+20+52 -strip scratch.jpg");
    QVERIFY(c.oXbpBrowse->isEnabled());
    QVERIFY(c.oXbpBrowData->isEnabled());
    QCOMPARE(canvas->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(c.oXbpPut->isEnabled(), true);
    QCOMPARE(m_rig.window->focusWidget(), c.oXbpGetCd);
}

void TestSourceActions::pressesOnPictures_data()
{
    QTest::addColumn<bool>("source");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("press"); // "left x,y" or "right x,y", y upward
    QTest::addColumn<bool>("marksKept");
    QTest::addColumn<QStringList>("programs");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QString>("instruction");

    const QStringList prepared{"convert", "mogrify"};
    const QStringList preview{" Preview image:"};
    const QString told = "Left-click refresh display, Right-click undo cropping";
    // clang-format off
    QTest::newRow("left on a label refreshes") << true << "oXbpTargGrp" << "left 3,3" << true << prepared << preview << told;
    QTest::newRow("left on the preview refreshes") << true << "oStat2" << "left 200,200" << true << prepared << preview << told;
    QTest::newRow("right on a label undoes") << true << "oXbpInstruct" << "right 3,3" << false << prepared << preview << "";
    QTest::newRow("right on the source undoes") << true << "oStat" << "right 70,50" << false << prepared << preview << "";
    QTest::newRow("no source: left does nothing") << false << "oXbpTargGrp" << "left 3,3" << true << QStringList{} << QStringList{} << told;
    QTest::newRow("no source: right does nothing") << false << "oStat" << "right 70,50" << true << QStringList{} << QStringList{} << told;
    // clang-format on
}

void TestSourceActions::pressesOnPictures()
{
    QFETCH(bool, source);
    QFETCH(QString, control);
    QFETCH(QString, press);
    QFETCH(bool, marksKept);
    QFETCH(QStringList, programs);
    QFETCH(QStringList, captions);
    QFETCH(QString, instruction);
    openAtAccount();
    const app::ImageTabControls &c = m_rig.controls();
    ProgramState &state = m_rig.state();
    if (source)
        m_rig.find(m_rig.picture("ring.jpg"));
    state.aCropCoords = kMarks;
    c.oXbpInstruct->setText("Left-click refresh display, Right-click undo cropping");
    c.oXbpBrowse->setEnabled(false);
    m_rig.world.shell.commands.clear();
    m_rig.record = {};

    QWidget *widget = control == "oStat"    ? c.oStat->canvas()
                      : control == "oStat2" ? c.oStat2->canvas()
                                            : m_rig.window->control(control);
    const QStringList words = press.split(' ');
    const QStringList xy = words[1].split(',');
    test::ImageTabRig::press(widget, words[0] == "left" ? Qt::LeftButton : Qt::RightButton,
                             {xy[0].toInt(), xy[1].toInt()});

    QCOMPARE(state.aCropCoords, marksKept ? kMarks : kNoMarks);
    QCOMPARE(m_rig.programs(), programs);
    QCOMPARE(m_rig.record.captions, captions);
    QCOMPARE(c.oXbpInstruct->text(), instruction);
    QCOMPARE(c.oXbpBrowse->isEnabled(), source);
    if (source) {
        QCOMPARE(c.oStat->cropBox().has_value(), marksKept);
        QCOMPARE(c.oStat2->file(), QStringLiteral("scratch.jpg"));
        QVERIFY(c.oXbpPut->isEnabled());
    }
}

void TestSourceActions::rotate_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("answer"); // 0: no question expected
    QTest::addColumn<bool>("rotated");
    // clang-format off
    QTest::newRow("the copy: no question") << "tempcopy.jpg" << 0 << true;
    QTest::newRow("an original, Yes") << "ring.jpg" << 6 << true;
    QTest::newRow("an original, No") << "ring.jpg" << 7 << false;
    // clang-format on
}

void TestSourceActions::rotate()
{
    QFETCH(QString, file);
    QFETCH(int, answer);
    QFETCH(bool, rotated);
    openAtAccount();
    const app::ImageTabControls &c = m_rig.controls();
    ProgramState &state = m_rig.state();
    const QString path = m_rig.picture(file);
    m_rig.find(path);
    state.aCropCoords = kMarks;
    m_rig.world.shell.commands.clear();
    m_rig.world.dialogs.boxes.clear();
    m_rig.record = {};
    if (answer != 0)
        m_rig.world.dialogs.answers.enqueue(answer);
    QVERIFY(c.oXbpRotate->isEnabled());

    QTest::mouseClick(c.oXbpRotate, Qt::LeftButton);

    QCOMPARE(m_rig.messages(), answer != 0 ? QStringList{kRotateQuestion} : QStringList{});
    if (answer != 0) {
        const ScriptedDialogs::Box &box = m_rig.world.dialogs.boxes.last();
        QCOMPARE(box.title, QString());
        QCOMPARE(box.buttons, runtime::Buttons::YesNo);
        QCOMPARE(box.icon, runtime::Icon::Warning);
        QCOMPARE(box.defaultButton, runtime::DefaultButton::Second);
    }
    const runtime::ToolCommand first = m_rig.world.shell.commands.value(0);
    // Turned into a file beside the source, which replaces it once made.
    const QStringList rotation =
        QStringList{"convert"} + imaging::imageToolLimits() +
        QStringList{path, "-auto-orient", "-rotate", "90",
                    QFileInfo(path).dir().filePath(".framla-turn-" + file)};
    QCOMPARE(QStringList(first.executableName()) + first.args,
             rotated ? rotation : QStringList{""});
    const QStringList programs{"convert", "convert", "mogrify"};
    QCOMPARE(m_rig.programs(), rotated ? programs : QStringList{});
    QCOMPARE(m_rig.record.captions, rotated ? QStringList{" Preview image:"} : QStringList{});
    QCOMPARE(state.aCropCoords, rotated ? kNoMarks : kMarks);
}

void TestSourceActions::switchView()
{
    openAtAccount();
    const app::ImageTabControls &c = m_rig.controls();
    ProgramState &state = m_rig.state();
    const QString ring = m_rig.picture("ring.jpg");
    m_rig.find(ring);
    state.aCropCoords = kMarks;
    state.lOk2DelTarg = false;
    QStringList during;
    m_rig.world.clock.pauses.clear();
    // What the source view shows while the pause runs.
    struct Watch final : runtime::Clock {
        test::TestClock &inner;
        std::function<void()> onPause;
        explicit Watch(test::TestClock &c)
            : inner(c)
        {}
        QTime now() const override { return inner.now(); }
        QDate today() const override { return inner.today(); }
        void sleep(int h) override
        {
            onPause();
            inner.sleep(h);
        }
    } watch(m_rig.world.clock);
    watch.onPause = [&] { during << c.oStat->file(); };
    state.services.clock = &watch;

    QTest::mouseClick(c.switchView, Qt::LeftButton);
    state.services.clock = &m_rig.world.clock;

    QCOMPARE(during, QStringList{"scratch.jpg"});
    QCOMPARE(m_rig.world.clock.pauses, QList<int>{100});
    QCOMPARE(c.oStat->file(), ring);
    QCOMPARE(c.oStat->cropBox(), std::optional<CropCoords>(kMarks));
    QVERIFY(!state.lOk2DelTarg);
    QVERIFY(!c.oXbpDelTarg->isEnabled());
}

void TestSourceActions::copyPreview()
{
    openAtAccount();
    const app::ImageTabControls &c = m_rig.controls();
    ProgramState &state = m_rig.state();
    m_rig.find(m_rig.picture("ring.jpg"));
    state.aCropCoords = kMarks;
    state.lOk2DelTarg = false;
    c.oXbpGamma->setValue(3);
    c.oXbpInstruct->setText("Left-click refresh display, Right-click undo cropping");
    QVERIFY(c.oXbpCpTarg->isEnabled());

    QTest::mouseClick(c.oXbpCpTarg, Qt::LeftButton);

    const QString copy = m_rig.world.file("tempcopy.jpg");
    QCOMPARE(runtime::readWholeFile(copy), runtime::readWholeFile(m_rig.world.file("scratch.jpg")));
    QCOMPARE(state.cFilename, copy);
    QCOMPARE(c.oXbpImageFile->text(), copy);
    QCOMPARE(c.oStat->file(), QStringLiteral("tempcopy.jpg"));
    QCOMPARE(state.anSize, QSize(40, 30));
    QCOMPARE(state.aCropCoords, kNoMarks);
    QCOMPARE(c.oXbpInstruct->text(), QString());
    QCOMPARE(c.oXbpGamma->value(), 0);
    QVERIFY(c.oXbpCrop->isEnabled());
    QVERIFY(!state.lOk2DelTarg);
    QVERIFY(state.previewExists);
}

int main(int argc, char *argv[])
{
    runtime::FramlaApplication application(argc, argv);
    TestSourceActions test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_source_actions.moc"
