// The length of a sound file as its reader announces it: the one length the windows put on
// their track bars and time labels and cut by, so that what they show is what they cut.
//
// Threading: MeasureSound opens its own reader, so any thread may call it, also while other
// readers of the same file run. Measuring an MP3 without a frame count or a WMA walks the
// whole file: windows call it on a worker (see NeedsWorkerToMeasure).
#pragma once

#include <cstdint>
#include <string>

namespace sundral {

struct TSoundLength {
    int64_t TotalSamples = 0;
    uint32_t SampleRate = 0;
    // TotalSamples in milliseconds, truncated.
    int32_t LengthMs = 0;
};

// Raises EAuException with the reader's reason when the file cannot be read, holds no
// sound, or its type is none of WAV, MP3 and WMA.
TSoundLength MeasureSound(const std::string& FileName);

// MeasureSound's answer, or why the file cannot be measured (Failure then not empty).
struct TMeasured {
    TSoundLength Length;
    std::string Failure;
};
TMeasured TryMeasureSound(const std::string& FileName);

// True for the types whose length may only be known after reading the whole file (MP3 and
// WMA); a WAV's header tells its length at once.
bool NeedsWorkerToMeasure(const std::string& FileName);

} // namespace sundral
