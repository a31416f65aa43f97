// The reply file "framla.tmp" and how it is written.
#pragma once

#include <string>
#include <vector>

namespace framaid {

// The last line of every reply. A reader that knows it (framaid says so with
// kWrittenLine) takes a reply without it at its end for one cut off.
inline constexpr const char *kClosingLine = "<!-- end -->";
// What framaid prints on its standard output once its reply is in place; the
// desktop program reads it through plink.
inline constexpr const char *kWrittenLine = "framaid: reply written; its last line is <!-- end -->";

// Layout (CR LF line ends):
//   line 1       the request token, then " framaid"
//   lines 2 ...  the description for the operator
//   last lines   "<!-- ... -->" notes: first "<!-- request CODE -->", the
//                code or file name asked about, then the target file(s),
//                and last the closing line
class Reply {
public:
    explicit Reply(std::string token)
        : token_(std::move(token))
    {}

    void line(const std::string &text) { lines_.push_back(text); }
    void note(const std::string &text) { notes_.push_back(text); }
    // The code or file name the reply answers; a safe name (see isSafeName).
    void request(const std::string &name) { request_ = name; }

    std::string text() const;

private:
    std::string token_;
    std::string request_;
    std::vector<std::string> lines_;
    std::vector<std::string> notes_;
};

// Writes text as framla.tmp in the directory open as dirFd, through a
// temporary file beside it and a rename, so that a reader sees either the old
// reply or the whole new one. shownDir names the directory in messages.
// Returns "" on success, else what went wrong.
std::string writeReplyFile(int dirFd, const std::string &shownDir, const std::string &text);

} // namespace framaid
