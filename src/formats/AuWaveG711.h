// The two G.711 companding laws of telephone audio, expanded to 16-bit linear samples.
// Each 8-bit code holds a sign, a 3-bit segment and a 4-bit step within the segment; codes
// are stored with some bits inverted (A-law: the even bits, µ-law: all of them).
//
// Pure functions; any thread.
#pragma once

#include <cstdint>

namespace sundral {

// A-law: segment 0 is linear, each further segment doubles the step; 13-bit magnitudes
// scaled to 16 bits (largest 32256). The sign bit set means positive.
inline int16_t ALawExpand(uint8_t Code) {
    const uint32_t a = Code ^ 0x55u;
    const uint32_t segment = (a >> 4) & 7u;
    int32_t magnitude = int32_t((a & 0x0Fu) << 4);
    magnitude += segment == 0 ? 8 : 0x108;
    if (segment > 1) magnitude <<= segment - 1;
    return int16_t((a & 0x80u) ? magnitude : -magnitude);
}

// µ-law: segments carry a bias of 132 (33 in 14-bit units) that is taken off again; 14-bit
// magnitudes scaled to 16 bits (largest 32124). The sign bit set (after inversion) means
// negative.
inline int16_t MuLawExpand(uint8_t Code) {
    const uint32_t u = ~uint32_t(Code) & 0xFFu;
    const uint32_t segment = (u >> 4) & 7u;
    const int32_t magnitude = int32_t((((u & 0x0Fu) << 3) + 0x84u) << segment) - 0x84;
    return int16_t((u & 0x80u) ? -magnitude : magnitude);
}

} // namespace sundral
