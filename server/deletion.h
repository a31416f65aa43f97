#pragma once

#include <QString>

namespace framla {
struct ProgramState;
struct ServerLogin;
struct Target;
} // namespace framla

namespace framla::server {

class TargetDisplay;

/// The four lines shown when an inventory item's shared supplier picture
/// would be deleted.
inline constexpr auto kSupplierGuardText =
    "Deletion is denied from inventory mode.\r\n"
    "This is a supplier reference image. You could\r\n"
    "delete the SSR image in supplier mode, but you might\r\n"
    "want to just record a new image for this item.";

/// Delete the picture the server records for the target, then show what the
/// server records afterwards. display gets the progress captions; the
/// target view is reached through the same display.
void DelImage(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
              const Target &target);

} // namespace framla::server
