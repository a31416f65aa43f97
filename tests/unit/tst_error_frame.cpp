// The central handler: what it settles silently, what it asks, what each
// answer does, and the places that catch errors (event dispatch, guarded
// operations on any thread).

#include <cerrno>

#include <QCoreApplication>
#include <QEvent>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include "error_frame_fixture.h"
#include "runtime/application.h"
#include "runtime/appsys.h"
#include "runtime/guarded.h"

#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <variant>

using namespace framla::runtime;
using framla::test::ErrorFrameHarness;
using framla::test::ProgramEnded;
using framla::test::shownError;
using Kind = HandlerResult::Kind;

namespace vendorlib {
/// What a library throws that does not derive from std::exception.
struct Fault {
    int code = 0;
};
} // namespace vendorlib

namespace {

enum Outcome { Retried, Defaulted, Abandoned, Ended, Number };

Outcome handle(framla::ProgramState &state, RuntimeError &error)
{
    try {
        switch (StandardEH(state, error).kind) {
        case Kind::Retry:
            return Retried;
        case Kind::Default:
            return Defaulted;
        case Kind::Number:
            return Number;
        }
    } catch (const OperationAbandoned &) {
        return Abandoned;
    } catch (const ProgramEnded &) {
        return Ended;
    }
    return Abandoned;
}

[[noreturn]] void failingOperation()
{
    RuntimeError error = makeError(kGenOpen, QStringLiteral("Open error"));
    error.canRetry = true;
    throw error;
}

/// Counts deliveries of one event type and fails the first ones.
class Receiver : public QObject {
public:
    static constexpr auto kType = static_cast<QEvent::Type>(QEvent::User + 7);
    framla::ProgramState *state = nullptr;
    int failures = 0;
    bool throughGuard = false;
    int deliveries = 0;
    bool afterGuard = false;
    std::function<void()> fail; // throws something other than an error object

    bool event(QEvent *event) override
    {
        if (event->type() != kType)
            return QObject::event(event);
        ++deliveries;
        if (fail) {
            fail();
        } else if (throughGuard) {
            guarded(
                *state, []() -> int { failingOperation(); }, 0);
            afterGuard = true;
        } else if (deliveries <= failures) {
            throw shownError();
        }
        return true;
    }
};

/// The ways code under the handler fails without an error object.
void throwForeign(const QString &kind)
{
    if (kind == "bad get") {
        const std::variant<int, QString> value = 7;
        qDebug() << std::get<QString>(value);
    } else if (kind == "no memory") {
        throw std::bad_alloc();
    } else if (kind == "library") {
        throw std::runtime_error("sqlite: database disk image is malformed");
    } else {
        throw vendorlib::Fault{3};
    }
}

} // namespace

Q_DECLARE_METATYPE(Outcome)

class TstErrorFrame : public QObject {
    Q_OBJECT
    std::unique_ptr<ErrorFrameHarness> h;

private slots:
    void init() { h = std::make_unique<ErrorFrameHarness>(); }
    void cleanup() { h.reset(); }

