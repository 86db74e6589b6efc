#include "audio/AuSilence.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "audio/AuFrames.h"
#include "audio/AuProcs.h"

namespace sundral {

TSilenceDetector::TSilenceDetector(uint32_t SampleRate, uint32_t Channels,
                                   const TSilenceOptions& Options)
    : FChannels(Channels) {
    if (SampleRate == 0 || Channels == 0)
        throw EAuException("Silence detection needs a sample rate and channels");
    if (!(Options.ThresholdDb <= 0))
        throw EAuException("The silence threshold must lie at or below 0 dB");
    if (!(Options.WindowSeconds >= 0) || !(Options.MinLengthSeconds >= 0) ||
        !std::isfinite(Options.WindowSeconds) || !std::isfinite(Options.MinLengthSeconds))
        throw EAuException("Silence lengths must be zero or more seconds");
    FWindowFrames =
        uint32_t(std::clamp(std::lround(Options.WindowSeconds * SampleRate), 1L, long(SampleRate)));
    FMinFrames = std::llround(Options.MinLengthSeconds * SampleRate);
    FThresholdSquare = std::pow(10.0, Options.ThresholdDb / 10.0);
}

void TSilenceDetector::Feed(const float* Samples, size_t Frames) {
    while (Frames > 0) {
        const size_t take = std::min<size_t>(Frames, FWindowFrames - FWindowFill);
        const size_t count = take * FChannels;
        double sum = 0;
        for (size_t i = 0; i < count; ++i) sum += double(Samples[i]) * Samples[i];
        FSquares += sum;
        FWindowFill += uint32_t(take);
        Samples += count;
        Frames -= take;
        if (FWindowFill == FWindowFrames) EndWindow();
    }
}

void TSilenceDetector::EndWindow() {
    const int64_t end = FWindowStart + FWindowFill;
    const bool quiet = FSquares < FThresholdSquare * double(FWindowFill) * FChannels;
    if (quiet && FQuietStart < 0) FQuietStart = FWindowStart;
    if (!quiet && FQuietStart >= 0) {
        if (FWindowStart - FQuietStart >= FMinFrames)
            FStretches.push_back({FQuietStart, FWindowStart});
        FQuietStart = -1;
    }
    FWindowStart = end;
    FWindowFill = 0;
    FSquares = 0;
}

std::vector<TSilentStretch> TSilenceDetector::Finish() {
    if (FWindowFill > 0) EndWindow();
    // A quiet run reaching the end of the sound is a stretch too.
    if (FQuietStart >= 0 && FWindowStart - FQuietStart >= FMinFrames)
        FStretches.push_back({FQuietStart, FWindowStart});
    FQuietStart = -1;
    return std::move(FStretches);
}

namespace {

// Whole frames of integer PCM to float.
void ToFloat(const uint8_t* Data, size_t Samples, uint32_t Bits, float* Out) {
    switch (Bits) {
    case 8:
        UInt8ToFloat(Data, Out, Samples);
        break;
    case 16:
        Int16ToFloat(reinterpret_cast<const int16_t*>(Data), Out, Samples);
        break;
    case 24:
        Int24ToFloat(Data, Out, Samples);
        break;
    default:
        Int32ToFloat(reinterpret_cast<const int32_t*>(Data), Out, Samples);
        break;
    }
}

} // namespace

std::vector<TSilentStretch> FindSilences(TAuInput& Source, const TSilenceOptions& Options) {
    std::optional<TSilenceDetector> detector;
    uint32_t bits = 0, channels = 0;
    std::vector<float> samples;
    ReadWholeFrames(
        Source, "Silence detection", 1 << 16,
        [&](uint32_t Bits, uint32_t Channels) {
            bits = Bits;
            channels = Channels;
            detector.emplace(Source.SampleRate(), Channels, Options);
        },
        [&](const uint8_t* Data, size_t Frames) {
            samples.resize(Frames * channels);
            ToFloat(Data, samples.size(), bits, samples.data());
            detector->Feed(samples.data(), Frames);
            return true;
        });
    return detector->Finish();
}

} // namespace sundral
