// The part of a Layer III frame between the header and the main data: the side information,
// which tells where the frame's main data begins in the bit reservoir (main_data_begin bytes
// before the frame's own payload) and how many bits each granule and channel takes. Also the
// frame's optional CRC-16 and the header word's bit-rate field, which a frame copier rewrites.
//
// Threading: pure functions. Ownership: callers own every buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/mp3Scan.h"

namespace sundral::mp3frames {

// Bytes of side information: 17/32 (MPEG-1 mono/stereo), 9/17 (MPEG-2 and 2.5).
size_t SideInfoBytes(const mp3scan::TMp3Header& Header);
// Offset of the main data area in the frame: header, CRC when present, side information.
size_t PayloadOffset(const mp3scan::TMp3Header& Header);

struct TMp3SideInfo {
    uint32_t MainDataBegin = 0; // bytes before this frame's payload where its main data starts
    uint32_t MainDataBits = 0;  // sum of part2_3_length over granules and channels
    uint32_t BigValues = 0;     // the largest big_values; a decoder refuses more than 288
};

// Reads the side information of a Layer III frame (Frame holds Size bytes from the header
// on). False when the frame is shorter than header, CRC and side information.
bool ParseSideInfo(const uint8_t* Frame, size_t Size, const mp3scan::TMp3Header& Header,
                   TMp3SideInfo& Info);

// Sets main_data_begin to 0 in the frame's side information (Frame as for ParseSideInfo,
// Size checked by the caller).
void ClearMainDataBegin(uint8_t* Frame, const mp3scan::TMp3Header& Header);

// The header word with another bit-rate index and no padding slot; false when the index
// gives no valid frame (0 or 15, or a header that does not parse).
bool WithBitRateIndex(uint32_t Word, uint32_t Index, uint32_t& Result, mp3scan::TMp3Header& Header);

// The smallest frame of this stream (same header word but bit rate and padding) whose main
// data area holds at least PayloadBytes bytes; false when none does.
bool SmallestFrameFor(uint32_t Word, size_t PayloadBytes, uint32_t& Result,
                      mp3scan::TMp3Header& Header);

// The frame's CRC-16 (generator 0x8005, start 0xFFFF, over the header's last two bytes and
// the side information), written after the header when the frame is protected.
uint16_t FrameCrc(const uint8_t* Frame, const mp3scan::TMp3Header& Header);
void UpdateFrameCrc(uint8_t* Frame, const mp3scan::TMp3Header& Header);

uint32_t BigEndian32(const uint8_t* P);
void PutBigEndian32(uint8_t* P, uint32_t Value);

} // namespace sundral::mp3frames
