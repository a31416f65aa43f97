#include "main_window.h"

#include "core/program_state.h"

namespace framla::app {

MainWindow::MainWindow(ProgramState &state, QWidget *parent)
    : QDialog(parent)
    , m_state(state)
{
    setWindowTitle(QString::fromLatin1(kWindowTitle));
    setFixedSize(m_state.nDlgWidth, m_state.nDlgHeight);
    setObjectName(QStringLiteral("oStartingDlg"));
}

} // namespace framla::app
