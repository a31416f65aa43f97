#pragma once

namespace framla {
struct ProgramState;
}
namespace framla::server {
class TargetDisplay;
}

namespace framla::app {

class MainWindow;

/// The last start-up steps, once the server settings are read: both pages
/// built with the image tab showing, the image-tool check (on failure the
/// settings tab comes up), the focus in the code field, and the look-up of a
/// code given on the command line. A first run, with no server address yet,
/// opens on the settings tab with the address field focused and looks
/// nothing up, since there is no server to ask.
void openWindow(ProgramState &state, MainWindow &window, server::TargetDisplay &display);

/// The look-up of the start account number, or else of the start inventory
/// code; nothing when neither was given. Shows the reply and the recorded
/// picture, fills the code and target name fields and sets "Put it".
void startLookUp(ProgramState &state, MainWindow &window, server::TargetDisplay &display);

/// Deletes the preview file "scratch.jpg" and notes that it is gone.
void erasePreview(ProgramState &state);

} // namespace framla::app
