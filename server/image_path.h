#pragma once

#include <QString>

namespace framla {
struct ProgramState;
}

namespace framla::server {

/// The path of a target's picture relative to the database directory on the
/// server ("images/AB/AB12345.jpg"), or "" when the code fits no rule. The
/// code is normalised first; with lIsDOS every separator is a backslash.
QString MAKEFILE(const QString &cCode, const QString &cName, bool lInventory, bool lOrders,
                 bool lIsDOS);

/// The same, taking lOrders and lIsDOS from the program state.
QString MAKEFILE(const ProgramState &state, const QString &cCode, const QString &cName,
                 bool lInventory);

} // namespace framla::server
