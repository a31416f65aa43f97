// Preview preparation and the quarter turn, with a scripted runner standing
// in for ImageMagick: the command lines, their order, and what is left on disk.
#include "core/program_state.h"
#include "imaging/prepare.h"
#include "runtime/files.h"
#include "support/scripted_shell.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace framla;
using runtime::RunOutcome;
using runtime::ToolCommand;

namespace {

/// What every image-tool run starts with, and what every run that reads a photo does to it first.
// clang-format off
const QStringList kLimits{"-limit", "memory", "1GiB", "-limit", "map", "2GiB", "-limit", "disk", "2GiB", "-limit", "area", "128MP", "-limit", "width", "65535", "-limit", "height", "65535"};
const QStringList kUpright{"-auto-orient", "-colorspace", "sRGB", "-background", "white", "-alpha", "remove", "-alpha", "off"};
// clang-format on
const QString kLimitsText = kLimits.join(' ') + ' ';
const QString kUprightText = ' ' + kUpright.join(' ');

} // namespace

class TestImagingPrepare : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void cropLine_data();
    void cropLine();
    void adjustmentLine_data();
    void adjustmentLine();
    void failedStepLeavesNoPreview_data();
    void failedStepLeavesNoPreview();
    void filesFoundWhateverIsCurrent();
    void rotateLine_data();
    void rotateLine();
    void rotation_data();
    void rotation();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
    test::ScriptedShell m_shell;
    ProgramState m_state;
    imaging::Adjustment m_adjustment;
};

void TestImagingPrepare::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    m_shell = test::ScriptedShell();
    // The crop tool writes the preview; the others change files in place.
    m_shell.onRun = [](const ToolCommand &command) {
        if (command.tool == QLatin1String("convert"))
            runtime::writeWholeFile(command.args.last(), "jpeg");
        return test::finishedRun(0);
    };
    m_state = ProgramState();
    m_state.cAppPath = m_dir->path();
    m_state.services.shell = &m_shell;
    m_adjustment = {};
}

void TestImagingPrepare::cleanup()
{
    QDir::setCurrent(m_previousDir);
}

void TestImagingPrepare::cropLine_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("line");

    const QString photo = QStringLiteral("/home/shop/photos/ring.jpg");
    // clang-format off
    const auto args = [](const QString &source, const QString &crop) { return kLimits + QStringList{source} + kUpright + QStringList{"-crop", crop, "-strip", "scratch.jpg"}; };
    QTest::newRow("landscape") << photo << QSize(1600, 1200) << args(photo, "583x583+291+303") << "/C convert " + kLimitsText + "/home/shop/photos/ring.jpg" + kUprightText + " -crop 583x583+291+303 -strip scratch.jpg";
    QTest::newRow("portrait") << photo << QSize(1200, 1600) << args(photo, "634x634+317+330") << "/C convert " + kLimitsText + "/home/shop/photos/ring.jpg" + kUprightText + " -crop 634x634+317+330 -strip scratch.jpg";
    // A blank in the name stays inside one argument.
    QTest::newRow("blank in the name") << "/home/shop/my photos/ring 2.jpg" << QSize(1600, 1200) << args("/home/shop/my photos/ring 2.jpg", "583x583+291+303") << "/C convert " + kLimitsText + "\"/home/shop/my photos/ring 2.jpg\"" + kUprightText + " -crop 583x583+291+303 -strip scratch.jpg";
    QTest::newRow("no picture") << photo << QSize(0, 0) << args(photo, "0x0+0+0") << "/C convert " + kLimitsText + "/home/shop/photos/ring.jpg" + kUprightText + " -crop 0x0+0+0 -strip scratch.jpg";
    // A name that starts with "-" is not taken for an option.
    QTest::newRow("name like an option") << "-rotate.jpg" << QSize(1600, 1200) << args("./-rotate.jpg", "583x583+291+303") << "/C convert " + kLimitsText + "./-rotate.jpg" + kUprightText + " -crop 583x583+291+303 -strip scratch.jpg";
    // clang-format on
}

void TestImagingPrepare::cropLine()
{
    QFETCH(QString, source);
    QFETCH(QSize, size);
    QFETCH(QStringList, args);
    QFETCH(QString, line);
    QVERIFY(imaging::Prepare(
        m_state, {source, size, ASCRN_SIZE, {QPoint(50, 200), QPoint(150, 100)}}, m_adjustment));
    QCOMPARE(m_shell.commands.size(), 2);
    const ToolCommand crop = m_shell.commands.first();
    QCOMPARE(crop.executableName(), QStringLiteral("convert"));
    QCOMPARE(crop.args, args);
    QCOMPARE(crop.text(), line);
    QCOMPARE(crop.window, runtime::WindowHint::Hidden);
    QVERIFY(m_shell.timeouts.first() > 0);
}

