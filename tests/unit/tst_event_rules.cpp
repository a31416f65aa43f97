// The rules of the per-event chain: which buttons are enabled after an
// event, and which inline handler an event calls for.
#include "app/event_rules.h"
#include "core/program_state.h"

#include <QTest>

using namespace framla;
using app::ChainControl;
using app::ChainEvent;
using app::ChainInput;
using app::EnabledState;
using app::InlineHandler;

Q_DECLARE_METATYPE(EnabledState)
Q_DECLARE_METATYPE(ChainEvent)
Q_DECLARE_METATYPE(InlineHandler)
Q_DECLARE_METATYPE(CropCoords)

namespace {
constexpr bool T = true, F = false;
const CropCoords kNoMarks{QPoint{0, 0}, QPoint{274, 252}};
const CropCoords kMarks{QPoint{100, 80}, QPoint{40, 20}}; // corners in either order
} // namespace

class TestEventRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void enabled_data();
    void enabled();
    void handler_data();
    void handler();
};

void TestEventRules::enabled_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ok2Put");
    QTest::addColumn<bool>("ok2DelSrc");
    QTest::addColumn<bool>("ok2DelTarg");
    QTest::addColumn<bool>("preview");
    QTest::addColumn<EnabledState>("expected");
    //                                  file       name      put delS delT prev   put delSrc rotate
    //                                  delTarg copy
    QTest::newRow("nothing yet") << ""
                                 << "noname" << F << F << F << F << EnabledState{F, F, F, F, F};
    QTest::newRow("all allowed") << "/p/a.jpg"
                                 << "AB12345" << T << T << T << T << EnabledState{T, T, T, T, T};
    QTest::newRow("no source") << ""
                               << "AB12345" << T << T << T << F << EnabledState{F, F, F, T, F};
    QTest::newRow("no name") << "/p/a.jpg"
                             << "" << T << F << F << F << EnabledState{F, F, F, F, F};
    QTest::newRow("put refused") << "/p/a.jpg"
                                 << "AB12345" << F << T << F << T << EnabledState{F, T, T, F, T};
    QTest::newRow("source fixed") << "/p/a.jpg"
                                  << "AB12345" << T << F << T << F << EnabledState{T, F, F, T, F};
    QTest::newRow("only preview") << ""
                                  << "" << F << T << F << T << EnabledState{F, F, F, F, T};
}

void TestEventRules::enabled()
{
    QFETCH(QString, file);
    QFETCH(QString, name);
    QFETCH(bool, ok2Put);
    QFETCH(bool, ok2DelSrc);
    QFETCH(bool, ok2DelTarg);
    QFETCH(bool, preview);
    QFETCH(EnabledState, expected);
    ProgramState state;
    state.cFilename = file;
    state.cName = name;
    state.lOk2Put = ok2Put;
    state.lOk2DelSrc = ok2DelSrc;
    state.lOk2DelTarg = ok2DelTarg;
    state.previewExists = preview;
    const EnabledState got = app::enabledControls(state);
    QCOMPARE(got.put, expected.put);
    QCOMPARE(got.delSrc, expected.delSrc);
    QCOMPARE(got.rotate, expected.rotate);
    QCOMPARE(got.delTarg, expected.delTarg);
    QCOMPARE(got.copy, expected.copy);
}

