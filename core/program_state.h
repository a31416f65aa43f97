#pragma once

// The program state: every variable that start-up creates and that the
// routines of the other layers read or write by name. Plain data only; it
// depends on nothing outside core, so every layer may include it.

#include "core/codes.h"
#include "core/server_login.h"
#include "core/service.h"

#include <QDeadlineTimer>
#include <QPoint>
#include <QSize>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <mutex>

namespace framla {

/// Two opposite corners of the crop box in source-view pixels. Marked
/// corners are whole pixels; the fixed proportions (4:3, square) leave
/// fractions, which are kept until the crop is mapped to the picture's pixels
/// so that the crop has the proportion exactly. The box is drawn at the
/// nearest whole pixels.
using CropCoords = std::array<QPointF, 2>;

/// The part of the 278 x 256 source view that stands for the whole picture.
inline constexpr QSize ASCRN_SIZE{274, 252};

/// The journal of every put, replace, delete and data-file send
/// (history::JournalKeeper), and the outbox of puts that could not reach the
/// server (history::Outbox); roles of this state's own.
struct JournalService;
struct OutboxService;

/// The outside services the routines use. Start-up fills them with the real
/// ones; tests give scripted ones.
struct Services {
    /// Message and confirm boxes, file dialogs (runtime::Dialogs).
    ServiceSlot<DialogsService> dialogs;
    /// Time of day and pauses (runtime::Clock).
    ServiceSlot<ClockService> clock;
    /// Runs the external tools (runtime::Shell).
    ServiceSlot<ShellService> shell;
    /// The one worker that runs uploads, one after another (server::UploadQueue).
    ServiceSlot<UploadsService> uploads;
    /// Line attributes of the main window's drawing surface (ui::PresSpace).
    ServiceSlot<MainPresSpaceService> mainPresSpace;
    /// The journal; none: nothing is journalled (history::JournalKeeper).
    ServiceSlot<JournalService> journal;
    /// The outbox; none: a put that cannot reach the server is not kept (history::Outbox).
    ServiceSlot<OutboxService> outbox;
    /// Ends the program with the given exit code (after the exit routine).
    std::function<void(int)> exitProgram;
    /// Look-ups and the upload worker take turns on the shared working files
    /// ("framla.tmp", "scratch.jpg"); see runtime::WorkingFilesLock.
    std::shared_ptr<std::recursive_mutex> workingFiles = std::make_shared<std::recursive_mutex>();
};

/// The remote operation under way on one thread (a look-up, a put, a
/// deletion, a data file transfer): when its time is up, or after the
/// operator refused the server's host key, no further tool of it runs.
struct RemoteOperation {
    int depth = 0; ///< nested routines share the outermost operation's limit
    QDeadlineTimer deadline{QDeadlineTimer::Forever};
    bool stopped = false;
};

/// Total time limits of the remote operations, in milliseconds.
struct OperationLimits {
    int lookupMs = 60000;
    int putMs = 180000;
    int deleteMs = 60000;
    int transferMs = 120000;
};

struct ProgramState {
    Services services;
    RemoteOperation operation;
    OperationLimits limits;

    // --- shared variables ---------------------------------------------------
    LocalCfg aLocalCfg = defaultLocalCfg();
    bool lOk2Put = false;
    QString cAppPath; ///< absolute path of the program's directory
    bool lOk2DelSrc = false;
    bool lOk2DelTarg = false;
    bool lOrders = false;
    int nDlgWidth = 600;
    int nDlgHeight = 400;
    QString cGrabCommand;

    // --- main variables -----------------------------------------------------
    QString cCfgFileNm = QStringLiteral("Framla.cfg");
    /// The running server settings (cAddress, cPort, cPath, cUser, cPass) and
    /// the server's flavour (lIsDOS), read at start-up and replaced whole by
    /// a passed settings test.
    ServerLogin login;
    /// The database this run started with: a change needs a restart.
    QString cAddressy;
    QString cPathy;
    /// The password being tested, while a settings test runs.
    QString cPassx;
    bool lInventory = true;
    bool lNormalize = false;
    QString cSize = QStringLiteral("M");
    double nCropRat = 0;
    bool lUseFilename = true;
    int nDevNum = 1;
    int nDelaySecs = 4;
    bool lPreview = true;
    QString cCode;
    QString cName = QStringLiteral("noname");
    QString cFilename;
    QString cTime = QStringLiteral("Timeless");
    QSize anSize{0, 0};
    QSize aScrnSize = ASCRN_SIZE;
    CropCoords aCropCoords{QPointF(0, 0), QPointF(ASCRN_SIZE.width(), ASCRN_SIZE.height())};
    /// "scratch.jpg" exists in the program's directory. Kept current where
    /// the file is written or erased on the UI thread (preparation, the
    /// picture fetch, the target view's picture, start-up), so that the
    /// per-event updates never ask the disk.
    bool previewExists = false;

    // Start-up arguments after cleaning (empty when not given or refused).
    QString cStartCode;
    QString cStartAccount;
};

} // namespace framla
