// What framaid tells about files and directories on the server.
#pragma once

#include <string>
#include <vector>

namespace framaid {

struct FileFacts {
    bool exists = false; // a plain file of that name
    bool other = false;  // something else (a directory ...) under that name
    long long size = 0;
    std::string modified;  // "YYYY-MM-DD HH:MM", local time
    std::string mode;      // "644"
    std::string owner;     // "user=<login name>" (or "user=<uid>")
    bool writable = false; // the logged-in user may put a file there
    std::string denier;    // when not writable: the owner that keeps us out
};

// Facts about dir/name as the logged-in user sees them. A file that does not
// exist is writable when its directory may be written.
FileFacts inspect(const std::string &dir, const std::string &name);

bool isDirectory(const std::string &path);

// Whether the logged-in user may make files in dir; owner gets dir's owner.
bool mayWriteIn(const std::string &dir, std::string *owner);

// The ".jpg" files (letter case ignored) directly in dir, sorted by name.
std::vector<std::string> listPictures(const std::string &dir);

// The name under which dir holds name (letter case ignored), or "".
std::string findNoCase(const std::string &dir, const std::string &name);

// The calling account's private directory parent/name, for its replies.
struct OwnDirectory {
    enum State {
        Ok,       // fd is open on it
        Unusable, // missing and not made, not a directory, or not reachable
        Unsafe,   // a symbolic link, another account's, or writable by others
        // parent may be written by others and has no sticky bit: another
        // account could rename the directory aside and put its own there
        UnsafeParent,
    } state = Unusable;
    int fd = -1;         // open on the directory when Ok; the caller closes it
    std::string problem; // what is wrong, in words, when not Ok
};

// Whether a directory of this mode lets other accounts rename what another
// account keeps in it: group or others may write, and no sticky bit.
bool othersMaySwap(unsigned mode);

// Opens parent/name only when it is a real directory (not a symbolic link)
// owned by the calling account and not writable by group or others, in a
// parent (as reached physically) where no other account may swap it. When
// there is nothing of that name and create is true, it is made with mode 0700.
OwnDirectory openOwnDirectory(const std::string &parent, const std::string &name, bool create);

std::string ownerName(unsigned uid);
std::string loginName();

} // namespace framaid
