#pragma once

#include <QString>

namespace framla::core {

/// Bring a typed target code into the canonical form of the mode: inventory
/// codes widened to seven characters, service orders as "or" and six digits,
/// account numbers checked. Returns "" when the code is not acceptable.
/// lInventory selects the inventory rules; otherwise lOrders decides.
/// A code is normalised once, where it enters (see enteredCode in
/// core/codes.h); the routines further down take it as it comes.
QString NORMALIZE(const QString &cCode, bool lInventory, bool lOrders);

} // namespace framla::core
