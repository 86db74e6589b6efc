// The tag frame at the start of an MP3 stream: a Layer III frame of silence whose main data
// area holds "Xing" (variable rate) or "Info" (constant rate), the frame and byte counts, a
// 100-entry seek table and the encoder's 36-byte extension (version text, settings, encoder
// delay and padding as two 12-bit numbers, music length and CRC, and the CRC of the tag).
// Decoders that find it skip the frame and trim delay + 529 samples at the start and the
// padding at the end.
//
// Threading: pure functions. Ownership: callers own every buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/mp3Scan.h"

namespace sundral::mp3frames {

constexpr size_t kLameExtensionBytes = 36;
using TLameExtension = std::array<uint8_t, kLameExtensionBytes>;

// The extension of a tag frame (Frame holds Size bytes from its header on): true and its
// bytes when the frame holds a Xing/Info tag followed by an extension whose version text
// starts with "LAME", "Lavf" or "Lavc".
bool FindLameExtension(const uint8_t* Frame, size_t Size, const mp3scan::TMp3Header& Header,
                       TLameExtension& Extension);

// The encoder delay and padding an extension holds.
void ExtensionDelayPadding(const TLameExtension& Extension, uint32_t& Delay, uint32_t& Padding);

// An extension for a stream that had none: a version text decoders trust, all settings 0.
TLameExtension DefaultLameExtension();

// CRC-16 of the tag and of the music (generator 0xA001 bit-reversed, start 0); Crc carries
// the value of the bytes before.
uint16_t TagCrc(const uint8_t* Data, size_t Size, uint16_t Crc = 0);

struct TInfoFrameFields {
    bool VariableRate = false; // "Xing" rather than "Info"
    uint32_t Frames = 0;       // audio frames after the tag frame
    uint32_t Bytes = 0;        // bytes of the tag frame and the audio frames
    std::array<uint8_t, 100> Toc{};
    TLameExtension Extension{}; // the source's, or DefaultLameExtension()
    uint32_t Delay = 0;         // 0 .. 4095
    uint32_t Padding = 0;       // 0 .. 4095
    uint16_t MusicCrc = 0;      // TagCrc over the audio frames
};

// The tag frame for a stream whose frames carry the header word StreamWord: the same version,
// rate and channel mode, no CRC, at PreferredIndex's bit rate when that frame holds the tag,
// else at the smallest that does. Replay-gain fields of the extension are cleared (they were
// measured on other audio). Empty when no frame of the stream holds the tag.
std::vector<uint8_t> BuildInfoFrame(uint32_t StreamWord, uint32_t PreferredIndex,
                                    const TInfoFrameFields& Fields);

} // namespace sundral::mp3frames
