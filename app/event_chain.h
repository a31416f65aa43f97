#pragma once

#include "app/chain_actions.h"
#include "app/event_rules.h"

class QEvent;
class QObject;
class QSpinBox;
class QWidget;

namespace framla {
struct ProgramState;
}

namespace framla::app {

class MainWindow;

/// The per-event chain of the main window. After the addressed control has
/// handled an event, FramlaApplication runs it:
///  1. "Put it" is disabled unless a source, a target name and a put
///     permission exist;
///  2. the first inline handler whose condition holds runs (event_rules.h);
///  3. the delete, rotate and copy buttons follow the state;
///  4. the three adjustment spin buttons are clamped to 0..9;
///  5. at the end of a spin the image tab's preview step runs with the
///     clamped values.
///
/// The end of a spin is, in Qt terms: the left button released over a spin
/// button (its arrows; a press there steps and repeats until the release),
/// an Up, Down, Page Up or Page Down key released on it (not an automatic
/// repeat), or a wheel turn on it (a notch, or the end of a touchpad
/// gesture).
///
/// The chain runs for every event, mouse motion included, so it never asks
/// the disk: whether the preview file exists is kept in the program state.
class EventChain {
public:
    EventChain(ProgramState &state, MainWindow &window);
    /// Takes itself out of the application when installed.
    ~EventChain();
    EventChain(const EventChain &) = delete;
    EventChain &operator=(const EventChain &) = delete;

    /// Installs the chain in the application; does nothing when the
    /// application is not a FramlaApplication.
    void install();

    /// Where the inline handlers go; null restores the ones that do nothing.
    /// The handlers must outlive the chain or be taken out first.
    void setImageTabActions(ImageTabActions *actions);
    void setSettingsActions(SettingsActions *actions);

    /// Runs the chain for one event that its receiver has handled.
    void handle(QObject *receiver, QEvent *event);

private:
    ChainEvent describe(QObject *receiver, QEvent *event) const;
    ChainControl controlOf(QObject *receiver) const;
    void runInline(InlineHandler handler, QObject *receiver, const ChainEvent &event);
    void applyEnabledState();
    void clampSpins();
    bool spinEnded(QObject *receiver, QEvent *event) const;
    QSpinBox *spinOf(QObject *receiver) const;

    ProgramState &m_state;
    MainWindow &m_window;
    ImageTabActions m_noImageActions;
    SettingsActions m_noSettingsActions;
    ImageTabActions *m_imageActions = &m_noImageActions;
    SettingsActions *m_settingsActions = &m_noSettingsActions;
    bool m_installed = false;
};

} // namespace framla::app
