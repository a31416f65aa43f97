// While a button's handler waits in a blocking routine (a tool run, a pause,
// the working files), a second click on it is dropped: the handler runs once,
// also after the wait. Keys typed meanwhile are kept and take effect in order
// once the handler has returned. Timers and posted events still run during
// the wait, and a box opened meanwhile can be answered.

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include "core/program_state.h"
#include "runtime/application.h"
#include "runtime/blocking.h"
#include "runtime/clock.h"
#include "runtime/shell.h"
#include "runtime/working_files.h"
#include "support/scripted_shell.h"

#include <memory>

using namespace framla;

namespace {

enum class Wait { ScriptedTool, RealTool, Pause, WorkingFiles };
enum class Input { Click, WindowClick, PostedClick, Key, Shortcut };

constexpr int kWaitMs = 400;

/// One blocking routine of about kWaitMs, as the handler of a button runs it.
void blockingRoutine(Wait kind)
{
    switch (kind) {
    case Wait::ScriptedTool: {
        test::ScriptedShell shell;
        shell.onRun = [](const runtime::ToolCommand &) {
            runtime::BlockingWait().wait(kWaitMs); // the wait of ProcessShell
            return runtime::RunOutcome{};
        };
        shell.run(runtime::ToolCommand{}, 60000);
        break;
    }
    case Wait::RealTool: {
        runtime::ToolCommand command;
        command.tool = QStringLiteral("sleep");
        command.args = QStringList{QStringLiteral("0.4")};
        runtime::ProcessShell shell(QDir::tempPath(), nullptr);
        QVERIFY(shell.run(command, 10000).succeeded());
        break;
    }
    case Wait::Pause:
        runtime::SystemClock().sleep(kWaitMs / 10);
        break;
    case Wait::WorkingFiles: {
        ProgramState state;
        std::unique_ptr<QThread> worker(QThread::create([&state] {
            const runtime::WorkingFilesLock held(state);
            QThread::msleep(kWaitMs);
        }));
        worker->start();
        while (state.services.workingFiles->try_lock()) { // until the worker holds them
            state.services.workingFiles->unlock();
            QThread::msleep(1);
        }
        {
            const runtime::WorkingFilesLock lock(state);
        }
        worker->wait();
        break;
    }
    }
}

QMouseEvent *mouseEvent(QEvent::Type type, QWidget *widget)
{
    const QPointF at = widget->rect().center();
    return new QMouseEvent(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                           type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                           Qt::NoModifier);
}

void sendInput(Input kind, QPushButton *button)
{
    switch (kind) {
    case Input::Click:
        QTest::mouseClick(button, Qt::LeftButton);
        break;
    case Input::WindowClick: // the way the window system delivers it
        QTest::mouseClick(button->window()->windowHandle(), Qt::LeftButton, {},
                          button->mapTo(button->window(), button->rect().center()));
        break;
    case Input::PostedClick:
        QCoreApplication::postEvent(button, mouseEvent(QEvent::MouseButtonPress, button));
        QCoreApplication::postEvent(button, mouseEvent(QEvent::MouseButtonRelease, button));
        break;
    case Input::Key:
        QTest::keyClick(button, Qt::Key_Space);
        break;
    case Input::Shortcut:
        QTest::keyClick(button->window(), Qt::Key_P, Qt::ControlModifier);
        break;
    }
}

/// Keys typed the way the window system delivers them: to the window.
void typeInto(QWindow *window, const char *keys)
{
    for (; *keys != '\0'; ++keys) {
        if (*keys == '\r')
            QTest::keyClick(window, Qt::Key_Return);
        else
            QTest::keyClick(window, *keys);
    }
}

} // namespace

Q_DECLARE_METATYPE(Wait)
Q_DECLARE_METATYPE(Input)

class TstBlockingInput : public QObject {
    Q_OBJECT
    std::unique_ptr<QWidget> m_window;
    QPushButton *m_button = nullptr;

private slots:
    void init()
    {
        m_window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(m_window.get());
        m_button = new QPushButton(QStringLiteral("Put"), m_window.get());
        layout->addWidget(m_button);
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_button->setFocus();
    }
    void cleanup() { m_window.reset(); }

