// The dual-thumb track bar: its geometry as pure functions, its picture read back pixel by
// pixel, and the real widget driven with mouse and keys.
#include <memory>
#include <stdexcept>

#include <QTest>

#include "ScriptedDialogs.h"
#include "controls/TrackBar2.h"
#include "platform/qt/Application.h"

using namespace sundral;

Q_DECLARE_METATYPE(sundral::TOrientation)
Q_DECLARE_METATYPE(sundral::TThumbStyle)
Q_DECLARE_METATYPE(sundral::TPressAction)

namespace {

// The main window's selection bar: 496 x 50, thumbs 12 (pictures 6 x 12), track x 6..490.
std::unique_ptr<TTrackBar2> MainBar(int L = 10, int U = 40) {
    auto bar = std::make_unique<TTrackBar2>();
    bar->resize(496, 50);
    bar->SetMax(50);
    bar->SetTrackCenterColor(QColor(0x00, 0x80, 0x00));
    bar->SetTickSize(2);
    bar->SetTickColor(Qt::black);
    bar->SetPositionU(50);
    bar->SetThumbSize(12);
    bar->SetSecondThumb(true);
    bar->SetPositionL(L);
    bar->SetPositionU(U);
    bar->show();
    if (!QTest::qWaitForWindowExposed(bar.get())) return nullptr;
    return bar;
}

TTrackGeometry Geometry(QSize Size, TOrientation Orientation, TThumbStyle Style, int ThumbSize,
                        int Min, int Max) {
    const TThumbShape shape =
        ThumbShapeFor(Style, Orientation, TTickOrientation::toBoth, ThumbSize);
    return ComputeGeometry(Size, Orientation, shape, 10, Min, Max);
}

QRgb Xor(QRgb Colour, QRgb With) {
    return 0xFF000000u | ((Colour ^ With) & 0xFFFFFFu);
}

} // namespace

class TrackBar2Test : public QObject {
    Q_OBJECT
private slots:
    void geometry_data();
    void geometry();
    void press_data();
    void press();
    void setters_data();
    void setters();
    void picture_data();
    void picture();
    void mouse_data();
    void mouse();
    void keys_data();
    void keys();
    void shapeDecidesOrientation();
    void userDrawnEvents();
    void handlerErrorsAreReported();
    void pointerBitmaps();
};

void TrackBar2Test::geometry_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<TOrientation>("orientation");
    QTest::addColumn<TThumbStyle>("style");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("value");
    QTest::addColumn<QRect>("track");
    QTest::addColumn<QRect>("thumb");
    QTest::addColumn<int>("line"); // -1: no line
    const auto h = TOrientation::toHorizontal;
    const auto raised = TThumbStyle::tsRaisedRectangle;
    const QRect mainTrack(6, 20, 484, 10);
    QTest::newRow("main bar, middle") << QSize(496, 50) << h << raised << 0 << 50 << 25 << mainTrack
                                      << QRect(245, 19, 6, 12) << 248;
    QTest::newRow("main bar, end") << QSize(496, 50) << h << raised << 0 << 50 << 50 << mainTrack
                                   << QRect(487, 19, 6, 12) << 490;
    QTest::newRow("range not from 0")
        << QSize(496, 50) << h << raised << 10 << 60 << 10 << mainTrack << QRect(3, 19, 6, 12) << 6;
    QTest::newRow("empty range") << QSize(496, 50) << h << raised << 0 << 0 << 0 << mainTrack
                                 << QRect(3, 19, 6, 12) << -1;
    // A pointer's line runs through its tip, half the bitmap in.
    QTest::newRow("small pointer") << QSize(200, 40) << h << TThumbStyle::tsSmallPointer << 0 << 20
                                   << 10 << QRect(4, 15, 192, 10) << QRect(96, 14, 8, 12) << 100;
    QTest::newRow("vertical, high values on top")
        << QSize(50, 300) << TOrientation::toVertical << raised << 0 << 10 << 3
        << QRect(20, 10, 10, 280) << QRect(15, 201, 20, 10) << 206;
}

