#include "setup.h"

#include "config.h"
#include "files.h"
#include "table.h"
#include "text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>

namespace framaid {

namespace {

struct Needed {
    const char *path;
    const char *purpose;
};

// In the order they are made. Inventory groups (images/AB/ ...) are the
// shop's to open; images/F/ holds the raw materials.
constexpr Needed kDirectories[] = {
    {"jtemp", "the accounts' reply directories"},
    {"shuttle", "data files sent from the desktop"},
    {"images", "the pictures"},
    {"images/ssr", "suppliers' pictures"},
    {"images/ssr/0", "pictures not tied to one supplier"},
    {"images/cust", "customers' pictures"},
    {"images/ord", "service order pictures"},
    {"images/F", "raw material pictures"},
};

constexpr mode_t kJtempMode = 01777;
constexpr const char *kProbeFile = "framla.ok";
constexpr const char *kProbeText = "Framla database directory\n";
constexpr const char *kNotFollowed = "a symbolic link in a directory that other accounts may "
                                     "write; framaid run as root does not follow it";

std::string octal(mode_t m)
{
    char text[8];
    std::snprintf(text, sizeof text, "%o", static_cast<unsigned>(m & 07777));
    return text;
}

std::string cleanDbDir(std::string db)
{
    while (db.size() > 1 && db.back() == '/')
        db.pop_back();
    return db;
}

class Setup {
public:
    Setup(std::string db, std::FILE *out, const struct stat &dbStat, bool giveAway)
        : db_(std::move(db))
        , out_(out)
        , dbStat_(dbStat)
        , giveAway_(giveAway)
    {
        // Directories shared by the shop's group stay shared.
        dirMode_ = (dbStat.st_mode & S_IWGRP) ? 02775 : 0755;
    }

