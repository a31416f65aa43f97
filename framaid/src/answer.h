// The answers framaid gives: one per kind of request.
#pragma once

#include "config.h"
#include "reply.h"

#include <string>

namespace framaid {

struct Context {
    std::string dbDir; // the database directory
    Config cfg;
};

// Look-up: an inventory code (7 characters), a raw material code (F0001), a
// long inventory code (scanned tag), a supplier (1001-9999, or 0) or customer
// (10001-99999) account, or a service order (or000123, "or" in small
// letters). code is a safe name.
void answerCode(const Context &ctx, const std::string &code, Reply &reply);

// File check: the file name in a sub-directory of the database directory
// ("shuttle", "images/ssr/<account>", "images/cust/<account>", ...); both
// already checked to be safe. Returns false when subdir is not one that
// framaid reports on (the reply then says so).
bool answerFile(const Context &ctx, const std::string &file, const std::string &subdir,
                Reply &reply);

} // namespace framaid
