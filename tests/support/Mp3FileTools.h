// Judges of MP3 files for tests: what ffprobe reports, the frame headers, the encoder's tag
// frame; and a test signal whose alignment after a lossy round trip can be measured.
//
// Threading: independent calls; the tools run in a child shell.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "PcmPatternSource.h"

namespace sundral_test {

// ffprobe's `-show_entries Entries`, "TAG:" prefixes dropped; empty when ffprobe fails.
std::map<std::string, std::string> FfprobeFields(const std::filesystem::path& File,
                                                 const std::string& Entries);

struct TMpegHeader {
    uint32_t SampleRate = 0;
    uint32_t Kbps = 0;
    int ChannelMode = 0; // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    bool Crc = false, Copyright = false, Original = false;
    uint32_t FrameBytes = 0;
};
// False unless the four bytes at At hold a Layer III header.
bool ReadMpegHeader(const std::vector<uint8_t>& File, size_t At, TMpegHeader& Header);

// The tag word in the file's first frame ("Info" or "Xing"; empty when there is none) and the
// encoder's method number after its version text (1 constant, 2 average, 3-5 variable rate;
// -1 when absent).
struct TEncoderTag {
    std::string Word;
    int Method = -1;
};
TEncoderTag ReadEncoderTag(const std::vector<uint8_t>& File);

// Refills the source with a rising chirp, channel c at gain 1 / (c + 1), in its own sample
// size; ChirpValue gives the sample as a float in [-1, 1].
void FillChirp(TPcmPatternSource& Source);
double ChirpValue(int64_t Frame, uint32_t SampleRate, uint32_t Channel);

} // namespace sundral_test
