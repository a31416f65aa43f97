#include "config.h"

#include "text.h"

#include <fstream>
#include <functional>
#include <map>

namespace framaid {

namespace {

bool isFieldName(const std::string &s)
{
    if (s.empty() || s.size() > 10)
        return false;
    for (char c : s)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return true;
}

} // namespace

Config loadConfig(const std::string &dbDir)
{
    Config cfg;
    std::ifstream in(dbDir + "/framaid.conf");
    if (!in)
        return cfg;

    using Setter = std::function<bool(const std::string &)>;
    const auto table = [](std::string &target) -> Setter {
        return [&target](const std::string &v) {
            if (!isSafeName(v))
                return false;
            target = v;
            return true;
        };
    };
    const auto field = [](std::string &target) -> Setter {
        return [&target](const std::string &v) {
            const std::string f = upper(v);
            if (!isFieldName(f))
                return false;
            target = f;
            return true;
        };
    };
    const auto fields = [](std::vector<std::string> &target) -> Setter {
        return [&target](const std::string &v) {
            std::vector<std::string> list;
            for (const std::string &part : split(v, ',')) {
                const std::string f = upper(trim(part));
                if (f.empty())
                    continue;
                if (!isFieldName(f))
                    return false;
                list.push_back(f);
            }
            target = list;
            return true;
        };
    };

    std::map<std::string, Setter> setters{
        {"items", table(cfg.items.file)},
        {"items.code", field(cfg.items.key)},
        {"items.desc", field(cfg.items.name)},
        {"items.show", fields(cfg.items.show)},
        {"items.supplier", field(cfg.itemSupplier)},
        {"items.ssr", field(cfg.itemSsr)},
        {"items.tag", field(cfg.itemTag)},
        {"suppliers", table(cfg.suppliers.file)},
        {"suppliers.account", field(cfg.suppliers.key)},
        {"suppliers.name", field(cfg.suppliers.name)},
        {"suppliers.show", fields(cfg.suppliers.show)},
        {"customers", table(cfg.customers.file)},
        {"customers.account", field(cfg.customers.key)},
        {"customers.name", field(cfg.customers.name)},
        {"customers.show", fields(cfg.customers.show)},
        {"orders", table(cfg.orders.file)},
        {"orders.number", field(cfg.orders.key)},
        {"orders.desc", field(cfg.orders.name)},
        {"orders.show", fields(cfg.orders.show)},
        {"orders.customer", field(cfg.orderCustomer)},
        {"codepage",
         [&cfg](const std::string &v) {
             if (!isSafeName(v, 20))
                 return false;
             cfg.codePage = v;
             return true;
         }},
        {"create_account_dirs",
         [&cfg](const std::string &v) {
             const std::string l = lower(v);
             if (l != "yes" && l != "no")
                 return false;
             cfg.createAccountDirs = l == "yes";
             return true;
         }},
    };

    std::string line;
    int number = 0;
    while (std::getline(in, line) && number < 1000) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string t = trim(line);
        if (t.empty() || t.front() == '#')
            continue;
        const std::size_t eq = t.find('=');
        const std::string key = eq == std::string::npos ? t : lower(trim(t.substr(0, eq)));
        const std::string value = eq == std::string::npos ? std::string() : trim(t.substr(eq + 1));
        const auto it = setters.find(key);
        if (eq == std::string::npos || it == setters.end() || !it->second(value))
            cfg.problems.push_back("line " + std::to_string(number) + " (" + printable(t) + ")");
    }
    return cfg;
}

} // namespace framaid

namespace framaid {

namespace {

std::string joined(const std::vector<std::string> &list)
{
    std::string s;
    for (const std::string &f : list)
        s += (s.empty() ? "" : ", ") + f;
    return s;
}

std::string tableLines(const std::string &key, const TableConfig &t, const std::string &keyName,
                       const std::string &nameName)
{
    return key + " = " + t.file + "\n" + key + "." + keyName + " = " + t.key + "\n" + key + "." +
           nameName + " = " + t.name + "\n" + key + ".show = " + joined(t.show) + "\n";
}

} // namespace

std::string defaultConfigText()
{
    const Config d;
    return "# framaid.conf: which tables and fields framaid reads in this database\n"
           "# directory. Each line is \"key = value\"; \"#\" starts a comment. The values\n"
           "# below are framaid's own defaults: change the lines that differ in this\n"
           "# shop, and run \"framaid --check <database>\" afterwards. Table files are\n"
           "# found without regard to letter case; field names may be in either case.\n"
           "# A \".show\" line lists the fields shown under the description.\n"
           "\n"
           "# Items and raw materials: the code, the description, the supplier's\n"
           "# account and stock reference (for the supplier's shared picture), and the\n"
           "# scanned tag or bar code that a long code is matched against.\n" +
           tableLines("items", d.items, "code", "desc") + "items.supplier = " + d.itemSupplier +
           "\n" + "items.ssr = " + d.itemSsr + "\n" + "items.tag = " + d.itemTag + "\n" +
           "\n# Supplier accounts (1001 to 9999).\n" +
           tableLines("suppliers", d.suppliers, "account", "name") +
           "\n# Customer accounts (10001 to 99999).\n" +
           tableLines("customers", d.customers, "account", "name") +
           "\n# Service orders (or000123): the order number, the work, the customer.\n" +
           tableLines("orders", d.orders, "number", "desc") +
           "orders.customer = " + d.orderCustomer + "\n" +
           "\n# The code page of the text in the tables (CP1252, CP850, CP437, ISO-8859-1 ...).\n" +
           "codepage = " + d.codePage + "\n" +
           "\n# yes: a look-up makes the picture directory of a known supplier or customer\n"
           "# that has none, so that its first picture can be put. no: it does not.\n" +
           "create_account_dirs = " + (d.createAccountDirs ? "yes" : "no") + "\n";
}

} // namespace framaid
