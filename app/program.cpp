#include "program.h"

#include "app/batch_window.h"
#include "app/event_chain.h"
#include "app/history_window.h"
#include "app/image_tab.h"
#include "app/main_window.h"
#include "app/outbox_sender.h"
#include "app/services.h"
#include "app/settings_tab.h"
#include "app/startup.h"
#include "app/termination.h"
#include "app/window_display.h"
#include "app/window_start.h"
#include "history/journal_keeper.h"
#include "runtime/appsys.h"
#include "runtime/clock.h"
#include "runtime/logging.h"
#include "runtime/qt_dialogs.h"
#include "runtime/threads.h"
#include "server/remote_run.h"
#include "server/upload.h"
#include "ui/line_attr.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

namespace framla::app {

Program::Program()
    : m_dialogs(std::make_unique<runtime::QtDialogs>())
    , m_clock(std::make_unique<runtime::SystemClock>())
    , m_presSpace(std::make_unique<ui::PresSpace>())
{
    m_state.services.dialogs = m_dialogs.get();
    m_state.services.clock = m_clock.get();
    m_state.services.mainPresSpace = m_presSpace.get();
    runtime::ErrorSys(m_state);
}

Program::~Program()
{
    // The tabs' handlers go with the window: the chain forgets them first.
    if (m_chain) {
        m_chain->setSettingsActions(nullptr);
        m_chain->setImageTabActions(nullptr);
    }
}

void Program::start(const QStringList &arguments)
{
    startBeforeWindow(m_state, arguments);
    m_services = std::make_unique<ProgramServices>(m_state, m_dialogs.get());
    // Ending at once (the quit button, a run-time error) gives up the pictures
    // still queued, and says so, as closing the window does.
    m_state.services.exitProgram = [this, end = m_state.services.exitProgram](int exitCode) {
        if (runtime::onUiThread())
            server::endUploads(m_state, server::kExitWaitMs);
        end(exitCode);
    };

    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize desktop =
        screen != nullptr ? screen->size() : QSize(m_state.nDlgWidth, m_state.nDlgHeight);
    m_window = std::make_unique<MainWindow>(m_state);
    m_window->move(centredPosition(desktop, m_state.nDlgWidth, m_state.nDlgHeight));
    m_dialogs->setOwner(m_window.get());
    m_window->show();
    m_window->activateWindow();

    startAfterWindow(m_state);
    // The runs of the settings just read share one connection, opened by
    // the first of them.
    server::followRunningSettings(m_state);
    // The window's behaviour: the display the server routines report to and
    // the per-event chain; then the pages, the tool check and the start look-up.
    m_display = std::make_unique<WindowDisplay>(m_state, *m_window);
    m_chain = std::make_unique<EventChain>(m_state, *m_window);
    m_chain->install();
    openWindow(m_state, *m_window, *m_display);
    if (!m_services->puttyProblem().isEmpty())
        m_display->showReply(m_services->puttyProblem());
    else if (!m_services->journalMessage().isEmpty())
        m_display->showReply(m_services->journalMessage());
    // Both tabs' handlers live as children of the window.
    m_chain->setSettingsActions(new SettingsTab(m_state, *m_window));
    m_chain->setImageTabActions(new ImageTab(m_state, *m_window, *m_display));
    // The outbox is sent in the background, what waits from an earlier run first.
    m_outboxSender = new OutboxSender(
        m_state, qobject_cast<QLabel *>(m_window->control(QStringLiteral("outboxCount"))),
        m_window.get());
    auto *history = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), m_window->imagePage());
    history->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(history, &QShortcut::activated, m_window.get(), [this] { openHistory(); });
    if (auto *button =
            qobject_cast<QPushButton *>(m_window->control(QStringLiteral("historyButton"))))
        QObject::connect(button, &QPushButton::clicked, m_window.get(), [this] { openHistory(); });
    // A folder of photos filed in one go: Ctrl+B on the image tab, "Batch" on the settings tab.
    auto *batchKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_B), m_window->imagePage());
    batchKey->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(batchKey, &QShortcut::activated, m_window.get(), [this] { openBatch(); });
    if (auto *button =
            qobject_cast<QPushButton *>(m_window->control(QStringLiteral("batchButton"))))
        QObject::connect(button, &QPushButton::clicked, m_window.get(), [this] { openBatch(); });
    closeWindowOnTermination(m_window.get());
    qCInfo(runtime::lcFramla) << "main window shown; settings file" << m_state.cCfgFileNm;
}

HistoryWindow *Program::openHistory()
{
    if (m_history == nullptr) {
        m_history = new HistoryWindow(m_state, m_outboxSender, m_window.get());
        if (history::Journal *journal = m_services->journal()->forThisThread())
            journal->prune(history::kDefaultCopyLimit);
    }
    m_history->refresh();
    m_history->show();
    m_history->raise();
    m_history->activateWindow();
    return m_history;
}

BatchWindow *Program::openBatch()
{
    if (m_batch == nullptr)
        m_batch = new BatchWindow(m_state, m_services->runner(), m_window.get());
    m_batch->show();
    m_batch->raise();
    m_batch->activateWindow();
    return m_batch;
}

int Program::run(const QStringList &arguments)
{
    start(arguments);
    const int code = QApplication::exec();
    qCInfo(runtime::lcFramla) << "ended with exit code" << code;
    // The pictures still queued are given up; one still being sent gets a
    // short while to end, else the program ends without waiting for it: its
    // tools die with the program, and a copy cut off never replaces the
    // picture on the server.
    if (!server::endUploads(m_state, server::kExitWaitMs))
        runtime::endProgram(code);
    return code;
}

} // namespace framla::app
