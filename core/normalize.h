#pragma once

#include <QString>

namespace framla {
struct ProgramState;
}

namespace framla::core {

/// Bring a typed target code into the canonical form of the mode: inventory
/// codes widened to seven characters, service orders as "or" and six digits,
/// account numbers checked. Returns "" when the code is not acceptable.
/// lInventory selects the inventory rules; otherwise lOrders decides.
QString NORMALIZE(const QString &cCode, bool lInventory, bool lOrders);

/// The same, reading lOrders from the program state.
QString NORMALIZE(const ProgramState &state, const QString &cCode, bool lInventory);

} // namespace framla::core
