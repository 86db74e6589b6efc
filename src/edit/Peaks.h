// The peaks of a sound: for each bucket of SamplesPerPixel frames, the smallest and the
// largest 16-bit sample of each channel (or of all channels together, "merged"). This is
// what a waveform draws, one bucket per pixel column, and what `sundral-cli peaks` prints.
//
// Samples are brought to 16 bits first: 8-bit unsigned samples are centred and shifted up,
// 24- and 32-bit samples keep their top 16 bits, float samples become round(x * 32768)
// within the 16-bit range (as a decoder's 16-bit output rounds them). The last bucket may
// hold fewer frames.
//
// MP3 and WMA files are read in the decoder's own frames (planar float, mostly): each
// bucket's extremes are found among the float samples and only they are converted, which
// gives the same peaks as converting every sample, since the conversion keeps the order.
// Data holds, bucket after bucket, Min and Max of channel 0, then of channel 1, and so on.
//
// TPeakJob computes the peaks of a file on a thread of its own, reading it with the reader
// of its type; what is done so far can be read at any time, so a view fills in as the file
// decodes. Only the peaks are kept, never the decoded sound.
//
// Threading: TPeakBuilder and ComputePeaks belong to the calling thread. A TPeakJob is made
// and destroyed on one thread (the UI thread); Read, Progress, State may be called from any.
// Ownership: ComputePeaks borrows the source for one run; a TPeakJob owns its reader.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/AuClasses.h"

namespace sundral {

struct TPeakData {
    uint32_t SampleRate = 0;
    uint32_t Channels = 0; // channels in Data: 1 when merged
    int64_t SamplesPerPixel = 1;
    int64_t TotalFrames = 0; // frames the peaks cover so far (all of them once complete)
    std::vector<int16_t> Data;

    int64_t Buckets() const { return Channels ? int64_t(Data.size()) / (2 * Channels) : 0; }
    int16_t Min(int64_t Bucket, uint32_t Channel) const {
        return Data[size_t((Bucket * Channels + Channel) * 2)];
    }
    int16_t Max(int64_t Bucket, uint32_t Channel) const {
        return Data[size_t((Bucket * Channels + Channel) * 2 + 1)];
    }
};

// Gathers peaks from interleaved 16-bit frames fed in pieces of any size.
class TPeakBuilder {
public:
    // Raises EAuException for no channels or fewer than 1 frame per bucket.
    TPeakBuilder(uint32_t SampleRate, uint32_t Channels, int64_t SamplesPerPixel, bool Merged);

    void Feed(const int16_t* Samples, size_t Frames);
    // Frames held per channel: channel c's samples are Channel[c][i * Stride], i < Frames
    // (Stride 1 for planar samples, the channel count for interleaved ones).
    void Feed(const int16_t* const* Channel, size_t Stride, size_t Frames);
    void Feed(const float* const* Channel, size_t Stride, size_t Frames);
    // Frames of silence.
    void FeedSilence(size_t Frames);
    // Closes the last, partly filled bucket.
    void Finish();
    const TPeakData& Peaks() const { return FPeaks; }
    TPeakData& Peaks() { return FPeaks; }

private:
    template <class TSample>
    void FeedChannels(const TSample* const* Channel, size_t Stride, size_t Frames);
    void CloseBucket();

    uint32_t FInChannels;
    bool FMerged;
    int64_t FFill = 0;                    // frames in the open bucket
    std::vector<int16_t> FOpen;           // min/max of the open bucket, per output channel
    std::vector<const int16_t*> FChannel; // the channels of an interleaved block
    TPeakData FPeaks;
};

// Samples of Bits bits (8, 16, 24 or 32, little-endian PCM) to 16 bits, as described above.
void PcmTo16(const uint8_t* Data, size_t Samples, uint32_t Bits, int16_t* Out);

// Reads Source from its start to its end on the calling thread and returns its peaks.
// Progress (when set) is called after each block with the builder's peaks so far; it returns
// false to stop early (the peaks so far come back). Raises EAuException when the source fails
// or delivers a sample size other than 8, 16, 24 or 32 bits.
using TPeakProgress = std::function<bool(const TPeakData& SoFar)>;
TPeakData ComputePeaks(TAuInput& Source, int64_t SamplesPerPixel, bool Merged,
                       const TPeakProgress& Progress = {});

// The peaks of a file computed on a thread of their own.
class TPeakJob {
public:
    enum class TState { Running, Done, Failed, Cancelled };

    // Starts at once. Peaks come from the cache (PeakCache.h) when it holds a fresh entry,
    // else they are computed and then stored there. UseCache false skips the cache.
    TPeakJob(const std::string& FileName, int64_t SamplesPerPixel, bool UseCache = true);
    // Cancels and waits for the thread.
    ~TPeakJob();
    TPeakJob(const TPeakJob&) = delete;
    TPeakJob& operator=(const TPeakJob&) = delete;

    void Cancel() { FCancel = true; }
    TState State() const { return FState.load(); }
    bool FromCache() const { return FFromCache.load(); }
    const std::string& FileName() const { return FFileName; }
    // The frames the whole file holds, as its reader tells before decoding (0 until known).
    int64_t ExpectedFrames() const { return FExpectedFrames.load(); }
    // Why the job failed (empty otherwise); read once State is Failed.
    std::string Error() const;
    // Runs Reader with the peaks so far, under the job's lock: keep it short.
    void Read(const std::function<void(const TPeakData&)>& Reader) const;

private:
    void Run();

    std::string FFileName;
    int64_t FSamplesPerPixel;
    bool FUseCache;
    std::atomic<bool> FCancel{false};
    std::atomic<TState> FState{TState::Running};
    std::atomic<bool> FFromCache{false};
    std::atomic<int64_t> FExpectedFrames{0};
    mutable std::mutex FLock;
    TPeakData FShared;  // under FLock
    std::string FError; // under FLock
    std::thread FThread;
};

} // namespace sundral
