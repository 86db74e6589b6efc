// A source of known PCM for tests: a sine per channel (each channel its own pitch) at a
// chosen rate, channel count and sample size, held whole in memory so that tests can compare
// what a writer produced with what it was given.
//
// Knobs for failure cases: report a Size other than the data's (or none), stop delivering
// early, throw from every read once a position is reached, or run a hook before each read
// (to hold the worker at a known point).
//
// Threading: set up on the test's thread before Run; read on the writer's worker.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "audio/AuClasses.h"

namespace sundral_test {

class TPcmPatternSource : public sundral::TAuInput {
public:
    TPcmPatternSource(uint32_t SampleRate, uint16_t Channels, uint16_t BitsPerSample,
                      int64_t Frames, double Amplitude = 0.5);

    // The whole stream the source delivers (before any knob below cuts it).
    std::vector<uint8_t> Data;
    // Size reported by Init: the data's size by default; -1 for unknown.
    int64_t ReportedSize;
    // Bytes delivered before the end (default: all of Data).
    int64_t DeliverBytes;
    // Once this many bytes were delivered, every read throws EAuException(ThrowMessage).
    int64_t ThrowAt = -1;
    const char* ThrowMessage = "Source broke";
    // Largest piece one read hands out.
    uint32_t MaxPiece = 16384;
    // Called on the worker before each read with the bytes delivered so far.
    std::function<void(int64_t)> BeforeRead;

    int16_t Sample16(int64_t Frame, uint16_t Channel) const;

protected:
    uint32_t GetBitsPerSample() override { return FBits; }
    uint32_t GetChannels() override { return FChannels; }
    uint32_t GetSampleRate() override { return FRate; }
    void InitInput() override;
    void FlushInput() override { FBusy = false; }
    void ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) override;

private:
    uint32_t FRate;
    uint16_t FChannels, FBits;
    int64_t FNext = 0;
};

// A source of endless silence (16-bit stereo, 44100 Hz) of unknown size, for size limits.
class TEndlessSilence : public sundral::TAuInput {
public:
    TEndlessSilence() : sundral::TAuInput(nullptr), FZeros(65536) {}

protected:
    uint32_t GetBitsPerSample() override { return 16; }
    uint32_t GetChannels() override { return 2; }
    uint32_t GetSampleRate() override { return 44100; }
    void InitInput() override;
    void FlushInput() override { FBusy = false; }
    void ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) override;

private:
    std::vector<uint8_t> FZeros;
};

} // namespace sundral_test
