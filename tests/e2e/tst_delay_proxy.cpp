// tools/delayproxy in front of the real test SSH server: plink and pscp work
// through it with and without a delay, a 2 MB copy arrives unchanged while
// another connection runs beside it, and the delay (with --handshake, also on
// a new connection) is really added.
#include "support/delay_proxy.h"
#include "support/test_server.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace framla;

namespace {

/// Echoes what one connection sends, on 127.0.0.1 at a free port.
class EchoServer {
public:
    EchoServer()
    {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (bind(m_listener, reinterpret_cast<sockaddr *>(&address), size) == 0 &&
            listen(m_listener, 4) == 0 &&
            getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &size) == 0)
            m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            const int peer = accept(m_listener, nullptr, nullptr);
            if (peer < 0)
                return;
            const int one = 1;
            setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            char buffer[4096];
            for (ssize_t n; (n = recv(peer, buffer, sizeof buffer, 0)) > 0;)
                if (send(peer, buffer, size_t(n), MSG_NOSIGNAL) != n)
                    break;
            close(peer);
        });
    }
    ~EchoServer()
    {
        shutdown(m_listener, SHUT_RDWR); // wakes an accept still waiting
        m_thread.join();
        close(m_listener);
    }
    int port() const { return m_port; }

private:
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
};

int connectTo(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

class TestDelayProxy : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void remoteRun_data();
    void remoteRun();
    void largeCopyBesideAnotherRun();
    void addsTheRoundTrip_data();
    void addsTheRoundTrip();

private:
    QStringList login(const test::DelayProxy &proxy) const;
    QStringList lookUp(const test::DelayProxy &proxy, const QString &token) const;
    static void start(QProcess &process, const QString &tool, const QStringList &args);
    static bool finished(QProcess &process);
    QByteArray reply() const;

    test::TestServer m_server;
    QTemporaryDir m_work;
};

void TestDelayProxy::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    QVERIFY(m_work.isValid());
}

QStringList TestDelayProxy::login(const test::DelayProxy &proxy) const
{
    return {QStringLiteral("-batch"), QStringLiteral("-P"), proxy.port(), QStringLiteral("-pwfile"),
            m_server.fact("FRAMLA_TEST_PWFILE")};
}

QStringList TestDelayProxy::lookUp(const test::DelayProxy &proxy, const QString &token) const
{
    return login(proxy) +
           QStringList{QStringLiteral("-ssh"),
                       m_server.user() + QStringLiteral("@") + m_server.host(),
                       QStringLiteral("framaid"),
                       m_server.dbPath() + QStringLiteral("/jtemp/") + m_server.user(),
                       QStringLiteral("AB10001"),
                       token};
}

