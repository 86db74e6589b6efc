// The RIFF/WAVE header as the WAV reader understands it: the chunk scan that finds the
// "fmt ", "fact" and "data" chunks wherever they lie in a RIFF, RIFX or RF64 stream (the
// form itself within its first 65535 bytes), and the checks that decide whether the format
// found can be delivered safely.
//
// Threading: plain functions over a stream the caller owns and uses from one thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "formats/AuWaveTypes.h"
#include "platform/Streams.h"

namespace sundral {

// "RIFF" (or "RIFX", "RF64") and "WAVE" lie within this many bytes of the stream start.
constexpr int64_t kWaveFormSearchLimit = 65535;
// One decode buffer per reader; PCM is read into it, ADPCM blocks are decoded into it.
constexpr uint32_t kWaveBufferSize = 16384;
// The largest coefficient table a Microsoft ADPCM header may carry.
constexpr uint32_t kMsAdpcmMaxCoefs = 32;
// The longest "fmt " body read: the Microsoft ADPCM layout with a full coefficient table.
// Longer bodies are read this far; the bytes after it are not used by any layout.
constexpr uint32_t kWaveFmtBodyMax = 22 + 4 * kMsAdpcmMaxCoefs;

struct TMsAdpcmCoef {
    int16_t Coef1 = 0;
    int16_t Coef2 = 0;
};

// What the header scan found. Fields not used by a type stay 0.
struct TWaveFormat {
    TWavType WavType = TWavType::wtUnsupported;
    uint16_t FormatTag = 0;
    uint16_t Channels = 0;
    uint32_t SampleRate = 0;
    uint16_t BlockAlign = 0;
    uint16_t BitsPerSample = 0; // as stored (4 for ADPCM, 64 for double floats)
    bool BigEndian = false;     // a "RIFX" file: fields and samples are big-endian
    uint16_t SamplesPerBlock = 0;
    // Total frames from "fact" (ADPCM and codec-manager types; in RF64 from "ds64" when
    // "fact" holds 0xFFFFFFFF); -1 when the file has none.
    int64_t FactFrames = -1;
    uint16_t CoefCount = 0;
    std::array<TMsAdpcmCoef, kMsAdpcmMaxCoefs> Coefs{};
    int64_t DataStart = 0; // stream offset of the first audio byte
    int64_t DataSize = 0;  // "data" chunk size as declared (64-bit in RF64)
};

// Scans the header from the start of Stream. Returns the wave type and fills Format; any
// failure (no "RIFF"/"WAVE" within kWaveFormSearchLimit bytes, no "fmt " or "data" chunk,
// an unknown tag or sub-format, a "fmt " body shorter than its type needs, a codec-manager
// file without "fact", a compressed big-endian file) gives wtUnsupported and says why in
// Reason. ADPCM without "fact" has FactFrames -1: its blocks give the frame count.
// The stream position is left undefined. The format's parameters are not judged here: see
// WaveFormatProblem.
TWavType ScanWaveHeader(TStream& Stream, TWaveFormat& Format, std::string& Reason);

// Why the reader cannot deliver Format without overrunning its buffers or tables, or misread
// its samples; empty when it can (see the checks in the implementation).
std::string WaveFormatProblem(const TWaveFormat& Format);
inline bool WaveFormatUsable(const TWaveFormat& Format) {
    return WaveFormatProblem(Format).empty();
}

// Bytes one stored PCM sample occupies: the block align shared out over the channels when
// it holds at least the packed samples (24 bits may sit in 4 bytes, 20 in 3), else the bits
// rounded up to whole bytes (some writers leave the block align wrong). 0 when the block
// align holds whole samples of neither kind. Only meaningful for the PCM types.
uint32_t WavePcmContainerBytes(const TWaveFormat& Format);

// Frames one IMA ADPCM block of BlockAlign bytes decodes to (0 when it cannot hold the
// headers of Channels channels).
uint32_t ImaFramesPerBlock(uint32_t BlockAlign, uint32_t Channels);

} // namespace sundral
