#include "formats/AuWaveOutHeaders.h"

#include <cstring>

#include "formats/AuWaveTypes.h"

namespace sundral {
namespace {

void PutCode(uint8_t* At, const char (&Code)[5]) {
    std::memcpy(At, Code, 4);
}

// RIFF / WAVE / "fmt " with its body size, the common start of every header.
void PutRiffStart(uint8_t* H, uint32_t RiffSize, uint32_t FmtBodySize) {
    PutCode(H + 0, "RIFF");
    PutU32(H + 4, RiffSize);
    PutCode(H + 8, "WAVE");
    PutCode(H + 12, "fmt ");
    PutU32(H + 16, FmtBodySize);
}

void PutPcmFormat(uint8_t* H, uint16_t Tag, uint32_t SampleRate, uint16_t Channels,
                  uint16_t BitsPerSample) {
    const uint16_t blockAlign = uint16_t(uint32_t(BitsPerSample) * Channels / 8);
    PutU16(H + 20, Tag);
    PutU16(H + 22, Channels);
    PutU32(H + 24, SampleRate);
    PutU32(H + 28, SampleRate * blockAlign);
    PutU16(H + 32, blockAlign);
    PutU16(H + 34, BitsPerSample);
}

} // namespace

uint32_t WaveChannelMask(uint32_t Channels) {
    switch (Channels) {
    case 1:
        return 1;
    case 2:
        return 3;
    case 6:
        return 63;
    case 8:
        return 255;
    default:
        return Channels <= 18 ? (uint32_t(1) << Channels) - 1 : 0;
    }
}

uint32_t ImaSamplesPerBlock(uint16_t BlockSize, uint16_t Channels) {
    return Channels == 1 ? 2u * (BlockSize - 4u) + 1u : BlockSize - 7u;
}

bool ImaBlockSizeFits(uint32_t BlockSize, uint32_t Channels) {
    if (Channels == 1) return BlockSize > 4 && 2 * (BlockSize - 4) + 1 <= UINT16_MAX;
    if (Channels == 2) return BlockSize > 8 && BlockSize <= UINT16_MAX && BlockSize % 8 == 0;
    return false;
}

std::vector<uint8_t> WithDs64Room(const uint8_t* Header, size_t Size) {
    std::vector<uint8_t> h(Header, Header + kDs64Offset);
    h.resize(kDs64Offset + kDs64ChunkSize, 0);
    PutCode(h.data() + kDs64Offset, "JUNK");
    PutU32(h.data() + kDs64Offset + 4, kDs64BodySize);
    h.insert(h.end(), Header + kDs64Offset, Header + Size);
    // The RIFF size counts the chunk.
    const uint32_t riff = GetU32(Header + kRiffSizeOffset);
    PutU32(h.data() + kRiffSizeOffset, riff == kUnknownSizeField ? riff : riff + kDs64ChunkSize);
    return h;
}

std::array<uint8_t, kPcmHeaderSize> MakePcmHeader(uint32_t SampleRate, uint16_t Channels,
                                                  uint16_t BitsPerSample, uint32_t DataSize,
                                                  uint32_t RiffSize) {
    std::array<uint8_t, kPcmHeaderSize> h{};
    PutRiffStart(h.data(), RiffSize, 16);
    PutPcmFormat(h.data(), WAVE_FORMAT_PCM, SampleRate, Channels, BitsPerSample);
    PutCode(h.data() + 36, "data");
    PutU32(h.data() + kPcmDataSizeOffset, DataSize);
    return h;
}

std::array<uint8_t, kExtHeaderSize> MakeExtensibleHeader(uint32_t SampleRate, uint16_t Channels,
                                                         uint16_t BitsPerSample, uint32_t DataSize,
                                                         uint32_t RiffSize) {
    std::array<uint8_t, kExtHeaderSize> h{};
    PutRiffStart(h.data(), RiffSize, 40);
    PutPcmFormat(h.data(), WAVE_FORMAT_EXTENSIBLE, SampleRate, Channels, BitsPerSample);
    PutU16(h.data() + 36, 22);
    PutU16(h.data() + 38, BitsPerSample);
    PutU32(h.data() + 40, WaveChannelMask(Channels));
    std::memcpy(h.data() + 44, KSDATAFORMAT_SUBTYPE_PCM.data(), 16);
    PutCode(h.data() + 60, "data");
    PutU32(h.data() + kExtDataSizeOffset, DataSize);
    return h;
}

std::array<uint8_t, kImaHeaderSize> MakeImaHeader(uint32_t SampleRate, uint16_t Channels,
                                                  uint16_t BlockSize, uint32_t TotalFrames,
                                                  uint32_t DataSize, uint32_t RiffSize) {
    std::array<uint8_t, kImaHeaderSize> h{};
    const uint32_t samplesPerBlock = ImaSamplesPerBlock(BlockSize, Channels);
    PutRiffStart(h.data(), RiffSize, 20);
    PutU16(h.data() + 20, WAVE_FORMAT_DVI_ADPCM);
    PutU16(h.data() + 22, Channels);
    PutU32(h.data() + 24, SampleRate);
    PutU32(h.data() + 28, SampleRate / samplesPerBlock * BlockSize);
    PutU16(h.data() + 32, BlockSize);
    PutU16(h.data() + 34, 4);
    PutU16(h.data() + 36, 2);
    PutU16(h.data() + 38, uint16_t(samplesPerBlock));
    PutCode(h.data() + 40, "fact");
    PutU32(h.data() + 44, 4);
    PutU32(h.data() + kImaFactOffset, TotalFrames);
    PutCode(h.data() + 52, "data");
    PutU32(h.data() + kImaDataSizeOffset, DataSize);
    return h;
}

} // namespace sundral
