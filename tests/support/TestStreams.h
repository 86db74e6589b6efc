// Streams with faults and limits, for testing writers without a full disk.
//
// Threading: one user at a time (the writer's worker during a run, the test after it).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/Streams.h"

namespace sundral_test {

// A memory stream that writes nothing at or beyond Limit (the write falls short there, as
// on a full disk), can refuse every write that goes back over bytes already written, and
// counts such rewrites.
class TFaultyStream : public sundral::TMemoryStream {
public:
    int64_t Limit = std::numeric_limits<int64_t>::max();
    bool RefuseRewrites = false;
    int Rewrites = 0;

    int64_t Write(const void* Buffer, int64_t Count) override {
        const int64_t pos = Position();
        if (pos < FHighWater) {
            ++Rewrites;
            if (RefuseRewrites) return 0;
        }
        const int64_t n = std::clamp<int64_t>(Limit - pos, 0, Count);
        const int64_t written = sundral::TMemoryStream::Write(Buffer, n);
        FHighWater = std::max(FHighWater, pos + written);
        return written;
    }

    std::vector<uint8_t> Bytes() { return {Memory(), Memory() + Size()}; }

private:
    int64_t FHighWater = 0;
};

// A stream that keeps only its first 4096 bytes and counts the rest: files of any length
// without the memory or the disk.
class TSizeOnlyStream : public sundral::TStream {
public:
    std::vector<uint8_t> Head = std::vector<uint8_t>(4096);

    int64_t Read(void* Buffer, int64_t Count) override {
        const int64_t n = std::clamp<int64_t>(std::min<int64_t>(FLength, 4096) - FPos, 0, Count);
        if (n > 0) std::memcpy(Buffer, Head.data() + FPos, size_t(n));
        FPos += n;
        return n;
    }
    int64_t Write(const void* Buffer, int64_t Count) override {
        const int64_t kept = std::clamp<int64_t>(4096 - FPos, 0, Count);
        if (kept > 0) std::memcpy(Head.data() + FPos, Buffer, size_t(kept));
        FPos += Count;
        FLength = std::max(FLength, FPos);
        return Count;
    }
    int64_t Seek(int64_t Offset, sundral::TSeekOrigin Origin) override {
        const int64_t base = Origin == sundral::TSeekOrigin::soBeginning ? 0
                             : Origin == sundral::TSeekOrigin::soCurrent ? FPos
                                                                         : FLength;
        if (base + Offset < 0) return -1;
        FPos = base + Offset;
        return FPos;
    }
    int64_t Size() override { return FLength; }
    void SetSize(int64_t NewSize) override { FLength = NewSize; }

private:
    int64_t FPos = 0, FLength = 0;
};

} // namespace sundral_test
