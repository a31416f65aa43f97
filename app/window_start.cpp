#include "window_start.h"

#include "app/main_window.h"
#include "config/settings_check.h"
#include "core/app_files.h"
#include "core/target.h"
#include "runtime/clock.h"
#include "runtime/files.h"
#include "server/command_lines.h"
#include "server/lookup.h"
#include "server/target_display.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

namespace framla::app {

namespace {

/// Selects a mode's radio button without running the mode switch, which
/// would clear the fields and save the options.
void showMode(MainWindow &window, int index)
{
    const auto &radios = window.imageTab().modeRadios;
    const QSignalBlocker first(radios[0]), second(radios[1]), third(radios[2]);
    radios.at(index)->setChecked(true);
}

} // namespace

void erasePreview(ProgramState &state)
{
    state.previewExists = !runtime::eraseFile(appFile(state, kPreviewFile));
}

void startLookUp(ProgramState &state, MainWindow &window, server::TargetDisplay &display)
{
    const bool byAccount = !state.cStartAccount.isEmpty();
    if (!byAccount && state.cStartCode.isEmpty())
        return;
    const ImageTabControls &image = window.imageTab();

    // The account number wins when both were given. Either way the other
    // mode flag is cleared too: an inventory code in Repairs mode would be
    // looked for, and put, under a service order's path.
    state.lInventory = !byAccount;
    state.lOrders = false;
    showMode(window, byAccount ? 1 : 0);
    // The code field shows the code as it is looked up; both start codes
    // were normalised as they came in.
    state.cCode = byAccount ? state.cStartAccount : state.cStartCode;
    image.oXbpGetCd->setText(state.cCode);

    // The picture looked for is the one "Put it" would replace: the code's
    // own (an account's picture is named like the account), not one named
    // after whatever name the state held before.
    state.cName = state.cCode;
    erasePreview(state);
    display.showReply(QStringLiteral("Sending request for data..."));
    state.cTime = state.services.clock->timeOfDay();
    display.showCaption(byAccount ? QStringLiteral("Waiting for image...")
                                  : QStringLiteral(" Waiting for image..."));
    const server::LookupResult found =
        server::PrepText(state, display, state.login, core::targetOf(state));
    state.lOk2Put = found.ok2Put.value_or(state.lOk2Put);
    state.services.clock->sleep(50);
    display.showCaption(QStringLiteral(" Image as recorded:"));

    if (!byAccount)
        image.oXbpGetCd->clear();
    // A long code's picture is named by the code the server resolved it to,
    // as after a look-up from the code field.
    state.cName = found.resolvedCode.isEmpty() ? state.cCode : found.resolvedCode;
    image.oXbpTargName->setText(state.cName.trimmed());
    if (byAccount)
        image.oXbpTargName->setEnabled(true);
    image.oXbpPut->setEnabled(!state.cFilename.isEmpty() && state.lOk2Put);
}

void openWindow(ProgramState &state, MainWindow &window, server::TargetDisplay &display)
{
    window.buildPages();
    if (!config::CheckImageTools(state))
        window.showPage(MainWindow::Page::Settings);
    window.imageTab().oXbpGetCd->setFocus(Qt::OtherFocusReason);

    if (state.login.cAddress.isEmpty()) {
        window.showPage(MainWindow::Page::Settings);
        window.settingsTab().oXbpAddress->setFocus(Qt::OtherFocusReason);
        return;
    }
    startLookUp(state, window, display);
}

} // namespace framla::app
