// The one RIFF chunk walker of the WAV code, and the little-endian field reads and writes
// every part of it uses. The reader's header scan, the writer's append scan and the wave
// converter all walk a file with it; what differs between them is the policy they pass.
//
// A walk first finds the form: "RIFF" (little-endian sizes), "RIFX" (big-endian sizes and
// fields) or "RF64"/"BW64" (64-bit sizes kept in a "ds64" chunk), its 32-bit size, then
// "WAVE" (with SearchForm, each may follow other bytes and is found by sliding one byte at a
// time, within FormSearchLimit). Then it hands out the chunk heads in file order: a
// four-character code and a body size. In a 64-bit form, the "ds64" chunk that comes first
// is read as the walk passes it, and a size field of 0xFFFFFFFF stands for the 64-bit size
// it gives ("data" directly, other chunks through its table).
//
// Moving to the next head skips the body by its size and, after an odd size, the pad byte
// RIFF asks for. Some writers leave the pad out: when the padded position holds no chunk
// code and the unpadded one does, the walk takes the unpadded one.
//
// Every head handed out lies wholly within the limit (the policy's header limit and the
// stream's end); a body may not: callers check BodyWithin before they read one.
//
// Threading: one walker per walk, on the caller's thread. Ownership: the stream belongs to
// the caller and is only used during the walk; its position is left undefined.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
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
inline uint64_t GetU64(const uint8_t* At) {
    return uint64_t(GetU32(At)) | (uint64_t(GetU32(At + 4)) << 32);
}
inline uint16_t GetBeU16(const uint8_t* At) {
    return uint16_t((At[0] << 8) | At[1]);
}
inline uint32_t GetBeU32(const uint8_t* At) {
    return (uint32_t(At[0]) << 24) | (uint32_t(At[1]) << 16) | (uint32_t(At[2]) << 8) |
           uint32_t(At[3]);
}
inline uint64_t GetBeU64(const uint8_t* At) {
    return (uint64_t(GetBeU32(At)) << 32) | uint64_t(GetBeU32(At + 4));
}
// Field reads in the byte order of a form: big-endian for "RIFX", little otherwise.
struct TByteOrder {
    bool Big = false;
    uint16_t U16(const uint8_t* At) const { return Big ? GetBeU16(At) : GetU16(At); }
    int16_t I16(const uint8_t* At) const { return int16_t(U16(At)); }
    uint32_t U32(const uint8_t* At) const { return Big ? GetBeU32(At) : GetU32(At); }
    uint64_t U64(const uint8_t* At) const { return Big ? GetBeU64(At) : GetU64(At); }
};

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
inline void PutU64(uint8_t* At, uint64_t Value) {
    PutU32(At, uint32_t(Value));
    PutU32(At + 4, uint32_t(Value >> 32));
}

enum class TRiffForm : uint8_t { rfRiff, rfRifx, rfRf64 };

// A "ds64" body: the 64-bit RIFF size, "data" size and sample count, then a table of
// further chunk sizes (code, 64-bit size).
constexpr uint32_t kDs64BodySize = 28;
// Sizes taken from a 64-bit field are held to this, so that offsets never overflow.
constexpr int64_t kRiffMaxSize = INT64_C(1) << 56;

struct TRiffWalkPolicy {
    // Everything the walk looks at lies within this many bytes from the stream's start.
    int64_t HeaderLimit = INT64_MAX;
    // Codes must match exactly; otherwise each byte may also differ by 32 (letter case).
    bool CaseSensitive = false;
    // "RIFF" may follow other bytes and "WAVE" may follow the RIFF size at a distance.
    bool SearchForm = true;
    // The sliding search for the form code and "WAVE" looks no further than this.
    int64_t FormSearchLimit = INT64_MAX;
};

struct TRiffChunkHead {
    std::array<uint8_t, 4> Code{};
    int64_t Size = 0;    // of the body (in a 64-bit form, from "ds64" where it stands in)
    uint32_t Size32 = 0; // the head's own size field
    int64_t Offset = 0;  // of the code
    int64_t BodyOffset() const { return Offset + 8; }
    int64_t BodyEnd() const { return BodyOffset() + Size; }
};

// What the "ds64" chunk of a 64-bit form holds, and where (Offset -1: none was read).
struct TRiffDs64 {
    int64_t Offset = -1; // of its code
    uint32_t BodySize = 0;
    uint64_t RiffSize = 0, DataSize = 0, SampleCount = 0;
};

class TRiffWalker {
public:
    TRiffWalker(TStream& Stream, const TRiffWalkPolicy& Policy);

    // Finds the form code and "WAVE" within the limit; false when either is missing.
    bool FindForm();
    // Where the RIFF size field lies (valid after FindForm succeeded).
    int64_t RiffSizeOffset() const { return FRiffSizeOffset; }
    TRiffForm Form() const { return FForm; }
    // The byte order of the form's sizes and fields.
    TByteOrder Order() const { return {FForm == TRiffForm::rfRifx}; }
    // The "ds64" chunk of a 64-bit form, once the walk has passed it.
    const TRiffDs64& Ds64() const { return FDs64; }

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
    // Code: four characters.
    bool CodeMatches(const uint8_t* At, const char* Code) const;
    // Reads Count bytes at Offset (from the cached start when they lie there).
    bool ReadAt(int64_t Offset, uint8_t* Dest, int64_t Count);
    // Finds Code at or after From (only at From without SearchForm); -1 when not found.
    int64_t FindCode(int64_t From, int64_t Limit, const char* Code);
    // Whether the four bytes at Offset look like a chunk code (letters, digits, spaces).
    bool ChunkCodeAt(int64_t Offset);
    void ReadDs64(const TRiffChunkHead& Head);
    // The size a 0xFFFFFFFF field stands for in a 64-bit form; Size32 itself elsewhere.
    int64_t ResolveSize(const TRiffChunkHead& Head) const;

    TStream& FStream;
    TRiffWalkPolicy FPolicy;
    int64_t FLimit = 0;
    std::vector<uint8_t> FCache; // the first bytes of the stream, read once
    int64_t FRiffSizeOffset = -1;
    int64_t FNext = -1; // offset of the next chunk head, -1 before FindForm
    TRiffForm FForm = TRiffForm::rfRiff;
    TRiffDs64 FDs64;
    // Further chunk sizes the "ds64" table gives (a few; the rest are not kept).
    std::vector<std::pair<std::array<uint8_t, 4>, int64_t>> FDs64Table;
    bool FFirstChunk = false;
};

} // namespace sundral
