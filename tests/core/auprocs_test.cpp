#include "audio/AuProcs.h"
#include "audio/AuProcsKernels.h"

#include <bit>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

using namespace sundral;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// Lengths around the 16-sample blocks the routines work in (the packed 24-bit kernel needs
// three samples of slack after a block), plus a mixer-sized block.
const std::size_t kLengths[] = {0, 1, 15, 16, 17, 18, 19, 33, 35, 4096 + 5};

// Values across full scale, beyond it, and the special ones in the first half; only values
// inside full scale in the second half, where vector code may skip the clipping. Both halves
// reach into whole vector blocks and into the sample-at-a-time remainder.
std::vector<float> Mixed(std::size_t N) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> wide(-1.2f, 1.2f), inside(-0.999f, 0.999f);
    const float specials[] = {kNaN, kInf, -kInf, 1.0f, -1.0f, 0.0f, -0.0f, 0.5f, -0.5f};
    std::vector<float> v(N);
    for (std::size_t i = 0; i < N; ++i) {
        if (i >= N / 2)
            v[i] = inside(gen);
        else
            v[i] = i % 5 == 0 ? specials[(i / 5) % 9] : wide(gen);
    }
    return v;
}

float Clipped(float v) {
    return v >= 1.0f ? 1.0f : (v > -1.0f ? v : -1.0f);
}

int32_t Get24(const uint8_t* p) {
    return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | (p[2] & 0x80 ? 0xFF << 24 : 0));
}

} // namespace

TEST(FloatToUInt8, EdgeValues) {
    const struct {
        float In;
        int Out;
    } cases[] = {{0.0f, 128},
                 {0.999f, 255},
                 {-1.0f, 0},
                 {1.0f, 255},
                 {2.0f, 255},
                 {-2.0f, 0},
                 {kNaN, 0},
                 {kInf, 255},
                 {-kInf, 0},
                 {0.5f, 192},
                 {-0.5f, 64},
                 {-1e-30f, 127},
                 {0x1.fffffep-1f, 255},
                 {-0x1.fffffep-1f, 0}};
    for (const auto& c : cases) {
        uint8_t out = 77;
        FloatToUInt8(&c.In, &out, 1);
        EXPECT_EQ(out, c.Out) << "input " << c.In;
    }
}

TEST(FloatToInt, ClipInPlaceAndEdgeValues) {
    float src[] = {0.5f, 1.5f, -2.0f, kNaN, 1.0f, -1.0f, kInf, -kInf, 0.25f};
    const int16_t want16[] = {16384, 32767, -32767, -32767, 32767, -32767, 32767, -32767, 8192};
    int16_t out16[9];
    FloatToInt16(src, out16, 9);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(out16[i], want16[i]) << "sample " << i;
    // The source now holds the clipped values; in-range ones are untouched.
    const float clipped[] = {0.5f, 1.0f, -1.0f, -1.0f, 1.0f, -1.0f, 1.0f, -1.0f, 0.25f};
    EXPECT_EQ(std::memcmp(src, clipped, sizeof src), 0);

    float src24[] = {1.0f, -1.0f, kNaN, 0.5f, -0.5f};
    uint8_t out24[15];
    FloatToInt24(src24, out24, 5);
    const uint8_t head[] = {0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x80, 0x01, 0x00, 0x80};
    EXPECT_EQ(std::memcmp(out24, head, sizeof head), 0);
    EXPECT_EQ(Get24(out24 + 9), 4194303);   // floor(4194303.5)
    EXPECT_EQ(Get24(out24 + 12), -4194304); // floor(-4194303.5)

    float src32[] = {1.0f, -1.0f, kNaN, 0.5f, 1e9f};
    int32_t out32[5];
    FloatToInt32(src32, out32, 5);
    const int32_t want32[] = {2147483647, -2147483647, -2147483647, 1073741824, 2147483647};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(out32[i], want32[i]) << "sample " << i;
}

// Every length, including the sample-at-a-time remainder, must give the per-sample rule and
// must not write past the end; the public routines (vector kernels where the processor has
// them) and the portable loops alike.
struct TWriters {
    const char* Name;
    void (*ToInt16)(float*, int16_t*, std::size_t);
    void (*ToInt24)(float*, uint8_t*, std::size_t);
    void (*ToInt32)(float*, int32_t*, std::size_t);
};

