#pragma once

// What the tests of the look-up and of its reply fetch share: a scripted
// server that answers the request, the reply fetches and the image fetches.
#include "core/program_state.h"
#include "runtime/files.h"
#include "server/lookup.h"
#include "server/target.h"
#include "support/scripted_world.h"

#include <QDir>
#include <QObject>
#include <QTest>

namespace framla::test {

inline const QString kToken = QStringLiteral("10:30:00");
inline const QString kFetchFailed = QStringLiteral("ERROR: Failed to fetch data from\r\n"
                                                   "Server. Probably temporary connection\r\n"
                                                   "failure. Please try again, or check\r\n"
                                                   "settings if it persists.");

/// What a look-up of the code with the test's token asks for.
inline Target asked(const QString &code)
{
    Target target;
    target.cCode = code;
    target.cTime = kToken;
    return target;
}

/// What a look-up says about putting: "yes", "no", or "-" when it asked nothing.
inline QString putAnswer(const server::LookupResult &found)
{
    return !found.ok2Put   ? QStringLiteral("-")
           : *found.ok2Put ? QStringLiteral("yes")
                           : QStringLiteral("no");
}

class LookupFixture : public QObject {
protected:
    /// Before every test: a fresh world; every run ends well.
    void reset()
    {
        m_world.reset();
        QVERIFY(m_world.dir->isValid());
        m_fetches = 0;
        m_fetchOutcome = finishedRun();
        m_requestOutcome = finishedRun();
    }

    /// The replies the server gives to successive fetches of the reply file
    /// (the last one repeats); image fetches create their local file.
    void serve(const QList<QByteArray> &replies)
    {
        m_shell.onRun = [this, replies](const runtime::ToolCommand &command) {
            const QString target = command.args.value(4);
            const QDir dir(m_state.cAppPath);
            if (command.executableName() == QStringLiteral("pscp") &&
                command.args.value(3).endsWith(QStringLiteral("/framla.tmp"))) {
                const QByteArray reply =
                    replies.value(qMin<qsizetype>(m_fetches, replies.size() - 1));
                ++m_fetches;
                if (!reply.isNull())
                    runtime::writeWholeFile(dir.filePath(QStringLiteral("framla.tmp")), reply);
                return m_fetchOutcome;
            }
            if (command.executableName() == QStringLiteral("plink"))
                return m_requestOutcome;
            if (target.endsWith(QStringLiteral(".jpg")))
                runtime::writeWholeFile(dir.filePath(target), command.args.value(3).toUtf8());
            return finishedRun();
        };
    }

    /// The remote pictures fetched.
    QStringList fetchedImages() const
    {
        QStringList out;
        for (const runtime::ToolCommand &command : m_shell.commands) {
            if (command.args.value(4).endsWith(QStringLiteral(".jpg")))
                out.append(command.args.value(3));
        }
        return out;
    }

    /// The framaid requests, as the remote shell gets them.
    QStringList requests() const
    {
        QStringList out;
        for (const runtime::ToolCommand &command : m_shell.commands) {
            if (command.executableName() == QStringLiteral("plink"))
                out.append(command.args.mid(4).join(QLatin1Char(' ')));
        }
        return out;
    }

    /// The look-up of a code, in canonical form, with the test's token.
    server::LookupResult lookUp(const QString &code, bool inventory = true,
                                const QString &name = {})
    {
        Target target = server::targetOf(m_state);
        target.cCode = code;
        target.cName = name;
        target.lInventory = inventory;
        target.cTime = kToken;
        return server::PrepText(m_state, m_display, m_state.login, target);
    }

    /// The reply fetch for a look-up of the code.
    server::ReplyAnswer fetchReply(const Target &target)
    {
        return server::SHWTXTMSG1(m_state, m_display, m_state.login, target);
    }

    ScriptedWorld m_world;
    ScriptedDialogs &m_dialogs = m_world.dialogs;
    ScriptedShell &m_shell = m_world.shell;
    TestClock &m_clock = m_world.clock;
    RecordingDisplay &m_display = m_world.display;
    ProgramState &m_state = m_world.state;
    int m_fetches = 0;
    runtime::RunOutcome m_fetchOutcome;   ///< how every fetch of the reply file ends
    runtime::RunOutcome m_requestOutcome; ///< how every run of framaid ends
};

} // namespace framla::test
