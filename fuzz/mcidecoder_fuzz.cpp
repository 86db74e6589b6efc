// Arbitrary bytes as a sound file through the media control device's decoder: open, length,
// read everything in odd pieces, then seek to a few frames and read on. Besides memory safety
// it checks that reads never hand out more than asked and that a seek that yields sound
// lands on the frame asked for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzMemFile.h"
#include "platform/mciDecoder.h"
#include "platform/mediaLibs.h"

using namespace sundral::mci;

namespace {

void Check(bool Condition) {
    if (!Condition) std::abort();
}

// Frames read until the end, a failure, or a bound that keeps a run short.
int64_t Drain(TMciDecoder& Decoder, std::vector<int16_t>& Buffer) {
    static const int64_t asks[] = {4096, 1001, 37, 1};
    int64_t total = 0;
    for (size_t k = 0; total < (int64_t(1) << 21); ++k) {
        const int64_t ask = asks[k % 4];
        const int64_t before = Decoder.NextFrame();
        const int64_t got = Decoder.Read(Buffer.data(), ask);
        if (got <= 0) break;
        Check(got <= ask && Decoder.NextFrame() == before + got);
        total += got;
    }
    return total;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (sundral::medialibs::LoadFfmpeg()) sundral::ff::av_log_set_level(AV_LOG_QUIET);
    if (Size > 256 * 1024) return 0;
    sundral::fuzzsupport::TMemFile file(Data, Size);
    if (file.Handle() < 0) return 0;
    TMciError error = mciOk;
    auto decoder = TMciDecoder::Open("/proc/self/fd/" + std::to_string(file.Handle()), error);
    if (!decoder) {
        Check(error != mciOk && !MciErrorText(error).empty());
        return 0;
    }
    Check(decoder->SampleRate() > 0 && decoder->SourceChannels() > 0);
    decoder->LengthMs();
    std::vector<int16_t> buffer(size_t(4096) * decoder->OutputChannels());
    const int64_t frames = Drain(*decoder, buffer);
    for (int64_t s : {frames / 2, int64_t(1), frames + 5, frames / 5}) {
        if (!decoder->Seek(s)) continue;
        const int64_t at = decoder->NextFrame();
        if (decoder->Read(buffer.data(), 64) > 0) Check(at == s);
    }
    decoder->SetOutputChannels(decoder->SourceChannels() > 1 ? 1 : 2);
    buffer.resize(size_t(4096) * decoder->OutputChannels());
    if (decoder->Seek(0)) Drain(*decoder, buffer);
    return 0;
}
