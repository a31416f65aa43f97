#include "putty_version.h"

#include "logging.h"

#include <QRegularExpression>

namespace framla::runtime {

namespace {

const QVersionNumber kOldestPutty(0, 77);

} // namespace

QVersionNumber puttyRelease(const QByteArray &versionOutput)
{
    static const QRegularExpression release(
        QStringLiteral("\\A\\s*\\w+: (?:Release|Pre-release) (\\d+)\\.(\\d+)(?:$|[:\\s])"));
    const QRegularExpressionMatch found = release.match(QString::fromLatin1(versionOutput));
    if (!found.hasMatch())
        return {};
    return QVersionNumber(found.captured(1).toInt(), found.captured(2).toInt());
}

QString puttyTooOld(const QByteArray &versionOutput)
{
    const QVersionNumber version = puttyRelease(versionOutput);
    if (version.isNull() || version >= kOldestPutty)
        return {};
    return QStringLiteral("Framla needs PuTTY %1 or newer, but the plink found here is %2, "
                          "so nothing is looked up on or sent to the server until PuTTY "
                          "(putty-tools) is updated.")
        .arg(kOldestPutty.toString(), version.toString());
}

PuttyCheckedShell::PuttyCheckedShell(Shell &inner)
    : m_inner(inner)
{
    ToolCommand version;
    version.tool = QStringLiteral("plink");
    version.args = {QStringLiteral("-V")};
    version.window = WindowHint::Hidden;
    version.viaStart = false;
    version.mayShare = false;
    const RunOutcome said = m_inner.run(version, kLookupTimeoutMs);
    // A plink that cannot be run, or names no release, is left for the
    // remote runs themselves to report.
    if (said.status == RunOutcome::Status::Finished)
        m_problem = puttyTooOld(said.standardOutput + said.standardError);
    if (!m_problem.isEmpty())
        qCWarning(lcFramla).noquote() << m_problem;
}

RunOutcome PuttyCheckedShell::run(const ToolCommand &command, int timeoutMs)
{
    if (m_problem.isEmpty() || !command.isPutty())
        return m_inner.run(command, timeoutMs);
    RunOutcome refused;
    refused.message = m_problem;
    qCWarning(lcFramla).noquote() << "not run, PuTTY is too old:" << command.text();
    return refused;
}

std::unique_ptr<SideRun> PuttyCheckedShell::startBeside(const ToolCommand &command, int timeoutMs)
{
    // A refused run is left for the caller to make, which says why.
    if (!m_problem.isEmpty() && command.isPutty())
        return nullptr;
    return m_inner.startBeside(command, timeoutMs);
}

void PuttyCheckedShell::shareConnectionOf(const LinkKey &key)
{
    if (m_problem.isEmpty())
        m_inner.shareConnectionOf(key);
}

} // namespace framla::runtime
