// framaid's table reading: any bytes as the item table of a scratch database,
// searched for an inventory code and a tag as a look-up does, in this process
// (searchTable, the work of framaid's child process) and read back as framaid
// reads its child's answer (parseAnswer). The table is searched both ways
// framaid can read it, in blocks and record by record, which must agree.
#include "table.h"
#include "text.h"

#include "fuzz_input.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using framla::fuzz::require;

namespace {

std::string g_table;

const std::vector<framaid::Match> kSought{{"CODE", "ab10001"}, {"TAG", "2000000100014", true}};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    std::string root = framla::fuzz::scratchBase() + "/framla-fuzz-table-XXXXXX";
    require(::mkdtemp(root.data()) != nullptr, "a scratch directory");
    g_table = root + "/items.dbf";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    {
        std::FILE *table = std::fopen(g_table.c_str(), "wb");
        require(table != nullptr && std::fwrite(data, 1, size, table) == size &&
                    std::fclose(table) == 0,
                "the table is written");
    }
    const std::size_t limit = 3;
    const std::string answer = framaid::searchTable(g_table, kSought, {"DESC"}, limit, false);
    framaid::TableResult named;
    named.file = "items.dbf";
    const framaid::TableResult result = framaid::parseAnswer(answer, named);
    require(result.file == "items.dbf", "the table keeps its name");
    if (result.state == framaid::TableState::Ok) {
        const std::string byRecord = framaid::searchTable(g_table, kSought, {"DESC"}, limit, true);
        if (framaid::parseAnswer(byRecord, named).state == framaid::TableState::Ok)
            require(answer == byRecord, "blocks and single records give the same answer");
    }
    if (result.state != framaid::TableState::Ok) {
        require(result.records.empty(), "no records from a table that failed");
        require(result.state != framaid::TableState::Missing, "the table is there");
        require(!result.detail.empty(), "a failure says what went wrong");
        return 0;
    }
    require(result.records.size() <= limit, "no more records than asked for");
    long previous = 0;
    for (const framaid::Record &record : result.records) {
        require(record.number > previous, "records in table order, numbered from 1");
        previous = record.number;
        require(framaid::upper(record.get("CODE")) == "AB10001" ||
                    framaid::upper(record.get("TAG")) == "2000000100014",
                "every record found meets a condition");
        for (const auto &[name, value] : record.fields)
            require(value.find_first_of("\n\t") == std::string::npos &&
                        value == framaid::trim(value),
                    "values are one trimmed line");
    }
    return 0;
}
