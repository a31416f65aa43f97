#include "files.h"

#include "text.h"

#include <algorithm>
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

bool isDirectory(const std::string &path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool mayWriteIn(const std::string &dir, std::string *owner)
{
    struct stat st{};
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
    struct stat st{};
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
        struct stat st{};
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
    struct stat st{};
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
