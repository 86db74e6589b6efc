// The media control device's decoder: one sound file (MP3, WAV or WMA) decoded to interleaved
// signed 16-bit PCM at the file's own sample rate. MP3 and WMA files go through the readers'
// own decoder (mciMedia.h), so the player and the readers agree on every file's length and
// samples; WAV files (RIFF/WAVE) are decoded with FFmpeg.
//
// Positions are sample frames of the decoded output, counted from 0: frame 0 is the first
// sample a decode from the very start yields (encoder delay already dropped, as every
// decoder of the file does). Seek lands on an exact frame: it starts decoding a little
// earlier, so that codecs that need the previous frames (MP3's bit reservoir, overlapping
// transforms) have them, and drops what lies before the frame asked for.
//
// Threading: one thread at a time. The device opens it on the UI thread and then hands it to
// a play's thread for the length of the play; the length scan (Length) opens its own reader
// of the file and may run on any thread while a play decodes.
// Ownership: the decoder owns its FFmpeg contexts and closes them when it is destroyed.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/mci.h"

namespace sundral::mci {

class TMciMediaDecoder;

class TMciDecoder {
public:
    // Opens the file and decodes its first block, so that a file the device cannot play is
    // refused here. Returns null and sets Error on failure.
    static std::unique_ptr<TMciDecoder> Open(const std::string& FileName, TMciError& Error);
    ~TMciDecoder();
    TMciDecoder(const TMciDecoder&) = delete;
    TMciDecoder& operator=(const TMciDecoder&) = delete;

    uint32_t SampleRate() const;
    uint16_t SourceChannels() const;
    // Channels Read delivers: the source's by default. Another count (1 or 2) mixes down.
    uint16_t OutputChannels() const;
    void SetOutputChannels(uint16_t Value);

    // The playing length in milliseconds (rounded down), -1 when it cannot be found. MP3 and
    // WMA: the frames the readers deliver (their TotalSamples), known from the open. WAV:
    // the length the container states, counted when it states none. The first answer is
    // kept.
    int64_t LengthMs();

    // Makes the next Read start at Frame. False when the file cannot be positioned there;
    // a frame past the end is allowed (Read then ends at once).
    bool Seek(int64_t Frame);
    // Up to MaxFrames frames into Buffer (MaxFrames × OutputChannels samples); 0 at the end of
    // the stream, -1 when decoding failed.
    int64_t Read(int16_t* Buffer, int64_t MaxFrames);
    // The frame the next Read starts at.
    int64_t NextFrame() const;
    // While Flag is set, reading the file fails at once (Seek and Read give up). Null: never.
    void SetInterrupt(const std::atomic<bool>* Flag);

private:
    struct TImpl;
    explicit TMciDecoder(std::unique_ptr<TImpl> Impl);
    explicit TMciDecoder(std::unique_ptr<TMciMediaDecoder> Media);
    std::unique_ptr<TImpl> FImpl;             // WAV files
    std::unique_ptr<TMciMediaDecoder> FMedia; // MP3 and WMA files
};

} // namespace sundral::mci
