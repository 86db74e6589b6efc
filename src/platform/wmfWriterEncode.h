// Inside the runtime's writer (private to src/platform): the chain PCM -> float -> resampler
// -> WMA encoder -> ASF muxer -> sinks, for one stream.
//
// The encoder codes a frame of silence before the first input sample (see wmfWriter.h on
// priming) and pads the last frame with silence.
//
// Threading: one thread at a time. Ownership: the pipe owns every library object it opens;
// it refers to the sinks it writes to without owning them (the writer keeps them alive).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/wmfWriter.h"

struct AVAudioFifo;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVIOContext;
struct SwrContext;

namespace sundral::wmf {

struct TWmEncodeSettings {
    uint32_t Codec = 0; // 0 WMA version 2, 1 version 1
    TWmCodecFormat Format;
    TWaveFormatEx Input;                                       // PCM
    std::vector<std::pair<std::string, std::string>> Metadata; // library keys, UTF-8 values
    std::vector<TWmWriterSink*> Sinks;
};

class TWmEncodePipe {
public:
    ~TWmEncodePipe();

    // Opens encoder, resampler and container and writes the header. On failure Status tells
    // what to report (wmsMissingCodec or wmsContainerFailed).
    TWmResult Open(const TWmEncodeSettings& Settings, TWmStatus& Status);
    // Whole input frames.
    TWmResult Write(const uint8_t* Pcm, uint32_t Bytes, TWmStatus& Status);
    // Flushes resampler and encoder, pads the last frame, writes the trailer.
    TWmResult Finish(TWmStatus& Status);

private:
    static int WritePacket(void* Opaque, uint8_t* Buffer, int Size);
    static int64_t SeekStream(void* Opaque, int64_t Offset, int Whence);

    // Resamples InFrames frames (In null: what the resampler still holds) and codes every
    // whole frame gathered.
    TWmResult Convert(const uint8_t** In, int InFrames, TWmStatus& Status);
    TWmResult EncodeFrame(TWmStatus& Status);
    TWmResult Drain(TWmStatus& Status);

    TWmEncodeSettings FSettings;
    AVCodecContext* FCodec = nullptr;
    AVFormatContext* FFormat = nullptr;
    AVIOContext* FIo = nullptr;
    SwrContext* FSwr = nullptr;
    AVAudioFifo* FFifo = nullptr;
    AVFrame* FFrame = nullptr;
    AVPacket* FPacket = nullptr;
    int FFrameSize = 0;
    int64_t FNextPts = 0;  // in samples of the coded rate; the priming frame is at 0
    int64_t FPosition = 0; // container bytes: current offset
    int64_t FEnd = 0;      // and the end
    bool FSinkFailed = false;
    std::vector<int32_t> FWide;    // 24-bit input widened to 32 bits, interleaved
    std::vector<uint8_t*> FPlanes; // resampler output, one plane per channel
    int FPlaneCapacity = 0;
};

} // namespace sundral::wmf
