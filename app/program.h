#pragma once

#include "core/program_state.h"

#include <QStringList>

#include <memory>

namespace framla::runtime {
class QtDialogs;
class SystemClock;
} // namespace framla::runtime
namespace framla::ui {
class PresSpace;
}

namespace framla::app {

class BatchWindow;
class EventChain;
class HistoryWindow;
class MainWindow;
class OutboxSender;
class ProgramServices;
class WindowDisplay;

/// The whole life of the program: its state, its services and its window.
class Program {
public:
    Program();
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    /// Start up with the command-line arguments (program name excluded), show
    /// the window and run until it is closed; returns the exit code.
    int run(const QStringList &arguments);

    /// Start up and show the window without entering the event loop.
    void start(const QStringList &arguments);

    ProgramState &state() { return m_state; }
    MainWindow *window() const { return m_window.get(); }
    /// What the server routines report to, and the per-event chain into
    /// which the tabs' handlers plug; null before start().
    WindowDisplay *display() const { return m_display.get(); }
    EventChain *eventChain() const { return m_chain.get(); }
    /// The outbox in the background; null before start().
    OutboxSender *outboxSender() const { return m_outboxSender; }
    /// Opens the History window (or brings it up).
    HistoryWindow *openHistory();
    /// Opens the batch window (or brings it up).
    BatchWindow *openBatch();

private:
    ProgramState m_state;
    std::unique_ptr<runtime::QtDialogs> m_dialogs;
    std::unique_ptr<runtime::SystemClock> m_clock;
    // The runner, the journal, the outbox and the upload worker of the
    // working directory, as framla --folder makes them too.
    std::unique_ptr<ProgramServices> m_services;
    std::unique_ptr<ui::PresSpace> m_presSpace;
    std::unique_ptr<MainWindow> m_window;
    // Both refer to the window, so they go before it.
    std::unique_ptr<WindowDisplay> m_display;
    std::unique_ptr<EventChain> m_chain;
    // Children of the window.
    OutboxSender *m_outboxSender = nullptr;
    HistoryWindow *m_history = nullptr;
    BatchWindow *m_batch = nullptr;
};

} // namespace framla::app
