// The error log: its exact text, the file it goes to, the password kept out
// of it, and the text helpers behind it; the platform's failures as errors.

#include <QCoreApplication>
#include <QTest>

#include "error_frame_fixture.h"
#include "runtime/appsys.h"
#include "runtime/platform_errors.h"
#include "runtime/tool_command.h"

#include <cerrno>
#include <memory>
#include <optional>
#include <unistd.h>

using namespace framla::runtime;
using framla::test::ErrorFrameHarness;
using framla::test::ProgramEnded;
using framla::test::shownError;

namespace {

const QString kRule(78, QLatin1Char('-'));

/// The lines every log starts with, up to the line before the args.
QStringList head(const QString &date)
{
    return {QString(),
            kRule,
            QStringLiteral("ERROR LOG of \"%1\" Date: %2 10:30:00")
                .arg(QCoreApplication::applicationFilePath(), date),
            QString(),
            QStringLiteral("Qt version          : ") + QString::fromLatin1(qVersion()),
            QStringLiteral("Operating system    : ") + platformText(),
            kRule,
            QStringLiteral("oError:args         :")};
}

RuntimeError errorWithArgs()
{
    RuntimeError error;
    error.args = QVariantList{QStringLiteral("abc"), 42, true, 2.5,
                              QVariant::fromValue(ErrorObject{QStringLiteral("XbpDialog")})};
    error.canRetry = true;
    error.description = QStringLiteral("Open error");
    error.filename = QStringLiteral("stock.dbf");
    error.genCode = 71;
    error.operation = QStringLiteral("open");
    error.osCode = 2;
    error.subCode = 1001;
    error.thread = 1234;
    error.tries = 1;
    error.callStack = {{"PrepText", 120}, {"ItemLookup", 64}, {"Main", 33}};
    return error;
}

RuntimeError errorWithoutArgs()
{
    RuntimeError error;
    error.cargo = QVariantList{1, QStringLiteral("x"), QDate(2024, 2, 29)};
    error.canDefault = true;
    error.canSubstitute = true;
    error.genCode = 78;
    error.severity = 1;
    error.subCode = -3;
    error.subSystem = QString();
    error.thread = 7;
    error.callStack = {{"SaveConfig", 12}, {"", 0}, {"Main", 5}};
    return error;
}

} // namespace

class TstErrorFrameLog : public QObject {
    Q_OBJECT
    std::unique_ptr<ErrorFrameHarness> h;

private slots:
    void init() { h = std::make_unique<ErrorFrameHarness>(); }
    void cleanup() { h.reset(); }

    void logText_data()
    {
        QTest::addColumn<bool>("withArgs");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("stackStart");
        QTest::addColumn<QStringList>("lines");
        const QStringList fields71{"oError:canDefault   : .F.",
                                   "oError:canRetry     : .T.",
                                   "oError:canSubstitute: .F.",
                                   "oError:cargo        : NIL",
                                   "oError:description  : Open error",
                                   "oError:filename     : stock.dbf",
                                   "oError:genCode      :         71",
                                   "oError:operation    : open",
                                   "oError:osCode       :          2",
                                   "oError:severity     :          2",
                                   "oError:subCode      :       1001",
                                   "oError:subSystem    : BASE",
                                   "oError:thread       :       1234",
                                   "oError:tries        :          1",
                                   kRule,
                                   "CALLSTACK:",
                                   kRule};
        const QStringList args{
            "         -> VALTYPE: C VALUE: abc", "         -> VALTYPE: N VALUE: 42",
            "         -> VALTYPE: L VALUE: .T.", "         -> VALTYPE: N VALUE: 2.5",
            "         -> VALTYPE: O CLASS: XbpDialog"};
        QTest::newRow("with args")
            << true << QDate(2026, 12, 7) << 2
            << head("12/07/26") + args + fields71 +
                   QStringList{"Called from PrepText(120)", "Called from ItemLookup(64)",
                               "Called from Main(33)", ""};
        QTest::newRow("one level skipped")
            << true << QDate(1999, 1, 5) << 3
            << head("01/05/99") + args + fields71 +
                   QStringList{"Called from ItemLookup(64)", "Called from Main(33)", ""};
        QTest::newRow("without args")
            << false << QDate(2026, 12, 7) << 2
            << head("12/07/26") + QStringList{"          -> NIL",
                                              "oError:canDefault   : .T.",
                                              "oError:canRetry     : .F.",
                                              "oError:canSubstitute: .T.",
                                              "oError:cargo        : {1, x, 02/29/24}",
                                              "oError:description  : NIL",
                                              "oError:filename     : ",
                                              "oError:genCode      :         78",
                                              "oError:operation    : ",
                                              "oError:osCode       :          0",
                                              "oError:severity     :          1",
                                              "oError:subCode      :         -3",
                                              "oError:subSystem    : NIL",
                                              "oError:thread       :          7",
                                              "oError:tries        :          0",
                                              kRule,
                                              "CALLSTACK:",
                                              kRule,
                                              "Called from SaveConfig(12)",
                                              ""};
    }
    void logText()
    {
        QFETCH(bool, withArgs);
        QFETCH(QDate, date);
        QFETCH(int, stackStart);
        QFETCH(QStringList, lines);
        h->clock.date = date;
        ErrorLog(h->state, withArgs ? errorWithArgs() : errorWithoutArgs(), stackStart);
        QCOMPARE(QString::fromUtf8(h->file("RUNERROR.LOG")), lines.join(QLatin1String("\r\n")));
        QCOMPARE(h->dialogs.texts(),
                 QStringList{QStringLiteral("Error log was written to the file RUNERROR.LOG")});
    }

