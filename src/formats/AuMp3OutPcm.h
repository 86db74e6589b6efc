// The MP3 writer's input side: one step's worth of the input's PCM, turned into the
// interleaved 16-bit samples the encoder takes.
//
// 16-bit input goes to the encoder as it was read. 8-, 24- and 32-bit input (32-bit is also
// what readers of float files deliver) goes through float to 16 bits with the routines of
// AuProcs.h. A stereo input for a mono encoder is mixed down to the mean of both channels.
//
// Threading: used by the writer's worker only. Ownership: the feed owns its buffers; they
// are allocated by Setup, so a step allocates nothing.
#pragma once

#include <cstdint>
#include <vector>

namespace sundral {

class TMp3PcmFeed {
public:
    // Whether input of this layout can be fed: 8, 16, 24 or 32 bits, 1 or 2 channels.
    static bool Supports(uint32_t BitsPerSample, uint32_t Channels);

    // Prepares for FramesPerStep frames of input per step; EncoderChannels is the input's
    // channel count or, for a stereo input, 1.
    void Setup(uint32_t BitsPerSample, uint32_t InputChannels, uint32_t EncoderChannels,
               uint32_t FramesPerStep);

    // Where a step's input goes, and how many bytes it takes.
    uint8_t* Buffer() { return reinterpret_cast<uint8_t*>(FInput.data()); }
    uint32_t StepBytes() const { return FStepBytes; }

    // Converts the first Bytes of Buffer (a trailing part of a frame is dropped) and returns
    // the encoder's samples, Samples of them (all channels counted).
    const int16_t* Convert(uint32_t Bytes, uint32_t& Samples);

private:
    uint32_t FBytesPerSample = 2;
    uint32_t FInputChannels = 2;
    uint32_t FEncoderChannels = 2;
    uint32_t FStepBytes = 0;
    std::vector<int32_t> FInput; // 32-bit cells so that every sample size is aligned in it
    std::vector<float> FFloat;
    std::vector<int16_t> FOutput;
};

} // namespace sundral
