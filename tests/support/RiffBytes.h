// Building and taking apart RIFF images byte by byte, for tests that need files no tool
// writes (malformed headers, odd chunk layouts) or that check a header field directly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sundral_test {

using TBytes = std::vector<uint8_t>;

void PutU16(TBytes& Out, uint16_t Value);
void PutU32(TBytes& Out, uint32_t Value);
uint16_t GetU16(const uint8_t* P);
uint32_t GetU32(const uint8_t* P);

struct TRiffChunk {
    std::string Code; // four characters
    TBytes Body;
    // The size field written; by default the body's size.
    int64_t DeclaredSize = -1;
};

// "RIFF", the size of the rest, "WAVE", then the chunks in order. Odd bodies get a zero
// pad byte when PadOdd is true.
TBytes RiffImage(const std::vector<TRiffChunk>& Chunks, bool PadOdd = true);

// A "fmt " body: the 16 common bytes, then Extra as given (the caller adds the extra size
// field when the layout has one).
TBytes FmtBody(uint16_t Tag, uint16_t Channels, uint32_t SampleRate, uint16_t BlockAlign,
               uint16_t BitsPerSample, const TBytes& Extra = {});

// Offset of the body of the first chunk with that code in a RIFF image (walking the chunk
// list from offset 12, honouring pad bytes), or 0 when there is none.
size_t FindChunk(const TBytes& File, const char* Code);

} // namespace sundral_test
