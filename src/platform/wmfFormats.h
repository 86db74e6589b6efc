// The fixed format lists of the runtime's two audio encoders (codec 0: WMA version 2,
// codec 1: WMA version 1). Both codecs offer the same formats.
//
// Constant-rate list: bit rates 24, 32, 40, 48, 64, 80, 96, 128, 160, 192, 256 and 320 kbps
// at 48, 44.1, 32, 22.05, 16, 11.025 and 8 kHz, stereo and mono, every combination of at
// most 4 coded bits per sample and channel (more buys a lossy codec nothing; the encoder's
// own floor is 24 kbps). Ordered by sample rate (highest first), stereo before mono, then
// by bit rate (lowest first); so index 29 is 128 kbps, 44 kHz, stereo, the format callers
// fall back to.
//
// Quality-based list (listed when "_VBRENABLED" is set): qualities 10, 25, 50, 75, 90 and 98
// at the same rates and channel counts, in the same order. A quality is encoded at a
// constant rate of 0.5, 0.75, 1, 1.5, 2 or 3 bits per sample and channel, kept within
// 24 kbps and the 4-bit ceiling above.
//
// There is no lossless encoder: neither list holds a lossless format.
//
// Threading: the tables are built once and only read afterwards; any thread may use them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sundral::wmf {

struct TWmCodecFormat {
    uint32_t Bitrate = 0; // bits per second
    uint32_t SampleRate = 0;
    uint16_t Channels = 0;
    uint8_t Quality = 0; // 0 for constant-rate formats
};

constexpr uint32_t kWmaCodecCount = 2;

// The list of a codec (both codecs share it): constant-rate, or quality-based when Vbr.
const std::vector<TWmCodecFormat>& WmaFormatList(bool Vbr);

// "128 kbps, 44 kHz, stereo CBR", "32 kbps,  8 kHz, mono CBR" (the kHz number takes two
// places), "Quality 50, 44 kHz, stereo VBR".
std::string WmaFormatDescription(const TWmCodecFormat& Format);

} // namespace sundral::wmf
