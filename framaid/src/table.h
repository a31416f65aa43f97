// Reading the shop's dBase tables (through the xbase64 library).
//
// Each search runs in a child process with a time limit: a damaged table
// that upsets the library ends only that child, and framaid then says in its
// reply that the table could not be read.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace framaid {

struct Record {
    // Field name (upper case) and value as text: blanks trimmed, dates as
    // YYYY-MM-DD, logical fields as "yes"/"no"; still in the table's code page.
    std::vector<std::pair<std::string, std::string>> fields;
    long number = 0; // record number in the table, from 1

    std::string get(const std::string &field) const; // "" when absent
};

enum class TableState {
    Ok,         // read to its end; records holds the matches
    Missing,    // no such file in the database directory
    Unreadable, // the file exists but may not be read
    Damaged,    // not a dBase table, or damaged
    NoField,    // a field named in the search is not in the table
};

struct TableResult {
    TableState state = TableState::Missing;
    std::string file;   // the table's file name as found on disk
    std::string detail; // what went wrong, in words
    std::vector<Record> records;
};

// One condition: the field's trimmed value equals value, letter case ignored.
// An optional condition is skipped when the table has no such field.
struct Match {
    std::string field;
    std::string value;
    bool optional = false;
};

// Finds the live (not deleted) records of dbDir/tableName that meet any of
// the conditions, at most limit of them, in table order. The file name is
// matched without regard to letter case. requiredFields must exist in the
// table as well (NoField otherwise); optional fields simply come back absent.
TableResult findRecords(const std::string &dbDir, const std::string &tableName,
                        const std::vector<Match> &anyOf,
                        const std::vector<std::string> &requiredFields = {},
                        std::size_t limit = 20);

// What findRecords' child process does, callable in this process as well:
// searches the table at path and gives the answer as text,
//   "E <state> <detail>" on failure (state: unreadable, damaged, nofield), or
//   "R <number>" then "F <name>\t<value>" per field of each record, then "END".
// recordByRecord reads every record through the library (FRAMAID_READ=records).
// A table that upsets the library may end the process that calls it.
std::string searchTable(const std::string &path, const std::vector<Match> &anyOf,
                        const std::vector<std::string> &required, std::size_t limit,
                        bool recordByRecord);

// Reads searchTable's answer into result (whose file is already set): the
// records, or the failure; an answer without its "END" (a child that did not
// finish) reads as damaged.
TableResult parseAnswer(const std::string &answer, TableResult result);

} // namespace framaid
