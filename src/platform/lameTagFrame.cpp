#include "platform/lameTagFrame.h"

#include <algorithm>
#include <array>

namespace sundral {

namespace {

// "Info" or "Xing", flags, frames, bytes, a 100-entry seek table, quality; then the encoder's
// block: version text (9), method, low-pass, peak (4), two gains (2 + 2), flags, rate, delay
// and padding (3), misc, gain, preset (2), music length (4), music CRC (2), block CRC (2).
constexpr uint32_t kXingBytes = 120;
constexpr uint32_t kBlockBytes = kXingBytes + 36;
constexpr uint32_t kFlagsAll = 0x0F; // frames, bytes, seek table, quality
constexpr uint8_t kMethodConstant = 1;

constexpr std::array<uint16_t, 15> kKbpsMpeg1 = {0,   32,  40,  48,  56,  64,  80, 96,
                                                 112, 128, 160, 192, 224, 256, 320};
constexpr std::array<uint16_t, 15> kKbpsMpeg2 = {0,  8,  16, 24,  32,  40,  48, 56,
                                                 64, 80, 96, 112, 128, 144, 160};

// Header bits of the version and the sample rate; false for a rate Layer III lacks.
bool RateBits(const TTagFrameStream& S, uint8_t& Version, uint8_t& RateIndex) {
    static constexpr std::array<uint32_t, 3> kMpeg1 = {44100, 48000, 32000};
    static constexpr std::array<uint32_t, 3> kMpeg2 = {22050, 24000, 16000};
    static constexpr std::array<uint32_t, 3> kMpeg25 = {11025, 12000, 8000};
    const auto find = [&](const std::array<uint32_t, 3>& Rates, uint8_t Bits) {
        const auto at = std::find(Rates.begin(), Rates.end(), S.SampleRate);
        if (at == Rates.end()) return false;
        Version = Bits;
        RateIndex = uint8_t(at - Rates.begin());
        return true;
    };
    return S.Mpeg1 ? find(kMpeg1, 3) : find(kMpeg2, 2) || find(kMpeg25, 0);
}

uint32_t FrameBytes(const TTagFrameStream& S, uint32_t Kbps) {
    return (S.Mpeg1 ? 144000 : 72000) * Kbps / S.SampleRate;
}

void PutBE(std::vector<uint8_t>& F, size_t At, uint32_t Value, int Bytes) {
    for (int b = 0; b < Bytes; ++b) F[At + size_t(b)] = uint8_t(Value >> (8 * (Bytes - 1 - b)));
}

} // namespace

uint32_t TagSideInfoBytes(const TTagFrameStream& S) {
    const bool mono = S.ChannelMode == 3;
    if (S.Mpeg1) return mono ? 17 : 32;
    return mono ? 9 : 17;
}

bool LibraryTagFits(const TTagFrameStream& S, uint32_t Kbps) {
    if (S.SampleRate == 0) return false;
    const uint32_t need = 4 + TagSideInfoBytes(S) + (S.Crc ? 2 : 0) + kBlockBytes;
    return FrameBytes(S, Kbps) >= need;
}

std::vector<uint8_t> TagFramePlaceholder(const TTagFrameStream& S) {
    uint8_t version = 0, rateIndex = 0;
    if (!RateBits(S, version, rateIndex)) return {};
    const auto& table = S.Mpeg1 ? kKbpsMpeg1 : kKbpsMpeg2;
    const uint32_t need = 4 + TagSideInfoBytes(S) + kBlockBytes;
    for (uint8_t index = 1; index < table.size(); ++index) {
        const uint32_t bytes = FrameBytes(S, table[index]);
        if (bytes < need) continue;
        std::vector<uint8_t> frame(bytes, 0);
        frame[0] = 0xFF;
        frame[1] = uint8_t(0xE0 | version << 3 | 1 << 1 | 1); // Layer III, no checksum
        frame[2] = uint8_t(index << 4 | rateIndex << 2);
        frame[3] = uint8_t((S.ChannelMode & 3) << 6 | (S.Copyright ? 8 : 0) | (S.Original ? 4 : 0));
        return frame;
    }
    return {};
}

void FillTagFrame(std::vector<uint8_t>& F, const TTagFrameStream& S, const TTagFrameContents& C) {
    const size_t at = 4 + TagSideInfoBytes(S);
    if (F.size() < at + kBlockBytes) return;
    std::copy_n("Info", 4, F.begin() + std::ptrdiff_t(at));
    PutBE(F, at + 4, kFlagsAll, 4);
    PutBE(F, at + 8, C.AudioFrames, 4);
    PutBE(F, at + 12, C.StreamBytes, 4);
    // A constant rate: the byte share of each hundredth of the time is that hundredth.
    for (uint32_t i = 0; i < 100; ++i) F[at + 16 + i] = uint8_t(i * 256 / 100);
    PutBE(F, at + 116, 0, 4);

    const size_t block = at + kXingBytes;
    const std::string version = ("LAME" + C.Version + "         ").substr(0, 9);
    std::copy(version.begin(), version.end(), F.begin() + std::ptrdiff_t(block));
    F[block + 9] = kMethodConstant;
    F[block + 20] = uint8_t(std::min<uint32_t>(C.Kbps, 255));
    PutBE(F, block + 21,
          std::min<uint32_t>(C.EncoderDelay, 4095) << 12 | std::min<uint32_t>(C.Padding, 4095), 3);
    PutBE(F, block + 28, C.StreamBytes, 4);
    PutBE(F, block + 32, C.AudioCrc, 2);
    PutBE(F, block + 34, TagCrc16(F.data(), block + 34), 2);
}

uint16_t TagCrc16(const uint8_t* Data, size_t Count, uint16_t Crc) {
    static constexpr std::array<uint16_t, 256> kTable = [] {
        std::array<uint16_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
            t[n] = uint16_t(c);
        }
        return t;
    }();
    for (size_t i = 0; i < Count; ++i) Crc = uint16_t(Crc >> 8 ^ kTable[(Crc ^ Data[i]) & 0xFF]);
    return Crc;
}

} // namespace sundral
