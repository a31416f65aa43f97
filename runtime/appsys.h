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

/// The table drivers and the date format. No routine opens a table, so no
/// driver is set up; dates are written "mm/dd/yy" (see DTOC).
void DBESYS();

/// The application's own set-up hook: empty.
void APPSYS();

/// The exit routine: closes every open table. None is ever open, so there is
/// nothing to close; it stays the one place for work at exit.
void AppExit();

/// Registers AppExit to run when the program ends normally.
void registerAppExit();

/// Ends the program at once with the given exit code, after AppExit. Safe on
/// a worker thread: no static destructors run while the UI thread still works.
[[noreturn]] void endProgram(int exitCode);

/// A date in the date format: "mm/dd/yy", or "mm/dd/yyyy" with the century.
QString DTOC(const QDate &date, bool century = false);

} // namespace framla::runtime
