// The Debian packages: cpack makes both from the build tree (or they are
// taken from $FRAMLA_PACKAGES_DIR), they are unpacked into a scratch root
// with dpkg -x, and the programs are run from there.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

struct Run {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString &program, const QStringList &args,
        const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
        int timeoutMs = 60000)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    Run result;
    if (!process.waitForStarted(10000))
        return result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        result.err = "timed out";
        return result;
    }
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err += process.readAllStandardError();
    return result;
}

unsigned modeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

} // namespace

class TestPackages : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void contents_data();
    void contents();
    void depends_data();
    void depends();
    void versionAndHelp();
    void framaidSetup();

private:
    QTemporaryDir m_scratch;
    QString m_root;
    QHash<QString, QString> m_debs; // package name -> .deb file
};

void TestPackages::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    QString dir = qEnvironmentVariable("FRAMLA_PACKAGES_DIR");
    if (dir.isEmpty()) {
        const QString cpack = QStandardPaths::findExecutable(QStringLiteral("cpack"));
        QVERIFY2(!cpack.isEmpty(), "cpack must be installed");
        dir = m_scratch.filePath(QStringLiteral("packages"));
        const Run made =
            run(cpack,
                {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                 QStringLiteral(FRAMLA_BINARY_DIR "/CPackConfig.cmake"), QStringLiteral("-B"), dir},
                QProcessEnvironment::systemEnvironment(), 540000);
        QVERIFY2(made.code == 0, (made.out + made.err).constData());
    }
    m_root = m_scratch.filePath(QStringLiteral("root"));
    QVERIFY(QDir().mkpath(m_root));
    for (const QString &name : {QStringLiteral("framla"), QStringLiteral("framaid")}) {
        const QStringList found =
            QDir(dir).entryList({name + QStringLiteral("_*.deb")}, QDir::Files);
        QVERIFY2(found.size() == 1, qPrintable(name + QStringLiteral(": ") + found.join(u' ')));
        m_debs.insert(name, QDir(dir).filePath(found.first()));
        const Run unpacked =
            run(QStringLiteral("dpkg"), {QStringLiteral("-x"), m_debs.value(name), m_root});
        QVERIFY2(unpacked.code == 0, unpacked.err.constData());
    }
}

void TestPackages::contents_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");
    QTest::newRow("launcher") << "usr/bin/framla" << true;
    QTest::newRow("program") << "usr/lib/framla/framla" << true;
    QTest::newRow("capture tool") << "usr/bin/commandcam" << true;
    QTest::newRow("menu entry") << "usr/share/applications/framla.desktop" << false;
    QTest::newRow("icon") << "usr/share/icons/hicolor/64x64/apps/framla.png" << false;
    QTest::newRow("server program") << "usr/bin/framaid" << true;
    QTest::newRow("example configuration")
        << "usr/share/doc/framaid/examples/framaid.conf" << false;
}

void TestPackages::contents()
{
    QFETCH(QString, path);
    QFETCH(bool, executable);
    const QFileInfo file(QDir(m_root).filePath(path));
    QVERIFY2(file.isFile(), qPrintable(path));
    QCOMPARE(file.isExecutable(), executable);
}

void TestPackages::depends_data()
{
    QTest::addColumn<QString>("package");
    QTest::addColumn<QStringList>("needed");
    QTest::newRow("desktop") << "framla"
                             << QStringList{"putty-tools (>= 0.77)",
                                            "imagemagick",
                                            "fonts-liberation",
                                            "qt6-qpa-plugins",
                                            "libqt6core6",
                                            "libqt6gui6",
                                            "libqt6widgets6",
                                            "libqt6network6",
                                            "libqt6svg6",
                                            "ffmpeg",
                                            "libqt6sql6-sqlite"};
    QTest::newRow("server") << "framaid" << QStringList{"libxbase64-1", "libc6"};
}