void TestEventRules::handler_data()
{
    QTest::addColumn<ChainEvent>("event");
    QTest::addColumn<int>("mode"); // 0 Inventory, 1 Cust/Sup, 2 Repairs
    QTest::addColumn<CropCoords>("crop");
    QTest::addColumn<InlineHandler>("expected");
    using enum InlineHandler;
    const auto key = [](ChainControl c, bool enter) {
        return ChainEvent{ChainInput::Key, c, enter, {}};
    };
    const auto left = [](ChainControl c, QPoint p = {}) {
        return ChainEvent{ChainInput::LeftPress, c, false, p};
    };
    const auto right = [](ChainControl c, QPoint p = {}) {
        return ChainEvent{ChainInput::RightPress, c, false, p};
    };
    const ChainControl S = ChainControl::Static;

    QTest::newRow("right press on a picture") << right(S, {70, 50}) << 0 << kMarks << UndoCropping;
    QTest::newRow("right press, no marks") << right(S) << 0 << kNoMarks << UndoCropping;
    QTest::newRow("left on the left edge") << left(S, {45, 50}) << 0 << kMarks << StretchCrop;
    QTest::newRow("left 6 from the edge, inside") << left(S, {46, 50}) << 0 << kMarks << DragCrop;
    QTest::newRow("left near the top line, far outside")
        << left(S, {250, 84}) << 0 << kMarks << StretchCrop;
    QTest::newRow("left inside the box") << left(S, {70, 50}) << 0 << kMarks << DragCrop;
    QTest::newRow("left outside the box") << left(S, {200, 200}) << 0 << kMarks << Refresh;
    QTest::newRow("left near an edge, no marks") << left(S, {2, 2}) << 0 << kNoMarks << Refresh;
    QTest::newRow("first corner x 0: no marks")
        << left(S, {10, 50}) << 0 << CropCoords{QPoint{0, 20}, QPoint{100, 80}} << Refresh;
    // A 4:3 box keeps the fraction of its bottom edge, 124.25.
    const CropCoords fourThree{QPointF{10, 200}, QPointF{111, 124.25}};
    QTest::newRow("left 5.75 from a fractional edge, inside")
        << left(S, {60, 130}) << 0 << fourThree << StretchCrop;
    QTest::newRow("left 6.25 from a fractional edge, outside")
        << left(S, {60, 118}) << 0 << fourThree << Refresh;
    QTest::newRow("key on a picture") << key(S, true) << 0 << kMarks << None;
    QTest::newRow("Enter in the code field")
        << key(ChainControl::CodeField, true) << 0 << kNoMarks << LookUpCode;
    QTest::newRow("a letter in the code field")
        << key(ChainControl::CodeField, false) << 0 << kNoMarks << None;
    QTest::newRow("left press in the code field")
        << left(ChainControl::CodeField) << 1 << kNoMarks << None;
    QTest::newRow("Enter in the name, Cust/Sup")
        << key(ChainControl::TargetName, true) << 1 << kNoMarks << LookUpName;
    QTest::newRow("a letter in the name, Cust/Sup")
        << key(ChainControl::TargetName, false) << 1 << kNoMarks << None;
    QTest::newRow("Enter in the name, Inventory")
        << key(ChainControl::TargetName, true) << 0 << kNoMarks << NormaliseTargetName;
    QTest::newRow("Enter in the name, Repairs")
        << key(ChainControl::TargetName, true) << 2 << kNoMarks << NormaliseTargetName;
    QTest::newRow("a letter in the name, Repairs")
        << key(ChainControl::TargetName, false) << 2 << kNoMarks << TargetNameTyped;
    QTest::newRow("left press in the name, Inventory")
        << left(ChainControl::TargetName) << 0 << kNoMarks << None;
    QTest::newRow("Enter on Find")
        << key(ChainControl::FindButton, true) << 0 << kNoMarks << ChooseSource;
    QTest::newRow("space on Find") << key(ChainControl::FindButton, false) << 0 << kNoMarks << None;
    QTest::newRow("left press on Find") << left(ChainControl::FindButton) << 0 << kNoMarks << None;
    QTest::newRow("Enter in the file field")
        << key(ChainControl::SourceField, true) << 1 << kNoMarks << LoadTypedSource;
    QTest::newRow("Enter in a settings field")
        << key(ChainControl::SettingsField, true) << 2 << kNoMarks << TestAndSave;
    QTest::newRow("a digit in a settings field")
        << key(ChainControl::SettingsField, false) << 0 << kNoMarks << None;
    QTest::newRow("Enter elsewhere") << key(ChainControl::Other, true) << 0 << kNoMarks << None;
    QTest::newRow("motion over a picture")
        << ChainEvent{ChainInput::Other, S, false, {70, 50}} << 0 << kMarks << None;
}

void TestEventRules::handler()
{
    QFETCH(ChainEvent, event);
    QFETCH(int, mode);
    QFETCH(CropCoords, crop);
    QFETCH(InlineHandler, expected);
    ProgramState state;
    state.lInventory = mode == 0;
    state.lOrders = mode == 2;
    state.aCropCoords = crop;
    QCOMPARE(app::firstInlineHandler(event, state), expected);
}

QTEST_APPLESS_MAIN(TestEventRules)
#include "tst_event_rules.moc"
