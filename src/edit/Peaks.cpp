#include "edit/Peaks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

extern "C" {
#include <libavutil/samplefmt.h>
}

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "audio/AuClassesFile.h"
#include "audio/AuFrames.h"
#include "edit/Designs.h"
#include "edit/PeakCache.h"
#include "formats/AuWinMedia.h"
#include "platform/AuException.h"

namespace sundral {

namespace {

int16_t To16(int16_t Sample) {
    return Sample;
}

// As a decoder's 16-bit output rounds float samples (to nearest, ties to even). The range is
// clamped before rounding, so that a damaged stream's huge or infinite values clip to the
// right end instead of whatever lrintf gives outside long; NaN counts as silence.
int16_t To16(float Sample) {
    const float scaled = Sample * 32768.0f;
    if (!(scaled == scaled)) return 0;
    return int16_t(std::lrintf(std::clamp(scaled, float(INT16_MIN), float(INT16_MAX))));
}

// Lo and Hi take in the extremes of P[i * Stride] for First <= i < Count, one at a time.
template <class TSample>
void ExtremesFrom(const TSample* P, size_t Stride, size_t First, size_t Count, TSample& Lo,
                  TSample& Hi) {
    for (size_t i = First; i < Count; ++i) {
        const TSample v = P[i * Stride];
        Lo = v < Lo ? v : Lo;
        Hi = Hi < v ? v : Hi;
    }
}

// Lo and Hi (holding P[0] on entry) become the extremes of P[i * Stride], i < Count. Eight
// lanes side by side when the samples are contiguous, so that the compiler keeps them in
// vector registers.
template <class TSample>
void Extremes(const TSample* P, size_t Stride, size_t Count, TSample& Lo, TSample& Hi) {
    size_t i = 0;
    if (Stride == 1 && Count >= 16) {
        TSample lo[8], hi[8];
        for (size_t k = 0; k < 8; ++k) lo[k] = hi[k] = P[k];
        for (i = 8; i + 8 <= Count; i += 8) {
            for (size_t k = 0; k < 8; ++k) {
                const TSample v = P[i + k];
                lo[k] = v < lo[k] ? v : lo[k];
                hi[k] = hi[k] < v ? v : hi[k];
            }
        }
        for (size_t k = 0; k < 8; ++k) {
            Lo = lo[k] < Lo ? lo[k] : Lo;
            Hi = Hi < hi[k] ? hi[k] : Hi;
        }
    }
    ExtremesFrom(P, Stride, i, Count, Lo, Hi);
}

#if defined(__SSE2__)
// Contiguous float samples, the bulk of decoded MP3 and WMA: two vectors of four lanes in
// registers (minps takes its second operand when the first is not smaller, as above).
void Extremes(const float* P, size_t Stride, size_t Count, float& Lo, float& Hi) {
    size_t i = 0;
    if (Stride == 1 && Count >= 16) {
        __m128 lo0 = _mm_loadu_ps(P), lo1 = _mm_loadu_ps(P + 4);
        __m128 hi0 = lo0, hi1 = lo1;
        for (i = 8; i + 8 <= Count; i += 8) {
            const __m128 a = _mm_loadu_ps(P + i), b = _mm_loadu_ps(P + i + 4);
            lo0 = _mm_min_ps(a, lo0);
            lo1 = _mm_min_ps(b, lo1);
            hi0 = _mm_max_ps(a, hi0);
            hi1 = _mm_max_ps(b, hi1);
        }
        alignas(16) float lo[8], hi[8];
        _mm_store_ps(lo, lo0);
        _mm_store_ps(lo + 4, lo1);
        _mm_store_ps(hi, hi0);
        _mm_store_ps(hi + 4, hi1);
        for (size_t k = 0; k < 8; ++k) {
            Lo = lo[k] < Lo ? lo[k] : Lo;
            Hi = Hi < hi[k] ? hi[k] : Hi;
        }
    }
    ExtremesFrom(P, Stride, i, Count, Lo, Hi);
}
#endif

} // namespace

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
    FChannel.resize(FInChannels);
    for (uint32_t c = 0; c < FInChannels; ++c) FChannel[c] = Samples + c;
    FeedChannels(FChannel.data(), FInChannels, Frames);
}

