// Sample format conversion speed: our routines against libswresample doing the same
// conversion (same rate and layout, so it only converts), side by side in one run.
//
// Each conversion runs over one interleaved stereo block of 4096 samples, as the mixer uses
// it, repeated until the sample count of one repetition is reached. The two sides alternate
// for several repetitions; the best of each is reported as nanoseconds per sample, with the
// ratio ours / libswresample.
//
// Usage: conversion_bench [million samples per repetition, default 10] [repetitions, default 20]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "audio/AuProcs.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace {

constexpr int kBlockSamples = 4096;
constexpr int kChannels = 2;
constexpr int kBlockFrames = kBlockSamples / kChannels;
constexpr int kRate = 44100;

// Keeps the compiler from dropping conversions whose results are never read.
volatile uint32_t gSink = 0;

class TSwr {
public:
    TSwr(AVSampleFormat In, AVSampleFormat Out) {
        AVChannelLayout layout = AV_CHANNEL_LAYOUT_STEREO;
        if (swr_alloc_set_opts2(&FCtx, &layout, Out, kRate, &layout, In, kRate, 0, nullptr) < 0 ||
            swr_init(FCtx) < 0) {
            std::fprintf(stderr, "libswresample: cannot set up %s -> %s\n",
                         av_get_sample_fmt_name(In), av_get_sample_fmt_name(Out));
            std::exit(1);
        }
    }
    ~TSwr() { swr_free(&FCtx); }
    TSwr(const TSwr&) = delete;
    TSwr& operator=(const TSwr&) = delete;

    void Convert(const void* In, void* Out) {
        const uint8_t* in[1] = {static_cast<const uint8_t*>(In)};
        uint8_t* out[1] = {static_cast<uint8_t*>(Out)};
        int done = swr_convert(FCtx, out, kBlockFrames, in, kBlockFrames);
        if (done != kBlockFrames) {
            std::fprintf(stderr, "libswresample converted %d of %d frames\n", done, kBlockFrames);
            std::exit(1);
        }
    }

private:
    SwrContext* FCtx = nullptr;
};

// Nanoseconds per sample of one timed run of Blocks blocks.
double NsPerSample(const std::function<void()>& ConvertBlock, long Blocks) {
    auto start = std::chrono::steady_clock::now();
    for (long b = 0; b < Blocks; ++b) ConvertBlock();
    auto stop = std::chrono::steady_clock::now();
    double ns = std::chrono::duration<double, std::nano>(stop - start).count();
    return ns / (static_cast<double>(Blocks) * kBlockSamples);
}

// A buffer on a 64-byte boundary, so that neither side pays for split cache lines and
// libswresample can take its aligned vector paths.
template <typename T> class TAligned {
public:
    explicit TAligned(std::size_t N)
        : FData(static_cast<T*>(std::aligned_alloc(64, (N * sizeof(T) + 63) / 64 * 64))), FSize(N) {
        if (!FData) std::abort();
        std::fill(FData, FData + N, T{});
    }
    ~TAligned() { std::free(FData); }
    TAligned(const TAligned&) = delete;
    TAligned& operator=(const TAligned&) = delete;
    T* data() { return FData; }
    T& operator[](std::size_t I) { return FData[I]; }
    std::size_t size() const { return FSize; }

private:
    T* FData;
    std::size_t FSize;
};

struct TCase {
    std::string Name;
    std::string Peer;
    std::function<void()> Ours;
    std::function<void()> Swr;
};

} // namespace

