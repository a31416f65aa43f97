#pragma once

#include "core/program_state.h"
#include "server/command_lines.h"
#include "server/target.h"
#include "support/recording_display.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_shell.h"
#include "support/test_clock.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>

namespace framla::test {

/// A target in the state's mode with the given code, name, mode, token and size.
inline server::Target targetFor(const ProgramState &state, const QString &code, bool inventory,
                                const QString &name, const QString &token,
                                const QString &size = QStringLiteral("M"))
{
    server::Target t = server::targetOf(state);
    t.cCode = code;
    t.cName = name;
    t.lInventory = inventory;
    t.cTime = token;
    t.cSize = size;
    return t;
}

/// Everything a test of the server routines needs around them: a program
/// directory of its own, scripted dialogs, shell and clock, a recording
/// display, and a program state with the settings of the shop's server.
struct ScriptedWorld {
    std::unique_ptr<QTemporaryDir> dir;
    ScriptedDialogs dialogs;
    ScriptedShell shell;
    TestClock clock;
    RecordingDisplay display;
    ProgramState state;

    ScriptedWorld()
        : m_previousDir(QDir::currentPath())
    {
        reset();
    }
    ~ScriptedWorld() { QDir::setCurrent(m_previousDir); }
    ScriptedWorld(const ScriptedWorld &) = delete;
    ScriptedWorld &operator=(const ScriptedWorld &) = delete;

    /// A new program directory and fresh services, as before every test.
    void reset()
    {
        QDir::setCurrent(m_previousDir);
        dir = std::make_unique<QTemporaryDir>();
        dialogs = {};
        shell = {};
        clock = {};
        display = {};
        state = ProgramState();
        state.cAppPath = dir->path();
        state.login.cAddress = QStringLiteral("shop");
        state.login.cPath = QStringLiteral("/srv/zmr");
        state.login.cUser = QStringLiteral("clerk");
        state.login.cPass = QStringLiteral("pw");
        state.services.dialogs = &dialogs;
        state.services.shell = &shell;
        state.services.clock = &clock;
    }

    /// The running settings' login.
    ServerLogin login() const { return state.login; }

    /// A target in the state's mode with the given code, name, mode, size and token.
    server::Target target(const QString &code, bool inventory, const QString &name,
                          const QString &token, const QString &size = QStringLiteral("M")) const
    {
        return targetFor(state, code, inventory, name, token, size);
    }

    /// A file in the program directory.
    QString file(const QString &name) const { return dir->filePath(name); }

private:
    QString m_previousDir;
};

} // namespace framla::test
