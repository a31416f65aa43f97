// Which tables and fields framaid reads, from <db>/framaid.conf (optional).
#pragma once

#include <string>
#include <vector>

namespace framaid {

struct TableConfig {
    std::string file;              // table file name inside the database directory
    std::string key;               // field holding the code or account number
    std::string name;              // description or name field
    std::vector<std::string> show; // further fields shown as "Label: value"
};

struct Config {
    TableConfig items{"items.dbf", "CODE", "DESC", {"METAL", "WEIGHT", "PRICE"}};
    std::string itemSupplier = "SUPPLIER"; // supplier account of an item
    std::string itemSsr = "SSR";           // supplier's stock reference
    std::string itemTag = "TAG";           // scanned tag or bar code (long codes)
    TableConfig suppliers{"suppliers.dbf", "ACCOUNT", "NAME", {"CITY", "PHONE"}};
    TableConfig customers{"customers.dbf", "ACCOUNT", "NAME", {"CITY"}};
    TableConfig orders{"orders.dbf", "ORDERNO", "DESC", {"RECEIVED", "DUE", "STATUS"}};
    std::string orderCustomer = "CUSTOMER";
    std::string codePage = "CP1252";
    bool createAccountDirs = true;

    // Lines of the file that were not understood ("line 3: ...").
    std::vector<std::string> problems;
};

// Reads <dbDir>/framaid.conf over the defaults. A missing file gives the
// defaults; a line that is not understood is skipped and noted in problems.
Config loadConfig(const std::string &dbDir);

// The text of a framaid.conf that spells out the defaults, each group of
// keys with a comment that says what it is for.
std::string defaultConfigText();

} // namespace framaid
