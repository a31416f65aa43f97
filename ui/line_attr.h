#pragma once

#include "core/service.h"

#include <QColor>
#include <QPen>

#include <optional>

namespace framla {
struct ProgramState;
}

namespace framla::ui {

/// Palette numbers and RGB colour numbers as the drawing layer knows them.
namespace colour {
inline constexpr int kWhite = -2;
inline constexpr int kBlack = -1;
inline constexpr int kNeutral = 7;
/// Colour numbers at or above this are RGB: red + green*256 + blue*65536 + kRgbFlag.
inline constexpr int kRgbFlag = 16777216;
} // namespace colour

/// Mix modes: how a line combines with what lies under it.
inline constexpr int kMixOverpaint = 2;
/// The crop marks' mode: the line shows against any picture beneath it.
inline constexpr int kMixInvert = 10;

/// The line attributes in force on a drawing surface.
struct LineAttributes {
    int colour = colour::kNeutral;
    int mixMode = kMixOverpaint;
    int width = 1;
    int lineType = 0; ///< 0 default (solid), 1 dot, 2 short dash, 3 dash-dot, 5 long dash, 7 solid
    bool operator==(const LineAttributes &) const = default;
};

/// An attribute list: colour, mix mode, width, line type; an empty slot
/// leaves that attribute unchanged.
struct LineAttrList {
    std::optional<int> colour;
    std::optional<int> mixMode;
    std::optional<int> width;
    std::optional<int> lineType;
};

/// The drawing state of one window: its line attribute group.
class PresSpace {
public:
    /// The line attributes in force.
    LineAttributes lineAttributes() const { return m_line; }
    /// Set the given slots; returns the attributes in force before the call.
    LineAttributes setAttrLine(const LineAttrList &list);

    /// A Qt pen drawing with the attributes in force.
    QPen pen() const;

private:
    LineAttributes m_line;
};

/// The colour a colour number stands for (palette index, special or RGB).
QColor colourFromNumber(int number);
/// The RGB colour number of a colour.
int rgbNumber(int red, int green, int blue);

/// Report the line attributes of ps (the main window's when ps is null).
LineAttributes GRASETATTRLINE(ProgramState &state, PresSpace *ps);
/// Set line attributes on ps (the main window's when ps is null); returns
/// the attributes in force before the call.
LineAttributes GRASETATTRLINE(ProgramState &state, PresSpace *ps, const LineAttrList &attrs);

} // namespace framla::ui

namespace framla {
/// ui::PresSpace fills the program state's MainPresSpaceService slot.
template<> struct ServiceType<MainPresSpaceService> {
    using type = ui::PresSpace;
};
} // namespace framla
