#include "image_steps.h"

#include "app/main_window.h"
#include "core/app_files.h"
#include "core/codes.h"
#include "core/program_state.h"
#include "imaging/image_view.h"
#include "imaging/placement.h"
#include "imaging/prepare.h"
#include "runtime/dialogs.h"
#include "runtime/files.h"
#include "runtime/working_files.h"
#include "server/target_display.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace framla::app {

ImageSteps::ImageSteps(ProgramState &state, MainWindow &window, server::TargetDisplay &display)
    : m_state(state)
    , m_window(window)
    , m_display(display)
{}

const ImageTabControls &ImageSteps::controls() const
{
    return m_window.imageTab();
}

void ImageSteps::resetAdjustments()
{
    controls().oXbpBright->setValue(4);
    controls().oXbpGamma->setValue(0);
    controls().oXbpContrast->setValue(0);
}

void ImageSteps::showSource()
{
    // The crop marks are cleared before the picture is shown: the marks of
    // the previous picture are not drawn over the new one.
    m_state.aScrnSize = ASCRN_SIZE;
    m_state.aCropCoords = {QPoint(0, 0),
                           QPoint(m_state.aScrnSize.width(), m_state.aScrnSize.height())};
    imaging::HangPicture(m_state, m_state.cFilename, controls().oStat, QStringLiteral("S"),
                         m_state.aCropCoords, ASCRN_SIZE);
    m_state.anSize = controls().oStat->rawSize();
    controls().oXbpImageFile->setText(m_state.cFilename);
}

void ImageSteps::defaultName()
{
    if (!m_state.lUseFilename || m_state.lInventory || m_state.lOrders)
        return;
    m_state.cName = nameFromSource(m_state.cFilename);
    controls().oXbpTargName->setText(m_state.cName.trimmed());
}

void ImageSteps::refreshPreview(const QString &caption)
{
    m_display.showCaption(caption);
    // The values as the controls show them: after a spin, as clamped just now.
    const imaging::Adjustment adjustment{controls().oXbpBright->value(),
                                         controls().oXbpGamma->value(),
                                         controls().oXbpContrast->value()};
    QString why;
    const bool prepared =
        imaging::Prepare(m_state, imaging::PreviewSource::of(m_state), adjustment, &why);
    m_display.hangTarget(QLatin1String(kPreviewFile), QStringLiteral("TW"));
    // A photo that cannot be put is said so once, not at every refresh of it.
    static QString told;
    const QString refusal = m_state.cFilename + QLatin1Char('\n') + why;
    if (!prepared && !why.isEmpty() && refusal != told)
        m_state.services.dialogs->msgBox(why.left(1).toUpper() + why.mid(1) + QLatin1Char('.'));
    told = prepared || why.isEmpty() ? QString() : refusal;
}

void ImageSteps::takeCode()
{
    if (m_state.lInventory || m_state.lOrders)
        m_state.cCode = controls().oXbpTargName->text();
}

void ImageSteps::returnToCodeField()
{
    fillCodeField();
    controls().oXbpGetCd->setFocus(Qt::OtherFocusReason);
}

void ImageSteps::updateCropButton()
{
    controls().oXbpCrop->setEnabled(!m_state.cFilename.isEmpty());
}

void ImageSteps::putByCodeAndName()
{
    enablePut(!(m_state.cCode + m_state.cName).isEmpty() && m_state.lOk2Put);
}

void ImageSteps::markFileField()
{
    // Marked from just after the name back to the start: the cursor ends at 0.
    QLineEdit *field = controls().oXbpImageFile;
    const int length = int(field->text().trimmed().size());
    field->setSelection(length, -length);
}

void ImageSteps::enablePut(bool on)
{
    controls().oXbpPut->setEnabled(on);
}

void ImageSteps::enableFindAndTransfer(bool on)
{
    controls().oXbpBrowse->setEnabled(on);
    controls().oXbpBrowData->setEnabled(on);
}

QString ImageSteps::nameFromSource(const QString &cFilename)
{
    const qsizetype slash =
        qMax(cFilename.lastIndexOf(QLatin1Char('/')), cFilename.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = cFilename.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash)
        return {};
    return core::imageName(cFilename.mid(slash + 1, dot - slash - 1));
}

// --- used by the put and delete actions ---

void ImageSteps::fillCodeField()
{
    if (!m_state.lInventory && !m_state.lOrders)
        controls().oXbpGetCd->setText(m_state.cCode);
    else
        controls().oXbpGetCd->clear();
}

void ImageSteps::forgetReply()
{
    const runtime::WorkingFilesLock files(m_state);
    runtime::eraseFile(appFile(m_state, kReplyFile));
}

} // namespace framla::app
