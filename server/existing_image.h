#pragma once

#include <QByteArray>
#include <QString>

#include "runtime/shell.h"

#include <memory>
#include <optional>

namespace framla {
struct ProgramState;
struct ServerLogin;
struct Target;
} // namespace framla

namespace framla::server {

class TargetDisplay;

/// The picture ShowOldImg would fetch for a target, fetched beforehand
/// beside the runs that follow into a file of its own in the program's
/// directory ("verify-XXXXXX.jpg", which the clean-up of cut-off puts also
/// removes), so that ShowOldImg can take it instead of fetching it once
/// more. It is the picture MAKEFILE names, as no reply names a supplier's
/// picture instead. Nothing is fetched when the shell cannot run it beside
/// (see runtime::Shell::startBeside). When it goes it waits for its fetch
/// and removes its file: it lives where the working files are held.
class PictureAhead {
public:
    PictureAhead(ProgramState &state, const ServerLogin &login, const Target &target);
    ~PictureAhead();
    PictureAhead(const PictureAhead &) = delete;
    PictureAhead &operator=(const PictureAhead &) = delete;

    /// Whether the fetch was started.
    bool started() const { return m_run != nullptr; }
    /// When the fetch was of remote and settled what the server holds there
    /// (the picture, or the server's word that there is none): the picture
    /// moved to localName in the program's directory (or localName erased)
    /// and true. False when the caller must fetch it itself: another file,
    /// nothing started, or a failure that a second try might mend.
    bool takeInto(const QString &remote, const QString &localName);

private:
    ProgramState &m_state;
    QString m_remote;
    QString m_file;
    std::unique_ptr<runtime::SideRun> m_run;
    std::optional<runtime::RunOutcome> m_outcome;
};

/// Fetch the picture the server records for the target into "scratch.jpg"
/// and show it in the target view (the no-image picture when none arrives).
/// A shared supplier picture named by the last reply is fetched instead.
/// A picture fetched ahead for this very look-up or put is taken when it is
/// that picture.
bool ShowOldImg(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                const Target &target, PictureAhead *ahead = nullptr);

/// What lies at a target on the server, fetched only when it is a plain file.
struct OnServer {
    bool reached = false;     ///< the server answered
    bool plain = true;        ///< nothing is there, or a plain file; false for a link or the like
    QByteArray data;          ///< the file; empty when there is none
    QString message;          ///< why the server was not reached
    bool unreachable = false; ///< not reached because the server or the line was down
};

/// Fetches remote (a full path on a Unix server) when it is a plain file:
/// a link there, which a group mate may have pointed at any file the
/// operator can read, is never followed. A Windows server's file is fetched
/// as it is.
OnServer fetchPlainFile(ProgramState &state, const ServerLogin &login, const QString &remote);

/// The remote name of a picture: the database path and the image path joined.
QString remoteImagePath(const QString &cPath, const QString &imagePath, bool lIsDOS);

} // namespace framla::server