    void settledSilently_data()
    {
        QTest::addColumn<int>("genCode");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<int>("osCode");
        QTest::addColumn<bool>("canDefault");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<int>("boxes");
        const QVariantList none;
        QTest::newRow("numeric") << 11 << "" << none << 0 << false << Number << 0;
        QTest::newRow("division by zero")
            << 12 << "/" << QVariantList{5, 0} << 0 << false << Number << 0;
        QTest::newRow("modulo by zero")
            << 12 << "%" << QVariantList{5, 0.0} << 0 << false << Number << 0;
#ifdef Q_OS_WIN
        QTest::newRow("file in use") << 71 << "" << none << 32 << true << Defaulted << 0;
#else
        QTest::newRow("file in use") << 71 << "" << none << int(EBUSY) << true << Defaulted << 0;
        QTest::newRow("program file in use")
            << 71 << "" << none << int(ETXTBSY) << true << Defaulted << 0;
        // 32 is the Windows sharing violation only; here it is a broken pipe.
        QTest::newRow("broken pipe") << 71 << "" << none << 32 << true << Defaulted << 1;
#endif
        QTest::newRow("create may default") << 78 << "" << none << 0 << true << Defaulted << 0;
        // Look-alikes that must reach the operator.
        QTest::newRow("nonzero divisor")
            << 12 << "/" << QVariantList{5, 2} << 0 << false << Defaulted << 1;
        QTest::newRow("zero not last")
            << 12 << "/" << QVariantList{0, 5} << 0 << false << Defaulted << 1;
        QTest::newRow("product by zero")
            << 12 << "*" << QVariantList{5, 0} << 0 << false << Defaulted << 1;
        QTest::newRow("text zero divisor")
            << 12 << "/" << QVariantList{5, "0"} << 0 << false << Defaulted << 1;
        QTest::newRow("file in use, no default")
            << 71 << "" << none << int(EBUSY) << false << Defaulted << 1;
        QTest::newRow("open, other cause") << 71 << "" << none << 2 << true << Defaulted << 1;
        QTest::newRow("create, no default") << 78 << "" << none << 0 << false << Defaulted << 1;
    }
    void settledSilently()
    {
        QFETCH(int, genCode);
        QFETCH(QString, operation);
        QFETCH(QVariantList, args);
        QFETCH(int, osCode);
        QFETCH(bool, canDefault);
        QFETCH(Outcome, outcome);
        QFETCH(int, boxes);
        RuntimeError error = shownError(false, canDefault);
        error.genCode = genCode;
        error.operation = operation;
        error.args = args;
        error.osCode = osCode;
        h->answer({kIgnore});
        QCOMPARE(handle(h->state, error), outcome);
        QCOMPARE(h->dialogs.boxes.size(), boxes);
        QVERIFY(!h->exists("RUNERROR.LOG"));
    }

    void buttonsAndIcon_data()
    {
        QTest::addColumn<bool>("canRetry");
        QTest::addColumn<bool>("canDefault");
        QTest::addColumn<int>("severity");
        QTest::addColumn<Buttons>("buttons");
        QTest::addColumn<Icon>("icon");
        QTest::newRow("retry and default")
            << true << true << 2 << Buttons::AbortRetryIgnore << Icon::Critical;
        QTest::newRow("retry only") << true << false << 3 << Buttons::RetryCancel << Icon::Critical;
        QTest::newRow("default only") << false << true << 1 << Buttons::OkCancel << Icon::Warning;
        QTest::newRow("neither") << false << false << 0 << Buttons::Ok << Icon::Information;
        QTest::newRow("severity 4")
            << true << true << 4 << Buttons::AbortRetryIgnore << Icon::Information;
    }
    void buttonsAndIcon()
    {
        QFETCH(bool, canRetry);
        QFETCH(bool, canDefault);
        QFETCH(int, severity);
        QFETCH(Buttons, buttons);
        QFETCH(Icon, icon);
        RuntimeError error = shownError(canRetry, canDefault);
        error.severity = severity;
        h->answer({kIgnore});
        handle(h->state, error);
        QCOMPARE(h->dialogs.boxes.size(), 1);
        QCOMPARE(h->dialogs.boxes[0].buttons, buttons);
        QCOMPARE(h->dialogs.boxes[0].icon, icon);
        QCOMPARE(h->dialogs.boxes[0].title, QStringLiteral("Qt Error Message"));
    }

