#pragma once

// What of the events the application delivers is the operator's input: the
// one classification that the blocking routines (which hold keys and drop
// the rest) and the crop marking (which takes the pointer and drops the
// rest) share.

class QEvent;

namespace framla::runtime {

enum class InputKind {
    None,    ///< no input of the operator's: painting, timers, focus, hover ...
    Key,     ///< a key, a shortcut made of keys, or typed text
    Pointer, ///< a button, motion, the wheel, touch, a tablet, a gesture, a drag
    Close,   ///< the window's close box (a close the program asks for is no input)
};

/// The kind of operator input an event is. The question a key press puts to
/// the focused control before shortcuts are tried (ShortcutOverride) is not
/// input of its own: the key and any shortcut it makes are. Hover events are
/// the style's tracking of where the pointer is, not input either: dropping
/// one would leave a button lit.
InputKind inputKind(const QEvent &event);

} // namespace framla::runtime