    void inputDuringWait_data()
    {
        QTest::addColumn<Wait>("wait");
        QTest::addColumn<Input>("input");
        QTest::addColumn<bool>("kept");  // a key: it runs the handler again, after the first
        QTest::addColumn<bool>("modal"); // the window is modal, open before the wait began
        QTest::newRow("tool run, click") << Wait::ScriptedTool << Input::Click << false << false;
        QTest::newRow("tool run, window click")
            << Wait::ScriptedTool << Input::WindowClick << false << false;
        QTest::newRow("tool run, posted click")
            << Wait::ScriptedTool << Input::PostedClick << false << false;
        QTest::newRow("tool run, key") << Wait::ScriptedTool << Input::Key << true << false;
        QTest::newRow("tool run, shortcut")
            << Wait::ScriptedTool << Input::Shortcut << true << false;
        QTest::newRow("real tool, window click")
            << Wait::RealTool << Input::WindowClick << false << false;
        QTest::newRow("pause, window click") << Wait::Pause << Input::WindowClick << false << false;
        QTest::newRow("working files, key") << Wait::WorkingFiles << Input::Key << true << false;
        // The batch and History windows are modal: open before the wait, not answering it.
        QTest::newRow("modal window, window click")
            << Wait::ScriptedTool << Input::WindowClick << false << true;
    }
    void inputDuringWait()
    {
        QFETCH(Wait, wait);
        QFETCH(Input, input);
        QFETCH(bool, kept);
        QFETCH(bool, modal);
        if (modal) {
            m_window->hide();
            m_window->setWindowModality(Qt::ApplicationModal);
            m_window->show();
            QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        }
        QStringList seen; // in the order it happened
        const auto handler = [&] {
            seen << QStringLiteral("run");
            if (seen.size() > 1)
                return;
            QTimer::singleShot(100, [&] {
                seen << QStringLiteral("timer");
                sendInput(input, m_button);
                QMetaObject::invokeMethod(
                    qApp, [&] { seen << QStringLiteral("posted"); }, Qt::QueuedConnection);
            });
            blockingRoutine(wait);
            seen << QStringLiteral("wait over");
        };
        connect(m_button, &QPushButton::clicked, this, handler);
        auto *shortcut = new QShortcut(QKeySequence(QStringLiteral("Ctrl+P")), m_window.get());
        connect(shortcut, &QShortcut::activated, this, handler);

        QTest::mouseClick(m_button, Qt::LeftButton);
        QTest::qWait(100); // nothing else comes later
        QStringList expected{"run", "timer", "posted", "wait over"};
        if (kept)
            expected << QStringLiteral("run");
        QCOMPARE(seen, expected);
        sendInput(input, m_button); // once the wait is over, input counts at once
        QTest::qWait(20);
        QCOMPARE(seen, expected << QStringLiteral("run"));
    }

    /// Codes typed or scanned into a field, each ended by Enter, while the
    /// look-up of the one before waits: each is looked up whole, in order.
    void keysKeptInOrder()
    {
        auto *field = new QLineEdit(m_window.get());
        m_window->layout()->addWidget(field);
        field->setFocus();
        QStringList lookedUp;
        connect(field, &QLineEdit::returnPressed, this, [&] {
            lookedUp << field->text();
            field->clear();
            if (lookedUp.size() == 1) {
                QTimer::singleShot(50, [&] { typeInto(m_window->windowHandle(), "cd2\rEF3\r"); });
                QTimer::singleShot(150, [&] { typeInto(m_window->windowHandle(), "g4\r"); });
            }
            blockingRoutine(Wait::Pause);
        });
        QTest::keyClicks(field, QStringLiteral("ab1\r"));
        QCOMPARE(lookedUp, (QStringList{"ab1", "cd2", "EF3", "g4"}));
        QVERIFY(!runtime::BlockingInput::active());
        QCOMPARE(runtime::input::heldCount(), 0);
    }

    void boxDuringWaitAnswered()
    {
        int answer = 0;
        QTimer::singleShot(50, [&] {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Framla"),
                            QStringLiteral("Trust this server?"),
                            QMessageBox::Yes | QMessageBox::No, m_window.get());
            QTimer::singleShot(50, &box, [&box] {
                QAbstractButton *yes = box.button(QMessageBox::Yes);
                QTest::mouseClick(box.windowHandle(), Qt::LeftButton, {},
                                  yes->mapTo(&box, yes->rect().center()));
            });
            QTimer::singleShot(2000, &box, &QWidget::hide); // when it cannot be answered
            answer = box.exec();
        });
        QVERIFY(!runtime::BlockingInput::active());
        blockingRoutine(Wait::Pause);
        QVERIFY(!runtime::BlockingInput::active());
        QCOMPARE(answer, int(QMessageBox::Yes));
    }
};

QTEST_MAIN_WRAPPER(TstBlockingInput, QTEST_QAPP_SETUP(framla::runtime::FramlaApplication))

#include "tst_blocking_input.moc"