TEST(FloatToInt, MatchesPerSampleRuleAtEveryLength) {
    const TWriters writers[] = {{"public", FloatToInt16, FloatToInt24, FloatToInt32},
                                {"portable", AuProcsKernels::FloatToInt16Portable,
                                 AuProcsKernels::FloatToInt24Portable,
                                 AuProcsKernels::FloatToInt32Portable}};
    for (const TWriters& w : writers) {
        for (std::size_t n : kLengths) {
            SCOPED_TRACE(testing::Message() << w.Name << " length " << n);
            const std::vector<float> in = Mixed(n);
            std::vector<float> s8 = in, s16 = in, s24 = in, s32 = in;
            std::vector<uint8_t> o8(n + 1, 0xAA), o24(3 * n + 1, 0xAA);
            std::vector<int16_t> o16(n + 1, 0x5555);
            std::vector<int32_t> o32(n + 1, 0x55555555);
            FloatToUInt8(s8.data(), o8.data(), n);
            w.ToInt16(s16.data(), o16.data(), n);
            w.ToInt24(s24.data(), o24.data(), n);
            w.ToInt32(s32.data(), o32.data(), n);
            for (std::size_t i = 0; i < n; ++i) {
                const float c = Clipped(in[i]);
                const float u8 = std::isnan(in[i]) ? -1.0f : std::min(in[i], 0x1.fffffep-1f);
                ASSERT_EQ(o8[i], std::floor((std::max(u8, -1.0f) + 1.0) * 128)) << i;
                ASSERT_EQ(o16[i], std::nearbyint(c * 32767.0f)) << i;
                ASSERT_EQ(Get24(&o24[3 * i]), std::floor(c * 8388607.0f)) << i;
                ASSERT_EQ(o32[i], std::nearbyint(double{c} * 2147483647.0)) << i;
                for (const auto* s : {&s16, &s24, &s32})
                    ASSERT_EQ(std::memcmp(&(*s)[i], &c, sizeof c), 0) << i;
            }
            EXPECT_EQ(o8[n], 0xAA);
            EXPECT_EQ(o16[n], 0x5555);
            EXPECT_EQ(o24[3 * n], 0xAA);
            EXPECT_EQ(o32[n], 0x55555555);
        }
    }
}

// The 32-bit writer reaches the double precision result without doubles when the caller
// rounds to nearest. Checks every float in the ranges where that shortcut changes behaviour
// (around +-0.5, where the double product rounds to a tie, around +-2^-8, where x = v * 2^31
// stops being an integer, tiny values and near +-1) and a stride over all of [-1, 1], against
// the double product itself. Values go through in blocks, so vector code and the remainder
// both see them.
std::vector<int32_t> Int32Mismatches(const std::vector<float>& In) {
    std::vector<float> s = In;
    std::vector<int32_t> out(In.size());
    FloatToInt32(s.data(), out.data(), s.size());
    std::vector<int32_t> bad;
    for (std::size_t i = 0; i < In.size() && bad.size() < 10; ++i)
        if (out[i] != std::nearbyint(double{In[i]} * 2147483647.0))
            bad.push_back(static_cast<int32_t>(i));
    return bad;
}

void AddAround(std::vector<float>& V, float Centre, uint32_t Steps) {
    const uint32_t c = std::bit_cast<uint32_t>(Centre);
    for (uint32_t k = c - Steps; k <= c + Steps; ++k) {
        V.push_back(std::bit_cast<float>(k));
        V.push_back(-std::bit_cast<float>(k));
    }
}

TEST(FloatToInt32, MatchesDoubleProductInCriticalRanges) {
    std::vector<float> v;
    AddAround(v, 0.5f, 1 << 16);
    AddAround(v, 0x1p-8f, 1 << 16);
    AddAround(v, 0x1p-24f, 1 << 12);
    AddAround(v, 0x1p-126f, 1 << 12); // smallest normals and largest subnormals
    AddAround(v, 0x1.fffffcp-1f, 2);  // up to 1.0
    for (uint32_t k = 0; k < (1 << 14); ++k) v.push_back(std::bit_cast<float>(k)); // tiny
    for (uint32_t k = 0; k <= 0x3F800000u; k += 4099) {
        v.push_back(std::bit_cast<float>(k));
        v.push_back(-std::bit_cast<float>(k));
    }
    for (int32_t i : Int32Mismatches(v))
        ADD_FAILURE() << std::hexfloat << v[i] << " gives a result other than the double product";
}

// Every float in [-1, 1], about 2.1e9 values; too slow for every run, so run it on demand with
// --gtest_also_run_disabled_tests after changing the 32-bit writer.
TEST(FloatToInt32, DISABLED_MatchesDoubleProductEverywhere) {
    constexpr uint32_t kChunk = 1 << 20;
    std::vector<float> v;
    for (uint64_t k = 0; k <= 0x3F800000u; ++k) {
        v.push_back(std::bit_cast<float>(static_cast<uint32_t>(k)));
        v.push_back(-v.back());
        if (v.size() >= kChunk || k == 0x3F800000u) {
            for (int32_t i : Int32Mismatches(v)) ADD_FAILURE() << std::hexfloat << v[i];
            v.clear();
        }
    }
}

