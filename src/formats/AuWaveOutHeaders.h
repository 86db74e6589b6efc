// The three headers the WAV writer produces, and the numbers that go into them.
//
//  - plain PCM, 44 bytes: RIFF, "fmt " (16-byte body, tag 1), "data";
//  - extensible PCM, 68 bytes: "fmt " with a 40-byte body (tag 65534, valid bits, channel
//    mask, the PCM sub-format GUID), then "data";
//  - IMA ADPCM, 60 bytes: "fmt " with a 20-byte body (tag 17, 4 bits, samples per block),
//    "fact" with the frame count, then "data".
//
// All numbers little-endian. Sizes are 32-bit in the file; callers keep 64-bit counts and
// check them against WaveMaxFileEnd before anything is written, so no field ever wraps.
//
// A file that may pass what 32-bit sizes describe carries a 36-byte chunk right after
// "WAVE" (Ds64Room): "JUNK" while its sizes fit, the "ds64" chunk of RF64 once they do not
// (then "RIFF" reads "RF64" and the 32-bit size fields 0xFFFFFFFF).
//
// Pure functions; no state, any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/AuWaveRiff.h"

namespace sundral {

constexpr int kPcmHeaderSize = 44;
constexpr int kExtHeaderSize = 68;
constexpr int kImaHeaderSize = 60;

// Offsets of the fields that are patched once the real sizes are known.
constexpr int kRiffSizeOffset = 4;
constexpr int kPcmDataSizeOffset = 40;
constexpr int kExtDataSizeOffset = 64;
constexpr int kImaFactOffset = 48;
constexpr int kImaDataSizeOffset = 56;

// The RIFF size field (file length - 8 from the "RIFF" code) must fit in 32 bits: a file
// whose "RIFF" code starts at RiffStart may end at most here.
// Limit is the largest value a 32-bit size field may hold (lowered only by tests).
constexpr int64_t WaveMaxFileEnd(int64_t RiffStart, int64_t Limit = UINT32_MAX) {
    return RiffStart + 8 + Limit;
}

// The chunk that holds the place of "ds64" (code, size, 28-byte body), where it lies, and
// where the fields of the headers above move to behind it.
constexpr int kDs64ChunkSize = 36;
constexpr int kDs64Offset = 12;

// Header (one of the layouts above) with a "JUNK" chunk of kDs64ChunkSize bytes after
// "WAVE"; every field behind it lies kDs64ChunkSize bytes later.
std::vector<uint8_t> WithDs64Room(const uint8_t* Header, size_t Size);

// A size field for a size not known yet: the largest value, so that a file left behind by a
// crash reads as "data up to the end" rather than as empty.
constexpr uint32_t kUnknownSizeField = UINT32_MAX;

// Speaker positions of the extensible header: 1 -> front left, 2 -> 3, 6 -> 63 (5.1),
// 8 -> 255 (7.1); other counts up to 18 take the lowest N positions; above 18 there are no
// positions left to name, and the mask is 0 (channels not tied to speakers).
uint32_t WaveChannelMask(uint32_t Channels);

// Frames in one IMA block: 2 x (BlockSize - 4) + 1 mono, BlockSize - 7 stereo.
// Only meaningful when ImaBlockSizeFits(BlockSize, Channels).
uint32_t ImaSamplesPerBlock(uint16_t BlockSize, uint16_t Channels);

// Whether the mono or stereo IMA layout can fill a block of this size: at least one byte of
// codes (mono) or one group pair of 8 bytes (stereo, whose code area must be whole pairs),
// and a frame count that fits the 16-bit samples-per-block field.
bool ImaBlockSizeFits(uint32_t BlockSize, uint32_t Channels);

std::array<uint8_t, kPcmHeaderSize> MakePcmHeader(uint32_t SampleRate, uint16_t Channels,
                                                  uint16_t BitsPerSample, uint32_t DataSize,
                                                  uint32_t RiffSize);

std::array<uint8_t, kExtHeaderSize> MakeExtensibleHeader(uint32_t SampleRate, uint16_t Channels,
                                                         uint16_t BitsPerSample, uint32_t DataSize,
                                                         uint32_t RiffSize);

std::array<uint8_t, kImaHeaderSize> MakeImaHeader(uint32_t SampleRate, uint16_t Channels,
                                                  uint16_t BlockSize, uint32_t TotalFrames,
                                                  uint32_t DataSize, uint32_t RiffSize);

} // namespace sundral
