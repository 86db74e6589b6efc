// The two implementations behind the conversion routines of AuProcs.h: portable loops that
// any compiler turns into vector code, and AVX2 kernels for x86-64 processors that have it.
// The public routines run the AVX2 kernel (when available) over a leading run of whole
// vectors and the portable loop over the rest. Tests call both to check they agree.
//
// Threading and ownership as in AuProcs.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sundral::AuProcsKernels {

void FloatToInt16Portable(float* Src, int16_t* Dst, std::size_t Count);
void FloatToInt24Portable(float* Src, uint8_t* Dst, std::size_t Count);
void FloatToInt32Portable(float* Src, int32_t* Dst, std::size_t Count);
void Int16ToFloatPortable(const int16_t* Src, float* Dst, std::size_t Count);

// True when the processor and the operating system support AVX2.
bool HasAvx2();
// Each converts the longest prefix of whole vectors it can and returns its sample count. Call
// them only when HasAvx2() is true: on other processors they would stop on an illegal
// instruction (elsewhere than x86-64 they convert nothing).
std::size_t FloatToInt16Avx2(float* Src, int16_t* Dst, std::size_t Count);
std::size_t FloatToInt24Avx2(float* Src, uint8_t* Dst, std::size_t Count);
std::size_t FloatToInt32Avx2(float* Src, int32_t* Dst, std::size_t Count);
std::size_t Int16ToFloatAvx2(const int16_t* Src, float* Dst, std::size_t Count);

} // namespace sundral::AuProcsKernels