void TrackBar2Test::geometry() {
    QFETCH(QSize, size);
    QFETCH(TOrientation, orientation);
    QFETCH(TThumbStyle, style);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, value);
    const int thumbSize = orientation == TOrientation::toHorizontal ? 12 : 20;
    const TTrackGeometry g = Geometry(size, orientation, style, thumbSize, min, max);
    QTEST(g.Track, "track");
    QTEST(ThumbRect(g, value), "thumb");
    QTEST(LinePixel(g, value).value_or(-1), "line");
    // A jump to where the line for a value runs lands on that value.
    if (const auto line = LinePixel(g, value)) QCOMPARE(PixelToValue(g, *line), value);
}

void TrackBar2Test::press_data() {
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<bool>("secondThumb");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<bool>("upper");
    QTest::addColumn<TPressAction>("action");
    QTest::addColumn<int>("value");
    // Main bar, L = 10 at x 99..104, U = 40 at x 390..395; the zones meet at x = 247.
    const auto drag = TPressAction::paDrag, jump = TPressAction::paJump;
    QTest::newRow("on lower") << false << true << QPoint(101, 25) << false << false << drag << 0;
    QTest::newRow("on upper, shift")
        << false << true << QPoint(395, 25) << true << true << drag << 0;
    QTest::newRow("left zone jumps")
        << false << true << QPoint(50, 25) << false << false << jump << 4;
    QTest::newRow("zone edge is lower")
        << false << true << QPoint(247, 25) << false << false << jump << 25;
    QTest::newRow("past zone edge is upper")
        << false << true << QPoint(248, 25) << false << true << jump << 25;
    QTest::newRow("one thumb: lower everywhere")
        << false << false << QPoint(300, 25) << false << false << jump << 30;
    QTest::newRow("shift left of lower")
        << false << true << QPoint(50, 25) << true << false << TPressAction::paStepDown << 0;
    QTest::newRow("shift right of lower")
        << false << true << QPoint(150, 25) << true << false << TPressAction::paStepUp << 0;
    QTest::newRow("shift above lower")
        << false << true << QPoint(101, 5) << true << false << TPressAction::paNone << 0;
    // Vertical 50 x 300, 0..10, L = 3 at y 201..210, U = 7 at y 89..98; zones meet at y 150.
    QTest::newRow("vertical upper zone")
        << true << true << QPoint(25, 60) << false << true << jump << 9;
    QTest::newRow("vertical shift below lower")
        << true << true << QPoint(25, 250) << true << false << TPressAction::paStepDown << 0;
    QTest::newRow("vertical shift above upper")
        << true << true << QPoint(25, 40) << true << true << TPressAction::paStepUp << 0;
}

void TrackBar2Test::press() {
    QFETCH(bool, vertical);
    QFETCH(bool, secondThumb);
    QFETCH(QPoint, point);
    QFETCH(bool, shift);
    const TTrackGeometry g = vertical ? Geometry({50, 300}, TOrientation::toVertical,
                                                 TThumbStyle::tsRaisedRectangle, 20, 0, 10)
                                      : Geometry({496, 50}, TOrientation::toHorizontal,
                                                 TThumbStyle::tsRaisedRectangle, 12, 0, 50);
    const TPress p = vertical ? ClassifyPress(g, 3, 7, secondThumb, point, shift)
                              : ClassifyPress(g, 10, 40, secondThumb, point, shift);
    QTEST(p.Upper, "upper");
    QTEST(p.Action, "action");
    if (p.Action == TPressAction::paJump) QTEST(p.Value, "value");
}

enum TSetter { sL, sU, sMax, sMin };
Q_DECLARE_METATYPE(TSetter)

