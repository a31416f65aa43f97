#include "source_actions.h"

#include "app/event_rules.h"
#include "app/main_window.h"
#include "core/app_files.h"
#include "core/codes.h"
#include "core/program_state.h"
#include "imaging/acquisition.h"
#include "imaging/crop_geometry.h"
#include "imaging/image_view.h"
#include "imaging/picture_reader.h"
#include "imaging/placement.h"
#include "imaging/prepare.h"
#include "runtime/clock.h"
#include "runtime/dialogs.h"
#include "runtime/files.h"
#include "runtime/logging.h"
#include "ui/busy.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace framla::app {

namespace {

const QString kInstruction =
    QStringLiteral("Left-click refresh display, Right-click undo cropping");

const QString kRotateQuestion = QStringLiteral("Note: Rotation may permanently reduce\r\n"
                                               "the quality of the image. You can copy\r\n"
                                               "the original to 'tempcopy' and rotate\r\n"
                                               "that instead.\r\n"
                                               "(Click [No] then click [<] to make copy)\r\n"
                                               "\r\n"
                                               "Rotate this original image?");

/// How long "<>" shows the preview in the source view, in hundredths.
constexpr int kSwitchPause = 100;

/// Copies the preview to "tempcopy.jpg", replacing an older copy. The flag
/// of the preview follows the disk, since the copy is the first to notice
/// a preview that went away.
bool copyPreview(ProgramState &state)
{
    const QString preview = appFile(state, kPreviewFile);
    const bool copied = runtime::copyFile(preview, appFile(state, kSourceCopyFile));
    state.previewExists = runtime::fileExists(preview);
    if (!copied)
        qCWarning(runtime::lcFramla) << "could not copy" << preview << "as the new source";
    return copied;
}

/// The flags of what may be deleted (the source, and the recorded target),
/// kept across a placement in the source view that changes neither.
class KeepDeleteFlags {
public:
    explicit KeepDeleteFlags(ProgramState &state, bool source = true)
        : m_state(state)
        , m_source(source)
        , m_src(state.lOk2DelSrc)
        , m_targ(state.lOk2DelTarg)
    {}
    ~KeepDeleteFlags()
    {
        if (m_source)
            m_state.lOk2DelSrc = m_src;
        m_state.lOk2DelTarg = m_targ;
    }
    KeepDeleteFlags(const KeepDeleteFlags &) = delete;
    KeepDeleteFlags &operator=(const KeepDeleteFlags &) = delete;

private:
    ProgramState &m_state;
    bool m_source;
    bool m_src;
    bool m_targ;
};

} // namespace

SourceActions::SourceActions(ImageSteps &steps)
    : m_steps(steps)
{
    setObjectName(QStringLiteral("sourceHandlers"));
    const ImageTabControls &c = steps.controls();
    Q_ASSERT(c.oXbpGrab != nullptr);
    connect(c.oXbpGrab, &QPushButton::clicked, this, &SourceActions::capture);
    connect(c.oXbpBrowse, &QPushButton::clicked, this, &SourceActions::find);
    connect(c.oXbpCrop, &QPushButton::clicked, this, &SourceActions::setCropMarks);
    connect(c.oXbpRotate, &QPushButton::clicked, this, &SourceActions::rotate);
    connect(c.switchView, &QPushButton::clicked, this, &SourceActions::switchView);
    connect(c.oXbpCpTarg, &QPushButton::clicked, this, &SourceActions::copyPreviewAsSource);
    c.oXbpImageFile->installEventFilter(this);
}

bool SourceActions::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_steps.controls().oXbpImageFile && operatorLeftField(watched, event))
        takeTypedSource();
    return QObject::eventFilter(watched, event);
}

void SourceActions::showNewSource()
{
    ProgramState &s = m_steps.state();
    m_steps.resetAdjustments();
    m_steps.showSource();
    m_steps.enablePut(!s.cFilename.isEmpty() && s.lOk2Put);
    m_steps.updateCropButton();
    m_steps.markFileField();
    m_steps.defaultName();
    m_steps.refreshPreview(QStringLiteral(" Pending image:"));
    imaging::HangPicture(s, s.cFilename, m_steps.controls().oStat, QStringLiteral("S"));
}

void SourceActions::capture()
{
    ProgramState &s = m_steps.state();
    const ImageTabControls &c = m_steps.controls();

    imaging::HangPicture(s, QLatin1String(imaging::kWaitPicture), c.oStat, QStringLiteral("SW"),
                         s.aCropCoords, ASCRN_SIZE);
    // The capture tool writes its picture in the program's directory.
    s.cFilename = appFile(s, imaging::GrabImage(s, s.cGrabCommand));
    showNewSource();
    m_steps.takeCode();
    c.oXbpGrab->setEnabled(true);
    m_steps.putByCodeAndName();
    m_steps.returnToCodeField();
}