int main(int argc, char** argv) {
    double millions = argc > 1 ? std::atof(argv[1]) : 10.0;
    int repeats = argc > 2 ? std::atoi(argv[2]) : 20;
    if (millions <= 0 || repeats <= 0) {
        std::fprintf(stderr, "usage: %s [million samples] [repetitions]\n", argv[0]);
        return 2;
    }
    const long blocks = std::max(1L, static_cast<long>(millions * 1e6 / kBlockSamples));

    // Noise in [-1, 1) with an occasional value beyond full scale, as a loud mix produces.
    std::mt19937 gen(12345);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    TAligned<float> floatsOurs(kBlockSamples), floatsSwr(kBlockSamples);
    for (int i = 0; i < kBlockSamples; ++i)
        floatsOurs[i] = floatsSwr[i] = (i % 97 == 0) ? 1.25f : dist(gen);
    TAligned<int16_t> int16In(kBlockSamples);
    for (int i = 0; i < kBlockSamples; ++i) int16In[i] = static_cast<int16_t>(gen());

    TAligned<float> floatOut(kBlockSamples);
    TAligned<int16_t> int16Out(kBlockSamples);
    TAligned<int32_t> int32Out(kBlockSamples);
    TAligned<uint8_t> int24Out(3 * kBlockSamples);

    TSwr s16ToFlt(AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_FLT);
    TSwr fltToS16(AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S16);
    TSwr fltToS32(AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S32);

    std::vector<TCase> cases;
    cases.push_back({"int16 -> float", "S16 -> FLT",
                     [&] {
                         sundral::Int16ToFloat(int16In.data(), floatOut.data(), kBlockSamples);
                         gSink = gSink + static_cast<uint32_t>(floatOut[7] * 100.0f);
                     },
                     [&] {
                         s16ToFlt.Convert(int16In.data(), floatOut.data());
                         gSink = gSink + static_cast<uint32_t>(floatOut[7] * 100.0f);
                     }});
    cases.push_back({"float -> int16", "FLT -> S16",
                     [&] {
                         sundral::FloatToInt16(floatsOurs.data(), int16Out.data(), kBlockSamples);
                         gSink = gSink + static_cast<uint32_t>(int16Out[7]);
                     },
                     [&] {
                         fltToS16.Convert(floatsSwr.data(), int16Out.data());
                         gSink = gSink + static_cast<uint32_t>(int16Out[7]);
                     }});
    cases.push_back({"float -> int24 packed", "FLT -> S32 (no packed 24-bit format)",
                     [&] {
                         sundral::FloatToInt24(floatsOurs.data(), int24Out.data(), kBlockSamples);
                         gSink = gSink + int24Out[7];
                     },
                     [&] {
                         fltToS32.Convert(floatsSwr.data(), int32Out.data());
                         gSink = gSink + static_cast<uint32_t>(int32Out[7]);
                     }});
    cases.push_back({"float -> int32", "FLT -> S32",
                     [&] {
                         sundral::FloatToInt32(floatsOurs.data(), int32Out.data(), kBlockSamples);
                         gSink = gSink + static_cast<uint32_t>(int32Out[7]);
                     },
                     [&] {
                         fltToS32.Convert(floatsSwr.data(), int32Out.data());
                         gSink = gSink + static_cast<uint32_t>(int32Out[7]);
                     }});

    std::printf("Sample conversion: %ld blocks of %d interleaved stereo samples per repetition "
                "(%.1f M samples), best of %d\n\n",
                blocks, kBlockSamples, blocks * kBlockSamples / 1e6, repeats);
    std::printf("%-22s %12s %14s %8s   %s\n", "conversion", "ours ns/smp", "swr ns/smp", "ratio",
                "libswresample peer");
    double worst = 0;
    for (const auto& c : cases) {
        // The two sides take turns, and each keeps its best run, so that a busy neighbour on
        // the machine slows both alike and passing noise drops out.
        c.Ours();
        c.Swr();
        double ours = 1e300, swr = 1e300;
        for (int r = 0; r < repeats; ++r) {
            ours = std::min(ours, NsPerSample(c.Ours, blocks));
            swr = std::min(swr, NsPerSample(c.Swr, blocks));
        }
        double ratio = ours / swr;
        worst = std::max(worst, ratio);
        std::printf("%-22s %12.4f %14.4f %8.2f   %s\n", c.Name.c_str(), ours, swr, ratio,
                    c.Peer.c_str());
    }
    std::printf("\nratio = ours / libswresample (target <= 1.00); worst %.2f\n", worst);
    return 0;
}