// In the directed modes up and down the 32-bit writer rounds the double product by that mode,
// like the scalar code, and it leaves the caller's mode as it found it. (Toward zero is left
// out: the scalar rounding trick floors negative values there.)
TEST(FloatToInt32, FollowsAndKeepsTheRoundingMode) {
    struct TRestore {
        ~TRestore() { std::fesetround(FE_TONEAREST); }
    } restore;
    std::vector<float> in = Mixed(4096 + 5);
    AddAround(in, 0.5f, 64);
    AddAround(in, 0x1p-8f, 64);
    for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TONEAREST}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        ASSERT_EQ(std::fesetround(mode), 0);
        std::vector<float> s = in;
        std::vector<int32_t> out(in.size());
        FloatToInt32(s.data(), out.data(), s.size());
        EXPECT_EQ(std::fegetround(), mode);
        for (std::size_t i = 0; i < in.size(); ++i) {
            const volatile double product = double{Clipped(in[i])} * 2147483647.0;
            ASSERT_EQ(out[i], std::nearbyint(product)) << std::hexfloat << in[i];
        }
    }
}

TEST(Int16ToFloat, PublicAndPortableAgree) {
    for (std::size_t n : kLengths) {
        std::vector<int16_t> in(n);
        for (std::size_t i = 0; i < n; ++i) in[i] = static_cast<int16_t>(i * 2654435761u >> 16);
        std::vector<float> a(n + 1, 7.0f), b(n + 1, 7.0f);
        Int16ToFloat(in.data(), a.data(), n);
        AuProcsKernels::Int16ToFloatPortable(in.data(), b.data(), n);
        for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(a[i], in[i] / 32768.0f) << n << ":" << i;
        EXPECT_EQ(a, b);
    }
}

TEST(IntToFloat, ExactScaling) {
    std::vector<uint8_t> b(256);
    for (int i = 0; i < 256; ++i) b[i] = static_cast<uint8_t>(i);
    std::vector<float> f(256);
    UInt8ToFloat(b.data(), f.data(), 256);
    EXPECT_EQ(f[0], -1.0f);
    EXPECT_EQ(f[128], 0.0f);
    EXPECT_EQ(f[255], 0.9921875f);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(f[i], i / 128.0f - 1.0f);

    const uint8_t p24[] = {0x80, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80};
    float f24[3];
    Int24ToFloat(p24, f24, 3);
    EXPECT_EQ(f24[0], 128.0f / 8388608.0f);
    EXPECT_EQ(f24[1], -1.0f / 8388608.0f);
    EXPECT_EQ(f24[2], -1.0f);

    const int32_t i32[] = {2147483647, -2147483647 - 1, 1, 0x40000001};
    float f32[4];
    Int32ToFloat(i32, f32, 4);
    EXPECT_EQ(f32[0], 1.0f); // rounded to single precision
    EXPECT_EQ(f32[1], -1.0f);
    EXPECT_EQ(f32[2], 0x1p-31f);
    EXPECT_EQ(f32[3], 0.5f);
}

// Reading divides by 32768 but writing multiplies by 32767 in single precision, so a round
// trip is not the identity: small values come back unchanged, larger ones may move one step
// toward zero, and -32768 clips to -32767.
TEST(RoundTrip, Int16ThroughFloat) {
    std::vector<int16_t> in(65536), out(65536);
    for (int i = 0; i < 65536; ++i) in[i] = static_cast<int16_t>(i - 32768);
    std::vector<float> f(65536);
    Int16ToFloat(in.data(), f.data(), in.size());
    for (int i = 0; i < 65536; ++i) ASSERT_EQ(f[i], in[i] / 32768.0f);
    FloatToInt16(f.data(), out.data(), f.size());
    for (int s = -32768; s <= 32767; ++s) {
        const int got = out[s + 32768];
        const int moved = got - s;
        if (std::abs(s) <= 8192) {
            ASSERT_EQ(moved, 0) << s;
        }
        ASSERT_TRUE(moved == 0 || moved == (s > 0 ? -1 : 1)) << s;
        if (s > -32768) {
            ASSERT_GE(got, out[s + 32767]) << s; // monotonic
        }
    }
}

