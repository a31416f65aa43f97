#include "support/server_case.h"

#include <QDir>

namespace framla::test {

bool ServerCase::freshCase()
{
    m_appDir = std::make_unique<QTemporaryDir>();
    if (!m_appDir->isValid())
        return false;
    m_previousDir = QDir::currentPath();
    m_dialogs = {};
    m_display = {};
    m_state = ProgramState();
    m_state.cAppPath = m_appDir->path();
    m_server.configure(m_state);
    m_shell = std::make_unique<runtime::ProcessShell>(m_appDir->path(), &m_dialogs);
    m_state.services.dialogs = &m_dialogs;
    m_state.services.clock = &m_clock;
    m_state.services.shell = m_shell.get();
    return true;
}

void ServerCase::endCase()
{
    m_state.services.shell = nullptr;
    m_shell.reset();
    QDir::setCurrent(m_previousDir);
    qputenv("PUTTYDIR", m_server.fact("PUTTYDIR").toLocal8Bit());
}

} // namespace framla::test
