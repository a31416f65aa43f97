#pragma once

// The steps the image tab's handlers share, each named by what it does. The
// handlers call them in their documented order; none starts a tool itself
// except through the imaging and server routines.

#include <QString>

namespace framla {
struct ProgramState;
}
namespace framla::server {
class TargetDisplay;
}

namespace framla::app {

class MainWindow;
struct ImageTabControls;

class ImageSteps {
public:
    ImageSteps(ProgramState &state, MainWindow &window, server::TargetDisplay &display);

    ProgramState &state() const { return m_state; }
    MainWindow &window() const { return m_window; }
    server::TargetDisplay &display() const { return m_display; }
    const ImageTabControls &controls() const;

    /// Reset the adjustments: brightness 4, gamma 0, contrast 0.
    void resetAdjustments();
    /// Clear the crop marks, show the source in the source view, take its
    /// size and show its path.
    void showSource();
    /// In Cust/Sup mode with "Use source filename" on, the name from the
    /// source file becomes the target name.
    void defaultName();
    /// The one preview step: the caption given, the preview prepared from the
    /// source, its crop marks and the three adjustment controls, and shown
    /// in the target view.
    void refreshPreview(const QString &caption);
    /// In Inventory and Repairs mode the code is taken from the target name field.
    void takeCode();
    /// Back to the code field: it shows the account in Cust/Sup mode and is
    /// emptied otherwise; it gets the focus.
    void returnToCodeField();
    /// "Set crop marks" enabled exactly when a source is chosen.
    void updateCropButton();
    /// "Put it" enabled when the code and name are not both empty and the
    /// last look-up allowed a put.
    void putByCodeAndName();
    /// Mark the file field from just after the file name back to its start.
    void markFileField();

    /// "Put it" enabled exactly when the condition holds.
    void enablePut(bool on);
    /// "Find" and "ix" enabled or disabled together.
    void enableFindAndTransfer(bool on);

    /// The name from a source path: between the last "/" or "\" and the last
    /// ".", blanks removed, at most 16 characters; "" without a ".".
    static QString nameFromSource(const QString &cFilename);

    // --- used by the put and delete actions ---

    /// The code field as the return to it leaves it (the account in Cust/Sup
    /// mode, else empty), without moving the focus.
    void fillCodeField();
    /// Set aside the last reply ("framla.tmp"), so that nothing read next
    /// acts on it; waits for an upload still using it.
    void forgetReply();

private:
    ProgramState &m_state;
    MainWindow &m_window;
    server::TargetDisplay &m_display;
};

} // namespace framla::app
