#include "edit/SoundLength.h"

#include <algorithm>
#include <memory>

#include "audio/AuClassesFile.h"
#include "edit/Designs.h"
#include "platform/AuException.h"

namespace sundral {

TSoundLength MeasureSound(const std::string& FileName) {
    TComponent owner(nullptr);
    TAuFileIn* reader = NewReader(SoundKindOf(FileName), &owner);
    reader->SetFileName(FileName);
    TSoundLength length;
    length.TotalSamples = reader->TotalSamples();
    if (!reader->Valid()) throw EAuException(reader->InvalidReason());
    length.SampleRate = reader->SampleRate();
    if (length.TotalSamples <= 0 || length.SampleRate == 0)
        throw EAuException("the file holds no sound");
    const int64_t ms = length.TotalSamples * 1000 / length.SampleRate;
    length.LengthMs = int32_t(std::min<int64_t>(ms, INT32_MAX));
    return length;
}

TMeasured TryMeasureSound(const std::string& FileName) {
    TMeasured measured;
    try {
        measured.Length = MeasureSound(FileName);
    } catch (const std::exception& e) {
        measured.Failure = e.what();
    }
    return measured;
}

bool NeedsWorkerToMeasure(const std::string& FileName) {
    const TSoundKind kind = SoundKindOf(FileName);
    return kind == TSoundKind::skMp3 || kind == TSoundKind::skWma;
}

} // namespace sundral
