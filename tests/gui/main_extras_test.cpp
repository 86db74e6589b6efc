// The main window's grid switch, play cursor, Play Edges, run status and lossless check box,
// driven through the real window and judged by sox and ffmpeg (and, for what is heard, by the
// samples SDL's disk driver captures).
#include <algorithm>
#include <chrono>
#include <thread>

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include "MainWindowFixture.h"
#include "MediaFiles.h"
#include "WaveTools.h"
#include "controls/LinkLabel.h"
#include "controls/RunStatus.h"
#include "controls/Waveform.h"
#include "edit/Global.h"
#include "edit/MediaPlayer.h"
#include "edit/WaveformGeometry.h"
#include "formats/AuMp3Out.h"
#include "formats/AuWaveOut.h"

using namespace sundral;
using namespace sundral_test;

namespace {

constexpr uint32_t kRate = 8000;

void Type(QLineEdit* Field, const QString& Text) {
    Field->setFocus();
    Field->selectAll();
    QTest::keyClicks(Field, Text);
}

int64_t FieldFrame(const QLineEdit* Field, uint32_t Rate) {
    return int64_t(TimeTextToMs(Field->text().toStdString())) * Rate / 1000;
}

// Start Cut into Output (the save dialog answers it); waits for the run to end.
bool Cut(TMainWindowFixture& F, const std::filesystem::path& Output) {
    F.Dialogs.FileAnswers.push_back(QString::fromStdString(Output.string()));
    F.Dialogs.YesNoAnswers.push_back(true);
    F.Window->bStartCut->click();
    return QTest::qWaitFor([&] { return F.Window->bStartCut->isEnabled(); }, kGiveUpMs);
}

// Waits until the waveform knows the whole sound: its rate and its Frames.
void WaitForPeaks(TMainWindowFixture& F, int64_t Frames) {
    const TWaveform& view = *F.Window->wfAudio;
    (void)QTest::qWaitFor(
        [&] {
            return view.PeaksComplete() && view.SampleRate() != 0 && view.TotalSamples() == Frames;
        },
        kGiveUpMs);
}

// The unfinished files in Folder, with their sizes, to tell whose they are; empty when none.
QString Partials(const std::filesystem::path& Folder) {
    QString left;
    std::error_code gone; // a file may go while it is listed
    for (const auto& entry : std::filesystem::directory_iterator(Folder))
        if (entry.path().filename().string().find("partial") != std::string::npos)
            left += QStringLiteral(" %1 (%2 bytes)")
                        .arg(QString::fromStdString(entry.path().filename().string()))
                        .arg(qulonglong(entry.file_size(gone)));
    return left;
}

// The column of the waveform showing the time Ms.
int ColumnOf(const TWaveform& View, int64_t Ms) {
    return int(SampleToPixel(View.View(), Ms * int64_t(View.SampleRate()) / 1000));
}

// Plays through SDL's disk driver into Capture and returns the stretches of the counting wave
// that were heard, as [first sample, count) runs of its values. Silence the driver wrote
// while the player fell behind (a loaded machine) does not split a run that goes on after
// it; a jump in the count does.
struct TRun {
    int First;
    int Count;
};
std::vector<TRun> Runs(const TBytes& Played) {
    std::vector<TRun> runs;
    int last = 0;
    for (size_t i = 0; i + 1 < Played.size(); i += 2) {
        const int sample = int(GetU16(&Played[i]));
        if (sample == 0) continue;
        // A run goes on while the counting goes on (32000 wraps to 1).
        if (last == 0 || sample != last % 32000 + 1) runs.push_back({sample, 0});
        ++runs.back().Count;
        last = sample;
    }
    return runs;
}

class TCapture {
public:
    explicit TCapture(const std::filesystem::path& File) : FFile(File) {
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", File.c_str());
        qputenv("SDL_DISKAUDIODELAY", "0");
    }
    ~TCapture() { qputenv("SDL_AUDIODRIVER", "dummy"); }

private:
    std::filesystem::path FFile;
};

} // namespace

