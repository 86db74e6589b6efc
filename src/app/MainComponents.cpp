// The main window's audio components and media player with their design values. Each
// writer's Input is its reader; the three writers share one done handler.
#include "app/Main.h"
#include "audio/AuComponent.h"
#include "edit/Designs.h"
#include "edit/MediaPlayer.h"
#include "formats/AuMp3In.h"
#include "formats/AuMp3Out.h"
#include "formats/AuWaveIn.h"
#include "formats/AuWaveOut.h"
#include "formats/AuWinMedia.h"
#include "formats/AuWinMediaOut.h"

namespace sundral {

void TfrmMain::CreateComponents() {
    FComponents = std::make_unique<TComponent>(nullptr);
    TComponent* owner = FComponents.get();
    owner->SetName("frmMain");

    MediaPlayer1 = NewNamed<TMediaPlayer>(owner, "MediaPlayer1");

    MP3In1 = static_cast<TMP3In*>(NewReader(TSoundKind::skMp3, owner, "MP3In1"));
    MP3Out1 = static_cast<TMP3Out*>(NewWriter(TSoundKind::skMp3, owner, "MP3Out1"));
    MP3Out1->SetInput(MP3In1);
    WMIn1 = static_cast<TWMIn*>(NewReader(TSoundKind::skWma, owner, "WMIn1"));
    WMAOut1 = static_cast<TWMAOut*>(NewWriter(TSoundKind::skWma, owner, "WMAOut1"));
    WMAOut1->SetInput(WMIn1);
    WaveIn1 = static_cast<TWaveIn*>(NewReader(TSoundKind::skWav, owner, "WaveIn1"));
    WaveOut1 = static_cast<TWaveOut*>(NewWriter(TSoundKind::skWav, owner, "WaveOut1"));
    WaveOut1->SetInput(WaveIn1);

    const auto done = [this](TComponent* Sender) { MP3Out1Done(Sender); };
    MP3Out1->OnDone = done;
    WMAOut1->OnDone = done;
    WaveOut1->OnDone = done;
    MP3Out1->OnProgress = [this](TComponent* Sender) { MP3Out1Progress(Sender); };
    WMAOut1->OnProgress = [this](TComponent* Sender) { WMAOut1Progress(Sender); };
    WaveOut1->OnProgress = [this](TComponent* Sender) { WaveOut1Progress(Sender); };
}

} // namespace sundral