    void fallbackName_data()
    {
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("expected");
        QTest::newRow("free") << QStringList{} << "RUNERROR.LOG";
        QTest::newRow("LOG taken") << QStringList{"RUNERROR.LOG"} << "RUNERROR.001";
        QTest::newRow("three taken")
            << QStringList{"RUNERROR.LOG", "RUNERROR.001", "RUNERROR.002"} << "RUNERROR.003";
        QStringList all{"RUNERROR.LOG"};
        for (int n = 1; n <= 999; ++n)
            all.append(QStringLiteral("RUNERROR.%1").arg(n, 3, 10, QLatin1Char('0')));
        QTest::newRow("all taken") << all << QString();
    }
    void fallbackName()
    {
        QFETCH(QStringList, taken);
        QFETCH(QString, expected);
        // A directory stops the file from being created even for root.
        for (const QString &name : std::as_const(taken))
            QVERIFY(QDir().mkdir(name));
        try {
            ErrorLog(h->state, errorWithArgs(), 2);
        } catch (const ProgramEnded &) {
        }
        if (expected.isEmpty()) {
            QCOMPARE(h->dialogs.texts(), QStringList{"Unable to open error log file"});
            QCOMPARE(h->exitCodes, QList<int>{1});
        } else {
            QVERIFY(h->file(expected).startsWith("\r\n" + kRule.toLatin1() + "\r\nERROR LOG of"));
            QCOMPARE(h->dialogs.texts(),
                     QStringList{"Error log was written to the file " + expected});
            QVERIFY(h->exitCodes.isEmpty());
        }
    }

