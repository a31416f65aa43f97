#include "text.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <iconv.h>

namespace framaid {

std::string trim(std::string_view s)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\0'; };
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

std::string upper(std::string_view s)
{
    std::string r(s);
    for (char &c : r)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

std::string lower(std::string_view s)
{
    std::string r(s);
    for (char &c : r)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && upper(a) == upper(b);
}

bool endsWithNoCase(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && equalsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

bool allDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

std::vector<std::string> split(std::string_view s, char sep)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = s.find(sep, start);
        parts.emplace_back(
            s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos)
            return parts;
        start = at + 1;
    }
}

long leadingValue(std::string_view s)
{
    long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            break;
        if (v > 100000000L)
            break; // far beyond any code we compare against
        v = v * 10 + (c - '0');
    }
    return v;
}

bool isSafeName(std::string_view s, std::size_t maxLength)
{
    if (s.empty() || s.size() > maxLength || s.front() == '.')
        return false;
    if (s.find("..") != std::string_view::npos)
        return false;
    for (char c : s) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (!ok)
            return false;
    }
    return true;
}

bool isRequestName(std::string_view s, std::size_t maxLength)
{
    if (s.empty() || s.size() > maxLength || s.front() == '.' || s.front() == '-')
        return false;
    if (s.find("..") != std::string_view::npos)
        return false;
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || c == '/' || c == '\\' || c == '\'' || c == '"')
            return false;
    }
    return true;
}

bool isSafeRelativePath(std::string_view s)
{
    if (s.empty() || s.size() > 200)
        return false;
    for (const std::string &part : split(s, '/'))
        if (!isSafeName(part))
            return false;
    return true;
}

std::string neutralise(std::string_view s)
{
    std::string r;
    r.reserve(s.size());
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        r.push_back(u < 0x20 || u == 0x7f ? ' ' : c);
    }
    // Each mark, and the same text with a blank added, which no longer matches.
    static const std::array<std::pair<std::string_view, std::string_view>, 8> marks{{
        {"<!--", "<! --"},
        {"-->", "- ->"},
        {"images/ssr/", "images/ ssr/"},
        {"exists on server", "exists on  server"},
        {"no pre-existing group", "no pre-existing  group"},
        {"(no images found)", "(no images  found)"},
        {"is not an existing", "is not an  existing"},
        {"Owned by ", "Owned  by "},
    }};
    for (int round = 0; round < 4; ++round) {
        bool changed = false;
        for (const auto &[mark, broken] : marks) {
            std::size_t at = 0;
            while ((at = r.find(mark, at)) != std::string::npos) {
                r.replace(at, mark.size(), broken);
                at += broken.size();
                changed = true;
            }
        }
        if (!changed)
            break;
    }
    return r;
}

std::string toUtf8(std::string_view s, const std::string &codePage)
{
    bool plain = true;
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            plain = false;
    if (plain)
        return std::string(s);

    iconv_t cd = iconv_open("UTF-8", codePage.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        cd = iconv_open("UTF-8", "CP1252");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        std::string r(s);
        for (char &c : r)
            if (static_cast<unsigned char>(c) >= 0x80)
                c = '?';
        return r;
    }
    std::string out;
    std::string in(s);
    char *inPtr = in.data();
    std::size_t inLeft = in.size();
    std::array<char, 256> buf{};
    while (inLeft > 0) {
        char *outPtr = buf.data();
        std::size_t outLeft = buf.size();
        const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buf.data(), buf.size() - outLeft);
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            out.push_back('?'); // a byte the code page does not define
            ++inPtr;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

std::string printable(std::string_view s)
{
    std::string r;
    for (char c : s.substr(0, 40)) {
        const auto u = static_cast<unsigned char>(c);
        r.push_back(u < 0x20 || u > 0x7e ? '?' : c);
    }
    if (s.size() > 40)
        r += "...";
    return neutralise(r);
}

} // namespace framaid
