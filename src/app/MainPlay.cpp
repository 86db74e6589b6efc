// Playback, the play cursor, Mark Start / Mark End, Play Edges and action enabling.
//
// Timer1 runs exactly while playback runs and is not paused; it moves the play cursor one
// grid step per tick (its interval is the step). The player's own position is never read.
// The cursor can also be placed by a click on the waveform: Play then starts there, and a
// click while playing makes the play jump there.
//
// Play Edges plays the first and the last kEdgeMs of the selection with kEdgeGapMs of
// silence between: the first edge ends by itself (its end is set); once the cursor has
// reached its end, FEdgeTimer waits the pause and starts the last one. A selection no longer than
// both edges together is played whole instead, once.
#include <algorithm>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/Main.h"
#include "controls/TrackBar2.h"
#include "controls/Waveform.h"
#include "edit/CutSetup.h"
#include "edit/Global.h"
#include "edit/MediaPlayer.h"
#include "platform/qt/Actions.h"
#include "platform/qt/Dialogs.h"
#include "platform/qt/FormBuilder.h"

namespace sundral {
namespace {

constexpr int32_t kEdgeMs = 2000;
constexpr int32_t kEdgeGapMs = 400;

} // namespace

void TfrmMain::ShowCursor() {
    const int32_t line = tbAudio->LinePosition();
    lPosition->setText(UnitsToTimeText(line));
    const uint32_t rate = wfAudio->SampleRate();
    if (rate == 0 || eOpenFile->text().isEmpty()) {
        wfAudio->SetCursor(-1);
        return;
    }
    wfAudio->SetCursor(StepToSample(line, tbAudio->Max(), wfAudio->TotalSamples(), rate, FStepMs));
}

void TfrmMain::StopPlayback() {
    StopEdges();
    Timer1->stop();
    tbAudio->SetLinePosition(0);
    ShowCursor();
    MediaPlayer1->Close();
}

void TfrmMain::StopEdges() {
    if (FEdgeTimer) FEdgeTimer->stop();
    FEdgePhase = 0;
}

void TfrmMain::aPlayExecute() {
    StartPlay(false);
}

void TfrmMain::aPlaySelectionExecute() {
    StartPlay(true);
}

void TfrmMain::StartPlay(bool Selection) {
    // A selection typed but not confirmed is what plays (a paused play just goes on).
    if (Selection && MediaPlayer1->PlayerMode() != TMPModes::mpPaused && !CommitTimeFields())
        return;
    if (FEdgePhase != 0) {
        // Play or Play Selection in the pause between the edges starts afresh.
        StopEdges();
        MediaPlayer1->Close();
    }
    FPlayingSelection = Selection;
    if (MediaPlayer1->PlayerMode() == TMPModes::mpPaused) {
        Timer1->start();
        MediaPlayer1->Resume();
        return;
    }
    // Play starts at the cursor placed on the waveform (the start of the file when none is).
    const int32_t from = Selection ? tbAudio->PositionL() : tbAudio->LinePosition();
    MediaPlayer1->Close();
    MediaPlayer1->SetFileName(eOpenFile->text().toStdString());
    Timer1->start();
    try {
        MediaPlayer1->Open();
        if (Selection || from > 0) MediaPlayer1->SetPlayStart(UnitsToMs(from));
        // The upper thumb at the end of the range plays to the end of the file.
        if (Selection && tbAudio->PositionU() < tbAudio->Max())
            MediaPlayer1->SetPlayEnd(UnitsToMs(tbAudio->PositionU()));
        tbAudio->SetLinePosition(from);
        ShowCursor();
        MediaPlayer1->Play();
    } catch (...) {
        // Nothing plays: no cursor may run on. The error goes on to the report.
        StopPlayback();
        throw;
    }
}

void TfrmMain::PlaceCursor(int32_t Step) {
    Step = std::clamp(Step, 0, tbAudio->Max());
    tbAudio->SetLinePosition(Step);
    ShowCursor();
    const TMPModes mode = MediaPlayer1->PlayerMode();
    if (mode == TMPModes::mpPaused) {
        // The paused play is given up: Play starts afresh at the cursor.
        MediaPlayer1->Close();
        return;
    }
    if (!Timer1->isActive() && FEdgePhase == 0) return;
    // Playing: the play jumps to the cursor and goes on as it was going (a selection play
    // still ends at the upper thumb; Play Edges becomes a plain play from there).
    if (FEdgePhase != 0) {
        StopEdges();
        FPlayingSelection = false;
    }
    MediaPlayer1->SetPlayStart(UnitsToMs(Step));
    if (FPlayingSelection && tbAudio->PositionU() < tbAudio->Max())
        MediaPlayer1->SetPlayEnd(UnitsToMs(tbAudio->PositionU()));
    if (!Timer1->isActive()) Timer1->start();
    MediaPlayer1->Play();
}

void TfrmMain::bPlayEdgesClick() {
    if (eOpenFile->text().isEmpty() || !CommitTimeFields()) return;
    StopEdges();
    Timer1->stop();
    MediaPlayer1->Close();
    const int32_t from = UnitsToMs(tbAudio->PositionL());
    const int32_t to = UnitsToMs(tbAudio->PositionU());
    if (to - from <= 2 * kEdgeMs) {
        // Both edges are the whole selection: it plays once.
        StartPlay(true);
        return;
    }
    FEdgeFromMs = from;
    FEdgeToMs = to;
    FEdgeLastFromMs = to - kEdgeMs;
    FPlayingSelection = true;
    MediaPlayer1->SetFileName(eOpenFile->text().toStdString());
    try {
        MediaPlayer1->Open();
        FEdgePhase = 1;
        FEdgeStopStep = MsToStep(from + kEdgeMs, tbAudio->Max(), FStepMs);
        tbAudio->SetLinePosition(tbAudio->PositionL());
        PlayEdge(from, from + kEdgeMs);
    } catch (...) {
        StopPlayback();
        throw;
    }
}

void TfrmMain::PlayEdge(int32_t FromMs, int32_t ToMs) {
    ShowCursor();
    MediaPlayer1->SetPlayStart(FromMs);
    // The last edge of a selection reaching the end plays to the end of the file.
    if (ToMs < FLengthMs || tbAudio->PositionU() < tbAudio->Max()) MediaPlayer1->SetPlayEnd(ToMs);
    Timer1->start();
    MediaPlayer1->Play();
}

void TfrmMain::aPauseExecute() {
    // The edges are one short listen: pausing them ends it.
    if (FEdgePhase != 0) {
        aStopExecute();
        return;
    }
    MediaPlayer1->Pause();
    Timer1->stop();
}

void TfrmMain::aStopExecute() {
    StopEdges();
    Timer1->stop();
    tbAudio->SetLinePosition(0);
    ShowCursor();
    MediaPlayer1->Stop();
    MediaPlayer1->Close();
}

void TfrmMain::Timer1Timer() {
    if (FEdgePhase == 1 && tbAudio->LinePosition() >= FEdgeStopStep) {
        // The first edge has ended by itself; the cursor waits for the last one.
        Timer1->stop();
        FEdgePhase = 2;
        FEdgeTimer->start(kEdgeGapMs);
        return;
    }
    if (FPlayingSelection && tbAudio->LinePosition() >= tbAudio->PositionU()) {
        aStopExecute();
        return;
    }
    tbAudio->SetLinePosition(tbAudio->LinePosition() + 1);
    ShowCursor();
    if (tbAudio->LinePosition() >= tbAudio->Max() && aStop->Enabled()) aStopExecute();
}

void TfrmMain::aMarkStartExecute() {
    tbAudio->SetPositionL(tbAudio->LinePosition());
    eStart->setText(UnitsToTimeText(tbAudio->PositionL()));
    ShowSelectionTimes();
}

void TfrmMain::aMarkEndExecute() {
    tbAudio->SetPositionU(tbAudio->LinePosition());
    eEnd->setText(UnitsToTimeText(tbAudio->PositionU()));
    ShowSelectionTimes();
}

void TfrmMain::aPlayUpdate(TAction* Sender) {
    const bool hasFile = !eOpenFile->text().isEmpty();
    Sender->SetEnabled(hasFile && !Timer1->isActive());
    bPlayEdges->setEnabled(hasFile && !Timer1->isActive());
    eStart->setEnabled(hasFile);
    eEnd->setEnabled(hasFile);
    tbAudio->setEnabled(hasFile);
}

void TfrmMain::aPauseUpdate(TAction* Sender) {
    Sender->SetEnabled(Timer1->isActive());
}

void TfrmMain::aStopUpdate(TAction* Sender) {
    Sender->SetEnabled(Timer1->isActive() || tbAudio->LinePosition() > 0 || FEdgePhase != 0);
}

} // namespace sundral
