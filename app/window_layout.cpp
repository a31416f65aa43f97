#include "window_layout.h"

#include "core/codes.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace framla::app::layout {

QRect toQtRect(int parentHeight, QPoint lowerLeft, QSize size)
{
    return {lowerLeft.x(), parentHeight - lowerLeft.y() - size.height(), size.width(),
            size.height()};
}

QString imageTabTitle(const QString &cPath)
{
    const qsizetype slash = cPath.lastIndexOf(QLatin1Char('/'));
    return QStringLiteral("...") + (slash < 0 ? cPath : cPath.mid(slash));
}

namespace {

/// The settings tab's title, naming the default settings file.
constexpr auto kSettingsTitle = "Editing configuration file - framla.cfg";
constexpr auto kDefaultCfgName = "framla.cfg";

} // namespace

QString settingsTitle(const QString &cCfgFileNm)
{
    QString title = QLatin1String(kSettingsTitle);
    if (!cCfgFileNm.isEmpty() &&
        cCfgFileNm.compare(QLatin1String(kDefaultCfgName), Qt::CaseInsensitive) != 0)
        title.replace(QLatin1String(kDefaultCfgName), cCfgFileNm);
    return title;
}

TabHeaderWidths tabHeaderWidths(int rowWidth)
{
    const int image = static_cast<int>(std::lround(rowWidth * 0.74));
    return {image, rowWidth - image};
}

bool hasQuitButton(bool markerFileExists)
{
    return markerFileExists;
}

bool mogrifyMarkerExists()
{
#ifdef Q_OS_WIN
    return QFileInfo::exists(QStringLiteral("c:\\Windows\\System\\Mogrify.exe"));
#else
    // No such system path here: a shop sets FRAMLA_KIOSK=1 in the program's
    // environment (its launcher or session) for the window without title bar.
    return qEnvironmentVariable("FRAMLA_KIOSK") == QLatin1String("1");
#endif
}

Qt::WindowFlags dialogWindowFlags(bool markerFileExists)
{
    if (markerFileExists)
        return Qt::Tool | Qt::FramelessWindowHint;
    return Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
           Qt::MSWindowsFixedSizeDialogHint;
}

// --- initial selections -------------------------------------------------------

int modeRadioIndex(const LocalCfg &cfg)
{
    if (optionValue(cfg, Option::Inventory, false))
        return 0;
    return optionValue(cfg, Option::Orders, false) ? 2 : 1;
}

int cropRadioIndex(const LocalCfg &cfg)
{
    // A missing or damaged slot selects none.
    const double ratio = optionValue(cfg, Option::CropRatio, -1.0);
    for (int i = 0; i < int(core::kCropRatios.size()); ++i) {
        if (ratio == core::kCropRatios.at(std::size_t(i)))
            return i;
    }
    return -1;
}

int sizeRadioIndex(const LocalCfg &cfg)
{
    const QString letter = optionValue(cfg, Option::Size, QString());
    for (int i = 0; i < int(core::kSizeLetters.size()); ++i) {
        if (letter == QLatin1String(core::kSizeLetters.at(std::size_t(i))))
            return i;
    }
    return -1;
}

bool useFilenameTicked(const LocalCfg &cfg)
{
    return optionValue(cfg, Option::UseFilename, false);
}

// --- fonts and colours --------------------------------------------------------

QColor colour(Colour c)
{
    switch (c) {
    case Colour::DarkBlue:
        return {0, 0, 128};
    case Colour::DarkGrey:
        return {128, 128, 128};
    case Colour::Yellow:
        return {255, 255, 0};
    case Colour::White:
        return {255, 255, 255};
    case Colour::PaleGrey:
        return {192, 192, 192};
    case Colour::System:
        break;
    }
    return {};
}

