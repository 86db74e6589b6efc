#include "formats/AuWaveRiff.h"

#include <algorithm>
#include <cstring>

namespace sundral {

namespace {
// Headers of real files are small; the walk reads this much once and seeks only beyond it.
constexpr int64_t kCacheSize = 65536;
} // namespace

TRiffWalker::TRiffWalker(TStream& Stream, const TRiffWalkPolicy& Policy)
    : FStream(Stream), FPolicy(Policy) {
    const int64_t size = Stream.Size();
    FLimit = std::clamp<int64_t>(std::min(size, Policy.HeaderLimit), 0, INT64_MAX);
    FCache.resize(size_t(std::min(FLimit, kCacheSize)));
    int64_t got = 0;
    if (Stream.Seek(0, TSeekOrigin::soBeginning) == 0) {
        while (got < int64_t(FCache.size())) {
            const int64_t n = Stream.Read(FCache.data() + got, int64_t(FCache.size()) - got);
            if (n <= 0) break;
            got += n;
        }
    }
    // A stream that gives fewer bytes than it claims ends where its bytes end.
    if (got < int64_t(FCache.size())) {
        FCache.resize(size_t(got));
        FLimit = got;
    }
}

bool TRiffWalker::CodeMatches(const uint8_t* At, const char (&Code)[5]) const {
    for (int i = 0; i < 4; ++i) {
        const int d = int(At[i]) - int(uint8_t(Code[i]));
        if (d != 0 && (FPolicy.CaseSensitive || (d != 32 && d != -32))) return false;
    }
    return true;
}

bool TRiffWalker::ReadAt(int64_t Offset, uint8_t* Dest, int64_t Count) {
    // Offset and Count come from the file: nothing past the limit is read.
    if (Offset < 0 || Count < 0 || Offset > FLimit - Count) return false;
    if (Offset + Count <= int64_t(FCache.size())) {
        if (Count > 0) std::memcpy(Dest, FCache.data() + Offset, size_t(Count));
        return true;
    }
    return FStream.Seek(Offset, TSeekOrigin::soBeginning) == Offset &&
           FStream.ReadExact(Dest, Count);
}

int64_t TRiffWalker::FindCode(int64_t From, const char (&Code)[5]) {
    uint8_t code[4];
    for (int64_t p = From; p + 4 <= FLimit; ++p) {
        if (p + 4 <= int64_t(FCache.size())) {
            if (CodeMatches(FCache.data() + p, Code)) return p;
        } else if (ReadAt(p, code, 4) && CodeMatches(code, Code)) {
            return p;
        }
        if (!FPolicy.SearchForm) break;
    }
    return -1;
}

bool TRiffWalker::FindForm() {
    FNext = -1;
    const int64_t riff = FindCode(0, "RIFF");
    // The RIFF size must be there too, and "WAVE" after it.
    if (riff < 0 || riff + 8 > FLimit) return false;
    const int64_t wave = FindCode(riff + 8, "WAVE");
    if (wave < 0) return false;
    FRiffSizeOffset = riff + 4;
    FNext = wave + 4;
    return true;
}

bool TRiffWalker::Next(TRiffChunkHead& Head) {
    uint8_t head[8];
    if (FNext < 0 || !ReadAt(FNext, head, 8)) {
        FNext = -1;
        return false;
    }
    std::memcpy(Head.Code.data(), head, 4);
    Head.Size = GetU32(head + 4);
    Head.Offset = FNext;
    FNext = Head.BodyEnd();
    uint8_t pad = 1;
    if ((Head.Size & 1) && ReadAt(FNext, &pad, 1) && pad == 0) ++FNext;
    return true;
}

bool TRiffWalker::ReadBody(const TRiffChunkHead& Head, uint8_t* Dest, int64_t Count) {
    return BodyWithin(Head, Count) && ReadAt(Head.BodyOffset(), Dest, Count);
}

} // namespace sundral
