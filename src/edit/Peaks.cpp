#include "edit/Peaks.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "audio/AuClassesFile.h"
#include "audio/AuFrames.h"
#include "edit/Designs.h"
#include "edit/PeakCache.h"
#include "platform/AuException.h"

namespace sundral {

TPeakBuilder::TPeakBuilder(uint32_t SampleRate, uint32_t Channels, int64_t SamplesPerPixel,
                           bool Merged)
    : FInChannels(Channels), FMerged(Merged) {
    if (Channels == 0) throw EAuException("Peaks need at least one channel");
    if (SamplesPerPixel < 1) throw EAuException("Peaks need at least one frame per bucket");
    FPeaks.SampleRate = SampleRate;
    FPeaks.Channels = Merged ? 1 : Channels;
    FPeaks.SamplesPerPixel = SamplesPerPixel;
    FOpen.resize(size_t(FPeaks.Channels) * 2);
}

void TPeakBuilder::Feed(const int16_t* Samples, size_t Frames) {
    const uint32_t outChannels = FPeaks.Channels;
    while (Frames > 0) {
        if (FFill == 0) {
            for (uint32_t c = 0; c < outChannels; ++c) {
                FOpen[c * 2] = INT16_MAX;
                FOpen[c * 2 + 1] = INT16_MIN;
            }
        }
        const size_t take =
            size_t(std::min<int64_t>(int64_t(Frames), FPeaks.SamplesPerPixel - FFill));
        for (uint32_t c = 0; c < FInChannels; ++c) {
            const uint32_t out = FMerged ? 0 : c;
            int16_t lo = FOpen[out * 2];
            int16_t hi = FOpen[out * 2 + 1];
            const int16_t* p = Samples + c;
            for (size_t i = 0; i < take; ++i, p += FInChannels) {
                lo = std::min(lo, *p);
                hi = std::max(hi, *p);
            }
            FOpen[out * 2] = lo;
            FOpen[out * 2 + 1] = hi;
        }
        FFill += int64_t(take);
        FPeaks.TotalFrames += int64_t(take);
        Samples += take * FInChannels;
        Frames -= take;
        if (FFill == FPeaks.SamplesPerPixel) CloseBucket();
    }
}

void TPeakBuilder::CloseBucket() {
    FPeaks.Data.insert(FPeaks.Data.end(), FOpen.begin(), FOpen.end());
    FFill = 0;
}

void TPeakBuilder::Finish() {
    if (FFill > 0) CloseBucket();
}

void PcmTo16(const uint8_t* Data, size_t Samples, uint32_t Bits, int16_t* Out) {
    switch (Bits) {
    case 8:
        for (size_t i = 0; i < Samples; ++i) Out[i] = int16_t((int(Data[i]) - 128) * 256);
        break;
    case 16:
        std::memcpy(Out, Data, Samples * 2);
        break;
    case 24:
        for (size_t i = 0; i < Samples; ++i)
            Out[i] = int16_t(uint16_t(Data[i * 3 + 1] | (Data[i * 3 + 2] << 8)));
        break;
    default:
        for (size_t i = 0; i < Samples; ++i)
            Out[i] = int16_t(uint16_t(Data[i * 4 + 2] | (Data[i * 4 + 3] << 8)));
        break;
    }
}

TPeakData ComputePeaks(TAuInput& Source, int64_t SamplesPerPixel, bool Merged,
                       const TPeakProgress& Progress) {
    std::optional<TPeakBuilder> builder;
    uint32_t bits = 0, channels = 0;
    std::vector<int16_t> samples;
    ReadWholeFrames(
        Source, "Peaks", 1 << 17,
        [&](uint32_t Bits, uint32_t Channels) {
            bits = Bits;
            channels = Channels;
            builder.emplace(Source.SampleRate(), Channels, SamplesPerPixel, Merged);
        },
        [&](const uint8_t* Data, size_t Frames) {
            samples.resize(Frames * channels);
            PcmTo16(Data, samples.size(), bits, samples.data());
            builder->Feed(samples.data(), Frames);
            return !Progress || Progress(builder->Peaks());
        });
    builder->Finish();
    return std::move(builder->Peaks());
}

TPeakJob::TPeakJob(const std::string& FileName, int64_t SamplesPerPixel, bool UseCache)
    : FFileName(FileName), FSamplesPerPixel(SamplesPerPixel), FUseCache(UseCache) {
    FThread = std::thread([this] { Run(); });
}

TPeakJob::~TPeakJob() {
    FCancel = true;
    if (FThread.joinable()) FThread.join();
}

std::string TPeakJob::Error() const {
    std::lock_guard<std::mutex> guard(FLock);
    return FError;
}

void TPeakJob::Read(const std::function<void(const TPeakData&)>& Reader) const {
    std::lock_guard<std::mutex> guard(FLock);
    Reader(FShared);
}

void TPeakJob::Run() {
    try {
        TPeakCacheKey key;
        const bool keyed = FUseCache && PeakCacheKeyOf(FFileName, FSamplesPerPixel, key);
        if (keyed) {
            TPeakData cached;
            if (LoadPeakCache(key, cached)) {
                FExpectedFrames = cached.TotalFrames;
                {
                    std::lock_guard<std::mutex> guard(FLock);
                    FShared = std::move(cached);
                }
                FFromCache = true;
                FState = TState::Done;
                return;
            }
        }
        TComponent owner(nullptr);
        TAuFileIn* reader = NewReader(SoundKindOf(FFileName), &owner);
        reader->SetFileName(FFileName);
        if (const std::string why = reader->InvalidReason(); !why.empty()) throw EAuException(why);
        FExpectedFrames = std::max<int64_t>(reader->TotalSamples(), 0);
        // The shared copy grows by the buckets closed since the last block.
        size_t published = 0;
        auto progress = [&](const TPeakData& SoFar) {
            std::lock_guard<std::mutex> guard(FLock);
            if (published == 0) {
                FShared.SampleRate = SoFar.SampleRate;
                FShared.Channels = SoFar.Channels;
                FShared.SamplesPerPixel = SoFar.SamplesPerPixel;
                const int64_t expected = FExpectedFrames.load() / SoFar.SamplesPerPixel + 1;
                FShared.Data.reserve(size_t(expected) * 2 * SoFar.Channels);
            }
            FShared.Data.insert(FShared.Data.end(), SoFar.Data.begin() + ptrdiff_t(published),
                                SoFar.Data.end());
            published = SoFar.Data.size();
            FShared.TotalFrames = int64_t(published / (2 * SoFar.Channels)) * SoFar.SamplesPerPixel;
            return !FCancel.load();
        };
        TPeakData peaks = ComputePeaks(*reader, FSamplesPerPixel, false, progress);
        if (FCancel) {
            FState = TState::Cancelled;
            return;
        }
        if (keyed) StorePeakCache(key, peaks);
        {
            std::lock_guard<std::mutex> guard(FLock);
            FShared = std::move(peaks);
        }
        FState = TState::Done;
    } catch (const std::exception& e) {
        std::lock_guard<std::mutex> guard(FLock);
        FError = e.what();
        FState = TState::Failed;
    }
}

} // namespace sundral
