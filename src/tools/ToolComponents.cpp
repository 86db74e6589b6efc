#include "tools/ToolComponents.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/CutSetupWriters.h"
#include "audio/AuMixer.h"
#include "formats/AuMp3In.h"
#include "formats/AuMp3Out.h"
#include "formats/AuWaveIn.h"
#include "formats/AuWaveOut.h"
#include "formats/AuWinMedia.h"
#include "formats/AuWinMediaOut.h"

namespace sundral {
namespace {

TWaveIn* WaveReader(TComponent* Owner, const char* Name) {
    auto* reader = NewNamed<TWaveIn>(Owner, Name);
    reader->SetLoop(false);
    reader->SetEndSample(-1);
    return reader;
}

template <class T> T* MediaReader(TComponent* Owner, const char* Name) {
    auto* reader = NewNamed<T>(Owner, Name);
    reader->SetLoop(false);
    reader->SetEndSample(-1);
    reader->SetHighPrecision(false);
    reader->SetOutputChannels(TChannelsNumber::cnMonoOrStereo);
    return reader;
}

} // namespace

std::string ExtensionOf(const std::string& FileName) {
    return std::filesystem::path(FileName).extension().string();
}

TSoundKind SoundKindOf(const std::string& FileName) {
    std::string extension = ExtensionOf(FileName);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char C) { return char(std::toupper(C)); });
    if (extension == ".WAV") return TSoundKind::skWav;
    if (extension == ".MP3") return TSoundKind::skMp3;
    if (extension == ".WMA") return TSoundKind::skWma;
    return TSoundKind::skUnknown;
}

TToolComponents::TToolComponents(TComponent* Owner) {
    WaveIn1 = WaveReader(Owner, "WaveIn1");
    WaveIn2 = WaveReader(Owner, "WaveIn2");
    MP3In1 = MediaReader<TMP3In>(Owner, "MP3In1");
    MP3In2 = MediaReader<TMP3In>(Owner, "MP3In2");
    WMIn1 = MediaReader<TWMIn>(Owner, "WMIn1");
    WMIn2 = MediaReader<TWMIn>(Owner, "WMIn2");

    AudioMixer1 = NewNamed<TAudioMixer>(Owner, "AudioMixer1");
    AudioMixer1->SetVolume1(65535);
    AudioMixer1->SetVolume2(65535);

    WaveOut1 = NewNamed<TWaveOut>(Owner, "WaveOut1");
    WaveOut1->SetWavType(TWavType::wtPCM);
    WaveOut1->SetBlockSize(512);
    WaveOut1->SetCreateNonMsHeaders(false);
    WaveOut1->SetFileMode(TFileOutputMode::foRewrite);
    WaveOut1->SetShareMode(0);

    MP3Out1 = NewNamed<TMP3Out>(Owner, "MP3Out1");
    MP3Out1->SetBitRate(TMP3BitRate::mbr128);
    MP3Out1->SetEnableBitReservoir(false);
    MP3Out1->SetStrictISO(false);
    MP3Out1->SetVBRQuality(TMP3Quality::mp3ql0);
    MP3Out1->SetEnableVBR(false);
    MP3Out1->SetAverageBitrate(TMP3BitRate::mbrAuto);
    MP3Out1->SetMaximumBitrate(TMP3BitRate::mbrAuto);
    MP3Out1->SetShareMode(0);

    WMAOut1 = NewNamed<TWMAOut>(Owner, "WMAOut1");
    WMAOut1->SetDesiredBitrate(0);
    WMAOut1->SetLossless(false);
    WMAOut1->SetVBR(false);
    WMAOut1->SetVBRQuality(0);
    WMAOut1->SetShareMode(0);
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
