// The main window's audio components and media player with their design values. Each
// writer's Input is its reader; the three writers share one done handler.
#include "app/Main.h"
#include "audio/AuComponent.h"
#include "controls/MediaPlayer.h"
#include "formats/AuMp3In.h"
#include "formats/AuMp3Out.h"
#include "formats/AuWaveIn.h"
#include "formats/AuWaveOut.h"
#include "formats/AuWinMedia.h"
#include "formats/AuWinMediaOut.h"

namespace sundral {
namespace {

void DesignReader(TWMIn& Reader) {
    Reader.SetLoop(false);
    Reader.SetEndSample(-1);
    Reader.SetHighPrecision(false);
    Reader.SetOutputChannels(TChannelsNumber::cnMonoOrStereo);
}

} // namespace

void TfrmMain::CreateComponents() {
    FComponents = std::make_unique<TComponent>(nullptr);
    TComponent* owner = FComponents.get();
    owner->SetName("frmMain");

    MediaPlayer1 = NewNamed<TMediaPlayer>(owner, "MediaPlayer1");

    MP3In1 = NewNamed<TMP3In>(owner, "MP3In1");
    DesignReader(*MP3In1);
    MP3Out1 = NewNamed<TMP3Out>(owner, "MP3Out1");
    MP3Out1->SetInput(MP3In1);
    MP3Out1->SetShareMode(0);
    MP3Out1->SetBitRate(TMP3BitRate::mbr128);
    MP3Out1->SetMode(TMP3Mode::mmMono);
    MP3Out1->SetEnableBitReservoir(false);
    MP3Out1->SetStrictISO(false);
    MP3Out1->SetVBRQuality(TMP3Quality::mp3ql0);
    MP3Out1->SetEnableVBR(false);
    MP3Out1->SetAverageBitrate(TMP3BitRate::mbrAuto);
    MP3Out1->SetMaximumBitrate(TMP3BitRate::mbrAuto);

    WMIn1 = NewNamed<TWMIn>(owner, "WMIn1");
    DesignReader(*WMIn1);
    WMAOut1 = NewNamed<TWMAOut>(owner, "WMAOut1");
    WMAOut1->SetInput(WMIn1);
    WMAOut1->SetShareMode(0);
    WMAOut1->SetDesiredBitrate(0);
    WMAOut1->SetLossless(false);
    WMAOut1->SetVBR(false);
    WMAOut1->SetVBRQuality(0);

    WaveIn1 = NewNamed<TWaveIn>(owner, "WaveIn1");
    WaveIn1->SetLoop(false);
    WaveIn1->SetEndSample(-1);
    WaveOut1 = NewNamed<TWaveOut>(owner, "WaveOut1");
    WaveOut1->SetInput(WaveIn1);
    WaveOut1->SetShareMode(0);
    WaveOut1->SetWavType(TWavType::wtPCM);
    WaveOut1->SetBlockSize(512);
    WaveOut1->SetCreateNonMsHeaders(false);
    WaveOut1->SetFileMode(TFileOutputMode::foRewrite);

    const auto done = [this](TComponent* Sender) { MP3Out1Done(Sender); };
    MP3Out1->OnDone = done;
    WMAOut1->OnDone = done;
    WaveOut1->OnDone = done;
    MP3Out1->OnProgress = [this](TComponent* Sender) { MP3Out1Progress(Sender); };
    WMAOut1->OnProgress = [this](TComponent* Sender) { WMAOut1Progress(Sender); };
    WaveOut1->OnProgress = [this](TComponent* Sender) { WaveOut1Progress(Sender); };
}

} // namespace sundral
