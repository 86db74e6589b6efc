// Compressed test files made on the fly with ffmpeg, and ffmpeg's own decode of them as the
// reference a reader must match.
//
// Threading: the calls are independent; each runs ffmpeg in a child shell.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sundral_test {

// Encodes the lavfi source Signal (for example "sine=f=440:r=44100:d=2") with the output
// options Args (codec, rate, channels, tags) into File. True when ffmpeg succeeded.
bool MakeMediaFile(const std::filesystem::path& File, const std::string& Signal,
                   const std::string& Args);

// A two-tone test signal with noise at Rate for Seconds, Channels 1 or 2, as a lavfi source:
// every channel differs, so a swapped or shifted channel shows.
std::string TestSignal(uint32_t Rate, uint32_t Channels, double Seconds);

// ffmpeg's decode of File as interleaved 16-bit little-endian bytes (empty on failure).
std::vector<uint8_t> FfmpegDecodeBytes(const std::filesystem::path& File);

// Interleaved 16-bit little-endian bytes as samples.
std::vector<int16_t> Int16Samples(const std::vector<uint8_t>& Bytes);

// The shift, within +-MaxLag frames, at which Test's first channel best matches Reference's
// first channel from frame Offset on (Test frame f against Reference frame Offset + f + lag),
// by normalised correlation over Test's first Frames frames.
int64_t BestLag(const std::vector<int16_t>& Reference, const std::vector<int16_t>& Test,
                uint32_t Channels, int64_t Offset, int64_t Frames, int64_t MaxLag);

} // namespace sundral_test
