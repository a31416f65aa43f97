// The test SSH server of scripts/test-server with the real PuTTY tools and the
// real framaid: a look-up through plink, its reply fetched with pscp.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString binDir()
{
    const QString env = qEnvironmentVariable("FRAMLA_BIN_DIR");
    return env.isEmpty() ? QStringLiteral(FRAMLA_BINARY_DIR) : env;
}

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    QByteArray output; // standard output and error together
};

Outcome runTool(const QString &program, const QStringList &args, const QProcessEnvironment &env,
                int ms)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    Outcome o;
    o.finished = p.waitForFinished(ms);
    if (!o.finished) {
        p.kill();
        p.waitForFinished();
    }
    o.exitCode = p.exitCode();
    o.output = p.readAll();
    return o;
}

} // namespace

class TestServerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_serverDir;
    QMap<QString, QString> m_facts;
    QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();

    QString script() const { return QStringLiteral(FRAMLA_SOURCE_DIR "/scripts/test-server"); }
    QString fact(const char *key) const { return m_facts.value(QLatin1String(key)); }
    QString login() const
    {
        return fact("FRAMLA_TEST_USER") + QLatin1Char('@') + fact("FRAMLA_TEST_HOST");
    }
    QString replyDir() const
    {
        return fact("FRAMLA_TEST_DBPATH") + QStringLiteral("/jtemp/") + fact("FRAMLA_TEST_USER");
    }

    QStringList puttyArgs() const
    {
        return {QStringLiteral("-batch"), QStringLiteral("-P"), fact("FRAMLA_TEST_PORT"),
                QStringLiteral("-pwfile"), fact("FRAMLA_TEST_PWFILE")};
    }

    Outcome plink(const QStringList &command) const
    {
        return runTool(QStringLiteral("plink"),
                       puttyArgs() + QStringList{QStringLiteral("-ssh"), login()} + command, m_env,
                       30000);
    }

    // Copies a remote file into the temporary directory; returns its bytes.
    QByteArray fetch(const QString &remote, const QString &localName)
    {
        const QString local = m_tmp.filePath(localName);
        QFile::remove(local);
        const Outcome o =
            runTool(QStringLiteral("pscp"),
                    puttyArgs() + QStringList{QStringLiteral("-scp"), QStringLiteral("-q"),
                                              login() + ':' + remote, local},
                    m_env, 30000);
        if (!o.finished || o.exitCode != 0)
            qWarning("pscp: %s", o.output.constData());
        QFile f(local);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        for (const char *tool : {"plink", "pscp", "ssh-keygen", "useradd"})
            QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(tool),
                                                     {"/usr/bin", "/usr/sbin", "/bin", "/sbin"})
                             .isEmpty() ||
                         !QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty(),
                     tool);
        QVERIFY2(QFileInfo(QStringLiteral("/usr/sbin/sshd")).isExecutable(),
                 "openssh-server is not installed");
        QVERIFY(m_tmp.isValid());
        m_serverDir = m_tmp.filePath(QStringLiteral("server"));
        m_env.insert(QStringLiteral("FRAMLA_BIN_DIR"), binDir());

        const Outcome started =
            runTool(QStringLiteral("bash"), {script(), QStringLiteral("start"), m_serverDir}, m_env,
                    120000);
        QVERIFY2(started.finished && started.exitCode == 0, started.output.constData());

        QFile env(m_serverDir + QStringLiteral("/server.env"));
        QVERIFY(env.open(QIODevice::ReadOnly));
        for (const QByteArray &line : env.readAll().split('\n')) {
            const qsizetype eq = line.indexOf('=');
            if (eq > 0)
                m_facts.insert(QString::fromUtf8(line.left(eq)),
                               QString::fromUtf8(line.mid(eq + 1)));
        }
        for (const char *key :
             {"FRAMLA_TEST_HOST", "FRAMLA_TEST_PORT", "FRAMLA_TEST_USER", "FRAMLA_TEST_PASSWORD",
              "FRAMLA_TEST_PWFILE", "FRAMLA_TEST_DBPATH", "PUTTYDIR"})
            QVERIFY2(!fact(key).isEmpty(), key);
        QFile pw(fact("FRAMLA_TEST_PWFILE"));
        QVERIFY(pw.open(QIODevice::ReadOnly));
        QCOMPARE(pw.readAll().trimmed(), fact("FRAMLA_TEST_PASSWORD").toUtf8());
        m_env.insert(QStringLiteral("PUTTYDIR"), fact("PUTTYDIR"));
    }

    void probeFileArrives()
    {
        QCOMPARE(fetch(fact("FRAMLA_TEST_DBPATH") + QStringLiteral("/framla.ok"),
                       QStringLiteral("framla.ok")),
                 QByteArray("Framla database directory\n"));
    }

    void lookUpThroughPlink_data()
    {
        QTest::addColumn<QStringList>("request"); // code or file, token, [sub-directory]
        QTest::addColumn<QString>("expected");
        QTest::newRow("inventory item")
            << QStringList{"AB10001", "10:20:30"} << "AB10001: Solitaire ring";
        QTest::newRow("long code") << QStringList{"AB10001-2", "10:20:31"}
                                   << " framaid\r\nAB10001: Solitaire ring, 0.50ct diamond\r\n(the "
                                      "long code AB10001-2 was read as AB10001)";
        QTest::newRow("supplier's picture") << QStringList{"AB10003", "10:20:32"}
                                            << "images/ssr/1234/RING5.jpg exists on server -->";
        QTest::newRow("picture of the web server")
            << QStringList{"AB10002", "10:20:33"} << "Owned by user=www-data -->";
        QTest::newRow("own picture") << QStringList{"AB10001.jpg", "10:20:34", "images/AB"}
                                     << "<!-- images/AB/AB10001.jpg exists (";
        QTest::newRow("data file check") << QStringList{"ix0002.dbf", "10:20:35", "shuttle"}
                                         << "shuttle/ix0002.dbf: no file of that name yet";
        // Quoted for the remote shell, so framaid itself receives it.
        QTest::newRow("hostile code") << QStringList{"'$(touch pwned);*'", "10:20:36"}
                                      << "Request refused: \"$(touch pwned);*\"";
    }

    void lookUpThroughPlink()
    {
        QFETCH(QStringList, request);
        QFETCH(QString, expected);
        const Outcome run = plink(QStringList{QStringLiteral("framaid"), replyDir()} + request);
        QVERIFY2(run.finished, run.output.constData());
        const QByteArray reply =
            fetch(replyDir() + QStringLiteral("/framla.tmp"), QStringLiteral("framla.tmp"));
        QVERIFY2(reply.startsWith(request.at(1).toUtf8() + ' '), reply.constData());
        QVERIFY2(QString::fromUtf8(reply).contains(expected), reply.constData());
        QVERIFY(!QFileInfo::exists(fact("FRAMLA_TEST_HOME") + QStringLiteral("/pwned")));
    }

    void wrongPasswordIsRefused()
    {
        QFile bad(m_tmp.filePath(QStringLiteral("bad-password")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("not-the-password\n");
        bad.close();
        QStringList args = puttyArgs();
        args[4] = bad.fileName();
        const Outcome o =
            runTool(QStringLiteral("plink"),
                    args + QStringList{QStringLiteral("-ssh"), login(), QStringLiteral("true")},
                    m_env, 30000);
        QVERIFY(o.finished);
        QVERIFY2(o.exitCode != 0, o.output.constData());
    }

    void cleanupTestCase()
    {
        const QString user = fact("FRAMLA_TEST_USER");
        const Outcome stopped = runTool(
            QStringLiteral("bash"), {script(), QStringLiteral("stop"), m_serverDir}, m_env, 60000);
        QVERIFY2(stopped.finished && stopped.exitCode == 0, stopped.output.constData());
        QVERIFY(!user.isEmpty());
        QCOMPARE(runTool(QStringLiteral("getent"), {QStringLiteral("passwd"), user}, m_env, 10000)
                     .exitCode,
                 2);
        QVERIFY(!QFileInfo::exists(fact("FRAMLA_TEST_HOME")));
        QVERIFY(!QFileInfo::exists(m_serverDir));
        const Outcome port =
            runTool(QStringLiteral("bash"),
                    {QStringLiteral("-c"),
                     QStringLiteral("exec 3<>/dev/tcp/127.0.0.1/") + fact("FRAMLA_TEST_PORT")},
                    m_env, 10000);
        QVERIFY2(port.exitCode != 0, "sshd still answers after stop");
    }
};

QTEST_GUILESS_MAIN(TestServerTest)
#include "tst_test_server.moc"
