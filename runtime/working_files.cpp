#include "working_files.h"
#include "blocking.h"
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
    // keep delivering it until the files are free. A blocking routine: the
    // operator's input meanwhile is dropped.
    const BlockingInput blocked;
    while (!m_mutex->try_lock()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(10);
    }
}

WorkingFilesLock::~WorkingFilesLock()
{
    m_mutex->unlock();
}

} // namespace framla::runtime