void SourceActions::find()
{
    ProgramState &s = m_steps.state();
    const ImageTabControls &c = m_steps.controls();
    // Cancelling the dialog keeps the source there was: the view and the
    // field still show it.
    const QString chosen = imaging::GetFileName(s);
    if (chosen.isEmpty()) {
        s.services.dialogs->msgBox(QStringLiteral("Not valid selection"));
    } else {
        s.cFilename = chosen;
        showNewSource();
    }
    m_steps.takeCode();
    c.oXbpBrowse->setEnabled(true);
    m_steps.putByCodeAndName();
    m_steps.returnToCodeField();
}

void SourceActions::chooseSourceByEnter()
{
    ProgramState &s = m_steps.state();
    const QString chosen = imaging::GetFileName(s);
    if (chosen.isEmpty())
        return;
    s.cFilename = chosen;
    m_steps.resetAdjustments();
    m_steps.showSource();
    // The name field and the name go together, by the name rule.
    m_steps.defaultName();
    m_steps.enablePut(!s.cFilename.isEmpty() && s.lOk2Put);
    // A source chosen this way may be cropped as well.
    m_steps.updateCropButton();
}

void SourceActions::takeTypedSource()
{
    ProgramState &s = m_steps.state();
    const ImageTabControls &c = m_steps.controls();
    s.cFilename = c.oXbpImageFile->text();
    // The size is the picture's that the name stands for: a path typed over
    // the one on show brings its own picture.
    if (!s.cFilename.isEmpty() && s.cFilename != c.oStat->file())
        imaging::HangPicture(s, s.cFilename, c.oStat, QStringLiteral("S"));
    s.anSize = c.oStat->rawSize();
    s.aCropCoords = imaging::noCropMarks();
    const bool account = !s.lInventory && !s.lOrders;
    if (!s.cCode.isEmpty()) {
        if (account)
            c.oXbpGetCd->setText(s.cCode);
        else
            c.oXbpGetCd->clear();
    }
    c.oXbpTargName->setText(account ? s.cName : s.cCode);
    m_steps.enablePut(!s.cFilename.isEmpty() && s.lOk2Put);
    c.oXbpGetCd->setFocus(Qt::OtherFocusReason);
    m_steps.markFileField();
    m_steps.updateCropButton();
}

void SourceActions::loadTypedSource()
{
    ProgramState &s = m_steps.state();
    const ImageTabControls &c = m_steps.controls();
    s.cFilename = c.oXbpImageFile->text();
    if (s.cFilename.isEmpty())
        return;
    // The marks of the previous picture are not drawn over the new one.
    s.aCropCoords = imaging::noCropMarks();
    imaging::HangPicture(s, s.cFilename, c.oStat, QStringLiteral("S"), s.aCropCoords, ASCRN_SIZE);
    s.anSize = c.oStat->rawSize();
    c.oXbpImageFile->setText(s.cFilename);
    s.cName = core::imageName(c.oXbpTargName->text(), s.lInventory);
    if (!s.lInventory && !s.lOrders)
        c.oXbpTargName->setText(s.cName.trimmed());
    m_steps.enablePut(s.lOk2Put);
    s.aScrnSize = ASCRN_SIZE;
    s.aCropCoords = imaging::noCropMarks(s.aScrnSize);
    m_steps.markFileField();
    // A source loaded this way may be cropped as well.
    m_steps.updateCropButton();
}

void SourceActions::showCropPointers(int shape)
{
    MainWindow &window = m_steps.window();
    for (QWidget *widget : {static_cast<QWidget *>(m_steps.controls().oXbpCrop), window.imagePage(),
                            window.settingsPage()})
        ui::ShowElem(widget, shape);
}

void SourceActions::setCropMarks()
{
    ProgramState &s = m_steps.state();
    const ImageTabControls &c = m_steps.controls();
    // Without a source there is nothing to mark: "no image" is no picture.
    if (s.cFilename.isEmpty()) {
        m_steps.updateCropButton();
        return;
    }
    c.oXbpInstruct->setText(kInstruction);
    m_steps.enableFindAndTransfer(false);
    imaging::HangPicture(s, s.cFilename, c.oStat, QStringLiteral("S"));
    m_steps.updateCropButton();
    showCropPointers(ui::kPointerWait);
    s.aCropCoords = imaging::Crop(s, c.oStat, c.oXbpCrop, s.nCropRat);
    showCropPointers(ui::kPointerNormal);
    m_steps.refreshPreview(QStringLiteral(" Pending image:"));
    m_steps.takeCode();
    m_steps.enableFindAndTransfer(true);
    m_steps.putByCodeAndName();
    m_steps.returnToCodeField();
}

void SourceActions::putBySourceAndCode()
{
    const ProgramState &s = m_steps.state();
    m_steps.enablePut(!(s.cFilename + s.cCode).isEmpty() && s.lOk2Put);
}

