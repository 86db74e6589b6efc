// The MP3 writer's bit-rate choices, in kilobits per second; mbrAuto lets the writer follow
// its input. The order is fixed: windows and the writer index by it.
#pragma once

#include <cstdint>

namespace sundral {

enum class TMP3BitRate : uint8_t {
    mbrAuto,
    mbr32,
    mbr40,
    mbr48,
    mbr56,
    mbr64,
    mbr80,
    mbr96,
    mbr112,
    mbr128,
    mbr144,
    mbr160,
    mbr192,
    mbr224,
    mbr256,
    mbr320
};

// The rate in kbit/s; 0 for mbrAuto.
constexpr uint32_t Mp3BitRateKbps(TMP3BitRate Value) {
    constexpr uint16_t kKbps[] = {0,   32,  40,  48,  56,  64,  80,  96,
                                  112, 128, 144, 160, 192, 224, 256, 320};
    return kKbps[static_cast<uint8_t>(Value) & 15];
}

} // namespace sundral
