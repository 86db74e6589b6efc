// The waveform view driven as a user drives it: drag to select, drag an edge, click for the
// cursor, Ctrl+wheel zoom around the pointer, Fit and Zoom to selection, sideways scroll; and
// in the main window, kept in step with the track bar's thumbs and the time fields both ways.
#include <QScrollBar>
#include <QSignalSpy>
#include <QToolButton>
#include <QWheelEvent>

#include "MainWindowFixture.h"
#include "controls/Waveform.h"
#include "edit/WaveformGeometry.h"

using namespace sundral;
using namespace sundral_test;

class WaveformTest : public QObject {
    Q_OBJECT
private slots:
    void mouseSelectsZoomsAndPlacesTheCursor();
    void mainWindowKeepsWaveformAndTrackBarInStep();
};

namespace {

void Wheel(QWidget* Target, int X, int Notches, Qt::KeyboardModifiers Modifiers) {
    const QPointF at(X, Target->height() / 2);
    QWheelEvent event(at, Target->mapToGlobal(at), QPoint(), QPoint(0, 120 * Notches), Qt::NoButton,
                      Modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(Target, &event);
}

void Drag(QWidget* Target, int From, int To) {
    const int y = Target->height() / 2;
    QTest::mousePress(Target, Qt::LeftButton, Qt::NoModifier, QPoint(From, y));
    QTest::mouseMove(Target, QPoint((From + To) / 2, y));
    QTest::mouseMove(Target, QPoint(To, y));
    QTest::mouseRelease(Target, Qt::LeftButton, Qt::NoModifier, QPoint(To, y));
}

} // namespace

void WaveformTest::mouseSelectsZoomsAndPlacesTheCursor() {
    ScratchDir dir("waveform");
    const auto file = WriteCountingWave(dir.File("ten.wav"), 8000, 1, 80000);
    TWaveform view;
    view.resize(400, 150);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.SetFileName(file.string(), false);
    QTRY_VERIFY_WITH_TIMEOUT(view.PeaksComplete(), kGiveUpMs);
    QTRY_COMPARE(view.TotalSamples(), int64_t(80000));
    QCOMPARE(view.SampleRate(), 8000u);
    QCOMPARE(view.View().SamplesPerPixel, int64_t(200)); // the whole file in 400 columns

    QSignalSpy selected(&view, &TWaveform::SelectionChanged);
    QSignalSpy placed(&view, &TWaveform::CursorPlaced);
    struct TStep {
        const char* What;
        int From, To;
        int64_t Start, End;
    };
    const TStep steps[] = {
        {"drag to select", 100, 200, 20000, 40000},
        {"drag the end edge", 200, 300, 20000, 60000},
        {"drag the start edge past the end", 100, 350, 60000, 70000},
        {"drag leftwards", 90, 10, 2000, 18000},
    };
    for (const TStep& s : steps) {
        Drag(&view, s.From, s.To);
        QVERIFY2(!selected.isEmpty(), s.What);
        QCOMPARE(selected.last().at(0).toLongLong(), s.Start);
        QCOMPARE(selected.last().at(1).toLongLong(), s.End);
        QCOMPARE(view.SelectionStart(), s.Start);
    }
    QVERIFY(placed.isEmpty());
    const qsizetype selections = selected.size();
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(250, 75));
    QCOMPARE(placed.size(), 1);
    QCOMPARE(placed.last().at(0).toLongLong(), qint64(50000));
    QCOMPARE(view.Cursor(), int64_t(50000));
    QCOMPARE(selected.size(), selections); // a click leaves the selection

    // Ctrl+wheel zooms around the pointer: the frame under it stays under it.
    Wheel(&view, 150, 1, Qt::ControlModifier);
    QCOMPARE(view.View().SamplesPerPixel, int64_t(100));
    QCOMPARE(PixelToSample(view.View(), 150), int64_t(30000));
    // The wheel alone now scrolls sideways, and the scroll bar shows.
    const int64_t first = view.View().FirstSample;
    Wheel(&view, 150, -1, Qt::NoModifier);
    QVERIFY(view.View().FirstSample > first);
    QVERIFY(view.findChild<QScrollBar*>(QStringLiteral("waveScroll"))->isVisible());
    view.findChild<QToolButton*>(QStringLiteral("bFit"))->click();
    QCOMPARE(view.View(), FitView(80000, 400));
    view.findChild<QToolButton*>(QStringLiteral("bZoomSelection"))->click();
    QCOMPARE(view.View().FirstSample, int64_t(2000));
    QCOMPARE(view.View().SamplesPerPixel, int64_t(40));
}

void WaveformTest::mainWindowKeepsWaveformAndTrackBarInStep() {
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    TWaveform* wave = f.Window->wfAudio;
    QVERIFY(wave);
    // Between the file row and the track bar; the window grew to hold it.
    QVERIFY(wave->geometry().top() > f.Window->eOpenFile->geometry().bottom());
    QVERIFY(wave->geometry().bottom() < f.Bar().geometry().top());
    QCOMPARE(f.Window->height(), 313 + wave->height() + 6 + kMainBandHeight);

    f.Open(f.Wave("ten.wav", 10000));
    QTRY_VERIFY_WITH_TIMEOUT(wave->PeaksComplete() && wave->SampleRate() == 8000, kGiveUpMs);
    QCOMPARE(f.Bar().Max(), 20);
    QCOMPARE(wave->SelectionStart(), int64_t(0));
    QCOMPARE(wave->SelectionEnd(), int64_t(80000));

    // Thumbs to waveform: step 4 is 2 s, frame 16000.
    f.Bar().SetPositionL(4);
    QCOMPARE(wave->SelectionStart(), int64_t(16000));
    // Waveform to thumbs and fields: a drag from 3.0 s to 6.2 s lands on steps 6 and 12.
    const TWaveView& v = wave->View();
    Drag(wave, int(SampleToPixel(v, 24000)), int(SampleToPixel(v, 49600)));
    QCOMPARE(f.Bar().PositionL(), 6);
    QCOMPARE(f.Bar().PositionU(), 12);
    QCOMPARE(f.Window->eStart->text(), QStringLiteral("00:00:03.0"));
    QCOMPARE(f.Window->eEnd->text(), QStringLiteral("00:00:06.0"));
    QCOMPARE(wave->SelectionStart(), int64_t(24000));
    QCOMPARE(wave->SelectionEnd(), int64_t(48000));
    // A typed end time moves the thumb and the waveform with it.
    f.Window->eEnd->setText(QStringLiteral("00:00:08.5"));
    QCOMPARE(wave->SelectionEnd(), int64_t(68000));
}

QTEST_MAIN(WaveformTest)
#include "waveform_test.moc"
