#pragma once

#include <QDialog>

namespace framla {
struct ProgramState;
}

namespace framla::app {

inline constexpr auto kWindowTitle = "Framla by Tillsmith Solutions CC";

/// The one window of the program.
class MainWindow final : public QDialog {
    Q_OBJECT
public:
    explicit MainWindow(ProgramState &state, QWidget *parent = nullptr);

private:
    ProgramState &m_state;
};

} // namespace framla::app
