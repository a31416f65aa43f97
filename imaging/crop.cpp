#include "crop.h"

#include "imaging/crop_geometry.h"
#include "imaging/crop_pointer.h"
#include "imaging/image_view.h"
#include "runtime/dialogs.h"
#include "ui/line_attr.h"

#include <QAbstractButton>
#include <QPointer>

namespace framla::imaging {

namespace {

/// The prompts shown on the "Set crop marks" button while marking.
const char *const kIdleCaption = "Set crop marks";
const char *const kFirstCaption = "Click a corner";
const char *const kSecondCaption = "Opposite corner";

void setCaption(QAbstractButton *button, const char *caption)
{
    if (button == nullptr)
        return;
    button->setText(QString::fromLatin1(caption));
    button->update();
}

/// The marks' line attributes: inverting, width 2, default line type and colour.
void setMarkAttributes(ProgramState &state, ImageView &view)
{
    ui::GRASETATTRLINE(state, &view.presSpace(),
                       ui::LineAttrList{std::nullopt, ui::kMixInvert, 2, 0});
}

/// Two corners from pointer events. A fixed crosshair marks the first corner
/// and a second one follows the pointer.
class CornerMarking {
public:
    CornerMarking(ImageView *view, QAbstractButton *button)
        : m_view(view)
        , m_button(button)
    {}

    /// True once both corners are given.
    bool take(const PointerEvent &event)
    {
        const QPoint at = event.pos;
        if (m_count == 1 && event.kind == PointerEvent::LeftRelease)
            m_releaseCounts = at != m_first; // a release where the first press was does not count
        if (event.kind == PointerEvent::Move && at != m_lastCross) {
            // Drawn as an overlay the moving crosshair cannot cancel the
            // fixed one, so it also follows the pointer onto the first corner.
            m_crossOn = true;
            m_lastCross = at;
            showCrosshairs();
        }
        if (event.kind == PointerEvent::LeftPress ||
            (event.kind == PointerEvent::LeftRelease && m_releaseCounts)) {
            m_corners[size_t(m_count)] = at;
            ++m_count;
            if (m_count == 1) {
                m_first = at;
                setCaption(m_button, kSecondCaption);
                showCrosshairs();
            } else if (m_view != nullptr) {
                m_view->setCrosshairs({}); // the box replaces them
            }
        }
        return m_count >= 2;
    }

    CropCoords corners() const { return m_corners; }

private:
    void showCrosshairs()
    {
        if (m_view == nullptr)
            return;
        QList<QPoint> points;
        if (m_count >= 1)
            points.append(m_first);
        if (m_crossOn && !points.contains(m_lastCross))
            points.append(m_lastCross);
        m_view->setCrosshairs(points);
    }

    QPointer<ImageView> m_view;
    QPointer<QAbstractButton> m_button;
    CropCoords m_corners{QPoint(0, 0), QPoint(0, 0)};
    int m_count = 0;
    QPoint m_lastCross{0, 0};
    QPoint m_first{0, 0};
    bool m_crossOn = false;
    bool m_releaseCounts = false;
};

/// The crop box following the pointer until the left button is released.
class BoxMoving {
public:
    enum Rule { Drag, Stretch };

    BoxMoving(CropCoords &box, Rule rule, ImageView *view, std::optional<QPoint> start)
        : m_box(box)
        , m_rule(rule)
        , m_view(view)
    {
        if (start) {
            m_started = true;
            m_reference = *start;
        }
    }

    /// True at the left release.
    bool take(const PointerEvent &event)
    {
        const bool released = event.kind == PointerEvent::LeftRelease;
        if (!m_started) {
            m_started = true;
            m_reference = event.pos;
            return released;
        }
        const QPoint from = m_reference;
        m_reference = event.pos;
        if (event.pos != from) {
            if (m_rule == Drag)
                dragBy(m_box, from, event.pos);
            else
                stretchBy(m_box, from, event.pos);
            if (m_view != nullptr)
                m_view->setCropBox(m_box);
        }
        return released;
    }

private:
    CropCoords &m_box;
    Rule m_rule;
    QPointer<ImageView> m_view;
    bool m_started = false;
    QPoint m_reference;
};

CropCoords moveBox(ProgramState &state, ImageView *oStat, CropCoords &aCropCoords,
                   BoxMoving::Rule rule, const std::optional<StartingPress> &press)
{
    if (oStat == nullptr)
        return aCropCoords;
    const QPointer<ImageView> view(oStat);
    setMarkAttributes(state, *oStat);
    std::optional<QPoint> start;
    {
        PointerGrab grab(oStat);
        if (press && press->control != nullptr) {
            grab.holdFor(press->control);
            start = press->pos;
        } else {
            grab.holdFor(oStat->canvas());
        }
        BoxMoving moving(aCropCoords, rule, oStat, start);
        grab.run([&](const PointerEvent &event) { return moving.take(event); });
    }
    keepInside(aCropCoords);
    // Shown where it ends, which is what the preview will use.
    if (view != nullptr)
        view->setCropBox(aCropCoords);
    return aCropCoords;
}

} // namespace

CropCoords CONSTRAIN(ProgramState &state, CropCoords &aCrop, double nMinRatio, double nMaxRatio,
                     double nCropRat)
{
    applyProportion(aCrop, nCropRat);
    if (proportionAccepted(aCrop, nMinRatio, nMaxRatio, nCropRat))
        return aCrop;
    if (state.services.dialogs != nullptr)
        state.services.dialogs->msgBox(QStringLiteral("Proportion too extreme!"));
    return noCropMarks();
}

CropCoords Crop(ProgramState &state, ImageView *oStat, QAbstractButton *oXbpCrop, double nCropRat)
{
    if (oStat == nullptr)
        return noCropMarks();
    const QPointer<ImageView> view(oStat);
    const QPointer<QAbstractButton> button(oXbpCrop);
    oStat->show();
    setCaption(button, kFirstCaption);
    setMarkAttributes(state, *oStat);
    oStat->setCropBox(std::nullopt);
    oStat->setCrosshairs({});

    CornerMarking marking(oStat, oXbpCrop);
    bool complete = false;
    {
        PointerGrab grab(oStat);
        complete = grab.run([&](const PointerEvent &event) { return marking.take(event); });
    } // the pointer is free again before any message box

    CropCoords result = noCropMarks();
    if (complete) {
        CropCoords corners = marking.corners();
        NORMCROPS(corners);
        result = CONSTRAIN(state, corners, kMinCropRatio, kMaxCropRatio, nCropRat);
    }
    if (view != nullptr) {
        view->setCrosshairs({});
        // A rejected proportion shows the box of the whole screen box.
        if (complete)
            view->setCropBox(result);
    }
    setCaption(button, kIdleCaption);
    return result;
}

CropCoords DRAGCROPS(ProgramState &state, ImageView *oStat, CropCoords &aCropCoords,
                     std::optional<StartingPress> press)
{
    return moveBox(state, oStat, aCropCoords, BoxMoving::Drag, press);
}

CropCoords STRETCHCROPS(ProgramState &state, ImageView *oStat, CropCoords &aCropCoords,
                        std::optional<StartingPress> press)
{
    return moveBox(state, oStat, aCropCoords, BoxMoving::Stretch, press);
}

bool cropMarkingRunning()
{
    return PointerGrab::active();
}

} // namespace framla::imaging
