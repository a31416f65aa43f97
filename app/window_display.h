#pragma once

#include "server/target_display.h"

namespace framla {
struct ProgramState;
}

namespace framla::app {

class MainWindow;

/// The image tab as the server routines see it: the description box, the
/// "Show Existing" button, the target name field, the target view and its
/// caption, and the wait pointer over the whole window. Used on the UI
/// thread only; the upload worker reaches it through a PostingDisplay.
class WindowDisplay final : public server::TargetDisplay {
public:
    /// The window's pages must be built before anything is shown.
    WindowDisplay(ProgramState &state, MainWindow &window);

    void showReply(const QString &text) override;
    void setShowExistingVisible(bool visible) override;
    void showTargetName(const QString &name) override;
    /// Hangs the picture in oStat2 and notes whether the preview file
    /// exists: every change of that file reaches the view through here or
    /// through preparation.
    void hangTarget(const QString &file, const QString &mode) override;
    void showCaption(const QString &text) override;
    void setBusy(bool busy) override;

private:
    ProgramState &m_state;
    MainWindow &m_window;
};

} // namespace framla::app
