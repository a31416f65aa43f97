// The image tab's code entry on the real window, driven by key and mouse
// events: the three modes with their saved options, the blank rules of the
// code and name fields, the look-up by Enter (the order of the remote calls,
// the captions, the fields afterwards), the look-up of a named image, and the
// image tab's header through the image-tool check.
#include "config/local_options.h"
#include "runtime/application.h"
#include "tst_image_tab_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>

using namespace framla;

namespace {

const QStringList kModes{"modeInventory", "modeCustSup", "modeRepairs"};

const QStringList kLookUpCaptions{" Waiting for image...", " Image as recorded:"};

/// The three remote runs of a look-up of one code: the request, the reply,
/// the recorded picture.
QStringList lookUpLines(const QString &code, const QString &picture)
{
    return {
        "/C start /min /wait .\\plink.exe -ssh -P 22 -pw ******** clerk@shop framaid "
        "/srv/zmr/jtemp/clerk " +
            code + " 10:30:00",
        "/C start /min /wait .\\pscp.exe -scp -P 22 -pw ******** "
        "clerk@shop:/srv/zmr/jtemp/clerk/framla.tmp .",
        "/C start /min /wait .\\pscp.exe -scp -P 22 -pw ******** clerk@shop:" + picture +
            " scratch.jpg",
    };
}

/// Text and enabled state of a field: "text" or "text+".
QString shown(const QLineEdit *field)
{
    return field->text() + (field->isEnabled() ? "+" : "");
}

} // namespace

class TestCodeEntry : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { m_rig.close(); }
    void modes_data();
    void modes();
    void typedText_data();
    void typedText();
    void lookUpByEnter_data();
    void lookUpByEnter();
    void refusedCode_data();
    void refusedCode();
    void lookUpName_data();
    void lookUpName();
    void imageTabHeader_data();
    void imageTabHeader();

private:
    void chooseMode(int mode);
    test::ImageTabRig m_rig;
};

void TestCodeEntry::chooseMode(int mode)
{
    QTest::mouseClick(m_rig.control(kModes.at(mode)), Qt::LeftButton);
}

void TestCodeEntry::modes_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("nameField"); // its text, "+" when enabled
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("inventoryOption");
    QTest::addColumn<bool>("ordersOption");

    // clang-format off
    QTest::newRow("Inventory to Cust/Sup") << 0 << 1 << "+" << "" << false << false;
    QTest::newRow("Repairs to Cust/Sup") << 2 << 1 << "+" << "" << false << false;
    QTest::newRow("Cust/Sup to Inventory") << 1 << 0 << "" << "ring" << true << false;
    QTest::newRow("Cust/Sup to Repairs") << 1 << 2 << "" << "ring" << false << true;
    QTest::newRow("Inventory again") << 0 << 0 << "" << "ring" << true << false;
    QTest::newRow("Cust/Sup again") << 1 << 1 << "+" << "" << false << false;
    // clang-format on
}

void TestCodeEntry::modes()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, nameField);
    QFETCH(QString, name);
    QFETCH(bool, inventoryOption);
    QFETCH(bool, ordersOption);
    m_rig.open();
    ProgramState &state = m_rig.state();
    const app::ImageTabControls &c = m_rig.controls();
    chooseMode(from);
    m_rig.find(m_rig.picture("ring.jpg"));
    // As after a look-up that allowed a put.
    state.cCode = "AB---12";
    state.cName = "ring";
    state.lOk2Put = true;
    c.oXbpTargName->setText("ring");
    c.oXbpGetCd->setText("AB12");
    c.oXbpPut->setEnabled(true);

    chooseMode(to);
    QStringList checked;
    for (const auto &radios : {c.modeRadios, c.sizeRadios}) {
        for (QRadioButton *radio : radios) {
            if (radio->isChecked())
                checked << radio->objectName();
        }
    }
    QCOMPARE(checked, (QStringList{kModes.at(to), "sizeM"}));
    QCOMPARE(state.lInventory, to == 0);
    QCOMPARE(state.lOrders, to == 2);
    QCOMPARE(state.cCode, QString());
    QCOMPARE(state.cName, name);
    QVERIFY(!state.lOk2Put);
    QCOMPARE(shown(c.oXbpTargName), nameField);
    QCOMPARE(shown(c.oXbpGetCd), QStringLiteral("+"));
    QCOMPARE(m_rig.window->focusWidget(), c.oXbpGetCd);
    QVERIFY(!c.oXbpPut->isEnabled());
    const auto saved = config::decodeLocalCfg(
        runtime::readWholeFile(m_rig.world.file("scratch.xpf")).value_or(QByteArray()));
    QVERIFY(saved.has_value());
    QCOMPARE(optionValue(*saved, Option::Inventory, !inventoryOption), inventoryOption);
    QCOMPARE(optionValue(*saved, Option::Orders, !ordersOption), ordersOption);
}

