// A small dBase III table writer for the sample database.
//
// xbase64 3.1.2 (Debian 12) cannot write tables on 64-bit machines: its
// CreateDatabase stores every field length as 0 and AppendRecord fails with a
// seek error. The sample tables are therefore written here, in the plain
// dBase III layout that framaid reads back through xbase64.
#pragma once

#include <string>
#include <vector>

struct DbfField {
    std::string name; // at most 10 characters
    char type;        // 'C', 'N', 'D' (YYYYMMDD) or 'L' ("T"/"F")
    int length;
    int decimals = 0;
};

class DbfWriter {
public:
    explicit DbfWriter(std::vector<DbfField> fields)
        : fields_(std::move(fields))
    {}

    // One value per field, as text; numbers are right-aligned, the rest
    // left-aligned, each cut to its field's length.
    void add(const std::vector<std::string> &values, bool deleted = false);

    // Writes the table; false when the file cannot be written.
    bool save(const std::string &path) const;

private:
    std::vector<DbfField> fields_;
    std::vector<std::string> records_;
};

// The fields of the sample database's item table, items.dbf.
inline std::vector<DbfField> itemFields()
{
    return {{"CODE", 'C', 7},   {"DESC", 'C', 50},     {"SUPPLIER", 'C', 4},  {"SSR", 'C', 16},
            {"METAL", 'C', 20}, {"WEIGHT", 'N', 7, 2}, {"PRICE", 'N', 10, 2}, {"TAG", 'C', 13}};
}
