#include "reply.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace framaid {

std::string Reply::text() const
{
    std::string t = token_ + " framaid\r\n";
    for (const std::string &l : lines_)
        t += l + "\r\n";
    if (!request_.empty())
        t += "<!-- request " + request_ + " -->\r\n";
    for (const std::string &n : notes_)
        t += "<!-- " + n + " -->\r\n";
    return t + kClosingLine + "\r\n";
}

namespace {

// A name for the temporary file that no other run picks at the same moment.
std::string temporaryName()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char random[8]{};
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        const unsigned long seed =
            static_cast<unsigned long>(::getpid()) ^ static_cast<unsigned long>(::time(nullptr));
        for (std::size_t i = 0; i < sizeof random; ++i)
            random[i] = static_cast<unsigned char>(seed >> (i * 5));
    }
    std::string name = ".framla.tmp.";
    for (unsigned char c : random)
        name += letters[c % (sizeof letters - 1)];
    return name;
}

} // namespace

std::string writeReplyFile(int dirFd, const std::string &shownDir, const std::string &text)
{
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 20 && fd < 0; ++attempt) {
        temp = temporaryName();
        fd = ::openat(dirFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0644);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return std::string("cannot create a file in ") + shownDir + ": " + std::strerror(errno);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const std::string why = std::strerror(errno);
            ::close(fd);
            ::unlinkat(dirFd, temp.c_str(), 0);
            return "cannot write the reply: " + why;
        }
        done += static_cast<std::size_t>(n);
    }
    ::fchmod(fd, 0644);
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const std::string why = std::strerror(errno);
        ::unlinkat(dirFd, temp.c_str(), 0);
        return "cannot write the reply: " + why;
    }
    if (::renameat(dirFd, temp.c_str(), dirFd, "framla.tmp") != 0) {
        const std::string why = std::strerror(errno);
        ::unlinkat(dirFd, temp.c_str(), 0);
        return "cannot put the reply in place: " + why;
    }
    return {};
}

} // namespace framaid
