// What the history and outbox tests against the real test server share: a
// working directory with the program state wired to scripted dialogs, a test
// clock, a real shell and a journal, all pointed at the test server.
#pragma once

#include "core/program_state.h"
#include "history/journal_keeper.h"
#include "runtime/shell.h"
#include "support/recording_display.h"
#include "support/scripted_dialogs.h"
#include "support/test_clock.h"
#include "support/test_server.h"

#include <QStringList>
#include <QTemporaryDir>

namespace framla::test {

struct ServerWorld {
    /// In appDir when given, else in a temporary directory of its own.
    explicit ServerWorld(const TestServer &server, const QString &appDir = {})
        : path(appDir.isEmpty() ? dir.path() : appDir)
        , shell(path, &dialogs)
        , journal(path)
    {
        state.cAppPath = path;
        server.configure(state);
        state.services.dialogs = &dialogs;
        state.services.clock = &clock;
        state.services.shell = &shell;
        state.services.journal = &journal;
    }

    QTemporaryDir dir;
    QString path;
    ScriptedDialogs dialogs;
    TestClock clock;
    RecordingDisplay display;
    runtime::ProcessShell shell;
    ProgramState state;
    history::JournalKeeper journal;
};

/// A random-noise JPEG of the given size (e.g. "640x480") at path.
inline bool noisePhoto(const QString &size, const QString &path)
{
    return runTool("convert", {"-size", size, "xc:", "+noise", "Random", path});
}

/// This thread's journal, newest first, each entry as its action and outcome.
inline QStringList journalled(history::JournalKeeper &journal)
{
    QStringList lines;
    for (const history::JournalEntry &e : journal.forThisThread()->entries())
        lines << history::actionName(e.action) + ' ' + history::outcomeName(e.outcome);
    return lines;
}

} // namespace framla::test
