#include "dbf_writer.h"

#include <cstdint>
#include <ctime>
#include <fstream>

namespace {

void put16(std::string &s, std::size_t at, unsigned v)
{
    s[at] = static_cast<char>(v & 0xff);
    s[at + 1] = static_cast<char>((v >> 8) & 0xff);
}

void put32(std::string &s, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

} // namespace

void DbfWriter::add(const std::vector<std::string> &values, bool deleted)
{
    std::string rec(1, deleted ? '*' : ' ');
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const DbfField &f = fields_[i];
        std::string v = i < values.size() ? values[i] : std::string();
        if (v.size() > static_cast<std::size_t>(f.length))
            v.resize(f.length);
        const std::string pad(f.length - v.size(), ' ');
        rec += f.type == 'N' ? pad + v : v + pad;
    }
    records_.push_back(rec);
}

bool DbfWriter::save(const std::string &path) const
{
    unsigned recordLen = 1;
    for (const DbfField &f : fields_)
        recordLen += f.length;
    const unsigned headerLen = 32 + 32 * static_cast<unsigned>(fields_.size()) + 1;

    std::string head(32, '\0');
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    head[0] = 0x03; // dBase III, no memo
    head[1] = static_cast<char>(t.tm_year % 100);
    head[2] = static_cast<char>(t.tm_mon + 1);
    head[3] = static_cast<char>(t.tm_mday);
    put32(head, 4, static_cast<std::uint32_t>(records_.size()));
    put16(head, 8, headerLen);
    put16(head, 10, recordLen);
    for (const DbfField &f : fields_) {
        std::string d(32, '\0');
        d.replace(0, std::min<std::size_t>(f.name.size(), 10), f.name.substr(0, 10));
        d[11] = f.type;
        d[16] = static_cast<char>(f.length);
        d[17] = static_cast<char>(f.decimals);
        head += d;
    }
    head += '\x0d';

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << head;
    for (const std::string &r : records_)
        out << r;
    out << '\x1a';
    return static_cast<bool>(out.flush());
}
