#pragma once

#include <QDialog>

#include <array>

class QCheckBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabBar;

namespace framla {
struct ProgramState;
}
namespace framla::imaging {
class ImageView;
}

namespace framla::app {

inline constexpr auto kWindowTitle = "Framla by Tillsmith Solutions CC";

/// The controls of the image tab that the handlers work with. The window
/// owns them all.
struct ImageTabControls {
    imaging::ImageView *oStat = nullptr;  ///< source picture
    imaging::ImageView *oStat2 = nullptr; ///< preview / recorded target picture
    QPushButton *toSettings = nullptr;    ///< "?"
    /// "Inventory ", "Cust/Sup ", "Repairs "
    std::array<QRadioButton *, 3> modeRadios{};
    QLineEdit *oXbpGetCd = nullptr; ///< the yellow code field
    QPlainTextEdit *oXbpShowTxt = nullptr;
    QPushButton *oXbpShowExisting = nullptr;
    QLineEdit *oXbpImageFile = nullptr;
    QPushButton *oXbpGrab = nullptr;
    QPushButton *oXbpBrowse = nullptr;
    QPushButton *oXbpBrowData = nullptr;
    QPushButton *oXbpCrop = nullptr;
    QSpinBox *oXbpBright = nullptr;
    QSpinBox *oXbpGamma = nullptr;
    QSpinBox *oXbpContrast = nullptr;
    QPushButton *oXbpRotate = nullptr;
    QPushButton *oXbpDelSrc = nullptr;
    QPushButton *switchView = nullptr; ///< "<>"
    QPushButton *oXbpDelTarg = nullptr;
    QPushButton *oXbpCpTarg = nullptr;
    QLabel *oXbpTargGrp = nullptr;
    QLabel *oXbpInstruct = nullptr;
    QLineEdit *oXbpTargName = nullptr;
    QPushButton *oXbpPut = nullptr;
    /// 160, 320 and 640 pixels: "S", "M", "L"
    std::array<QRadioButton *, 3> sizeRadios{};
    QPushButton *quit = nullptr; ///< only on a window without title bar; else null
};

/// The controls of the settings tab that the handlers work with.
struct SettingsTabControls {
    QLabel *title = nullptr; ///< "Editing configuration file - " and the file's name
    QLineEdit *oXbpAddress = nullptr;
    QLineEdit *oXbpPort = nullptr;
    QLineEdit *oXbpPath = nullptr;
    QLineEdit *oXbpUser = nullptr;
    QLineEdit *oXbpPass = nullptr;
    QPushButton *oXbpSave = nullptr;
    QPlainTextEdit *oXbpCamsTxt = nullptr;
    QPushButton *cameraRefresh = nullptr;
    QPushButton *backToImage = nullptr; ///< "<"
    /// "ix", "Inventory", "Suppliers", "Customers", "Repairs"
    std::array<QPushButton *, 5> helpButtons{};
    /// free, 4:3, square
    std::array<QRadioButton *, 3> cropRadios{};
    QLineEdit *deviceField = nullptr;
    QLineEdit *delayField = nullptr;
    QCheckBox *previewBox = nullptr;
    QCheckBox *oXbpName = nullptr; ///< "Use source filename"
    QPushButton *aboutFramla = nullptr;
};

/// The one window of the program: a fixed dialog with the image tab and the
/// settings tab. It owns every control; the pages are built from the layout
/// tables once the server settings have been read.
class MainWindow final : public QDialog {
    Q_OBJECT
public:
    enum class Page { Image, Settings };

    explicit MainWindow(const ProgramState &state, QWidget *parent = nullptr);

    /// Builds both tab pages with all their controls from the state: the
    /// settings fields, the options, the mode and the database path. The
    /// image tab shows; the code field gets the focus.
    void buildPages();

    const ImageTabControls &imageTab() const { return m_image; }
    const SettingsTabControls &settingsTab() const { return m_settings; }
    QWidget *imagePage() const { return m_imagePage; }
    QWidget *settingsPage() const { return m_settingsPage; }
    QTabBar *tabBar() const { return m_tabBar; }

    /// The image tab's header names the running database path again, after
    /// the settings that passed their test changed it.
    void showDatabasePath();

    /// Brings a page up and puts the other behind it.
    void showPage(Page page);
    Page currentPage() const;

    /// A control of either page by its objectName; null when there is none.
    QWidget *control(const QString &name) const;

protected:
    /// Escape does not close the window, as it would a dialog: the operator
    /// ends the program with the close box (or the quit button) only.
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *buildPage(const char *name, QSize size, QWidget *pageParent);
    void collectControls();
    void setInitialContent();

    const ProgramState &m_state;
    QWidget *m_imagePage = nullptr;
    QWidget *m_settingsPage = nullptr;
    QTabBar *m_tabBar = nullptr;
    ImageTabControls m_image;
    SettingsTabControls m_settings;
};

} // namespace framla::app