void TestCodeEntry::typedText_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("kept"); // the code or name the state takes on leaving
    // clang-format off
    QTest::newRow("code: upper case, no blanks") << "oXbpGetCd" << 1 << "12 34" << "1234" << "1234";
    // A code enters in the canonical form of its mode, as Enter takes it.
    QTest::newRow("inventory code widened") << "oXbpGetCd" << 0 << "ab 12" << "AB12" << "AB---12";
    QTest::newRow("no account: no code") << "oXbpGetCd" << 1 << "ab 12 x" << "AB12X" << "";
    QTest::newRow("name: no blanks, case kept") << "oXbpTargName" << 1 << "Ring 7 b" << "Ring7b" << "Ring7b";
    // clang-format on
}

void TestCodeEntry::typedText()
{
    QFETCH(QString, field);
    QFETCH(int, mode);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, kept);
    m_rig.open();
    chooseMode(mode);
    auto *edit = m_rig.control<QLineEdit>(field);
    edit->setFocus();
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), shown);
    // Leaving the field takes what it shows.
    m_rig.controls().oXbpImageFile->setFocus(Qt::TabFocusReason);
    QCOMPARE(field == "oXbpGetCd" ? m_rig.state().cCode : m_rig.state().cName, kept);
}

void TestCodeEntry::lookUpByEnter_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("nameBefore");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("codeField");
    QTest::addColumn<QString>("nameField"); // its text, "+" when enabled
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("put");
    QTest::addColumn<QStringList>("lines"); // none: no look-up

    // clang-format off
    QTest::newRow("inventory code") << 0 << "ab12" << "" << "Gold ring\r\n" << "" << "AB---12" << "AB---12" << "AB---12" << true
        << lookUpLines("AB---12", "/srv/zmr/images/AB/AB---12.jpg");
    QTest::newRow("account, empty name") << 1 << "1234" << "" << "Supplier Ltd\r\n" << "1234" << "1234+" << "1234" << "1234" << true
        << lookUpLines("1234", "/srv/zmr/images/ssr/1234/1234.jpg");
    QTest::newRow("account with a name") << 1 << "1234" << "BR7" << "Supplier Ltd\r\n" << "1234" << "BR7+" << "BR7" << "1234" << true
        << lookUpLines("1234", "/srv/zmr/images/ssr/1234/BR7.jpg");
    QTest::newRow("account, put refused") << 1 << "12345" << "" << "12345 has no pre-existing group\r\n" << "12345" << "12345+" << "12345" << "12345" << false
        << lookUpLines("12345", "/srv/zmr/images/cust/12345/12345.jpg");
    QTest::newRow("service order") << 2 << "12" << "" << "Repair\r\n" << "" << "or000012" << "or000012" << "or000012" << true
        << lookUpLines("or000012", "/srv/zmr/images/ord/or000012.jpg");
    QTest::newRow("rejected account") << 1 << "999" << "" << "" << "" << "+" << "noname" << "" << false << QStringList{};
    QTest::newRow("rejected order") << 2 << "x" << "" << "" << "" << "" << "" << "" << false << QStringList{};
    // clang-format on
}

