#include "table.h"

#include "files.h"
#include "text.h"

#include <xbase64/xbase64.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace framaid {

namespace {

constexpr int kChildSeconds = 8;

// One line per item on the pipe; values never hold a newline or a tab.
std::string clean(const char *s)
{
    std::string r;
    for (const char *p = s; *p; ++p)
        r.push_back(*p == '\n' || *p == '\r' || *p == '\t' ? ' ' : *p);
    return trim(r);
}

void writeAll(int fd, const std::string &s)
{
    std::size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            _exit(3);
        done += static_cast<std::size_t>(n);
    }
}

// A field's value as text, from the bytes the library hands out for it: up to
// the first NUL, cleaned and trimmed; dates as YYYY-MM-DD, logical fields as
// yes/no; memo text lives in another file and is not needed for a reply.
std::string textOf(char type, const char *bytes, std::size_t length)
{
    if (type == XB_MEMO_FLD)
        return {};
    std::string v = clean(std::string(bytes, ::strnlen(bytes, length)).c_str());
    if (type == XB_DATE_FLD && v.size() == 8 && allDigits(v))
        v = v.substr(0, 4) + "-" + v.substr(4, 2) + "-" + v.substr(6, 2);
    else if (type == XB_LOGICAL_FLD && !v.empty())
        v = (v[0] == 'T' || v[0] == 't' || v[0] == 'Y' || v[0] == 'y') ? "yes" : "no";
    return v;
}

// Whether a field's bytes read as value (in upper case), as
// upper(textOf(...)) == value would say, without building strings: the test
// made for every record of a table.
bool bytesRead(char type, const char *bytes, std::size_t length, const std::string &value)
{
    if (type == XB_MEMO_FLD || type == XB_DATE_FLD || type == XB_LOGICAL_FLD)
        return upper(textOf(type, bytes, length)) == value;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    std::size_t b = 0;
    std::size_t e = ::strnlen(bytes, length);
    while (b < e && blank(bytes[b]))
        ++b;
    while (e > b && blank(bytes[e - 1]))
        --e;
    if (e - b != value.size())
        return false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = blank(bytes[b + i]) ? ' ' : bytes[b + i];
        if (static_cast<char>(std::toupper(static_cast<unsigned char>(c))) != value[i])
            return false;
    }
    return true;
}

// One condition as tested on the records' bytes: the field's place in the
// record and the value sought, in upper case.
struct ByteTest {
    std::size_t offset;
    std::size_t length;
    char type;
    std::string value;
};

// The same, with what rules most records out at a glance: a value written
// from the field's start ends at a known byte, where codes and tags differ.
struct QuickTest {
    ByteTest test;
    bool plain;             // a character or numeric field and a value that fits it
    std::size_t lastAt;     // the value's last character in a record written from the field's start
    unsigned char lastByte; // that character
};

// Each byte as bytesRead compares it: blanks as spaces, in upper case.
struct Folding {
    unsigned char to[256];
    Folding()
    {
        for (int c = 0; c < 256; ++c) {
            const int b = c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
            to[c] = static_cast<unsigned char>(std::toupper(b));
        }
    }
};

// bytesRead for a character or numeric field, made for a pass over every
// record: a value written from the field's start (the usual case) is
// compared from its last character, where codes and tags differ, and ruled
// out in a byte or two. Says true wherever bytesRead does.
bool bytesMatch(const Folding &fold, const ByteTest &t, const char *record)
{
    const std::string &value = t.value;
    if (t.type == XB_MEMO_FLD || t.type == XB_DATE_FLD || t.type == XB_LOGICAL_FLD || value.empty())
        return bytesRead(t.type, record + t.offset, t.length, value);
    const auto *f = reinterpret_cast<const unsigned char *>(record + t.offset);
    const std::size_t n = value.size();
    std::size_t b = 0;
    while (b < t.length && fold.to[f[b]] == ' ')
        ++b;
    if (t.length - b < n)
        return false;
    for (std::size_t i = n; i-- > 0;)
        if (fold.to[f[b + i]] != static_cast<unsigned char>(value[i]) || f[b + i] == '\0')
            return false;
    for (std::size_t j = b + n; j < t.length && f[j] != '\0'; ++j)
        if (fold.to[f[j]] != ' ')
            return false;
    return true;
}

