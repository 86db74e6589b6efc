// AVX2 kernels of the conversion routines. They give bit for bit the results of the portable
// loops: the same single precision products, rounding by the current mode (the vector
// conversions honour it as the scalar ones do), exact floor, and for 32-bit output the result
// of the double precision product, reached without doubles when the caller rounds to nearest.
// The compiler may place AVX instructions anywhere in these functions, so the caller checks
// HasAvx2() before calling one; a check inside would come too late.
#include "audio/AuProcsKernels.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

#define SUNDRAL_AVX2 __attribute__((target("avx2")))
#define SUNDRAL_AVX2_FMA __attribute__((target("avx2,fma")))

namespace sundral::AuProcsKernels {

bool HasAvx2() {
    static const bool kHas = __builtin_cpu_supports("avx2");
    return kHas;
}

namespace {

// Every processor with AVX2 so far also has FMA, but they are separate features.
bool HasFma() {
    static const bool kHas = __builtin_cpu_supports("fma");
    return kHas;
}

// The clipping rule in two instructions: max returns its second operand when either is NaN,
// so NaN becomes -1.0 like everything not greater than -1.0; min then caps at +1.0.
SUNDRAL_AVX2 inline __m256 Clip(__m256 V) {
    V = _mm256_max_ps(V, _mm256_set1_ps(-1.0f));
    return _mm256_min_ps(V, _mm256_set1_ps(1.0f));
}

SUNDRAL_AVX2 inline __m256i MagnitudeBits(__m256 V) {
    return _mm256_and_si256(_mm256_castps_si256(V), _mm256_set1_epi32(0x7FFFFFFF));
}

// True when clipping changes one of the sixteen values whose magnitude bit patterns are MA and
// MB: magnitudes beyond 1.0 (infinities included) and NaN, whose patterns are larger still.
// Exact +-1.0 stay as they are, so the usual block, and one clipped before, costs no store.
SUNDRAL_AVX2 inline bool NeedsClip(__m256i MA, __m256i MB) {
    __m256i beyond = _mm256_cmpgt_epi32(_mm256_max_epi32(MA, MB), _mm256_set1_epi32(0x3F800000));
    return _mm256_movemask_ps(_mm256_castsi256_ps(beyond)) != 0;
}

// Clips sixteen values and writes them back to the caller's array.
SUNDRAL_AVX2 inline void ClipAndStore(float* P, __m256& A, __m256& B) {
    A = Clip(A);
    B = Clip(B);
    _mm256_storeu_ps(P, A);
    _mm256_storeu_ps(P + 8, B);
}

// Loads sixteen values into A and B, clipped (and written back) where needed.
SUNDRAL_AVX2 inline void LoadClipped(float* P, __m256& A, __m256& B) {
    A = _mm256_loadu_ps(P);
    B = _mm256_loadu_ps(P + 8);
    if (__builtin_expect(NeedsClip(MagnitudeBits(A), MagnitudeBits(B)), 0)) ClipAndStore(P, A, B);
}

// floor(v * 8388607) in single precision as eight 32-bit integers, whose low three bytes are
// gathered into the low 24 bytes of the result (the top 8 bytes are zero).
SUNDRAL_AVX2 inline __m256i ToInt24Packed(__m256 V) {
    // The truncating conversion is exact: floor has made the values integers.
    __m256i w = _mm256_cvttps_epi32(_mm256_floor_ps(_mm256_mul_ps(V, _mm256_set1_ps(8388607.0f))));
    // Keeps the low three bytes of each value: 12 bytes at the bottom of each 128-bit lane...
    const __m256i squeeze =
        _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6,
                         8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    // ...then the upper lane's 12 bytes move down next to the lower lane's.
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    return _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(w, squeeze), join);
}

// v * 2147483647 in double precision, rounded by the current mode: the rule itself.
SUNDRAL_AVX2 inline __m256i ToInt32Double(__m256 V) {
    const __m256d scale = _mm256_set1_pd(2147483647.0);
    __m128i lo =
        _mm256_cvtpd_epi32(_mm256_mul_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(V)), scale));
    __m128i hi =
        _mm256_cvtpd_epi32(_mm256_mul_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(V, 1)), scale));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
}

// The same result without double precision, for a caller whose rounding mode is to nearest,
// ties to even; it runs with the mode switched to upward. Magnitude holds the bit patterns of
// |v| (at most 1.0); the work is done on |v| and the sign put back at the end, which the
// caller's mode allows since it is symmetric.
//
// x = |v| * 2^31 is exact in float, and the exact product is x - |v|, rounded once to double
// and then to nearest:
// - |v| >= 2^-8: x is an integer and the fraction of x - |v| is 1 - |v|, so the answer is x
//   below |v| = 0.5 and x - 1 above, except where the double lands on the tie x - 0.5. Above
//   0.5 doubles near x - |v| step by 2^-22, so 0.5 <= |v| <= 0.5 + 2^-23 lands there (the last
//   one by ties to even); x is a multiple of 128 there, so the tie goes to x. Below 0.5 the
//   steps are 2^-23 and the band ends at 0.5 - 2^-24, giving x anyway. Hence x - 1 exactly
//   when |v| > 0.5 + 2^-23.
// - |v| < 2^-8: x < 2^23 may end in a half, but |v| is below 2^-7 of a float step of x, so
//   x - |v| lies strictly between the same integers and halves as x and never rounds onto a
//   half in double: the answer is x rounded to nearest with halves going down, ceil(x - 0.5).
// Upward, x - 0.5 is exact below 2^23 and rounds up to x above, so converting it gives both
// cases; the first then subtracts one beyond 0.5 + 2^-23. For |v| = 1 the conversion of 2^31
// gives -2^31 and subtracting one wraps to 2147483647, the right answer.
SUNDRAL_AVX2_FMA inline __m256i ToInt32Upward(__m256 V, __m256i Magnitude) {
    __m256 x = _mm256_fmadd_ps(_mm256_castsi256_ps(Magnitude), _mm256_set1_ps(2147483648.0f),
                               _mm256_set1_ps(-0.5f));
    __m256i past = _mm256_cmpgt_epi32(Magnitude, _mm256_set1_epi32(0x3F000002)); // 0.5 + 2^-23
    // The all-ones mask adds -1; sign_epi32 then gives the result the sign of v.
    __m256i r = _mm256_add_epi32(_mm256_cvtps_epi32(x), past);
    return _mm256_sign_epi32(r, _mm256_castps_si256(V));
}