    void readOnlyLog()
    {
        if (geteuid() == 0)
            QSKIP("root writes read-only files; fallbackName covers this with a directory");
        QFile existing(QStringLiteral("RUNERROR.LOG"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();
        QVERIFY(existing.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        ErrorLog(h->state, errorWithArgs(), 2);
        QVERIFY(h->exists("RUNERROR.001"));
    }

    void passwordMasked_data()
    {
        QTest::addColumn<QString>("cPass");
        QTest::addColumn<QString>("cPassx");
        QTest::addColumn<QString>("field");
        QTest::newRow("in description") << "s3cr;et"
                                        << ""
                                        << "description";
        QTest::newRow("in args") << "pw42"
                                 << ""
                                 << "args";
        QTest::newRow("in cargo") << ""
                                  << "N3wPass"
                                  << "cargo";
        QTest::newRow("new one contains old") << "abc"
                                              << "xabcx"
                                              << "filename";
        QTest::newRow("in the call stack") << "zz9"
                                           << ""
                                           << "stack";
    }
    void passwordMasked()
    {
        QFETCH(QString, cPass);
        QFETCH(QString, cPassx);
        QFETCH(QString, field);
        h->state.login.cPass = cPass;
        h->state.cPassx = cPassx;
        const QString secret = QStringLiteral("pscp -pw %1 -pw %2 host").arg(cPass, cPassx);
        RuntimeError error = shownError(false, false);
        if (field == "description")
            error.description = secret;
        else if (field == "args")
            error.args = QVariantList{secret};
        else if (field == "cargo")
            error.cargo = QVariantList{secret, 1, secret};
        else if (field == "filename")
            error.filename = secret;
        else
            error.callStack = {{secret, 1}};
        h->answer({kOk});
        try {
            StandardEH(h->state, error);
        } catch (const ProgramEnded &) {
        }
        const QString log = QString::fromUtf8(h->file("RUNERROR.LOG"));
        const QString shown = h->dialogs.texts().join('\n');
        QVERIFY(log.contains(kMaskedPassword));
        if (field != "args") // the box does not list the args
            QVERIFY(shown.contains(kMaskedPassword));
        for (const QString &password : {cPass, cPassx}) {
            if (password.isEmpty())
                continue;
            QVERIFY2(!log.contains(password), qPrintable(log));
            QVERIFY2(!shown.contains(password), qPrintable(shown));
        }
    }

    // With the password "12", only the places that hold the password show
    // the mask: dates, line numbers, codes and numbers stay as they are.
    void passwordWhereItStands_data()
    {
        QTest::addColumn<QString>("shownIn");
        QTest::addColumn<QString>("line");
        const QString mask = QString::fromLatin1(kMaskedPassword);
        const QString commandLine =
            QStringLiteral("/C start /min /wait .\\pscp.exe -P 22 -pw %1 user@host:/x").arg(mask);
        QTest::newRow("date") << "log" << head("12/07/26").value(2);
        QTest::newRow("tool command") << "log"
                                      << "         -> VALTYPE: C VALUE: " + commandLine;
        QTest::newRow("password value") << "log"
                                        << "         -> VALTYPE: C VALUE: " + mask;
        QTest::newRow("number") << "log"
                                << "         -> VALTYPE: N VALUE: 12";
        QTest::newRow("cargo") << "log"
                               << "oError:cargo        : {Settings, 0, " + mask + "}";
        QTest::newRow("code and date") << "log"
                                       << "oError:description  : Item AB12 missing on 12/07/26";
        QTest::newRow("file name") << "log"
                                   << "oError:filename     : stock12.txt";
        QTest::newRow("command line") << "log"
                                      << "oError:operation    : " + commandLine;
        QTest::newRow("sub-code") << "log"
                                  << "oError:subCode      :         12";
        QTest::newRow("line number") << "log"
                                     << "Called from PrepText(12)";
        QTest::newRow("box: sub-code") << "box"
                                       << "Error BASE/12";
        QTest::newRow("box: code and date") << "box"
                                            << "Description : Item AB12 missing on 12/07/26";
        QTest::newRow("box: command line") << "box"
                                           << "Operation : " + commandLine;
        QTest::newRow("box: cargo") << "box" << mask;
        QTest::newRow("box: line number") << "box"
                                          << "Called from PrepText(12)";
    }
    void passwordWhereItStands()
    {
        QFETCH(QString, shownIn);
        QFETCH(QString, line);
        h->state.login.cPass = QStringLiteral("12");
        h->clock.date = QDate(2026, 12, 7);
        ToolCommand command;
        command.tool = QStringLiteral(".\\pscp.exe");
        command.args = QStringList{"-P", "22", "user@host:/x"};
        command.password = h->state.login.cPass;
        command.passwordAt = 2;
        RuntimeError error = shownError(false, false);
        error.subCode = 12;
        error.description = QStringLiteral("Item AB12 missing on 12/07/26");
        error.filename = QStringLiteral("stock12.txt");
        error.operation = command.textWithPassword();
        error.args = QVariantList{QVariant::fromValue(command), h->state.login.cPass, 12};
        error.cargo = QVariantList{QStringLiteral("Settings"), 0, h->state.login.cPass};
        error.callStack = {{"PrepText", 12}};
        h->answer({kOk});
        try {
            StandardEH(h->state, error);
        } catch (const ProgramEnded &) {
        }
        const QStringList lines = shownIn == "log"
                                      ? QString::fromUtf8(h->file("RUNERROR.LOG")).split("\r\n")
                                      : h->dialogs.texts().value(0).split('\r');
        QVERIFY2(lines.contains(line), qPrintable(lines.join('\n')));
    }

    void lineSplit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << "" << 50 << "";
        QTest::newRow("fits") << "short text" << 50 << "short text";
        QTest::newRow("exactly the width") << "abcd efgh" << 9 << "abcd efgh";
        QTest::newRow("blank at the width") << "abcd efgh" << 4 << "abcd;efgh";
        QTest::newRow("wrapped at a blank") << "one two three four" << 9 << "one two;three;four";
        QTest::newRow("long word cut") << "abcdefghij" << 4 << "abcd;efgh;ij";
        QTest::newRow("blanks at the break") << "ab    cd" << 3 << "ab;cd";
        QTest::newRow("trailing blanks") << "abc   " << 4 << "abc";
        QTest::newRow("line breaks kept") << "ab\r\ncd\nef\rgh" << 50 << "ab;cd;ef;gh";
        QTest::newRow("empty line kept") << "ab\r\n\r\ncd\r\n" << 50 << "ab;;cd";
    }
    void lineSplit()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QString, expected);
        QCOMPARE(LINESPLIT(text, width), expected);
    }

