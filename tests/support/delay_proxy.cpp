#include "delay_proxy.h"

#include "test_server.h"

#include <QFile>

namespace framla::test {

namespace {
QString proxyProgram()
{
    const QByteArray dir = qgetenv("FRAMLA_BIN_DIR");
    return (dir.isEmpty() ? QStringLiteral(FRAMLA_BINARY_DIR) : QString::fromLocal8Bit(dir)) +
           QStringLiteral("/tools/delayproxy/delayproxy");
}
} // namespace

DelayProxy::~DelayProxy()
{
    stop();
}

bool DelayProxy::start(const QString &targetHost, const QString &targetPort, int rttMs,
                       const QStringList &more)
{
    m_process.setProgram(proxyProgram());
    m_process.setArguments(QStringList{QStringLiteral("--listen"), QStringLiteral("0"),
                                       QStringLiteral("--target"),
                                       targetHost + QLatin1Char(':') + targetPort,
                                       QStringLiteral("--rtt"), QString::number(rttMs)} +
                           more);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("delayproxy did not start: ") + m_process.errorString();
        return false;
    }
    while (!m_process.canReadLine() && m_process.waitForReadyRead(10000)) {
    }
    m_port = QString::fromLatin1(m_process.readLine()).trimmed();
    if (m_port.toInt() <= 0) {
        m_error = QStringLiteral("delayproxy named no port");
        stop();
        return false;
    }
    return true;
}

bool DelayProxy::startInFrontOf(const TestServer &server, int rttMs, const QStringList &more)
{
    if (!start(server.host(), server.port(), rttMs, more))
        return false;
    // Lines of the cache look like "ssh-ed25519@PORT:HOST KEY".
    QFile cache(server.fact("PUTTYDIR") + QStringLiteral("/sshhostkeys"));
    if (!cache.open(QIODevice::ReadWrite)) {
        m_error = QStringLiteral("no PuTTY host-key cache");
        return false;
    }
    const QByteArray straight =
        '@' + server.port().toLatin1() + ':' + server.host().toLatin1() + ' ';
    const QByteArray proxied = '@' + m_port.toLatin1() + ':' + server.host().toLatin1() + ' ';
    QByteArray kept;
    QByteArray added;
    for (const QByteArray &line : cache.readAll().split('\n')) {
        if (line.isEmpty() || line.contains(proxied))
            continue;
        kept += line + '\n';
        if (line.contains(straight))
            added += QByteArray(line).replace(straight, proxied) + '\n';
    }
    if (added.isEmpty()) {
        m_error = QStringLiteral("the cache holds no key for the server");
        return false;
    }
    cache.resize(0);
    cache.seek(0);
    return cache.write(kept + added) == kept.size() + added.size();
}

bool DelayProxy::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return false;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(10000);
        return false;
    }
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

} // namespace framla::test
