#pragma once

#include <QString>

namespace framla {
struct Target;
}

namespace framla::server {

/// The path of a target's picture relative to the database directory on the
/// server ("images/AB/AB12345.jpg"), or "" when the code fits no rule. The
/// code is taken in the canonical form it entered in (see core::enteredCode),
/// so it maps to the file its look-up used; with lIsDOS every separator is a
/// backslash.
QString MAKEFILE(const QString &cCode, const QString &cName, bool lInventory, bool lOrders,
                 bool lIsDOS);

/// The same for a target, in its own mode.
QString MAKEFILE(const Target &target, bool lIsDOS);

} // namespace framla::server
