#include "tool_process.h"

#include <QProcess>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace framla::runtime {

PasswordFile::~PasswordFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PasswordFile::open(const QByteArray &content)
{
    m_fd = ::memfd_create("framla-password", MFD_CLOEXEC);
    if (m_fd < 0 || ::fchmod(m_fd, 0600) != 0)
        return fail();
    for (qsizetype done = 0; done < content.size();) {
        const ssize_t written = ::write(m_fd, content.constData() + done, content.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return fail();
        done += written;
    }
    return true;
}

bool PasswordFile::fail()
{
    m_error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

void prepareToolProcess(QProcess &process, const QString &program, const QStringList &args,
                        const QString &dir, int passwordFd)
{
    process.setProgram(program);
    process.setArguments(args);
    process.setWorkingDirectory(dir);
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent, passwordFd] {
        // The tool dies with the thread that started it, so with the program
        // even one killed outright; one whose parent already died before
        // this line does not run at all.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        // No terminal to ask the operator on: PuTTY reads its answers from
        // the standard input the runner gives it.
        ::setsid();
        if (passwordFd >= 0)
            ::fcntl(passwordFd, F_SETFD, 0);
    });
}

void stopToolProcess(QProcess &process)
{
    process.terminate();
    if (!process.waitForFinished(2000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

} // namespace framla::runtime
