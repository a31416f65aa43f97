#include "code_entry.h"

#include "app/event_rules.h"
#include "app/main_window.h"
#include "app/window_start.h"
#include "config/local_options.h"
#include "config/settings_check.h"
#include "core/app_files.h"
#include "core/codes.h"
#include "core/program_state.h"
#include "core/target.h"
#include "core/value.h"
#include "runtime/clock.h"
#include "runtime/dialogs.h"
#include "server/command_lines.h"
#include "server/lookup.h"
#include "server/target_display.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QValidator>

namespace framla::app {

namespace {

/// Keeps a field's text without blanks, and in upper case when asked, as it
/// is typed or pasted; the cursor stays after the same character.
class BlanklessValidator final : public QValidator {
public:
    BlanklessValidator(bool upper, QObject *parent)
        : QValidator(parent)
        , m_upper(upper)
    {}

    State validate(QString &input, int &pos) const override
    {
        const qsizetype before = input.left(pos).count(QLatin1Char(' '));
        input.remove(QLatin1Char(' '));
        pos -= int(before);
        if (m_upper)
            input = input.toUpper();
        return Acceptable;
    }

private:
    bool m_upper;
};

QString withoutBlanks(QString text)
{
    return text.remove(QLatin1Char(' '));
}

/// Why a code the code rules refuse is not looked up, in the mode's terms.
QString refusalText(const QString &code, bool orders)
{
    if (orders)
        return QStringLiteral("\"%1\" is not a service order number: type the order's number, "
                              "1 to 999999, with or without \"or\" in front.")
            .arg(code);
    return QStringLiteral("\"%1\" is not an account number: a supplier's has 4 digits (1001 to "
                          "9999), a customer's 5 digits (10001 to 99999).")
        .arg(code);
}

} // namespace

CodeEntry::CodeEntry(ImageSteps &steps)
    : m_steps(steps)
{
    setObjectName(QStringLiteral("codeEntryHandlers"));
    const ImageTabControls &c = steps.controls();
    Q_ASSERT(c.oXbpGetCd != nullptr);

    // The mode radios lie on the page itself, the size radios in a frame on
    // it; Qt's automatic exclusiveness counts a page's radios with those of
    // its frames, so that a click on the mode shown would clear it and a new
    // mode could clear the size. A group of their own keeps the modes apart.
    auto *modeGroup = new QButtonGroup(this);
    for (QRadioButton *radio : c.modeRadios)
        modeGroup->addButton(radio);
    const core::Mode modes[] = {core::Mode::Inventory, core::Mode::CustSup, core::Mode::Repairs};
    for (std::size_t i = 0; i < c.modeRadios.size(); ++i) {
        connect(c.modeRadios.at(i), &QRadioButton::clicked, this,
                [this, mode = modes[i]] { chooseMode(mode); });
    }
    c.oXbpGetCd->setValidator(new BlanklessValidator(true, c.oXbpGetCd));
    c.oXbpTargName->setValidator(new BlanklessValidator(false, c.oXbpTargName));
    c.oXbpGetCd->installEventFilter(this);
    c.oXbpTargName->installEventFilter(this);
    connect(c.toSettings, &QPushButton::clicked, this, &CodeEntry::toSettings);

    // The headers switch the pages through here, so that the image tab comes
    // up only past the image-tool check; the window's own switching goes.
    MainWindow &window = steps.window();
    if (QTabBar *bar = window.tabBar()) {
        disconnect(bar, &QTabBar::currentChanged, &window, nullptr);
        connect(bar, &QTabBar::currentChanged, this, [this](int index) {
            if (index == 0)
                activateImageTab();
            else
                toSettings();
        });
    }
}

bool CodeEntry::custSup() const
{
    const ProgramState &s = m_steps.state();
    return !s.lInventory && !s.lOrders;
}

bool CodeEntry::eventFilter(QObject *watched, QEvent *event)
{
    if (operatorLeftField(watched, event)) {
        if (watched == m_steps.controls().oXbpGetCd)
            takeCode();
        else if (watched == m_steps.controls().oXbpTargName)
            takeName();
    }
    return QObject::eventFilter(watched, event);
}

void CodeEntry::chooseMode(core::Mode mode)
{
    ProgramState &s = m_steps.state();
    const ImageTabControls &c = m_steps.controls();
    s.lInventory = mode == core::Mode::Inventory;
    s.lOrders = mode == core::Mode::Repairs;
    s.cCode.clear();
    if (mode == core::Mode::CustSup) {
        // The name is the operator's to type, or the account's after the
        // look-up. It is cleared together with its field: a name the field
        // does not show must not be the one the picture is put under.
        s.cName.clear();
        c.oXbpTargName->clear();
        c.oXbpTargName->setEnabled(true);
    } else {
        c.oXbpTargName->clear();
        c.oXbpTargName->setEnabled(false);
    }
    s.lOk2Put = false;
    c.oXbpGetCd->clear();
    c.oXbpGetCd->setFocus(Qt::OtherFocusReason);
    setOption(s.aLocalCfg, Option::Inventory, s.lInventory);
    setOption(s.aLocalCfg, Option::Orders, s.lOrders);
    config::SaveConfig(s);
    m_steps.enablePut(false);
}

void CodeEntry::takeCode()
{
    // The field is emptied after a look-up in Inventory and Repairs mode,
    // while the code looked up stays the target: leaving the empty field
    // does not forget it. A code typed here enters as the Enter key takes
    // it, in the canonical form of the mode; one the mode refuses is no code.
    ProgramState &s = m_steps.state();
    const QString typed = m_steps.controls().oXbpGetCd->text();
    if (!core::codeOf(typed).isEmpty())
        s.cCode = core::enteredCode(typed, core::modeOf(s.lInventory, s.lOrders));
}

void CodeEntry::takeName()
{
    ProgramState &s = m_steps.state();
    s.cName = withoutBlanks(m_steps.controls().oXbpTargName->text());
    if (custSup() && !s.cName.isEmpty() && !s.cFilename.isEmpty() && s.lOk2Put)
        m_steps.enablePut(true);
}

void CodeEntry::lookUpCode()
{
    ProgramState &s = m_steps.state();
    const ImageTabControls &c = m_steps.controls();
    server::TargetDisplay &display = m_steps.display();

    // The code of the record on show, for the name it may have given.
    const QString shownCode = s.cCode;
    // The one place a code typed here is normalised: what follows, the
    // server's routines included, takes it as it is.
    const QString typed = core::codeOf(c.oXbpGetCd->text());
    s.cCode = core::enteredCode(typed, core::modeOf(s.lInventory, s.lOrders));
    c.oXbpGetCd->setText(s.cCode);
    // Enter on the empty field keeps the record on show (in Inventory and
    // Repairs mode every look-up empties it); a code the rules refuse leaves
    // none.
    if (s.cCode.isEmpty()) {
        if (!typed.isEmpty())
            forgetRecord(refusalText(typed, s.lOrders), shownCode);
        return;
    }
    // Nothing typed reaches the server unless it is a plain name.
    const bool lIsDOS = s.login.lIsDOS;
    if (!server::isSafeName(s.cCode, lIsDOS)) {
        const QString why = server::unsafeNameMessage(QStringLiteral("code"), s.cCode, lIsDOS);
        forgetRecord(why, shownCode);
        s.services.dialogs->msgBox(why);
        return;
    }

    if (custSup()) {
        // An account without a name: the picture is named after the account.
        if (c.oXbpTargName->text().isEmpty() && core::isAccount(core::VAL(s.cCode))) {
            c.oXbpTargName->setText(s.cCode);
            s.cName = s.cCode;
        }
    } else {
        c.oXbpTargName->clear();
    }

    erasePreview(s);
    display.showReply(QStringLiteral("Sending request for data..."));
    s.cTime = s.services.clock->timeOfDay();
    display.showCaption(QStringLiteral(" Waiting for image..."));
    const server::LookupResult found = server::PrepText(s, display, s.login, core::targetOf(s));
    display.showCaption(QStringLiteral(" Image as recorded:"));
    s.lOk2Put = found.ok2Put.value_or(s.lOk2Put);

    if (!custSup()) {
        c.oXbpGetCd->clear();
        // A long inventory code is the server's to resolve: the picture is
        // named by the code it found, which the look-up showed in the name
        // field ("" when it found none).
        if (s.lInventory && s.cCode.size() > 7) {
            s.cName = found.resolvedCode;
        } else {
            s.cName = s.cCode;
            c.oXbpTargName->setText(s.cName.trimmed());
        }
    }
    m_steps.enablePut(!s.cFilename.isEmpty() && s.lOk2Put);
}

void CodeEntry::forgetRecord(const QString &why, const QString &shownCode)
{
    ProgramState &s = m_steps.state();
    const ImageTabControls &c = m_steps.controls();
    server::TargetDisplay &display = m_steps.display();
    s.cCode.clear();
    c.oXbpGetCd->clear();
    display.showReply(why);
    display.setShowExistingVisible(false);
    // The recorded picture goes with its record: the view shows "no image"
    // and nothing recorded may be deleted or replaced.
    erasePreview(s);
    display.hangTarget(QLatin1String(kPreviewFile), QStringLiteral("TW"));
    s.lOk2Put = false;
    s.lOk2DelTarg = false;
    // The name was the record's code, or the account's own name; a name the
    // operator typed or the source gave waits for the next account.
    if (!custSup() || (!shownCode.isEmpty() && c.oXbpTargName->text() == shownCode)) {
        s.cName.clear();
        c.oXbpTargName->clear();
    }
    m_steps.enablePut(false);
}

void CodeEntry::lookUpName()
{
    ProgramState &s = m_steps.state();
    const ImageTabControls &c = m_steps.controls();
    server::TargetDisplay &display = m_steps.display();

    s.cName = withoutBlanks(c.oXbpTargName->text());
    c.oXbpTargName->setText(s.cName);
    // A name is looked up under its account: without one there is nothing to ask.
    if (s.cCode.isEmpty())
        return;
    s.cTime = s.services.clock->timeOfDay();
    display.showCaption(QStringLiteral(" Waiting for image..."));
    const server::LookupResult found = server::PrepText(s, display, s.login, core::targetOf(s));
    display.showCaption(QStringLiteral(" Image as recorded:"));
    s.lOk2Put = found.ok2Put.value_or(s.lOk2Put);
    m_steps.enablePut(s.lOk2Put);
}

void CodeEntry::normaliseTargetName()
{
    ProgramState &s = m_steps.state();
    s.cName = core::imageName(m_steps.controls().oXbpTargName->text(), s.lInventory);
}

void CodeEntry::targetNameTyped()
{
    const ProgramState &s = m_steps.state();
    const QString name = withoutBlanks(m_steps.controls().oXbpTargName->text());
    if (!name.isEmpty() && !s.cFilename.isEmpty() && s.lOk2Put)
        m_steps.enablePut(true);
}

void CodeEntry::toSettings()
{
    m_steps.window().showPage(MainWindow::Page::Settings);
}

bool CodeEntry::activateImageTab()
{
    MainWindow &window = m_steps.window();
    if (!config::CheckImageTools(m_steps.state())) {
        // The header went over to the image tab with the click: it goes back.
        window.showPage(MainWindow::Page::Settings);
        return false;
    }
    window.showPage(MainWindow::Page::Image);
    window.activateWindow();
    m_steps.controls().oXbpGetCd->setFocus(Qt::OtherFocusReason);
    return true;
}

} // namespace framla::app
