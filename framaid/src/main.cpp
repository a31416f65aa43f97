// framaid: answers the desktop program's questions about the shop database.
//
//   framaid OUTDIR CODE TOKEN          look-up of a code
//   framaid OUTDIR FILE TOKEN SUBDIR   check of a file in a sub-directory
//   framaid --setup DBPATH             prepares a database directory
//   framaid --check DBPATH             reports what a database directory lacks
//   framaid --version                  the version and the build, as framla --version
//
// OUTDIR is <database>/jtemp/<user>; the reply goes to OUTDIR/framla.tmp,
// and once it is there kWrittenLine goes to standard output.
// Exit codes: 0 reply written; 2 request refused (a reply says why) or wrong
// number of arguments; 3 OUTDIR unusable (no reply); 4 reply not written;
// 5 OUTDIR not safe: a symbolic link, another account's directory, one
// that others may write, or one in a jtemp that others may write without
// the sticky bit (no reply). Without a reply, what went wrong is one
// line on standard error that begins with "framaid: ".
// --setup and --check: 0 all is well; 1 a step failed, or something is
// missing or wrong.
#include "answer.h"
#include "files.h"
#include "reply.h"
#include "setup.h"
#include "text.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#ifndef FRAMLA_VERSION
#define FRAMLA_VERSION "unknown"
#endif
#ifndef FRAMLA_BUILD
#define FRAMLA_BUILD "unknown"
#endif

namespace {

using namespace framaid;

constexpr int kOk = 0;
constexpr int kRefused = 2;
constexpr int kBadOutdir = 3;
constexpr int kNotWritten = 4;
constexpr int kUnsafeOutdir = 5;

std::string parentOf(const std::string &p)
{
    const std::size_t slash = p.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return p.substr(0, slash);
}

std::string baseOf(const std::string &p)
{
    const std::size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

// Checks OUTDIR (<db>/jtemp/<user>), finds the database directory, and opens
// the user's directory, made when jtemp is there and it is missing. jtemp is
// open to every account, so what sits there is taken only when it is this
// account's own directory that no other may write. Returns kOk with outdirFd
// open, or kBadOutdir / kUnsafeOutdir with what is wrong in problem.
int prepareOutdir(std::string outdir, std::string &dbDir, std::string &cleanOutdir, int &outdirFd,
                  std::string &problem)
{
    while (outdir.size() > 1 && outdir.back() == '/')
        outdir.pop_back();
    problem = [&]() -> std::string {
        if (outdir.empty() || outdir.size() > 1000)
            return "no reply directory given";
        for (char c : outdir)
            if (static_cast<unsigned char>(c) < 0x20)
                return "the reply directory's name holds control characters";
        for (const std::string &part : split(outdir, '/'))
            if (part == "..")
                return "the reply directory's name holds \"..\"";
        if (!isSafeName(baseOf(outdir)))
            return "the reply directory's last part is not a plain name";
        const std::string jtemp = parentOf(outdir);
        if (baseOf(jtemp) != "jtemp")
            return "the reply directory must be <database>/jtemp/<user>";
        if (!isDirectory(jtemp))
            return jtemp + " is not a directory";
        dbDir = parentOf(jtemp);
        if (!isDirectory(dbDir))
            return dbDir + " is not a directory";
        return {};
    }();
    if (!problem.empty())
        return kBadOutdir;
    const OwnDirectory own = openOwnDirectory(parentOf(outdir), baseOf(outdir), true);
    if (own.state != OwnDirectory::Ok) {
        problem = own.problem;
        return own.state == OwnDirectory::Unusable ? kBadOutdir : kUnsafeOutdir;
    }
    cleanOutdir = outdir;
    outdirFd = own.fd;
    return kOk;
}

bool acceptableToken(const std::string &t)
{
    if (t.empty() || t.size() > 32)
        return false;
    for (char c : t)
        if (c < 0x21 || c > 0x7e)
            return false;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 3 && first == "--setup")
        return setupDatabase(argv[2], stdout);
    if (argc == 3 && first == "--check")
        return checkDatabase(argv[2], stdout);
    if (argc == 2 && first == "--version") {
        std::printf("framaid %s (build %s)\n", FRAMLA_VERSION, FRAMLA_BUILD);
        return kOk;
    }
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: framaid OUTDIR CODE TOKEN\n"
                             "       framaid OUTDIR FILE TOKEN SUBDIR\n"
                             "       framaid --setup DBPATH\n"
                             "       framaid --check DBPATH\n"
                             "       framaid --version\n");
        return kRefused;
    }
    std::string dbDir;
    std::string outdir;
    std::string problem;
    int outdirFd = -1;
    const int outdirState = prepareOutdir(argv[1], dbDir, outdir, outdirFd, problem);
    if (outdirState != kOk) {
        std::fprintf(stderr, "framaid: %s; no reply is written\n", problem.c_str());
        return outdirState;
    }

    const std::string subject = argv[2];
    const std::string token = argv[3];
    const bool fileCheck = argc == 5;
    std::string subdir = fileCheck ? argv[4] : "";
    while (subdir.size() > 1 && subdir.back() == '/')
        subdir.pop_back();

    // A token we cannot repeat safely gets a reply that matches no request.
    Reply reply(acceptableToken(token) ? token : "?");
    // The reply names what it answers, so that the desktop program does not
    // take a reply to another request that happened to carry the same token.
    if (isRequestName(subject, fileCheck ? 64 : 40))
        reply.request(subject);
    int code = kOk;
    if (!acceptableToken(token)) {
        reply.line("Request refused: the request token is not acceptable.");
        code = kRefused;
    } else if (!isRequestName(subject, fileCheck ? 64 : 40)) {
        reply.line("Request refused: \"" + printable(subject) + "\" is not a " +
                   (fileCheck ? "file name" : "code") +
                   " framaid accepts (no blanks, slashes, quotes, \"..\", accented or control "
                   "characters, not"
                   " starting with \".\" or \"-\").");
        reply.line("Nothing can be filed under it: no pre-existing group.");
        code = kRefused;
    } else if (fileCheck && !isSafeRelativePath(subdir)) {
        reply.line("Request refused: \"" + printable(subdir) +
                   "\" is not a directory framaid reports on.");
        reply.line("Nothing can be filed there: no pre-existing group.");
        code = kRefused;
    } else {
        Context ctx{dbDir, loadConfig(dbDir)};
        if (fileCheck) {
            if (!answerFile(ctx, subject, subdir, reply)) {
                reply.line("Nothing can be filed there: no pre-existing group.");
                code = kRefused;
            }
        } else {
            answerCode(ctx, subject, reply);
        }
        if (!ctx.cfg.problems.empty()) {
            std::string l = "Note: framaid.conf has lines framaid does not understand:";
            for (const std::string &p : ctx.cfg.problems)
                l += " " + p;
            reply.line(l);
        }
    }

    const std::string error = writeReplyFile(outdirFd, outdir, reply.text());
    ::close(outdirFd);
    if (!error.empty()) {
        std::fprintf(stderr, "framaid: %s\n", error.c_str());
        return kNotWritten;
    }
    std::printf("%s\n", kWrittenLine);
    std::fflush(stdout);
    return code;
}
