// AVX2 kernels of the conversion routines. They give bit for bit the results of the portable
// loops: the same single or double precision products, rounding by the current mode (the
// vector conversions honour it as the scalar ones do), exact floor.
// The compiler may place AVX instructions anywhere in these functions, so the caller checks
// HasAvx2() before calling one; a check inside would come too late.
#include "audio/AuProcsKernels.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

#define SUNDRAL_AVX2 __attribute__((target("avx2")))

namespace sundral::AuProcsKernels {

namespace {

// The clipping rule in two instructions: max returns its second operand when either is NaN,
// so NaN becomes -1.0 like everything not greater than -1.0; min then caps at +1.0.
SUNDRAL_AVX2 inline __m256 Clip(__m256 v) {
    v = _mm256_max_ps(v, _mm256_set1_ps(-1.0f));
    return _mm256_min_ps(v, _mm256_set1_ps(1.0f));
}

// Loads sixteen values into A and B. Blocks without a value of magnitude 1.0 or more (nor
// NaN, which compares unordered) need no clipping, the usual case; others are clipped and
// written back to the caller's array.
SUNDRAL_AVX2 inline void LoadClipped(float* P, __m256& A, __m256& B) {
    const __m256 magnitude = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
    const __m256 one = _mm256_set1_ps(1.0f);
    A = _mm256_loadu_ps(P);
    B = _mm256_loadu_ps(P + 8);
    __m256 big = _mm256_or_ps(_mm256_cmp_ps(_mm256_and_ps(A, magnitude), one, _CMP_NLT_UQ),
                              _mm256_cmp_ps(_mm256_and_ps(B, magnitude), one, _CMP_NLT_UQ));
    if (__builtin_expect(_mm256_movemask_ps(big) != 0, 0)) {
        A = Clip(A);
        B = Clip(B);
        _mm256_storeu_ps(P, A);
        _mm256_storeu_ps(P + 8, B);
    }
}

} // namespace

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

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
    const __m256 scale = _mm256_set1_ps(8388607.0f);
    // Keeps the low three bytes of each 32-bit value: 12 bytes at the bottom of each lane.
    const __m256i squeeze =
        _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6,
                         8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    std::size_t i = 0;
    // Each lane goes out as a 16-byte store of which the next store overwrites the last 4
    // bytes; the last one reaches 4 bytes into sample i + 16, so two more samples must follow
    // (the portable loop writes them afterwards).
    for (; i + 18 <= Count; i += 16) {
        __m256 a, b;
        LoadClipped(Src + i, a, b);
        // The truncating conversions are exact: floor has made the values integers.
        __m256i wa = _mm256_cvttps_epi32(_mm256_floor_ps(_mm256_mul_ps(a, scale)));
        __m256i wb = _mm256_cvttps_epi32(_mm256_floor_ps(_mm256_mul_ps(b, scale)));
        wa = _mm256_shuffle_epi8(wa, squeeze);
        wb = _mm256_shuffle_epi8(wb, squeeze);
        uint8_t* d = Dst + 3 * i;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(wa));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 12), _mm256_extracti128_si256(wa, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 24), _mm256_castsi256_si128(wb));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 36), _mm256_extracti128_si256(wb, 1));
    }
    return i;
}

SUNDRAL_AVX2 std::size_t FloatToInt32Avx2(float* Src, int32_t* Dst, std::size_t Count) {
    const __m256d scale = _mm256_set1_pd(2147483647.0);
    std::size_t i = 0;
    for (; i + 16 <= Count; i += 16) {
        __m256 a, b;
        LoadClipped(Src + i, a, b);
        const __m128 quarter[4] = {_mm256_castps256_ps128(a), _mm256_extractf128_ps(a, 1),
                                   _mm256_castps256_ps128(b), _mm256_extractf128_ps(b, 1)};
        for (int q = 0; q < 4; ++q) {
            __m256d x = _mm256_mul_pd(_mm256_cvtps_pd(quarter[q]), scale);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(Dst + i + 4 * q), _mm256_cvtpd_epi32(x));
        }
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
