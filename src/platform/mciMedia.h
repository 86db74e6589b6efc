// The media control device's decoder for MP3 and WMA files. It decodes through the same
// synchronous reader the file readers use (wmfReader.h: the MP3 frame index of mp3Scan, the
// ASF packet walk), so the player and the readers tell one length for a file and deliver the
// same samples: LengthMs is the readers' TotalSamples in milliseconds (rounded down), and
// frame N of a play is frame N of a read.
//
// Positions are sample frames of the delivered output, counted from 0. Seek lands on the
// exact frame. Output is signed 16-bit at the file's rate, with the file's channels or mixed
// to the count SetOutputChannels asks for.
//
// Threading: one thread at a time (the device hands it to a play's thread for the length of
// a play). SetInterrupt's flag is read by the reader's own decoding thread as well: while it
// is set, reading the file fails, so a play waiting for decoded sound ends at once.
// Ownership: the decoder owns its reader and the file it opened.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/mci.h"

namespace sundral::mci {

class TMciMediaDecoder {
public:
    // Null and Error set when the file is not an MP3 or WMA file the reader can decode, or
    // holds no sound.
    static std::unique_ptr<TMciMediaDecoder> Open(const std::string& FileName, TMciError& Error);
    ~TMciMediaDecoder();
    TMciMediaDecoder(const TMciMediaDecoder&) = delete;
    TMciMediaDecoder& operator=(const TMciMediaDecoder&) = delete;

    uint32_t SampleRate() const;
    uint16_t SourceChannels() const;
    uint16_t OutputChannels() const;
    void SetOutputChannels(uint16_t Value);
    // The frames a read from the start delivers (the readers' TotalSamples).
    int64_t TotalFrames() const;
    int64_t LengthMs() const;

    bool Seek(int64_t Frame);
    // Up to MaxFrames frames; 0 at the end, -1 when decoding failed before any frame.
    int64_t Read(int16_t* Buffer, int64_t MaxFrames);
    int64_t NextFrame() const;
    void SetInterrupt(const std::atomic<bool>* Flag);

private:
    struct TImpl;
    explicit TMciMediaDecoder(std::unique_ptr<TImpl> Impl);
    std::unique_ptr<TImpl> FImpl;
};

} // namespace sundral::mci
