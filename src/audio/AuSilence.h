// Finding the silent stretches of a sound.
//
// The detector cuts the sound into windows of WindowSeconds (20 ms by default) from its first
// frame on and measures each window's RMS level over all its samples, every channel
// together, as a fraction of full scale. A window whose level lies below ThresholdDb (dB
// below full scale: -50 dB is an RMS of 0.00316) is quiet. A run of quiet windows is a
// silent stretch when it lasts at least MinLengthSeconds; it starts where its first window
// starts and ends where its last one ends (the last window of the sound may be shorter).
// A full-scale sine measures -3 dB.
//
// Both ends of a stretch are therefore on the window grid: a stretch found is at most one
// window longer or shorter at each end than the silence the sound holds.
//
// Threading: a detector, and FindSilences with its source, belong to the calling thread.
// Ownership: the detector owns its state only; FindSilences borrows the source for one run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/AuClasses.h"

namespace sundral {

struct TSilenceOptions {
    double ThresholdDb = -50.0;
    double MinLengthSeconds = 0.5;
    double WindowSeconds = 0.02;
};

// A silent stretch in sample frames: StartSample is its first frame, EndSample the frame
// after its last one.
struct TSilentStretch {
    int64_t StartSample = 0;
    int64_t EndSample = 0;
    bool operator==(const TSilentStretch&) const = default;
};

class TSilenceDetector {
public:
    // Raises EAuException for a rate or channel count of 0, a threshold above 0 dB, or a
    // window or minimum length that is negative or not a number.
    TSilenceDetector(uint32_t SampleRate, uint32_t Channels, const TSilenceOptions& Options);

    // Interleaved samples in [-1, 1]; Frames whole frames of Channels samples each.
    void Feed(const float* Samples, size_t Frames);
    // Ends the sound (its last, shorter window counts) and returns every stretch in order.
    std::vector<TSilentStretch> Finish();

    uint32_t WindowFrames() const { return FWindowFrames; }

private:
    void EndWindow();

    uint32_t FChannels;
    uint32_t FWindowFrames;
    int64_t FMinFrames;
    double FThresholdSquare; // mean square below which a window is quiet
    int64_t FWindowStart = 0;
    uint32_t FWindowFill = 0; // frames of the current window seen so far
    double FSquares = 0;      // their squares, summed
    int64_t FQuietStart = -1; // first frame of the current run of quiet windows
    std::vector<TSilentStretch> FStretches;
};

// Reads Source from its start to its end on the calling thread (Init, GetData until it gives
// no more, Flush) and returns the stretches. The source delivers 8-, 16-, 24- or 32-bit PCM.
// Raises EAuException when the source fails or delivers another sample size.
std::vector<TSilentStretch> FindSilences(TAuInput& Source, const TSilenceOptions& Options);

} // namespace sundral