void TrackBar2Test::setters_data() {
    QTest::addColumn<bool>("secondThumb");
    QTest::addColumn<int>("startL");
    QTest::addColumn<int>("startU");
    QTest::addColumn<TSetter>("setter");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("L");
    QTest::addColumn<int>("U");
    QTest::addColumn<int>("changes");
    QTest::newRow("L onto U") << true << 10 << 40 << sL << 40 << 39 << 40 << 1;
    QTest::newRow("U onto L") << true << 10 << 40 << sU << 10 << 10 << 11 << 1;
    QTest::newRow("U above Max") << true << 10 << 40 << sU << 70 << 10 << 50 << 1;
    QTest::newRow("L clamped, unchanged, still told")
        << true << 0 << 40 << sL << -5 << 0 << 40 << 1;
    QTest::newRow("same value does nothing") << true << 10 << 40 << sL << 10 << 10 << 40 << 0;
    QTest::newRow("one thumb past Max") << false << 10 << 40 << sL << 55 << 50 << 40 << 1;
    QTest::newRow("Max below U, silently") << true << 10 << 40 << sMax << 30 << 10 << 30 << 0;
    QTest::newRow("Max below both thumbs") << true << 35 << 40 << sMax << 20 << 19 << 20 << 0;
    QTest::newRow("Min above L, silently") << true << 10 << 40 << sMin << 15 << 15 << 40 << 0;
    QTest::newRow("Max 0") << true << 10 << 40 << sMax << 0 << 0 << 0 << 0;
}

void TrackBar2Test::setters() {
    QFETCH(bool, secondThumb);
    QFETCH(int, startL);
    QFETCH(int, startU);
    QFETCH(TSetter, setter);
    QFETCH(int, value);
    TTrackBar2 bar;
    bar.SetMax(50);
    bar.SetPositionU(startU);
    bar.SetPositionL(startL);
    bar.SetSecondThumb(secondThumb);
    int changes = 0;
    bar.OnChange = [&](TTrackBar2* Sender) {
        QCOMPARE(Sender, &bar);
        ++changes;
    };
    switch (setter) {
    case sL:
        bar.SetPositionL(value);
        break;
    case sU:
        bar.SetPositionU(value);
        break;
    case sMax:
        bar.SetMax(value);
        break;
    case sMin:
        bar.SetMin(value);
        break;
    }
    QTEST(bar.PositionL(), "L");
    QTEST(bar.PositionU(), "U");
    QTEST(changes, "changes");
    bar.SetLinePosition(1);
    QVERIFY(!bar.grab().isNull()); // paints, whatever the range
}

enum TLook { lkPlain, lkDisabled, lkFocused, lkLineAtZero, lkVertical, lkPointer };
Q_DECLARE_METATYPE(TLook)

