#pragma once

// The rules of the per-event chain as pure functions of the program state:
// which of the inline handlers an event calls for, and which of the image
// tab's buttons are enabled afterwards. The chain itself (event_chain.h)
// only translates Qt events into these terms and applies the answers.

#include "core/program_state.h"

#include <QPoint>

class QEvent;
class QObject;

namespace framla::app {

/// What the image tab's buttons may be after an event.
struct EnabledState {
    /// "Put it" may stay enabled; when false it is disabled. The rule never
    /// enables it: only the handlers do that.
    bool put = false;
    bool delSrc = false;  ///< the source-delete "X"
    bool rotate = false;  ///< "Rotate"
    bool delTarg = false; ///< the target-delete "X"
    bool copy = false;    ///< "<" beside "<<Copy<<"
    bool operator==(const EnabledState &) const = default;
};

/// The enabled state the program state calls for: "Put it" needs a source
/// file, a target name and a look-up that allowed a put; delete and rotate
/// need a source that may be changed; the target delete needs a recorded
/// picture on show; the copy button needs the preview file.
EnabledState enabledControls(const ProgramState &state);

/// The three adjustment spin buttons run from 0 to 9.
inline constexpr int kSpinMin = 0;
inline constexpr int kSpinMax = 9;
constexpr int clampSpin(int value)
{
    return value < kSpinMin ? kSpinMin : value > kSpinMax ? kSpinMax : value;
}

/// The kinds of input the inline handlers react to.
enum class ChainInput {
    Other,      ///< anything else (motion, release, paint ...)
    Key,        ///< a key press
    LeftPress,  ///< left-button press
    RightPress, ///< right-button press
};

/// The controls the inline handlers look at.
enum class ChainControl {
    Other,
    Static,        ///< the canvas of either picture view, or any label
    CodeField,     ///< the yellow code field oXbpGetCd
    TargetName,    ///< the target name field oXbpTargName
    FindButton,    ///< "Find"
    SourceField,   ///< the source file name field oXbpImageFile
    SettingsField, ///< a server settings field, or "Test and save above settings"
};

/// One event as the inline handlers see it.
struct ChainEvent {
    ChainInput input = ChainInput::Other;
    ChainControl control = ChainControl::Other;
    bool enter = false; ///< a key event of the Enter key
    QPoint pos;         ///< pointer position in the control, y upward from its bottom
};

/// The inline handlers, in the order they are tried.
enum class InlineHandler {
    None,
    UndoCropping,
    StretchCrop,
    DragCrop,
    Refresh,
    LookUpCode,
    LookUpName,
    ChooseSource,
    LoadTypedSource,
    NormaliseTargetName,
    TargetNameTyped,
    TestAndSave,
};

/// The first inline handler whose condition the event meets, or None. A
/// handler that matches but has nothing to do for this key (any key but
/// Enter in the code field, say) also gives None: the later ones are not
/// tried.
InlineHandler firstInlineHandler(const ChainEvent &event, const ProgramState &state);

/// Crop marks are set for the chain's purposes: both coordinates of the
/// first corner are non-zero.
bool chainCropMarksSet(const CropCoords &aCropCoords);

/// The point is less than 6 units from one of the crop edges' lines.
bool nearCropEdge(QPoint pos, const CropCoords &aCropCoords);

/// The point lies inside the crop rectangle, edges included.
bool insideCrop(QPoint pos, const CropCoords &aCropCoords);

/// The operator has left the field: the event is the focus loss of a field
/// still on show. A box opening, another program taking the desktop or the
/// page going away under the field is no move of the operator's; the field
/// keeps its focus when the window returns.
bool operatorLeftField(const QObject *field, const QEvent *event);

} // namespace framla::app
