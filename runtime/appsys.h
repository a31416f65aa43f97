#pragma once

#include <QDate>
#include <QString>

namespace framla {
struct ProgramState;
}

namespace framla::runtime {

/// Makes StandardEH the handler for every run-time error: the application's
/// event dispatch hands the errors it catches to it with this state, and a
/// state without an exit service gets endProgram.
void ErrorSys(ProgramState &state);

/// Ends the program at once with the given exit code, output flushed. Safe on
/// a worker thread: no static destructors run while the UI thread still works.
[[noreturn]] void endProgram(int exitCode);

/// A date in the date format: "mm/dd/yy", or "mm/dd/yyyy" with the century.
QString DTOC(const QDate &date, bool century = false);

} // namespace framla::runtime