    void dateFormat_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<bool>("century");
        QTest::addColumn<QString>("expected");
        QTest::newRow("two digits") << QDate(2026, 12, 7) << false << "12/07/26";
        QTest::newRow("last century") << QDate(1999, 1, 5) << false << "01/05/99";
        QTest::newRow("century on") << QDate(2003, 11, 30) << true << "11/30/2003";
        QTest::newRow("no date") << QDate() << false << "  /  /  ";
    }
    void dateFormat()
    {
        QFETCH(QDate, date);
        QFETCH(bool, century);
        QFETCH(QString, expected);
        QCOMPARE(DTOC(date, century), expected);
    }

    void routineNames_data()
    {
        QTest::addColumn<QString>("signature");
        QTest::addColumn<QString>("name");
        QTest::newRow("free function") << "void framla::server::PutFile(framla::ProgramState&)"
                                       << "PutFile";
        QTest::newRow("main") << "int main(int, char**)"
                              << "main";
        QTest::newRow("lambda") << "framla::app::Window::onPut()::<lambda()>"
                                << "onPut";
        QTest::newRow("template")
            << "T framla::runtime::guarded(Op&&) [with Op = std::function<int(int)>]"
            << "guarded";
        QTest::newRow("templated return")
            << "std::map<int, std::basic_string<char> > framla::a::B::names() const"
            << "names";
    }
    void routineNames()
    {
        QFETCH(QString, signature);
        QFETCH(QString, name);
        QCOMPARE(routineName(signature.toLatin1().constData()), name);
    }

    void platformFailures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("genCode");
        QTest::addColumn<int>("osCode");
        QTest::addColumn<bool>("canRetry");
        QTest::addColumn<bool>("canDefault");
        QTest::newRow("missing file") << "read missing" << 71 << ENOENT << true << true;
        QTest::newRow("directory read") << "read directory" << 71 << EISDIR << true << true;
        QTest::newRow("missing folder") << "create in missing" << 78 << ENOENT << true << false;
        QTest::newRow("directory written") << "create directory" << 78 << EISDIR << true << false;
        QTest::newRow("full disk") << "write full" << 24 << ENOSPC << true << false;
        QTest::newRow("not a number") << "convert" << 33 << 0 << false << true;
    }
    void platformFailures()
    {
        QFETCH(QString, kind);
        QFETCH(int, genCode);
        QFETCH(int, osCode);
        QFETCH(bool, canRetry);
        QFETCH(bool, canDefault);
        QDir().mkdir(QStringLiteral("folder"));
        std::optional<RuntimeError> caught;
        try {
            if (kind == "read missing" || kind == "read directory") {
                QFile file(kind == "read missing" ? "nothing.txt" : "folder");
                openForRead(file);
            } else if (kind.startsWith("create")) {
                QFile file(kind == "create directory" ? "folder" : "none/x.txt");
                openForWrite(file);
            } else if (kind == "write full") {
                QFile file(QStringLiteral("/dev/full"));
                QVERIFY(file.open(QIODevice::WriteOnly));
                writeAll(file, QByteArray(100, 'x'));
            } else {
                toNumber(QStringLiteral("12,5x"), QStringLiteral("VAL"));
            }
        } catch (const RuntimeError &error) {
            caught = error;
        }
        QVERIFY(caught);
        QCOMPARE(caught->genCode, genCode);
        QCOMPARE(caught->osCode, osCode);
        QCOMPARE(caught->canRetry, canRetry);
        QCOMPARE(caught->canDefault, canDefault);
        QCOMPARE(caught->callStack.value(0).name, QStringLiteral("platformFailures"));
        // None of them may pass for a success: each reaches the operator.
        try {
            StandardEH(h->state, *caught);
        } catch (const OperationAbandoned &) {
        }
        QVERIFY(!h->dialogs.boxes.isEmpty());
    }
};

QTEST_MAIN(TstErrorFrameLog)

#include "tst_error_frame_log.moc"
