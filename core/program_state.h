#pragma once

// The program state: every variable that start-up creates and that the
// routines of the other layers read or write by name. Plain data only; it
// depends on nothing of ours, so every layer may include it.

#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <variant>

class QDialog;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QWidget;

namespace framla {

namespace runtime {
class Clock;
class Dialogs;
class Shell;
} // namespace runtime
namespace imaging {
class ImageView;
}
namespace ui {
class PresSpace;
}
namespace server {
class UploadQueue;
}

/// One slot of the local options: logical, text or number with fraction.
using LocalValue = std::variant<bool, QString, double>;
using LocalCfg = QList<LocalValue>;

/// The ten local option slots with their defaults, in slot order.
inline LocalCfg defaultLocalCfg()
{
    return {LocalValue{true}, LocalValue{false}, LocalValue{false}, LocalValue{QString("M")},
            LocalValue{0.0},  LocalValue{true},  LocalValue{1.0},   LocalValue{4.0},
            LocalValue{true}, LocalValue{false}};
}

/// Two opposite corners of the crop box in source-view pixels.
using CropCoords = std::array<QPoint, 2>;

/// The part of the 278 x 256 source view that stands for the whole picture.
inline constexpr QSize ASCRN_SIZE{274, 252};

/// The outside services the routines use. Start-up fills them with the real
/// ones; tests give scripted ones.
struct Services {
    runtime::Dialogs *dialogs = nullptr;
    runtime::Clock *clock = nullptr;
    runtime::Shell *shell = nullptr;
    /// The one worker that runs uploads, one after another.
    server::UploadQueue *uploads = nullptr;
    /// Ends the program with the given exit code (after the exit routine).
    std::function<void(int)> exitProgram;
    /// Look-ups and the upload worker take turns on the shared working files
    /// ("framla.tmp", "scratch.jpg"); see runtime::WorkingFilesLock.
    std::shared_ptr<std::recursive_mutex> workingFiles = std::make_shared<std::recursive_mutex>();
};

struct ProgramState {
    Services services;

    // --- shared variables ---------------------------------------------------
    LocalCfg aLocalCfg = defaultLocalCfg();
    bool lOk2Put = false;
    QString cAppPath; ///< absolute path of the program's directory
    QString cAppDir;  ///< the same directory as the current-directory query gives it
    bool lBusy1 = false;
    bool lBusytoo = false;
    bool lBusy3 = false;
    bool lOk2DelSrc = false;
    bool lOk2DelTarg = false;
    bool lIsDOS = false;
    bool lOrders = false;
    QSpinBox *oXbpBright = nullptr;
    QSpinBox *oXbpGamma = nullptr;
    QSpinBox *oXbpContrast = nullptr;
    QPushButton *oXbpShowExisting = nullptr;
    QLineEdit *oXbpTargName = nullptr;
    QLineEdit *oXbpAddress = nullptr;
    QLineEdit *oXbpPort = nullptr;
    QLineEdit *oXbpPath = nullptr;
    QLineEdit *oXbpUser = nullptr;
    QLineEdit *oXbpPass = nullptr;
    int nDlgWidth = 600;
    int nDlgHeight = 400;
    QDialog *oStartingDlg = nullptr;
    /// Line attributes of the main window's drawing surface.
    ui::PresSpace *oMainPresSpace = nullptr;
    QString cGrabCommand;

    // --- main variables -----------------------------------------------------
    QString cCfgFileNm = QStringLiteral("Framla.cfg");
    QString cAddress;
    QString cPort = QStringLiteral("22");
    QString cPath;
    QString cUser;
    QString cPass;
    QString cAddressy;
    QString cPathy;
    QString cAddressx;
    QString cPortx;
    QString cPathx;
    QString cUserx;
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
    QString cCodeRaw;
    QString cName = QStringLiteral("noname");
    QString cFilename;
    QString cTime = QStringLiteral("Timeless");
    QSize anSize{0, 0};
    QSize aScrnSize = ASCRN_SIZE;
    CropCoords aCropCoords{QPoint{0, 0}, QPoint{ASCRN_SIZE.width(), ASCRN_SIZE.height()}};
    QPoint aPos;
    bool lWasSSR = false;
    int nChoice = 0;
    QString cFramla;
    QString cDevList;
    QString cFromPath;
    QString cFile;
    QWidget *oImageTab = nullptr;
    QWidget *oSettingsTab = nullptr;
    imaging::ImageView *oStat = nullptr;
    imaging::ImageView *oStat2 = nullptr;

    // Start-up arguments after cleaning (empty when not given or refused).
    QString cStartCode;
    QString cStartAccount;
};

} // namespace framla