void TrackBar2Test::picture_data() {
    QTest::addColumn<TLook>("look");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QRgb>("colour"); // 0: the background colour; 1: background XOR the line
    const QRgb white = 0xFFFFFFFF, black = 0xFF000000, green = 0xFF008000;
    const QRgb silver = 0xFFC0C0C0, grey = 0xFF808080, cyan = 0xFF00C8C8;
    QTest::newRow("track inside") << lkPlain << QPoint(60, 25) << white;
    QTest::newRow("lowered edge, outer top") << lkPlain << QPoint(60, 20) << black;
    QTest::newRow("lowered edge, inner top") << lkPlain << QPoint(60, 21) << grey;
    QTest::newRow("lowered edge, inner bottom") << lkPlain << QPoint(60, 28) << silver;
    QTest::newRow("lowered edge, outer bottom") << lkPlain << QPoint(60, 29) << white;
    QTest::newRow("band after lower thumb") << lkPlain << QPoint(105, 20) << green;
    QTest::newRow("band before upper thumb") << lkPlain << QPoint(389, 29) << green;
    QTest::newRow("raised thumb, outer left") << lkPlain << QPoint(99, 25) << white;
    QTest::newRow("raised thumb, outer right") << lkPlain << QPoint(104, 25) << black;
    QTest::newRow("raised thumb, inner right") << lkPlain << QPoint(103, 25) << grey;
    QTest::newRow("right of upper thumb") << lkPlain << QPoint(450, 25) << white;
    QTest::newRow("line over band") << lkPlain << QPoint(248, 25) << Xor(green, cyan);
    QTest::newRow("line over bevel") << lkPlain << QPoint(248, 20) << Xor(green, cyan);
    QTest::newRow("line off the track") << lkPlain << QPoint(248, 10) << QRgb(1);
    QTest::newRow("line one pixel wide") << lkPlain << QPoint(247, 10) << QRgb(0);
    QTest::newRow("first tick, raised") << lkPlain << QPoint(5, 2) << white;
    QTest::newRow("first tick, shadow") << lkPlain << QPoint(6, 3) << black;
    QTest::newRow("last tick, bottom row") << lkPlain << QPoint(490, 47) << black;
    QTest::newRow("disabled track, odd") << lkDisabled << QPoint(60, 25) << silver;
    QTest::newRow("disabled track, even") << lkDisabled << QPoint(61, 25) << white;
    QTest::newRow("disabled thumb face hatched") << lkDisabled << QPoint(101, 24) << silver;
    QTest::newRow("focus rectangle") << lkFocused << QPoint(0, 0) << QRgb(2);
    QTest::newRow("line erased at 0") << lkLineAtZero << QPoint(248, 25) << green;
    QTest::newRow("vertical: no ticks") << lkVertical << QPoint(1, 2) << QRgb(0);
    QTest::newRow("vertical: thumb on track") << lkVertical << QPoint(25, 25) << white;
    QTest::newRow("pointer: corner shows track") << lkPointer << QPoint(98, 20) << black;
    QTest::newRow("pointer: tip drawn") << lkPointer << QPoint(101, 19) << black;
}

void TrackBar2Test::picture() {
    QFETCH(TLook, look);
    QFETCH(QPoint, point);
    QFETCH(QRgb, colour);
    auto bar = MainBar();
    QVERIFY(bar);
    bar->SetLinePosition(25);
    switch (look) {
    case lkDisabled:
        bar->setEnabled(false);
        break;
    case lkFocused:
        bar->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(bar.get()));
        bar->setFocus();
        break;
    case lkLineAtZero:
        bar->SetLinePosition(0);
        break;
    case lkVertical:
        bar->SetOrientation(TOrientation::toVertical);
        break;
    case lkPointer:
        bar->SetThumbStyle(TThumbStyle::tsSmallPointer);
        break;
    default:
        break;
    }
    const QImage image = bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb background = bar->palette().color(bar->backgroundRole()).rgb();
    if (colour == 0) colour = background;
    if (colour == 1) colour = Xor(background, 0xFF00C8C8);
    if (colour == 2) colour = Xor(background, 0xFFFFFFFF);
    QCOMPARE(QColor(image.pixel(point)), QColor(colour));
}

void TrackBar2Test::mouse_data() {
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<QPoint>("moveTo"); // (0, 0): no move
    QTest::addColumn<bool>("tracking");
    QTest::addColumn<int>("L");
    QTest::addColumn<int>("U");
    QTest::newRow("jump upper") << QPoint(300, 25) << false << QPoint() << false << 10 << 30;
    QTest::newRow("drag lower") << QPoint(101, 25) << false << QPoint(200, 25) << true << 20 << 40;
    QTest::newRow("drag lower into upper")
        << QPoint(101, 25) << false << QPoint(480, 25) << true << 39 << 40;
    QTest::newRow("drag upper out of range")
        << QPoint(392, 25) << false << QPoint(900, 0) << true << 10 << 50;
    QTest::newRow("shift steps lower down")
        << QPoint(30, 25) << true << QPoint() << false << 9 << 40;
    QTest::newRow("shift steps upper up")
        << QPoint(420, 25) << true << QPoint() << false << 10 << 41;
}

