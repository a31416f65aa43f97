#include "test_server.h"

#include "config/settings_file.h"
#include "core/program_state.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace framla::test {

namespace {
QString script()
{
    return QStringLiteral(FRAMLA_SOURCE_DIR "/scripts/test-server");
}

bool runScript(const QString &verb, const QString &dir, QString *output)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("FRAMLA_BIN_DIR")))
        env.insert(QStringLiteral("FRAMLA_BIN_DIR"), QStringLiteral(FRAMLA_BINARY_DIR));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral("bash"), {script(), verb, dir});
    const bool finished = process.waitForFinished(120000);
    if (!finished)
        process.kill();
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
/// The parent of every process, from /proc.
QMap<qint64, qint64> parents()
{
    QMap<qint64, qint64> parentOf;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!number || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // "pid (name) state ppid ...": the name may hold blanks and brackets.
        const QList<QByteArray> rest = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1)
            parentOf.insert(pid, rest.at(1).toLongLong());
    }
    return parentOf;
}

bool greets(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // A listening socket still held by a dying process accepts the
    // connection but never greets: wait for the banner a short time only.
    const timeval patience{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    char banner[8] = {};
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
                    ::recv(fd, banner, sizeof banner, MSG_WAITALL) == sizeof banner &&
                    QByteArray(banner, sizeof banner) == "SSH-2.0-";
    ::close(fd);
    return ok;
}

} // namespace

QList<qint64> descendantsOf(qint64 pid)
{
    const QMap<qint64, qint64> parentOf = parents();
    QList<qint64> found{pid};
    for (qsizetype i = 0; i < found.size(); ++i)
        for (auto it = parentOf.begin(); it != parentOf.end(); ++it)
            if (it.value() == found.at(i))
                found.append(it.key());
    return found.mid(1);
}

TestServer::~TestServer()
{
    stop();
}

bool TestServer::start()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return false;
    }
    if (!runScript(QStringLiteral("start"), m_dir.path(), &m_error))
        return false;
    m_running = true;
    QFile env(m_dir.filePath(QStringLiteral("server.env")));
    if (!env.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("no server.env");
        return false;
    }
    while (!env.atEnd()) {
        const QString line = QString::fromUtf8(env.readLine()).trimmed();
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            m_facts.insert(line.left(eq), line.mid(eq + 1));
    }
    qputenv("PUTTYDIR", fact("PUTTYDIR").toLocal8Bit());
    return !port().isEmpty();
}

void TestServer::stop()
{
    if (!m_running)
        return;
    m_running = false;
    runScript(QStringLiteral("stop"), m_dir.path(), nullptr);
}

ServerLogin TestServer::login() const
{
    return {host(), port(), dbPath(), user(), password(), false};
}

void TestServer::configure(ProgramState &state) const
{
    state.login = login();
}

bool TestServer::saveSettingsIn(const QString &dir) const
{
    ProgramState saved;
    saved.cAppPath = dir;
    return config::SaveParam(saved, login(), QDir(dir).filePath(QStringLiteral("Framla.cfg")));
}

int TestServer::acceptedLogins() const
{
    QFile log(logFile());
    return log.open(QIODevice::ReadOnly) ? int(log.readAll().count("Accepted password for ")) : -1;
}

bool TestServer::restart()
{
    const qint64 daemon = fact("FRAMLA_TEST_SSHD_PID").toLongLong();
    // The daemon stopped first, so that it forks no connection after the
    // list is taken, then it and every process of the connections it held.
    ::kill(pid_t(daemon), SIGSTOP);
    const QList<qint64> ending = QList<qint64>{daemon} + descendantsOf(daemon);
    for (const qint64 pid : ending)
        ::kill(pid_t(pid), SIGKILL);
    const QDeadlineTimer deadline(30000);
    while (greets(port().toInt()) && !deadline.hasExpired())
        QThread::msleep(50);

    const QString pidFile = m_dir.filePath(QStringLiteral("sshd.pid"));
    QFile::remove(pidFile);
    QProcess sshd;
    sshd.setProgram(QStringLiteral("setsid"));
    sshd.setArguments({QStringLiteral("/usr/sbin/sshd"), QStringLiteral("-D"), QStringLiteral("-e"),
                       QStringLiteral("-f"), m_dir.filePath(QStringLiteral("sshd_config"))});
    sshd.setStandardInputFile(QProcess::nullDevice());
    sshd.setStandardOutputFile(logFile(), QIODevice::Append);
    sshd.setStandardErrorFile(logFile(), QIODevice::Append);
    if (!sshd.startDetached()) {
        m_error = QStringLiteral("sshd did not start again");
        return false;
    }
    QByteArray pid;
    while (!deadline.hasExpired() && (pid.isEmpty() || !greets(port().toInt()))) {
        QThread::msleep(50);
        QFile file(pidFile);
        if (file.open(QIODevice::ReadOnly))
            pid = file.readAll().trimmed();
    }
    if (pid.isEmpty() || !greets(port().toInt())) {
        m_error = QStringLiteral("sshd did not come back on port ") + port();
        return false;
    }
    // stop() ends the daemon named in server.env.
    m_facts.insert(QStringLiteral("FRAMLA_TEST_SSHD_PID"), QString::fromLatin1(pid));
    QFile env(m_dir.filePath(QStringLiteral("server.env")));
    if (!env.open(QIODevice::ReadOnly))
        return false;
    QByteArray text = env.readAll();
    env.close();
    text.replace("FRAMLA_TEST_SSHD_PID=" + QByteArray::number(daemon) + '\n',
                 "FRAMLA_TEST_SSHD_PID=" + pid + '\n');
    return env.open(QIODevice::WriteOnly | QIODevice::Truncate) && env.write(text) == text.size();
}

bool runTool(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace framla::test
