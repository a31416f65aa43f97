#include "event_chain.h"

#include "app/main_window.h"
#include "imaging/crop.h"
#include "imaging/geometry.h"
#include "imaging/image_view.h"
#include "runtime/application.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QWheelEvent>

namespace framla::app {

namespace {

bool isEnterKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool isSpinKey(int key)
{
    return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
           key == Qt::Key_PageDown;
}

void setEnabledIfChanged(QWidget *widget, bool enabled)
{
    if (widget != nullptr && widget->isEnabled() != enabled)
        widget->setEnabled(enabled);
}

} // namespace

EventChain::EventChain(ProgramState &state, MainWindow &window)
    : m_state(state)
    , m_window(window)
{}

EventChain::~EventChain()
{
    if (!m_installed)
        return;
    if (auto *app = qobject_cast<runtime::FramlaApplication *>(QCoreApplication::instance()))
        app->setEventChain({});
}

void EventChain::install()
{
    auto *app = qobject_cast<runtime::FramlaApplication *>(QCoreApplication::instance());
    if (app == nullptr)
        return;
    app->setEventChain([this](QObject *receiver, QEvent *event) { handle(receiver, event); });
    m_installed = true;
}

void EventChain::setImageTabActions(ImageTabActions *actions)
{
    m_imageActions = actions != nullptr ? actions : &m_noImageActions;
}

void EventChain::setSettingsActions(SettingsActions *actions)
{
    m_settingsActions = actions != nullptr ? actions : &m_noSettingsActions;
}

void EventChain::handle(QObject *receiver, QEvent *event)
{
    // Before the pages' controls are collected there is nothing to look
    // after; they are collected all at once, after every control exists.
    if (m_window.imageTab().oXbpPut == nullptr || event == nullptr)
        return;

    if (!enabledControls(m_state).put)
        setEnabledIfChanged(m_window.imageTab().oXbpPut, false);

    // While the crop marks are being set, the pointer belongs to that routine.
    const bool marking = imaging::cropMarkingRunning();
    const QEvent::Type type = event->type();
    if (!marking && (type == QEvent::KeyPress || type == QEvent::MouseButtonPress)) {
        const ChainEvent described = describe(receiver, event);
        runInline(firstInlineHandler(described, m_state), receiver, described);
    }

    applyEnabledState();
    clampSpins();
    // The preview follows the values as clamped just now: a spin past 9
    // prepares with 9.
    if (!marking && spinEnded(receiver, event))
        m_imageActions->adjusted();
}

ChainControl EventChain::controlOf(QObject *receiver) const
{
    const ImageTabControls &image = m_window.imageTab();
    const SettingsTabControls &settings = m_window.settingsTab();
    if (receiver == image.oXbpGetCd)
        return ChainControl::CodeField;
    if (receiver == image.oXbpTargName)
        return ChainControl::TargetName;
    if (receiver == image.oXbpBrowse)
        return ChainControl::FindButton;
    if (receiver == image.oXbpImageFile)
        return ChainControl::SourceField;
    for (const QObject *field :
         {static_cast<QObject *>(settings.oXbpAddress), static_cast<QObject *>(settings.oXbpPort),
          static_cast<QObject *>(settings.oXbpPath), static_cast<QObject *>(settings.oXbpUser),
          static_cast<QObject *>(settings.oXbpPass), static_cast<QObject *>(settings.oXbpSave)}) {
        if (receiver == field)
            return ChainControl::SettingsField;
    }
    if (receiver == image.oStat->canvas() || receiver == image.oStat2->canvas() ||
        qobject_cast<QLabel *>(receiver) != nullptr)
        return ChainControl::Static;
    return ChainControl::Other;
}

ChainEvent EventChain::describe(QObject *receiver, QEvent *event) const
{
    ChainEvent described;
    if (event->type() == QEvent::KeyPress) {
        described.input = ChainInput::Key;
        described.enter = isEnterKey(static_cast<QKeyEvent *>(event)->key());
    } else {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        described.input = mouse->button() == Qt::LeftButton    ? ChainInput::LeftPress
                          : mouse->button() == Qt::RightButton ? ChainInput::RightPress
                                                               : ChainInput::Other;
        if (const auto *widget = qobject_cast<QWidget *>(receiver))
            described.pos = imaging::toView(mouse->position().toPoint(), widget->height());
    }
    described.control =
        described.input == ChainInput::Other ? ChainControl::Other : controlOf(receiver);
    return described;
}

void EventChain::runInline(InlineHandler handler, QObject *receiver, const ChainEvent &event)
{
    ImageTabActions &image = *m_imageActions;
    const imaging::StartingPress press{qobject_cast<QWidget *>(receiver), event.pos};
    switch (handler) {
    case InlineHandler::None:
        return;
    case InlineHandler::UndoCropping:
        return image.undoCropping();
    case InlineHandler::StretchCrop:
        return image.stretchCrop(press);
    case InlineHandler::DragCrop:
        return image.dragCrop(press);
    case InlineHandler::Refresh:
        return image.refreshPictures();
    case InlineHandler::LookUpCode:
        return image.lookUpCode();
    case InlineHandler::LookUpName:
        return image.lookUpName();
    case InlineHandler::ChooseSource:
        return image.chooseSource();
    case InlineHandler::LoadTypedSource:
        return image.loadTypedSource();
    case InlineHandler::NormaliseTargetName:
        return image.normaliseTargetName();
    case InlineHandler::TargetNameTyped:
        return image.targetNameTyped();
    case InlineHandler::TestAndSave:
        return m_settingsActions->testAndSaveFromEnter();
    }
}

void EventChain::applyEnabledState()
{
    const ImageTabControls &image = m_window.imageTab();
    const EnabledState enabled = enabledControls(m_state);
    setEnabledIfChanged(image.oXbpDelSrc, enabled.delSrc);
    setEnabledIfChanged(image.oXbpRotate, enabled.rotate);
    setEnabledIfChanged(image.oXbpDelTarg, enabled.delTarg);
    setEnabledIfChanged(image.oXbpCpTarg, enabled.copy);
}

void EventChain::clampSpins()
{
    const ImageTabControls &image = m_window.imageTab();
    for (QSpinBox *spin : {image.oXbpBright, image.oXbpGamma, image.oXbpContrast}) {
        if (const int value = spin->value(); value != clampSpin(value))
            spin->setValue(clampSpin(value));
    }
}

QSpinBox *EventChain::spinOf(QObject *receiver) const
{
    const ImageTabControls &image = m_window.imageTab();
    for (QSpinBox *spin : {image.oXbpBright, image.oXbpGamma, image.oXbpContrast}) {
        // Keys may reach the spin button's own text field first.
        if (receiver == spin || (receiver != nullptr && receiver->parent() == spin))
            return spin;
    }
    return nullptr;
}

bool EventChain::spinEnded(QObject *receiver, QEvent *event) const
{
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
        // Only the spin button itself: its text field is the child.
        return static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton &&
               spinOf(receiver) == receiver && receiver != nullptr;
    case QEvent::KeyRelease: {
        const auto *key = static_cast<QKeyEvent *>(event);
        return !key->isAutoRepeat() && isSpinKey(key->key()) && spinOf(receiver) != nullptr;
    }
    case QEvent::Wheel: {
        const Qt::ScrollPhase phase = static_cast<QWheelEvent *>(event)->phase();
        return (phase == Qt::NoScrollPhase || phase == Qt::ScrollEnd) &&
               spinOf(receiver) != nullptr;
    }
    default:
        return false;
    }
}

} // namespace framla::app
