// Dragging and stretching the crop box with real pointer events: the box
// follows the pointer, is kept inside the view, and the picture under it is
// never drawn again while the pointer moves.
#include "core/program_state.h"
#include "imaging/crop.h"
#include "imaging/placement.h"
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

enum Rule { Drag, Stretch };
} // namespace

Q_DECLARE_METATYPE(Rule)

class TestCropMoving : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void moving_data();
    void moving();
    void boxFollowsPointer();
    void motionRepaintsOnly();

private:
    /// Presses where the caller's handler would have taken the press, then
    /// runs the routine with the script.
    CropCoords run(CropScene &scene, Rule rule, CropCoords given, QPoint pressAt, bool tellPress,
                   const PointerScript &script, Route route,
                   std::function<void(int)> afterStep = {})
    {
        const PointerStep pressed = press(pressAt.x(), pressAt.y());
        scene.perform(pressed, route); // delivered as usual: no routine runs yet
        std::optional<imaging::StartingPress> start;
        if (tellPress)
            start = imaging::StartingPress{scene.view->canvas(), pressAt};
        CropCoords coords = given;
        CropCoords returned;
        scene.play(
            script, route,
            [&] {
                returned = rule == Drag ? imaging::DRAGCROPS(m_state, scene.view, coords, start)
                                        : imaging::STRETCHCROPS(m_state, scene.view, coords, start);
            },
            std::move(afterStep));
        if (returned != coords)
            qWarning("the array changed in place differs from the one returned");
        return returned == coords ? coords : CropCoords{};
    }

    ProgramState m_state;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
};