QString availableFace(const QString &layoutFace)
{
    // Only faces with the same advance widths as the ones named: any other
    // face (DejaVu is a good deal wider) would clip the tighter captions, so
    // without them the name goes to fontconfig as it stands.
    QStringList candidates;
    if (layoutFace == QLatin1String("Arial"))
        candidates = {"Liberation Sans", "Arimo"};
    else if (layoutFace == QLatin1String("Times New Roman"))
        candidates = {"Liberation Serif", "Tinos"};
    else if (layoutFace == QLatin1String("Courier") || layoutFace == QLatin1String("Courier New"))
        candidates = {"Liberation Mono", "Cousine"};
    const QStringList families = QFontDatabase::families();
    for (const QString &face : std::as_const(candidates)) {
        if (families.contains(face))
            return face;
    }
    return layoutFace;
}

int pixelSize(int points)
{
    return static_cast<int>(std::lround(points * 96 / 72.0));
}

QFont font(LayoutFont given, const QFont &base)
{
    QFont result(base);
    if (given.points <= 0)
        return result;
    result.setFamilies({availableFace(QLatin1String(given.face))});
    result.setPixelSize(given.pixels > 0 ? given.pixels : pixelSize(given.points));
    // Full hinting rounds every advance to whole pixels, which makes some
    // captions wider or narrower depending on the desktop's settings; the
    // design advances are the ones the faces share with those they stand for.
    result.setHintingPreference(QFont::PreferVerticalHinting);
    return result;
}

// --- the control tables ---------------------------------------------------------

QSize settingsPageSize(int dlgWidth, int dlgHeight)
{
    return {dlgWidth - 6, dlgHeight - 28};
}

QSize imagePageSize(int dlgWidth, int dlgHeight)
{
    return {dlgWidth - 5, dlgHeight - 28};
}

