// Turns a whole WAV file whose audio only the codec manager can read (format tag 85, MPEG
// Layer-3 frames) into 16-bit PCM held in memory, and writes that PCM out as a complete
// RIFF/WAVE image. The WAV reader runs it once when it opens such a file:
//
//   TWaveConverter c;
//   c.LoadWaveStream(file);                       // "fmt " body -> CurrentFormat, audio -> c
//   set TargetFormat's tag (u16 at offset 0) to 1, then
//   acmFormatSuggest(nullptr, c.CurrentFormat().data(), c.TargetFormat().data(),
//                    TWaveConverter::FormatBufferSize, acmFormatSuggestTag);
//   if (c.ConvertData() == 0) c.SaveWaveStream(image);
//
// The converter is itself the memory stream that holds the audio: the compressed bytes after
// loading, the PCM after a successful conversion (exactly the bytes the codec produced).
//
// Threading: one thread at a time (the reader's, while it opens the file).
// Ownership: the streams passed in belong to the caller and are only used during the call.
#pragma once

#include <array>
#include <cstdint>

#include "platform/Streams.h"

namespace sundral {

struct TAcmStream;

class TWaveConverter : public TMemoryStream {
public:
    static constexpr uint32_t kFormatBufferSize = 129;
    using TFormatBuffer = std::array<uint8_t, kFormatBufferSize>;

    // Results other than 0 and the codec manager's codes.
    static constexpr int wcLoadNotWave = 0x1001;   // no "RIFF" ... "WAVE" header
    static constexpr int wcLoadBadFormat = 0x1002; // "fmt " body too long or cut short
    static constexpr int wcSaveFailed = 286;       // the image could not be written

    // Queries the codec manager's largest format description (at most FormatBufferSize is
    // used) and zeroes both format buffers.
    TWaveConverter();

    // Reads the RIFF file from the start of Stream: the "fmt " body into CurrentFormat, the
    // "data" body (as much of it as the file holds) into the converter, which is left at
    // position 0. Returns 0, or wcLoadNotWave / wcLoadBadFormat with nothing loaded and
    // CurrentFormat zeroed (so that the suggestion and the conversion that follow fail).
    int LoadWaveStream(TStream& Stream);

    // Converts the converter's bytes from CurrentFormat to TargetFormat in one non-realtime
    // call. On success the converter holds the PCM (position 0) and CurrentFormat is the
    // target format; returns 0. Otherwise returns the codec manager's first nonzero code and
    // the converter's bytes and formats are unchanged.
    int ConvertData();

    // Writes "RIFF", "WAVE", a 16-byte "fmt " from CurrentFormat and a "data" chunk with all
    // of the converter's bytes to Stream at its current position. The converter's position is
    // kept and Stream is left at the end of the image. Returns 0, or wcSaveFailed when a write
    // fell short, the data does not fit a RIFF size field, or an exception occurred.
    int SaveWaveStream(TStream& Stream);

    uint32_t MaxFormatSize() const { return FMaxFormatSize; }
    TFormatBuffer& CurrentFormat() { return FCurrentFormat; }
    const TFormatBuffer& CurrentFormat() const { return FCurrentFormat; }
    TFormatBuffer& TargetFormat() { return FTargetFormat; }
    const TFormatBuffer& TargetFormat() const { return FTargetFormat; }

private:
    int LoadFailed(int Code);
    uint32_t ConvertOpened(TAcmStream* Stream);

    uint32_t FMaxFormatSize = 0;
    TFormatBuffer FCurrentFormat{};
    TFormatBuffer FTargetFormat{};
};

} // namespace sundral
