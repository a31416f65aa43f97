#pragma once

#include "core/program_state.h"
#include "runtime/tool_command.h"

#include <QString>

#include <optional>

class QWidget;

namespace framla::imaging {

class ImageView;

/// The capture command used when none was built.
inline constexpr auto kDefaultGrabCommand =
    "/C start /B /wait .\\commandcam.exe /quiet /preview /delay 5000";
/// What the device list says when there is no camera.
inline constexpr auto kNoDeviceNotice = "\r\n    No image capture device found.";

/// A number written right-aligned in a field of the given width, rounded to
/// a whole number; asterisks when it does not fit.
QString fieldText(double value, int width);

/// The capture command line from the webcam options (slots 7, 8 and 9); the
/// three arguments are accepted and not used, as the options hold the same.
QString BldGrabCmd(ProgramState &state, int nDevNum, int nDelaySecs, bool lPreview);

/// A capture or device-list line ("/C start ... CommandCam.exe ...") as the
/// run of the capture tool it stands for; nothing for a line that does not
/// run the capture tool.
std::optional<runtime::ToolCommand> captureCommandFromText(const QString &line);

/// Runs the capture and returns "image.bmp". A capture file left by an
/// earlier run is removed first, so a capture that fails shows the no-image
/// picture and a message, never the old picture as if it were new.
QString GrabImage(ProgramState &state, const QString &cGrabCommand);

/// The numbered device lines made from the capture tool's device list.
QString devlistText(const QString &toolOutput);

/// Runs the capture tool's device list and returns one numbered line per
/// device, or the no-device notice.
QString GetDevlist(ProgramState &state);

/// Asks for a source file; its full path with its letter case kept (the file
/// system tells case apart), or "" when the dialog is cancelled.
QString GetFileName(ProgramState &state);

/// Deletes the source file and shows the result in the view ("SW").
void DelFile(ProgramState &state, const QString &cFilename, ImageView *oStat);

} // namespace framla::imaging