void TrackBar2Test::mouse() {
    QFETCH(QPoint, press);
    QFETCH(bool, shift);
    QFETCH(QPoint, moveTo);
    auto bar = MainBar();
    QVERIFY(bar);
    const Qt::KeyboardModifiers modifiers = shift ? Qt::ShiftModifier : Qt::NoModifier;
    QTest::mousePress(bar.get(), Qt::LeftButton, modifiers, press);
    QVERIFY(bar->hasFocus());
    QTEST(bar->TrackingL() || bar->TrackingU(), "tracking");
    if (!moveTo.isNull()) QTest::mouseMove(bar.get(), moveTo);
    QTEST(bar->PositionL(), "L");
    QTEST(bar->PositionU(), "U");
    QTest::mouseRelease(bar.get(), Qt::LeftButton, modifiers, moveTo.isNull() ? press : moveTo);
    QVERIFY(!bar->TrackingL() && !bar->TrackingU());
}

void TrackBar2Test::keys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<bool>("secondThumb");
    QTest::addColumn<int>("L");
    QTest::addColumn<int>("U");
    QTest::addColumn<int>("changes");
    QTest::newRow("right") << int(Qt::Key_Right) << false << true << 11 << 40 << 1;
    QTest::newRow("down") << int(Qt::Key_Down) << false << true << 9 << 40 << 1;
    QTest::newRow("page up") << int(Qt::Key_PageUp) << false << true << 12 << 40 << 1;
    QTest::newRow("shift page down: upper")
        << int(Qt::Key_PageDown) << true << true << 10 << 38 << 1;
    QTest::newRow("shift up, one thumb: lower")
        << int(Qt::Key_Up) << true << false << 11 << 40 << 1;
    QTest::newRow("other keys: nothing") << int(Qt::Key_Home) << false << true << 10 << 40 << 0;
}

void TrackBar2Test::keys() {
    QFETCH(int, key);
    QFETCH(bool, shift);
    QFETCH(bool, secondThumb);
    auto bar = MainBar();
    QVERIFY(bar);
    bar->SetSecondThumb(secondThumb);
    int changes = 0;
    bar->OnChange = [&](TTrackBar2*) { ++changes; };
    QTest::keyClick(bar.get(), Qt::Key(key), shift ? Qt::ShiftModifier : Qt::NoModifier);
    QTEST(bar->PositionL(), "L");
    QTEST(bar->PositionU(), "U");
    QTEST(changes, "changes");
}

void TrackBar2Test::shapeDecidesOrientation() {
    TTrackBar2 bar;
    bar.SetOrientation(TOrientation::toHorizontal);
    bar.resize(50, 500);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QCOMPARE(bar.Orientation(), TOrientation::toVertical);
    QCOMPARE(bar.Geometry().Track, QRect(20, 10, 10, 480));
    // Asking for the other orientation turns the control round.
    bar.SetOrientation(TOrientation::toHorizontal);
    QCOMPARE(bar.size(), QSize(500, 50));
    QCOMPARE(bar.Orientation(), TOrientation::toHorizontal);
    QCOMPARE(bar.Geometry().Track, QRect(10, 20, 480, 10));
}

