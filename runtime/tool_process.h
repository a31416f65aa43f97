#pragma once

// What every tool run of the runner shares, the connection kept open for the
// PuTTY tools included: the password in a file that lives only in memory,
// and a child process that cannot outlive the thread that started it.

#include <QByteArray>
#include <QString>
#include <QStringList>

class QProcess;

namespace framla::runtime {

/// A file in memory only, gone when the last descriptor to it closes (the
/// program's and the tool's alike, however they end). Closed on exec in
/// every child but the one it is handed to.
class PasswordFile {
public:
    PasswordFile() = default;
    PasswordFile(const PasswordFile &) = delete;
    PasswordFile &operator=(const PasswordFile &) = delete;
    ~PasswordFile();

    /// Holds content; false (see error()) when the file could not be made.
    bool open(const QByteArray &content);
    int descriptor() const { return m_fd; }
    /// "/dev/fd/N", as the tool that inherits it opens it.
    QString path() const { return QStringLiteral("/dev/fd/%1").arg(m_fd); }
    QString error() const { return m_error; }

private:
    bool fail();
    int m_fd = -1;
    QString m_error;
};

/// Sets process up to run program with args in dir: the child dies with the
/// thread that starts it (and does not run at all when the program is
/// already gone), has no terminal, and inherits passwordFd (when >= 0).
void prepareToolProcess(QProcess &process, const QString &program, const QStringList &args,
                        const QString &dir, int passwordFd);

/// Ask first so the tool can clean up; a tool that ignores it is killed.
void stopToolProcess(QProcess &process);

} // namespace framla::runtime
