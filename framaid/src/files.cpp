#include "files.h"

#include "text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace framaid {

std::string ownerName(unsigned uid)
{
    const passwd *pw = ::getpwuid(uid);
    return "user=" + (pw && pw->pw_name ? std::string(pw->pw_name) : std::to_string(uid));
}

std::string loginName()
{
    const passwd *pw = ::getpwuid(::geteuid());
    return pw && pw->pw_name ? std::string(pw->pw_name) : std::to_string(::geteuid());
}

bool othersMaySwap(unsigned mode)
{
    return (mode & (S_IWGRP | S_IWOTH)) != 0 && (mode & S_ISVTX) == 0;
}

OwnDirectory openOwnDirectory(const std::string &parent, const std::string &name, bool create)
{
    OwnDirectory d;
    const std::string shown = parent + "/" + name;
    const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0) {
        d.problem = "cannot open " + parent + ": " + std::strerror(errno);
        return d;
    }
    struct stat st {};
    // The desktop program fetches the reply by its path after framaid has
    // ended: where others may write without the sticky bit, one of them could
    // rename this directory aside and put one of its own, with a reply of its
    // own, in its place.
    if (::fstat(parentFd, &st) != 0) {
        d.problem = "cannot reach " + parent + ": " + std::strerror(errno);
        ::close(parentFd);
        return d;
    }
    if (othersMaySwap(st.st_mode)) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(st.st_mode & 07777));
        d.state = OwnDirectory::UnsafeParent;
        d.problem = parent + " may be written by other accounts and has no sticky bit (mode " +
                    mode + "), so one of them could swap " + shown + " for its own";
        ::close(parentFd);
        return d;
    }
    if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        const int why = errno;
        if (why != ENOENT || !create ||
            (::mkdirat(parentFd, name.c_str(), 0700) != 0 && errno != EEXIST)) {
            d.problem = (why == ENOENT ? "cannot make " : "cannot reach ") + shown + ": " +
                        std::strerror(why == ENOENT && create ? errno : why);
            ::close(parentFd);
            return d;
        }
    }
    // Opened without following a link, then judged by what was opened: what
    // another account may swap in between is never the thing written to.
    const int fd =
        ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int openError = errno;
    const bool isLink = fd < 0 &&
                        ::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                        S_ISLNK(st.st_mode);
    ::close(parentFd);
    if (fd < 0) {
        d.state = isLink ? OwnDirectory::Unsafe : OwnDirectory::Unusable;
        d.problem = isLink ? shown + " is a symbolic link, not a directory of its own"
                           : shown + " cannot be used: " + std::strerror(openError);
        if (openError == ENOTDIR && !isLink)
            d.problem = shown + " is not a directory";
        return d;
    }
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) {
        ::close(fd);
        d.problem = shown + " is not a directory";
        return d;
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%03o", static_cast<unsigned>(st.st_mode & 07777));
    if (st.st_uid != ::geteuid())
        d.problem =
            shown + " belongs to " + ownerName(st.st_uid) + ", not to " + ownerName(::geteuid());
    else if (st.st_mode & (S_IWGRP | S_IWOTH))
        d.problem = shown + " may be written by other accounts (mode " + mode + ")";
    if (!d.problem.empty()) {
        ::close(fd);
        d.state = OwnDirectory::Unsafe;
        return d;
    }
    d.state = OwnDirectory::Ok;
    d.fd = fd;
    return d;
}

bool isDirectory(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool mayWriteIn(const std::string &dir, std::string *owner)
{
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (owner)
        *owner = ownerName(st.st_uid);
    return ::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

FileFacts inspect(const std::string &dir, const std::string &name)
{
    FileFacts f;
    const std::string path = dir + "/" + name;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        f.exists = S_ISREG(st.st_mode);
        f.other = !f.exists;
        f.size = static_cast<long long>(st.st_size);
        char when[32] = "";
        tm local{};
        if (::localtime_r(&st.st_mtime, &local))
            std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
        f.modified = when;
        char mode[8];
        std::snprintf(mode, sizeof mode, "%03o", static_cast<unsigned>(st.st_mode & 0777));
        f.mode = mode;
        f.owner = ownerName(st.st_uid);
        f.writable = f.exists && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
        if (!f.writable)
            f.denier = f.owner;
        return f;
    }
    std::string dirOwner;
    f.writable = mayWriteIn(dir, &dirOwner);
    if (!f.writable)
        f.denier = dirOwner;
    return f;
}

std::vector<std::string> listPictures(const std::string &dir)
{
    std::vector<std::string> names;
    DIR *d = ::opendir(dir.c_str());
    if (!d)
        return names;
    while (dirent *e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n.empty() || n.front() == '.' || !endsWithNoCase(n, ".jpg"))
            continue;
        struct stat st {};
        if (::stat((dir + "/" + n).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.push_back(n);
        if (names.size() > 10000)
            break;
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

std::string findNoCase(const std::string &dir, const std::string &name)
{
    struct stat st {};
    if (::stat((dir + "/" + name).c_str(), &st) == 0)
        return name;
    DIR *d = ::opendir(dir.c_str());
    if (!d)
        return {};
    std::string found;
    while (dirent *e = ::readdir(d)) {
        if (equalsNoCase(e->d_name, name)) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

} // namespace framaid
