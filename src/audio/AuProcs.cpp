#include "audio/AuProcs.h"

#include "audio/AuProcsKernels.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace sundral {

namespace {

// The rounding tricks below need every float and double operation rounded to its own type.
static_assert(FLT_EVAL_METHOD == 0, "float arithmetic must not carry excess precision");

// Loops run in fixed blocks of kBlock samples so that the compiler sees a known trip count and
// turns each block into vector code even at -O2; the remainder runs one sample at a time.
// Blocks that read or write bytes go through a local array, which cannot alias the caller's
// buffers and so needs no run-time overlap checks.
constexpr std::size_t kBlock = 16;

// Adding and removing 1.5 * 2^23 (2^52 for double) rounds a value of magnitude below 2^22
// (2^51) to an integer in the current rounding mode, ties to even by default. Unlike
// nearbyint it compiles to plain vector arithmetic on every x86-64.
constexpr float kRoundF = 12582912.0f;
constexpr double kRoundD = 6755399441055744.0;

// Bit patterns of the clipping limits.
constexpr uint32_t kPlusOne = 0x3F800000u;  // 1.0f
constexpr uint32_t kMinusOne = 0xBF800000u; // -1.0f
constexpr uint32_t kBelowOne = 0x3F7FFFFFu; // largest float below 1.0

// The clipping rule: a value whose biased exponent is 127 or more (magnitude >= 1.0, infinity,
// NaN) becomes Positive when it is >= 1.0 and -1.0 otherwise (NaN included); smaller values
// stay. It works on the bit pattern: with the default trapping-math rules the compiler will
// not turn floating-point comparisons into vector selects, but integer ones it will.
inline float Clip(float V, uint32_t Positive) {
    uint32_t u = std::bit_cast<uint32_t>(V);
    bool big = (u & 0x7FFFFFFFu) >= kPlusOne;
    uint32_t limit = u <= 0x7F800000u ? Positive : kMinusOne; // sign clear, up to +infinity
    return std::bit_cast<float>(big ? limit : u);
}

// floor for |x| < 2^23: truncate, then step down when truncation went up (negative
// fractions). t - x is exact and below 1 in magnitude, and a positive float has a positive
// bit pattern, so the test needs no floating-point comparison either.
inline int32_t FloorToInt(float X) {
    int32_t t = static_cast<int32_t>(X);
    float up = static_cast<float>(t) - X;
    return t - (std::bit_cast<int32_t>(up) > 0 ? 1 : 0);
}

inline uint8_t FloatToUInt8Value(float V) {
    // floor((v + 1) * 128) == floor(v * 128) + 128 exactly, and v * 128 is exact in float.
    // Clipping >= 1.0 to the float just below 1.0 gives floor 127, so 255 at most.
    return static_cast<uint8_t>(FloorToInt(Clip(V, kBelowOne) * 128.0f) + 128);
}

inline int32_t RoundToInt(float X) {
    return static_cast<int32_t>((X + kRoundF) - kRoundF);
}

inline int32_t RoundToInt(double X) {
    return static_cast<int32_t>((X + kRoundD) - kRoundD);
}

inline void Store24(uint8_t* P, int32_t W) {
    uint32_t u = static_cast<uint32_t>(W);
    P[0] = static_cast<uint8_t>(u);
    P[1] = static_cast<uint8_t>(u >> 8);
    P[2] = static_cast<uint8_t>(u >> 16);
}

inline int32_t Load24(const uint8_t* P) {
    uint32_t u = uint32_t{P[0]} << 8 | uint32_t{P[1]} << 16 | uint32_t{P[2]} << 24;
    return static_cast<int32_t>(u) >> 8; // arithmetic shift sign-extends the upper 16 bits
}

// The in-place rule, shared by the float and double versions.
inline int32_t InPlaceValue(long double V) {
    if (V >= 1.0L) return 2147483647;
    if (!(V > -1.0L)) return -2147483647 - 1; // also NaN
    if (V == 0.0L) return 0;
    return static_cast<int32_t>(std::floor(V * 2147483647.0L));
}

} // namespace

// ---- portable loops ----

