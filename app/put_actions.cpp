#include "put_actions.h"

#include "app/main_window.h"
#include "app/window_start.h"
#include "config/local_options.h"
#include "core/app_files.h"
#include "core/codes.h"
#include "core/program_state.h"
#include "core/target.h"
#include "core/value.h"
#include "imaging/acquisition.h"
#include "imaging/crop_geometry.h"
#include "imaging/image_view.h"
#include "imaging/placement.h"
#include "runtime/clock.h"
#include "runtime/dialogs.h"
#include "runtime/files.h"
#include "runtime/logging.h"
#include "runtime/working_files.h"
#include "server/command_lines.h"
#include "server/data_transfer.h"
#include "server/deletion.h"
#include "server/existing_image.h"
#include "server/lookup.h"
#include "server/reply.h"
#include "server/target_display.h"
#include "server/upload.h"
#include "server/write_check.h"

#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>

namespace framla::app {

namespace {

/// Above this many pixels on its longer side a picture put at 640 is asked about.
constexpr int kNormalEdge = 320;

const QString kCrLf = QStringLiteral("\r\n");

/// The reply from its first comment mark on; all of it without one.
QString fromFirstComment(const QString &reply)
{
    const qsizetype mark = reply.indexOf(QStringLiteral("<!-- "));
    return mark >= 0 ? reply.mid(mark) : reply;
}

} // namespace

QString PutActions::supplierPictureNote(const QString &cFramla)
{
    const QString path = server::supplierImagePath(cFramla);
    if (!path.isEmpty())
        return path;
    QStringList notes;
    for (QString line : cFramla.split(QLatin1Char('\n'))) {
        if (!line.contains(QStringLiteral("/ssr/")))
            continue;
        line.remove(QStringLiteral("<!--"));
        line.remove(QStringLiteral("-->"));
        notes << line.trimmed();
    }
    return notes.join(kCrLf);
}

PutActions::PutActions(ImageSteps &steps)
    : m_steps(steps)
{
    setObjectName(QStringLiteral("putActions"));
    const ImageTabControls &c = steps.controls();
    connect(c.oXbpPut, &QPushButton::clicked, this, &PutActions::putIt);
    for (int i = 0; i < int(c.sizeRadios.size()); ++i)
        connect(c.sizeRadios.at(std::size_t(i)), &QRadioButton::clicked, this,
                [this, i] { chooseSize(i); });
    connect(c.oXbpDelSrc, &QPushButton::clicked, this, &PutActions::deleteSource);
    connect(c.oXbpDelTarg, &QPushButton::clicked, this, &PutActions::deleteTarget);
    connect(c.oXbpShowExisting, &QPushButton::clicked, this, &PutActions::showExisting);
    connect(c.oXbpBrowData, &QPushButton::clicked, this, &PutActions::sendDataFile);
}

void PutActions::putIt()
{
    ProgramState &state = m_steps.state();
    const ImageTabControls &c = m_steps.controls();
    server::TargetDisplay &display = m_steps.display();
    runtime::Dialogs &dialogs = *state.services.dialogs;
    const bool account = !state.lInventory && !state.lOrders;

    c.oXbpGetCd->setEnabled(false);
    m_steps.enablePut(false);
    display.showCaption(QStringLiteral("Checking ..."));
    if (account)
        state.cName = c.oXbpTargName->text();
    else
        c.oXbpTargName->setEnabled(false);

    // From here to the upload's own copy of the picture no earlier upload
    // may change the working files under this handler.
    const runtime::WorkingFilesLock files(state, QDeadlineTimer(state.limits.lookupMs));
    if (!files.held()) {
        m_steps.enablePut(true);
        keepExisting();
        dialogs.msgBox(QString::fromLatin1(server::kStillSendingText));
        return;
    }

    // The picture recorded now; in Inventory and Repairs mode it is found by
    // the name, which is the code as the look-up left it.
    Target recorded = core::targetOf(state);
    if (!account)
        recorded.cCode = state.cName;
    server::ShowOldImg(state, display, state.login, recorded);
    // The picture the server holds now, which the journal keeps when the put
    // replaces it; not when the view shows a supplier's picture instead (the
    // put then finds out for itself).
    // Whether there was one decides, should the put wait in the outbox, whether
    // a picture found there later was put by someone else meanwhile.
    server::PutExtras extras;
    const QString lookedUp = QString::fromUtf8(server::readReplyFile(state));
    const QByteArray onFile =
        runtime::readWholeFile(appFile(state, kPreviewFile)).value_or(QByteArray());
    const bool supplierShown = !server::supplierImagePath(lookedUp).isEmpty();
    m_steps.enablePut(false);
    display.showCaption(QStringLiteral("Pending image:"));
    display.hangTarget(QLatin1String(kPreviewFile), QStringLiteral("T"));

    const QString cFramla = fromFirstComment(QString::fromUtf8(server::readReplyFile(state)));
    const bool lWasSSR = state.lInventory && cFramla.contains(QStringLiteral("/ssr/"));
    if (lWasSSR)
        dialogs.msgBox(QStringLiteral("A supplier image already exists for this code.") + kCrLf +
                       QStringLiteral("Adding a dedicated code will replace only the selected "
                                      "item's image.") +
                       kCrLf + supplierPictureNote(cFramla));

    // An account's picture is judged by the server's report on the file
    // itself; an item's by the look-up's reply.
    const bool checked =
        account && state.previewExists && checkAccountPicture(c.oXbpTargName->text());
    if (state.previewExists && !server::Ok2Write(state, QLatin1String(kReplyFile), true)) {
        keepExisting();
        return;
    }
    // The operator was asked to replace only where the server reported a
    // picture (the reply Ok2Write read): where it reported none, a picture
    // put there since is left alone by the put.
    const bool asked = state.previewExists &&
                       server::writeMarks(QString::fromUtf8(server::readReplyFile(state))).exists;
    if (!asked)
        extras.previous = QByteArray();
    else if (!supplierShown && !onFile.isEmpty())
        extras.previous = onFile;
    extras.hadPicture = !onFile.isEmpty() || asked;

    if (account)
        state.cName = c.oXbpTargName->text();
    else
        state.cCode = c.oXbpTargName->text();
    m_steps.enablePut(false);
    if (account && c.oXbpTargName->text().isEmpty())
        c.oXbpTargName->setText(state.cName.trimmed());
    // The file check replaced the server's reply; the upload fetches the
    // reply again at its end and takes only the one that answers its code.
    if (checked)
        lookUpAgain();

    // The question is about the picture that would be put: the preview.
    m_steps.refreshPreview(QStringLiteral("Pending image:"));
    int nChoice = runtime::kOk;
    const QSize shown = c.oStat2->rawSize();
    if (state.cSize == QStringLiteral("L") && qMax(shown.width(), shown.height()) > kNormalEdge)
        nChoice =
            dialogs.confirmBox(QStringLiteral("Resolution is set for 640 pixels.") + kCrLf +
                                   QStringLiteral("Normal is 160 or 320. Are you sure?"),
                               QStringLiteral("Size verification:"), runtime::Buttons::OkCancel);

    if (nChoice == runtime::kOk) {
        // An item that showed its supplier's picture gets a picture of its
        // own: the reply that points at the supplier's picture is set aside
        // first, so that the upload verifies and shows the item's own.
        if (lWasSSR)
            m_steps.forgetReply();
        server::PutFile(state, display, state.login, core::targetOf(state), extras);
        m_steps.enablePut(false);
        display.showCaption(QStringLiteral("Image as now recorded:"));
        state.lOk2DelTarg = true;
    } else {
        m_steps.enablePut(true);
        dialogs.msgBox(QStringLiteral("Not put"));
    }
    backToCode();
}

bool PutActions::checkAccountPicture(const QString &name)
{
    ProgramState &state = m_steps.state();
    const double value = core::VAL(state.cCode);
    QString directory;
    if (core::isSupplierAccount(value))
        directory = QStringLiteral("images/ssr/") + state.cCode;
    else if (core::isCustomerAccount(value))
        directory = QStringLiteral("images/cust/") + state.cCode;
    else
        return false;
    server::CheckIXdata(state, m_steps.display(), state.login, name + QStringLiteral(".jpg"),
                        directory);
    return true;
}

void PutActions::lookUpAgain()
{
    ProgramState &state = m_steps.state();
    state.cTime = state.services.clock->timeOfDay();
    const server::LookupResult found =
        server::PrepText(state, m_steps.display(), state.login, core::targetOf(state));
    state.lOk2Put = found.ok2Put.value_or(state.lOk2Put);
}

void PutActions::keepExisting()
{
    m_steps.display().showCaption(QStringLiteral(" Existing image:"));
    m_steps.controls().oXbpGetCd->setEnabled(true);
    m_steps.fillCodeField();
}

void PutActions::backToCode()
{
    const ImageTabControls &c = m_steps.controls();
    c.oXbpGetCd->setEnabled(true);
    if (!m_steps.state().lInventory && !m_steps.state().lOrders)
        c.oXbpTargName->setEnabled(true);
    m_steps.returnToCodeField();
}

void PutActions::chooseSize(int index)
{
    ProgramState &state = m_steps.state();
    state.cSize = QLatin1String(core::kSizeLetters.at(std::size_t(index)));
    setOption(state.aLocalCfg, Option::Size, state.cSize);
    config::SaveConfig(state);
}

void PutActions::deleteSource()
{
    ProgramState &state = m_steps.state();
    const QString file = state.cFilename;
    // The working copy was made to be changed and thrown away: no question.
    if (!file.endsWith(QLatin1String(kSourceCopyFile))) {
        const int answer = state.services.dialogs->confirmBox(
            QStringLiteral("Are you sure you want to delete the source image:") + kCrLf + file,
            QStringLiteral("There is no undo option for this one!"), runtime::Buttons::OkCancel,
            runtime::Icon::Warning, runtime::DefaultButton::Second);
        if (answer != runtime::kOk || file.isEmpty())
            return;
    }
    const ImageTabControls &c = m_steps.controls();
    imaging::DelFile(state, file, c.oStat);
    c.oXbpImageFile->clear();
    // The source is gone: nothing may be prepared, marked or put from it,
    // and its crop marks and the instruction about them go with it.
    state.cFilename.clear();
    state.aCropCoords = imaging::noCropMarks();
    c.oXbpInstruct->clear();
    m_steps.updateCropButton();
}

void PutActions::deleteTarget()
{
    ProgramState &state = m_steps.state();
    m_steps.takeCode();
    const int answer = state.services.dialogs->confirmBox(
        QStringLiteral("Are you sure you want to delete the target image:") + kCrLf + state.cName +
            QStringLiteral(".jpg") + kCrLf +
            QStringLiteral("(Write privilege for the selected image is required.)"),
        QStringLiteral("Delete recorded image..."), runtime::Buttons::OkCancel,
        runtime::Icon::Warning, runtime::DefaultButton::Second);
    if (answer == runtime::kOk && !state.cCode.isEmpty())
        server::DelImage(state, m_steps.display(), state.login, core::targetOf(state));
    // What is recorded now, whatever happened; a token of its own, so that
    // the reply of the look-up before cannot pass for this one's.
    lookUpAgain();
}

QString PutActions::existingImagesAddress(const QString &cAddress, const QString &cCode)
{
    const double value = core::VAL(cCode);
    if (!core::isHostAddress(cAddress) || !server::isSafeName(cCode) || !core::isAccount(value))
        return {};
    return QStringLiteral("http://") + cAddress + QStringLiteral("/zmr/images/") +
           (core::isCustomerAccount(value) ? QStringLiteral("cust/") : QStringLiteral("ssr/")) +
           cCode;
}

void PutActions::showExisting()
{
    ProgramState &state = m_steps.state();
    const QString address = existingImagesAddress(state.login.cAddress, state.cCode);
    if (address.isEmpty()) {
        state.services.dialogs->msgBox(
            QStringLiteral("No web address can be made from the server address \"%1\" and the "
                           "account \"%2\".")
                .arg(state.login.cAddress, state.cCode));
        return;
    }
    qCInfo(runtime::lcFramla).noquote() << "opening in the web browser:" << address;
    if (!QDesktopServices::openUrl(QUrl(address)))
        state.services.dialogs->msgBox(QStringLiteral("The web browser could not be opened for ") +
                                       address);
}

void PutActions::sendDataFile()
{
    ProgramState &state = m_steps.state();
    // The running settings' database: the one the last test passed.
    const QString chosen = server::GetDataFile(state);
    server::transferDataFile(state, m_steps.display(), chosen);
    m_steps.returnToCodeField();
}

} // namespace framla::app
