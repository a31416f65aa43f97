#pragma once

// One channel of a batch: a worker of its own with a working directory, a
// tool runner (and so a connection to the server) and a reply directory on
// the server of its own, so that channels side by side never take each
// other's working files or replies.

#include "batch/plan.h"
#include "core/program_state.h"
#include "core/target.h"
#include "server/target_display.h"

#include <QString>

#include <memory>

namespace framla::runtime {
class ProcessShell;
}

namespace framla::batch {

class Channel {
public:
    /// A channel working in directory (which must exist) with the program's
    /// services and limits, logging in as login through the shared
    /// connection of link.
    Channel(const ProgramState &program, const ServerLogin &login, const QString &directory,
            const runtime::ProcessShell &link);
    ~Channel();
    Channel(const Channel &) = delete;
    Channel &operator=(const Channel &) = delete;

    ProgramState &state() { return m_state; }
    const ServerLogin &login() const { return m_state.login; }
    server::QuietDisplay &display() { return m_display; }
    QString directory() const { return m_state.cAppPath; }

    /// The target of a photo's code in mode, with a request token of its own.
    Target targetFor(const NamedCode &named, core::Mode mode, const QString &size = {});

    /// Makes the channel's reply directory on the server (mode 700) when it
    /// has one of its own: the put stages its pictures there.
    void makeReplyDirectory();

    /// Removes the channel's reply directory from the server (only one of
    /// its own, with a tag): it is no use to anyone after the batch.
    void removeReplyDirectory();
    /// Removes this login's batch reply directories that a batch killed or
    /// cut off from the server left behind. False when the server could
    /// not be reached.
    bool removeStaleBatchDirectories();

private:
    ProgramState m_state;
    std::unique_ptr<runtime::ProcessShell> m_shell;
    server::QuietDisplay m_display;
    int m_requests = 0;
};

} // namespace framla::batch
