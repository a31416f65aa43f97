#include "answer.h"

#include "files.h"
#include "table.h"
#include "text.h"

#include <optional>
#include <sys/stat.h>

namespace framaid {

namespace {

enum class Account { None, Supplier, Customer, SupplierPool };

Account accountKind(const std::string &s)
{
    if (s == "0")
        return Account::SupplierPool;
    if (!allDigits(s))
        return Account::None;
    const long v = leadingValue(s);
    if (s.size() == 4 && v > 1000)
        return Account::Supplier;
    if (s.size() == 5 && v > 10000)
        return Account::Customer;
    return Account::None;
}

// F0001: a letter, then digits worth more than 0.
bool isRawMaterial(const std::string &code)
{
    return code.size() == 5 && leadingValue(code) == 0 && !(code[0] >= '0' && code[0] <= '9') &&
           leadingValue(code.substr(1)) > 0;
}

// or000123: the desktop program sends a service order's number so in Repairs
// mode, while in Inventory mode every code is in capitals. OR000123 is
// therefore an inventory code (a tag), never an order.
bool isOrder(const std::string &code)
{
    return code.size() == 8 && code.compare(0, 2, "or") == 0 && allDigits(code.substr(2));
}

std::string value(const Context &ctx, const std::string &raw)
{
    return neutralise(toUtf8(raw, ctx.cfg.codePage));
}

std::string label(const std::string &field)
{
    std::string l = lower(field);
    for (char &c : l)
        if (c == '_')
            c = ' ';
    if (!l.empty())
        l[0] = static_cast<char>(l[0] - 'a' + 'A');
    return l;
}

// "Metal: 18ct gold   Weight: 3.20" from the fields to show; "" if none.
std::string shownFields(const Context &ctx, const Record &r, const std::vector<std::string> &fields)
{
    std::string line;
    for (const std::string &f : fields) {
        const std::string v = r.get(f);
        if (v.empty())
            continue;
        if (!line.empty())
            line += "   ";
        line += label(f) + ": " + value(ctx, v);
    }
    return line;
}

std::string trouble(const TableResult &t, const std::string &what)
{
    const std::string table = "the " + what + " table " + t.file;
    switch (t.state) {
    case TableState::Missing:
        return table + " is missing from the database directory";
    case TableState::Unreadable:
        return table + " cannot be read (" + t.detail + ")";
    case TableState::NoField:
        return table + " has no field " + t.detail + " (see framaid.conf)";
    case TableState::Damaged:
        return table + " is damaged: " + t.detail;
    case TableState::Ok:
        break;
    }
    return table + " is in order";
}

std::string rel(const std::string &dir, const std::string &name)
{
    return dir + "/" + name;
}

std::string path(const Context &ctx, const std::string &relative)
{
    return ctx.dbDir + "/" + relative;
}

// The note on a target file: "<path> exists (...)" with "Owned by <owner>"
// when the logged-in user may not write it. A file under images/ssr/ is
// named with its full path only when it is there, followed by
// "exists on server": the desktop program fetches that path as the picture.
void noteTarget(const Context &ctx, Reply &reply, const std::string &dir, const std::string &name,
                const std::string &missingText)
{
    const FileFacts f = inspect(path(ctx, dir), name);
    const bool supplierPicture = dir.rfind("images/ssr/", 0) == 0;
    std::string n;
    if (f.exists) {
        n = rel(dir, name) + (supplierPicture ? " exists on server" : " exists") + " (" +
            std::to_string(f.size) + " bytes, modified " + f.modified + ", " + f.owner + ", mode " +
            f.mode + ")";
    } else if (f.other) {
        n = "the name " + name + " is taken by something that is not a plain file";
    } else {
        n = (supplierPicture ? name : rel(dir, name)) + ": " + missingText;
    }
    if ((!f.writable || f.other) && !f.denier.empty())
        n += " Owned by " + f.denier;
    reply.note(n);
}

// A known account's picture directory is made when it is missing, so that its
// first picture can be put (the desktop program cannot make directories).
bool ensureAccountDir(const Context &ctx, const std::string &dir, bool accountKnown, Reply &reply)
{
    if (isDirectory(path(ctx, dir)))
        return true;
    if (accountKnown && ctx.cfg.createAccountDirs && ::mkdir(path(ctx, dir).c_str(), 0755) == 0) {
        reply.line("A new picture directory has been made for this account.");
        return true;
    }
    return false;
}

struct AccountFacts {
    std::optional<Record> record; // the account's record when found
    std::string problem;          // table trouble, in words
};

AccountFacts findAccount(const Context &ctx, Account kind, const std::string &account)
{
    const TableConfig &tc = kind == Account::Customer ? ctx.cfg.customers : ctx.cfg.suppliers;
    const TableResult t = findRecords(ctx.dbDir, tc.file, {{tc.key, account}}, {tc.key}, 1);
    AccountFacts a;
    if (t.state != TableState::Ok)
        a.problem = trouble(t, kind == Account::Customer ? "customer" : "supplier");
    else if (!t.records.empty())
        a.record = t.records.front();
    return a;
}

std::string accountDir(Account kind, const std::string &account)
{
    return std::string(kind == Account::Customer ? "images/cust/" : "images/ssr/") + account;
}

void answerAccount(const Context &ctx, Account kind, const std::string &account, Reply &reply)
{
    const std::string dir = accountDir(kind, account);
    const std::string who = kind == Account::Customer ? "Customer" : "Supplier";
    bool known = false;
    if (kind == Account::SupplierPool) {
        reply.line("Supplier account 0: pictures not tied to one supplier");
    } else {
        const TableConfig &tc = kind == Account::Customer ? ctx.cfg.customers : ctx.cfg.suppliers;
        const AccountFacts a = findAccount(ctx, kind, account);
        if (a.record) {
            known = true;
            reply.line(who + " " + account + ": " + value(ctx, a.record->get(tc.name)));
            const std::string more = shownFields(ctx, *a.record, tc.show);
            if (!more.empty())
                reply.line(more);
        } else if (a.problem.empty()) {
            reply.line(account + " is not an existing " + lower(who) + " account.");
        } else {
            reply.line(who + " " + account + ": " + a.problem +
                       ", so the account cannot be checked.");
        }
    }

    if (!ensureAccountDir(ctx, dir, known, reply)) {
        reply.line("No picture can be filed for this account: no pre-existing group (its picture "
                   "directory is missing).");
        reply.line("Pictures on file: none (no images found)");
        reply.note(lower(who) + " " + account + " has no picture directory on the server");
        return;
    }
    const std::vector<std::string> pictures = listPictures(path(ctx, dir));
    if (pictures.empty()) {
        reply.line("Pictures on file: none (no images found)");
    } else {
        std::string list = "Pictures on file (" + std::to_string(pictures.size()) + "): ";
        const std::size_t shown = std::min<std::size_t>(pictures.size(), 30);
        for (std::size_t i = 0; i < shown; ++i)
            list += (i ? ", " : "") + value(ctx, pictures[i]);
        if (pictures.size() > shown)
            list += " and " + std::to_string(pictures.size() - shown) + " more";
        reply.line(list);
    }
    std::string dirOwner;
    std::string n = "pictures of " + lower(who) + " " + account + ": " +
                    std::to_string(pictures.size()) + " on file";
    if (!mayWriteIn(path(ctx, dir), &dirOwner))
        n += "; new pictures cannot be put there. Owned by " + dirOwner;
    reply.note(n);
}

std::string groupDir(const std::string &code)
{
    return "images/" + code.substr(0, isRawMaterial(code) ? 1 : 2);
}

// The item answer. found: the item's record when the caller already has it.
void answerItem(const Context &ctx, const std::string &code, Reply &reply,
                std::optional<Record> found, const std::string &longCode = {})
{
    const TableConfig &tc = ctx.cfg.items;
    std::string problem;
    if (!found) {
        const TableResult t = findRecords(ctx.dbDir, tc.file, {{tc.key, code}}, {tc.key}, 1);
        if (t.state != TableState::Ok)
            problem = trouble(t, "item");
        else if (!t.records.empty())
            found = t.records.front();
    }

    if (found) {
        reply.line(code + ": " + value(ctx, found->get(tc.name)));
        if (!longCode.empty())
            reply.line("(the long code " + longCode + " was read as " + code + ")");
        const std::string supplier = trim(found->get(ctx.cfg.itemSupplier));
        const std::string ssr = trim(found->get(ctx.cfg.itemSsr));
        if (!supplier.empty() || !ssr.empty()) {
            std::string s =
                "Supplier " + (supplier.empty() ? std::string("?") : value(ctx, supplier));
            const Account kind = accountKind(supplier);
            if (kind == Account::Supplier) {
                const AccountFacts a = findAccount(ctx, kind, supplier);
                if (a.record)
                    s += " (" + value(ctx, a.record->get(ctx.cfg.suppliers.name)) + ")";
            }
            if (!ssr.empty())
                s += ", stock reference " + value(ctx, ssr);
            reply.line(s);
        }
        const std::string more = shownFields(ctx, *found, tc.show);
        if (!more.empty())
            reply.line(more);
    } else if (problem.empty()) {
        reply.line("Item " + code + " is not in the item table.");
    } else {
        reply.line("Item " + code + ": " + problem + ", so the item cannot be described.");
    }

    const std::string dir = groupDir(code);
    // A picture is filed only under an item the shop has keyed in: a mistyped
    // code must not collect pictures of its own.
    if (!found) {
        reply.line(
            "No picture can be filed for an item that cannot be found: no pre-existing group.");
        noteTarget(ctx, reply, dir, code + ".jpg", "no picture on file");
        return;
    }
    if (!isDirectory(path(ctx, dir))) {
        reply.line("No picture can be filed for " + code + ": no pre-existing group " + dir +
                   "/ on the server.");
        reply.note(rel(dir, code + ".jpg") + " cannot be put: its group directory is missing");
        return;
    }
    noteTarget(ctx, reply, dir, code + ".jpg", "no picture on file yet");

    // An item without a picture of its own shows its supplier's picture for
    // the same stock reference, when there is one.
    if (!found || inspect(path(ctx, dir), code + ".jpg").exists)
        return;
    const std::string supplier = trim(found->get(ctx.cfg.itemSupplier));
    const std::string ssr = trim(found->get(ctx.cfg.itemSsr));
    const Account kind = accountKind(supplier);
    if ((kind != Account::Supplier && kind != Account::SupplierPool) || !isRequestName(ssr))
        return;
    const std::string ssrDir = accountDir(Account::Supplier, supplier);
    const std::string picture = findNoCase(path(ctx, ssrDir), ssr + ".jpg");
    if (!picture.empty() && inspect(path(ctx, ssrDir), picture).exists)
        reply.note("this item shows its supplier's picture: " + rel(ssrDir, picture) +
                   " exists on server");
}

void answerLongCode(const Context &ctx, const std::string &code, Reply &reply)
{
    const TableConfig &tc = ctx.cfg.items;
    const std::string prefix = code.substr(0, 7);
    const TableResult t = findRecords(
        ctx.dbDir, tc.file, {{ctx.cfg.itemTag, code, true}, {tc.key, prefix}}, {tc.key}, 20);
    if (t.state == TableState::Ok) {
        const Record *byTag = nullptr;
        const Record *byPrefix = nullptr;
        for (const Record &r : t.records) {
            if (!byTag && equalsNoCase(trim(r.get(ctx.cfg.itemTag)), code))
                byTag = &r;
            if (!byPrefix && equalsNoCase(trim(r.get(tc.key)), prefix))
                byPrefix = &r;
        }
        const Record *hit = byTag ? byTag : byPrefix;
        // The item's code in its canonical (upper-case) form, however the
        // shop's program stored it: the picture's path is made from it.
        const std::string resolved = hit ? upper(trim(hit->get(tc.key))) : std::string();
        if (hit && resolved.size() == 7 && isSafeName(resolved)) {
            answerItem(ctx, resolved, reply, *hit, code);
            return;
        }
        reply.line("No item matches the long code " + code + ".");
    } else {
        reply.line("The long code " + code +
                   " cannot be matched to an item: " + trouble(t, "item") + ".");
    }
    reply.line("No picture can be filed under a long code: no pre-existing group.");
}

void answerOrder(const Context &ctx, const std::string &code, Reply &reply)
{
    const TableConfig &tc = ctx.cfg.orders;
    const TableResult t = findRecords(ctx.dbDir, tc.file, {{tc.key, code}}, {tc.key}, 1);
    const bool found = t.state == TableState::Ok && !t.records.empty();
    if (t.state != TableState::Ok) {
        reply.line("Service order " + code + ": " + trouble(t, "service order") +
                   ", so the order cannot be described.");
    } else if (t.records.empty()) {
        reply.line("Service order " + code + " is not in the service order table.");
    } else {
        const Record &r = t.records.front();
        reply.line("Service order " + code + ": " + value(ctx, r.get(tc.name)));
        const std::string customer = trim(r.get(ctx.cfg.orderCustomer));
        if (!customer.empty()) {
            std::string c = "Customer " + value(ctx, customer);
            if (accountKind(customer) == Account::Customer) {
                const AccountFacts a = findAccount(ctx, Account::Customer, customer);
                if (a.record)
                    c += " (" + value(ctx, a.record->get(ctx.cfg.customers.name)) + ")";
            }
            reply.line(c);
        }
        const std::string more = shownFields(ctx, r, tc.show);
        if (!more.empty())
            reply.line(more);
    }
    const std::string dir = "images/ord";
    // As for items: a mistyped number must not collect pictures of its own.
    if (!found) {
        reply.line("No picture can be filed for a service order that cannot be found: no "
                   "pre-existing group.");
        noteTarget(ctx, reply, dir, code + ".jpg", "no picture on file");
        return;
    }
    if (!isDirectory(path(ctx, dir))) {
        reply.line("No picture can be filed for " + code + ": no pre-existing group " + dir +
                   "/ on the server.");
        reply.note(rel(dir, code + ".jpg") + " cannot be put: the directory is missing");
        return;
    }
    noteTarget(ctx, reply, dir, code + ".jpg", "no picture on file yet");
}

} // namespace

void answerCode(const Context &ctx, const std::string &code, Reply &reply)
{
    const Account kind = accountKind(code);
    if (kind != Account::None)
        answerAccount(ctx, kind, code, reply);
    else if (isOrder(code))
        answerOrder(ctx, lower(code), reply);
    else if (isRawMaterial(code) || code.size() == 7)
        answerItem(ctx, code, reply, std::nullopt);
    else if (code.size() > 7)
        answerLongCode(ctx, code, reply);
    else {
        reply.line("Code " + code +
                   " is not an inventory code, account number or service order number.");
        reply.line("No picture can be filed under it: no pre-existing group.");
    }
}

bool answerFile(const Context &ctx, const std::string &file, const std::string &subdir,
                Reply &reply)
{
    const std::vector<std::string> parts = split(subdir, '/');
    const bool images = parts.front() == "images";
    if (!(subdir == "shuttle" || (images && parts.size() >= 2))) {
        reply.line("Request refused: framaid reports only on files in shuttle/ and under images/, "
                   "not in " +
                   printable(subdir) + "/.");
        return false;
    }
    Account kind = Account::None;
    if (images && parts.size() == 3 && (parts[1] == "ssr" || parts[1] == "cust")) {
        kind = accountKind(parts[2]);
        const bool fits = parts[1] == "ssr"
                              ? (kind == Account::Supplier || kind == Account::SupplierPool)
                              : kind == Account::Customer;
        if (!fits) {
            reply.line("Request refused: " + parts[2] + " is not a " +
                       (parts[1] == "ssr" ? "supplier" : "customer") + " account number.");
            return false;
        }
    }

    bool known = false;
    if (kind == Account::Supplier || kind == Account::Customer) {
        const std::string who = kind == Account::Customer ? "customer" : "supplier";
        const AccountFacts a = findAccount(ctx, kind, parts[2]);
        const TableConfig &tc = kind == Account::Customer ? ctx.cfg.customers : ctx.cfg.suppliers;
        std::string l = "File " + file + " among the pictures of " + who + " " + parts[2];
        if (a.record) {
            known = true;
            l += " (" + value(ctx, a.record->get(tc.name)) + ")";
        }
        reply.line(l);
        if (!a.record && a.problem.empty())
            reply.line(parts[2] + " is not an existing " + who + " account.");
        else if (!a.problem.empty())
            reply.line("The account cannot be checked: " + a.problem + ".");
    } else if (kind == Account::SupplierPool) {
        reply.line("File " + file + " among the pictures not tied to one supplier");
    } else if (subdir == "shuttle") {
        reply.line("File " + file + " in the shuttle directory");
    } else {
        reply.line("File " + file + " in " + subdir + "/");
    }

    const bool present = (kind == Account::Supplier || kind == Account::Customer)
                             ? ensureAccountDir(ctx, subdir, known, reply)
                             : isDirectory(path(ctx, subdir));
    if (!present) {
        reply.line(
            "The directory " +
            (kind == Account::Supplier ? std::string("for this supplier") : subdir + "/") +
            " is missing on the server, so nothing can be put there: no pre-existing group.");
        reply.note(file + " cannot be put: the directory is missing");
        return true;
    }
    noteTarget(ctx, reply, subdir, file, "no file of that name yet");
    return true;
}

} // namespace framaid
