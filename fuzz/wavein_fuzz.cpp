// Arbitrary bytes as a WAV file through TWaveIn: open, read everything in odd pieces, then
// start at a few frames and seek during a run. Besides memory safety it checks that the
// reader agrees with itself: whatever it delivers from frame s is what the whole read holds
// from frame s, and it never delivers more than Size or a partial frame.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "formats/AuWaveIn.h"
#include "platform/mediaLibs.h"

using namespace sundral;

namespace {

// Asks of less than a frame get nothing (and so end the data): every ask is at least one.
std::vector<uint8_t> Drain(TWaveIn& In, uint32_t Frame, uint32_t FirstAsk) {
    static const uint32_t asks[] = {16384, 1001, 37, 4099};
    std::vector<uint8_t> out;
    for (size_t k = 0;; ++k) {
        const uint8_t* p = nullptr;
        uint32_t n = std::max(k == 0 ? FirstAsk : asks[k % 4], Frame);
        In.GetData(p, n);
        if (n == 0) break;
        out.insert(out.end(), p, p + n);
        // A run's output is bounded; a runaway loop would show here.
        if (out.size() > (64u << 20)) std::abort();
    }
    return out;
}

void Check(bool Condition) {
    if (!Condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every damaged frame of a tag-85 file would be reported on standard error otherwise.
    if (sundral::medialibs::LoadFfmpeg()) sundral::ff::av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    // A few hundred blocks exercise everything; longer inputs only slow the run down.
    if (Size > 256 * 1024) return 0;
    TMemoryStream stream;
    stream.Write(Data, static_cast<int64_t>(Size));
    TWaveIn in(nullptr);
    in.SetStream(&stream);
    const int64_t total = in.TotalSamples();
    const uint32_t frame = in.Channels() * (in.BitsPerSample() / 8);

    in.Init();
    const int64_t size = in.Size();
    const std::vector<uint8_t> whole = Drain(in, frame, 16384);
    in.Flush();
    if (!in.Valid()) {
        Check(whole.empty());
        return 0;
    }
    Check(frame > 0 && whole.size() % frame == 0);
    Check(static_cast<int64_t>(whole.size()) <= size);
    if (total <= 0) return 0;

    const int64_t frames = static_cast<int64_t>(whole.size() / frame);
    for (int64_t s : {int64_t(1), total / 3, total - 1}) {
        if (s <= 0 || s >= frames) continue;
        in.SetStartSample(s);
        in.Init();
        const std::vector<uint8_t> part = Drain(in, frame, 1001);
        in.Flush();
        Check(part.size() == whole.size() - static_cast<size_t>(s) * frame);
        Check(std::memcmp(part.data(), whole.data() + s * frame, part.size()) == 0);
    }

    // A seek during a run lands on the frame asked for. (Once the data has run out the run
    // is over: the file layer keeps EndOfData across a seek.)
    in.Init();
    const uint8_t* p = nullptr;
    uint32_t n = 999;
    in.GetData(p, n);
    const int64_t target = frames / 2;
    if (!in.EndOfData() && in.Seek(target)) {
        const std::vector<uint8_t> rest = Drain(in, frame, 16384);
        Check(rest.size() == whole.size() - static_cast<size_t>(target) * frame);
        Check(std::memcmp(rest.data(), whole.data() + target * frame, rest.size()) == 0);
    }
    in.Flush();
    return 0;
}
