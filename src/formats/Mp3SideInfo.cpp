#include "formats/Mp3SideInfo.h"

#include <algorithm>

namespace sundral::mp3frames {

using mp3scan::TMp3Header;
using mp3scan::TMpegVersion;

namespace {

// Reads bits most significant first from a byte buffer the caller has checked.
class TBitReader {
public:
    explicit TBitReader(const uint8_t* Data) : FData(Data) {}
    uint32_t Read(uint32_t Count) {
        uint32_t v = 0;
        for (uint32_t i = 0; i < Count; ++i, ++FBit)
            v = (v << 1) | ((FData[FBit >> 3] >> (7 - (FBit & 7))) & 1u);
        return v;
    }
    void Skip(uint32_t Count) { FBit += Count; }

private:
    const uint8_t* FData;
    size_t FBit = 0;
};

bool Mpeg1(const TMp3Header& Header) {
    return Header.Version == TMpegVersion::mvMpeg1;
}

} // namespace

uint32_t BigEndian32(const uint8_t* P) {
    return (uint32_t(P[0]) << 24) | (uint32_t(P[1]) << 16) | (uint32_t(P[2]) << 8) | P[3];
}

void PutBigEndian32(uint8_t* P, uint32_t Value) {
    for (int i = 0; i < 4; ++i) P[i] = uint8_t(Value >> (24 - 8 * i));
}

size_t SideInfoBytes(const TMp3Header& Header) {
    if (Mpeg1(Header)) return Header.Channels == 1 ? 17 : 32;
    return Header.Channels == 1 ? 9 : 17;
}

size_t PayloadOffset(const TMp3Header& Header) {
    return 4 + (Header.Protected ? 2 : 0) + SideInfoBytes(Header);
}

bool ParseSideInfo(const uint8_t* Frame, size_t Size, const TMp3Header& Header,
                   TMp3SideInfo& Info) {
    if (Header.Layer != 3 || Size < PayloadOffset(Header)) return false;
    TBitReader bits(Frame + 4 + (Header.Protected ? 2 : 0));
    const bool mpeg1 = Mpeg1(Header);
    const uint32_t channels = Header.Channels;
    TMp3SideInfo info;
    if (mpeg1) {
        info.MainDataBegin = bits.Read(9);
        bits.Skip(channels == 1 ? 5 : 3); // private bits
        bits.Skip(4 * channels);          // scale factor selection
    } else {
        info.MainDataBegin = bits.Read(8);
        bits.Skip(channels == 1 ? 1 : 2);
    }
    const uint32_t granules = mpeg1 ? 2 : 1;
    for (uint32_t gr = 0; gr < granules; ++gr) {
        for (uint32_t ch = 0; ch < channels; ++ch) {
            info.MainDataBits += bits.Read(12); // part2_3_length
            info.BigValues = std::max(info.BigValues, bits.Read(9));
            bits.Skip(8);             // global_gain
            bits.Skip(mpeg1 ? 4 : 9); // scalefac_compress
            if (bits.Read(1))         // window switching: type, mixed, 2 tables, gains
                bits.Skip(2 + 1 + 10 + 9);
            else // 3 tables, region counts
                bits.Skip(15 + 4 + 3);
            bits.Skip(mpeg1 ? 3 : 2); // (preflag,) scalefac_scale, count1table_select
        }
    }
    Info = info;
    return true;
}

void ClearMainDataBegin(uint8_t* Frame, const TMp3Header& Header) {
    uint8_t* side = Frame + 4 + (Header.Protected ? 2 : 0);
    side[0] = 0;
    if (Mpeg1(Header)) side[1] &= 0x7F; // the ninth bit
}

bool WithBitRateIndex(uint32_t Word, uint32_t Index, uint32_t& Result, TMp3Header& Header) {
    if (Index == 0 || Index >= 15) return false;
    const uint32_t word = (Word & ~(0xFu << 12) & ~(1u << 9)) | (Index << 12);
    if (!mp3scan::ParseMp3Header(word, Header)) return false;
    Result = word;
    return true;
}

bool SmallestFrameFor(uint32_t Word, size_t PayloadBytes, uint32_t& Result, TMp3Header& Header) {
    for (uint32_t index = 1; index < 15; ++index) {
        uint32_t word = 0;
        TMp3Header h;
        if (!WithBitRateIndex(Word, index, word, h)) continue;
        if (h.FrameBytes >= PayloadOffset(h) + PayloadBytes) {
            Result = word;
            Header = h;
            return true;
        }
    }
    return false;
}

uint16_t FrameCrc(const uint8_t* Frame, const TMp3Header& Header) {
    uint32_t crc = 0xFFFF;
    auto feed = [&crc](uint8_t Byte) {
        for (int i = 7; i >= 0; --i) {
            const bool top = ((crc >> 15) & 1u) != (((Byte >> i) & 1u) != 0);
            crc = (crc << 1) & 0xFFFF;
            if (top) crc ^= 0x8005;
        }
    };
    feed(Frame[2]);
    feed(Frame[3]);
    const size_t side = SideInfoBytes(Header);
    for (size_t i = 0; i < side; ++i) feed(Frame[6 + i]);
    return uint16_t(crc);
}

void UpdateFrameCrc(uint8_t* Frame, const TMp3Header& Header) {
    if (!Header.Protected) return;
    const uint16_t crc = FrameCrc(Frame, Header);
    Frame[4] = uint8_t(crc >> 8);
    Frame[5] = uint8_t(crc);
}

} // namespace sundral::mp3frames
