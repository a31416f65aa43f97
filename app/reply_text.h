#pragma once

#include <QString>

namespace framla::app {

/// At most this many lines of a text go into the description box.
inline constexpr qsizetype kShownLines = 200;
/// A line longer than this is cut to this many characters and "…".
inline constexpr qsizetype kShownLineChars = 400;
/// The last line of a text that was cut to fit the limits.
inline constexpr auto kTextCutNote = "(Too long to show in full: the text was cut short.)";

/// The text the description box shows for a reply or a message: its CR LF
/// line breaks as bare line feeds, its first kShownLines lines, each of at
/// most kShownLineChars characters, and kTextCutNote when anything was left
/// out. A reply is a few short lines, shown as it is; the limits are for a
/// server that answers with a wall of text, which Qt would take minutes to
/// lay out (one long word is broken character by character).
QString shownReplyText(const QString &text);

} // namespace framla::app
