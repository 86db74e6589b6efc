// Sample format conversion between the integer PCM layouts of sound files and 32-bit float
// in the range -1.0 to +1.0, plus the GUID comparison used to recognise format identifiers.
//
// Layouts: 8-bit samples are unsigned with silence at 128; 16-, 24- and 32-bit samples are
// little-endian two's complement. A packed 24-bit sample is 3 bytes: the low byte, then a
// signed 16-bit value holding the upper 16 bits. Counts are individual samples (a stereo frame
// is two samples), except for the in-place converters, which take a byte count.
//
// Threading: the routines keep no state and may run on any thread. They read the caller's
// floating-point rounding mode (expected to be the default, round to nearest even) and leave it
// as they found it (the vector code of FloatToInt32 switches the thread's mode for its loop).
// Ownership: every buffer belongs to the caller. Source and destination must not overlap,
// except in the in-place converters, which work on one buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Guid.h"

namespace sundral {

// float -> unsigned 8-bit: v >= 1.0 gives 255, v <= -1.0 or NaN gives 0, anything else
// floor((v + 1.0) * 128).
void FloatToUInt8(const float* Src, uint8_t* Dst, std::size_t Count);

// The three writers below clip Src in place first (the caller's array is changed): values of
// magnitude 1.0 or more become +1.0 when >= 1.0 and -1.0 otherwise (NaN included).
// Then v * 32767, single precision, rounded to nearest (ties to even).
void FloatToInt16(float* Src, int16_t* Dst, std::size_t Count);
// Then floor(v * 8388607), single precision; Dst receives 3 * Count bytes.
void FloatToInt24(float* Src, uint8_t* Dst, std::size_t Count);
// Then v * 2147483647, double precision, rounded to nearest (ties to even).
void FloatToInt32(float* Src, int32_t* Dst, std::size_t Count);

// Integer -> float; every result lies in [-1.0, 1.0).
void UInt8ToFloat(const uint8_t* Src, float* Dst, std::size_t Count);
void Int16ToFloat(const int16_t* Src, float* Dst, std::size_t Count);
// Src holds 3 * Count bytes.
void Int24ToFloat(const uint8_t* Src, float* Dst, std::size_t Count);
void Int32ToFloat(const int32_t* Src, float* Dst, std::size_t Count);

// IEEE-float file data -> signed 32-bit PCM in the same buffer. Converts Bytes / 8 doubles
// (Bytes / 4 floats), rounding the count down; the i-th result is stored as the i-th 32-bit
// integer of Buf, so the double version packs its results into the first half of the buffer.
// v >= 1.0 gives 2147483647, v <= -1.0 or NaN gives -2147483648, anything else
// floor(v * 2147483647.0) in extended precision. Buf needs no particular alignment.
void DoubleToInt32InPlace(void* Buf, uint32_t Bytes);
void FloatToInt32InPlace(void* Buf, uint32_t Bytes);

} // namespace sundral
