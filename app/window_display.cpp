#include "window_display.h"

#include "app/main_window.h"
#include "app/reply_text.h"
#include "core/app_files.h"
#include "imaging/placement.h"
#include "runtime/files.h"
#include "ui/busy.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace framla::app {

WindowDisplay::WindowDisplay(ProgramState &state, MainWindow &window)
    : m_state(state)
    , m_window(window)
{}

void WindowDisplay::showReply(const QString &text)
{
    m_window.imageTab().oXbpShowTxt->setPlainText(shownReplyText(text));
}

void WindowDisplay::setShowExistingVisible(bool visible)
{
    m_window.imageTab().oXbpShowExisting->setVisible(visible);
}

void WindowDisplay::showTargetName(const QString &name)
{
    QLineEdit *field = m_window.imageTab().oXbpTargName;
    field->setEnabled(true);
    field->setText(name);
    field->setEnabled(false);
}

void WindowDisplay::hangTarget(const QString &file, const QString &mode)
{
    m_state.previewExists = runtime::fileExists(appFile(m_state, kPreviewFile));
    imaging::HangPicture(m_state, file, m_window.imageTab().oStat2, mode);
}

void WindowDisplay::showCaption(const QString &text)
{
    m_window.imageTab().oXbpTargGrp->setText(text);
}

void WindowDisplay::setBusy(bool busy)
{
    if (busy)
        ui::SHOWBUSY(&m_window);
    else
        ui::SHOWDONE(&m_window);
}

} // namespace framla::app
