#include "formats/Mp3InfoFrame.h"

#include <cstring>

#include "formats/Mp3SideInfo.h"

namespace sundral::mp3frames {

using mp3scan::TMp3Header;

namespace {

// Tag fields after the tag word: flags, frames, bytes, seek table, quality.
constexpr size_t kTagBody = 4 + 4 + 4 + 100 + 4;
// Places inside the extension.
constexpr size_t kReplayGain = 11, kReplayGainBytes = 8, kDelayPadding = 21, kMusicLength = 28,
                 kMusicCrc = 32, kTagCrcAt = 34;

size_t TagAt(const TMp3Header& Header) {
    return 4 + SideInfoBytes(Header);
}

bool TrustedVersion(const uint8_t* P) {
    return std::memcmp(P, "LAME", 4) == 0 || std::memcmp(P, "Lavf", 4) == 0 ||
           std::memcmp(P, "Lavc", 4) == 0;
}

} // namespace

bool FindLameExtension(const uint8_t* Frame, size_t Size, const TMp3Header& Header,
                       TLameExtension& Extension) {
    const size_t at = TagAt(Header);
    if (Size < at + 8) return false;
    if (std::memcmp(Frame + at, "Xing", 4) != 0 && std::memcmp(Frame + at, "Info", 4) != 0)
        return false;
    const uint32_t flags = BigEndian32(Frame + at + 4);
    size_t ext = at + 8;
    if (flags & 1) ext += 4;
    if (flags & 2) ext += 4;
    if (flags & 4) ext += 100;
    if (flags & 8) ext += 4;
    if (Size < ext + kLameExtensionBytes || !TrustedVersion(Frame + ext)) return false;
    std::memcpy(Extension.data(), Frame + ext, kLameExtensionBytes);
    return true;
}

void ExtensionDelayPadding(const TLameExtension& Extension, uint32_t& Delay, uint32_t& Padding) {
    const uint8_t* e = Extension.data() + kDelayPadding;
    Delay = (uint32_t(e[0]) << 4) | (e[1] >> 4);
    Padding = (uint32_t(e[1] & 0xF) << 8) | e[2];
}

TLameExtension DefaultLameExtension() {
    TLameExtension e{};
    std::memcpy(e.data(), "LAME3.100", 9);
    return e;
}

uint16_t TagCrc(const uint8_t* Data, size_t Size, uint16_t Crc) {
    // Eight bytes a step (the music CRC runs over every byte a cut copies): table k gives a
    // byte's effect on the CRC k bytes further on.
    static const auto kTables = [] {
        std::array<std::array<uint16_t, 256>, 8> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int b = 0; b < 8; ++b) c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
            t[0][i] = uint16_t(c);
        }
        for (size_t k = 1; k < 8; ++k)
            for (uint32_t i = 0; i < 256; ++i)
                t[k][i] = uint16_t((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
        return t;
    }();
    uint32_t crc = Crc;
    size_t i = 0;
    for (; i + 8 <= Size; i += 8) {
        const uint8_t* p = Data + i;
        crc = kTables[7][(crc ^ p[0]) & 0xFF] ^ kTables[6][((crc >> 8) ^ p[1]) & 0xFF] ^
              kTables[5][p[2]] ^ kTables[4][p[3]] ^ kTables[3][p[4]] ^ kTables[2][p[5]] ^
              kTables[1][p[6]] ^ kTables[0][p[7]];
    }
    for (; i < Size; ++i) crc = (crc >> 8) ^ kTables[0][(crc ^ Data[i]) & 0xFF];
    return uint16_t(crc);
}

std::vector<uint8_t> BuildInfoFrame(uint32_t StreamWord, uint32_t PreferredIndex,
                                    const TInfoFrameFields& Fields) {
    // No CRC of its own; the frame holds silence, so the header's bit rate is free.
    const uint32_t base = StreamWord | (1u << 16);
    TMp3Header probe;
    if (!mp3scan::ParseMp3Header((base & ~(0xFu << 12)) | (1u << 12), probe)) return {};
    const size_t tagAt = TagAt(probe);
    const size_t needs = kTagBody + 4 + kLameExtensionBytes;
    uint32_t word = 0;
    TMp3Header header;
    const bool preferred =
        WithBitRateIndex(base, PreferredIndex, word, header) && header.FrameBytes >= tagAt + needs;
    if (!preferred && !SmallestFrameFor(base, needs, word, header)) return {};

    std::vector<uint8_t> frame(header.FrameBytes, 0);
    PutBigEndian32(frame.data(), word);
    uint8_t* p = frame.data() + tagAt;
    std::memcpy(p, Fields.VariableRate ? "Xing" : "Info", 4);
    PutBigEndian32(p + 4, 0x0F); // frames, bytes, seek table, quality
    PutBigEndian32(p + 8, Fields.Frames);
    PutBigEndian32(p + 12, Fields.Bytes);
    std::memcpy(p + 16, Fields.Toc.data(), Fields.Toc.size());
    PutBigEndian32(p + 116, 0);
    uint8_t* e = p + 4 + kTagBody;
    std::memcpy(e, Fields.Extension.data(), kLameExtensionBytes);
    std::memset(e + kReplayGain, 0, kReplayGainBytes);
    const uint32_t delay = Fields.Delay & 0xFFF, padding = Fields.Padding & 0xFFF;
    e[kDelayPadding] = uint8_t(delay >> 4);
    e[kDelayPadding + 1] = uint8_t(((delay & 0xF) << 4) | (padding >> 8));
    e[kDelayPadding + 2] = uint8_t(padding);
    PutBigEndian32(e + kMusicLength, Fields.Bytes);
    e[kMusicCrc] = uint8_t(Fields.MusicCrc >> 8);
    e[kMusicCrc + 1] = uint8_t(Fields.MusicCrc);
    // The tag's CRC covers the frame from its header up to the CRC itself.
    const size_t covered = size_t(e + kTagCrcAt - frame.data());
    const uint16_t crc = TagCrc(frame.data(), covered);
    e[kTagCrcAt] = uint8_t(crc >> 8);
    e[kTagCrcAt + 1] = uint8_t(crc);
    return frame;
}

} // namespace sundral::mp3frames