    void answers_data()
    {
        QTest::addColumn<bool>("canRetry");
        QTest::addColumn<bool>("canDefault");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<bool>("logWritten");
        QTest::newRow("retry") << true << true << QList<int>{kRetry} << Retried << false;
        QTest::newRow("ignore") << true << true << QList<int>{kIgnore} << Defaulted << false;
        QTest::newRow("cancel, no")
            << true << false << QList<int>{kCancel, kNo} << Abandoned << false;
        QTest::newRow("cancel, box closed")
            << false << true << QList<int>{kCancel} << Abandoned << false;
        QTest::newRow("cancel, yes") << true << false << QList<int>{kCancel, kYes} << Ended << true;
        QTest::newRow("abort") << true << true << QList<int>{kAbort} << Ended << true;
        QTest::newRow("OK alone") << false << false << QList<int>{kOk} << Ended << true;
        QTest::newRow("OK of OK/Cancel") << false << true << QList<int>{kOk} << Ended << true;
    }
    void answers()
    {
        QFETCH(bool, canRetry);
        QFETCH(bool, canDefault);
        QFETCH(QList<int>, answers);
        QFETCH(Outcome, outcome);
        QFETCH(bool, logWritten);
        RuntimeError error = shownError(canRetry, canDefault);
        h->answer(answers);
        QCOMPARE(handle(h->state, error), outcome);
        QCOMPARE(h->exists("RUNERROR.LOG"), logWritten);
        QCOMPARE(h->exitCodes, outcome == Ended ? QList<int>{1} : QList<int>{});
        const QStringList texts = h->dialogs.texts();
        if (answers.first() == kCancel) {
            QCOMPARE(texts.value(1), QStringLiteral("Exit with LOG file"));
            QCOMPARE(h->dialogs.boxes[1].buttons, Buttons::YesNo);
            QCOMPARE(h->dialogs.boxes[1].icon, Icon::Warning);
        }
        if (logWritten)
            QCOMPARE(texts.last(),
                     QStringLiteral("Error log was written to the file RUNERROR.LOG"));
    }

    void messageText()
    {
        RuntimeError error = shownError();
        error.subCode = 1001;
        error.description = QStringLiteral("Open error;twice");
        error.filename = QStringLiteral("stock.dbf");
        error.osCode = ENOENT;
        error.callStack = {{"PrepText", 120}, {"Main", 33}, {"", 0}, {"Hidden", 1}};
        h->answer({kIgnore});
        handle(h->state, error);
        QCOMPARE(h->dialogs.texts().value(0),
                 QStringLiteral("Error BASE/1001\rDescription : Open error\rtwice\rFile : stock.dbf"
                                "\rThread ID : 4321\rOperating system error : 2\r"
                                "No such file or directory\rCalled from PrepText(120)"
                                "\rCalled from Main(33)"));
    }

    void errorMessage_data()
    {
        QTest::addColumn<int>("severity");
        QTest::addColumn<QString>("subSystem");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QVariant>("cargo");
        QTest::addColumn<QString>("expected");
        const QString base = QStringLiteral("BASE");
        QTest::newRow("all fields")
            << 2 << base << "Open error"
            << "open" << QVariant()
            << "Error BASE/7;Description : Open error;Operation : open;Thread ID : 4321";
        QTest::newRow("warning, no texts") << 1 << QString() << QString() << "" << QVariant()
                                           << "Warning ?\?\?\?/7;Thread ID : 4321";
        QTest::newRow("empty description")
            << 0 << base << ""
            << "" << QVariant() << "Warning BASE/7;Description : ;Thread ID : 4321";
        QTest::newRow("cargo text triple")
            << 2 << base << QString() << ""
            << QVariant(QVariantList{"Session lost", 42, "Server said no"})
            << "Error BASE/7;Thread ID : 4321;Session lost;Server said no";
        QTest::newRow("cargo number first")
            << 2 << base << QString() << ""
            << QVariant(QVariantList{
                   5, 42, "The quick brown fox jumps over the lazy dog and keeps running far away"})
            << "Error BASE/7;Thread ID : 4321;The quick brown fox jumps over the lazy dog "
               "and;keeps running far away";
        QTest::newRow("cargo pair")
            << 2 << base << QString() << "" << QVariant(QVariantList{"a", "b"})
            << "Error BASE/7;Thread ID : 4321";
        QTest::newRow("cargo text")
            << 2 << base << QString() << "" << QVariant("a;b;c") << "Error BASE/7;Thread ID : 4321";
    }
    void errorMessage()
    {
        QFETCH(int, severity);
        QFETCH(QString, subSystem);
        QFETCH(QString, description);
        QFETCH(QString, operation);
        QFETCH(QVariant, cargo);
        QFETCH(QString, expected);
        RuntimeError error = shownError();
        error.severity = severity;
        error.subSystem = subSystem;
        error.subCode = 7;
        error.description = description;
        error.operation = operation;
        error.cargo = cargo;
        QCOMPARE(ERRORMESSAGE(error), expected);
    }

