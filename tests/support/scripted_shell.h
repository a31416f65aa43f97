#pragma once

#include "runtime/shell.h"

#include <QList>
#include <functional>

namespace framla::test {

/// A run whose tool started and exited with exitCode; message is what the
/// operator would read when it failed.
inline runtime::RunOutcome finishedRun(int exitCode = 0, const QString &message = QString())
{
    runtime::RunOutcome outcome;
    outcome.status = runtime::RunOutcome::Status::Finished;
    outcome.exitCode = exitCode;
    outcome.message = message;
    return outcome;
}

/// A shell for tests of the layers above the runner: records every command
/// and lets the test decide what each run does and how it ends.
class ScriptedShell final : public runtime::Shell {
public:
    /// Called for every run; may create files the real tool would have made.
    /// The default leaves everything alone and reports exit code 0.
    std::function<runtime::RunOutcome(const runtime::ToolCommand &)> onRun;

    QList<runtime::ToolCommand> commands;
    QList<int> timeouts;
    /// Every login the runner was told to share a connection for:
    /// "user@host port password".
    QStringList sharedLogins;

    void shareConnectionOf(const runtime::LinkKey &key) override
    {
        sharedLogins.append(key.userAtHost + QLatin1Char(' ') + key.port + QLatin1Char(' ') +
                            key.password);
    }

    /// Whether runs start beside: then a run beside is made at once, in the
    /// order started, like any other. By default none starts, as with a
    /// runner whose shared connection is not up.
    bool beside = false;

    std::unique_ptr<runtime::SideRun> startBeside(const runtime::ToolCommand &command,
                                                  int timeoutMs) override
    {
        struct Ended final : runtime::SideRun {
            runtime::RunOutcome outcome;
            runtime::RunOutcome finish() override { return outcome; }
        };
        if (!beside)
            return nullptr;
        auto ended = std::make_unique<Ended>();
        ended->outcome = run(command, timeoutMs);
        return ended;
    }

    runtime::RunOutcome run(const runtime::ToolCommand &command, int timeoutMs) override
    {
        commands.append(command);
        timeouts.append(timeoutMs);
        return onRun ? onRun(command) : finishedRun();
    }

    /// The logged texts of all commands run, in order.
    QStringList texts() const
    {
        QStringList out;
        for (const runtime::ToolCommand &command : commands)
            out.append(command.textWithPassword());
        return out;
    }
};

} // namespace framla::test