class MainExtrasTest : public QObject {
    Q_OBJECT
private slots:
    void theFineGridCutsWhatTheFieldsShow();
    void aClickPlacesTheCursorAndPlayStartsThere();
    void playEdgesPlaysBothEnds();
    void theStatusLineSaysSavedOrCancelled();
    void aRunThatEndedUnheardIsNotTheNextOnes();
    void keepTheOriginalQuality();
};

void MainExtrasTest::theFineGridCutsWhatTheFieldsShow() {
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    TfrmMain& w = *f.Window;
    // 12.7 s: no whole number of steps at either grid.
    const auto input = WriteCountingWave(f.Dir.File("odd.wav"), kRate, 1, kRate * 127 / 10);
    f.Open(input);
    WaitForPeaks(f, kRate * 127 / 10);
    QCOMPARE(w.StepMs(), 500);
    w.bGridFine->click();
    QCOMPARE(w.StepMs(), 100);
    QCOMPARE(f.Bar().Max(), 127);
    QCOMPARE(w.Timer1->interval(), 100);

    struct {
        const char* Name;
        const char *Start, *End; // typed; none: dragged on the waveform
        int64_t FromMs, ToMs;    // the drag's ends
        int L, U;                // the thumbs afterwards (-1: not checked)
    } const cases[] = {
        {"typed", "00:00:02.3", "00:00:07.9", 0, 0, 23, 79},
        {"typed to the end", "00:00:11.1", "00:00:12.7", 0, 0, 111, 127},
        {"dragged", nullptr, nullptr, 1730, 6420, -1, -1},
        {"edge dragged", nullptr, nullptr, -1, 9960, -1, -1},
    };
    int n = 0;
    for (const auto& c : cases) {
        if (c.Start) {
            Type(w.eEnd, QString::fromLatin1(c.End));
            Type(w.eStart, QString::fromLatin1(c.Start));
        } else {
            TWaveform& view = *w.wfAudio;
            const int y = view.height() / 2;
            // A drag from FromMs, or of the selection's end edge when FromMs is -1.
            const int from = c.FromMs >= 0 ? ColumnOf(view, c.FromMs)
                                           : int(SampleToPixel(view.View(), view.SelectionEnd()));
            const int to = ColumnOf(view, c.ToMs);
            QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(from, y));
            QTest::mouseMove(&view, QPoint((from + to) / 2, y));
            QTest::mouseMove(&view, QPoint(to, y));
            QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(to, y));
            // The fields show a time of the fine grid near the pointer.
            const int32_t endMs = TimeTextToMs(w.eEnd->text().toStdString());
            QVERIFY2(std::abs(endMs - c.ToMs) <= 100, qPrintable(w.eEnd->text()));
            QCOMPARE(endMs % 100, 0);
        }
        if (c.L >= 0) {
            QCOMPARE(f.Bar().PositionL(), c.L);
            QCOMPARE(f.Bar().PositionU(), c.U);
        }
        // The waveform shows the samples the thumbs stand for.
        const int64_t start = FieldFrame(w.eStart, kRate), end = FieldFrame(w.eEnd, kRate);
        QCOMPARE(w.wfAudio->SelectionStart(), start);
        QCOMPARE(w.wfAudio->SelectionEnd(), end);

        const auto output = f.Dir.File("cut" + std::to_string(n++) + ".wav");
        QVERIFY2(Cut(f, output), c.Name);
        QVERIFY2(f.Dialogs.Messages().isEmpty(), qPrintable(f.Dialogs.Messages().join('\n')));
        // What the fields show is what is cut, to the sample.
        const std::vector<int16_t> cut = SoxDecodeS16(output);
        QCOMPARE(int64_t(cut.size()), end - start);
        QCOMPARE(int(cut.front()), int(1 + start % 32000));
        QCOMPARE(int(cut.back()), int(1 + (end - 1) % 32000));
    }

    // Back to the half-second grid: the thumbs keep their times as nearly as it allows.
    Type(w.eEnd, QStringLiteral("00:00:07.9"));
    Type(w.eStart, QStringLiteral("00:00:02.3"));
    w.eEnd->setFocus();
    w.bGridCoarse->click();
    QCOMPARE(f.Bar().Max(), 25);
    QCOMPARE(w.eStart->text(), QStringLiteral("00:00:02.0"));
    QCOMPARE(w.eEnd->text(), QStringLiteral("00:00:07.5"));
    // The choice is remembered by the next window.
    w.bGridFine->click();
    f.Window = std::make_unique<TfrmMain>(f.Dialogs);
    QCOMPARE(f.Window->StepMs(), 100);
    QVERIFY(f.Window->bGridFine->isChecked());
}

