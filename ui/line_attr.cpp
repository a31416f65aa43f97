#include "line_attr.h"

#include "core/program_state.h"

#include <array>

namespace framla::ui {

LineAttributes PresSpace::setAttrLine(const LineAttrList &list)
{
    const LineAttributes before = m_line;
    if (list.colour)
        m_line.colour = *list.colour;
    if (list.mixMode)
        m_line.mixMode = *list.mixMode;
    if (list.width)
        m_line.width = *list.width;
    if (list.lineType)
        m_line.lineType = *list.lineType;
    return before;
}

QPen PresSpace::pen() const
{
    QPen pen(colourFromNumber(m_line.colour));
    pen.setWidth(qMax(1, m_line.width));
    switch (m_line.lineType) {
    case 1:
    case 4:
        pen.setStyle(Qt::DotLine);
        break;
    case 2:
    case 5:
        pen.setStyle(Qt::DashLine);
        break;
    case 3:
        pen.setStyle(Qt::DashDotLine);
        break;
    case 6:
        pen.setStyle(Qt::DashDotDotLine);
        break;
    case 8:
        pen.setStyle(Qt::NoPen);
        break;
    default:
        pen.setStyle(Qt::SolidLine);
        break;
    }
    return pen;
}

QColor colourFromNumber(int number)
{
    if (number >= colour::kRgbFlag) {
        const int rgb = number - colour::kRgbFlag;
        return QColor(rgb & 0xff, (rgb >> 8) & 0xff, (rgb >> 16) & 0xff);
    }
    if (number == colour::kWhite)
        return Qt::white;
    if (number == colour::kBlack)
        return Qt::black;
    // The sixteen-colour palette; 0 is the background and 7 the neutral colour.
    static const std::array<QColor, 16> palette{
        QColor(Qt::white),     QColor(Qt::blue),     QColor(Qt::red),     QColor(Qt::magenta),
        QColor(Qt::green),     QColor(Qt::cyan),     QColor(Qt::yellow),  QColor(Qt::black),
        QColor(Qt::darkGray),  QColor(Qt::darkBlue), QColor(Qt::darkRed), QColor(Qt::darkMagenta),
        QColor(Qt::darkGreen), QColor(Qt::darkCyan), QColor(128, 64, 0),  QColor(Qt::lightGray)};
    if (number >= 0 && number < static_cast<int>(palette.size()))
        return palette.at(static_cast<size_t>(number));
    return Qt::black;
}

int rgbNumber(int red, int green, int blue)
{
    return red + green * 256 + blue * 65536 + colour::kRgbFlag;
}

namespace {
PresSpace *target(ProgramState &state, PresSpace *ps)
{
    return ps != nullptr ? ps : state.services.mainPresSpace;
}
} // namespace

LineAttributes GRASETATTRLINE(ProgramState &state, PresSpace *ps)
{
    PresSpace *space = target(state, ps);
    return space != nullptr ? space->lineAttributes() : LineAttributes{};
}

LineAttributes GRASETATTRLINE(ProgramState &state, PresSpace *ps, const LineAttrList &attrs)
{
    PresSpace *space = target(state, ps);
    return space != nullptr ? space->setAttrLine(attrs) : LineAttributes{};
}

} // namespace framla::ui