    void directory(const std::string &rel, bool exactMode)
    {
        const mode_t mode = exactMode ? kJtempMode : dirMode_;
        const std::string shown = rel + "/";
        const Parent parent = openParent(rel);
        if (!parent.refused.empty())
            return failed(shown + ": " + parent.refused);
        const char *leaf = parent.leaf.c_str();
        struct stat st {};
        if (::fstatat(parent.fd, leaf, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                return failed(shown + ": cannot be reached: " + std::strerror(errno));
            if (::mkdirat(parent.fd, leaf, 0700) != 0)
                return failed(shown + ": cannot be made: " + std::strerror(errno));
            const int fd =
                ::openat(parent.fd, leaf, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            const std::string error = fd < 0 ? std::strerror(errno) : give(fd, mode);
            if (fd >= 0)
                ::close(fd);
            if (!error.empty())
                return failed(shown + ": made, but its owner and mode could not be set: " + error);
            return changed(shown + ": made (mode " + octal(mode) + ")");
        }
        if (S_ISLNK(st.st_mode)) {
            if (parent.othersMayWrite)
                return failed(shown + ": " + kNotFollowed);
            struct stat target {};
            const bool reached = ::fstatat(parent.fd, leaf, &target, 0) == 0;
            if (!reached && errno == EACCES)
                return failed(shown + ": a symbolic link that " + ownerName(::geteuid()) +
                              " may not follow: " + std::strerror(errno));
            if (!reached || !S_ISDIR(target.st_mode))
                return failed(shown + ": a symbolic link that leads to no directory is in the way");
            if (exactMode && (target.st_mode & 07777) != mode)
                return failed(
                    shown + ": a symbolic link to a directory of mode " + octal(target.st_mode) +
                    "; framaid sets no mode through a link, and it must be " + octal(mode));
            return same(shown + ": in order (a symbolic link to a directory)");
        }
        if (!S_ISDIR(st.st_mode))
            return failed(shown + ": something that is not a directory is in the way");
        if (exactMode && (st.st_mode & 07777) != mode) {
            const int fd =
                ::openat(parent.fd, leaf, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            const bool set = fd >= 0 && ::fchmod(fd, mode) == 0;
            const std::string why = std::strerror(errno);
            if (fd >= 0)
                ::close(fd);
            if (!set)
                return failed(shown + ": has mode " + octal(st.st_mode) +
                              ", and it cannot be set to " + octal(mode) + ": " + why);
            return changed(shown + ": mode set to " + octal(mode) + " (it was " +
                           octal(st.st_mode) + ")");
        }
        same(shown + ": in order");
    }

    void file(const std::string &rel, const std::string &text, const std::string &what)
    {
        const Parent parent = openParent(rel);
        if (!parent.refused.empty())
            return failed(rel + ": " + parent.refused);
        const char *leaf = parent.leaf.c_str();
        struct stat st {};
        if (::fstatat(parent.fd, leaf, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            struct stat target {};
            if (S_ISLNK(st.st_mode) && parent.othersMayWrite)
                return failed(rel + ": " + kNotFollowed);
            if (::fstatat(parent.fd, leaf, &target, 0) != 0 || !S_ISREG(target.st_mode))
                return failed(rel + ": something that is not a plain file is in the way");
            return same(rel + ": there already, left as it is");
        }
        if (errno != ENOENT)
            return failed(rel + ": cannot be reached: " + std::strerror(errno));
        const int fd =
            ::openat(parent.fd, leaf, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return failed(rel + ": cannot be made: " + std::strerror(errno));
        std::string error;
        if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            error = std::strerror(errno);
        if (error.empty())
            error = give(fd, 0644);
        if (::close(fd) != 0 && error.empty())
            error = std::strerror(errno);
        if (!error.empty()) {
            ::unlinkat(parent.fd, leaf, 0);
            return failed(rel + ": cannot be written: " + error);
        }
        changed(rel + ": made, " + what);
    }

    int finish()
    {
        if (failures_)
            line(std::to_string(failures_) + (failures_ == 1 ? " step" : " steps") +
                 " could not be done.");
        else if (changes_ == 0)
            line("Nothing changed: the database directory was prepared already.");
        else
            line("Done: " + std::to_string(changes_) + (changes_ == 1 ? " change" : " changes") +
                 ".");
        line("\"framaid --check " + db_ + "\" tells whether the tables fit.");
        return failures_ ? 1 : 0;
    }

private:
    void line(const std::string &text) { std::fprintf(out_, "%s\n", text.c_str()); }
    void changed(const std::string &text)
    {
        ++changes_;
        line(text);
    }
    void same(const std::string &text) { line(text); }
    void failed(const std::string &text)
    {
        ++failures_;
        line(text);
    }

    // The directory that holds rel's last part, reached one part at a time.
    // Root follows no symbolic link that lies in a directory another account
    // may write (a shop's group-writable folders): a group mate could have
    // planted it to make root create or change things wherever it leads.
    struct Parent {
        int fd = -1;
        std::string leaf;
        std::string refused;
        bool othersMayWrite = false; // root, in a directory others may write
        Parent() = default;
        Parent(Parent &&other) noexcept
            : fd(std::exchange(other.fd, -1))
            , leaf(std::move(other.leaf))
            , refused(std::move(other.refused))
            , othersMayWrite(other.othersMayWrite)
        {}
        ~Parent()
        {
            if (fd >= 0)
                ::close(fd);
        }
    };

    bool othersMayWrite(int fd) const
    {
        struct stat st {};
        return ::geteuid() == 0 &&
               (::fstat(fd, &st) != 0 || (st.st_uid != 0 || (st.st_mode & 022) != 0));
    }

    Parent openParent(const std::string &rel) const
    {
        Parent p;
        p.fd = ::open(db_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (p.fd < 0) {
            p.refused = std::string("cannot be reached: ") + std::strerror(errno);
            return p;
        }
        std::size_t start = 0;
        for (std::size_t slash; (slash = rel.find('/', start)) != std::string::npos;
             start = slash + 1) {
            const std::string part = rel.substr(start, slash - start);
            const bool shared = othersMayWrite(p.fd);
            struct stat st {};
            const bool link =
                ::fstatat(p.fd, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
            if (link && shared) {
                p.refused = "lies beyond " + rel.substr(0, slash) + "/, which is " + kNotFollowed;
                return p;
            }
            const int next = ::openat(p.fd, part.c_str(),
                                      O_RDONLY | O_DIRECTORY | O_CLOEXEC | (link ? 0 : O_NOFOLLOW));
            if (next < 0) {
                p.refused = std::string("cannot be reached: ") + std::strerror(errno);
                return p;
            }
            ::close(p.fd);
            p.fd = next;
        }
        p.leaf = rel.substr(start);
        p.othersMayWrite = othersMayWrite(p.fd);
        return p;
    }

    // What root makes belongs to the database directory's owner and group,
    // so that the shop's accounts can use it.
    std::string give(int fd, mode_t mode) const
    {
        if (giveAway_ && ::fchown(fd, dbStat_.st_uid, dbStat_.st_gid) != 0)
            return std::strerror(errno);
        if (::fchmod(fd, mode) != 0)
            return std::strerror(errno);
        return {};
    }

    std::string db_;
    std::FILE *out_;
    struct stat dbStat_;
    bool giveAway_; // started by root
    mode_t dirMode_;
    int changes_ = 0;
    int failures_ = 0;
};

class Report {
public:
    explicit Report(std::FILE *out)
        : out_(out)
    {}
    void ok(const std::string &text) { line("ok       ", text); }
    void missing(const std::string &text)
    {
        ++problems_;
        line("MISSING  ", text);
    }
    void wrong(const std::string &text)
    {
        ++problems_;
        line("WRONG    ", text);
    }
    // What mends the problem just reported.
    void fix(const std::string &text) { line("         fix: ", text); }
    int problems() const { return problems_; }
    void line(const char *mark, const std::string &text)
    {
        std::fprintf(out_, "%s%s\n", mark, text.c_str());
    }

private:
    std::FILE *out_;
    int problems_ = 0;
};

struct TableCheck {
    const char *key;  // its key in framaid.conf ("items")
    const char *what; // "item"
    const TableConfig *table;
    std::vector<std::pair<std::string, std::string>> fields; // key in framaid.conf, field
};

void checkTable(const std::string &db, const TableCheck &c, Report &report)
{
    const std::string name = std::string("the ") + c.what + " table " + c.table->file;
    const TableResult t = findRecords(db, c.table->file, {}, {}, 0);
    switch (t.state) {
    case TableState::Ok:
        break;
    case TableState::Missing:
        return report.missing(name + " (or name the right one in framaid.conf: " + c.key +
                              " = ...)");
    case TableState::Unreadable:
        return report.wrong(name + " cannot be read (" + t.detail + ")");
    default:
        return report.wrong(name + " is damaged: " + t.detail);
    }
    std::string list;
    bool complete = true;
    for (const auto &[key, field] : c.fields) {
        const TableResult f = findRecords(db, t.file, {}, {field}, 0);
        if (f.state == TableState::NoField) {
            complete = false;
            report.wrong(name + " has no field " + field +
                         " (or name the right one in framaid.conf: " + key + " = ...)");
        } else if (f.state != TableState::Ok) {
            complete = false;
            report.wrong(name + " could not be read for its field " + field + ": " + f.detail);
        } else if (list.find(" " + field + ",") == std::string::npos) {
            list += " " + field + ",";
        }
    }
    if (complete && !list.empty()) {
        list.pop_back();
        report.ok(std::string("the ") + c.what + " table " + t.file + ", with the fields" + list);
    }
}

std::vector<std::pair<std::string, std::string>>
fieldsOf(const std::string &key, const TableConfig &t, const char *keyName, const char *nameName)
{
    std::vector<std::pair<std::string, std::string>> f{{key + "." + keyName, t.key},
                                                       {key + "." + nameName, t.name}};
    for (const std::string &s : t.show)
        f.emplace_back(key + ".show", s);
    return f;
}

int prepare(const std::string &db, std::FILE *out, const struct stat &st, bool giveAway)
{
    Setup setup(db, out, st, giveAway);
    for (const Needed &d : kDirectories)
        setup.directory(d.path, std::string(d.path) == "jtemp");
    setup.file(kProbeFile, kProbeText, "the file the desktop's settings test fetches");
    setup.file("framaid.conf", defaultConfigText(), "spelling out the default tables and fields");
    return setup.finish();
}

// Takes the owner's user, the database directory's group and the owner's
// other groups, for good: nothing done after it can go back to root.
std::string becomeOwner(const struct stat &st, const passwd *owner)
{
    const int groups = owner ? ::initgroups(owner->pw_name, st.st_gid) : ::setgroups(1, &st.st_gid);
    if (groups != 0 || ::setresgid(st.st_gid, st.st_gid, st.st_gid) != 0 ||
        ::setresuid(st.st_uid, st.st_uid, st.st_uid) != 0)
        return std::strerror(errno);
    return {};
}

// A path as a shell command takes it.
std::string quoted(const std::string &path)
{
    if (path.find_first_not_of(
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/._+-") ==
        std::string::npos)
        return path;
    std::string q = "'";
    for (const char c : path)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string groupName(gid_t gid)
{
    const group *g = ::getgrgid(gid);
    return g && g->gr_name ? std::string(g->gr_name) : std::to_string(gid);
}

bool inGroup(gid_t gid)
{
    std::vector<gid_t> groups(std::max(::getgroups(0, nullptr), 0));
    groups.resize(std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0));
    return ::getegid() == gid || std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// The commands that let this account write in a directory: the directory
// goes to the shop's group (the database directory's), that group may write
// there, and the account belongs to it.
std::string grantWrite(const std::string &path, const struct stat &st, gid_t shopGid)
{
    const std::string shop = groupName(shopGid);
    const std::string me = loginName();
    if (st.st_uid == ::geteuid())
        return "chmod u+wx " + quoted(path);
    std::vector<std::string> steps;
    if (st.st_gid != shopGid)
        steps.push_back("chgrp " + shop + " " + quoted(path));
    if ((st.st_mode & (S_IWGRP | S_IXGRP)) != (S_IWGRP | S_IXGRP))
        steps.push_back("chmod g+wx " + quoted(path));
    if (!inGroup(shopGid))
        steps.push_back("usermod -aG " + shop + " " + me);
    if (steps.empty())
        return "the group " + shop + " may write in " + path + " and " + me +
               " is in it: look for an access "
               "control list or a read-only mount that keeps " +
               me + " out";
    std::string fix = "as root: ";
    for (const std::string &step : steps)
        fix += (&step == &steps.front() ? "" : " && ") + step;
    return fix + (inGroup(shopGid) ? "" : " (" + me + " logs in again afterwards)");
}

// A directory Framla needs: there, a directory, and one this account may
// write (images/ itself it only reads).
void checkDirectory(const std::string &db, const std::string &rel, const std::string &purpose,
                    gid_t shopGid, Report &report)
{
    const std::string path = db + "/" + rel;
    struct stat st {};
    std::string owner;
    if (::stat(path.c_str(), &st) != 0) {
        report.missing(rel + "/ (" + purpose + ")");
        report.fix("framaid --setup " + quoted(db) +
                   " (as the owner of the database directory, or root)");
    } else if (!S_ISDIR(st.st_mode)) {
        report.wrong(rel + "/ is not a directory");
        report.fix("move it out of the way, then run framaid --setup " + quoted(db));
    } else if (rel != "images" && !mayWriteIn(path, &owner)) {
        report.wrong(rel + "/ cannot be written by " + ownerName(::geteuid()) + " (it belongs to " +
                     owner + ", mode " + octal(st.st_mode) + "), so " + purpose +
                     " cannot be put there");
        report.fix(grantWrite(path, st, shopGid));
    } else {
        report.ok(rel + "/ (" + purpose + ")");
    }
}

// The item groups' picture directories: every directory in images/ with a
// plain name that is not one of the fixed ones (images/AB/ ...).
std::vector<std::string> groupDirectories(const std::string &db)
{
    std::vector<std::string> groups;
    if (DIR *d = ::opendir((db + "/images").c_str())) {
        while (const dirent *e = ::readdir(d)) {
            const std::string name = e->d_name;
            struct stat st {};
            const bool fixed =
                std::any_of(std::begin(kDirectories), std::end(kDirectories),
                            [&](const Needed &n) { return "images/" + name == n.path; });
            if (isSafeName(name) && !fixed && ::stat((db + "/images/" + name).c_str(), &st) == 0 &&
                S_ISDIR(st.st_mode))
                groups.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(groups.begin(), groups.end());
    return groups;
}

} // namespace

int setupDatabase(const std::string &dbDir, std::FILE *out)
{
    const std::string db = cleanDbDir(dbDir);
    struct stat st {};
    if (db.empty() || ::stat(db.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(out,
                     "%s is not a directory: framaid prepares an existing database directory.\n",
                     db.c_str());
        return 1;
    }
    if (::geteuid() != 0 || st.st_uid == 0)
        return prepare(db, out, st, ::geteuid() == 0);
    // Root prepares another account's database as that account, in a child
    // process that has given up root. Every link and directory on the way
    // is the owner's to change, so root would make what the owner asks
    // wherever a link the owner planted leads (images/ as a link to /etc);
    // as the owner, the kernel refuses whatever that account may not do.
    // The child leaves the caller's process as it was.
    const std::string owner = ownerName(st.st_uid);
    const passwd *account = ::getpwuid(st.st_uid);
    std::fflush(out);
    const pid_t child = ::fork();
    const std::string why = child < 0    ? std::strerror(errno)
                            : child == 0 ? becomeOwner(st, account)
                                         : "";
    if (child <= 0 && !why.empty())
        std::fprintf(out,
                     "framaid --setup cannot work as %s, the owner of %s (%s): nothing was done.\n",
                     owner.c_str(), db.c_str(), why.c_str());
    if (child < 0)
        return 1;
    if (child == 0) {
        if (why.empty())
            std::fprintf(out,
                         "framaid --setup works as %s, the owner of %s: it makes only what that "
                         "account may make.\n",
                         owner.c_str(), db.c_str());
        const int code = why.empty() ? prepare(db, out, st, true) : 1;
        std::fflush(out);
        ::_exit(code);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

int checkDatabase(const std::string &dbDir, std::FILE *out)
{
    const std::string db = cleanDbDir(dbDir);
    Report report(out);
    if (db.empty() || !isDirectory(db)) {
        report.missing("the database directory " + db);
        return 1;
    }

    const Config cfg = loadConfig(db);
    struct stat st {};
    if (::stat((db + "/framaid.conf").c_str(), &st) != 0)
        report.ok("framaid.conf: none, so framaid reads its default tables and fields");
    else if (cfg.problems.empty())
        report.ok("framaid.conf");
    for (const std::string &p : cfg.problems)
        report.wrong("framaid.conf: " + p + " is not understood");

    auto items = fieldsOf("items", cfg.items, "code", "desc");
    items.insert(items.end(), {{"items.supplier", cfg.itemSupplier},
                               {"items.ssr", cfg.itemSsr},
                               {"items.tag", cfg.itemTag}});
    auto orders = fieldsOf("orders", cfg.orders, "number", "desc");
    orders.emplace_back("orders.customer", cfg.orderCustomer);
    const TableCheck tables[] = {
        {"items", "item", &cfg.items, items},
        {"suppliers", "supplier", &cfg.suppliers,
         fieldsOf("suppliers", cfg.suppliers, "account", "name")},
        {"customers", "customer", &cfg.customers,
         fieldsOf("customers", cfg.customers, "account", "name")},
        {"orders", "service order", &cfg.orders, orders},
    };
    for (const TableCheck &t : tables)
        checkTable(db, t, report);

    const std::string me = loginName();
    const gid_t shopGid = ::stat(db.c_str(), &st) == 0 ? st.st_gid : ::getegid();
    const std::string jtemp = db + "/jtemp";
    for (const Needed &d : kDirectories) {
        if (std::string(d.path) == "jtemp" && ::stat(jtemp.c_str(), &st) == 0 &&
            S_ISDIR(st.st_mode) && (st.st_mode & 07777) != kJtempMode) {
            if (othersMaySwap(st.st_mode))
                report.wrong("jtemp/ has mode " + octal(st.st_mode) +
                             ": other accounts may write there without the sticky bit, so one "
                             "could swap another's reply directory for its own; framaid "
                             "writes no reply there until it is 1777");
            else
                report.wrong("jtemp/ has mode " + octal(st.st_mode) +
                             "; it must be 1777, so that every account can make its "
                             "reply directory there and none can remove another's");
            report.fix("chmod 1777 " + quoted(jtemp) +
                       " (as its owner or root; framaid --setup sets it too)");
        } else {
            checkDirectory(db, d.path, d.purpose, shopGid, report);
        }
    }
    const std::vector<std::string> groups = groupDirectories(db);
    for (const std::string &g : groups)
        checkDirectory(db, "images/" + g, "pictures of the item group " + g, shopGid, report);
    if (groups.empty() && isDirectory(db + "/images")) {
        report.missing(
            "images/<group>/ for the item groups: there is none, so no item's picture can be put");
        report.fix("mkdir " + quoted(db + "/images") +
                   "/AB, one for each group of the item codes (AB12345 is in "
                   "group AB), as the owner of the database directory");
    }

    const std::string probe = db + "/" + kProbeFile;
    if (::stat(probe.c_str(), &st) != 0) {
        report.missing(std::string(kProbeFile) + " (the file the desktop's settings test fetches)");
        report.fix("framaid --setup " + quoted(db) +
                   " (as the owner of the database directory, or root)");
    } else if (!S_ISREG(st.st_mode) || ::access(probe.c_str(), R_OK) != 0) {
        report.wrong(std::string(kProbeFile) + " is not a plain file this account may read");
        report.fix("chmod a+r " + quoted(probe) + " (as its owner or root)");
    } else {
        report.ok(kProbeFile);
    }

    // This account's reply directory, judged as a look-up judges it; a jtemp/
    // others may swap it in was named above.
    if (isSafeName(me) && ::lstat((db + "/jtemp/" + me).c_str(), &st) == 0) {
        const OwnDirectory own = openOwnDirectory(db + "/jtemp", me, false);
        if (own.state == OwnDirectory::Ok) {
            ::close(own.fd);
            report.ok("jtemp/" + me + "/ (the replies to " + me + ")");
        } else if (own.state != OwnDirectory::UnsafeParent) {
            report.wrong(own.problem + ", so framaid writes no reply there");
        }
    }

    if (report.problems() == 0)
        report.line("", "All is well.");
    else
        report.line("", std::to_string(report.problems()) +
                            (report.problems() == 1 ? " problem" : " problems") +
                            " found. A \"fix:\" line says what mends the problem above it; tables "
                            "and fields are "
                            "the shop's to provide, or to name in framaid.conf.");
    return report.problems() == 0 ? 0 : 1;
}

} // namespace framaid
