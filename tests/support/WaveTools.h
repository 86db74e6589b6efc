// Independent judges of WAV files for tests: sox and ffprobe must accept what the project
// writes, and ffmpeg decodes what it encoded. Also little-endian field reads on file bytes.
//
// Threading: the calls are independent; each runs the tool in a child shell.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace sundral_test {

// Sample frames sox reports for the file (`sox --i -s`), -1 when sox rejects it.
int64_t SoxFrames(const std::filesystem::path& File);

// ffprobe's stream description (`-show_streams`) of an audio file it accepts without error;
// empty when it rejects the file or reports an error.
std::string FfprobeStreams(const std::filesystem::path& File);

// ffprobe's values for `-show_entries Entries` (e.g. "stream=sample_rate:format_tags"), by
// key; tags under their own names ("TAG:" dropped). Empty when ffprobe fails.
std::map<std::string, std::string> FfprobeEntries(const std::string& Input,
                                                  const std::string& Entries);

// The file decoded by ffmpeg to interleaved 16-bit samples; empty on failure.
std::vector<int16_t> FfmpegDecodeS16(const std::filesystem::path& File);

// The file decoded by sox to interleaved 16-bit samples, without dither (wider samples
// keep their upper 16 bits); empty on failure.
std::vector<int16_t> SoxDecodeS16(const std::filesystem::path& File);

// Writes a 16-bit PCM WAV in which every sample is non-zero and tells its frame:
// 1 + frame % 32000, plus 1000 per channel; a capture of it shows where it starts and how
// much it holds. Returns File, or an empty path when it cannot be written.
std::filesystem::path WriteCountingWave(const std::filesystem::path& File, uint32_t Rate,
                                        uint16_t Channels, int64_t Frames);

inline uint16_t U16At(const std::vector<uint8_t>& B, size_t At) {
    return uint16_t(B.at(At) | (B.at(At + 1) << 8));
}
inline uint32_t U32At(const std::vector<uint8_t>& B, size_t At) {
    return uint32_t(U16At(B, At)) | (uint32_t(U16At(B, At + 2)) << 16);
}

} // namespace sundral_test
