// Marking two corners on the source view with real pointer events: both ways
// of marking, presses over other controls, input that must not get through,
// the prompts on the button, the crosshairs and the box left drawn.
#include "core/program_state.h"
#include "imaging/crop.h"
#include "imaging/crop_geometry.h"
#include "imaging/placement.h"
#include "support/scripted_dialogs.h"
#include "tst_crop_support.h"
#include "tst_image_view_support.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace framla;
using namespace framla::test;

namespace {
CropCoords box(int x1, int y1, int x2, int y2)
{
    return {QPoint(x1, y1), QPoint(x2, y2)};
}
} // namespace

class TestCropMarking : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void marking_data();
    void marking();
    void otherInputIsDropped_data();
    void otherInputIsDropped();
    void promptsInOrder();
    void crosshairs();
    void boxStaysAfterRepaint();
    void viewGoneEndsMarking();

private:
    CropCoords crop(CropScene &scene, const PointerScript &script, Route route, double ratio = 0,
                    std::function<void(int)> afterStep = {})
    {
        CropCoords result;
        scene.play(
            script, route,
            [&] { result = imaging::Crop(m_state, scene.view, scene.button, ratio); },
            std::move(afterStep));
        return result;
    }

    ProgramState m_state;
    ScriptedDialogs m_dialogs;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
};

void TestCropMarking::init()
{
    m_state = ProgramState{};
    m_dialogs = ScriptedDialogs{};
    m_state.services.dialogs = &m_dialogs;
    m_dir = std::make_unique<QTemporaryDir>();
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    QVERIFY(writePicture(QStringLiteral("ring.jpg"), QSize(1600, 1200), QColor(220, 0, 0)));
}

void TestCropMarking::cleanup()
{
    QVERIFY(!imaging::cropMarkingRunning());
    QDir::setCurrent(m_previousDir);
}

void TestCropMarking::marking_data()
{
    QTest::addColumn<PointerScript>("script");
    QTest::addColumn<Route>("route");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<CropCoords>("expected");
    QTest::addColumn<QStringList>("messages");

    const QStringList none;
    const QStringList tooExtreme{QStringLiteral("Proportion too extreme!")};
    for (const Route route : {Route::Control, Route::Window}) {
        const char *by = route == Route::Control ? "to the control" : "through the window";
        // The release of the first press, where it was pressed, is no corner.
        QTest::addRow("press, press (%s)", by)
            << PointerScript{press(200, 40), release(200, 40), move(120, 100), press(50, 180),
                             release(50, 180)}
            << route << 0.0 << box(50, 180, 200, 40) << none;
        QTest::addRow("press, drag, release (%s)", by)
            << PointerScript{press(200, 40), move(150, 90), move(50, 180), release(50, 180)}
            << route << 0.0 << box(50, 180, 200, 40) << none;
        // A press over another control counts, in that control's coordinates.
        QTest::addRow("second press over another control (%s)", by)
            << PointerScript{press(200, 40), release(200, 40), press(20, 160, PointerStep::Other),
                             release(20, 160, PointerStep::Other)}
            << route << 0.0 << box(20, 160, 200, 40) << none;
        QTest::addRow("press at the same point twice (%s)", by)
            << PointerScript{press(100, 100), release(100, 100), press(100, 100), release(100, 100)}
            << route << 0.0 << imaging::noCropMarks() << tooExtreme;
    }
    // A quick second click is a press too, however it arrives.
    QTest::addRow("quick second click (to the control)")
        << PointerScript{press(100, 100), release(100, 100), doubleClick(100, 100),
                         release(100, 100)}
        << Route::Control << 0.0 << imaging::noCropMarks() << tooExtreme;
    QTest::addRow("double click (through the window)")
        << PointerScript{doubleClick(100, 100)} << Route::Window << 0.0 << imaging::noCropMarks()
        << tooExtreme;
    // The control pressed on keeps the pointer: a drag that ends over the
    // button still counts in the view's coordinates.
    QTest::addRow("drag ends over the button")
        << PointerScript{press(100, 60),
                         move(200, 200),
                         move(290, 236),
                         {PointerStep::Release, QPoint(300, 246), PointerStep::View}}
        << Route::Window << 0.0 << box(100, 246, 300, 60) << none;
    QTest::addRow("square") << PointerScript{press(10, 200), release(10, 200), press(110, 150),
                                             release(110, 150)}
                            << Route::Control << 1.0 << box(10, 200, 110, 100) << none;
    QTest::addRow("4:3") << PointerScript{press(70, 110), move(40, 150), release(10, 200)}
                         << Route::Control << 0.75 << box(10, 200, 130, 110) << none;
    QTest::addRow("too narrow") << PointerScript{press(10, 200), release(10, 200), press(40, 100),
                                                 release(40, 100)}
                                << Route::Control << 0.0 << imaging::noCropMarks() << tooExtreme;
    QTest::addRow("narrow but within the limit")
        << PointerScript{press(10, 200), release(10, 200), press(43, 100), release(43, 100)}
        << Route::Control << 0.0 << box(10, 200, 43, 100) << none;
}

