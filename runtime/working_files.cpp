#include "working_files.h"
#include "blocking.h"
#include "threads.h"

#include "core/program_state.h"

#include <QCoreApplication>
#include <QThread>

#include <optional>

namespace framla::runtime {

WorkingFilesLock::WorkingFilesLock(ProgramState &state)
    : WorkingFilesLock(state, QDeadlineTimer(QDeadlineTimer::Forever))
{}

WorkingFilesLock::WorkingFilesLock(ProgramState &state, QDeadlineTimer deadline)
{
    std::recursive_mutex *mutex = state.services.workingFiles.get();
    if (!onUiThread() && deadline.isForever()) {
        mutex->lock();
        m_mutex = mutex;
        return;
    }
    // On the UI thread the worker posts its progress here while it holds the
    // files: keep delivering it until the files are free. A blocking routine:
    // keys typed meanwhile are held for later, pointer input is dropped.
    std::optional<BlockingInput> blocked;
    if (onUiThread())
        blocked.emplace();
    while (!mutex->try_lock()) {
        if (deadline.hasExpired())
            return;
        if (onUiThread())
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(10);
    }
    m_mutex = mutex;
}

WorkingFilesLock::~WorkingFilesLock()
{
    if (m_mutex != nullptr)
        m_mutex->unlock();
}

} // namespace framla::runtime
