// A constant-rate MP3 stream without the bit reservoir, encoded on several cores.
//
// Without the reservoir no frame borrows bytes from the frames before it, so the stream can
// be cut on its frame grid into chunks that separate encoders make at the same time. A
// chunk's encoder also takes kWarmUpFrames of input before the chunk, whose frames it drops
// (its psychoacoustic state has settled by then), and as many after it (the frames at its
// end look ahead); it keeps only the chunk's own frames. Those stand where one encoder's
// frames would, since every encoder puts the same delay in front of its first frame, and
// the stream has exactly the frames one encoder would have made.
//
// The stream starts with a tag frame: a placeholder goes out with the first frames, and
// TagFrame gives the finished one, with the counts of the whole stream and the extension
// (version, settings, delay) of the first chunk's encoder.
//
// Threading: Add, Finish and TagFrame belong to one thread; the lanes are threads of their
// own, joined by the destructor. Ownership: values only; the sink is called on the caller's
// thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "formats/Mp3InfoFrame.h"
#include "platform/lameEncConfig.h"

namespace sundral {

class TMp3Lanes {
public:
    using TSink = std::function<void(const uint8_t*, size_t)>;

    static constexpr uint32_t kWarmUpFrames = 8;
    static constexpr uint32_t kChunkFrames = 256; // about 6.7 s at 44.1 kHz

    // Whether a stream of Record can be made this way: a constant rate, no reservoir, the
    // tag frame asked for, no resampling.
    static bool Suits(const TBeConfig& Record, uint32_t InputRate);
    // The lanes worth running here (0: one encoder is as fast).
    static uint32_t LanesHere();

    // Channels: the encoder's (1 or 2); FrameSamples: samples per channel in a frame.
    TMp3Lanes(const TBeConfigBytes& Record, uint32_t Channels, uint32_t FrameSamples,
              uint32_t Lanes);
    ~TMp3Lanes();
    TMp3Lanes(const TMp3Lanes&) = delete;
    TMp3Lanes& operator=(const TMp3Lanes&) = delete;

    // Takes Frames sample frames (interleaved, Channels each) and hands what is finished, in
    // order, to Sink. Throws EAuException when an encoder failed.
    void Add(const int16_t* Pcm, uint32_t Frames, const TSink& Sink);
    // The rest of the stream.
    void Finish(const TSink& Sink);
    // After Finish: the tag frame to put over the placeholder (of the same size).
    std::vector<uint8_t> TagFrame() const;

private:
    struct TJob {
        uint64_t Number = 0;
        std::vector<int16_t> Pcm;
        uint32_t Skip = 0;  // frames dropped at the start
        int64_t Keep = -1;  // frames kept after them; -1: all
        bool First = false; // the stream's first chunk: its encoder makes the tag frame
        // Filled by the lane.
        bool Finished = false;
        std::vector<uint8_t> Bytes;
        uint64_t Frames = 0;
        std::string Error;
        std::vector<uint8_t> Tag; // the first chunk's tag frame
    };

    void Run();
    void Encode(TJob& Job) const;
    void Submit(std::vector<int16_t> Pcm, uint32_t Skip, int64_t Keep);
    // Hands out finished chunks in order; waits for the oldest when Wait.
    void Deliver(const TSink& Sink, bool Wait);
    void Emit(TJob& Job, const TSink& Sink);

    TBeConfigBytes FRecord;
    uint32_t FChannels, FFrameSamples, FLanes;
    std::vector<std::thread> FThreads;
    std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<std::shared_ptr<TJob>> FQueue;   // not yet taken by a lane
    std::deque<std::shared_ptr<TJob>> FPending; // submitted, not yet handed out, in order
    bool FStop = false;

    // The caller's side.
    std::vector<int16_t> FInput; // samples from sample frame FInputAt on
    int64_t FInputAt = 0;
    int64_t FTaken = 0;     // sample frames taken
    int64_t FNextChunk = 0; // the first MP3 frame of the next chunk
    uint64_t FJobs = 0;
    bool FTagOut = false;
    std::vector<uint8_t> FPlaceholder;
    uint32_t FStreamWord = 0;
    mp3frames::TLameExtension FExtension = mp3frames::DefaultLameExtension();
    uint32_t FDelay = 0;
    uint64_t FFramesOut = 0, FBytesOut = 0;
    uint16_t FMusicCrc = 0;
};

} // namespace sundral
