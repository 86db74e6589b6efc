// Arbitrary bytes as an MP3 or WMA file through TWMIn: open, read everything in odd pieces,
// then start at a few frames and seek during a run. Besides memory safety it checks that
// the reader agrees with itself: it never delivers more than TotalSamples or a partial
// frame, and what it delivers from frame s is what the whole read holds from frame s.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/AuWinMedia.h"
#include "platform/Streams.h"
#include "platform/mediaLibs.h"

using namespace sundral;

namespace {

void Check(bool Condition) {
    if (!Condition) std::abort();
}

// What the reader delivers from its start sample on. A file that ends before its announced
// length ends the read with an error (Failed is then set).
std::vector<uint8_t> Drain(TWMIn& In, uint32_t Frame, bool& Failed) {
    static const uint32_t asks[] = {16384, 1001, 37, 4099};
    std::vector<uint8_t> out;
    for (size_t k = 0;; ++k) {
        const uint8_t* p = nullptr;
        uint32_t n = std::max(asks[k % 4], Frame);
        try {
            In.GetData(p, n);
        } catch (const EAuException&) {
            Failed = true;
            break;
        }
        if (n == 0) break;
        Check(n % Frame == 0);
        out.insert(out.end(), p, p + n);
        Check(out.size() < (64u << 20)); // a runaway loop would show here
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (sundral::medialibs::LoadFfmpeg()) sundral::ff::av_log_set_level(AV_LOG_QUIET);
    TMemoryStream stream;
    stream.Write(Data, int64_t(Size));
    stream.SetPosition(0);
    TWMIn in(nullptr);
    in.SetStream(&stream);
    try {
        in.OpenSource();
    } catch (const EAuException&) {
        return 0; // protected
    }
    if (!in.Valid()) return 0;
    const uint32_t frame = in.Channels() * in.BitsPerSample() / 8;
    const int64_t total = in.TotalSamples();
    Check(frame > 0);
    in.Init();
    bool failed = false;
    const std::vector<uint8_t> whole = Drain(in, frame, failed);
    in.Flush();
    Check(int64_t(whole.size()) <= std::max<int64_t>(total, 0) * frame);
    // A whole read that ended early says nothing about where a later start should end.
    if (failed) return 0;
    for (int64_t start : {total / 3, total - 5}) {
        if (start <= 0 || start * frame >= int64_t(whole.size())) continue;
        in.SetStartSample(start);
        in.Init();
        bool partFailed = false;
        const std::vector<uint8_t> part = Drain(in, frame, partFailed);
        in.Flush();
        Check(part.size() <= whole.size() - size_t(start) * frame);
        Check(std::equal(part.begin(), part.end(), whole.begin() + start * frame));
    }
    return 0;
}
