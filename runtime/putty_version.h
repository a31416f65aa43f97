#pragma once

// The PuTTY the program runs must read the password from a file (-pwfile,
// from release 0.77 on): the version plink reports is checked once at
// start-up, and with an older one no remote run is tried.

#include "shell.h"

#include <QByteArray>
#include <QString>
#include <QVersionNumber>

namespace framla::runtime {

/// The release the first line of "plink -V" names ("plink: Release 0.78",
/// "plink: Pre-release 0.77:2022-04-04.abc1234"); null for a development
/// snapshot, an unidentified build or anything else.
QVersionNumber puttyRelease(const QByteArray &versionOutput);

/// The sentence for the operator when "plink -V" names a release older than
/// 0.77; "" when it names a newer one, or none.
QString puttyTooOld(const QByteArray &versionOutput);

/// A shell that asks plink for its version once, when made, and from then
/// on refuses every PuTTY run (with the sentence as its message) when that
/// PuTTY is too old; every other run goes to the inner shell.
class PuttyCheckedShell final : public Shell {
public:
    explicit PuttyCheckedShell(Shell &inner);

    RunOutcome run(const ToolCommand &command, int timeoutMs) override;
    void shareConnectionOf(const LinkKey &key) override;
    std::unique_ptr<SideRun> startBeside(const ToolCommand &command, int timeoutMs) override;
    /// The sentence, or "" when PuTTY may be used.
    QString problem() const { return m_problem; }

private:
    Shell &m_inner;
    QString m_problem;
};

} // namespace framla::runtime