void TestImagingPrepare::adjustmentLine_data()
{
    QTest::addColumn<int>("bright");
    QTest::addColumn<int>("gamma");
    QTest::addColumn<int>("contrast");
    QTest::addColumn<QStringList>("args");

    QTest::newRow("0/0/0") << 0 << 0 << 0 << QStringList{"-modulate", "20",    "-gamma",     "1.00",
                                                         "-level",    "0.00%", "scratch.jpg"};
    QTest::newRow("4/0/0 leaves the picture")
        << 4 << 0 << 0
        << QStringList{"-modulate", "100", "-gamma", "1.00", "-level", "0.00%", "scratch.jpg"};
    QTest::newRow("9/9/9") << 9 << 9 << 9
                           << QStringList{"-modulate", "200",    "-gamma",     "1.90",
                                          "-level",    "35.29%", "scratch.jpg"};
    // Contrast is a percentage of the range, the same on 8- and 16-bit builds.
    QTest::newRow("2/5/3") << 2 << 5 << 3
                           << QStringList{"-modulate", "60",     "-gamma",     "1.50",
                                          "-level",    "11.76%", "scratch.jpg"};
    // Values the window's loop has not clamped yet count as 0 and 9.
    QTest::newRow("out of range") << -3 << 14 << 12
                                  << QStringList{"-modulate", "20",     "-gamma",     "1.90",
                                                 "-level",    "35.29%", "scratch.jpg"};
}

void TestImagingPrepare::adjustmentLine()
{
    QFETCH(int, bright);
    QFETCH(int, gamma);
    QFETCH(int, contrast);
    QFETCH(QStringList, args);
    m_adjustment = {bright, gamma, contrast};
    imaging::Prepare(m_state,
                     {QStringLiteral("/tmp/a.jpg"),
                      QSize(1600, 1200),
                      ASCRN_SIZE,
                      {QPoint(0, 0), QPoint(274, 252)}},
                     m_adjustment);
    QCOMPARE(m_shell.commands.size(), 2);
    QCOMPARE(m_shell.commands.at(1).executableName(), QStringLiteral("mogrify"));
    QCOMPARE(m_shell.commands.at(1).args, kLimits + args);
}

void TestImagingPrepare::failedStepLeavesNoPreview_data()
{
    QTest::addColumn<QString>("tool"); // the tool that fails
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("runs");
    QTest::newRow("crop tool missing")
        << "convert" << int(RunOutcome::Status::NotStarted) << "crop" << 1;
    QTest::newRow("crop timed out")
        << "convert" << int(RunOutcome::Status::TimedOut) << "crop" << 1;
    QTest::newRow("unreadable source")
        << "convert" << int(RunOutcome::Status::Finished) << "crop" << 1;
    QTest::newRow("adjustment timed out")
        << "mogrify" << int(RunOutcome::Status::TimedOut) << "adjustment" << 2;
    QTest::newRow("adjustment failed")
        << "mogrify" << int(RunOutcome::Status::Finished) << "adjustment" << 2;
}

void TestImagingPrepare::failedStepLeavesNoPreview()
{
    QFETCH(QString, tool);
    QFETCH(int, status);
    QFETCH(QString, step);
    QFETCH(int, runs);
    // A preview of an earlier source, or a half-made one, must not survive a
    // failed step, or it would be shown, and sent, as this source's.
    QVERIFY(runtime::writeWholeFile(QStringLiteral("scratch.jpg"), "old preview"));
    m_state.previewExists = true;
    m_shell.onRun = [&](const ToolCommand &command) {
        // Each tool leaves something behind, as a tool stopped half-way does.
        runtime::writeWholeFile(command.args.last(), "part");
        if (command.executableName() != tool)
            return test::finishedRun(0);
        RunOutcome outcome;
        outcome.status = RunOutcome::Status(status);
        outcome.exitCode = 1;
        return outcome;
    };
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^" + tool + " failed:"));
    QTest::ignoreMessage(
        QtWarningMsg,
        qPrintable("the " + step + " of /tmp/broken.jpg failed; no preview was made"));
    QVERIFY(!imaging::Prepare(m_state,
                              {QStringLiteral("/tmp/broken.jpg"),
                               QSize(1600, 1200),
                               ASCRN_SIZE,
                               {QPoint(50, 200), QPoint(150, 100)}},
                              m_adjustment));
    QVERIFY(!QFile::exists(QStringLiteral("scratch.jpg")));
    QVERIFY(!m_state.previewExists);
    QCOMPARE(m_shell.commands.size(), runs);
}