void TestCropMarking::marking()
{
    QFETCH(PointerScript, script);
    QFETCH(Route, route);
    QFETCH(double, ratio);
    QFETCH(CropCoords, expected);
    QFETCH(QStringList, messages);
    CropScene scene;
    QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
    QSignalSpy clicked(scene.button, &QPushButton::clicked);
    const CropCoords result = crop(scene, script, route, ratio);
    QVERIFY(!scene.timedOut);
    QCOMPARE(result, expected);
    QCOMPARE(m_dialogs.texts(), messages);
    // The box of the result is what the view shows, a refused one included.
    QCOMPARE(scene.view->cropBox(), std::optional<CropCoords>(expected));
    QVERIFY(scene.view->crosshairs().isEmpty());
    QCOMPARE(scene.button->text(), QStringLiteral("Set crop marks"));
    QCOMPARE(clicked.count(), 0);
    // The window follows the pointer again.
    // (a move to where the pointer already is would be no move at all)
    scene.perform({PointerStep::Move, QPoint(50, 50), PointerStep::Other}, Route::Window);
    scene.perform({PointerStep::Move, QPoint(60, 15), PointerStep::Button}, Route::Window);
    QVERIFY(scene.button->underMouse());
}

void TestCropMarking::otherInputIsDropped_data()
{
    QTest::addColumn<PointerScript>("script");
    QTest::addColumn<Route>("route");
    QTest::addColumn<CropCoords>("expected");
    const PointerStep key{PointerStep::Key, {}, PointerStep::View};
    const PointerStep rightPress{PointerStep::RightPress, QPoint(120, 30), PointerStep::View};
    const PointerStep rightRelease{PointerStep::RightRelease, QPoint(120, 30), PointerStep::View};
    for (const Route route : {Route::Control, Route::Window}) {
        const char *by = route == Route::Control ? "to the control" : "through the window";
        QTest::addRow("right button and keys (%s)", by) << PointerScript{rightPress,
                                                                         rightRelease,
                                                                         key,
                                                                         press(30, 200),
                                                                         key,
                                                                         rightPress,
                                                                         rightRelease,
                                                                         release(30, 200),
                                                                         press(130, 90),
                                                                         release(130, 90)}
                                                        << route << box(30, 200, 130, 90);
        // Both presses over the button: corners, not a click.
        QTest::addRow("presses over the button (%s)", by)
            << PointerScript{press(10, 25, PointerStep::Button),
                             release(10, 25, PointerStep::Button),
                             press(40, 5, PointerStep::Button), release(40, 5, PointerStep::Button)}
            << route << box(10, 25, 40, 5);
    }
}

