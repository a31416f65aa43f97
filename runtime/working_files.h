#pragma once

#include <QDeadlineTimer>

#include <mutex>

namespace framla {
struct ProgramState;
}

namespace framla::runtime {

/// Holds the shared working files ("framla.tmp", "scratch.jpg") for one
/// look-up or one upload, so the two never read each other's half-fetched
/// files. On the UI thread the window keeps repainting while it waits.
class WorkingFilesLock {
public:
    /// Waits until the files are free, however long that takes.
    explicit WorkingFilesLock(ProgramState &state);
    /// Waits at most until deadline; see held().
    WorkingFilesLock(ProgramState &state, QDeadlineTimer deadline);
    ~WorkingFilesLock();
    WorkingFilesLock(const WorkingFilesLock &) = delete;
    WorkingFilesLock &operator=(const WorkingFilesLock &) = delete;

    /// False when the deadline passed while another thread still held the files.
    bool held() const { return m_mutex != nullptr; }

private:
    std::recursive_mutex *m_mutex = nullptr;
};

} // namespace framla::runtime
