// framaid --setup and framaid --check: preparing a shop database for Framla,
// and saying in plain words what one lacks.
#pragma once

#include <cstdio>
#include <string>

namespace framaid {

// Makes what Framla needs in dbDir and is not there yet: jtemp/ (mode 1777),
// shuttle/, the picture directories, the probe file framla.ok and a
// framaid.conf that spells out the defaults. Writes one line per step to out.
// Nothing that is there is replaced; only jtemp/'s mode is set. Root works
// on another account's database as that account, in a child process.
// Returns 0 when every step succeeded, 1 otherwise.
int setupDatabase(const std::string &dbDir, std::FILE *out);

// Reports on dbDir: framaid.conf, the tables and the fields it names, the
// directories and their modes, the probe file, and this account's reply
// directory. Returns 0 when all is well, 1 when something is missing or wrong.
int checkDatabase(const std::string &dbDir, std::FILE *out);

} // namespace framaid