    void eventDispatch_data()
    {
        QTest::addColumn<int>("failures");
        QTest::addColumn<bool>("throughGuard");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<int>("deliveries");
        QTest::addColumn<bool>("handled");
        QTest::addColumn<int>("boxes");
        QTest::newRow("no failure") << 0 << false << QList<int>{} << 1 << true << 0;
        QTest::newRow("retry delivers again") << 1 << false << QList<int>{kRetry} << 2 << true << 1;
        QTest::newRow("retried twice")
            << 2 << false << QList<int>{kRetry, kRetry} << 3 << true << 2;
        QTest::newRow("ignore") << 9 << false << QList<int>{kIgnore} << 1 << false << 1;
        QTest::newRow("cancel, no") << 9 << false << QList<int>{kCancel, kNo} << 1 << false << 2;
        QTest::newRow("abandoned in guard")
            << 0 << true << QList<int>{kCancel, kNo} << 1 << false << 2;
    }
    void eventDispatch()
    {
        QFETCH(int, failures);
        QFETCH(bool, throughGuard);
        QFETCH(QList<int>, answers);
        QFETCH(int, deliveries);
        QFETCH(bool, handled);
        QFETCH(int, boxes);
        auto *app = qobject_cast<FramlaApplication *>(QCoreApplication::instance());
        QVERIFY(app);
        ErrorSys(h->state);
        Receiver receiver;
        receiver.state = &h->state;
        receiver.failures = failures;
        receiver.throughGuard = throughGuard;
        QList<int> chainSaw; // deliveries already made when the chain ran
        app->setEventChain([&](QObject *target, QEvent *event) {
            if (target == &receiver && event->type() == Receiver::kType)
                chainSaw.append(receiver.deliveries);
        });
        h->answer(answers);
        QEvent event(Receiver::kType);
        const bool result = QCoreApplication::sendEvent(&receiver, &event);
        app->setEventChain({});
        QCOMPARE(result, handled);
        QCOMPARE(receiver.deliveries, deliveries);
        QCOMPARE(h->dialogs.boxes.size(), boxes);
        QCOMPARE(chainSaw, QList<int>{deliveries});
        QVERIFY(!receiver.afterGuard);
        QVERIFY(!h->exists("RUNERROR.LOG"));
    }

    void guardedOperation_data()
    {
        QTest::addColumn<int>("failures");
        QTest::addColumn<bool>("divisionByZero");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("boxes");
        QTest::newRow("succeeds") << 0 << false << QList<int>{} << 7 << 0;
        QTest::newRow("retry, then succeeds") << 1 << false << QList<int>{kRetry} << 7 << 1;
        QTest::newRow("ignore gives the default") << 9 << false << QList<int>{kIgnore} << -1 << 1;
        QTest::newRow("division by zero gives 0") << 9 << true << QList<int>{} << 0 << 0;
        QTest::newRow("tries counted")
            << 9 << false << QList<int>{kRetry, kRetry, kAbort} << -2 << 4;
    }
    void guardedOperation()
    {
        QFETCH(int, failures);
        QFETCH(bool, divisionByZero);
        QFETCH(QList<int>, answers);
        QFETCH(int, result);
        QFETCH(int, boxes);
        h->answer(answers);
        int attempts = 0;
        const auto op = [&]() -> int {
            if (++attempts > failures)
                return 7;
            RuntimeError error = shownError();
            if (divisionByZero) {
                error.genCode = kGenArith;
                error.operation = QStringLiteral("/");
                error.args = QVariantList{3, 0};
            }
            throw error;
        };
        int got = -2;
        try {
            got = guarded(h->state, op, -1);
        } catch (const ProgramEnded &) {
        }
        QCOMPARE(got, result);
        QCOMPARE(h->dialogs.boxes.size(), boxes);
        if (got == -2)
            QVERIFY(h->file("RUNERROR.LOG").contains("\r\noError:tries        :          3\r\n"));
    }

