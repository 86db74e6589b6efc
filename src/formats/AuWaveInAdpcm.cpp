#include "formats/AuWaveInAdpcm.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>

#include "formats/AuWaveRiff.h"

namespace sundral {

static_assert(std::endian::native == std::endian::little,
              "decoded samples are stored in the machine's order, which must be the file's");

namespace {

// IMA: one entry per (step index, code) pair, the same arithmetic as ImaDecodeStep folded
// into a table. Each entry packs the predictor change (times 2048) and the next state (the
// next step index times 16, i.e. the row of the next lookup) in one word, so a code costs a
// load, an add and a clamp.
constexpr int32_t kImaStateShift = 11;
constexpr int32_t kImaStateMask = (1 << kImaStateShift) - 1;

constexpr std::array<int32_t, 89 * 16> MakeImaTable() {
    std::array<int32_t, 89 * 16> t{};
    for (int32_t index = 0; index < 89; ++index) {
        for (int32_t code = 0; code < 16; ++code) {
            int32_t diff = ImaDifference(kImaStepTable[static_cast<size_t>(index)], code);
            int32_t next = std::clamp(index + kImaIndexTable[static_cast<size_t>(code)], 0, 88);
            t[static_cast<size_t>(index * 16 + code)] = diff * (1 << kImaStateShift) + next * 16;
        }
    }
    return t;
}

constexpr std::array<int32_t, 89 * 16> kImaTable = MakeImaTable();

struct TImaChannel {
    int32_t Predictor;
    int32_t State; // step index times 16
};

TImaChannel ImaHeader(const uint8_t* P, int16_t* Out) {
    TImaChannel c;
    c.Predictor = GetI16(P);
    // The step index comes from the block and indexes the step table: at most 88.
    c.State = std::min<int32_t>(P[2], 88) * 16;
    *Out = static_cast<int16_t>(c.Predictor);
    return c;
}

inline int16_t ImaNext(TImaChannel& C, uint32_t Code) {
    const int32_t e = kImaTable[static_cast<size_t>(C.State) + Code];
    C.Predictor = std::clamp(C.Predictor + (e >> kImaStateShift), -32767, 32767);
    C.State = e & kImaStateMask;
    return static_cast<int16_t>(C.Predictor);
}

// Microsoft ADPCM channel state. The delta is kept below INT32_MAX / 768 so that its
// adaptation (at most times 3) and a code times it can never overflow.
constexpr int32_t kMsDeltaMax = INT32_MAX / 768;

struct TMsChannel {
    int32_t Coef1, Coef2, Delta, Sample1, Sample2;
};

inline int16_t MsNext(TMsChannel& C, uint32_t Code) {
    // Two products of 16-bit values can sum to 2^31: add them in 64 bits.
    int64_t p =
        (static_cast<int64_t>(C.Sample1) * C.Coef1 + static_cast<int64_t>(C.Sample2) * C.Coef2) /
        256;
    const int32_t signedCode = Code >= 8 ? static_cast<int32_t>(Code) - 16 : int32_t(Code);
    p += static_cast<int64_t>(signedCode) * C.Delta;
    const int32_t sample = static_cast<int32_t>(std::clamp<int64_t>(p, -32768, 32767));
    int32_t delta = C.Delta * kMsAdpcmAdaptationTable[Code] / 256;
    C.Delta = std::clamp(delta, 16, kMsDeltaMax);
    C.Sample2 = C.Sample1;
    C.Sample1 = sample;
    return static_cast<int16_t>(sample);
}

} // namespace

uint32_t DecodeImaBlock(const uint8_t* Block, uint32_t BlockAlign, uint32_t Channels,
                        int16_t* Out) {
    if (Channels == 1) {
        TImaChannel c = ImaHeader(Block, Out++);
        for (uint32_t i = 4; i < BlockAlign; ++i) {
            const uint32_t b = Block[i];
            Out[0] = ImaNext(c, b & 15);
            Out[1] = ImaNext(c, b >> 4);
            Out += 2;
        }
        return 2 * (BlockAlign - 4) + 1;
    }
    TImaChannel l = ImaHeader(Block, Out);
    TImaChannel r = ImaHeader(Block + 4, Out + 1);
    Out += 2;
    // Each 8-byte group: four bytes (eight codes) of the left channel, then of the right.
    // Both channels are decoded in the same pass: their chains are independent.
    for (uint32_t g = 8; g + 8 <= BlockAlign; g += 8) {
        const uint8_t* p = Block + g;
        for (uint32_t j = 0; j < 4; ++j) {
            const uint32_t bl = p[j], br = p[j + 4];
            Out[0] = ImaNext(l, bl & 15);
            Out[1] = ImaNext(r, br & 15);
            Out[2] = ImaNext(l, bl >> 4);
            Out[3] = ImaNext(r, br >> 4);
            Out += 4;
        }
    }
    return BlockAlign - 8 + 1;
}

uint32_t AdpcmFramesPresent(const TWaveFormat& Format, uint32_t Bytes) {
    const uint32_t channels = Format.Channels;
    const uint32_t spb = Format.SamplesPerBlock;
    if (Bytes >= Format.BlockAlign) return spb;
    uint32_t frames = 0;
    if (Format.WavType == TWavType::wtDVIADPCM) {
        // The header holds the first frame. Mono: two codes per byte. Stereo: 8-byte groups,
        // four bytes of left codes then four of right, so a frame needs its right byte.
        const uint32_t header = 4 * channels;
        if (Bytes < header) return 0;
        const uint32_t codes = Bytes - header;
        if (channels == 1) {
            frames = 1 + 2 * codes;
        } else {
            const uint32_t partial = codes % 8;
            frames = 1 + codes / 8 * 8 + 2 * (partial > 4 ? partial - 4 : 0);
        }
    } else {
        // Two header samples; mono two codes per byte, stereo one byte per frame.
        const uint32_t header = 7 * channels;
        if (Bytes < header) return 0;
        frames = 2 + (Bytes - header) * (channels == 1 ? 2 : 1);
    }
    return std::min(frames, spb);
}

uint32_t DecodeMsAdpcmBlock(const uint8_t* Block, uint32_t Channels, uint32_t SamplesPerBlock,
                            const TMsAdpcmCoef* Coefs, uint32_t CoefCount, int16_t* Out) {
    TMsChannel ch[2];
    for (uint32_t k = 0; k < Channels; ++k) {
        // The predictor index comes from the block and indexes the coefficient table.
        const uint32_t predictor = std::min<uint32_t>(Block[k], CoefCount - 1);
        ch[k].Coef1 = Coefs[predictor].Coef1;
        ch[k].Coef2 = Coefs[predictor].Coef2;
        ch[k].Delta = GetI16(Block + Channels + 2 * k);
        ch[k].Sample1 = GetI16(Block + 3 * Channels + 2 * k);
        ch[k].Sample2 = GetI16(Block + 5 * Channels + 2 * k);
    }
    const uint8_t* codes = Block + 7 * Channels;
    const uint32_t count = SamplesPerBlock - 2; // codes per channel
    if (Channels == 1) {
        TMsChannel& c = ch[0];
        Out[0] = static_cast<int16_t>(c.Sample2);
        Out[1] = static_cast<int16_t>(c.Sample1);
        Out += 2;
        // Two codes per byte, high nibble first.
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t b = codes[i / 2];
            *Out++ = MsNext(c, (i & 1) ? (b & 15) : (b >> 4));
        }
        return SamplesPerBlock;
    }
    Out[0] = static_cast<int16_t>(ch[0].Sample2);
    Out[1] = static_cast<int16_t>(ch[1].Sample2);
    Out[2] = static_cast<int16_t>(ch[0].Sample1);
    Out[3] = static_cast<int16_t>(ch[1].Sample1);
    Out += 4;
    // One byte per frame: left in the high nibble, right in the low one.
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t b = codes[i];
        Out[0] = MsNext(ch[0], b >> 4);
        Out[1] = MsNext(ch[1], b & 15);
        Out += 2;
    }
    return SamplesPerBlock;
}

} // namespace sundral