void MainExtrasTest::aClickPlacesTheCursorAndPlayStartsThere() {
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    TfrmMain& w = *f.Window;
    w.bGridFine->click();
    f.Open(WriteCountingWave(f.Dir.File("ten.wav"), kRate, 1, kRate * 10));
    WaitForPeaks(f, kRate * 10);
    QCOMPARE(w.lPosition->text(), QStringLiteral("00:00:00.0"));
    const auto capture = f.Dir.File("played.raw");
    struct {
        int64_t Ms; // clicked at
        bool WhilePlaying;
    } const cases[] = {{3340, false}, {7210, true}};
    for (const auto& c : cases) {
        TWaveform& view = *w.wfAudio;
        const QPoint at(ColumnOf(view, c.Ms), view.height() / 2);
        if (c.WhilePlaying) {
            w.aPlay->Execute();
            QVERIFY(w.Timer1->isActive());
        }
        QTest::mouseClick(&view, Qt::LeftButton, {}, at);
        // The cursor sits on the nearest tenth; the readout tells its time.
        const int step = f.Bar().LinePosition();
        QVERIFY2(std::abs(step * 100 - c.Ms) <= 100, qPrintable(QString::number(step)));
        QCOMPARE(w.lPosition->text(), QString::fromStdString(MsToTimeText(step * 100)));
        QCOMPARE(view.Cursor(), int64_t(step) * kRate / 10);
        if (c.WhilePlaying) {
            // The play jumped: it goes on from the cursor.
            QVERIFY(w.Timer1->isActive());
            QCOMPARE(w.MediaPlayer1->PlayerMode(), TMPModes::mpPlaying);
            w.aStopExecute();
            continue;
        }
        // Play starts at the cursor: the first sample heard is the cursor's.
        {
            TCapture disk(capture);
            w.aPlay->Execute();
            w.Timer1->stop();
            QTRY_VERIFY_WITH_TIMEOUT(w.MediaPlayer1->PlayerMode() != TMPModes::mpPlaying,
                                     kGiveUpMs);
            w.MediaPlayer1->Close();
        }
        const std::vector<TRun> heard = Runs(f.Dir.ReadBytes("played.raw"));
        QVERIFY(!heard.empty());
        QCOMPARE(heard.front().First, 1 + step * 800 % 32000);
        // From there on, and nothing before it (the disk driver may still have been writing
        // the end when the device closed).
        QCOMPARE(int(heard.size()), 1);
        QVERIFY(heard.front().Count > 0 && heard.front().Count <= 80000 - step * 800);
    }
}

