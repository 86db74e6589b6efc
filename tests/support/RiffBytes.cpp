#include "RiffBytes.h"

#include <cstring>

namespace sundral_test {

void PutU16(TBytes& Out, uint16_t Value) {
    Out.push_back(static_cast<uint8_t>(Value));
    Out.push_back(static_cast<uint8_t>(Value >> 8));
}

void PutU32(TBytes& Out, uint32_t Value) {
    for (int i = 0; i < 4; ++i) Out.push_back(static_cast<uint8_t>(Value >> (8 * i)));
}

uint16_t GetU16(const uint8_t* P) {
    return static_cast<uint16_t>(P[0] | P[1] << 8);
}

uint32_t GetU32(const uint8_t* P) {
    return P[0] | P[1] << 8 | P[2] << 16 | uint32_t(P[3]) << 24;
}

TBytes RiffImage(const std::vector<TRiffChunk>& Chunks, bool PadOdd) {
    TBytes body;
    for (const TRiffChunk& c : Chunks) {
        body.insert(body.end(), c.Code.begin(), c.Code.begin() + 4);
        PutU32(body, uint32_t(c.DeclaredSize >= 0 ? c.DeclaredSize : int64_t(c.Body.size())));
        body.insert(body.end(), c.Body.begin(), c.Body.end());
        if (PadOdd && (c.Body.size() & 1)) body.push_back(0);
    }
    TBytes out = {'R', 'I', 'F', 'F'};
    PutU32(out, uint32_t(body.size() + 4));
    out.insert(out.end(), {'W', 'A', 'V', 'E'});
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

TBytes FmtBody(uint16_t Tag, uint16_t Channels, uint32_t SampleRate, uint16_t BlockAlign,
               uint16_t BitsPerSample, const TBytes& Extra) {
    TBytes b;
    PutU16(b, Tag);
    PutU16(b, Channels);
    PutU32(b, SampleRate);
    PutU32(b, SampleRate * BlockAlign);
    PutU16(b, BlockAlign);
    PutU16(b, BitsPerSample);
    b.insert(b.end(), Extra.begin(), Extra.end());
    return b;
}

size_t FindChunk(const TBytes& File, const char* Code) {
    size_t pos = 12;
    while (pos + 8 <= File.size()) {
        uint32_t size = GetU32(&File[pos + 4]);
        if (std::memcmp(&File[pos], Code, 4) == 0) return pos + 8;
        pos += 8 + size + (size & 1);
    }
    return 0;
}

} // namespace sundral_test