// bytesMatch, ruling out first what a byte or two can: a value that starts at
// the field's first byte must end at lastAt.
inline bool mayMatch(const Folding &fold, const QuickTest &q, const char *record)
{
    const auto *r = reinterpret_cast<const unsigned char *>(record);
    if (q.plain && fold.to[r[q.test.offset]] != ' ' && fold.to[r[q.lastAt]] != q.lastByte)
        return false;
    return bytesMatch(fold, q.test, record);
}

std::string fieldText(xbDbf &dbf, xbShort no, std::vector<char> &buf)
{
    const char type = dbf.GetFieldType(no);
    if (type == XB_MEMO_FLD)
        return {};
    std::fill(buf.begin(), buf.end(), '\0');
    dbf.GetField(no, buf.data());
    buf.back() = '\0';
    return textOf(type, buf.data(), buf.size());
}

// Reads records first..first+count-1 of the table into block; false when the
// file does not hold them all.
bool readRecords(int fd, unsigned headerLen, unsigned recordLen, std::uint32_t first,
                 std::uint32_t count, std::vector<char> &block)
{
    block.resize(static_cast<std::size_t>(count) * recordLen);
    const off_t start = static_cast<off_t>(headerLen) + static_cast<off_t>(first - 1) * recordLen;
    std::size_t done = 0;
    while (done < block.size()) {
        const ssize_t n =
            ::pread(fd, block.data() + done, block.size() - done, start + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The file descriptor of the open table, closed on every way out.
struct OpenFile {
    explicit OpenFile(int f)
        : fd(f)
    {}
    OpenFile(const OpenFile &) = delete;
    OpenFile &operator=(const OpenFile &) = delete;
    ~OpenFile()
    {
        if (fd >= 0)
            ::close(fd);
    }
    const int fd;
};

std::string failure(const char *state, const std::string &detail)
{
    return std::string("E ") + state + " " + detail + "\n";
}

} // namespace

std::string searchTable(const std::string &path, const std::vector<Match> &anyOf,
                        const std::vector<std::string> &required, std::size_t limit,
                        bool recordByRecord)
{
    // The table's size is taken once, here: records a shop program appends
    // from now on belong to the next look-up.
    const OpenFile table{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    const int in = table.fd;
    if (in < 0)
        return failure(errno == EACCES || errno == EPERM ? "unreadable" : "damaged",
                       std::strerror(errno));
    struct stat st {};
    unsigned char head[32]{};
    const bool headRead =
        ::fstat(in, &st) == 0 && ::read(in, head, sizeof head) == static_cast<ssize_t>(sizeof head);
    if (!headRead)
        return failure("damaged", "it is too short to be a dBase table");

    // dBase III/IV tables, with or without memo file.
    const unsigned version = head[0];
    if (version != 0x03 && version != 0x83 && version != 0x8b)
        return failure("damaged", "it is not a dBase table");
    std::uint32_t count =
        head[4] | (head[5] << 8) | (head[6] << 16) | (std::uint32_t(head[7]) << 24);
    const unsigned headerLen = head[8] | (head[9] << 8);
    const unsigned recordLen = head[10] | (head[11] << 8);
    const auto size = static_cast<unsigned long long>(st.st_size);
    if (headerLen < 65 || headerLen > size || recordLen < 2)
        return failure("damaged", "its header is damaged");
    // A program that adds a record may count it in the header before its
    // bytes are all written: a last record cut short is left out, as not yet
    // there. A table short of more than that is damaged.
    const unsigned long long whole = (size - headerLen) / recordLen;
    if (count > whole && count - whole == 1)
        count = static_cast<std::uint32_t>(whole);
    if (count > whole)
        return failure("damaged", "it is shorter than its header says (" + std::to_string(count) +
                                      " records)");

    xbXBase xbase;
    xbDbf dbf(&xbase);
    dbf.AutoLockOff();
    const xbShort rc = dbf.OpenDatabase(path.c_str());
    if (rc != XB_NO_ERROR)
        return failure("damaged", xbase.GetErrorMessage(rc));

    // Every field must have a length: the library takes a wide character
    // field's length (decimals byte times 256 plus length byte) in a signed
    // 16-bit number, which comes out negative from 32768 on, and would then
    // copy "minus one" bytes of it, while the lengths still add up.
    long fieldsLen = 1;
    bool lengthsValid = true;
    const xbShort fieldCount = static_cast<xbShort>(dbf.FieldCount());
    for (xbShort i = 0; i < fieldCount; ++i) {
        lengthsValid = lengthsValid && dbf.GetFieldLen(i) > 0;
        fieldsLen += dbf.GetFieldLen(i);
    }
    if (fieldCount <= 0 || !lengthsValid || fieldsLen != dbf.GetRecordLen() ||
        static_cast<unsigned>(dbf.GetRecordLen()) != recordLen)
        return failure("damaged", "its field list does not match its record length");

    for (const std::string &f : required)
        if (dbf.GetFieldNo(f.c_str()) < 0)
            return failure("nofield", f);
    std::vector<std::pair<xbShort, std::string>> conditions;
    for (const Match &m : anyOf) {
        const xbShort no = dbf.GetFieldNo(m.field.c_str());
        if (no < 0 && m.optional)
            continue;
        if (no < 0)
            return failure("nofield", m.field);
        conditions.emplace_back(no, upper(trim(m.value)));
    }

    // The records are read in large blocks and the conditions tested on their
    // bytes; only a record that meets one is fetched through the library,
    // which then decides as it always has. A wide character field (length
    // above 255, kept in the decimals byte) is left to the library alone, and
    // so is every record when FRAMAID_READ=records (the way framaid read
    // before, kept for measuring: bench/bench_framaid).
    std::vector<QuickTest> tests;
    bool bytesFit = !recordByRecord;
    std::vector<std::size_t> offsets;
    std::size_t offset = 1;
    for (xbShort i = 0; i < fieldCount; ++i) {
        offsets.push_back(offset);
        if (dbf.GetFieldType(i) == XB_CHAR_FLD && dbf.GetFieldDecimal(i) > 0)
            bytesFit = false;
        offset += static_cast<std::size_t>(dbf.GetFieldLen(i));
    }
    for (const auto &[no, value] : conditions) {
        const ByteTest t{offsets[static_cast<std::size_t>(no)],
                         static_cast<std::size_t>(dbf.GetFieldLen(no)), dbf.GetFieldType(no),
                         value};
        const bool plain = t.type != XB_MEMO_FLD && t.type != XB_DATE_FLD &&
                           t.type != XB_LOGICAL_FLD && !value.empty() && value.size() <= t.length;
        tests.push_back({t, plain, plain ? t.offset + value.size() - 1 : 0,
                         static_cast<unsigned char>(plain ? value.back() : 0)});
    }
    const Folding fold;
    const std::uint32_t perBlock = std::max<std::uint32_t>(1, (1u << 20) / recordLen);

    std::vector<char> buf(static_cast<std::size_t>(recordLen) + 1);
    std::vector<char> block;
    std::uint32_t blockFirst = 0;
    std::uint32_t blockCount = 0;
    std::string out;
    std::size_t found = 0;
    for (std::uint32_t recNo = 1; recNo <= count && found < limit; ++recNo) {
        if (bytesFit) {
            if (recNo >= blockFirst + blockCount) {
                blockFirst = recNo;
                blockCount = std::min(perBlock, count - recNo + 1);
                if (!readRecords(in, headerLen, recordLen, blockFirst, blockCount, block))
                    return failure("damaged",
                                   "record " + std::to_string(recNo) + " cannot be read");
            }
            const char *record =
                block.data() + static_cast<std::size_t>(recNo - blockFirst) * recordLen;
            if (record[0] == '*')
                continue;
            bool candidate = false;
            for (const QuickTest &t : tests)
                if (mayMatch(fold, t, record)) {
                    candidate = true;
                    break;
                }
            if (!candidate)
                continue;
        }
        if (dbf.GetRecord(recNo) != XB_NO_ERROR)
            return failure("damaged", "record " + std::to_string(recNo) + " cannot be read");
        if (dbf.RecordDeleted())
            continue;
        bool hit = false;
        for (const auto &[no, value] : conditions)
            if (upper(fieldText(dbf, no, buf)) == value)
                hit = true;
        if (!hit)
            continue;
        ++found;
        out += "R " + std::to_string(recNo) + "\n";
        for (xbShort i = 0; i < fieldCount; ++i)
            out += std::string("F ") + upper(clean(dbf.GetFieldName(i))) + "\t" +
                   fieldText(dbf, i, buf) + "\n";
    }
    dbf.CloseDatabase();
    return out + "END\n";
}

TableResult parseAnswer(const std::string &answer, TableResult result)
{
    std::size_t pos = 0;
    bool complete = false;
    while (pos < answer.size()) {
        std::size_t nl = answer.find('\n', pos);
        if (nl == std::string::npos)
            break; // an unfinished line: the child did not end properly
        const std::string line = answer.substr(pos, nl - pos);
        pos = nl + 1;
        if (line == "END") {
            complete = true;
            break;
        }
        if (line.rfind("E ", 0) == 0) {
            const std::string rest = line.substr(2);
            const std::size_t sp = rest.find(' ');
            const std::string state = rest.substr(0, sp);
            result.detail = sp == std::string::npos ? std::string() : rest.substr(sp + 1);
            result.state = state == "unreadable" ? TableState::Unreadable
                           : state == "nofield"  ? TableState::NoField
                                                 : TableState::Damaged;
            result.records.clear();
            return result;
        }
        if (line.rfind("R ", 0) == 0) {
            Record r;
            r.number = std::atol(line.c_str() + 2);
            result.records.push_back(r);
        } else if (line.rfind("F ", 0) == 0 && !result.records.empty()) {
            const std::size_t tab = line.find('\t');
            if (tab != std::string::npos)
                result.records.back().fields.emplace_back(line.substr(2, tab - 2),
                                                          line.substr(tab + 1));
        }
    }
    if (!complete) {
        result.state = TableState::Damaged;
        result.detail = "reading it failed part way";
        result.records.clear();
        return result;
    }
    result.state = TableState::Ok;
    return result;
}

std::string Record::get(const std::string &field) const
{
    for (const auto &[name, v] : fields)
        if (name == field)
            return v;
    return {};
}

TableResult findRecords(const std::string &dbDir, const std::string &tableName,
                        const std::vector<Match> &anyOf,
                        const std::vector<std::string> &requiredFields, std::size_t limit)
{
    TableResult result;
    result.file = tableName;
    const std::string file = findNoCase(dbDir, tableName);
    if (file.empty()) {
        result.state = TableState::Missing;
        result.detail = "no such file";
        return result;
    }
    result.file = file;
    const std::string path = dbDir + "/" + file;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        result.state = TableState::Damaged;
        result.detail = "it is not a plain file";
        return result;
    }

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        result.state = TableState::Damaged;
        result.detail = std::string("no pipe: ") + std::strerror(errno);
        return result;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        result.state = TableState::Damaged;
        result.detail = std::string("no process: ") + std::strerror(errno);
        return result;
    }
    if (child == 0) {
        ::close(fds[0]);
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        const int devNull = ::open("/dev/null", O_RDWR);
        if (devNull >= 0) { // the library may print; the reply is our only output
            ::dup2(devNull, STDOUT_FILENO);
            ::dup2(devNull, STDERR_FILENO);
        }
        ::alarm(kChildSeconds);
        const char *read = std::getenv("FRAMAID_READ");
        writeAll(fds[1], searchTable(path, anyOf, requiredFields, limit,
                                     read && std::strcmp(read, "records") == 0));
        _exit(0);
    }
    ::close(fds[1]);

    std::string answer;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(kChildSeconds + 1);
    char buf[4096];
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int pr = ::poll(&p, 1, static_cast<int>(left));
        if (pr < 0 && errno == EINTR)
            continue;
        if (pr <= 0) {
            timedOut = pr == 0;
            break;
        }
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (answer.size() < 4 * 1024 * 1024)
            answer.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (timedOut)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        result.state = TableState::Damaged;
        result.detail = timedOut || (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
                            ? "reading it took too long"
                            : "reading it failed part way";
        return result;
    }
    return parseAnswer(answer, result);
}

} // namespace framaid