void TestImagingPrepare::filesFoundWhateverIsCurrent()
{
    // A file dialog may leave another directory current: the preview is
    // still looked for where the tools make it, in the program's directory.
    QTemporaryDir elsewhere;
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    m_shell.onRun = [&](const ToolCommand &command) {
        if (command.tool == QLatin1String("convert"))
            runtime::writeWholeFile(m_dir->filePath(command.args.last()), "jpeg");
        return test::finishedRun(0);
    };
    imaging::Prepare(m_state,
                     {QStringLiteral("/tmp/a.jpg"),
                      QSize(1600, 1200),
                      ASCRN_SIZE,
                      {QPoint(0, 0), QPoint(274, 252)}},
                     m_adjustment);
    QCOMPARE(m_shell.commands.size(), 2); // the preview was found, so the adjustment ran
    QCOMPARE(QDir::currentPath(), QDir(elsewhere.path()).canonicalPath());
}

void TestImagingPrepare::rotateLine_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("line");
    // clang-format off
    QTest::newRow("plain") << "/home/shop/ring.jpg" << "/C convert " + kLimitsText + "/home/shop/ring.jpg -auto-orient -rotate 90 /home/shop/.framla-turn-ring.jpg";
    QTest::newRow("blank") << "/home/shop/my ring.bmp" << "/C convert " + kLimitsText + "\"/home/shop/my ring.bmp\" -auto-orient -rotate 90 \"/home/shop/.framla-turn-my ring.bmp\"";
    QTest::newRow("like an option") << "-x.jpg" << "/C convert " + kLimitsText + "./-x.jpg -auto-orient -rotate 90 ./.framla-turn--x.jpg";
    // clang-format on
}

void TestImagingPrepare::rotateLine()
{
    QFETCH(QString, source);
    QFETCH(QString, line);
    QCOMPARE(imaging::rotateCommand(source).text(), line);
    QCOMPARE(imaging::rotateCommand(source).window, runtime::WindowHint::Hidden);
}

void TestImagingPrepare::rotation_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("written"); // what the tool leaves in its output file
    QTest::addColumn<bool>("turned");
    QTest::newRow("turned") << int(RunOutcome::Status::Finished) << 0 << QByteArray("turned")
                            << true;
    // Stopped at its limit half-way: the operator's photo stays whole.
    QTest::newRow("timed out") << int(RunOutcome::Status::TimedOut) << -1 << QByteArray("tur")
                               << false;
    QTest::newRow("tool failed") << int(RunOutcome::Status::Finished) << 1 << QByteArray("t")
                                 << false;
    QTest::newRow("tool missing") << int(RunOutcome::Status::NotStarted) << -1 << QByteArray()
                                  << false;
    QTest::newRow("nothing written")
        << int(RunOutcome::Status::Finished) << 0 << QByteArray() << false;
}

void TestImagingPrepare::rotation()
{
    QFETCH(int, status);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, written);
    QFETCH(bool, turned);
    const QString source = m_dir->filePath(QStringLiteral("my ring.jpg"));
    QVERIFY(runtime::writeWholeFile(source, "photo"));
    m_shell.onRun = [&](const ToolCommand &command) {
        if (!written.isEmpty())
            runtime::writeWholeFile(command.args.last(), written);
        RunOutcome outcome;
        outcome.status = RunOutcome::Status(status);
        outcome.exitCode = exitCode;
        return outcome;
    };
    if (!turned)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^the quarter turn of .* failed"));
    if (status != int(RunOutcome::Status::Finished) || exitCode != 0)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^convert failed:"));
    QCOMPARE(imaging::SrcRotate(m_state, source), turned);
    QCOMPARE(runtime::readWholeFile(source).value_or(QByteArray()),
             turned ? QByteArray("turned") : QByteArray("photo"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"my ring.jpg"}));
}

QTEST_MAIN(TestImagingPrepare)
#include "tst_imaging_prepare.moc"