namespace {

constexpr LayoutFont arial(int points)
{
    return {points, "Arial"};
}
constexpr LayoutFont times(int points)
{
    return {points, "Times New Roman"};
}
constexpr LayoutFont courier(int points)
{
    return {points, "Courier"};
}
constexpr LayoutFont courierNew(int points)
{
    return {points, "Courier New"};
}
/// A font drawn at a pixel size below its documented one, for a caption that
/// would not fit its box otherwise.
constexpr LayoutFont narrowed(LayoutFont given, int pixels)
{
    return {given.points, given.face, pixels};
}

constexpr Flags kTab{Flag::TabStop};
constexpr Flags kRightMiddle = Flag::AlignRight | Flag::AlignVCenter;
constexpr Flags kCentred = Flag::AlignHCenter | Flag::AlignVCenter;

#ifdef Q_OS_WIN
constexpr auto kCamsText = "Click Refresh (This function requires Windows XP\r\n"
                           "Service Pack >= 2, Vista, Windows 7 or Windows 8)";
#else
// Here the cameras are listed by the commandcam tool from Video4Linux.
constexpr auto kCamsText = "Click Refresh (This function needs a camera\r\n"
                           "that Video4Linux knows and the commandcam tool)";
#endif

using K = Kind;
using C = Colour;

// One row per control, in creation order; the formatter would give every field a line.
// clang-format off

const ControlRow kSettingsTab[] = {
    // 509 pixels wide at 32 pixels.
    {"settingsTitle", K::Label, kSettingsTitle, {48, 305}, {504, 48},
     narrowed(arial(24), 31), "", kCentred, C::DarkBlue},
    {"addressLabel", K::Label, "Server address", {12, 286}, {120, 24}, arial(12), "", kRightMiddle},
    {"oXbpAddress", K::LineEdit, "", {144, 286}, {420, 24}, courier(12), "", kTab},
    {"portLabel", K::Label, "Port (normal=22)", {12, 262}, {120, 22}, arial(12), "", kRightMiddle},
    {"oXbpPort", K::LineEdit, "", {144, 262}, {70, 22}, courier(12), "", kTab | Flag::Password},
    {"pathLabel", K::Label, "Database path", {24, 236}, {108, 24}, arial(12), "", kRightMiddle},
    {"oXbpPath", K::LineEdit, "", {144, 236}, {420, 24}, courier(12), "", kTab},
    {"userLabel", K::Label, "User name", {24, 210}, {108, 24}, arial(12), "", kRightMiddle},
    {"oXbpUser", K::LineEdit, "", {144, 210}, {180, 24}, courier(12), "", kTab},
    {"passwordLabel", K::Label, "Password", {24, 186}, {108, 22}, arial(12), "", kRightMiddle},
    {"oXbpPass", K::LineEdit, "", {144, 186}, {180, 22}, {}, "", kTab | Flag::Password},
    {"oXbpSave", K::PushButton, "Test and save above settings", {144, 158}, {216, 24}, arial(12),
     "", kTab},
    {"cameraGroup", K::GroupBox, "Available live cameras", {100, 87}, {290, 60}, arial(11), "", {},
     C::White},
    {"cameraFrame", K::Frame, "", {105, 87}, {280, 43}},
    // Its second line is 274 pixels wide: no room for an edit border.
    {"oXbpCamsTxt", K::TextEdit, kCamsText, {2, 2}, {276, 45}, times(10), "cameraFrame",
     Flag::ReadOnly | Flag::NoWrap | Flag::Borderless},
    {"cameraRefresh", K::PushButton, "Refresh", {310, 129}, {50, 17}, arial(8)},
    {"instructionsTitle", K::Label, "Operating Instructions", {17, 45}, {320, 40}, arial(24), "",
     kCentred, C::DarkBlue},
    {"backToImage", K::PushButton, "<", {20, 92}, {35, 35}, arial(24)},
    {"helpTransfer", K::PushButton, "ix", {15, 10}, {30, 35}, arial(12)},
    {"helpInventory", K::PushButton, "Inventory", {50, 10}, {80, 35}, arial(12)},
    {"helpSuppliers", K::PushButton, "Suppliers", {135, 10}, {85, 35}, arial(12)},
    {"helpCustomers", K::PushButton, "Customers", {225, 10}, {90, 35}, arial(12)},
    {"helpRepairs", K::PushButton, "Repairs", {320, 10}, {70, 35}, arial(12)},
    {"cropGroup", K::GroupBox, "Cropping proportions", {400, 162}, {170, 70}, arial(11), "", {},
     C::White},
    {"cropFrame", K::Frame, "", {405, 165}, {160, 48}},
    {"cropFree", K::RadioButton, "Free/manual setting", {0, 32}, {150, 16}, {}, "cropFrame"},
    // 138 pixels wide at 16 pixels, beside a 20-pixel indicator.
    {"cropRatio43", K::RadioButton, "Rectangle (Ratio 4:3)", {0, 16}, {150, 16},
     narrowed(times(12), 15), "cropFrame"},
    {"cropSquare", K::RadioButton, "Square (ratio = 1:1)", {0, 0}, {150, 16}, {}, "cropFrame"},
    {"captureGroup", K::GroupBox, "Capture options", {400, 86}, {170, 70}, arial(11), "", {},
     C::White},
    {"captureFrame", K::Frame, "", {405, 89}, {160, 48}},
    {"deviceLabel", K::Label, "Device number", {5, 32}, {135, 16}, times(12), "captureFrame",
     Flag::AlignVCenter},
    {"deviceField", K::LineEdit, "", {143, 34}, {15, 14}, arial(8), "captureFrame", Flag::AutoTab,
     C::System, 1},
    {"delayLabel", K::Label, "Delay (seconds)", {5, 18}, {135, 16}, times(12), "captureFrame",
     Flag::AlignVCenter},
    {"delayField", K::LineEdit, "", {143, 18}, {15, 14}, arial(8), "captureFrame", Flag::AutoTab,
     C::System, 1},
    {"previewLabel", K::Label, "Show preview video", {5, 2}, {135, 16}, times(12), "captureFrame",
     Flag::AlignVCenter},
    {"previewBox", K::CheckBox, "", {145, 2}, {14, 14}, {}, "captureFrame"},
    {"nameGroup", K::GroupBox, "Default image name", {400, 48}, {170, 37}, arial(11), "", {},
     C::White},
    {"nameFrame", K::Frame, "", {405, 50}, {160, 20}},
    {"useFilenameLabel", K::Label, "Use source filename", {20, 2}, {150, 16}, times(12),
     "nameFrame"},
    {"oXbpName", K::CheckBox, "", {2, 2}, {14, 14}, {}, "nameFrame"},
    {"aboutFramla", K::PushButton, "About Framla", {400, 10}, {170, 30}, arial(12), "", kTab},
    {"historyButton", K::PushButton, "History", {20, 158}, {110, 24}, arial(12)},
    {"batchButton", K::PushButton, "Batch", {20, 130}, {75, 24}, arial(12)},
};

const ControlRow kImageTab[] = {
    {"oStat", K::ImageView, "", {10, 97}, {278, 256}},
    {"oStat2", K::ImageView, "", {446, 84}, {141, 130}},
    {"toSettings", K::PushButton, "?", {12, 15}, {30, 30}, times(18), "", kTab},
    {"programName", K::Label, "Framla", {50, 12}, {95, 36}, times(24), "", {}, C::DarkGrey},
    // How many photos wait in the outbox; empty while none do.
    {"outboxCount", K::Label, "", {48, 0}, {150, 12}, times(8)},
    {"programVersion", K::Label, kVersion, {143, 12}, {50, 30}, times(18), "", {}, C::DarkGrey},
    {"targetCodeLabel", K::Label, "Target code", {201, 16}, {99, 24}, times(16), "", kRightMiddle},
    {"modeInventory", K::RadioButton, "Inventory ", {308, 36}, {88, 16}, times(12)},
    {"modeCustSup", K::RadioButton, "Cust/Sup ", {308, 20}, {88, 16}, times(12)},
    {"modeRepairs", K::RadioButton, "Repairs ", {308, 4}, {88, 16}, times(12)},
    {"oXbpGetCd", K::LineEdit, "", {398, 14}, {115, 28}, courierNew(16), "", kTab, C::Yellow, 30},
    {"startHere", K::Label, "S T A R T   H E R E", {390, 4}, {70, 9}, arial(6)},
    {"descriptionGroup", K::GroupBox, "Description as recorded on server:", {296, 240}, {293, 110},
     times(12)},
    // Four and a half lines: a longer description scrolls.
    {"oXbpShowTxt", K::TextEdit, "", {300, 245}, {285, 87}, times(12), "",
     Flag::ReadOnly | Flag::ScrollAsNeeded},
    // 94 pixels wide at 16 pixels.
    {"oXbpShowExisting", K::PushButton, "Show Existing", {490, 240}, {90, 18},
     narrowed(times(12), 15), "", Flag::Hidden},
    {"oXbpImageFile", K::LineEdit, "", {200, 53}, {405, 24}, courierNew(12), "", kTab, C::System,
     250},
    {"oXbpGrab", K::PushButton, "Capture", {40, 53}, {80, 24}, times(16)},
    {"oXbpBrowse", K::PushButton, "Find", {123, 53}, {75, 24}, times(16)},
    {"oXbpBrowData", K::PushButton, "ix", {12, 53}, {25, 24}, times(16)},
    {"oXbpCrop", K::PushButton, "Set crop marks", {12, 79}, {102, 20}, times(12), "",
     Flag::Disabled},
    {"brightLabel", K::Label, "Bright", {117, 79}, {42, 20}, times(12), "", Flag::AlignRight},
    {"gammaLabel", K::Label, "Gamma", {194, 79}, {53, 20}, times(12), "", Flag::AlignRight},
    {"contrastLabel", K::Label, "Contrast", {277, 79}, {60, 20}, times(12), "", Flag::AlignRight},
    {"oXbpBright", K::SpinButton, "4", {160, 79}, {30, 20}, arial(12)},
    {"oXbpGamma", K::SpinButton, "0", {247, 79}, {30, 20}, arial(12)},
    {"oXbpContrast", K::SpinButton, "0", {339, 79}, {30, 20}, arial(12)},
    {"oXbpRotate", K::PushButton, "Rotate", {291, 194}, {40, 18}, times(10), "", Flag::Disabled},
    {"oXbpDelSrc", K::PushButton, "X", {291, 170}, {32, 24}, times(18), "", Flag::Disabled},
    {"eraseLabel", K::Label, "< Erase Image >", {323, 175}, {118, 16}, times(12)},
    {"switchView", K::PushButton, "<>", {291, 211}, {22, 20}, times(12)},
    {"switchLabel", K::Label, "Switch (1sec)", {318, 210}, {108, 16}, times(12)},
    {"copyLabel", K::Label, "<<Copy<<", {353, 194}, {108, 16}, times(12)},
    {"oXbpDelTarg", K::PushButton, "X", {425, 173}, {20, 18}, times(12), "", Flag::Disabled},
    {"oXbpCpTarg", K::PushButton, "<", {425, 191}, {20, 18}, times(18), "", Flag::Disabled},
    // 147 pixels wide at 16 pixels.
    {"targetNameLabel", K::Label, "Target image name/Ssr", {300, 151}, {144, 16},
     narrowed(times(12), 15)},
    {"oXbpTargGrp", K::Label, " It's your move...", {444, 215}, {144, 14}, times(8)},
    {"oXbpInstruct", K::Label, "", {330, 227}, {244, 14}, times(8)},
    {"oXbpTargName", K::LineEdit, "", {300, 124}, {144, 28}, courierNew(16), "", kTab, C::System,
     16},
    {"oXbpPut", K::PushButton, "Put it", {512, 11}, {76, 34}, times(24), "",
     kTab | Flag::Disabled},
    {"sizeFrame", K::Frame, "", {384, 94}, {56, 16}},
    {"sizeS", K::RadioButton, "", {0, 0}, {16, 16}, {}, "sizeFrame"},
    {"sizeM", K::RadioButton, "", {20, 0}, {16, 16}, {}, "sizeFrame"},
    {"sizeL", K::RadioButton, "", {40, 0}, {16, 16}, {}, "sizeFrame"},
    {"maxPixelsLabel", K::Label, "Max.Pixels", {386, 108}, {54, 16}, times(8), "",
     Flag::AlignHCenter},
    {"sizePixelsLabel", K::Label, "160 320 640", {380, 80}, {64, 20}, times(8), "",
     Flag::AlignHCenter},
    {kQuitButtonName, K::PushButton, "X", {579, 334}, {15, 15}, times(10)},
};
// clang-format on

} // namespace

std::span<const ControlRow> settingsTabControls()
{
    return kSettingsTab;
}

std::span<const ControlRow> imageTabControls()
{
    return kImageTab;
}

// --- texts --------------------------------------------------------------------

QString welcomeText(const QString &tryCode)
{
    const QString welcome =
        QStringLiteral("              WELCOME TO THE\r\n              ZMR IMAGE PUTTER\r\n"
                       "                  VERSION ") +
        QLatin1String(kVersion);
    static const QRegularExpression plainCode(QStringLiteral("^[A-Za-z0-9]{1,13}$"));
    if (!plainCode.match(tryCode).hasMatch())
        return QStringLiteral("\r\n") + welcome;
    return welcome + QStringLiteral("\r\n        type ") + tryCode +
           QStringLiteral(" and press Enter");
}

} // namespace framla::app::layout
