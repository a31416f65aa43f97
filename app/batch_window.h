#pragma once

// The batch window: a folder of photos filed in one go. The table of every
// photo (thumbnail, file, code, record, picture on file, action, reason)
// comes first; nothing is put until the operator confirms; then a progress
// bar with the count, the photo under way and the time left, a cancel that
// stops after the photos in flight, and the report.

#include "batch/plan.h"
#include "batch/runner.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QImage>

#include <memory>
#include <thread>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace framla {
struct ProgramState;
}
namespace framla::runtime {
class ProcessShell;
}

namespace framla::app {

class BatchWindow final : public QDialog {
    Q_OBJECT
public:
    /// link: the program's runner, whose shared connection the batch uses
    /// (null: one of the batch's own).
    BatchWindow(ProgramState &state, const runtime::ProcessShell *link, QWidget *parent = nullptr);
    /// Cancels what runs and waits for the photos in flight.
    ~BatchWindow() override;

    /// Looks the folder's photos up and fills the table.
    void lookUp();
    /// Files the photos the table says will be put or replaced.
    void fileThem();
    /// Stops after the photos in flight.
    void cancel();

Q_SIGNALS:
    /// The table is filled (after lookUp) or the report is there (after fileThem).
    void planned();
    void finished();

private:
    void choose();
    void showPlan(const QList<batch::PlanRow> &rows, const QList<QImage> &thumbnails);
    void photoStarted(int index);
    void photoDone(int index, const batch::RowResult &result);
    void showReport(const QList<batch::RowResult> &results);
    void setRunning(bool running);
    void join();

    ProgramState &m_state;
    const runtime::ProcessShell *m_link;
    QLineEdit *m_folder = nullptr;
    QCheckBox *m_replace = nullptr;
    QSpinBox *m_bright = nullptr;
    QSpinBox *m_gamma = nullptr;
    QSpinBox *m_contrast = nullptr;
    QPushButton *m_lookUp = nullptr;
    QPushButton *m_file = nullptr;
    QPushButton *m_cancel = nullptr;
    QTableWidget *m_table = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_status = nullptr;

    std::unique_ptr<batch::BatchRun> m_run;
    std::thread m_worker;
    QList<batch::PlanRow> m_rows;
    int m_toFile = 0;
    int m_done = 0;
    QElapsedTimer m_clock;
};

} // namespace framla::app