void MainExtrasTest::playEdgesPlaysBothEnds() {
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    TfrmMain& w = *f.Window;
    f.Open(WriteCountingWave(f.Dir.File("ten.wav"), kRate, 1, kRate * 10));
    struct {
        const char *Start, *End;
        std::vector<TRun> Heard; // first sample and length of each stretch heard
    } const cases[] = {
        // 1 s to 8 s: 1..3 s, a pause, then 6..8 s.
        {"00:00:01.0", "00:00:08.0", {{1 + 8000, 16000}, {1 + 48000 % 32000, 16000}}},
        // A selection no longer than both edges plays once, whole.
        {"00:00:02.0", "00:00:05.5", {{1 + 16000, 28000}}},
    };
    auto* pause = w.findChild<QTimer*>(QStringLiteral("EdgeTimer"));
    QVERIFY(pause);
    // The cursor's ticks are given by hand, so that each edge ends where the test says.
    const auto tickUntil = [&](int Phase) {
        w.Timer1->stop();
        for (int i = 0; i < 200 && w.EdgePhase() != Phase; ++i) w.Timer1Timer();
        return w.EdgePhase() == Phase;
    };
    int n = 0;
    for (const auto& c : cases) {
        Type(w.eEnd, QString::fromLatin1(c.End));
        Type(w.eStart, QString::fromLatin1(c.Start));
        // Each play opens the sound device afresh: the first edge goes to one file, the
        // last (or the only) play to another.
        const auto first = f.Dir.File("edges" + std::to_string(n) + "a.raw");
        const auto last = f.Dir.File("edges" + std::to_string(n++) + "b.raw");
        {
            TCapture disk(first);
            w.bPlayEdges->click();
            if (c.Heard.size() == 2) {
                QCOMPARE(w.EdgePhase(), 1);
                QVERIFY(tickUntil(2));
                QTRY_VERIFY_WITH_TIMEOUT(w.MediaPlayer1->PlayerMode() != TMPModes::mpPlaying,
                                         kGiveUpMs);
                qputenv("SDL_DISKAUDIOFILE", last.c_str());
                QTRY_VERIFY_WITH_TIMEOUT(w.EdgePhase() == 3, kGiveUpMs);
                QVERIFY(!pause->isActive());
                QVERIFY(tickUntil(0));
            } else {
                QCOMPARE(w.EdgePhase(), 0);
                w.Timer1->stop();
            }
            QTRY_VERIFY_WITH_TIMEOUT(w.MediaPlayer1->PlayerMode() != TMPModes::mpPlaying,
                                     kGiveUpMs);
            w.MediaPlayer1->Close();
        }
        std::vector<TRun> heard = Runs(f.Dir.ReadBytes(first.filename().string()));
        if (c.Heard.size() == 2) {
            const std::vector<TRun> second = Runs(f.Dir.ReadBytes(last.filename().string()));
            heard.insert(heard.end(), second.begin(), second.end());
        }
        QCOMPARE(heard.size(), c.Heard.size());
        for (size_t i = 0; i < heard.size(); ++i) {
            QCOMPARE(heard[i].First, c.Heard[i].First);
            // The disk driver may not have written all of the first edge when the last one
            // opens the device again; nothing past the edge may have been played.
            if (i == 0 && heard.size() == 2)
                QVERIFY(heard[i].Count > 0 && heard[i].Count <= c.Heard[i].Count);
            else
                QCOMPARE(heard[i].Count, c.Heard[i].Count);
        }
        if (c.Heard.size() == 2) QCOMPARE(f.Bar().LinePosition(), 0);
    }
}