// Reading divides by 2^23; writing floors after multiplying by 2^23 - 1 in single precision.
// Positive values come back exactly one lower; zero and negative ones unchanged or one step
// toward zero.
TEST(RoundTrip, Int24ThroughFloatFullSweep) {
    constexpr int32_t kChunk = 1 << 16;
    std::vector<uint8_t> in(3 * kChunk), out(3 * kChunk);
    std::vector<float> f(kChunk);
    int32_t previous = INT32_MIN;
    for (int32_t base = -(1 << 23); base < (1 << 23); base += kChunk) {
        for (int32_t k = 0; k < kChunk; ++k) {
            const uint32_t w = static_cast<uint32_t>(base + k);
            in[3 * k] = w & 0xFF;
            in[3 * k + 1] = (w >> 8) & 0xFF;
            in[3 * k + 2] = (w >> 16) & 0xFF;
        }
        Int24ToFloat(in.data(), f.data(), kChunk);
        FloatToInt24(f.data(), out.data(), kChunk);
        for (int32_t k = 0; k < kChunk; ++k) {
            const int32_t w = base + k;
            const int32_t got = Get24(&out[3 * k]);
            if (w > 0) {
                ASSERT_EQ(got, w - 1) << w;
            } else {
                ASSERT_TRUE(got == w || got == w + 1) << w;
            }
            ASSERT_GE(got, previous) << w;
            previous = got;
        }
    }
}

TEST(InPlace, DoubleToInt32PacksIntoFirstHalf) {
    const double in[] = {0.5, -0.5,     1.0,    -1.0,    std::nan(""),
                         0.0, -0.0,     1e-300, -1e-300, std::nextafter(1.0, 0.0),
                         2.0, -INFINITY};
    // Extended precision: the largest double below 1 floors to 2147483646, where a double
    // product would round up to 2147483647.
    const int32_t want[] = {
        1073741823, -1073741824, 2147483647, -2147483647 - 1, -2147483647 - 1, 0,
        0,          0,           -1,         2147483646,      2147483647,      -2147483647 - 1};
    // One byte of offset: file buffers need not be aligned.
    std::vector<uint8_t> buf(1 + sizeof in);
    std::memcpy(buf.data() + 1, in, sizeof in);
    DoubleToInt32InPlace(buf.data() + 1, sizeof in);
    int32_t got[12];
    std::memcpy(got, buf.data() + 1, sizeof got);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(got[i], want[i]) << "value " << i;
    // The second half still holds the last six doubles untouched.
    EXPECT_EQ(std::memcmp(buf.data() + 1 + sizeof got, in + 6, 6 * sizeof(double)), 0);
}

TEST(InPlace, PartialValuesAreLeftAlone) {
    const double d[2] = {0.25, -0.25};
    uint8_t buf[16];
    std::memcpy(buf, d, 16);
    DoubleToInt32InPlace(buf, 12); // one value; bytes 4..11 unchanged
    int32_t first;
    std::memcpy(&first, buf, 4);
    EXPECT_EQ(first, 536870911);
    EXPECT_EQ(std::memcmp(buf + 4, reinterpret_cast<const uint8_t*>(d) + 4, 12), 0);

    std::memcpy(buf, d, 16);
    DoubleToInt32InPlace(buf, 16); // two values in the first 8 bytes
    int32_t two[2];
    std::memcpy(two, buf, 8);
    EXPECT_EQ(two[0], 536870911);
    EXPECT_EQ(two[1], -536870912);

    std::memcpy(buf, d, 16);
    DoubleToInt32InPlace(buf, 7);
    FloatToInt32InPlace(buf, 3);
    EXPECT_EQ(std::memcmp(buf, d, 16), 0);

    const float f[3] = {0.5f, kNaN, -1.5f};
    std::memcpy(buf, f, 12);
    FloatToInt32InPlace(buf, 12);
    int32_t three[3];
    std::memcpy(three, buf, 12);
    EXPECT_EQ(three[0], 1073741823);
    EXPECT_EQ(three[1], -2147483647 - 1);
    EXPECT_EQ(three[2], -2147483647 - 1);
}

TEST(Guid, EveryByteCounts) {
    const TGUID a{0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    EXPECT_TRUE(IsEqualGUID(a, a));
    for (int byte = 0; byte < 16; ++byte) {
        TGUID b = a;
        if (byte < 4)
            b.D1 ^= 1u << (8 * byte);
        else if (byte < 6)
            b.D2 ^= static_cast<uint16_t>(1u << (8 * (byte - 4)));
        else if (byte < 8)
            b.D3 ^= static_cast<uint16_t>(1u << (8 * (byte - 6)));
        else
            b.D4[byte - 8] ^= 1;
        EXPECT_FALSE(IsEqualGUID(a, b)) << "byte " << byte;
    }
}
