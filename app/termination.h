#pragma once

class QWidget;

namespace framla::app {

/// On SIGTERM, SIGINT or SIGHUP (a session logging out, a service manager
/// stopping the program) close the window the way the operator would, so the
/// program ends through its normal exit path.
void closeWindowOnTermination(QWidget *window);

} // namespace framla::app
