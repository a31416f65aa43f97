#pragma once

#include <QString>

class QWidget;

namespace framla {
struct ProgramState;
}

namespace framla::ui {

/// Pointer shapes: the wait pointer and the normal one.
inline constexpr int kPointerWait = 3;
inline constexpr int kPointerNormal = 0;

/// The wait pointer over the window (the main window when none is given) and
/// everything in it.
void SHOWBUSY(ProgramState &state, QWidget *window = nullptr);
/// The normal pointer back over the window and everything in it.
void SHOWDONE(ProgramState &state, QWidget *window = nullptr);
/// Set the pointer shape over a window and all its widgets. Safe to call from
/// any thread: off the UI thread the change is posted to it, in call order.
void SHOWCURSOR(ProgramState &state, QWidget *window, int nCursorType);
/// Set the pointer of one element and, recursively, of all its children.
void ShowElem(QWidget *element, const QString &cInclusions, int nCursorType);

} // namespace framla::ui
