#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace framla::test {

class TestServer;

/// tools/delayproxy in front of a TCP server: every connection to port()
/// reaches the target, with rttMs added to each round trip.
class DelayProxy {
public:
    ~DelayProxy();
    /// `more`: further options of delayproxy (--handshake).
    bool start(const QString &targetHost, const QString &targetPort, int rttMs,
               const QStringList &more = {});
    /// In front of the test SSH server; PuTTY's host-key cache (PUTTYDIR)
    /// is taught the server's key at the proxy's port too, so the tools run
    /// with -batch through it as they do straight.
    bool startInFrontOf(const TestServer &server, int rttMs, const QStringList &more = {});
    /// SIGTERM; true when the proxy then ended by itself with status 0.
    bool stop();

    QString port() const { return m_port; }
    QString error() const { return m_error; }

private:
    QProcess m_process;
    QString m_port;
    QString m_error;
};

} // namespace framla::test