// The loop of FloatToInt32Avx2 for a caller rounding to nearest. It must run with the mode set
// upward; being a separate function keeps the compiler from moving its arithmetic across the
// mode switches around the call.
SUNDRAL_AVX2_FMA __attribute__((noinline)) std::size_t FloatToInt32Upward(float* Src, int32_t* Dst,
                                                                          std::size_t Count) {
    std::size_t i = 0;
    for (; i + 16 <= Count; i += 16) {
        __m256 a = _mm256_loadu_ps(Src + i);
        __m256 b = _mm256_loadu_ps(Src + i + 8);
        __m256i ma = MagnitudeBits(a);
        __m256i mb = MagnitudeBits(b);
        if (__builtin_expect(NeedsClip(ma, mb), 0)) {
            ClipAndStore(Src + i, a, b);
            ma = MagnitudeBits(a);
            mb = MagnitudeBits(b);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dst + i), ToInt32Upward(a, ma));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dst + i + 8), ToInt32Upward(b, mb));
    }
    return i;
}

} // namespace

SUNDRAL_AVX2 std::size_t FloatToInt16Avx2(float* Src, int16_t* Dst, std::size_t Count) {
    const __m256 scale = _mm256_set1_ps(32767.0f);
    std::size_t i = 0;
    for (; i + 16 <= Count; i += 16) {
        __m256 a, b;
        LoadClipped(Src + i, a, b);
        __m256i ia = _mm256_cvtps_epi32(_mm256_mul_ps(a, scale));
        __m256i ib = _mm256_cvtps_epi32(_mm256_mul_ps(b, scale));
        // packs works within 128-bit lanes; the permute puts the four quarters in order.
        __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(ia, ib), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dst + i), packed);
    }
    return i;
}

SUNDRAL_AVX2 std::size_t FloatToInt24Avx2(float* Src, uint8_t* Dst, std::size_t Count) {
    std::size_t i = 0;
    // Eight samples go out as a 32-byte store of which the next store overwrites the last 8
    // bytes; the last one reaches 8 bytes into sample i + 16, so three more samples must follow
    // (the portable loop writes them afterwards).
    for (; i + 19 <= Count; i += 16) {
        __m256 a, b;
        LoadClipped(Src + i, a, b);
        uint8_t* d = Dst + 3 * i;
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), ToInt24Packed(a));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 24), ToInt24Packed(b));
    }
    return i;
}

SUNDRAL_AVX2 std::size_t FloatToInt32Avx2(float* Src, int32_t* Dst, std::size_t Count) {
    const unsigned csr = _mm_getcsr();
    if ((csr & 0x6000u) == 0 && HasFma()) { // rounding to nearest: take the shortcut
        _mm_setcsr(csr | 0x4000u);          // upward
        std::size_t done = FloatToInt32Upward(Src, Dst, Count);
        _mm_setcsr(csr);
        return done;
    }
    std::size_t i = 0;
    for (; i + 16 <= Count; i += 16) {
        __m256 a, b;
        LoadClipped(Src + i, a, b);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dst + i), ToInt32Double(a));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dst + i + 8), ToInt32Double(b));
    }
    return i;
}

SUNDRAL_AVX2 std::size_t Int16ToFloatAvx2(const int16_t* Src, float* Dst, std::size_t Count) {
    const __m256 scale = _mm256_set1_ps(1.0f / 32768.0f);
    std::size_t i = 0;
    for (; i + 16 <= Count; i += 16) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Src + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Src + i + 8));
        __m256 fa = _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(a));
        __m256 fb = _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(b));
        _mm256_storeu_ps(Dst + i, _mm256_mul_ps(fa, scale));
        _mm256_storeu_ps(Dst + i + 8, _mm256_mul_ps(fb, scale));
    }
    return i;
}

} // namespace sundral::AuProcsKernels

#else // other processors: the portable loops do everything

namespace sundral::AuProcsKernels {

bool HasAvx2() {
    return false;
}
std::size_t FloatToInt16Avx2(float*, int16_t*, std::size_t) {
    return 0;
}
std::size_t FloatToInt24Avx2(float*, uint8_t*, std::size_t) {
    return 0;
}
std::size_t FloatToInt32Avx2(float*, int32_t*, std::size_t) {
    return 0;
}
std::size_t Int16ToFloatAvx2(const int16_t*, float*, std::size_t) {
    return 0;
}

} // namespace sundral::AuProcsKernels

#endif