void TestCropMarking::otherInputIsDropped()
{
    QFETCH(PointerScript, script);
    QFETCH(Route, route);
    QFETCH(CropCoords, expected);
    CropScene scene;
    QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
    scene.field->setFocus();
    QSignalSpy clicked(scene.button, &QPushButton::clicked);
    QCOMPARE(crop(scene, script, route), expected);
    QVERIFY(!scene.timedOut);
    QCOMPARE(clicked.count(), 0);
    QCOMPARE(scene.field->text(), QString());
    // Afterwards the window reacts again.
    QTest::keyClick(scene.field, Qt::Key_Y);
    QCOMPARE(scene.field->text(), QStringLiteral("y"));
    QTest::mouseClick(scene.button, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
}

void TestCropMarking::promptsInOrder()
{
    CropScene scene;
    QStringList captions;
    QList<bool> running;
    const PointerScript script{move(10, 10), press(200, 40), release(200, 40),
                               move(60, 60), press(50, 180), release(50, 180)};
    crop(scene, script, Route::Control, 0, [&](int) {
        captions.append(scene.button->text());
        running.append(imaging::cropMarkingRunning());
    });
    captions.append(scene.button->text());
    // The caption is restored once the routine has finished its work.
    QCOMPARE(captions,
             (QStringList{"Click a corner", "Opposite corner", "Opposite corner", "Opposite corner",
                          "Opposite corner", "Opposite corner", "Set crop marks"}));
    // The routine holds the pointer until it has returned.
    QCOMPARE(running, (QList<bool>{true, true, true, true, true, true}));
}

void TestCropMarking::crosshairs()
{
    CropScene scene;
    QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
    imaging::HangPicture(m_state, QStringLiteral("ring.jpg"), scene.view, QStringLiteral("S"));
    const QImage picture = scene.view->surface();
    QList<QList<QPoint>> seen;
    QList<QImage> shown;
    const PointerScript script{move(40, 50),   move(200, 40), press(200, 40), release(200, 40),
                               move(120, 100), move(200, 40), press(50, 180), release(50, 180)};
    const CropCoords result = crop(scene, script, Route::Window, 0, [&](int step) {
        seen.append(scene.view->crosshairs());
        if (step == 4)
            shown.append(scene.view->canvas()->grab().toImage());
    });
    QCOMPARE(result, box(50, 180, 200, 40));
    const QList<QList<QPoint>> expected{
        {QPoint(40, 50)},
        {QPoint(200, 40)},
        {QPoint(200, 40)}, // the first corner: a fixed crosshair, the moving one on it
        {QPoint(200, 40)},
        {QPoint(200, 40), QPoint(120, 100)},
        {QPoint(200, 40)}, // back onto the first corner
        {},
        {}};
    QCOMPARE(seen, expected);
    // Painted over the picture: the lines through (120, 100) show, the
    // picture beneath them is unchanged and was not drawn again.
    QCOMPARE(shown.size(), 1);
    const QImage marked = shown.first();
    const QPoint onVertical = CropScene::qtPos(scene.view->canvas(), QPoint(120, 150));
    const QPoint offLines = CropScene::qtPos(scene.view->canvas(), QPoint(160, 150));
    QVERIFY(!near(marked.pixelColor(onVertical), QColor(220, 0, 0), 60));
    QVERIFY(near(marked.pixelColor(offLines), QColor(220, 0, 0)));
    QCOMPARE(scene.view->surface().cacheKey(), picture.cacheKey());
}

void TestCropMarking::boxStaysAfterRepaint()
{
    CropScene scene;
    QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
    imaging::HangPicture(m_state, QStringLiteral("ring.jpg"), scene.view, QStringLiteral("S"));
    crop(scene, {press(50, 180), move(120, 100), release(200, 40)}, Route::Control);
    scene.window.hide();
    scene.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
    scene.view->canvas()->repaint();
    const QImage shown = scene.view->canvas()->grab().toImage();
    // The left edge of the box at x 50, from y 40 to 180, in dark and light.
    int marked = 0;
    for (int y = 45; y < 175; ++y) {
        const QColor edge = shown.pixelColor(CropScene::qtPos(scene.view->canvas(), {50, y}));
        marked += (near(edge, Qt::black) || near(edge, Qt::white)) ? 1 : 0;
    }
    QCOMPARE(marked, 130);
    QVERIFY(near(shown.pixelColor(CropScene::qtPos(scene.view->canvas(), {100, 100})),
                 QColor(220, 0, 0)));
}

void TestCropMarking::viewGoneEndsMarking()
{
    CropScene scene;
    // Only one corner, then the view goes away: the routine ends with no marks.
    CropCoords result = box(1, 2, 3, 4);
    scene.play({press(200, 40), release(200, 40)}, Route::Control, [&] {
        QTimer::singleShot(50, scene.button, [&] { delete scene.view; });
        result = imaging::Crop(m_state, scene.view, scene.button, 0);
    });
    QVERIFY(!scene.timedOut);
    QCOMPARE(result, imaging::noCropMarks());
    QCOMPARE(scene.button->text(), QStringLiteral("Set crop marks"));
}

QTEST_MAIN(TestCropMarking)
#include "tst_crop_marking.moc"
