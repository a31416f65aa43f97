#include "fake_server.h"

#include <QRegularExpression>

#include "runtime/files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QThread>

namespace framla::test {

using runtime::RunOutcome;

namespace {
RunOutcome finished(int code, const QByteArray &error = {})
{
    RunOutcome outcome = finishedRun(code, code != 0 ? QString::fromLatin1(error) : QString());
    outcome.standardError = error;
    return outcome;
}

QString remotePart(const QString &target)
{
    const qsizetype colon = target.indexOf(QLatin1Char(':'));
    return colon >= 0 ? target.mid(colon + 1) : target;
}
} // namespace

FakeServer::FakeServer(QString appDir)
    : m_appDir(std::move(appDir))
{}

void FakeServer::attach(ScriptedShell &shell)
{
    shell.onRun = [this](const runtime::ToolCommand &command) { return handle(command); };
}

RunOutcome FakeServer::handle(const runtime::ToolCommand &command)
{
    QMutexLocker lock(&mutex);
    const QDir app(m_appDir);
    const QString name = command.executableName();
    if (name == QStringLiteral("mogrify") || name == QStringLiteral("convert")) {
        // Stands for the resize: mark the file so the test can see it ran.
        const QString file = app.filePath(command.args.last());
        const auto data = runtime::readWholeFile(file);
        if (!data)
            return finished(1, "mogrify: unable to open image");
        runtime::writeWholeFile(file, *data + "|" + command.args.value(1).toLatin1());
        return finished(0);
    }
    if (name == QStringLiteral("plink")) {
        const QStringList words = command.args.mid(4);
        if (refusedCommands.contains(words.value(0)))
            return finished(1, words.value(0).toLatin1() + ": Operation not permitted");
        if (words.value(0) == QStringLiteral("framaid")) {
            replyDir = words.value(1);
            m_token = words.value(3);
            files.insert(replyDir + QStringLiteral("/framla.tmp"),
                         (m_token + QStringLiteral(" framaid\r\n") + replyBody).toUtf8());
        } else if (words.value(0) == QStringLiteral("chmod")) {
            if (!files.contains(words.value(2)))
                return finished(1, "chmod: No such file or directory");
            modes.insert(words.value(2), words.value(1));
        } else if (words.value(0) == QStringLiteral("rm")) {
            files.remove(words.value(2));
        } else if (words.value(0) == QStringLiteral("sh") &&
                   words.value(3) == QStringLiteral("framla-place")) {
            // sh -c SCRIPT framla-place DIR MODE NAME TARGET: the file staged
            // as DIR/NAME gets MODE and moves onto TARGET; a refused chmod
            // leaves it in place without its mode (exit 3).
            // EXPECT (word 8): "none" refuses a target that is there (4), a
            // digest one whose content is another (5).
            const QString staged = words.value(4) + QLatin1Char('/') + words.value(6);
            if (!files.contains(staged) || refusedCommands.contains(QStringLiteral("mv")))
                return finished(1, "mv: Operation not permitted");
            const QString expect = words.value(8);
            const QString target = words.value(7);
            if (expect == QStringLiteral("none") && files.contains(target))
                return files.remove(staged), finished(4, "a picture was put meanwhile");
            if (expect.size() == 64 &&
                QCryptographicHash::hash(files.value(target), QCryptographicHash::Sha256).toHex() !=
                    expect.toLatin1())
                return files.remove(staged), finished(5, "the picture changed meanwhile");
            files.insert(words.value(7), files.take(staged));
            if (refusedCommands.contains(QStringLiteral("chmod"))) {
                modes.remove(words.value(7));
                return finished(3, "chmod: Operation not permitted");
            }
            modes.insert(words.value(7), words.value(5));
        } else if (words.value(0) == QStringLiteral("sh") &&
                   words.value(3) == QStringLiteral("framla-fetch")) {
            // sh -c SCRIPT framla-fetch PATH: the file on standard output, 4 when none.
            if (!files.contains(words.value(4)))
                return finished(4);
            RunOutcome outcome = finished(0);
            outcome.standardOutput = files.value(words.value(4));
            return outcome;
        } else if (words.value(0) == QStringLiteral("mv")) {
            if (!files.contains(words.value(2)))
                return finished(1, "mv: cannot stat: No such file or directory");
            files.insert(words.value(3), files.take(words.value(2)));
            if (modes.contains(words.value(2)))
                modes.insert(words.value(3), modes.take(words.value(2)));
            else
                modes.remove(words.value(3));
        }
        return finished(0);
    }
    if (name == QStringLiteral("pscp")) {
        const QString from = command.args.value(3);
        const QString to = command.args.value(4);
        if (to.contains(QLatin1Char('@'))) { // a send
            if (failCopies)
                return finished(1, "Access denied");
            QThread::msleep(ulong(copyTakesMs));
            const auto data = runtime::readWholeFile(app.filePath(from));
            if (!data)
                return finished(1, "No such file or directory");
            QByteArray stored = *data;
            // As long as what was sent: only a check of every byte tells them apart.
            if (corruptCopies && !stored.isEmpty())
                stored[stored.size() / 2] = char(stored.at(stored.size() / 2) ^ 0x20);
            if (interruptCopies) {
                files.insert(remotePart(to), stored.left(stored.size() / 2));
                return finished(1, "Connection lost");
            }
            files.insert(remotePart(to), stored);
            return finished(0);
        }
        const QString remote = remotePart(from);
        if (!files.contains(remote))
            return finished(1, "scp: No such file or directory");
        const QString local = to == QStringLiteral(".") ? QFileInfo(remote).fileName() : to;
        runtime::writeWholeFile(app.filePath(local), files.value(remote));
        return finished(0);
    }
    return finished(0);
}

QStringList FakeServer::stableTexts(const ScriptedShell &shell)
{
    QStringList texts = shell.texts();
    static const QRegularExpression staged(QStringLiteral("upload-[0-9a-f]{16}"));
    static const QRegularExpression copy(QStringLiteral("upload-\\w+\\.jpg"));
    static const QRegularExpression check(QStringLiteral("verify-\\w+\\.jpg"));
    static const QRegularExpression script(QStringLiteral("sh -c \"'[^']*'\" "));
    for (QString &text : texts) {
        text.replace(staged, QStringLiteral("STAGED"));
        text.replace(copy, QStringLiteral("COPY.jpg"));
        text.replace(check, QStringLiteral("CHECK.jpg"));
        text.replace(script, QStringLiteral("sh -c SCRIPT "));
    }
    return texts;
}

} // namespace framla::test
