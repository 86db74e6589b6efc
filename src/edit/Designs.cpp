#include "edit/Designs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "formats/AuMp3In.h"
#include "formats/AuMp3Out.h"
#include "formats/AuWaveIn.h"
#include "formats/AuWaveOut.h"
#include "formats/AuWinMedia.h"
#include "formats/AuWinMediaOut.h"

namespace sundral {
namespace {

constexpr const char* kUnknownType = "Unknown file type: use a .wav, .mp3 or .wma file";

template <class T> T* Named(TComponent* Owner, const char* Name) {
    auto* component = new T(Owner);
    if (Name) component->SetName(Name);
    return component;
}

template <class T> T* MediaReader(TComponent* Owner, const char* Name) {
    auto* reader = Named<T>(Owner, Name);
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

const char* SoundKindName(TSoundKind Kind) {
    switch (Kind) {
    case TSoundKind::skWav:
        return "WAV";
    case TSoundKind::skMp3:
        return "MP3";
    case TSoundKind::skWma:
        return "WMA";
    case TSoundKind::skUnknown:
        break;
    }
    return "unknown";
}

TAuFileIn* NewReader(TSoundKind Kind, TComponent* Owner, const char* Name) {
    switch (Kind) {
    case TSoundKind::skWav: {
        auto* reader = Named<TWaveIn>(Owner, Name);
        reader->SetLoop(false);
        reader->SetEndSample(-1);
        return reader;
    }
    case TSoundKind::skMp3:
        return MediaReader<TMP3In>(Owner, Name);
    case TSoundKind::skWma:
        return MediaReader<TWMIn>(Owner, Name);
    case TSoundKind::skUnknown:
        break;
    }
    throw EAuException(kUnknownType);
}

TAuFileOut* NewWriter(TSoundKind Kind, TComponent* Owner, const char* Name) {
    switch (Kind) {
    case TSoundKind::skWav: {
        auto* out = Named<TWaveOut>(Owner, Name);
        out->SetWavType(TWavType::wtPCM);
        out->SetBlockSize(512);
        out->SetCreateNonMsHeaders(false);
        out->SetFileMode(TFileOutputMode::foRewrite);
        out->SetShareMode(0);
        return out;
    }
    case TSoundKind::skMp3: {
        auto* out = Named<TMP3Out>(Owner, Name);
        out->SetBitRate(TMP3BitRate::mbr128);
        out->SetMode(TMP3Mode::mmMono);
        out->SetEnableBitReservoir(false);
        out->SetStrictISO(false);
        out->SetVBRQuality(TMP3Quality::mp3ql0);
        out->SetEnableVBR(false);
        out->SetAverageBitrate(TMP3BitRate::mbrAuto);
        out->SetMaximumBitrate(TMP3BitRate::mbrAuto);
        out->SetShareMode(0);
        return out;
    }
    case TSoundKind::skWma: {
        auto* out = Named<TWMAOut>(Owner, Name);
        out->SetDesiredBitrate(0);
        out->SetLossless(false);
        out->SetVBR(false);
        out->SetVBRQuality(0);
        out->SetShareMode(0);
        return out;
    }
    case TSoundKind::skUnknown:
        break;
    }
    throw EAuException(kUnknownType);
}

} // namespace sundral
