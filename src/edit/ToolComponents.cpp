#include "edit/ToolComponents.h"

#include "audio/AuMixer.h"
#include "edit/CutSetupWriters.h"
#include "formats/AuMp3In.h"
#include "formats/AuMp3Out.h"
#include "formats/AuWaveIn.h"
#include "formats/AuWaveOut.h"
#include "formats/AuWinMedia.h"
#include "formats/AuWinMediaOut.h"

namespace sundral {

TToolComponents::TToolComponents(TComponent* Owner) {
    const auto reader = [Owner](TSoundKind Kind, const char* Name) {
        return NewReader(Kind, Owner, Name);
    };
    WaveIn1 = static_cast<TWaveIn*>(reader(TSoundKind::skWav, "WaveIn1"));
    WaveIn2 = static_cast<TWaveIn*>(reader(TSoundKind::skWav, "WaveIn2"));
    MP3In1 = static_cast<TMP3In*>(reader(TSoundKind::skMp3, "MP3In1"));
    MP3In2 = static_cast<TMP3In*>(reader(TSoundKind::skMp3, "MP3In2"));
    WMIn1 = static_cast<TWMIn*>(reader(TSoundKind::skWma, "WMIn1"));
    WMIn2 = static_cast<TWMIn*>(reader(TSoundKind::skWma, "WMIn2"));

    AudioMixer1 = NewNamed<TAudioMixer>(Owner, "AudioMixer1");
    AudioMixer1->SetVolume1(65535);
    AudioMixer1->SetVolume2(65535);

    WaveOut1 = static_cast<TWaveOut*>(NewWriter(TSoundKind::skWav, Owner, "WaveOut1"));
    MP3Out1 = static_cast<TMP3Out*>(NewWriter(TSoundKind::skMp3, Owner, "MP3Out1"));
    WMAOut1 = static_cast<TWMAOut*>(NewWriter(TSoundKind::skWma, Owner, "WMAOut1"));
}

TAuFileIn* TToolComponents::Reader(TSoundKind Kind, int Number) const {
    switch (Kind) {
    case TSoundKind::skWav:
        return Number == 1 ? static_cast<TAuFileIn*>(WaveIn1) : WaveIn2;
    case TSoundKind::skMp3:
        return Number == 1 ? MP3In1 : MP3In2;
    case TSoundKind::skWma:
        return Number == 1 ? WMIn1 : WMIn2;
    case TSoundKind::skUnknown:
        break;
    }
    return nullptr;
}

TAuFileOut* TToolComponents::Writer(TSoundKind Kind) const {
    switch (Kind) {
    case TSoundKind::skWav:
        return WaveOut1;
    case TSoundKind::skMp3:
        return MP3Out1;
    case TSoundKind::skWma:
        return WMAOut1;
    case TSoundKind::skUnknown:
        break;
    }
    return nullptr;
}

void TToolComponents::SetupWriter(TSoundKind Kind) const {
    if (Kind == TSoundKind::skMp3) SetupMp3Writer(*MP3In1, *MP3Out1);
    if (Kind == TSoundKind::skWma) SetupWmaWriter(*WMIn1, *WMAOut1);
}

void TToolComponents::StopWriters() const {
    for (TAuOutput* writer : {static_cast<TAuOutput*>(WaveOut1), static_cast<TAuOutput*>(MP3Out1),
                              static_cast<TAuOutput*>(WMAOut1)})
        writer->Stop(false); // also drops the events of a run that has just ended
}

void RequireSameLayout(TAuFileIn& First, TAuFileIn& Second) {
    const uint32_t rate1 = First.SampleRate(), rate2 = Second.SampleRate();
    const uint32_t channels1 = First.Channels(), channels2 = Second.Channels();
    if (rate1 == rate2 && channels1 == channels2) return;
    const auto layout = [](uint32_t Rate, uint32_t Channels) {
        return std::to_string(Rate) + " Hz, " + std::to_string(Channels) +
               (Channels == 1 ? " channel" : " channels");
    };
    throw EAuException("The two files differ in sample rate or channels (" +
                       layout(rate1, channels1) + " and " + layout(rate2, channels2) +
                       "): they cannot be joined or mixed.");
}

} // namespace sundral