void MainExtrasTest::theStatusLineSaysSavedOrCancelled() {
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    TfrmMain& w = *f.Window;
    const auto wave = WriteCountingWave(f.Dir.File("in.wav"), kRate, 1, kRate * 12);
    const auto mp3 = f.Dir.File("in.mp3");
    QVERIFY(MakeMediaFile(mp3, TestSignal(44100, 2, 60), "-c:a libmp3lame -b:a 128k"));
    QString opened;
    w.rsCut->OpenFolder = [&](const QString& Folder) { opened = Folder; };
    struct {
        const char* Name;
        std::filesystem::path Input;
        bool Lossless, Cancel;
        QString Line;
    } const cases[] = {
        {"wav saved", wave, false, false, "Saved cut_in.wav (00:00:05.0)"},
        {"wav cancelled", wave, false, true,
         "Cancelled: the cut was stopped and no file was saved."},
        {"mp3 re-encoding cancelled", mp3, false, true,
         "Cancelled: the cut was stopped and no file was saved."},
        // The copy runs on a worker, which Cancel stops as it stops a writer.
        {"mp3 copy cancelled", mp3, true, true,
         "Cancelled: the cut was stopped and no file was saved."},
        {"mp3 copy saved", mp3, true, false, "Saved cut_in.mp3 (00:00:05.0)"},
    };
    int highest = 0; // the bar's highest percentage in a run
    QObject::connect(w.rsCut->Bar(), &QProgressBar::valueChanged,
                     [&](int Value) { highest = std::max(highest, Value); });
    for (const auto& c : cases) {
        f.Open(c.Input);
        w.cbLossless->setChecked(c.Lossless);
        highest = 0;
        Type(w.eEnd, QStringLiteral("00:00:07.0"));
        Type(w.eStart, QStringLiteral("00:00:02.0"));
        const auto output = f.Dir.File("cut_" + c.Input.filename().string());
        std::filesystem::remove(output);
        f.Dialogs.FileAnswers.push_back(QString::fromStdString(output.string()));
        w.bStartCut->click();
        QVERIFY2(w.rsCut->Running(), c.Name);
        QVERIFY(w.rsCut->CancelButton()->isVisible());
        QVERIFY(w.rsCut->Bar()->isVisible());
        // Cancel before the run can have told its end: nothing of it may stay.
        if (c.Cancel) {
            w.rsCut->CancelButton()->click();
            // The run ends with the click, whatever still runs behind it.
            QVERIFY2(w.bStartCut->isEnabled(), c.Name);
            QCOMPARE(w.rsCut->Line(), c.Line);
        }
        QVERIFY(QTest::qWaitFor([&] { return w.bStartCut->isEnabled(); }, kGiveUpMs));
        QTest::qWait(0);
        QVERIFY2(f.Dialogs.Messages().isEmpty(), qPrintable(f.Dialogs.Messages().join('\n')));
        QCOMPARE(w.rsCut->Line(), c.Line);
        QVERIFY2(w.windowTitle() == QStringLiteral("Orvane Sundral"), c.Name);
        QCOMPARE(std::filesystem::exists(output), !c.Cancel);
        // No unfinished file stays beside it (a stopped worker may take a moment to let go).
        // The message names what stayed, with its size, to tell whose file it is.
        QString left;
        QVERIFY2(
            QTest::qWaitFor([&] { return (left = Partials(f.Dir.Path())).isEmpty(); }, kGiveUpMs),
            qPrintable(QString::fromLatin1(c.Name) + left));
        // A copy drives the bar too, to its end.
        if (c.Lossless && !c.Cancel) QCOMPARE(highest, 100);
        if (!c.Cancel) {
            QVERIFY(w.rsCut->ShowInFolder()->isVisible());
            w.rsCut->ShowInFolder()->OnClick(w.rsCut->ShowInFolder());
            QCOMPARE(opened, QString::fromStdString(f.Dir.Path().string()));
        }
    }
}

