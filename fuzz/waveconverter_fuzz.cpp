// Arbitrary bytes as a WAV file through the codec-manager path: load, suggest a PCM target,
// convert, write the PCM image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "formats/WaveConverter.h"
#include "platform/acm.h"
#include "platform/mediaLibs.h"

using namespace sundral;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every damaged frame would be reported on standard error otherwise.
    if (sundral::medialibs::LoadFfmpeg()) sundral::ff::av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    // A few seconds of audio exercise everything; longer inputs only slow the run down.
    if (Size > 65536) return 0;
    TMemoryStream file;
    file.Write(Data, static_cast<int64_t>(Size));
    TWaveConverter c;
    int loaded = c.LoadWaveStream(file);
    if (loaded != 0 && c.Size() != 0) std::abort();
    c.TargetFormat()[0] = 1;
    if (acmFormatSuggest(nullptr, c.CurrentFormat().data(), c.TargetFormat().data(),
                         TWaveConverter::kFormatBufferSize, acmFormatSuggestTag) != acmOk)
        return 0;
    const int64_t compressed = c.Size();
    if (c.ConvertData() != 0) {
        // A failed conversion leaves the loaded bytes as they were.
        if (c.Size() != compressed) std::abort();
        return 0;
    }
    const uint16_t blockAlign = static_cast<uint16_t>(c.CurrentFormat()[12]);
    if (blockAlign == 0 || c.Size() % blockAlign != 0) std::abort();
    TMemoryStream image;
    if (c.SaveWaveStream(image) != 0 || image.Size() != 44 + c.Size()) std::abort();
    return 0;
}
