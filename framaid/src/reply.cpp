#include "reply.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace framaid {

std::string Reply::text() const
{
    std::string t = token_ + " framaid\r\n";
    for (const std::string &l : lines_)
        t += l + "\r\n";
    for (const std::string &n : notes_)
        t += "<!-- " + n + " -->\r\n";
    return t;
}

std::string writeReplyFile(const std::string &dir, const std::string &text)
{
    std::string temp = dir + "/.framla.tmp.XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return std::string("cannot create a file in ") + dir + ": " + std::strerror(errno);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const std::string why = std::strerror(errno);
            ::close(fd);
            ::unlink(temp.c_str());
            return "cannot write the reply: " + why;
        }
        done += static_cast<std::size_t>(n);
    }
    ::fchmod(fd, 0644);
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(temp.c_str());
        return "cannot write the reply: " + why;
    }
    if (::rename(temp.c_str(), (dir + "/framla.tmp").c_str()) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(temp.c_str());
        return "cannot put the reply in place: " + why;
    }
    return {};
}

} // namespace framaid
