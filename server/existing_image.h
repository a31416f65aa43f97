#pragma once

#include <QString>

namespace framla {
struct ProgramState;
struct ServerLogin;
struct Target;
} // namespace framla

namespace framla::server {

class TargetDisplay;

/// Fetch the picture the server records for the target into "scratch.jpg"
/// and show it in the target view (the no-image picture when none arrives).
/// A shared supplier picture named by the last reply is fetched instead.
bool ShowOldImg(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                const Target &target);

/// The remote name of a picture: the database path and the image path joined.
QString remoteImagePath(const QString &cPath, const QString &imagePath, bool lIsDOS);

} // namespace framla::server