void MainExtrasTest::aRunThatEndedUnheardIsNotTheNextOnes() {
    // Cancel can come after the writer has ended but before the window has heard its end.
    // That end, still on its way, belongs to the cancelled run: it must not end the next
    // run, which would show its file as saved (or remove it) while its writer still writes.
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    TfrmMain& w = *f.Window;
    const auto wave = WriteCountingWave(f.Dir.File("in.wav"), kRate, 1, kRate * 4);
    const auto mp3 = f.Dir.File("in.mp3");
    QVERIFY(MakeMediaFile(mp3, TestSignal(44100, 2, 30), "-c:a libmp3lame -b:a 128k"));
    f.Open(wave);
    f.Dialogs.FileAnswers.push_back(QString::fromStdString(f.Dir.File("cut_in.wav").string()));
    w.bStartCut->click();
    // No event is handled meanwhile: the writer's end waits for the window.
    for (int waited = 0; w.WaveOut1->Busy() && waited < kGiveUpMs; waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    w.rsCut->CancelButton()->click();
    QVERIFY(!std::filesystem::exists(f.Dir.File("cut_in.wav")));
    // The next cut, of the whole of an MP3 through another writer.
    w.eOpenFile->setText(QString::fromStdString(mp3.string()));
    const auto output = f.Dir.File("cut_in.mp3");
    f.Dialogs.FileAnswers.push_back(QString::fromStdString(output.string()));
    w.bStartCut->click();
    QVERIFY(QTest::qWaitFor([&] { return w.bStartCut->isEnabled(); }, kGiveUpMs));
    // Ended means its writer is done with the file.
    QVERIFY(!w.MP3Out1->Busy());
    QVERIFY2(f.Dialogs.Messages().isEmpty(), qPrintable(f.Dialogs.Messages().join('\n')));
    QVERIFY2(w.rsCut->Line().startsWith(QStringLiteral("Saved cut_in.mp3")),
             qPrintable(w.rsCut->Line()));
    const double seconds = double(FfmpegDecodeS16(output).size()) / 2 / 44100;
    QVERIFY2(std::abs(seconds - 30.0) < 0.1, qPrintable(QString::number(seconds)));
    QCOMPARE(Partials(f.Dir.Path()), QString());
}

void MainExtrasTest::keepTheOriginalQuality() {
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    const auto mp3 = f.Dir.File("song.mp3");
    QVERIFY(MakeMediaFile(mp3, TestSignal(44100, 2, 9.3), "-c:a libmp3lame -b:a 160k"));
    const auto wave = WriteCountingWave(f.Dir.File("song.wav"), kRate, 1, kRate * 3);
    // On by default for MP3; not offered for WAV; remembered when changed.
    struct {
        std::filesystem::path Input;
        bool Click;
        bool Enabled, Checked;
    } const steps[] = {
        {mp3, false, true, true}, {wave, false, false, false},
        {mp3, true, true, false}, {mp3, false, true, false}, // a new window
        {mp3, true, true, true},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        if (i == 3) f.Window = std::make_unique<TfrmMain>(f.Dialogs);
        f.Open(steps[i].Input);
        if (steps[i].Click) f.Window->cbLossless->click();
        QCOMPARE(f.Window->cbLossless->isEnabled(), steps[i].Enabled);
        QCOMPARE(f.Window->cbLossless->isChecked(), steps[i].Checked);
    }

    // A lossless cut on the fine grid holds exactly the source's decode over the stretch.
    TfrmMain& w = *f.Window;
    w.bGridFine->click();
    struct {
        const char *Start, *End;
    } const cuts[] = {{"00:00:01.3", "00:00:03.7"}, {"00:00:06.1", "00:00:09.3"}};
    const std::vector<int16_t> source = FfmpegDecodeS16(mp3);
    int n = 0;
    for (const auto& c : cuts) {
        Type(w.eEnd, QString::fromLatin1(c.End));
        Type(w.eStart, QString::fromLatin1(c.Start));
        const auto output = f.Dir.File("cut" + std::to_string(n++) + ".mp3");
        QVERIFY(Cut(f, output));
        QVERIFY2(f.Dialogs.Messages().isEmpty(), qPrintable(f.Dialogs.Messages().join('\n')));
        QVERIFY2(w.lStatus->text().isEmpty(), qPrintable(w.lStatus->text())); // not re-encoded
        const int64_t start = FieldFrame(w.eStart, 44100);
        // The end of the range is the end of the file, whatever its last tenth.
        const int64_t end = f.Bar().PositionU() == f.Bar().Max() ? int64_t(source.size() / 2)
                                                                 : FieldFrame(w.eEnd, 44100);
        const std::vector<int16_t> cut = FfmpegDecodeS16(output);
        QCOMPARE(int64_t(cut.size()), (end - start) * 2);
        QVERIFY(std::equal(cut.begin(), cut.end(), source.begin() + start * 2));
    }
}

QTEST_MAIN(MainExtrasTest)
#include "main_extras_test.moc"
