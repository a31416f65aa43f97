#pragma once

// The layout of the main window as data: every control of both tab pages as
// one row of a table, the conversion from the layout's lower-left coordinates
// to Qt's, the fonts and colours, and the rules that pick the initial
// selection of the radio buttons. The pages behind the help buttons are in
// help_texts.h.

#include "app/help_texts.h"
#include "core/program_state.h"

#include <QColor>
#include <QFlags>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <span>

namespace framla::app::layout {

/// The program's version as shown on the image tab.
inline constexpr auto kVersion = "3.20";

/// The settings tab's header caption; "&&" shows as a single "&".
inline constexpr auto kSettingsTabCaption = "Settings && Instructions";

/// A rectangle given by its lower-left corner, with y growing upwards from
/// the bottom of a parent of the given height, as a Qt rectangle (y downwards
/// from the top).
QRect toQtRect(int parentHeight, QPoint lowerLeft, QSize size);

/// The image tab's header caption: "..." and the database path from its last
/// "/" on, or the whole path when it has none.
QString imageTabTitle(const QString &cPath);

/// The settings tab's title: "Editing configuration file - " and the name of
/// the settings file the program edits; the default file ("Framla.cfg", in
/// any letter case) is named "framla.cfg", as the title has always said.
QString settingsTitle(const QString &cCfgFileNm);

/// Widths of the two tab headers in a header row of the given width: the
/// image tab from the left end to 26 % before the right end, the settings tab
/// from there to the right end.
struct TabHeaderWidths {
    int image = 0;
    int settings = 0;
};
TabHeaderWidths tabHeaderWidths(int rowWidth);

/// Whether the image tab gets its own quit button: exactly when the marker
/// file "c:\Windows\System\Mogrify.exe" exists (that window has no title bar).
bool hasQuitButton(bool markerFileExists);

/// Whether the marker file exists. It is a Windows system path; elsewhere the
/// environment variable FRAMLA_KIOSK set to 1 stands for it.
bool mogrifyMarkerExists();

/// The dialog's window flags: fixed border and no maximise button, or no
/// title bar and no task-list entry when the marker file exists.
Qt::WindowFlags dialogWindowFlags(bool markerFileExists);

// --- initial selections -------------------------------------------------------

/// The mode radio to select: 0 "Inventory " (slot 1), 1 "Cust/Sup " (neither
/// slot 1 nor slot 10), 2 "Repairs " (slot 10). Slot 1 wins when both are set,
/// as they are after a start code was given in Repairs mode.
int modeRadioIndex(const LocalCfg &cfg);

/// The crop radio whose proportion (0, 0.75, 1) equals slot 5; -1 for any
/// other value, which leaves all three unselected.
int cropRadioIndex(const LocalCfg &cfg);

/// The size radio whose letter ("S", "M", "L") equals slot 4; -1 for none.
int sizeRadioIndex(const LocalCfg &cfg);

/// Slot 6: the "Use source filename" check box is ticked.
bool useFilenameTicked(const LocalCfg &cfg);

// --- the control tables ---------------------------------------------------------

enum class Kind {
    Label,    ///< static text
    Frame,    ///< static frame holding other controls
    GroupBox, ///< group box with a caption
    PushButton,
    LineEdit, ///< single-line edit
    TextEdit, ///< multi-line edit
    CheckBox,
    RadioButton,
    SpinButton,
    ImageView,
};

/// The few colours the layout names; the rest are the system's.
enum class Colour {
    System,   ///< the system colours of the control's kind
    DarkBlue, ///< titles and group-box captions of the settings tab
    DarkGrey, ///< program name and version on the image tab
    Yellow,   ///< the code field's background
    White,    ///< the settings tab's group boxes
    PaleGrey, ///< the dialog's background
};
QColor colour(Colour c);

enum class Flag {
    TabStop = 0x1,
    Disabled = 0x2,
    Hidden = 0x4,
    ReadOnly = 0x8,
    NoWrap = 0x10,
    Password = 0x20,   ///< input shown as placeholder characters
    AutoTab = 0x40,    ///< focus moves on when the field is full
    AlignRight = 0x80, ///< text alignment, left and top unless said
    AlignHCenter = 0x100,
    AlignVCenter = 0x200,
    Borderless = 0x400,     ///< a read-only text shown flush in its box, without an edit border
    ScrollAsNeeded = 0x800, ///< a vertical scroll bar when the text is taller than the box
};
Q_DECLARE_FLAGS(Flags, Flag)

/// A font as the layout gives it: point size and face ("12.Times New Roman");
/// a size of 0 means the parent's font. A control whose caption does not fit
/// its box at that size gives the pixel size it is drawn at instead.
struct LayoutFont {
    int points = 0;
    const char *face = "";
    int pixels = 0; ///< 0: the points at 96 dpi
};

/// The pixel size of a point size on the 96-dpi display the layout was drawn
/// for: 12 points are 16 pixels, 8 points 11.
int pixelSize(int points);

/// The face on this system that stands for a face the layout names: the
/// metric-compatible Liberation faces (Arimo, Tinos, Cousine when those are
/// missing), so that a caption is as wide as it was laid out.
QString availableFace(const QString &layoutFace);

/// The font for a layout font; the base font when it names none. Sizes
/// are pixels, not points, so that a caption has the same width whatever
/// resolution the display reports, and glyphs keep their design advances
/// whatever hinting the desktop prefers.
QFont font(LayoutFont given, const QFont &base);

/// One control: its objectName, kind, caption or fixed content, lower-left
/// position and size in its parent, font, parent (the objectName of a frame
/// of the same table, or empty for the page), colours and flags.
struct ControlRow {
    const char *name;
    Kind kind;
    const char *text;
    QPoint pos;
    QSize size;
    LayoutFont font{};
    const char *parent = "";
    Flags flags{};
    Colour colour = Colour::System;
    int maxLength = 0; ///< single-line edits: most characters accepted; 0 no limit
};

/// Size of the settings tab page and of the image tab page for a dialog size.
QSize settingsPageSize(int dlgWidth, int dlgHeight);
QSize imagePageSize(int dlgWidth, int dlgHeight);

/// The controls of each page, in creation (and tab) order. The image tab's
/// quit button is the last row and is built only when hasQuitButton() says so.
std::span<const ControlRow> settingsTabControls();
std::span<const ControlRow> imageTabControls();

/// The objectName of the image tab's quit button.
inline constexpr auto kQuitButtonName = "quit";

// --- texts --------------------------------------------------------------------

/// The welcome text of the description box, lines joined by CR LF. With a
/// code to try (the demo names one: FRAMLA_DEMO_CODE) the text ends by
/// saying what to do with it; a code that is not a plain word of letters and
/// digits is not shown.
QString welcomeText(const QString &tryCode = {});

} // namespace framla::app::layout

Q_DECLARE_OPERATORS_FOR_FLAGS(framla::app::layout::Flags)
