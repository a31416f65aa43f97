#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace framla {
struct ProgramState;
struct ServerLogin;
} // namespace framla

namespace framla::test {

/// Every process below pid (children, their children ...), from /proc.
QList<qint64> descendantsOf(qint64 pid);

/// The real SSH server of scripts/test-server, with the sample shop database
/// and framaid, for end-to-end tests. Points PuTTY at the prepared host-key
/// cache (PUTTYDIR) of this process.
class TestServer {
public:
    ~TestServer();
    /// Start the server; false (with the script's words in error()) when it did not.
    bool start();
    void stop();

    QString fact(const char *key) const { return m_facts.value(QLatin1String(key)); }
    QString host() const { return fact("FRAMLA_TEST_HOST"); }
    QString port() const { return fact("FRAMLA_TEST_PORT"); }
    QString user() const { return fact("FRAMLA_TEST_USER"); }
    QString password() const { return fact("FRAMLA_TEST_PASSWORD"); }
    QString dbPath() const { return fact("FRAMLA_TEST_DBPATH"); }
    QString error() const { return m_error; }

    /// This server's settings as the settings tab would take them.
    ServerLogin login() const;
    /// Put this server's settings into a program state.
    void configure(ProgramState &state) const;
    /// Save this server's settings as "Framla.cfg" in dir, as the settings tab saves them.
    bool saveSettingsIn(const QString &dir) const;

    /// sshd's log (it logs every login: "Accepted password for ...").
    QString logFile() const { return m_dir.filePath(QStringLiteral("sshd.log")); }
    /// How many logins sshd has accepted so far.
    int acceptedLogins() const;
    /// Restart sshd as a restarted server would: the daemon and every
    /// connection it holds end, and a new daemon listens on the same port
    /// with the same key. False (see error()) when it did not come back.
    bool restart();

private:
    QTemporaryDir m_dir;
    QMap<QString, QString> m_facts;
    QString m_error;
    bool m_running = false;
};

/// Runs a local tool (convert, mogrify, ...) to its end within a minute;
/// true when it exited normally with 0.
bool runTool(const QString &program, const QStringList &args);

} // namespace framla::test