namespace AuProcsKernels {

void FloatToInt16Portable(float* Src, int16_t* Dst, std::size_t Count) {
    std::size_t i = 0;
    for (; i + kBlock <= Count; i += kBlock) {
        float in[kBlock];
        int16_t out[kBlock];
        std::memcpy(in, Src + i, sizeof in);
        for (std::size_t k = 0; k < kBlock; ++k) {
            in[k] = Clip(in[k], kPlusOne);
            out[k] = static_cast<int16_t>(RoundToInt(in[k] * 32767.0f));
        }
        std::memcpy(Src + i, in, sizeof in);
        std::memcpy(Dst + i, out, sizeof out);
    }
    for (; i < Count; ++i) {
        Src[i] = Clip(Src[i], kPlusOne);
        Dst[i] = static_cast<int16_t>(RoundToInt(Src[i] * 32767.0f));
    }
}

void FloatToInt24Portable(float* Src, uint8_t* Dst, std::size_t Count) {
    std::size_t i = 0;
    for (; i + kBlock <= Count; i += kBlock) {
        float in[kBlock];
        int32_t w[kBlock];
        uint8_t out[3 * kBlock];
        std::memcpy(in, Src + i, sizeof in);
        for (std::size_t k = 0; k < kBlock; ++k) {
            in[k] = Clip(in[k], kPlusOne);
            w[k] = FloorToInt(in[k] * 8388607.0f);
        }
        for (std::size_t k = 0; k < kBlock; ++k) Store24(out + 3 * k, w[k]);
        std::memcpy(Src + i, in, sizeof in);
        std::memcpy(Dst + 3 * i, out, sizeof out);
    }
    for (; i < Count; ++i) {
        Src[i] = Clip(Src[i], kPlusOne);
        Store24(Dst + 3 * i, FloorToInt(Src[i] * 8388607.0f));
    }
}

void FloatToInt32Portable(float* Src, int32_t* Dst, std::size_t Count) {
    std::size_t i = 0;
    for (; i + kBlock <= Count; i += kBlock) {
        float in[kBlock];
        int32_t out[kBlock];
        std::memcpy(in, Src + i, sizeof in);
        for (std::size_t k = 0; k < kBlock; ++k) {
            in[k] = Clip(in[k], kPlusOne);
            out[k] = RoundToInt(static_cast<double>(in[k]) * 2147483647.0);
        }
        std::memcpy(Src + i, in, sizeof in);
        std::memcpy(Dst + i, out, sizeof out);
    }
    for (; i < Count; ++i) {
        Src[i] = Clip(Src[i], kPlusOne);
        Dst[i] = RoundToInt(static_cast<double>(Src[i]) * 2147483647.0);
    }
}

void Int16ToFloatPortable(const int16_t* Src, float* Dst, std::size_t Count) {
    constexpr float kScale = 1.0f / 32768.0f;
    std::size_t i = 0;
    for (; i + kBlock <= Count; i += kBlock) {
        int16_t in[kBlock];
        float out[kBlock];
        std::memcpy(in, Src + i, sizeof in);
        for (std::size_t k = 0; k < kBlock; ++k) out[k] = static_cast<float>(in[k]) * kScale;
        std::memcpy(Dst + i, out, sizeof out);
    }
    for (; i < Count; ++i) Dst[i] = static_cast<float>(Src[i]) * kScale;
}

} // namespace AuProcsKernels

// ---- public routines: the AVX2 kernel takes what it can, the portable loop the rest ----

void FloatToInt16(float* Src, int16_t* Dst, std::size_t Count) {
    std::size_t done =
        AuProcsKernels::HasAvx2() ? AuProcsKernels::FloatToInt16Avx2(Src, Dst, Count) : 0;
    AuProcsKernels::FloatToInt16Portable(Src + done, Dst + done, Count - done);
}

void FloatToInt24(float* Src, uint8_t* Dst, std::size_t Count) {
    std::size_t done =
        AuProcsKernels::HasAvx2() ? AuProcsKernels::FloatToInt24Avx2(Src, Dst, Count) : 0;
    AuProcsKernels::FloatToInt24Portable(Src + done, Dst + 3 * done, Count - done);
}

void FloatToInt32(float* Src, int32_t* Dst, std::size_t Count) {
    std::size_t done =
        AuProcsKernels::HasAvx2() ? AuProcsKernels::FloatToInt32Avx2(Src, Dst, Count) : 0;
    AuProcsKernels::FloatToInt32Portable(Src + done, Dst + done, Count - done);
}

