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

} // namespace sundral