void TestCodeEntry::lookUpByEnter()
{
    QFETCH(int, mode);
    QFETCH(QString, typed);
    QFETCH(QString, nameBefore);
    QFETCH(QString, reply);
    QFETCH(QString, codeField);
    QFETCH(QString, nameField);
    QFETCH(QString, name);
    QFETCH(QString, code);
    QFETCH(bool, put);
    QFETCH(QStringList, lines);
    m_rig.open([&](ProgramState &state) {
        state.lInventory = mode == 0;
        state.lOrders = mode == 2;
        state.aLocalCfg[slot(Option::Inventory)] = mode == 0;
        state.aLocalCfg[slot(Option::Orders)] = mode == 2;
        state.cFilename = "/p/ring.jpg";
    });
    m_rig.server->replyBody = reply;
    const app::ImageTabControls &c = m_rig.controls();
    c.oXbpTargName->setText(nameBefore);
    m_rig.state().cName = nameBefore.isEmpty() ? "noname" : nameBefore;
    // A preview left from before: a look-up starts without it.
    runtime::writeWholeFile(m_rig.world.file("scratch.jpg"), "old");
    m_rig.state().previewExists = true;

    c.oXbpGetCd->setFocus();
    QTest::keyClicks(c.oXbpGetCd, typed);
    QTest::keyClick(c.oXbpGetCd, Qt::Key_Return);

    QCOMPARE(m_rig.lines(), lines);
    QCOMPARE(m_rig.record.captions, lines.isEmpty() ? QStringList{} : kLookUpCaptions);
    if (!lines.isEmpty()) {
        QCOMPARE(m_rig.record.replies.value(0), QStringLiteral("Sending request for data..."));
        QCOMPARE(c.oXbpTargGrp->text(), QStringLiteral(" Image as recorded:"));
        QCOMPARE(c.oXbpShowTxt->toPlainText(), QString(reply).replace("\r\n", "\n"));
    }
    QCOMPARE(c.oXbpGetCd->text(), codeField);
    QCOMPARE(shown(c.oXbpTargName), nameField);
    QCOMPARE(m_rig.state().cName, name);
    QCOMPARE(c.oXbpPut->isEnabled(), put);
    // Leaving the code field, emptied or not, keeps the code looked up.
    c.oXbpImageFile->setFocus(Qt::TabFocusReason);
    QCOMPARE(m_rig.state().cCode, code);
}

void TestCodeEntry::refusedCode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("shown"); // the code looked up before, its picture on the server
    QTest::addColumn<QString>("typed"); // into the name field before the look-up; kept
    QTest::addColumn<QString>("refused");
    QTest::addColumn<QStringList>("after"); // the description, then the boxes
    const QString unsafe = "The code \"AB--/12\" cannot be used.\r\nLeave out blanks, slashes, "
                           "quotes, \"..\" and accented or control characters, and do not start "
                           "with \".\" or \"-\".";
    const QString account = "\"%1\" is not an account number: a supplier's has 4 digits (1001 to "
                            "9999), a customer's 5 digits (10001 to 99999).";
    // clang-format off
    QTest::newRow("service order 0") << 2 << "12 ord/or000012" << "" << "0" << QStringList{"\"0\" is not a service order number: type the order's number, 1 to 999999, with or without \"or\" in front."};
    QTest::newRow("account too short") << 1 << "1234 ssr/1234/1234" << "" << "999" << QStringList{account.arg("999")};
    QTest::newRow("account too long, name typed") << 1 << "1234 ssr/1234/BR7" << "BR7" << "100000" << QStringList{account.arg("100000")};
    QTest::newRow("inventory code with a slash") << 0 << "AB12 AB/AB---12" << "" << "AB/12" << QStringList{unsafe, unsafe};
    // clang-format on
}

void TestCodeEntry::refusedCode()
{
    QFETCH(int, mode);
    QFETCH(QString, shown);
    QFETCH(QString, typed);
    QFETCH(QString, refused);
    QFETCH(QStringList, after);
    m_rig.open();
    chooseMode(mode);
    const app::ImageTabControls &c = m_rig.controls();
    m_rig.state().lUseFilename = false;
    const QString source = m_rig.picture("ring.jpg");
    m_rig.find(source);
    m_rig.server->files.insert("/srv/zmr/images/" + shown.section(' ', 1) + ".jpg",
                               runtime::readWholeFile(source).value_or(QByteArray()));
    c.oXbpTargName->setText(typed);
    m_rig.state().cName = typed;
    // Every control and setting a refusal touches, whole, then the boxes and commands.
    const auto enter = [&](const QString &code) {
        c.oXbpGetCd->setFocus();
        c.oXbpGetCd->clear();
        QTest::keyClicks(c.oXbpGetCd, code);
        QTest::keyClick(c.oXbpGetCd, Qt::Key_Return);
        const ProgramState &s = m_rig.state();
        // clang-format off
        return QStringList{c.oXbpShowTxt->toPlainText(), c.oStat2->file(), c.oXbpGetCd->text(), c.oXbpTargName->text(), s.cName, s.cFilename, c.oStat->file(),
            QString("put %1 %2, delete %3 %4").arg(s.lOk2Put).arg(c.oXbpPut->isEnabled()).arg(s.lOk2DelTarg).arg(c.oXbpDelTarg->isEnabled())} + m_rig.messages() + m_rig.lines();
        // clang-format on
    };
    // A record on show: its description, its picture, a put allowed.
    QCOMPARE(enter(shown.section(' ', 0, 0)).mid(1, 1), QStringList{"scratch.jpg"});
    QVERIFY(c.oXbpPut->isEnabled() && c.oXbpDelTarg->isEnabled());
    m_rig.world.shell.commands.clear();
    m_rig.world.dialogs.boxes.clear();
    // Refused: said why, the record cleared, the name typed and the source kept.
    QCOMPARE(enter(refused), QStringList({after.value(0).replace("\r\n", "\n"), "noimage.gif", "",
                                          typed, typed, source, source, "put 0 0, delete 0 0"}) +
                                 after.mid(1));
}

