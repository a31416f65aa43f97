#pragma once

// A small window for the crop marking tests: the source view, the "Set crop
// marks" button, a label and a text field beside it; and pointer scripts that
// run while a marking routine holds the pointer.

#include "imaging/image_view.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace framla::test {

/// One pointer or key action of a script. Positions are in the target
/// control's coordinates with y upward, as the marking routines read them.
struct PointerStep {
    /// DoubleClick: sent to the control, the double-click event a control
    /// gets for a quick second click; through the window, two quick clicks.
    enum Action { Press, Release, Move, RightPress, RightRelease, Key, DoubleClick };
    enum Target { View, Other, Button };
    Action action = Move;
    QPoint pos;
    Target target = View;
};
using PointerScript = QList<PointerStep>;

inline PointerStep press(int x, int y, PointerStep::Target on = PointerStep::View)
{
    return {PointerStep::Press, QPoint(x, y), on};
}
inline PointerStep release(int x, int y, PointerStep::Target on = PointerStep::View)
{
    return {PointerStep::Release, QPoint(x, y), on};
}
inline PointerStep doubleClick(int x, int y, PointerStep::Target on = PointerStep::View)
{
    return {PointerStep::DoubleClick, QPoint(x, y), on};
}
inline PointerStep move(int x, int y, PointerStep::Target on = PointerStep::View)
{
    return {PointerStep::Move, QPoint(x, y), on};
}

/// How the events reach the program: sent to the control itself, or handed
/// to its window as the window system does, which then finds the control.
enum class Route { Control, Window };

class CropScene {
public:
    CropScene()
    {
        window.resize(420, 300);
        view = new imaging::ImageView(&window);
        view->setGeometry(10, 10, 278, 256);
        button = new QPushButton(QStringLiteral("Set crop marks"), &window);
        button->setGeometry(300, 10, 110, 30);
        other = new QLabel(QStringLiteral("Pending image:"), &window);
        other->setGeometry(300, 60, 100, 200);
        field = new QLineEdit(&window);
        field->setGeometry(300, 266, 110, 24);
        window.show();
    }

    QWidget *widget(PointerStep::Target target) const
    {
        switch (target) {
        case PointerStep::Other:
            return other;
        case PointerStep::Button:
            return button;
        case PointerStep::View:
            break;
        }
        return view->canvas();
    }

    /// A y-upward position on a control as Qt counts it on that control.
    static QPoint qtPos(QWidget *control, QPoint pos)
    {
        return {pos.x(), control->height() - pos.y()};
    }

    void perform(const PointerStep &step, Route route)
    {
        QWidget *control = widget(step.target);
        const QPoint at = qtPos(control, step.pos);
        if (step.action == PointerStep::Key) {
            QTest::keyClick(field, Qt::Key_X);
            return;
        }
        const Qt::MouseButton button =
            (step.action == PointerStep::RightPress || step.action == PointerStep::RightRelease)
                ? Qt::RightButton
                : Qt::LeftButton;
        if (route == Route::Window) {
            QWindow *handle = window.windowHandle();
            const QPoint inWindow = control->mapTo(&window, at);
            switch (step.action) {
            case PointerStep::DoubleClick:
                QTest::mouseDClick(handle, button, {}, inWindow);
                break;
            case PointerStep::Press:
            case PointerStep::RightPress:
                QTest::mousePress(handle, button, {}, inWindow);
                break;
            case PointerStep::Release:
            case PointerStep::RightRelease:
                QTest::mouseRelease(handle, button, {}, inWindow);
                break;
            default:
                QTest::mouseMove(handle, inWindow);
                break;
            }
            return;
        }
        switch (step.action) {
        case PointerStep::DoubleClick:
            QTest::mouseDClick(control, button, {}, at);
            break;
        case PointerStep::Press:
        case PointerStep::RightPress:
            QTest::mousePress(control, button, {}, at);
            break;
        case PointerStep::Release:
        case PointerStep::RightRelease:
            QTest::mouseRelease(control, button, {}, at);
            break;
        default: {
            // Sent to the control itself, with whatever buttons are down.
            QMouseEvent motion(QEvent::MouseMove, at, control->mapToGlobal(at), Qt::NoButton,
                               QGuiApplication::mouseButtons(), Qt::NoModifier);
            QApplication::sendEvent(control, &motion);
            break;
        }
        }
    }

    /// Plays the script from the event loop of the routine that `routine`
    /// starts, then lets the routine return. After each step, `afterStep`
    /// may record what it needs. A routine still running 10 seconds later
    /// loses its view, which ends it, and the scene counts as broken.
    template<typename Routine>
    void play(const PointerScript &script, Route route, Routine routine,
              std::function<void(int)> afterStep = {})
    {
        QObject context;
        QTimer::singleShot(0, &context, [&] {
            for (int i = 0; i < script.size(); ++i) {
                perform(script.at(i), route);
                if (afterStep)
                    afterStep(i);
            }
        });
        QTimer::singleShot(10000, &context, [&] {
            timedOut = true;
            delete view;
        });
        routine();
    }

    QWidget window;
    QPointer<imaging::ImageView> view;
    QPushButton *button = nullptr;
    QLabel *other = nullptr;
    QLineEdit *field = nullptr;
    bool timedOut = false;
};

} // namespace framla::test

namespace QTest {
/// Crop rectangles in failure messages: {{x1, y1}, {x2, y2}}.
template<> inline char *toString(const framla::CropCoords &coords)
{
    return qstrdup(QStringLiteral("{{%1, %2}, {%3, %4}}")
                       .arg(coords[0].x())
                       .arg(coords[0].y())
                       .arg(coords[1].x())
                       .arg(coords[1].y())
                       .toLatin1()
                       .constData());
}
} // namespace QTest

Q_DECLARE_METATYPE(framla::test::PointerScript)
Q_DECLARE_METATYPE(framla::test::Route)
