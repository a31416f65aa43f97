#pragma once

#include "core/program_state.h"
#include "runtime/shell.h"
#include "support/recording_display.h"
#include "support/scripted_dialogs.h"
#include "support/test_clock.h"
#include "support/test_server.h"

#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace framla::test {

/// What end-to-end tests against the real server start every test function
/// with: the server, a fresh working directory, the server's settings in the
/// program state, a scripted operator and the real tools. A test class
/// derives from it, starts m_server in initTestCase() and calls freshCase()
/// from init() and endCase() from cleanup().
class ServerCase : public QObject {
protected:
    /// False when no working directory could be made.
    bool freshCase();
    /// Ends the shell (and its shared connection) and restores what a test
    /// may have changed: the current directory and PuTTY's key cache.
    void endCase();

    TestServer m_server;
    std::unique_ptr<QTemporaryDir> m_appDir;
    QString m_previousDir;
    ScriptedDialogs m_dialogs;
    TestClock m_clock;
    RecordingDisplay m_display;
    std::unique_ptr<runtime::ProcessShell> m_shell;
    ProgramState m_state;
};

} // namespace framla::test