void TestCodeEntry::lookUpName_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<bool>("put");
    // clang-format off
    QTest::newRow("a name under an account") << "1234" << "br 7" << lookUpLines("1234", "/srv/zmr/images/ssr/1234/br7.jpg") << kLookUpCaptions << true;
    QTest::newRow("no account yet") << "" << "br7" << QStringList{} << QStringList{} << false;
    // clang-format on
}

void TestCodeEntry::lookUpName()
{
    QFETCH(QString, code);
    QFETCH(QString, typed);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, captions);
    QFETCH(bool, put);
    m_rig.open();
    chooseMode(1);
    ProgramState &state = m_rig.state();
    // The account as the code field leaves it.
    m_rig.controls().oXbpGetCd->setText(code);
    state.cFilename = m_rig.picture("ring.jpg");
    QLineEdit *name = m_rig.controls().oXbpTargName;
    name->setFocus();
    QTest::keyClicks(name, typed);
    QTest::keyClick(name, Qt::Key_Return);

    QCOMPARE(state.cName, QStringLiteral("br7"));
    QCOMPARE(m_rig.lines(), lines);
    QCOMPARE(m_rig.record.captions, captions);
    QCOMPARE(m_rig.controls().oXbpPut->isEnabled(), put);
}

void TestCodeEntry::imageTabHeader_data()
{
    QTest::addColumn<bool>("toolsFound");
    QTest::addColumn<int>("answer"); // to "Proceed regardless"; 0 when not asked
    QTest::addColumn<bool>("imageTab");
    // clang-format off
    QTest::newRow("tools found") << true << 0 << true;
    QTest::newRow("tools missing, go on") << false << 6 << true;
    QTest::newRow("tools missing, stay") << false << 7 << false;
    // clang-format on
}

void TestCodeEntry::imageTabHeader()
{
    QFETCH(bool, toolsFound);
    QFETCH(int, answer);
    QFETCH(bool, imageTab);
    m_rig.open({}, toolsFound);
    m_rig.world.dialogs.boxes.clear();
    QTest::mouseClick(m_rig.controls().toSettings, Qt::LeftButton);
    QCOMPARE(m_rig.window->currentPage(), app::MainWindow::Page::Settings);
    if (answer != 0)
        m_rig.world.dialogs.answers.enqueue(answer);

    QTabBar *bar = m_rig.window->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    QCOMPARE(m_rig.world.dialogs.boxes.size(), answer != 0 ? 1 : 0);
    const auto page = imageTab ? app::MainWindow::Page::Image : app::MainWindow::Page::Settings;
    QCOMPARE(m_rig.window->currentPage(), page);
    QCOMPARE(m_rig.window->imagePage()->isVisible(), imageTab);
    QCOMPARE(bar->currentIndex(), imageTab ? 0 : 1);
    if (imageTab)
        QCOMPARE(m_rig.window->focusWidget(), m_rig.controls().oXbpGetCd);

    // The settings header is never held back.
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    QCOMPARE(m_rig.window->currentPage(), app::MainWindow::Page::Settings);
}

int main(int argc, char *argv[])
{
    runtime::FramlaApplication application(argc, argv);
    TestCodeEntry test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_code_entry.moc"