QByteArray TestDelayProxy::reply() const
{
    QFile file(m_server.dbPath() + QStringLiteral("/jtemp/") + m_server.user() +
               QStringLiteral("/framla.tmp"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestDelayProxy::start(QProcess &process, const QString &tool, const QStringList &args)
{
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(tool, args);
}

bool TestDelayProxy::finished(QProcess &process)
{
    const bool ended = process.waitForFinished(60000);
    if (!ended)
        process.kill();
    const bool ok =
        ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok)
        qWarning("%s: %s", qPrintable(process.program()),
                 process.readAllStandardError().constData());
    return ok;
}

void TestDelayProxy::remoteRun_data()
{
    QTest::addColumn<int>("rtt");
    QTest::addColumn<bool>("framaid");
    QTest::addColumn<bool>("handshake");
    QTest::newRow("0 ms, framaid") << 0 << true << false;
    QTest::newRow("0 ms, true") << 0 << false << false;
    QTest::newRow("50 ms, framaid") << 50 << true << false;
    QTest::newRow("50 ms, true") << 50 << false << false;
    QTest::newRow("50 ms and handshake, framaid") << 50 << true << true;
}

void TestDelayProxy::remoteRun()
{
    QFETCH(int, rtt);
    QFETCH(bool, framaid);
    QFETCH(bool, handshake);
    test::DelayProxy proxy;
    QVERIFY2(proxy.startInFrontOf(m_server, rtt,
                                  handshake ? QStringList{QStringLiteral("--handshake")}
                                            : QStringList()),
             qPrintable(proxy.error()));
    const QString token = QStringLiteral("10:%1:%2")
                              .arg(int(handshake), 2, 10, QLatin1Char('0'))
                              .arg(rtt, 2, 10, QLatin1Char('0'));
    QProcess plink;
    start(plink, QStringLiteral("plink"),
          framaid
              ? lookUp(proxy, token)
              : login(proxy) + QStringList{QStringLiteral("-ssh"),
                                           m_server.user() + QStringLiteral("@") + m_server.host(),
                                           QStringLiteral("true")});
    QVERIFY(finished(plink));
    if (framaid)
        QVERIFY2(reply().contains(token.toLatin1()), reply().constData());
    QVERIFY(proxy.stop());
}

void TestDelayProxy::largeCopyBesideAnotherRun()
{
    QByteArray data(2 * 1024 * 1024 + 333, Qt::Uninitialized);
    QRandomGenerator random(15);
    for (char &byte : data)
        byte = char(random.bounded(256));
    const QString local = m_work.filePath(QStringLiteral("large.bin"));
    QFile file(local);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(data) == data.size());
    file.close();

    test::DelayProxy proxy;
    QVERIFY2(proxy.startInFrontOf(m_server, 50), qPrintable(proxy.error()));
    const QString remote = m_server.dbPath() + QStringLiteral("/large.bin");
    const QString at = m_server.user() + QStringLiteral("@") + m_server.host() + QLatin1Char(':');
    // The copy and a look-up at the same time, on two connections.
    QProcess copy;
    QProcess look;
    start(copy, QStringLiteral("pscp"),
          login(proxy) + QStringList{QStringLiteral("-scp"), local, at + remote});
    start(look, QStringLiteral("plink"), lookUp(proxy, QStringLiteral("10:01:00")));
    QVERIFY(finished(copy));
    QVERIFY(finished(look));
    QVERIFY(reply().contains("10:01:00"));
    QFile arrived(remote);
    QVERIFY(arrived.open(QIODevice::ReadOnly));
    QVERIFY(arrived.readAll() == data);

    const QString back = m_work.filePath(QStringLiteral("back.bin"));
    start(copy, QStringLiteral("pscp"),
          login(proxy) + QStringList{QStringLiteral("-scp"), at + remote, back});
    QVERIFY(finished(copy));
    QFile returned(back);
    QVERIFY(returned.open(QIODevice::ReadOnly));
    QVERIFY(returned.readAll() == data);
    QVERIFY(proxy.stop());
}

void TestDelayProxy::addsTheRoundTrip_data()
{
    QTest::addColumn<bool>("handshake");
    QTest::newRow("chunks") << false;
    QTest::newRow("chunks and handshake") << true;
}

void TestDelayProxy::addsTheRoundTrip()
{
    QFETCH(bool, handshake);
    constexpr int rounds = 10;
    constexpr int rtt = 60;
    EchoServer echo;
    QVERIFY(echo.port() > 0);
    test::DelayProxy proxy;
    QVERIFY2(proxy.start(QStringLiteral("127.0.0.1"), QString::number(echo.port()), rtt,
                         handshake ? QStringList{QStringLiteral("--handshake")} : QStringList()),
             qPrintable(proxy.error()));
    // The handshake puts one more round trip before the first answer.
    const int before = handshake ? 2 * rtt : rtt;
    QElapsedTimer timer;
    timer.start();
    const int fd = connectTo(proxy.port().toInt());
    QVERIFY(fd >= 0);
    QByteArray echoed;
    qint64 first = 0;
    for (int i = 0; i < rounds; ++i) {
        const char sent = char('a' + i);
        char got = 0;
        if (send(fd, &sent, 1, MSG_NOSIGNAL) != 1 || recv(fd, &got, 1, MSG_WAITALL) != 1)
            break;
        echoed += got;
        if (i == 0)
            first = timer.elapsed();
    }
    const qint64 elapsed = timer.elapsed();
    close(fd);
    QCOMPARE(echoed, QByteArray("abcdefghij"));
    QVERIFY2(first >= before * 9 / 10, qPrintable(QString::number(first)));
    QVERIFY2(elapsed >= (before + (rounds - 1) * rtt) * 9 / 10,
             qPrintable(QString::number(elapsed)));
    QVERIFY(proxy.stop());
}

QTEST_GUILESS_MAIN(TestDelayProxy)
#include "tst_delay_proxy.moc"
