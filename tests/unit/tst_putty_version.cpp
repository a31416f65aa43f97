// The PuTTY release plink -V reports, the sentence for one too old, and the
// runs refused with it.
#include "runtime/putty_version.h"
#include "support/scripted_shell.h"

#include <QTest>

class TestPuttyVersion : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tooOld_data()
    {
        QTest::addColumn<QByteArray>("output"); // of plink -V
        QTest::addColumn<QString>("sentence");
        const QString old =
            "Framla needs PuTTY 0.77 or newer, but the plink found here is %1, so nothing is "
            "looked up on or sent to the server until PuTTY (putty-tools) is updated.";
        QTest::newRow("Debian 12")
            << QByteArray("plink: Release 0.78\nBuild platform: 64-bit Unix\n") << "";
        QTest::newRow("the first with -pwfile")
            << QByteArray("plink: Pre-release 0.77:2022-04-04.1f8e1d0\n") << "";
        QTest::newRow("just before") << QByteArray("plink: Release 0.76\n") << old.arg("0.76");
        QTest::newRow("Ubuntu 18.04") << QByteArray("plink: Release 0.70\r\n") << old.arg("0.70");
        QTest::newRow("snapshot") << QByteArray("plink: Development snapshot 2022-01-10.9a0b1c2\n")
                                  << "";
        QTest::newRow("not the first line") << QByteArray("warning\nplink: Release 0.76\n") << "";
    }
    void tooOld()
    {
        QFETCH(QByteArray, output);
        QFETCH(QString, sentence);
        QCOMPARE(framla::runtime::puttyTooOld(output), sentence);
    }

    void runsRefused_data()
    {
        QTest::addColumn<QByteArray>("output"); // of plink -V
        QTest::addColumn<QString>("tool");
        QTest::addColumn<bool>("runs"); // as a run and as a run beside
        QTest::newRow("0.78, plink") << QByteArray("plink: Release 0.78\n") << "plink" << true;
        QTest::newRow("0.76, plink") << QByteArray("plink: Release 0.76\n") << "plink" << false;
        QTest::newRow("0.76, pscp") << QByteArray("plink: Release 0.76\n") << "pscp" << false;
        QTest::newRow("0.76, convert") << QByteArray("plink: Release 0.76\n") << "convert" << true;
    }
    void runsRefused()
    {
        QFETCH(QByteArray, output);
        QFETCH(QString, tool);
        QFETCH(bool, runs);
        framla::test::ScriptedShell inner;
        inner.beside = true;
        inner.onRun = [&](const framla::runtime::ToolCommand &) {
            framla::runtime::RunOutcome said = framla::test::finishedRun();
            said.standardOutput = output;
            return said;
        };
        framla::runtime::PuttyCheckedShell checked(inner);
        framla::runtime::ToolCommand command;
        command.tool = tool;
        command.args = QStringList{"x"};
        command.viaStart = false;
        const framla::runtime::RunOutcome ran = checked.run(command, 1000);
        QCOMPARE(ran.message, runs ? QString() : checked.problem());
        QCOMPARE(checked.startBeside(command, 1000) != nullptr, runs);
        const QStringList reached{"/C plink -V", "/C " + tool + " x", "/C " + tool + " x"};
        QCOMPARE(inner.texts(), reached.first(runs ? 3 : 1));
    }
};

QTEST_GUILESS_MAIN(TestPuttyVersion)
#include "tst_putty_version.moc"
