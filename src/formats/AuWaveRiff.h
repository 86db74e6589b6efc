// The one RIFF chunk walker of the WAV code, and the little-endian field reads and writes
// every part of it uses. The reader's header scan, the writer's append scan and the wave
// converter all walk a file with it; what differs between them is the policy they pass.
//
// A walk first finds the form: "RIFF", its 32-bit size, then "WAVE" (with SearchForm, each
// may follow other bytes and is found by sliding one byte at a time). Then it hands out the
// chunk heads in file order: a four-character code and a 32-bit body size. Moving to the next
// head skips the body by its declared size, and then a zero byte after an odd-sized body:
// RIFF pads odd bodies to a word, some writers leave the pad out, and no chunk code starts
// with a zero byte, so a zero there can only be the pad.
//
// Every head handed out lies wholly within the limit (the policy's header limit and the
// stream's end); a body may not: callers check BodyWithin before they read one.
//
// Threading: one walker per walk, on the caller's thread. Ownership: the stream belongs to
// the caller and is only used during the walk; its position is left undefined.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/Streams.h"

namespace sundral {

inline uint16_t GetU16(const uint8_t* At) {
    return uint16_t(At[0] | (At[1] << 8));
}
inline int16_t GetI16(const uint8_t* At) {
    return int16_t(GetU16(At));
}
inline uint32_t GetU32(const uint8_t* At) {
    return uint32_t(At[0]) | (uint32_t(At[1]) << 8) | (uint32_t(At[2]) << 16) |
           (uint32_t(At[3]) << 24);
}
inline void PutU16(uint8_t* At, uint16_t Value) {
    At[0] = uint8_t(Value);
    At[1] = uint8_t(Value >> 8);
}
inline void PutU32(uint8_t* At, uint32_t Value) {
    At[0] = uint8_t(Value);
    At[1] = uint8_t(Value >> 8);
    At[2] = uint8_t(Value >> 16);
    At[3] = uint8_t(Value >> 24);
}

struct TRiffWalkPolicy {
    // Everything the walk looks at lies within this many bytes from the stream's start.
    int64_t HeaderLimit = INT64_MAX;
    // Codes must match exactly; otherwise each byte may also differ by 32 (letter case).
    bool CaseSensitive = false;
    // "RIFF" may follow other bytes and "WAVE" may follow the RIFF size at a distance.
    bool SearchForm = true;
};

struct TRiffChunkHead {
    std::array<uint8_t, 4> Code{};
    uint32_t Size = 0;
    int64_t Offset = 0; // of the code
    int64_t BodyOffset() const { return Offset + 8; }
    int64_t BodyEnd() const { return BodyOffset() + Size; }
};

class TRiffWalker {
public:
    TRiffWalker(TStream& Stream, const TRiffWalkPolicy& Policy);

    // Finds "RIFF" and "WAVE" within the limit; false when either is missing.
    bool FindForm();
    // Where the RIFF size field lies (valid after FindForm succeeded).
    int64_t RiffSizeOffset() const { return FRiffSizeOffset; }

    // The next chunk head; false when none lies within the limit (the walk has ended).
    bool Next(TRiffChunkHead& Head);

    bool Matches(const TRiffChunkHead& Head, const char (&Code)[5]) const {
        return CodeMatches(Head.Code.data(), Code);
    }
    // Whether the first Count body bytes lie within the limit.
    bool BodyWithin(const TRiffChunkHead& Head, int64_t Count) const {
        return Count >= 0 && Count <= Head.Size && Head.BodyOffset() + Count <= FLimit;
    }
    // Reads the first Count body bytes; false unless BodyWithin and the read succeeds.
    bool ReadBody(const TRiffChunkHead& Head, uint8_t* Dest, int64_t Count);

    // The end of what the walk may look at: the header limit or the stream's end.
    int64_t Limit() const { return FLimit; }

private:
    bool CodeMatches(const uint8_t* At, const char (&Code)[5]) const;
    // Reads Count bytes at Offset (from the cached start when they lie there).
    bool ReadAt(int64_t Offset, uint8_t* Dest, int64_t Count);
    // Finds Code at or after From (only at From without SearchForm); -1 when not found.
    int64_t FindCode(int64_t From, const char (&Code)[5]);

    TStream& FStream;
    TRiffWalkPolicy FPolicy;
    int64_t FLimit = 0;
    std::vector<uint8_t> FCache; // the first bytes of the stream, read once
    int64_t FRiffSizeOffset = -1;
    int64_t FNext = -1; // offset of the next chunk head, -1 before FindForm
};

} // namespace sundral
