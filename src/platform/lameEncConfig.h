// The encoder configuration record: 331 bytes, byte-packed, little-endian, every byte not
// named below zero. Callers build it with BeConfigBytes and hand the bytes to beInitStream,
// which reads them back with BeConfigFromBytes; the bytes are the contract between the two.
//
//   off  size field            meaning to the encoder adapter (lameEnc.h)
//     0  4    ConfigKind       256: this layout; anything else is refused
//     4  4    StructVersion    1 or later
//     8  4    StructSize       331 or more
//    12  4    SampleRate       the input's sample rate, Hz
//    16  4    ReSampleRate     output sample rate; 0 keeps the input's rate when MPEG audio
//                              has it, else the encoder picks the nearest it has
//    20  4    Mode             0 stereo, 1 joint stereo, 2 dual channel, 3 mono; mono input
//                              is one channel, every other mode takes two, interleaved
//    24  4    Bitrate          kbit/s: the constant rate, or the least for VBR and ABR
//    28  4    MaxBitrate       kbit/s: the most for VBR and ABR; 0 leaves the encoder's own
//    32  4    Preset           0 none, otherwise one of the encoder's preset numbers
//    36  4    MpegVersion      informational: the version follows from the sample rate
//    40  4    PsyModel         informational: the encoder has one model
//    44  4    Emphasis         0 none, 1 50/15 us, 3 CCITT J.17
//    48  4    Private          the private bit of each frame header
//    52  4    CRC              frame checksums
//    56  4    Copyright        the copyright bit
//    60  4    Original         the original bit
//    64  4    WriteVBRHeader   reserve the first frame for the tag that beWriteVBRHeader writes
//                              (frame count, seek table, encoder delay and padding)
//    68  4    EnableVBR        variable bit rate
//    72  4    VBRQuality       0 best .. 9
//    76  4    VbrAbrKbps       mean rate for ABR, kbit/s
//    80  4    VbrMethod        4 ABR (taken whenever VbrAbrKbps is not 0); with EnableVBR,
//                              any other value is the encoder's VBR
//    84  4    NoRes            non-zero: no bit reservoir
//    88  4    StrictISO        non-zero: strict ISO compliance
//    92  2    Quality          0: the encoder's default; otherwise the low byte (0 best .. 9)
//                              when the high byte is its complement, else the default
//    94  237  reserved
//
// Booleans are stored as 32-bit values, true as -1; any non-zero value reads as true.
//
// Threading: pure functions. Ownership: values only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace sundral {

inline constexpr std::size_t kBeConfigSize = 331;
inline constexpr uint32_t kBeConfigLame = 256;
using TBeConfigBytes = std::array<uint8_t, kBeConfigSize>;

// The record's fields in their order; values as stored.
struct TBeConfig {
    uint32_t ConfigKind = kBeConfigLame;
    uint32_t StructVersion = 1;
    uint32_t StructSize = kBeConfigSize;
    uint32_t SampleRate = 0;
    uint32_t ReSampleRate = 0;
    int32_t Mode = 0;
    uint32_t Bitrate = 0;
    uint32_t MaxBitrate = 0;
    int32_t Preset = 0;
    uint32_t MpegVersion = 0;
    uint32_t PsyModel = 0;
    uint32_t Emphasis = 0;
    int32_t Private = 0;
    int32_t CRC = 0;
    int32_t Copyright = 0;
    int32_t Original = 0;
    int32_t WriteVBRHeader = 0;
    int32_t EnableVBR = 0;
    int32_t VBRQuality = 0;
    uint32_t VbrAbrKbps = 0;
    int32_t VbrMethod = 0;
    int32_t NoRes = 0;
    int32_t StrictISO = 0;
    uint16_t Quality = 0;
};

// How a Boolean is stored in the record.
constexpr int32_t BeBool(bool Value) {
    return Value ? -1 : 0;
}

TBeConfigBytes BeConfigBytes(const TBeConfig& Config);
TBeConfig BeConfigFromBytes(const TBeConfigBytes& Bytes);

} // namespace sundral
