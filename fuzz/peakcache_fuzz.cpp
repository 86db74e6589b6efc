// Arbitrary bytes as a peak-cache entry. Besides memory safety it checks what an accepted
// entry promises: whole buckets, just enough of them for the frames covered, and that
// writing it again gives the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "edit/PeakCache.h"

using namespace sundral;

namespace {
void Check(bool Condition) {
    if (!Condition) std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    // The key the entry must carry: the one written into the seed.
    TPeakCacheKey key;
    key.Path = "/music/a.wav";
    key.Size = 1000;
    key.ModifiedNs = 42;
    key.SamplesPerPixel = 4;
    TPeakData peaks;
    if (!DecodePeakCache(Data, Size, key, peaks)) return 0;
    Check(peaks.Channels > 0);
    Check(peaks.Data.size() % (2 * peaks.Channels) == 0);
    Check(peaks.Buckets() == (peaks.TotalFrames + 3) / 4);
    const std::vector<uint8_t> again = EncodePeakCache(key, peaks);
    Check(again.size() == Size && std::memcmp(again.data(), Data, Size) == 0);
    return 0;
}
