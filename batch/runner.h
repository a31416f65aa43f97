#pragma once

// A folder of photographs filed in one go: the plan (every photo, its code
// and what the server says about its record), then each photo through the
// operator's own path, prepared on all cores and put through a few channels
// side by side, and a report of what became of each.

#include "batch/plan.h"
#include "batch/report.h"
#include "core/codes.h"
#include "core/program_state.h"
#include "imaging/prepare.h"

#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace framla::runtime {
class ProcessShell;
}

namespace framla::batch {

/// How the batch files its photos: the options' mode, size and crop
/// proportion, and brightness, gamma and contrast at their neutral values,
/// unless the caller sets others.
struct BatchOptions {
    core::Mode mode = core::Mode::Inventory;
    QString size = QStringLiteral("M");
    double cropRatio = 0;           ///< height / width of a centred crop; 0 keeps the whole photo
    bool replace = false;           ///< pictures on file are replaced
    int channels = 4;               ///< puts and look-ups side by side
    int preparers = 0;              ///< preparations side by side; 0 for one per core
    imaging::Adjustment adjustment; ///< brightness, gamma and contrast of every photo

    /// The options the program state's local options hold.
    static BatchOptions of(const ProgramState &state);
};

/// The crop marks of a centred crop of proportion ratio (height / width) on
/// a picture of the given size, in the picture's own pixels with y upward;
/// the whole picture for ratio 0.
CropCoords centredCrop(QSize picture, double ratio);

class BatchRun {
public:
    /// A batch of the photos in folder, with the program's login, services
    /// and limits. Its channels share the connection of link when one is
    /// given (the window's own runner), else one of the batch's own.
    BatchRun(const ProgramState &program, QString folder, BatchOptions options,
             const runtime::ProcessShell *link = nullptr);
    ~BatchRun();

    /// Every photo of the folder with its code, what the server says about
    /// its record and the action. Blocks; the look-ups run in the channels.
    QList<PlanRow> plan();

    /// Files the rows whose action is put or replace, and returns a result
    /// for every row. Blocks until every photo in flight has ended.
    QList<RowResult> run(const QList<PlanRow> &rows);

    /// Stops after the photos in flight (any thread): the rest is not
    /// touched. During the plan, the look-ups not yet begun are not made.
    void cancel() { m_cancelled = true; }
    /// The brightness, gamma and contrast the photos are filed with; set
    /// before run().
    void setAdjustment(const imaging::Adjustment &adjustment) { m_options.adjustment = adjustment; }
    bool cancelled() const { return m_cancelled; }

    /// Called (from the workers, one at a time) when a photo's put starts
    /// and when a photo is done.
    std::function<void(int index)> onStarted;
    std::function<void(int index, const RowResult &result)> onDone;

    /// Writes the report into directory as "framla-batch-<date>-<time>.csv";
    /// returns its path, or "" when it could not be written.
    static QString writeReport(const QString &directory, const QList<PlanRow> &rows,
                               const QList<RowResult> &results);

private:
    ServerLogin channelLogin() const;
    QString workDirectory(const QString &name) const;
    int preparers() const;

    const ProgramState m_program; ///< a copy: the window may change its own meanwhile
    QString m_folder;
    BatchOptions m_options;
    QTemporaryDir m_work;
    std::unique_ptr<runtime::ProcessShell> m_ownLink;
    const runtime::ProcessShell *m_link;
    std::atomic<bool> m_cancelled{false};
    std::mutex m_report; ///< one callback at a time
};

} // namespace framla::batch