void Int16ToFloat(const int16_t* Src, float* Dst, std::size_t Count) {
    std::size_t done =
        AuProcsKernels::HasAvx2() ? AuProcsKernels::Int16ToFloatAvx2(Src, Dst, Count) : 0;
    AuProcsKernels::Int16ToFloatPortable(Src + done, Dst + done, Count - done);
}

void FloatToUInt8(const float* Src, uint8_t* Dst, std::size_t Count) {
    std::size_t i = 0;
    for (; i + kBlock <= Count; i += kBlock) {
        float in[kBlock];
        uint8_t out[kBlock];
        std::memcpy(in, Src + i, sizeof in);
        for (std::size_t k = 0; k < kBlock; ++k) out[k] = FloatToUInt8Value(in[k]);
        std::memcpy(Dst + i, out, sizeof out);
    }
    for (; i < Count; ++i) Dst[i] = FloatToUInt8Value(Src[i]);
}

void UInt8ToFloat(const uint8_t* Src, float* Dst, std::size_t Count) {
    std::size_t i = 0;
    for (; i + kBlock <= Count; i += kBlock) {
        uint8_t in[kBlock];
        float out[kBlock];
        std::memcpy(in, Src + i, sizeof in);
        for (std::size_t k = 0; k < kBlock; ++k)
            out[k] = static_cast<float>(in[k]) * 0.0078125f - 1.0f;
        std::memcpy(Dst + i, out, sizeof out);
    }
    for (; i < Count; ++i) Dst[i] = static_cast<float>(Src[i]) * 0.0078125f - 1.0f;
}

void Int24ToFloat(const uint8_t* Src, float* Dst, std::size_t Count) {
    constexpr float kScale = 1.0f / 8388608.0f;
    std::size_t i = 0;
    for (; i + kBlock <= Count; i += kBlock) {
        uint8_t in[3 * kBlock];
        int32_t w[kBlock];
        float out[kBlock];
        std::memcpy(in, Src + 3 * i, sizeof in);
        for (std::size_t k = 0; k < kBlock; ++k) w[k] = Load24(in + 3 * k);
        for (std::size_t k = 0; k < kBlock; ++k) out[k] = static_cast<float>(w[k]) * kScale;
        std::memcpy(Dst + i, out, sizeof out);
    }
    for (; i < Count; ++i) Dst[i] = static_cast<float>(Load24(Src + 3 * i)) * kScale;
}

void Int32ToFloat(const int32_t* Src, float* Dst, std::size_t Count) {
    // int -> float rounds once; the power-of-two scale is exact, so this is s / 2^31 rounded
    // to single precision.
    constexpr float kScale = 1.0f / 2147483648.0f;
    std::size_t i = 0;
    for (; i + kBlock <= Count; i += kBlock) {
        int32_t in[kBlock];
        float out[kBlock];
        std::memcpy(in, Src + i, sizeof in);
        for (std::size_t k = 0; k < kBlock; ++k) out[k] = static_cast<float>(in[k]) * kScale;
        std::memcpy(Dst + i, out, sizeof out);
    }
    for (; i < Count; ++i) Dst[i] = static_cast<float>(Src[i]) * kScale;
}

void DoubleToInt32InPlace(void* Buf, uint32_t Bytes) {
    auto* p = static_cast<uint8_t*>(Buf);
    const uint32_t n = Bytes / 8;
    // Result i lands on bytes 4i..4i+3, which belong to value i/2 or earlier: already read.
    for (uint32_t i = 0; i < n; ++i) {
        double v;
        std::memcpy(&v, p + 8 * std::size_t{i}, sizeof v);
        int32_t r = InPlaceValue(v);
        std::memcpy(p + 4 * std::size_t{i}, &r, sizeof r);
    }
}

void FloatToInt32InPlace(void* Buf, uint32_t Bytes) {
    auto* p = static_cast<uint8_t*>(Buf);
    const uint32_t n = Bytes / 4;
    for (uint32_t i = 0; i < n; ++i) {
        float v;
        std::memcpy(&v, p + 4 * std::size_t{i}, sizeof v);
        int32_t r = InPlaceValue(v);
        std::memcpy(p + 4 * std::size_t{i}, &r, sizeof r);
    }
}

} // namespace sundral
