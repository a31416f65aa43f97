#pragma once

// What a look-up, an image fetch, a put or a deletion is about: plain data,
// taken from the program state when the operator asks for it.

#include "core/program_state.h"

#include <QString>

namespace framla {

struct Target {
    QString cCode; ///< the code in canonical form, as it entered (see core::enteredCode)
    QString cName; ///< the picture name (Cust/Sup: under the account; else the code)
    bool lInventory = true;
    bool lOrders = false;
    QString cTime;                       ///< the request token
    QString cSize = QStringLiteral("M"); ///< "S", "M" or "L"

    /// Neither inventory nor service orders: supplier and customer accounts.
    bool isAccount() const { return !lInventory && !lOrders; }
};

} // namespace framla

namespace framla::core {

/// The current target of the program state, in the mode the state is in.
inline Target targetOf(const ProgramState &state)
{
    return {state.cCode, state.cName, state.lInventory, state.lOrders, state.cTime, state.cSize};
}

} // namespace framla::core
