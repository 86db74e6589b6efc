// IMA ADPCM encoding of one block, the inverse of ImaDecodeStep.
//
// Block layout (block size B, mono or stereo):
//  - per channel, left first: the block's first sample (i16), the step index (byte), 0;
//  - mono: B - 4 bytes of 4-bit codes, low nibble first: 2 x (B - 4) more samples;
//  - stereo: B - 8 bytes in 4-byte groups, a left group then a right group, each carrying
//    eight codes of its channel, low nibble first: B - 8 more samples per channel.
// The encoder tracks the decoder's predictor exactly (it runs ImaDecodeStep on every code
// it emits), so the error never accumulates. The step index carries over from block to
// block; the predictor restarts from each block's first sample.
//
// Pure; the caller owns the state and the buffers. Any thread.
#pragma once

#include <cstdint>

namespace sundral {

struct TImaChannelState {
    int32_t Predictor = 0;
    int32_t StepIndex = 0; // 0..88
};

// Encodes ImaSamplesPerBlock(BlockSize, Channels) frames of interleaved 16-bit samples into
// BlockSize bytes at Block. Channels is 1 or 2, and ImaBlockSizeFits(BlockSize, Channels)
// holds. State holds Channels entries.
void ImaEncodeBlock(const int16_t* Frames, uint16_t Channels, uint16_t BlockSize,
                    TImaChannelState* State, uint8_t* Block);

} // namespace sundral
