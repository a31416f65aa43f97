#pragma once

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
    explicit WorkingFilesLock(ProgramState &state);
    ~WorkingFilesLock();
    WorkingFilesLock(const WorkingFilesLock &) = delete;
    WorkingFilesLock &operator=(const WorkingFilesLock &) = delete;

private:
    std::recursive_mutex *m_mutex = nullptr;
};

} // namespace framla::runtime
