// The two ADPCM block decoders of the WAV reader. Each turns one block into interleaved
// little-endian 16-bit PCM; the decoder state comes from the block's own header, so blocks
// decode independently.
//
// The callers check the layout first (WaveFormatUsable): 1 or 2 channels, a block large
// enough for its headers and codes, and a coefficient table of 1..32 pairs. Values inside
// a block are not trusted: a step index above 88 or a predictor index beyond the table is
// clamped.
//
// Threading: pure functions; Out belongs to the caller.
#pragma once

#include <cstdint>

#include "formats/AuWaveInFormat.h"

namespace sundral {

// Decodes an IMA ADPCM block of BlockAlign bytes into ImaFramesPerBlock(BlockAlign,
// Channels) frames at Out; returns that frame count. Stereo blocks must carry whole 8-byte
// group pairs after their 8 header bytes.
uint32_t DecodeImaBlock(const uint8_t* Block, uint32_t BlockAlign, uint32_t Channels, int16_t* Out);

// Frames a block of the format's layout delivers when only its first Bytes bytes are present
// (a file cut short mid-block): those whose codes are all there, none without the headers.
// SamplesPerBlock for a whole block.
uint32_t AdpcmFramesPresent(const TWaveFormat& Format, uint32_t Bytes);

// Decodes a Microsoft ADPCM block into SamplesPerBlock frames at Out; returns that count.
// The block must hold 7 header bytes per channel and (SamplesPerBlock - 2) codes per channel.
uint32_t DecodeMsAdpcmBlock(const uint8_t* Block, uint32_t Channels, uint32_t SamplesPerBlock,
                            const TMsAdpcmCoef* Coefs, uint32_t CoefCount, int16_t* Out);

} // namespace sundral
