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

bool TRiffWalker::CodeMatches(const uint8_t* At, const char* Code) const {
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

int64_t TRiffWalker::FindCode(int64_t From, int64_t Limit, const char* Code) {
    uint8_t code[4];
    for (int64_t p = From; p + 4 <= Limit; ++p) {
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
    FDs64 = TRiffDs64{};
    FDs64Table.clear();
    // The form codes may follow other bytes: the earliest of them is the form.
    const int64_t searchEnd = std::min(FLimit, FPolicy.FormSearchLimit);
    int64_t riff = -1;
    for (int64_t p = 0; p + 4 <= searchEnd && riff < 0; ++p) {
        uint8_t code[4];
        if (!ReadAt(p, code, 4)) break;
        if (CodeMatches(code, "RIFF")) {
            FForm = TRiffForm::rfRiff;
        } else if (CodeMatches(code, "RIFX")) {
            FForm = TRiffForm::rfRifx;
        } else if (CodeMatches(code, "RF64") || CodeMatches(code, "BW64")) {
            FForm = TRiffForm::rfRf64;
        } else {
            if (!FPolicy.SearchForm) break;
            continue;
        }
        riff = p;
    }
    // The RIFF size must be there too, and "WAVE" after it.
    if (riff < 0 || riff + 8 > FLimit) return false;
    const int64_t wave = FindCode(riff + 8, searchEnd, "WAVE");
    if (wave < 0) return false;
    FRiffSizeOffset = riff + 4;
    FNext = wave + 4;
    FFirstChunk = true;
    return true;
}

bool TRiffWalker::ChunkCodeAt(int64_t Offset) {
    uint8_t code[4];
    if (!ReadAt(Offset, code, 4)) return false;
    for (int i = 0; i < 4; ++i) {
        const uint8_t c = code[i];
        const bool alnum =
            (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!alnum && !(c == ' ' && i > 0)) return false;
    }
    return true;
}

void TRiffWalker::ReadDs64(const TRiffChunkHead& Head) {
    uint8_t body[kDs64BodySize];
    if (Head.Size < 24 ||
        !ReadAt(Head.BodyOffset(), body, std::min<int64_t>(Head.Size, kDs64BodySize)))
        return;
    const TByteOrder order = Order();
    FDs64.Offset = Head.Offset;
    FDs64.BodySize = Head.Size32;
    FDs64.RiffSize = order.U64(body);
    FDs64.DataSize = order.U64(body + 8);
    FDs64.SampleCount = order.U64(body + 16);
    if (Head.Size < int64_t(kDs64BodySize)) return;
    // The table's count comes from the file: only the entries the body holds are read, and
    // only the first few are kept.
    constexpr uint32_t kMaxTable = 16;
    const int64_t room = (Head.Size - kDs64BodySize) / 12;
    const int64_t count = std::min<int64_t>({order.U32(body + 24), room, kMaxTable});
    for (int64_t i = 0; i < count; ++i) {
        uint8_t entry[12];
        if (!ReadAt(Head.BodyOffset() + kDs64BodySize + 12 * i, entry, 12)) break;
        std::array<uint8_t, 4> code;
        std::memcpy(code.data(), entry, 4);
        FDs64Table.emplace_back(code,
                                int64_t(std::min<uint64_t>(order.U64(entry + 4), kRiffMaxSize)));
    }
}

int64_t TRiffWalker::ResolveSize(const TRiffChunkHead& Head) const {
    if (FForm != TRiffForm::rfRf64 || Head.Size32 != UINT32_MAX || FDs64.Offset < 0)
        return Head.Size32;
    if (CodeMatches(Head.Code.data(), "data"))
        return int64_t(std::min<uint64_t>(FDs64.DataSize, kRiffMaxSize));
    for (const auto& [code, size] : FDs64Table)
        if (CodeMatches(Head.Code.data(), reinterpret_cast<const char*>(code.data()))) return size;
    return Head.Size32;
}

bool TRiffWalker::Next(TRiffChunkHead& Head) {
    uint8_t head[8];
    if (FNext < 0 || !ReadAt(FNext, head, 8)) {
        FNext = -1;
        return false;
    }
    std::memcpy(Head.Code.data(), head, 4);
    Head.Size32 = Order().U32(head + 4);
    Head.Size = Head.Size32;
    Head.Offset = FNext;
    if (FForm == TRiffForm::rfRf64 && FFirstChunk && CodeMatches(head, "ds64")) ReadDs64(Head);
    FFirstChunk = false;
    Head.Size = ResolveSize(Head);
    FNext = Head.BodyEnd();
    // RIFF pads an odd body to a word; a writer that left the pad out shows a chunk code
    // right after the body and none a byte later.
    if ((Head.Size & 1) && !(ChunkCodeAt(FNext) && !ChunkCodeAt(FNext + 1))) ++FNext;
    return true;
}

bool TRiffWalker::ReadBody(const TRiffChunkHead& Head, uint8_t* Dest, int64_t Count) {
    return BodyWithin(Head, Count) && ReadAt(Head.BodyOffset(), Dest, Count);
}

} // namespace sundral
