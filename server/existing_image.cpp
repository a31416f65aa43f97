#include "existing_image.h"

#include "core/app_files.h"
#include "core/codes.h"
#include "core/value.h"
#include "image_path.h"
#include "put_journal.h"
#include "remote_run.h"
#include "reply.h"
#include "runtime/files.h"
#include "runtime/shell.h"
#include "server/command_lines.h"
#include "server/reachability.h"
#include "target.h"
#include "target_display.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace framla::server {

QString remoteImagePath(const QString &cPath, const QString &imagePath, bool lIsDOS)
{
    if (lIsDOS)
        return cPath + QLatin1Char('\\') + imagePath;
    // A database path that ends in "/" gives no doubled separator.
    QString path = cPath + QLatin1Char('/') + imagePath;
    return path.replace(QStringLiteral("//"), QStringLiteral("/"));
}

namespace {

/// The remote picture to show for the target: the one MAKEFILE names, or a
/// supplier's picture that the reply names instead; "" when there is none
/// to fetch.
QString pictureRemote(const ServerLogin &login, const Target &target, const QString &reply)
{
    // An account's own picture is named like the account when no name is given.
    Target shown = target;
    if (shown.cName.isEmpty() && target.isAccount() && core::isAccount(core::VAL(target.cCode)))
        shown.cName = target.cCode;
    QString imagePath = MAKEFILE(shown, login.lIsDOS);

    const QString supplierImage = supplierImagePath(reply);
    if (!supplierImage.isEmpty())
        imagePath = supplierImage;
    // A code or name that is not plain never reaches the server.
    if (imagePath.isEmpty() || !isSafeRelativePath(imagePath, login.lIsDOS))
        return {};
    return remoteImagePath(login.cPath, imagePath, login.lIsDOS);
}

/// The server's own word that there is no such file: the copy tool passes on
/// the remote copy's one line about it, and nothing else went wrong.
bool serverHasNone(const runtime::RunOutcome &outcome)
{
    const QByteArray said = outcome.standardError.trimmed();
    return outcome.status == runtime::RunOutcome::Status::Finished && outcome.exitCode != 0 &&
           said.startsWith("scp: ") && said.endsWith(": No such file or directory") &&
           !said.contains('\n');
}

} // namespace

PictureAhead::PictureAhead(ProgramState &state, const ServerLogin &login, const Target &target)
    : m_state(state)
    , m_remote(pictureRemote(login, target, {}))
{
    if (m_remote.isEmpty())
        return;
    QTemporaryFile file(appFile(state, QStringLiteral("verify-XXXXXX.jpg")));
    if (!file.open())
        return;
    const QString name = QFileInfo(file.fileName()).fileName();
    file.close();
    file.remove();
    m_run = startRemoteBeside(state, login, fetchCommand(login, m_remote, name, login.lIsDOS),
                              runtime::kCopyTimeoutMs);
    if (m_run)
        m_file = name;
}

PictureAhead::~PictureAhead()
{
    m_run.reset(); // waits for the fetch
    if (!m_file.isEmpty())
        QFile::remove(appFile(m_state, m_file));
}

bool PictureAhead::takeInto(const QString &remote, const QString &localName)
{
    if (!m_run || remote != m_remote)
        return false;
    if (!m_outcome)
        m_outcome = m_run->finish();
    const QString local = appFile(m_state, localName);
    if (m_outcome->succeeded()) {
        runtime::eraseFile(local);
        return QFile::rename(appFile(m_state, m_file), local);
    }
    if (!serverHasNone(*m_outcome))
        return false;
    runtime::eraseFile(local);
    return true;
}

bool ShowOldImg(ProgramState &state, TargetDisplay &display, const ServerLogin &login,
                const Target &target, PictureAhead *ahead)
{
    const QString preview = appFile(state, kPreviewFile);
    runtime::eraseFile(preview);
    state.previewExists = false;
    display.hangTarget(QStringLiteral("wait.gif"), QStringLiteral("TW"));

    const QString remote = pictureRemote(login, target, QString::fromUtf8(readReplyFile(state)));
    if (!remote.isEmpty()) {
        display.setBusy(true);
        if (ahead == nullptr || !ahead->takeInto(remote, QLatin1String(kPreviewFile)))
            runRemote(state, login,
                      fetchCommand(login, remote, QLatin1String(kPreviewFile), login.lIsDOS),
                      runtime::kCopyTimeoutMs);
        display.setBusy(false);
    }
    state.previewExists = runtime::fileExists(preview);
    display.hangTarget(QLatin1String(kPreviewFile), QStringLiteral("T"));
    return true;
}

OnServer fetchPlainFile(ProgramState &state, const ServerLogin &login, const QString &remote)
{
    OnServer found;
    if (login.lIsDOS) {
        const Fetched fetched = fetchPicture(state, login, remote, true);
        found.reached = fetched.reached;
        found.unreachable = !fetched.reached;
        found.data = fetched.data;
        found.message = fetched.message;
        return found;
    }
    const runtime::RunOutcome run =
        runRemote(state, login, fetchPlainCommand(login, remote), runtime::kCopyTimeoutMs);
    const bool finished = run.status == runtime::RunOutcome::Status::Finished;
    found.reached = finished && (run.exitCode == 0 || run.exitCode == 4 || run.exitCode == 5);
    found.message = run.message;
    found.unreachable = server::serverUnreachable(run);
    if (!found.reached && found.message.isEmpty())
        found.message = QString::fromLocal8Bit(run.standardError).trimmed();
    found.plain = !(finished && run.exitCode == 5);
    if (finished && run.exitCode == 0)
        found.data = run.standardOutput;
    return found;
}

} // namespace framla::server
