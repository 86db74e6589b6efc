// Playback, the play cursor, Mark Start / Mark End and action enabling.
//
// Timer1 runs exactly while playback runs and is not paused; it moves the play cursor one
// half-second step per tick. The player's own position is never read.
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "app/Main.h"
#include "controls/TrackBar2.h"
#include "edit/MediaPlayer.h"
#include "platform/qt/Actions.h"
#include "platform/qt/Dialogs.h"
#include "platform/qt/FormBuilder.h"

namespace sundral {

void TfrmMain::StopPlayback() {
    Timer1->stop();
    tbAudio->SetLinePosition(0);
    MediaPlayer1->Close();
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
    FPlayingSelection = Selection;
    if (MediaPlayer1->PlayerMode() == TMPModes::mpPaused) {
        Timer1->start();
        MediaPlayer1->Resume();
        return;
    }
    MediaPlayer1->Close();
    MediaPlayer1->SetFileName(eOpenFile->text().toStdString());
    Timer1->start();
    try {
        MediaPlayer1->Open();
        if (Selection) {
            // The times the thumbs stand for: the upper one at the end of the range plays
            // to the end of the file.
            MediaPlayer1->SetPlayStart(UnitsToMs(tbAudio->PositionL()));
            if (tbAudio->PositionU() < tbAudio->Max())
                MediaPlayer1->SetPlayEnd(UnitsToMs(tbAudio->PositionU()));
            tbAudio->SetLinePosition(tbAudio->PositionL());
        }
        MediaPlayer1->Play();
    } catch (...) {
        // Nothing plays: no cursor may run on. The error goes on to the report.
        StopPlayback();
        throw;
    }
}

void TfrmMain::aPauseExecute() {
    MediaPlayer1->Pause();
    Timer1->stop();
}

void TfrmMain::aStopExecute() {
    Timer1->stop();
    tbAudio->SetLinePosition(0);
    MediaPlayer1->Stop();
    MediaPlayer1->Close();
}

void TfrmMain::Timer1Timer() {
    if (FPlayingSelection && tbAudio->LinePosition() >= tbAudio->PositionU()) {
        aStopExecute();
        return;
    }
    tbAudio->SetLinePosition(tbAudio->LinePosition() + 1);
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
    eStart->setEnabled(hasFile);
    eEnd->setEnabled(hasFile);
    tbAudio->setEnabled(hasFile);
}

void TfrmMain::aPauseUpdate(TAction* Sender) {
    Sender->SetEnabled(Timer1->isActive());
}

void TfrmMain::aStopUpdate(TAction* Sender) {
    Sender->SetEnabled(Timer1->isActive() || tbAudio->LinePosition() > 0);
}

} // namespace sundral
