#include "event_rules.h"

#include <QFocusEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace framla::app {

EnabledState enabledControls(const ProgramState &state)
{
    const bool hasSource = !state.cFilename.isEmpty();
    const bool sourceChangeable = hasSource && state.lOk2DelSrc;
    return {
        .put = hasSource && !state.cName.isEmpty() && state.lOk2Put,
        .delSrc = sourceChangeable,
        .rotate = sourceChangeable,
        .delTarg = state.lOk2DelTarg,
        .copy = state.previewExists,
    };
}

bool chainCropMarksSet(const CropCoords &aCropCoords)
{
    return aCropCoords[0].x() != 0 && aCropCoords[0].y() != 0;
}

bool nearCropEdge(QPoint pos, const CropCoords &aCropCoords)
{
    constexpr int kReach = 6;
    // Against the exact edges, as the stretch itself catches them.
    const auto near = [](double a, double b) { return std::abs(a - b) < kReach; };
    const auto &[a, b] = aCropCoords;
    return near(pos.x(), a.x()) || near(pos.x(), b.x()) || near(pos.y(), a.y()) ||
           near(pos.y(), b.y());
}

bool insideCrop(QPoint pos, const CropCoords &aCropCoords)
{
    const auto &[a, b] = aCropCoords;
    return pos.x() >= std::min(a.x(), b.x()) && pos.x() <= std::max(a.x(), b.x()) &&
           pos.y() >= std::min(a.y(), b.y()) && pos.y() <= std::max(a.y(), b.y());
}

InlineHandler firstInlineHandler(const ChainEvent &event, const ProgramState &state)
{
    using enum InlineHandler;
    const bool key = event.input == ChainInput::Key;
    const bool left = event.input == ChainInput::LeftPress;
    const bool enter = key && event.enter;

    if (event.control == ChainControl::Static) {
        if (event.input == ChainInput::RightPress)
            return UndoCropping;
        if (left) {
            const bool marks = chainCropMarksSet(state.aCropCoords);
            if (marks && nearCropEdge(event.pos, state.aCropCoords))
                return StretchCrop;
            if (marks && insideCrop(event.pos, state.aCropCoords))
                return DragCrop;
            return Refresh;
        }
        return None;
    }
    switch (event.control) {
    case ChainControl::CodeField:
        return enter ? LookUpCode : None;
    case ChainControl::TargetName:
        if (!state.lInventory && !state.lOrders) // Cust/Sup: the name is looked up
            return enter ? LookUpName : None;
        if (!key)
            return None;
        return enter ? NormaliseTargetName : TargetNameTyped;
    case ChainControl::FindButton:
        return enter ? ChooseSource : None;
    case ChainControl::SourceField:
        return enter ? LoadTypedSource : None;
    case ChainControl::SettingsField:
        return enter ? TestAndSave : None;
    case ChainControl::Static:
    case ChainControl::Other:
        break;
    }
    return None;
}

bool operatorLeftField(const QObject *field, const QEvent *event)
{
    if (event->type() != QEvent::FocusOut || !field->isWidgetType())
        return false;
    const Qt::FocusReason reason = static_cast<const QFocusEvent *>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
           static_cast<const QWidget *>(field)->isVisible();
}

} // namespace framla::app