void TestCropMoving::init()
{
    m_state = ProgramState{};
    m_dir = std::make_unique<QTemporaryDir>();
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestCropMoving::cleanup()
{
    QVERIFY(!imaging::cropMarkingRunning());
    QDir::setCurrent(m_previousDir);
}

void TestCropMoving::moving_data()
{
    QTest::addColumn<Rule>("rule");
    QTest::addColumn<CropCoords>("given");
    QTest::addColumn<QPoint>("pressAt");
    QTest::addColumn<bool>("tellPress");
    QTest::addColumn<PointerScript>("script");
    QTest::addColumn<Route>("route");
    QTest::addColumn<CropCoords>("expected");

    const CropCoords marks = box(50, 200, 150, 100);
    for (const Route route : {Route::Control, Route::Window}) {
        const char *by = route == Route::Control ? "to the control" : "through the window";
        QTest::addRow("drag (%s)", by)
            << Drag << marks << QPoint(100, 150) << true
            << PointerScript{move(90, 155), move(80, 160), release(80, 160)} << route
            << box(30, 210, 130, 110);
        QTest::addRow("stretch 5 from the left edge (%s)", by)
            << Stretch << marks << QPoint(45, 150) << true
            << PointerScript{move(40, 150), release(35, 150)} << route << box(40, 200, 150, 100);
        QTest::addRow("stretch 6 from the left edge (%s)", by)
            << Stretch << marks << QPoint(44, 150) << true
            << PointerScript{move(40, 150), release(35, 150)} << route << marks;
    }
    // Without the starting press the first event read is the reference: the
    // pointer's travel up to it is lost, and an edge is judged from there.
    QTest::addRow("drag, press not told")
        << Drag << marks << QPoint(100, 150) << false
        << PointerScript{move(90, 155), move(80, 160), release(80, 160)} << Route::Control
        << box(40, 205, 140, 105);
    QTest::addRow("stretch, press not told")
        << Stretch << marks << QPoint(45, 150) << false
        << PointerScript{move(38, 150), release(35, 150)} << Route::Control << marks;
    // A press followed at once by the release moves nothing, but the box is
    // still kept inside the view.
    QTest::addRow("press and release at once")
        << Drag << marks << QPoint(100, 150) << false << PointerScript{release(100, 150)}
        << Route::Control << marks;
    QTest::addRow("press and release at once, box outside")
        << Drag << box(-5, 200, 95, 100) << QPoint(60, 150) << true
        << PointerScript{release(60, 150)} << Route::Control << box(1, 200, 101, 100);
    QTest::addRow("dragged past the left border")
        << Drag << box(10, 200, 110, 100) << QPoint(60, 150) << true
        << PointerScript{move(50, 150), release(45, 150)} << Route::Control
        << box(1, 200, 101, 100);
    QTest::addRow("dragged past the top border")
        << Drag << box(10, 200, 110, 100) << QPoint(60, 150) << true
        << PointerScript{move(60, 190), release(60, 210)} << Route::Control
        << box(10, 256, 110, 156);
    // The view keeps the pointer while the button is down, also over the label.
    QTest::addRow("dragged out over the label")
        << Drag << box(200, 200, 260, 100) << QPoint(230, 150) << true
        << PointerScript{move(260, 150), move(300, 150), release(300, 150)} << Route::Window
        << box(218, 200, 278, 100);
    QTest::addRow("stretched past the right border")
        << Stretch << box(200, 200, 270, 100) << QPoint(270, 150) << true
        << PointerScript{move(280, 150), move(290, 150), release(290, 150)} << Route::Window
        << box(188, 200, 278, 100);
    QTest::addRow("stretched past the opposite edge")
        << Stretch << marks << QPoint(50, 150) << true
        << PointerScript{move(120, 150), move(200, 150), release(200, 150)} << Route::Control
        << box(200, 200, 150, 100);
    QTest::addRow("narrow box: both edges move")
        << Stretch << box(100, 200, 110, 100) << QPoint(105, 150) << true
        << PointerScript{move(120, 150), release(120, 150)} << Route::Control
        << box(115, 200, 125, 100);
}

void TestCropMoving::moving()
{
    QFETCH(Rule, rule);
    QFETCH(CropCoords, given);
    QFETCH(QPoint, pressAt);
    QFETCH(bool, tellPress);
    QFETCH(PointerScript, script);
    QFETCH(Route, route);
    QFETCH(CropCoords, expected);
    CropScene scene;
    QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
    scene.view->setCropBox(given);
    QSignalSpy clicked(scene.button, &QPushButton::clicked);
    const CropCoords result = run(scene, rule, given, pressAt, tellPress, script, route);
    QVERIFY(!scene.timedOut);
    QCOMPARE(result, expected);
    // Shown where it ends, inside the view.
    QCOMPARE(scene.view->cropBox(), std::optional<CropCoords>(expected));
    // The window is its own again: the pointer over the button is over it,
    // and a click on the button clicks it.
    if (route == Route::Window) {
        // (a move to where the pointer already is would be no move at all)
        scene.perform({PointerStep::Move, QPoint(50, 50), PointerStep::Other}, route);
        scene.perform({PointerStep::Move, QPoint(60, 15), PointerStep::Button}, route);
        QVERIFY(scene.button->underMouse());
    }
    scene.perform({PointerStep::Press, QPoint(50, 15), PointerStep::Button}, route);
    scene.perform({PointerStep::Release, QPoint(50, 15), PointerStep::Button}, route);
    QCOMPARE(clicked.count(), 1);
}

void TestCropMoving::boxFollowsPointer()
{
    CropScene scene;
    QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
    QList<std::optional<CropCoords>> seen;
    const PointerScript script{move(100, 150), move(80, 150), move(80, 150), move(-20, 150),
                               release(-20, 150)};
    const CropCoords result =
        run(scene, Drag, box(50, 200, 150, 100), QPoint(100, 150), true, script, Route::Control,
            [&](int) { seen.append(scene.view->cropBox()); });
    // No move, a move, no move, a move out of the view (not kept inside while
    // the button is down), then the release.
    const QList<std::optional<CropCoords>> expected{std::nullopt, box(30, 200, 130, 100),
                                                    box(30, 200, 130, 100), box(-70, 200, 30, 100),
                                                    box(-70, 200, 30, 100)};
    QCOMPARE(seen, expected);
    QCOMPARE(result, box(1, 200, 101, 100));
}

void TestCropMoving::motionRepaintsOnly()
{
    // A photo as a camera takes it; the view holds a copy scaled to fit.
    QVERIFY(writePicture(QStringLiteral("camera.jpg"), QSize(3000, 2000), QColor(0, 0, 220)));
    CropScene scene;
    QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
    imaging::HangPicture(m_state, QStringLiteral("camera.jpg"), scene.view, QStringLiteral("S"));
    const QImage picture = scene.view->surface();
    const qsizetype held = scene.view->bitmapBytes();
    PointerScript script;
    for (int step = 1; step <= 40; ++step)
        script.append(move(100 - step, 150 + step / 2));
    script.append(release(60, 170));
    int painted = 0;
    const CropCoords result = run(scene, Drag, box(50, 200, 150, 100), QPoint(100, 150), true,
                                  script, Route::Control, [&](int) {
                                      // Let every step reach the screen, as it would between two
                                      // motions.
                                      scene.view->canvas()->repaint();
                                      ++painted;
                                  });
    QCOMPARE(painted, 41);
    QCOMPARE(result, box(10, 220, 110, 120));
    // The picture was neither drawn again nor decoded again.
    QCOMPARE(scene.view->surface().cacheKey(), picture.cacheKey());
    QCOMPARE(scene.view->bitmapBytes(), held);
    const QImage shown = scene.view->canvas()->grab().toImage();
    const QPoint onLeftEdge = CropScene::qtPos(scene.view->canvas(), QPoint(10, 170));
    const QPoint inside = CropScene::qtPos(scene.view->canvas(), QPoint(60, 170));
    QVERIFY(!near(shown.pixelColor(onLeftEdge), QColor(0, 0, 220), 60));
    QVERIFY(near(shown.pixelColor(inside), QColor(0, 0, 220)));
}

QTEST_MAIN(TestCropMoving)
#include "tst_crop_moving.moc"
