// Linked into every gui and e2e test program (tests/CMakeLists.txt): before
// main() makes the application object, the run gets a fresh home of its own,
// so that what Qt keeps there (the file dialog's folders and history in
// QtProject.conf, caches) neither comes from the account's home nor is shared
// with a run beside it. PuTTY's host keys are not affected: the test server
// points PuTTY at a cache of its own (PUTTYDIR). Plain C++ only: this runs
// before Qt is set up and is removed after Qt has been torn down.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include <unistd.h>

namespace {

struct OwnHome {
    std::string path;

    OwnHome()
    {
        const char *tmp = std::getenv("TMPDIR");
        const std::filesystem::path top(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
        removeOrphans(top);
        std::string pattern =
            (top / ("framla-home-" + std::to_string(::getpid()) + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("framla tests: no home of their own");
            std::exit(1);
        }
        path = pattern;
        ::setenv("HOME", path.c_str(), 1);
        const std::pair<const char *, const char *> xdg[] = {{"XDG_CONFIG_HOME", "/.config"},
                                                             {"XDG_CACHE_HOME", "/.cache"},
                                                             {"XDG_DATA_HOME", "/.local/share"},
                                                             {"XDG_STATE_HOME", "/.local/state"}};
        for (const auto &[name, below] : xdg)
            ::setenv(name, (path + below).c_str(), 1);
    }

    /// The homes of runs that were killed (some tests kill a program of
    /// their own on purpose), known by the process number in their name.
    static void removeOrphans(const std::filesystem::path &top)
    {
        std::error_code error;
        std::filesystem::directory_iterator entry(top, error), end;
        for (; !error && entry != end; entry.increment(error)) {
            const std::string name = entry->path().filename().string();
            const pid_t pid = pid_t(std::atol(name.c_str() + 12));
            if (name.rfind("framla-home-", 0) == 0 && pid > 0 && ::kill(pid, 0) != 0 &&
                errno == ESRCH) {
                std::error_code ignored;
                std::filesystem::remove_all(entry->path(), ignored);
            }
        }
    }

    ~OwnHome()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

const OwnHome ownHome;

} // namespace
