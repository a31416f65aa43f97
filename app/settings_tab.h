#pragma once

// The behaviour behind the settings tab's controls: testing and saving the
// server settings, the camera list, the instruction pages, the crop
// proportion, the webcam options and the image name rule. Almost every action
// ends by going back to the image tab, through the image-tool check.

#include "app/chain_actions.h"
#include "app/window_layout.h"

#include <QObject>
#include <QString>

namespace framla {
struct ProgramState;
}

namespace framla::app {

class MainWindow;

/// Ends the program at once through the runtime's exit path; nothing is saved
/// on the way. Behind the image tab's own "X" on a window without title bar.
void QUIT(ProgramState &state);

/// The number of lines a camera list shows: its line ends counted, a last
/// line without one included.
int listLineCount(const QString &text);

/// The settings tab's handlers. Connects itself to the window's settings
/// controls (and to the image tab's quit button, when there is one) when it
/// is made; it lives as a child of the window, so other code finds it with
/// window.findChild<SettingsTab *>().
class SettingsTab final : public QObject, public SettingsActions {
    Q_OBJECT
public:
    /// The window's pages must be built.
    SettingsTab(ProgramState &state, MainWindow &window);

    /// "Test and save above settings" clicked: test the five fields, take
    /// them over and save them when the test passes, go back to the image tab.
    void testAndSave();

    /// Enter pressed in one of the five settings fields or on the "Test and
    /// save above settings" button. The window's per-event chain calls this;
    /// nothing here watches the keys itself.
    void testAndSaveFromEnter() override;

    /// "Refresh": list the cameras in the camera box.
    void refreshCameras();

    /// Go back to the image tab, with the focus in the code field, when the
    /// image-tool check passes; false when the operator declined and the
    /// settings tab stays.
    bool returnToImageTab();

    /// An instruction page (or "About Framla") in a message box, then back.
    void showHelp(layout::HelpTopic topic);

    /// A crop proportion radio selected: 0 free, 1 for 4:3, 2 square.
    void chooseCropRatio(int index);

    /// The device number field or the delay field has lost the focus.
    void takeDeviceNumber();
    void takeDelay();

    /// The "Show preview video" and "Use source filename" boxes clicked.
    void takePreview(bool ticked);
    void takeUseFilename(bool ticked);

    /// The camera list as last listed ("cDevList").
    QString deviceList() const { return m_cDevList; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /// The five fields' contents, the test and the take-over; true when the
    /// settings passed and were taken over.
    bool testFields();
    /// True when the running database is no longer the one this run started with.
    bool databaseChanged() const;
    /// Saves the options, pauses half a second and goes back to the image tab.
    void afterOptionChange();
    /// The capture command again from the webcam options.
    void rebuildGrabCommand();

    ProgramState &m_state;
    MainWindow &m_window;
    QString m_cDevList;
};

} // namespace framla::app
