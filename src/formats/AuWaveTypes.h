// What the WAV reader and writer share: the data encodings, the sub-format identifiers of
// the extensible header, and the IMA ADPCM tables and step.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace sundral {

enum class TWavType : uint8_t {
    wtUnsupported,
    wtPCM,
    wtDVIADPCM,
    wtMSADPCM,
    wtACM,
    wtIEEEFloat,
    wtExtPCM,
    wtExtIEEEFloat,
    // G.711 companded 8-bit samples, delivered expanded to 16-bit.
    wtALaw,
    wtMuLaw
};

const char* WavTypeName(TWavType Value);

// Format tags of the "fmt " chunk.
constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_ADPCM = 2;
constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr uint16_t WAVE_FORMAT_ALAW = 6;
constexpr uint16_t WAVE_FORMAT_MULAW = 7;
constexpr uint16_t WAVE_FORMAT_DVI_ADPCM = 17;
constexpr uint16_t WAVE_FORMAT_MPEGLAYER3 = 85;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 65534;

// Sub-format GUIDs as stored in the file (little-endian fields).
constexpr std::array<uint8_t, 16> KSDATAFORMAT_SUBTYPE_PCM = {
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr std::array<uint8_t, 16> KSDATAFORMAT_SUBTYPE_IEEE_FLOAT = {
    0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// IMA ADPCM: 89 quantiser steps and the index change per 4-bit code.
constexpr std::array<int16_t, 89> kImaStepTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr std::array<int8_t, 16> kImaIndexTable = {-1, -1, -1, -1, 2, 4, 6, 8,
                                                   -1, -1, -1, -1, 2, 4, 6, 8};

// The predictor change a 4-bit code stands for at quantiser step Step.
constexpr int32_t ImaDifference(int32_t Step, uint32_t Code) {
    int32_t diff = Step >> 3;
    if (Code & 4) diff += Step;
    if (Code & 2) diff += Step >> 1;
    if (Code & 1) diff += Step >> 2;
    return (Code & 8) ? -diff : diff;
}

// One IMA step, the one rule the decoder and the encoder share: applies Code to the predictor
// and step index. The predictor is clamped to -32767..32767 (not -32768), the index to 0..88.
inline int16_t ImaDecodeStep(uint8_t Code, int32_t& Predictor, int32_t& Index) {
    int32_t diff = ImaDifference(kImaStepTable[static_cast<size_t>(Index)], Code);
    Predictor = std::clamp(Predictor + diff, -32767, 32767);
    Index = std::clamp(Index + kImaIndexTable[Code & 15], 0, 88);
    return static_cast<int16_t>(Predictor);
}

// Microsoft ADPCM adaptation of the quantiser delta per 4-bit code.
constexpr std::array<int16_t, 16> kMsAdpcmAdaptationTable = {
    230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};

} // namespace sundral
