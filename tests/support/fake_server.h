#pragma once

#include "runtime/shell.h"
#include "support/scripted_shell.h"

#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

namespace framla::test {

/// A server in memory behind a scripted shell: pscp sends store files,
/// fetches copy them into the program's directory, chmod records modes, mv
/// renames and rm removes, the reply file carries the token of the last
/// framaid request. For tests of the layers above the tool runner.
class FakeServer {
public:
    explicit FakeServer(QString appDir);

    /// Install this server as the shell's behaviour.
    void attach(ScriptedShell &shell);

    QMutex mutex;
    QMap<QString, QByteArray> files;                     ///< remote path -> content
    QMap<QString, QString> modes;                        ///< remote path -> mode set by chmod
    QString replyBody = QStringLiteral("Gold ring\r\n"); ///< reply text after the token line
    QString replyDir;        ///< where framaid leaves its reply (remote), set by the first request
    bool failCopies = false; ///< sends fail with "Access denied"
    bool corruptCopies = false;   ///< sends store one byte changed, the length kept
    bool interruptCopies = false; ///< sends store the first half and fail
    int copyTakesMs = 0; ///< sends take this long: an operation's time may run out meanwhile
    QStringList refusedCommands; ///< remote commands (first word) that fail: "chmod", "mv"

    runtime::RunOutcome handle(const runtime::ToolCommand &command);

    /// The shell's command lines with the private copies' random names shown
    /// as the one name each stands for (STAGED, COPY.jpg, CHECK.jpg) and the
    /// placing script as SCRIPT: its behaviour is the real server's to show.
    static QStringList stableTexts(const ScriptedShell &shell);

private:
    QString m_appDir;
    QString m_token;
};

} // namespace framla::test
