#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace framla {
struct ProgramState;
}

namespace framla::server {

/// What the reply file holds when no reply arrived: it matches no token.
inline constexpr auto kNoReply = "Unknown!";
/// A reply is a few lines; anything larger is not read.
inline constexpr qint64 kReplyLimit = 1024 * 1024;
/// What the reply display says about a reply over the limit.
inline constexpr auto kReplyTooLargeText =
    "The server's reply is larger than 1 MB and was not read.";
/// The last line of every reply of a framaid that says so (kWrittenLine): a
/// reply that does not end with it was cut off on its way.
inline constexpr auto kClosingLine = "<!-- end -->";
/// What framaid prints on its standard output once its reply, ending with the
/// closing line, is in place. An older framaid prints nothing.
inline constexpr auto kWrittenLine = "framaid: reply written; its last line is <!-- end -->";
/// What the reply display says about a reply that lost its end.
inline constexpr auto kReplyCutText =
    "The server's reply was cut off: its closing line is missing.";

/// The local reply file when it is no larger than the limit; nothing when it
/// is missing or too large.
std::optional<QByteArray> readBoundedReply(const QString &path);

/// The local reply file as it lies in the program's directory; empty when
/// there is none or it is over the limit.
QByteArray readReplyFile(const ProgramState &state);

/// True when the reply begins with the whole token.
bool replyMatches(const QByteArray &reply, const QString &token);

/// True when the reply begins with the whole token and, when it names the
/// request it answers (a "<!-- request NAME -->" line), that name is the
/// request: the code looked up, or the file name checked. A reply that names
/// no request (from an older framaid) is judged by its token alone. Whole or
/// cut off: this tells a reply to this request from any other.
bool replyAnswers(const QByteArray &reply, const QString &token, const QString &request);

/// A reply that may be taken: it answers the request (above) and is whole
/// (see replyClosed) when framaid said its reply ends with the closing line
/// (announced), or when the reply names its request: framaid writes the
/// request line only in replies that end with the closing line. Only a reply
/// that names no request, from an older framaid, is taken without it.
bool replyAnswers(const QByteArray &reply, const QString &token, const QString &request,
                  bool announced);

/// True when the reply's last line, ended by a line break, is the closing
/// line, and the closing line is nowhere else: no shorter part of it is whole.
bool replyClosed(const QByteArray &reply);

/// True when a run's standard output has framaid's line saying that its reply
/// ends with the closing line.
bool announcesClosing(const QByteArray &standardOutput);

/// Reply bytes as text: UTF-8 when they are valid UTF-8, else the Windows
/// code page 1252 (Latin-1 with the printable characters of 0x80 to 0x9F), as
/// an older server program or a table's own text may write them.
QString replyString(const QByteArray &bytes);

/// The reply text: everything after the first line.
QString replyText(const QByteArray &reply);

/// The seven-character inventory code a reply names for a longer code (line
/// two with ":" as its eighth character), or "".
QString resolvedCode(const QString &text);

/// Whether the "Show Existing" button belongs with this code and reply text:
/// a supplier's or customer's account number that has pictures on file.
bool showExistingFor(const QString &cCode, const QString &text);

/// Whether a picture may be put for the code the reply describes.
bool okToPut(const QString &text);

/// The shared supplier picture a reply names (the last "images/ssr/" up to
/// "exists on server"), or "" when it names none or the name is not a plain
/// path of the form images/ssr/<account>/<name>.jpg.
QString supplierImagePath(const QString &reply);

/// What a reply says about the target file on the server.
struct WriteMarks {
    bool owned = false; ///< someone else owns it: the logged-in user may not write it
    QString owner;
    bool exists = false; ///< a file of the target name exists
};

/// The marks after the first "<!--" of a reply. The request note names what
/// was asked about and is no mark; "exists" is a mark only as a word of its
/// own, so that a file named "exists.dbf" is not taken for one that exists.
WriteMarks writeMarks(const QString &reply);

} // namespace framla::server
