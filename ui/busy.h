#pragma once

class QWidget;

namespace framla::ui {

/// Pointer shapes: the wait pointer and the normal one.
inline constexpr int kPointerWait = 3;
inline constexpr int kPointerNormal = 0;

/// The wait pointer over the window (the main window, as the caller gives it)
/// and everything in it. A null window changes nothing.
void SHOWBUSY(QWidget *window);
/// The normal pointer back over the window and everything in it.
void SHOWDONE(QWidget *window);
/// Set the pointer shape over a window and all its widgets. Safe to call from
/// any thread: off the UI thread the change is posted to it, in call order.
void SHOWCURSOR(QWidget *window, int nCursorType);
/// Set the pointer of one element and, recursively, of all its children.
void ShowElem(QWidget *element, int nCursorType);

} // namespace framla::ui
