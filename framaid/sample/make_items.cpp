// make_items TABLE N: writes an item table of N records to TABLE, with the
// fields of the sample database's items.dbf, for measuring look-ups in a
// large shop. Record i has a code in the groups AB, AC, ... (AB00001,
// AB00002, ... AB99999, AC00000 ...), a tag 2000000000000 + i, and one of the
// sample's suppliers. Every 97th record is deleted. Prints the last live
// record's code and tag, and a code that is in no record:
//   last AC00000 2000000100000
//   missing ZZ99999
#include "dbf_writer.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string codeOf(long i)
{
    const long group = i / 100000;
    char code[16];
    std::snprintf(code, sizeof code, "%c%c%05ld", 'A' + static_cast<char>(group / 25 % 26),
                  'B' + static_cast<char>(group % 25), i % 100000);
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    const long n = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 0;
    if (n < 1 || n > 2000000) {
        std::fprintf(stderr, "usage: make_items TABLE N   (1 <= N <= 2000000)\n");
        return 2;
    }
    DbfWriter items(itemFields());
    static const char *const suppliers[] = {"1001", "1234", "2500", "7777"};
    static const char *const metals[] = {"9ct yellow gold", "18ct white gold", "Silver",
                                         "Platinum"};
    long last = 0;
    for (long i = 1; i <= n; ++i) {
        const bool deleted = i % 97 == 0 && i != n;
        if (!deleted)
            last = i;
        items.add({codeOf(i), "Ring, pattern " + std::to_string(i % 1000), suppliers[i % 4],
                   "R" + std::to_string(i % 5000), metals[i % 4],
                   std::to_string(1 + i % 20) + ".50", std::to_string(50 + i % 3000) + ".00",
                   std::to_string(2000000000000L + i)},
                  deleted);
    }
    if (!items.save(argv[1])) {
        std::fprintf(stderr, "make_items: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("last %s %ld\nmissing ZZ99999\n", codeOf(last).c_str(), 2000000000000L + last);
    return 0;
}
