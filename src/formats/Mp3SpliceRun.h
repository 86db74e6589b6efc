// The frames around a junction of a splice: decoding a source's frames to the decoder's raw
// output, encoding a stretch of PCM into frames that sit on the output's frame grid, and
// moving the bit reservoir that the next copied frame reaches back into onto the end of
// those frames.
//
// Raw output: frame i of a stream decodes to samples i x SamplesPerFrame .. of the output a
// decoder gives before it trims the encoder delay. The encoder delays its input by its own
// delay and the decoder by kDecoderDelay more; frames are encoded without a bit reservoir,
// so each holds its own main data and any of them may follow a copied frame.
//
// Threading: pure functions but for the encoder, which is loaded on first use (lameEnc.h).
// Ownership: values only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/Mp3FrameCopy.h"
#include "platform/mp3Scan.h"

namespace sundral::mp3lossless {

using TFrameBytes = std::vector<uint8_t>;

// The decoder's raw output (interleaved 16-bit, the stream's channels) of audio frames
// [From, To) of Source; decoding starts a few frames earlier so that the overlap and the bit
// reservoir are as in a decode of the whole file. False when the frames do not decode.
bool DecodeFrames(TSource& Source, mp3scan::TMp3FrameIndex& Index,
                  const mp3scan::TMp3Header& Stream, uint64_t From, uint64_t To,
                  std::vector<int16_t>& Pcm);

// How the junction frames are encoded: the source's version, rate and channel mode.
struct TRunFormat {
    uint32_t StreamWord = 0; // a header word of the source's frames
    uint32_t Channels = 2;
    uint32_t SampleRate = 44100;
    uint32_t SamplesPerFrame = 1152;
    uint32_t Kbps = 128;
};

// Frames whose decode, following frames of the output, is Frames x SamplesPerFrame samples of
// Pcm from Lead(Format) on (Pcm holds that lead in front and at least one frame more after).
// Empty when the encoder is missing or refuses.
std::vector<TFrameBytes> EncodeRun(const TRunFormat& Format, const std::vector<int16_t>& Pcm,
                                   uint32_t Frames, std::string& Error);
// Samples of context in front of the run that EncodeRun expects in Pcm.
uint32_t RunLead(const TRunFormat& Format);
// Samples after the run that EncodeRun expects in Pcm.
uint32_t RunTail(const TRunFormat& Format);

// Puts Reservoir (the bytes the next frame's main_data_begin reaches back into) at the end of
// the run's last frame, written at a higher bit rate when its own main data leaves too little
// room. False when no bit rate holds both.
bool CarryReservoir(std::vector<TFrameBytes>& Run, const std::vector<uint8_t>& Reservoir);

} // namespace sundral::mp3lossless
