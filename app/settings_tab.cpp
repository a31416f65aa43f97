#include "settings_tab.h"

#include "app/event_rules.h"
#include "app/main_window.h"
#include "config/local_options.h"
#include "config/settings_check.h"
#include "config/settings_file.h"
#include "core/app_files.h"
#include "core/codes.h"
#include "core/program_state.h"
#include "core/server_login.h"
#include "core/value.h"
#include "imaging/acquisition.h"
#include "runtime/clock.h"
#include "runtime/dialogs.h"
#include "runtime/logging.h"
#include "server/remote_run.h"
#include "server/settings_probe.h"
#include "ui/busy.h"

#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <array>

namespace framla::app {

namespace {

/// The instruction page behind each help button, in their order.
constexpr std::array<layout::HelpTopic, 5> kHelpTopics{
    layout::HelpTopic::Transfer, layout::HelpTopic::Inventory, layout::HelpTopic::Suppliers,
    layout::HelpTopic::Customers, layout::HelpTopic::Repairs};

/// A pause after a pointer change, so that it shows before the work starts.
constexpr int kPointerPause = 1;
/// The pause after an option change, in hundredths.
constexpr int kOptionPause = 50;

/// The password being tested is masked in every log and error text while the
/// test runs, and forgotten afterwards.
class TrialPassword {
public:
    TrialPassword(ProgramState &state, const QString &password)
        : m_state(state)
    {
        m_state.cPassx = password;
    }
    ~TrialPassword() { m_state.cPassx.clear(); }
    TrialPassword(const TrialPassword &) = delete;
    TrialPassword &operator=(const TrialPassword &) = delete;

private:
    ProgramState &m_state;
};

/// A one-digit field's number: 0 for anything that does not start with a digit.
int digitValue(const QLineEdit *field)
{
    return static_cast<int>(core::VAL(field->text()));
}

} // namespace

void QUIT(ProgramState &state)
{
    qCInfo(runtime::lcFramla) << "quit button";
    if (state.services.exitProgram)
        state.services.exitProgram(0);
}

int listLineCount(const QString &text)
{
    const int ends = static_cast<int>(text.count(QLatin1Char('\n')));
    return text.isEmpty() || text.endsWith(QLatin1Char('\n')) ? ends : ends + 1;
}

SettingsTab::SettingsTab(ProgramState &state, MainWindow &window)
    : QObject(&window)
    , m_state(state)
    , m_window(window)
{
    setObjectName(QStringLiteral("settingsTabHandlers"));
    const SettingsTabControls &c = window.settingsTab();
    Q_ASSERT(c.oXbpSave != nullptr);

    connect(c.oXbpSave, &QPushButton::clicked, this, &SettingsTab::testAndSave);
    connect(c.cameraRefresh, &QPushButton::clicked, this, &SettingsTab::refreshCameras);
    connect(c.backToImage, &QPushButton::clicked, this, [this] { returnToImageTab(); });
    for (std::size_t i = 0; i < kHelpTopics.size(); ++i) {
        connect(c.helpButtons.at(i), &QPushButton::clicked, this,
                [this, topic = kHelpTopics.at(i)] { showHelp(topic); });
    }
    connect(c.aboutFramla, &QPushButton::clicked, this,
            [this] { showHelp(layout::HelpTopic::About); });
    for (int i = 0; i < int(c.cropRadios.size()); ++i) {
        connect(c.cropRadios.at(i), &QRadioButton::clicked, this,
                [this, i] { chooseCropRatio(i); });
    }
    // The one-digit fields act when the operator leaves them, not on each key.
    c.deviceField->installEventFilter(this);
    c.delayField->installEventFilter(this);
    connect(c.previewBox, &QCheckBox::clicked, this, &SettingsTab::takePreview);
    connect(c.oXbpName, &QCheckBox::clicked, this, &SettingsTab::takeUseFilename);

    if (QPushButton *quit = window.imageTab().quit)
        connect(quit, &QPushButton::clicked, this, [this] { QUIT(m_state); });
}

bool SettingsTab::eventFilter(QObject *watched, QEvent *event)
{
    if (operatorLeftField(watched, event)) {
        if (watched == m_window.settingsTab().deviceField)
            takeDeviceNumber();
        else if (watched == m_window.settingsTab().delayField)
            takeDelay();
    }
    return QObject::eventFilter(watched, event);
}

bool SettingsTab::testFields()
{
    const SettingsTabControls &c = m_window.settingsTab();
    // The trial carries its own server flavour; the running login changes
    // only when the trial passes, so a failed test leaves it alone.
    const ServerLogin trial =
        core::loginOf(c.oXbpAddress->text(), c.oXbpPort->text(), c.oXbpPath->text(),
                      c.oXbpUser->text(), c.oXbpPass->text());

    const TrialPassword masked(m_state, trial.cPass);
    if (!server::TestConfig(m_state, trial))
        return false;

    m_state.login = trial;
    server::followRunningSettings(m_state);
    m_window.showDatabasePath();
    qCInfo(runtime::lcFramla) << "settings passed the test; saving" << m_state.cCfgFileNm;
    // SaveParam tells the operator itself when the file could not be written;
    // the settings are not reported as saved then.
    const bool saved = config::SaveParam(m_state, trial, appFile(m_state, m_state.cCfgFileNm));
    if (saved && config::CheckImageTools(m_state))
        m_state.services.dialogs->msgBox(
            QStringLiteral("P A S S E D   T E S T\r\nConfiguration saved"));
    return true;
}

bool SettingsTab::databaseChanged() const
{
    return !m_state.cAddressy.isEmpty() &&
           (m_state.login.cAddress != m_state.cAddressy || m_state.login.cPath != m_state.cPathy);
}

void SettingsTab::testAndSave()
{
    const SettingsTabControls &c = m_window.settingsTab();
    QWidget *const pointers[] = {m_window.imagePage(), c.oXbpSave, m_window.settingsPage()};
    for (QWidget *widget : pointers) {
        ui::ShowElem(widget, ui::kPointerWait);
        m_state.services.clock->sleep(kPointerPause);
    }

    if (!testFields())
        m_state.services.dialogs->msgBox(QStringLiteral("Settings test failed"));
    returnToImageTab();
    if (databaseChanged())
        m_state.services.dialogs->msgBox(
            QStringLiteral("Database change. Please re-launch Framla."));

    for (QWidget *widget : pointers)
        ui::ShowElem(widget, ui::kPointerNormal);
}

void SettingsTab::testAndSaveFromEnter()
{
    QWidget *page = m_window.settingsPage();
    ui::ShowElem(page, ui::kPointerWait);
    if (!testFields())
        m_state.services.dialogs->msgBox(QStringLiteral("Settings failed test"));
    ui::ShowElem(page, ui::kPointerNormal);

    if (returnToImageTab() && databaseChanged())
        m_state.services.dialogs->msgBox(
            QStringLiteral("Database change. Please re-launch Framla."));
}

bool SettingsTab::returnToImageTab()
{
    if (!config::CheckImageTools(m_state))
        return false;
    m_window.showPage(MainWindow::Page::Image);
    // The next code typed or scanned goes to the code field, whichever
    // control of the image tab had the focus when the operator left it.
    m_window.imageTab().oXbpGetCd->setFocus(Qt::OtherFocusReason);
    return true;
}

void SettingsTab::refreshCameras()
{
    m_cDevList = imaging::GetDevlist(m_state);
    QPlainTextEdit *box = m_window.settingsTab().oXbpCamsTxt;
    box->setVerticalScrollBarPolicy(listLineCount(m_cDevList) > 2 ? Qt::ScrollBarAlwaysOn
                                                                  : Qt::ScrollBarAlwaysOff);
    // The box shows lines, not line ends: a last line end would add an empty line.
    QString shown = m_cDevList;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (shown.endsWith(QLatin1Char('\n')))
        shown.chop(1);
    box->setPlainText(shown);
}

void SettingsTab::showHelp(layout::HelpTopic topic)
{
    const layout::HelpPage page = layout::helpPage(topic);
    m_state.services.dialogs->confirmBox(page.text, page.title, runtime::Buttons::Ok,
                                         runtime::Icon::Information);
    returnToImageTab();
}

void SettingsTab::chooseCropRatio(int index)
{
    m_state.nCropRat = core::kCropRatios.at(std::size_t(index));
    setOption(m_state.aLocalCfg, Option::CropRatio, m_state.nCropRat);
    afterOptionChange();
}

void SettingsTab::rebuildGrabCommand()
{
    m_state.cGrabCommand =
        imaging::BldGrabCmd(m_state, m_state.nDevNum, m_state.nDelaySecs, m_state.lPreview);
}

void SettingsTab::takeDeviceNumber()
{
    QLineEdit *field = m_window.settingsTab().deviceField;
    m_state.nDevNum = digitValue(field);
    // The field shows what is kept: a letter typed there stands as 0.
    field->setText(QString::number(m_state.nDevNum));
    setOption(m_state.aLocalCfg, Option::Device, double(m_state.nDevNum));
    rebuildGrabCommand();
    afterOptionChange();
}

void SettingsTab::takeDelay()
{
    QLineEdit *field = m_window.settingsTab().delayField;
    m_state.nDelaySecs = digitValue(field);
    field->setText(QString::number(m_state.nDelaySecs));
    setOption(m_state.aLocalCfg, Option::Delay, double(m_state.nDelaySecs));
    rebuildGrabCommand();
    afterOptionChange();
}

void SettingsTab::takePreview(bool ticked)
{
    m_state.lPreview = ticked;
    setOption(m_state.aLocalCfg, Option::Preview, ticked);
    rebuildGrabCommand();
    afterOptionChange();
}

void SettingsTab::takeUseFilename(bool ticked)
{
    m_state.lUseFilename = ticked;
    setOption(m_state.aLocalCfg, Option::UseFilename, ticked);
    afterOptionChange();
}

void SettingsTab::afterOptionChange()
{
    config::SaveConfig(m_state);
    m_state.services.clock->sleep(kOptionPause);
    returnToImageTab();
}

} // namespace framla::app