    void foreignExceptions_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("onWorker");
        QTest::addColumn<QString>("description");
        const QString variant =
            "Unexpected exception std::bad_variant_access: std::get: wrong index for variant";
        const QString memory = "Unexpected exception std::bad_alloc";
        const QString library =
            "Unexpected exception std::runtime_error: sqlite: database disk image is malformed";
        const QString other = "Unexpected exception vendorlib::Fault";
        QTest::newRow("bad get, event") << "bad get" << false << variant;
        QTest::newRow("bad get, worker") << "bad get" << true << variant;
        QTest::newRow("no memory, event") << "no memory" << false << memory;
        QTest::newRow("no memory, worker") << "no memory" << true << memory;
        QTest::newRow("library, event") << "library" << false << library;
        QTest::newRow("library, worker") << "library" << true << library;
        QTest::newRow("not std, event") << "not std" << false << other;
        QTest::newRow("not std, worker") << "not std" << true << other;
    }
    void foreignExceptions()
    {
        QFETCH(QString, kind);
        QFETCH(bool, onWorker);
        QFETCH(QString, description);
        ErrorSys(h->state);
        // An exit service that returns, as when it only stops the event loop:
        // the failed operation is then abandoned at its recovery point.
        h->state.services.exitProgram = [this](int code) { h->exitCodes.append(code); };
        h->answer({kOk});
        bool handled = true;
        if (onWorker) {
            std::unique_ptr<QThread> worker(QThread::create(
                [&] { handled = runRecoverable(h->state, [&] { throwForeign(kind); }); }));
            worker->start();
            QVERIFY(worker->wait(10000));
        } else {
            Receiver receiver;
            receiver.fail = [&] { throwForeign(kind); };
            QEvent event(Receiver::kType);
            handled = QCoreApplication::sendEvent(&receiver, &event);
        }
        QVERIFY(!handled);
        QCOMPARE(h->exitCodes, QList<int>{1});
        QCOMPARE(h->dialogs.boxes.size(), 2);
        QCOMPARE(h->dialogs.boxes[0].buttons, Buttons::Ok);
        QCOMPARE(h->dialogs.texts().value(0).split('\r').value(1), "Description : " + description);
        QCOMPARE(h->dialogs.texts().value(1),
                 QStringLiteral("Error log was written to the file RUNERROR.LOG"));
        const QStringList log = QString::fromUtf8(h->file("RUNERROR.LOG")).split("\r\n");
        QVERIFY(log.contains("oError:description  : " + description));
        QVERIFY(log.contains("oError:genCode      :         90"));
    }

    void workerThread()
    {
        h->answer({kCancel, kNo});
        qint64 workerThread = 0;
        bool completed = true;
        std::unique_ptr<QThread> worker(QThread::create([&] {
            workerThread = currentThreadNumber();
            completed = runRecoverable(h->state, [] { failingOperation(); });
        }));
        worker->start();
        QVERIFY(worker->wait(10000));
        QVERIFY(!completed);
        QVERIFY(workerThread != currentThreadNumber());
        const QString text = h->dialogs.texts().value(0);
        QVERIFY2(text.contains(QStringLiteral("\rThread ID : %1\r").arg(workerThread)),
                 qPrintable(text));
        // The failing routine first, then the routine that guarded it.
        QVERIFY2(text.contains(QRegularExpression("\rCalled from failingOperation\\(\\d+\\)"
                                                  "\rCalled from workerThread\\(\\d+\\)$")),
                 qPrintable(text));
    }
};

QTEST_MAIN_WRAPPER(TstErrorFrame, QTEST_QAPP_SETUP(framla::runtime::FramlaApplication))

#include "tst_error_frame.moc"