void SourceActions::undoCropping()
{
    ProgramState &s = m_steps.state();
    // Without a source there is nothing to undo: the preview view keeps
    // what it shows (the recorded picture, say).
    if (s.cFilename.isEmpty())
        return;
    imaging::HangPicture(s, s.cFilename, m_steps.controls().oStat, QStringLiteral("S"));
    s.aCropCoords = imaging::noCropMarks();
    m_steps.enableFindAndTransfer(true);
    m_steps.putByCodeAndName();
    m_steps.controls().oXbpInstruct->clear();
    m_steps.refreshPreview(QStringLiteral(" Preview image:"));
    m_steps.takeCode();
    putBySourceAndCode();
}

void SourceActions::afterMovingCrop()
{
    showCropPointers(ui::kPointerNormal);
    m_steps.refreshPreview(QStringLiteral(" Pending image:"));
    m_steps.takeCode();
    m_steps.enableFindAndTransfer(true);
    m_steps.putByCodeAndName();
}

void SourceActions::stretchCrop(const imaging::StartingPress &press)
{
    ProgramState &s = m_steps.state();
    s.aCropCoords = imaging::STRETCHCROPS(s, m_steps.controls().oStat, s.aCropCoords, press);
    afterMovingCrop();
}

void SourceActions::dragCrop(const imaging::StartingPress &press)
{
    ProgramState &s = m_steps.state();
    s.aCropCoords = imaging::DRAGCROPS(s, m_steps.controls().oStat, s.aCropCoords, press);
    afterMovingCrop();
    m_steps.controls().oXbpGetCd->setFocus(Qt::OtherFocusReason);
}

void SourceActions::refreshPictures()
{
    ProgramState &s = m_steps.state();
    // Without a source a preview would only replace the picture on show.
    if (s.cFilename.isEmpty())
        return;
    imaging::HangPicture(s, s.cFilename, m_steps.controls().oStat, QStringLiteral("S"),
                         s.aCropCoords, ASCRN_SIZE);
    m_steps.enableFindAndTransfer(true);
    m_steps.refreshPreview(QStringLiteral(" Preview image:"));
    m_steps.takeCode();
    putBySourceAndCode();
}

void SourceActions::rotate()
{
    ProgramState &s = m_steps.state();
    const ImageTabControls &c = m_steps.controls();
    if (!s.cFilename.endsWith(QLatin1String(kSourceCopyFile)) &&
        s.services.dialogs->confirmBox(kRotateQuestion, QString(), runtime::Buttons::YesNo,
                                       runtime::Icon::Warning,
                                       runtime::DefaultButton::Second) != runtime::kYes)
        return;
    imaging::SrcRotate(s, s.cFilename);
    imaging::HangPicture(s, s.cFilename, c.oStat, QStringLiteral("S"));
    s.anSize = c.oStat->rawSize();
    s.aCropCoords = imaging::noCropMarks();
    m_steps.enableFindAndTransfer(true);
    m_steps.refreshPreview(QStringLiteral(" Preview image:"));
    m_steps.takeCode();
    putBySourceAndCode();
}

void SourceActions::switchView()
{
    ProgramState &s = m_steps.state();
    const ImageTabControls &c = m_steps.controls();
    // Only a look: what may be deleted stays as it was.
    const KeepDeleteFlags keep(s);
    imaging::HangPicture(s, QLatin1String(kPreviewFile), c.oStat, QString());
    s.services.clock->sleep(kSwitchPause);
    s.cFilename = c.oXbpImageFile->text();
    // The source comes back as it was, crop marks included.
    imaging::HangPicture(s, s.cFilename, c.oStat, QString(), s.aCropCoords, ASCRN_SIZE);
}

void SourceActions::copyPreviewAsSource()
{
    ProgramState &s = m_steps.state();
    const ImageTabControls &c = m_steps.controls();
    c.oXbpInstruct->clear();
    if (!copyPreview(s))
        return;
    {
        // The copy is a new source; the target view has not changed.
        const KeepDeleteFlags keep(s, false);
        imaging::HangPicture(s, QLatin1String(kSourceCopyFile), c.oStat, QStringLiteral("T"));
    }
    s.anSize = c.oStat->rawSize();
    s.aCropCoords = imaging::noCropMarks();
    s.cFilename = appFile(s, kSourceCopyFile);
    c.oXbpCpTarg->setEnabled(false);
    c.oXbpCrop->setEnabled(true);
    c.oXbpImageFile->setText(s.cFilename);
    m_steps.resetAdjustments();
}

void SourceActions::adjusted()
{
    // Without a source a preview would only replace the picture on show.
    if (m_steps.state().cFilename.isEmpty())
        return;
    m_steps.refreshPreview(QStringLiteral(" Pending image:"));
}

} // namespace framla::app
