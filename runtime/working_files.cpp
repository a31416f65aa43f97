#include "working_files.h"
#include "threads.h"

#include "core/program_state.h"

#include <QCoreApplication>
#include <QThread>

namespace framla::runtime {

WorkingFilesLock::WorkingFilesLock(ProgramState &state)
{
    m_mutex = state.services.workingFiles.get();
    if (!onUiThread()) {
        m_mutex->lock();
        return;
    }
    // The worker posts its progress to this thread while it holds the files:
    // keep delivering it (but no operator input) until the files are free.
    while (!m_mutex->try_lock()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(10);
    }
}

WorkingFilesLock::~WorkingFilesLock()
{
    m_mutex->unlock();
}

} // namespace framla::runtime
