// The codec manager's MPEG Layer-3 driver: decodes a buffer of MPEG audio frames to
// interleaved 16-bit PCM. Internal to the codec manager (acm.cpp); hides the decoding
// library from everything else.
//
// Threading: each call is self-contained (its own decoder state); calls may run concurrently.
// Ownership: Src and Dst belong to the caller and are only used during the call.
#pragma once

#include <cstdint>

#include "platform/acm.h"

namespace sundral::acm_mp3 {

// The nine sample rates MPEG-1, MPEG-2 and MPEG-2.5 frames can carry.
bool IsMpegSampleRate(uint32_t SampleRate);

// The most PCM sample frames that SrcLength bytes of MPEG audio frames at SampleRate can
// decode to: every frame at the smallest size its layer allows at that rate, plus one partial
// frame. Frames at another rate are dropped by Decode, so they cannot exceed it.
uint64_t MaxSampleFrames(uint64_t SrcLength, uint32_t SampleRate);

struct TMp3DecodeResult {
    TAcmResult Result = acmOk;
    uint64_t SrcUsed = 0;
    uint64_t DstUsed = 0;         // bytes of PCM written to Dst
    uint64_t FramesDecoded = 0;   // frames whose samples went to Dst
    uint64_t PacketsRejected = 0; // frames the decoder refused (damaged data), skipped
    uint64_t FramesDropped = 0;   // decoded frames at a sample rate other than SampleRate
};

// Decodes every frame in Src. Output: SampleRate, Channels (1 or 2; frames with the other
// count are mixed to it), 16-bit signed little-endian interleaved. Damaged frames are skipped.
// Fails with acmErrNoAudio when no frame decoded, acmErrDestTooSmall when the output would
// pass DstLength, acmErrNoMem or acmErrNotPossible when the decoder cannot be set up.
TMp3DecodeResult Decode(const uint8_t* Src, uint64_t SrcLength, uint32_t SampleRate,
                        uint32_t Channels, uint8_t* Dst, uint64_t DstLength);

} // namespace sundral::acm_mp3
