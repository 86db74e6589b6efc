// Arbitrary bytes as an MPEG audio file through the frame scanner: find the stream, its tag
// and every frame. Besides memory safety it checks that the walk agrees with itself: frames
// lie inside the file, in order, each where a valid header of the stream says it is.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/mp3Scan.h"

using namespace sundral::mp3scan;

namespace {
void Check(bool Condition) {
    if (!Condition) std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TMp3FrameIndex index(
        [&](int64_t Offset, uint8_t* Buffer, size_t Count) {
            if (Offset < 0 || size_t(Offset) >= Size) return size_t(0);
            const size_t n = std::min(Count, Size - size_t(Offset));
            std::memcpy(Buffer, Data + Offset, n);
            return n;
        },
        int64_t(Size));
    const TMp3StreamInfo info = index.Open();
    if (!info.Valid) return 0;
    Check(info.TotalSamples >= 0 && info.AudioEnd <= int64_t(Size));
    int64_t last = -1, offset = 0;
    TMp3Header h;
    for (uint64_t i = 0; index.Frame(i, offset, h); ++i) {
        // Every frame starts inside the audio; only the last may be cut short by its end.
        Check(offset > last && offset + 4 <= info.AudioEnd);
        if (i + 1 < uint64_t(info.AudioFrames))
            Check(offset + int64_t(h.FrameBytes) <= info.AudioEnd);
        Check(SameStream(h, info.First));
        last = offset;
    }
    if (info.Walked) Check(index.FramesFound() == info.AudioFrames);
    if (Size >= 4) ParseMp3InfoTag(Data, Size, info.First);
    return 0;
}
