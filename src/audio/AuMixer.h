// A source that reads two other sources and delivers either their sum (amMix) or the first
// followed by the second (amConcatenate). Every block is converted to float and back, so
// the inputs may differ in sample size; the result always has the format of Input1.
//
// Mix mode: out = (in1 * Volume1 / 65535 + in2 * Volume2 / 65535) / 2, sample by sample.
// Input 2 starts at output sample Input2StartSample * (channels of input 2), with silence
// from it before that; the mix goes on, with silence from whichever input has ended, until
// both have ended. Concatenate mode: input 1 scaled by Volume1, then input 2 scaled by
// Volume2 and converted to input 1's sample size; Input2StartSample is not used. The
// mixer does not check that the inputs share rate and channel count: samples are combined
// position by position.
//
// Blocks hold at most 4096 samples and always whole frames of input 1; a partial frame at
// the end of an input is completed with silence. A request for less than one frame gets 0
// bytes and changes nothing.
//
// Threading: properties are set on the UI thread; Init, GetData and Flush run on the
// reading sink's worker. The inputs cannot be changed while the mixer is busy. The volumes
// may be changed during a run and take effect with the next block; Mode and
// Input2StartSample are read once per run, at Init. While reading, the mixer holds its own
// DataLock and takes the inputs' DataLocks inside it.
// Init refuses (EAuException) an input that cannot be read, with its reason, and one source
// set as both inputs: it can sit in both slots while the mixer is wired, but a run needs two.
// Ownership: Input1 and Input2 are references, not owned; when either is destroyed the
// mixer forgets it. The four work blocks are allocated at Init and freed at Flush.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "audio/AuClasses.h"

namespace sundral {

enum class TAudioMixerMode { amMix, amConcatenate };

class TAudioMixer : public TAuInput {
public:
    explicit TAudioMixer(TComponent* AOwner);

    TAuInput* Input1() const { return FInput1.load(); }
    // EAuException "The component is busy." while a run is in progress.
    void SetInput1(TAuInput* Value);
    TAuInput* Input2() const { return FInput2.load(); }
    void SetInput2(TAuInput* Value);
    TAudioMixerMode Mode() const { return FMode.load(); }
    void SetMode(TAudioMixerMode Value) { FMode = Value; }
    // In mix mode, the frame of input 2's layout at which input 2 begins; negative is 0.
    int64_t Input2StartSample() const { return FInput2StartSample.load(); }
    void SetInput2StartSample(int64_t Value) { FInput2StartSample = Value; }
    // Gains as fractions of 65535 (the default, gain 1.0).
    uint16_t Volume1() const { return FVolume1.load(); }
    void SetVolume1(uint16_t Value) { FVolume1 = Value; }
    uint16_t Volume2() const { return FVolume2.load(); }
    void SetVolume2(uint16_t Value) { FVolume2 = Value; }

    // Largest block, in samples (not frames).
    static constexpr uint32_t kBlockSamples = 4096;

protected:
    // All three answer for Input1; EAuException "Input not assigned" without it.
    uint32_t GetBitsPerSample() override;
    uint32_t GetChannels() override;
    uint32_t GetSampleRate() override;
    void InitInput() override;
    void FlushInput() override;
    void ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) override;

    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    void SetInput(std::atomic<TAuInput*>& Slot, TAuInput* Other, TAuInput* Value);
    TAuInput* AssignedInput1();
    // Each returns the count of output samples of the block.
    uint32_t Concatenate(uint32_t N, float G1, float G2);
    uint32_t Mix(uint32_t N, float G1, float G2);
    // Count rounded up to whole frames of input 1.
    uint32_t WholeFrames(uint32_t Samples) const;

    std::atomic<TAuInput*> FInput1{nullptr};
    std::atomic<TAuInput*> FInput2{nullptr};
    std::atomic<uint16_t> FVolume1{65535};
    std::atomic<uint16_t> FVolume2{65535};
    std::atomic<TAudioMixerMode> FMode{TAudioMixerMode::amMix};
    std::atomic<int64_t> FInput2StartSample{0};

    // State of one run, touched by the reading thread only (under DataLock).
    bool FEndOfData1 = false;
    bool FEndOfData2 = false;
    TAudioMixerMode FRunMode = TAudioMixerMode::amMix;
    int64_t FInput2Offset = 0; // output sample at which input 2 begins
    int64_t FMixedSamples = 0; // output samples delivered in mix mode
    uint32_t FBytes1 = 0;      // bytes per sample of input 1
    uint32_t FBytes2 = 0;
    uint32_t FChannels1 = 0;
    std::vector<uint8_t> FRaw1, FRaw2;
    std::vector<float> FFloat1, FFloat2;
};

} // namespace sundral