void TrackBar2Test::userDrawnEvents() {
    auto bar = MainBar();
    QVERIFY(bar);
    bar->SetTrackStyle(TTrackStyle::trUserDrawn);
    bar->SetThumbStyle(TThumbStyle::tsUserDrawn);
    bar->SetTickStyle(TTickStyle::tiUserDrawn);
    bar->SetTickInterval(10);
    QStringList calls;
    bar->OnPaint = [&](TTrackBar2* Sender) { calls << (Sender->Canvas() ? "paint" : "no canvas"); };
    bar->OnDrawTrack = [&](TTrackBar2*, QPainter&) { calls << "track"; };
    bar->OnDrawTick = [&](TTrackBar2*, QPainter&, int X, int Y, int Position) {
        calls << QStringLiteral("tick %1 %2,%3").arg(Position).arg(X).arg(Y);
    };
    bar->OnDrawThumb = [&](TTrackBar2*, QPainter&, int X, int Y) {
        calls << QStringLiteral("thumb %1,%2").arg(X).arg(Y);
    };
    bar->grab();
    // Slots 0, 10, 20, 30 on both sides; thumbs at their hit rectangles.
    QCOMPARE(calls, QStringList({"paint", "track", "tick 0 6,2", "tick 10 162,2", "tick 20 318,2",
                                 "tick 30 474,2", "tick 0 6,46", "tick 10 162,46", "tick 20 318,46",
                                 "tick 30 474,46", "thumb 96,19", "thumb 387,19"}));
    QCOMPARE(bar->UpperThumbRect(), QRect(387, 19, 12, 12));
    calls.clear();
    bar->SetTickInterval(0);
    bar->grab();
    QCOMPARE(calls.filter("tick").size(), 0);
}

void TrackBar2Test::handlerErrorsAreReported() {
    TScriptedDialogs dialogs;
    InstallApplicationErrorReport(dialogs);
    auto bar = MainBar();
    QVERIFY(bar);
    bar->OnChange = [](TTrackBar2*) { throw std::runtime_error("change failed"); };
    QTest::keyClick(bar.get(), Qt::Key_Right);
    QCOMPARE(bar->PositionL(), 11);
    // A failing paint handler ends that paint; the report follows once the paint is over.
    bar->SetTrackStyle(TTrackStyle::trUserDrawn);
    bar->OnDrawTrack = [](TTrackBar2*, QPainter&) { throw std::runtime_error("draw failed"); };
    QVERIFY(!bar->grab().isNull());
    QCOMPARE(dialogs.Calls.size(), size_t(1));
    QVERIFY(!bar->Canvas());
    QCoreApplication::sendPostedEvents(bar.get(), QEvent::MetaCall);
    QCOMPARE(dialogs.Calls.size(), size_t(2));
    QCOMPARE(dialogs.Calls[0].Text, QStringLiteral("change failed"));
    QCOMPARE(dialogs.Calls[1].Text, QStringLiteral("draw failed"));
    RemoveApplicationErrorReport();
}

void TrackBar2Test::pointerBitmaps() {
    // Every pointer is opaque exactly where its mask is black, and points at the ticks.
    const QStringList names = {"SMUPTHUMB",    "SMDOWNTHUMB", "MEDLEFTTHUMB",
                               "LGRIGHTTHUMB", "MEDUPTHUMB",  "LGDOWNTHUMB"};
    const QList<QSize> sizes = {{8, 12}, {8, 12}, {18, 12}, {24, 16}, {12, 18}, {16, 24}};
    for (int i = 0; i < names.size(); ++i) {
        const QImage bitmap = PointerBitmap(names[i]);
        const QImage mask = PointerBitmap(names[i] + "MASK");
        QCOMPARE(bitmap.size(), sizes[i]);
        QCOMPARE(mask.size(), sizes[i]);
        int opaque = 0;
        for (int y = 0; y < bitmap.height(); ++y) {
            for (int x = 0; x < bitmap.width(); ++x) {
                const bool inside = (mask.pixel(x, y) & 0xFFFFFF) == 0;
                opaque += inside;
                if (!inside) QCOMPARE(bitmap.pixel(x, y) & 0xFFFFFF, 0u);
            }
        }
        QVERIFY(opaque > bitmap.width() * bitmap.height() / 2);
    }
    const QImage up = PointerBitmap("SMUPTHUMBMASK");
    QVERIFY(up.pixel(0, 0) != up.pixel(0, 11)); // the tip is on top, the body full below
    QVERIFY(PointerBitmap("NOSUCHTHUMB").isNull());
}

QTEST_MAIN(TrackBar2Test)
#include "trackbar2_test.moc"