void TPeakBuilder::Feed(const int16_t* const* Channel, size_t Stride, size_t Frames) {
    FeedChannels(Channel, Stride, Frames);
}

void TPeakBuilder::Feed(const float* const* Channel, size_t Stride, size_t Frames) {
    FeedChannels(Channel, Stride, Frames);
}

void TPeakBuilder::FeedSilence(size_t Frames) {
    static const int16_t zero = 0;
    FChannel.assign(FInChannels, &zero);
    FeedChannels(FChannel.data(), 0, Frames);
}

template <class TSample>
void TPeakBuilder::FeedChannels(const TSample* const* Channel, size_t Stride, size_t Frames) {
    const uint32_t outChannels = FPeaks.Channels;
    size_t done = 0;
    while (done < Frames) {
        if (FFill == 0) {
            for (uint32_t c = 0; c < outChannels; ++c) {
                FOpen[c * 2] = INT16_MAX;
                FOpen[c * 2 + 1] = INT16_MIN;
            }
        }
        const size_t take =
            size_t(std::min<int64_t>(int64_t(Frames - done), FPeaks.SamplesPerPixel - FFill));
        for (uint32_t c = 0; c < FInChannels; ++c) {
            const uint32_t out = FMerged ? 0 : c;
            const TSample* p = Channel[c] + done * Stride;
            TSample lo = *p, hi = *p;
            Extremes(p, Stride, take, lo, hi);
            FOpen[out * 2] = std::min(FOpen[out * 2], To16(lo));
            FOpen[out * 2 + 1] = std::max(FOpen[out * 2 + 1], To16(hi));
        }
        FFill += int64_t(take);
        FPeaks.TotalFrames += int64_t(take);
        done += take;
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

namespace {

// Frames between two progress reports when reading decoded frames (as many as a block of
// 16-bit stereo PCM holds on the other path).
constexpr int64_t kProgressFrames = 1 << 15;

// The peaks from the decoder's own frames (TWMIn::ReadDecoded); none when the reader cannot
// give them.
std::optional<TPeakData> DecodedPeaks(TWMIn& Source, int64_t SamplesPerPixel, bool Merged,
                                      const TPeakProgress& Progress) {
    std::optional<TPeakBuilder> builder;
    std::vector<const float*> floats;
    std::vector<const int16_t*> shorts;
    int64_t unreported = 0;
    const bool read = Source.ReadDecoded([&](const wmf::TWmDecoded& D) {
        if (!builder) builder.emplace(Source.SampleRate(), D.Channels, SamplesPerPixel, Merged);
        const size_t frames = size_t(D.Frames);
        const bool planar = D.Format == AV_SAMPLE_FMT_FLTP;
        const size_t stride = planar ? 1 : D.Channels;
        if (D.Format == AV_SAMPLE_FMT_FLTP || D.Format == AV_SAMPLE_FMT_FLT) {
            floats.resize(D.Channels);
            for (uint32_t c = 0; c < D.Channels; ++c)
                floats[c] = reinterpret_cast<const float*>(D.Planes[planar ? c : 0]) +
                            size_t(D.Offset) * stride + (planar ? 0 : c);
            builder->Feed(floats.data(), stride, frames);
        } else if (D.Format == AV_SAMPLE_FMT_S16) {
            shorts.resize(D.Channels);
            for (uint32_t c = 0; c < D.Channels; ++c)
                shorts[c] =
                    reinterpret_cast<const int16_t*>(D.Planes[0]) + size_t(D.Offset) * stride + c;
            builder->Feed(shorts.data(), stride, frames);
        } else {
            builder->FeedSilence(frames);
        }
        unreported += D.Frames;
        if (unreported < kProgressFrames) return true;
        unreported = 0;
        return !Progress || Progress(builder->Peaks());
    });
    if (!read || !builder) return std::nullopt;
    if (unreported > 0 && Progress) Progress(builder->Peaks());
    builder->Finish();
    return std::move(builder->Peaks());
}

} // namespace

TPeakData ComputePeaks(TAuInput& Source, int64_t SamplesPerPixel, bool Merged,
                       const TPeakProgress& Progress) {
    if (auto* media = dynamic_cast<TWMIn*>(&Source)) {
        if (auto peaks = DecodedPeaks(*media, SamplesPerPixel, Merged, Progress))
            return std::move(*peaks);
    }
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
