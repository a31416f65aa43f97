// The run script, beside a build step with nothing to do, asked for the version.
#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestRunScript : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void start_data();
    void start();
};

void TestRunScript::start_data()
{
    QTest::addColumn<int>("mode");      // of the working directory before; 0: none
    QTest::addColumn<bool>("leftover"); // the demo server of a killed run in it
    QTest::addColumn<int>("after");
    QTest::newRow("made private") << 0 << false << 0700;
    QTest::newRow("an existing one keeps its mode") << 0750 << false << 0750;
    QTest::newRow("a leftover demo ends") << 0700 << true << 0700;
}

void TestRunScript::start()
{
    QFETCH(int, mode);
    QFETCH(bool, leftover);
    QFETCH(int, after);
    QTemporaryDir top;
    const QString work = top.filePath("work"), demo = work + "/demo-server",
                  server = FRAMLA_SOURCE_DIR "/scripts/test-server";
    QVERIFY(QDir(top.path()).mkdir("scripts") &&
            QFile::link("/bin/true", top.filePath("scripts/build.sh")) &&
            QFile::link(server, top.filePath("scripts/test-server")) &&
            QFile::copy(FRAMLA_SOURCE_DIR "/scripts/run.sh", top.filePath("scripts/run.sh")));
    QVERIFY(mode == 0 ||
            (::mkdir(qPrintable(work), 0) == 0 && ::chmod(qPrintable(work), mode) == 0));
    const auto stop = qScopeGuard([&] { QProcess::execute("bash", {server, "stop", demo}); });
    QVERIFY(!leftover || QProcess::execute("bash", {server, "start", demo}) == 0);
    qputenv("FRAMLA_WORKDIR", work.toUtf8());
    qputenv("FRAMLA_BUILD_DIR", FRAMLA_BINARY_DIR);
    QProcess run;
    run.start("bash", {top.filePath("scripts/run.sh"), "--version"});
    QVERIFY(run.waitForFinished(60000));
    QVERIFY2(run.readAllStandardOutput().startsWith("Framla 3.20"), run.readAllStandardError());
    struct stat made {};
    QCOMPARE(::stat(qPrintable(work), &made) == 0 ? int(made.st_mode & 07777) : -1, after);
    QVERIFY(!QFile::exists(demo));
}

QTEST_GUILESS_MAIN(TestRunScript)
#include "tst_run_script.moc"
