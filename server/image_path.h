#pragma once

#include <QString>

namespace framla::server {

struct Target;

/// The path of a target's picture relative to the database directory on the
/// server ("images/AB/AB12345.jpg"), or "" when the code fits no rule. The
/// code is normalised first; with lIsDOS every separator is a backslash.
QString MAKEFILE(const QString &cCode, const QString &cName, bool lInventory, bool lOrders,
                 bool lIsDOS);

/// The same for a target, in its own mode.
QString MAKEFILE(const Target &target, bool lIsDOS);

} // namespace framla::server
