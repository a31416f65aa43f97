// Small text helpers shared by framaid's parts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace framaid {

std::string trim(std::string_view s);
std::string upper(std::string_view s);
std::string lower(std::string_view s);
bool equalsNoCase(std::string_view a, std::string_view b);
bool endsWithNoCase(std::string_view s, std::string_view suffix);
bool allDigits(std::string_view s);
std::vector<std::string> split(std::string_view s, char sep);

// Value of the leading digits of a text (0 when it does not start with a
// digit), the way the desktop program reads numbers out of codes.
long leadingValue(std::string_view s);

// A name that may be used as one path component and as one word of a remote
// command: letters, digits, "-", "_" and ".", not starting with "." and
// without "..". Length 1..maxLength.
bool isSafeName(std::string_view s, std::size_t maxLength = 64);

// A code or file name as the desktop program may send it (one quoted word of
// a remote command): printable ASCII without blanks, "/", "\\", quotes
// (' and "), not starting with "." or "-", without "..". Length 1..maxLength.
// The desktop program refuses exactly the names this refuses.
bool isRequestName(std::string_view s, std::size_t maxLength = 64);

// The same rule as isSafeName for a relative path of such names joined by "/".
bool isSafeRelativePath(std::string_view s);

// Text taken from the shop's tables, made fit for one line of the reply:
// control characters become blanks, runs of blanks are kept, and phrases that
// the desktop program reads as marks are broken up so that data can never
// pose as a mark.
std::string neutralise(std::string_view s);

// Bytes in the tables' code page, as UTF-8 (unknown bytes become "?").
std::string toUtf8(std::string_view s, const std::string &codePage);

// A value for a reply line that came from an argument: anything outside
// printable ASCII becomes "?" (blanks stay), and the result is cut to 40
// characters.
std::string printable(std::string_view s);

} // namespace framaid
