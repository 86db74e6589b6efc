// One play of the media control device: a thread that positions the decoder, opens a sound
// output and decodes a stretch into a ring, and the output's audio thread that takes the
// sound from there.
//
// The play ends by itself once the last frame of the stretch has gone to the output: its
// thread then closes the output and calls the notify call (nvSuccessful, or nvFailure when
// the file could not be positioned or decoded, or no output opened). Cancel ends it early
// from the commanding thread; notifying is then the caller's job (see Notified).
//
// Threading: the device's commanding thread creates the play and calls Start, SetPaused,
// Cancel and the queries; the play's thread and SDL's audio thread do the rest. The queries
// may be called at any time.
// Ownership: the play owns its thread and its output and stops both before it is destroyed.
// The decoder is the device's; the play uses it only between Start and the end of its
// thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/mci.h"

namespace sundral::mci {

class TMciOutput;

class TMciPlay {
public:
    // Plays frames [StartFrame, EndFrame) of the decoder's output; EndFrame -1 plays to the end
    // of the stream.
    TMciPlay(TMciDecoder& Decoder, int64_t StartFrame, int64_t EndFrame, TMciNotify Notify,
             TMciDecodeHook Hook);
    ~TMciPlay();
    TMciPlay(const TMciPlay&) = delete;
    TMciPlay& operator=(const TMciPlay&) = delete;

    // Starts the thread; returns at once.
    void Start();
    // Stops the thread and the output and waits for them.
    void Cancel();
    void SetPaused(bool Value);

    bool Paused() const { return FPaused.load(); }
    // The thread is done (by itself or by Cancel).
    bool Finished() const { return FFinished.load(); }
    // The stream ran out before the end frame (or there was none).
    bool ReachedEndOfStream() const { return FEndOfStream.load(); }
    // The frame the sound has reached: StartFrame plus what the output has taken.
    int64_t Frame() const { return FStartFrame + FTaken.load(); }
    // SDL's driver of the output; empty until the output is open.
    std::string Driver() const;
    // True once the thread has called the notify call; false after Cancel means the caller
    // is to report the end.
    bool Notified() const { return FNotified.load(); }
    TMciNotify& Notify() { return FNotify; }

private:
    void Run();
    // Decodes the next block of the stretch into Block: frames, 0 at its end, -1 on failure.
    int64_t ReadBlock(std::vector<int16_t>& Block);
    bool OpenOutput();
    // Waits for room and copies Frames frames into the ring; false when cancelled.
    bool Push(const int16_t* Samples, int64_t Frames);
    void StartOutput();
    void CloseOutput();
    static void Pull(void* Self, int16_t* Buffer, int Frames);

    TMciDecoder& FDecoder;
    const int64_t FStartFrame;
    const int64_t FEndFrame;
    TMciNotify FNotify;
    TMciDecodeHook FHook;
    uint16_t FChannels = 0; // of the output; set before the audio thread runs

    // Output state: who may start or pause the output. Never taken on the audio thread.
    mutable std::mutex FOutputLock;
    std::unique_ptr<TMciOutput> FOutput;
    bool FOutputStarted = false;
    std::string FDriver;

    // The ring between the play's thread and the audio thread.
    std::mutex FRingLock;
    std::condition_variable FRingChanged;
    std::vector<int16_t> FRing;
    size_t FRingHead = 0;  // first sample to hand out
    size_t FRingCount = 0; // samples held
    bool FDecodeDone = false;
    bool FDrained = false; // every frame has gone to the device

    std::atomic<bool> FCancel{false};
    std::atomic<bool> FPaused{false};
    std::atomic<bool> FFinished{false};
    std::atomic<bool> FEndOfStream{false};
    std::atomic<bool> FNotified{false};
    std::atomic<int64_t> FTaken{0};
    std::thread FThread;
};

} // namespace sundral::mci