void TestPackages::depends()
{
    QFETCH(QString, package);
    QFETCH(QStringList, needed);
    const Run field = run(QStringLiteral("dpkg-deb"),
                          {QStringLiteral("-f"), m_debs.value(package), QStringLiteral("Depends")});
    QCOMPARE(field.code, 0);
    QStringList names;
    for (const QString &entry : QString::fromUtf8(field.out).split(u',', Qt::SkipEmptyParts))
        names << entry.trimmed().section(u' ', 0, 0) << entry.trimmed();
    for (const QString &name : needed)
        QVERIFY2(names.contains(name),
                 qPrintable(name + QStringLiteral(" not in ") + names.join(u' ')));
}

void TestPackages::versionAndHelp()
{
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.remove(QStringLiteral("XDG_DATA_HOME"));
    env.remove(QStringLiteral("FRAMLA_WORKDIR"));
    const QString framla = QDir(m_root).filePath(QStringLiteral("usr/bin/framla"));

    const Run version = run(framla, {QStringLiteral("--version")}, env);
    QCOMPARE(version.code, 0);
    QVERIFY2(QRegularExpression(QStringLiteral("\\AFramla 3\\.20 \\(build [^)\\s][^)]*\\)\\n\\z"))
                 .match(QString::fromUtf8(version.out))
                 .hasMatch(),
             version.out.constData());
    // The launcher made the operator's working directory, private.
    QCOMPARE(modeOf(home.filePath(QStringLiteral(".local/share/framla"))), 0700u);

    const Run help = run(framla, {QStringLiteral("--help")}, env);
    QCOMPARE(help.code, 0);
    QVERIFY2(help.out.startsWith("Usage: framla [SETTINGS [CODE [ACCOUNT]]]\n"),
             help.out.constData());
    for (const char *argument : {"  SETTINGS  ", "  CODE      ", "  ACCOUNT   "})
        QVERIFY2(help.out.contains(argument), argument);

    // Started by a relative path from its own directory, given an unknown
    // option, and framaid asked for its version.
    const auto inBin = [&](const char *command) {
        return run("/bin/sh",
                   {"-c", "cd \"$0\" && " + QString(command), QDir(m_root).filePath("usr/bin")},
                   env);
    };
    const Run relative = inBin("./framla --version"), unknown = inBin("./framla --foo"),
              framaid = inBin("./framaid --version");
    QCOMPARE(QList<int>({relative.code, unknown.code, framaid.code}), QList<int>({0, 2, 0}));
    QCOMPARE(relative.out, version.out);
    QCOMPARE(unknown.err, "framla: unknown option --foo\n" + help.out);
    QCOMPARE(framaid.out, QByteArray(version.out).replace("Framla", "framaid"));
}

void TestPackages::framaidSetup()
{
    const QString framaid = QDir(m_root).filePath(QStringLiteral("usr/bin/framaid"));
    const QString db = m_scratch.filePath(QStringLiteral("shop"));
    QVERIFY(QDir().mkpath(db));
    const Run setup = run(framaid, {QStringLiteral("--setup"), db});
    QVERIFY2(setup.code == 0, (setup.out + setup.err).constData());
    QCOMPARE(modeOf(db + QStringLiteral("/jtemp")), 01777u);
    QVERIFY(QFileInfo(db + QStringLiteral("/framla.ok")).isFile());
    QVERIFY(QFileInfo(db + QStringLiteral("/images/ssr/0")).isDir());
    // The packaged example is the configuration --setup writes.
    QFile written(db + QStringLiteral("/framaid.conf"));
    QFile example(
        QDir(m_root).filePath(QStringLiteral("usr/share/doc/framaid/examples/framaid.conf")));
    QVERIFY(written.open(QIODevice::ReadOnly) && example.open(QIODevice::ReadOnly));
    const QByteArray text = written.readAll();
    QCOMPARE(example.readAll(), text);
    QVERIFY(text.contains("\n# ") && text.contains("items = items.dbf"));

    const Run again = run(framaid, {QStringLiteral("--setup"), db});
    QCOMPARE(again.code, 0);
    QVERIFY2(again.out.contains("Nothing changed"), again.out.constData());
}

QTEST_GUILESS_MAIN(TestPackages)
#include "tst_packages.moc"
