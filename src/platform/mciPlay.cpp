#include "platform/mciPlay.h"

#include <algorithm>
#include <cstring>

#include "platform/mciDecoder.h"
#include "platform/mciOutput.h"

namespace sundral::mci {

namespace {

// Frames decoded per step, and the ring's size in steps: about half a second at 44.1 kHz.
constexpr int64_t kStepFrames = 4096;
constexpr size_t kRingSteps = 6;

} // namespace

TMciPlay::TMciPlay(TMciDecoder& Decoder, int64_t StartFrame, int64_t EndFrame, TMciNotify Notify,
                   TMciDecodeHook Hook)
    : FDecoder(Decoder), FStartFrame(StartFrame), FEndFrame(EndFrame), FNotify(std::move(Notify)),
      FHook(std::move(Hook)) {}

TMciPlay::~TMciPlay() {
    Cancel();
}

void TMciPlay::Start() {
    FDecoder.SetInterrupt(&FCancel);
    FThread = std::thread([this] {
        Run();
        TMciOutput::ReleaseThread();
    });
}

void TMciPlay::Cancel() {
    {
        std::lock_guard<std::mutex> lock(FRingLock);
        FCancel = true;
    }
    FRingChanged.notify_all();
    if (FThread.joinable()) FThread.join();
    CloseOutput();
    FFinished = true;
}

void TMciPlay::SetPaused(bool Value) {
    std::lock_guard<std::mutex> lock(FOutputLock);
    FPaused = Value;
    if (FOutput && FOutputStarted) FOutput->SetPaused(Value);
}

std::string TMciPlay::Driver() const {
    std::lock_guard<std::mutex> lock(FOutputLock);
    return FDriver;
}

void TMciPlay::StartOutput() {
    std::lock_guard<std::mutex> lock(FOutputLock);
    if (FOutputStarted || !FOutput) return;
    FOutputStarted = true;
    if (!FPaused) FOutput->SetPaused(false);
}

void TMciPlay::CloseOutput() {
    std::unique_ptr<TMciOutput> output;
    {
        std::lock_guard<std::mutex> lock(FOutputLock);
        output = std::move(FOutput);
    }
    // Destroyed outside the lock: closing waits for the audio thread.
    output.reset();
}

bool TMciPlay::Push(const int16_t* Samples, int64_t Frames) {
    size_t left = size_t(Frames) * FChannels;
    std::unique_lock<std::mutex> lock(FRingLock);
    while (left > 0) {
        FRingChanged.wait(lock, [&] { return FCancel || FRingCount < FRing.size(); });
        if (FCancel) return false;
        const size_t tail = (FRingHead + FRingCount) % FRing.size();
        const size_t n = std::min({left, FRing.size() - FRingCount, FRing.size() - tail});
        std::memcpy(FRing.data() + tail, Samples, n * sizeof(int16_t));
        FRingCount += n;
        Samples += n;
        left -= n;
    }
    return true;
}

int64_t TMciPlay::ReadBlock(std::vector<int16_t>& Block) {
    int64_t want = kStepFrames;
    if (FEndFrame >= 0) want = std::min(want, FEndFrame - FDecoder.NextFrame());
    if (want <= 0) return 0;
    if (FHook) FHook(FDecoder.NextFrame());
    Block.resize(size_t(want) * FDecoder.OutputChannels());
    return FDecoder.Read(Block.data(), want);
}

bool TMciPlay::OpenOutput() {
    TMciError error = mciOk;
    auto output = TMciOutput::Open(FDecoder.SampleRate(), FDecoder.SourceChannels(),
                                   &TMciPlay::Pull, this, error);
    if (!output) return false;
    FChannels = output->Channels();
    FRing.assign(size_t(kStepFrames) * kRingSteps * FChannels, 0);
    std::lock_guard<std::mutex> lock(FOutputLock);
    FDriver = output->Driver();
    FOutput = std::move(output);
    return true;
}

void TMciPlay::Run() {
    // Positioned and first block decoded before the output opens: an open output plays
    // silence until it is started.
    std::vector<int16_t> block;
    bool failed = !FDecoder.Seek(FStartFrame);
    int64_t got = failed ? -1 : ReadBlock(block);
    const bool outputOpen = !failed && OpenOutput();
    failed = !outputOpen;
    if (!failed && FChannels != FDecoder.OutputChannels()) {
        // The output mixes down: decode the block again in its layout.
        FDecoder.SetOutputChannels(FChannels);
        failed = !FDecoder.Seek(FStartFrame);
        got = failed ? -1 : ReadBlock(block);
    }
    while (!failed && !FCancel) {
        if (got < 0) failed = !FCancel;
        if (got <= 0) {
            FEndOfStream = got == 0 && FDecoder.NextFrame() != FEndFrame;
            break;
        }
        if (!Push(block.data(), got)) break;
        // The output starts once it has sound to play.
        StartOutput();
        got = ReadBlock(block);
    }
    if (outputOpen) {
        StartOutput();
        std::unique_lock<std::mutex> lock(FRingLock);
        FDecodeDone = true;
        FRingChanged.wait(lock, [&] { return FCancel || FDrained; });
    }
    FDecoder.SetInterrupt(nullptr);
    if (FCancel) return;
    CloseOutput();
    FFinished = true;
    FNotified = true;
    if (FNotify) FNotify(failed ? TMciNotifyValue::nvFailure : TMciNotifyValue::nvSuccessful);
}

void TMciPlay::Pull(void* Self, int16_t* Buffer, int Frames) {
    auto* play = static_cast<TMciPlay*>(Self);
    const size_t want = size_t(Frames) * play->FChannels;
    size_t done = 0;
    {
        std::lock_guard<std::mutex> lock(play->FRingLock);
        while (done < want && play->FRingCount > 0) {
            const size_t n =
                std::min({want - done, play->FRingCount, play->FRing.size() - play->FRingHead});
            std::memcpy(Buffer + done, play->FRing.data() + play->FRingHead, n * sizeof(int16_t));
            play->FRingHead = (play->FRingHead + n) % play->FRing.size();
            play->FRingCount -= n;
            done += n;
        }
        play->FTaken += int64_t(done / play->FChannels);
        // The buffer that held the last frames went to the device before this call: only
        // a call with nothing left to give ends the play.
        if (play->FDecodeDone && done == 0 && !play->FDrained) play->FDrained = true;
    }
    std::memset(Buffer + done, 0, (want - done) * sizeof(int16_t));
    play->FRingChanged.notify_all();
}

} // namespace sundral::mci
