#pragma once

// What the error frame's tests share: a scratch current directory, scripted
// boxes, a fixed clock and an exit service that records the code.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/program_state.h"
#include "runtime/error.h"
#include "support/scripted_dialogs.h"
#include "support/test_clock.h"

namespace framla::test {

/// Thrown by the test's exit service in place of ending the process.
struct ProgramEnded {
    int exitCode = 0;
};

struct ErrorFrameHarness {
    QTemporaryDir dir;
    QString previousDir = QDir::currentPath();
    ScriptedDialogs dialogs;
    TestClock clock;
    ProgramState state;
    QList<int> exitCodes;

    ErrorFrameHarness()
    {
        QDir::setCurrent(dir.path());
        state.services.dialogs = &dialogs;
        state.services.clock = &clock;
        state.services.exitProgram = [this](int code) {
            exitCodes.append(code);
            throw ProgramEnded{code};
        };
    }
    ~ErrorFrameHarness() { QDir::setCurrent(previousDir); }

    /// Queues the answers of the next boxes.
    void answer(const QList<int> &answers)
    {
        for (int a : answers)
            dialogs.answers.enqueue(a);
    }

    QByteArray file(const QString &name) const
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool exists(const QString &name) const { return QFile::exists(dir.filePath(name)); }
};

/// An error that the handler does not settle silently.
inline runtime::RuntimeError shownError(bool canRetry = true, bool canDefault = true)
{
    runtime::RuntimeError error;
    error.genCode = 99;
    error.description = QStringLiteral("Something failed");
    error.canRetry = canRetry;
    error.canDefault = canDefault;
    error.thread = 4321;
    return error;
}

} // namespace framla::test
