#include "test_server.h"

#include "core/program_state.h"

#include <QFile>
#include <QProcess>

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
} // namespace

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

void TestServer::configure(ProgramState &state) const
{
    state.cAddress = host();
    state.cPort = port();
    state.cUser = user();
    state.cPass = password();
    state.cPath = dbPath();
    state.lIsDOS = false;
}

} // namespace framla::test
