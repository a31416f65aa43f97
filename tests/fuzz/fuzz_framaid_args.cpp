// framaid's command line, run whole: a look-up, a file check, --setup or
// --check with arguments and a framaid.conf from the input, in a scratch
// database without tables (so that no table reader is started). The reply
// file is read back and checked.
//
// Input: a byte choosing the request, a byte choosing the account, then
// lines: user, subject, token, subdir; the rest is framaid.conf.
#include "answer.h"
#include "files.h"
#include "reply.h"
#include "setup.h"
#include "text.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// framaid's own main, under another name.
#define main framaid_main
#include "framaid/src/main.cpp"
#undef main

#include "fuzz_input.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <vector>

using framla::fuzz::require;

namespace {

std::string g_db;

std::string cut(const QByteArray &bytes)
{
    return std::string(bytes.constData()); // an argument ends at its first NUL
}

// The names framaid answers for: its own rule, shared with the desktop.
bool plainName(const std::string &s)
{
    return framaid::isRequestName(s);
}

bool goodToken(const std::string &t)
{
    if (t.empty() || t.size() > 32)
        return false;
    for (const char c : t)
        if (c < 0x21 || c > 0x7e)
            return false;
    return true;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void checkReply(const std::string &reply, const std::string &token, const std::string &subject)
{
    require(reply.size() >= 2 && reply.compare(reply.size() - 2, 2, "\r\n") == 0,
            "the reply ends with CR LF");
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < reply.size();) {
        const std::size_t end = reply.find("\r\n", at);
        lines.push_back(reply.substr(at, end - at));
        at = end + 2;
    }
    for (const std::string &line : lines)
        require(line.find_first_of("\r\n") == std::string::npos, "no line holds a line break");
    require(lines.front() == (goodToken(token) ? token : std::string("?")) + " framaid",
            "line 1 is the token (or ?) and framaid");
    bool inNotes = false;
    int requests = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string &line = lines[i];
        if (line.rfind("<!--", 0) == 0)
            inNotes = true;
        if (inNotes)
            require(line.rfind("<!-- ", 0) == 0 && line.size() >= 9 &&
                        line.compare(line.size() - 4, 4, " -->") == 0,
                    "after the first note, only notes");
        if (line.rfind("<!-- request ", 0) == 0) {
            ++requests;
            require(line == "<!-- request " + subject + " -->" && plainName(subject),
                    "the request note names the plain subject");
        }
    }
    require(requests <= 1, "one request note at most");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    std::string root = framla::fuzz::scratchBase() + "/framla-fuzz-framaid-XXXXXX";
    require(::mkdtemp(root.data()) != nullptr, "a scratch directory");
    g_db = root + "/db";
    require(::mkdir(g_db.c_str(), 0755) == 0 && ::mkdir((g_db + "/jtemp").c_str(), 0755) == 0 &&
                ::chmod((g_db + "/jtemp").c_str(), 01777) == 0,
            "the scratch database");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    framla::fuzz::FuzzInput input(data, size);
    const int kind = input.flag() + 2 * input.flag(); // look-up, file check, --setup, --check
    const bool ownAccount = input.flag();
    const std::string typedUser = cut(input.piece());
    const std::string subject = cut(input.piece());
    const std::string token = cut(input.piece());
    const std::string subdir = cut(input.piece());
    const QByteArray conf = input.rest();
    {
        std::ofstream out(g_db + "/framaid.conf", std::ios::binary | std::ios::trunc);
        out.write(conf.constData(), conf.size());
    }

    const std::string user = ownAccount ? std::string("clerk") : typedUser;
    const std::string outdir = g_db + "/jtemp/" + user;
    const std::string replyPath = outdir + "/framla.tmp";
    ::unlink(replyPath.c_str());

    std::vector<std::string> args{"framaid"};
    if (kind >= 2)
        args.insert(args.end(), {kind == 2 ? "--setup" : "--check", g_db});
    else
        args.insert(args.end(), {outdir, subject, token});
    if (kind == 1)
        args.push_back(subdir);
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const int code = framaid_main(static_cast<int>(args.size()), argv.data());

    if (kind >= 2) {
        require(code == 0 || code == 1, "--setup and --check end with 0 or 1");
        return 0;
    }
    require(code == 0 || code == 2 || code == 3 || code == 4 || code == 5,
            "a documented exit code");
    struct stat st {};
    const bool replied = ::stat(replyPath.c_str(), &st) == 0;
    if (code == 3 || code == 5)
        require(!replied, "no reply when the reply directory cannot be used");
    if (code == 0 || code == 2) {
        require(replied, "a reply for every request taken");
        checkReply(readFile(replyPath), token, subject);
    }
    if (code == 0)
        require(goodToken(token) && plainName(subject), "only a plain request is answered");
    // Directories that fuzzed names made go again, so that they do not pile up.
    if (!ownAccount && plainName(user)) {
        ::unlink(replyPath.c_str());
        ::rmdir(outdir.c_str());
    }
    return 0;
}
