// Sources, sinks and the machinery that moves PCM blocks from one to the other.
//
// A source (TAuInput) hands out blocks of interleaved PCM bytes on request. A sink
// (TAuOutput) pulls them on its own worker thread (TAuThread) and writes them somewhere.
// The sink's events never run on the worker: the process-wide dispatcher (TEventHandler)
// queues them and has each one run on the UI thread through Synchronize.
//
// Threading:
//  - UI thread: construction, destruction, property set-up, Run, Stop, every event handler.
//  - the sink's worker: Prepare, DoOutput, Done, and through them the source's Init, GetData,
//    Flush.
//  - the dispatcher: moves events to the UI thread and waits until each has run.
// Lock order: a source's DataLock may be held while taking a file lock or another source's
// DataLock (never the reverse). The run lock and the dispatcher's queue lock are never held
// while another lock is taken.
//
// Ownership: a sink refers to its Input and never owns it. A sink owns its worker.
// Concrete sinks must call StopWorker() first thing in their destructor, so that the worker
// is idle before the derived part of the object goes away.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "audio/AuComponent.h"

namespace sundral {

class TAuOutput;
class TAuThread;

// ---------------------------------------------------------------------------------------
// Source
// ---------------------------------------------------------------------------------------
class TAuInput : public TComponent {
public:
    explicit TAuInput(TComponent* AOwner);
    ~TAuInput() override;

    uint32_t BitsPerSample() { return GetBitsPerSample(); }
    uint32_t Channels() { return GetChannels(); }
    uint32_t SampleRate() { return GetSampleRate(); }
    int32_t TotalTime() { return GetTotalTime(); }
    int64_t TotalSamples() { return GetTotalSamples(); }
    int64_t Position() const { return FPosition.load(std::memory_order_relaxed); }
    int64_t Size() const { return FSize.load(std::memory_order_relaxed); }
    bool Busy() const { return FBusy.load(); }
    uint16_t FrameSize() const { return FFrameSize; }
    bool Seekable() const { return FSeekable; }
    bool EndOfData() const { return FEndOfData; }

    // Start a run: clears EndOfData and calls InitInput under DataLock. A failure of
    // InitInput sets EndOfData and is raised again as EAuException with the same message.
    void Init();
    // End a run: empties the look-ahead buffer and calls FlushInput under DataLock.
    void Flush();

    // Why the source cannot deliver audio, in words for the user ("IMA ADPCM with 3
    // channels"); empty when it can. A file source opens its file to answer.
    virtual std::string InvalidReason() { return {}; }

    virtual void SetAuxFlag(bool Value) { FAuxFlag = Value; }
    // The read sinks and the mixer use. On entry Bytes is the most the caller takes; on exit
    // Buffer points at data owned by the source (valid until the next call) and Bytes is the
    // count, 0 at the end.
    virtual void GetData(const uint8_t*& Buffer, uint32_t& Bytes);
    virtual void Reset();
    virtual void Prefetch(uint32_t Bytes);
    virtual void ReservedHookA() {}
    virtual void ReservedHookB() {}

    std::recursive_mutex& DataLock() { return FDataLock; }

protected:
    virtual uint32_t GetBitsPerSample() = 0;
    virtual uint32_t GetChannels() = 0;
    virtual uint32_t GetSampleRate() = 0;
    virtual int32_t GetTotalTime() { return 0; }
    virtual int64_t GetTotalSamples() { return 0; }
    // Set Busy, Position 0, Size (-1 when unknown), FrameSize, BufferStart 1, BufferEnd 0.
    virtual void InitInput() = 0;
    // Release what the run holds, clear Busy.
    virtual void FlushInput() = 0;
    virtual void ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) = 0;

    // Position and Size are read by the UI thread (Progress) while the worker moves data.
    std::atomic<int64_t> FPosition{0};
    std::atomic<int64_t> FSize{0};
    uint16_t FFrameSize = 0;
    bool FSeekable = false;
    std::atomic<bool> FBusy{false};
    uint32_t FBufferStart = 1;
    uint32_t FBufferEnd = 0;
    std::recursive_mutex FDataLock;
    bool FEndOfData = false;
    bool FAuxFlag = false;
    // Look-ahead buffer filled by Prefetch; both counters are 0 when it is empty.
    std::vector<uint8_t> FPrefetchData;
    uint32_t FPrefetchCount = 0;
    uint32_t FPrefetchOffset = 0;
};

// One GetData call asking for Count bytes; copies what it gives to Dest and returns the count.
uint32_t ReadOnce(TAuInput* Source, void* Dest, uint32_t Count);
// GetData until Count bytes are in or a call gives 0 bytes; Eof tells whether the last call
// gave 0 bytes (also when Count is 0). Returns the total copied.
uint32_t ReadFull(TAuInput* Source, void* Dest, uint32_t Count, bool& Eof);

// ---------------------------------------------------------------------------------------
// Sink
// ---------------------------------------------------------------------------------------
using TOutputDoneEvent = std::function<void(TComponent* Sender)>;
using TOutputProgressEvent = std::function<void(TComponent* Sender)>;
using TThreadExceptionEvent = std::function<void(TComponent* Sender)>;

class TAuOutput : public TComponent {
    friend class TAuThread;
    friend class TEventHandler;

public:
    explicit TAuOutput(TComponent* AOwner);
    ~TAuOutput() override;

    TAuInput* Input() const { return FInput; }
    // While busy: stop synchronously, store the new input and run again.
    virtual void SetInput(TAuInput* Value);

    // Start the job; returns once the worker has begun it.
    void Run();
    // End the job early. Async false returns only after the worker is idle again, and no
    // OnProgress or OnDone of the stopped run is delivered afterwards.
    void Stop(bool Async = true);

    // Percentage of the input delivered: 0 without input or with Size 0, -1 when Size is
    // unknown, else Position * 100 / Size rounded to nearest (ties to even).
    int32_t Progress() const;
    bool Busy() const { return FBusy.load(); }
    bool Stopped() const { return FStopped.load(); }
    bool Active() const { return FActive.load(); }
    int32_t LastProgress() const { return FLastProgress.load(); }
    std::string ExceptionMessage() const;

    TOutputDoneEvent OnDone;
    TOutputProgressEvent OnProgress;
    TThreadExceptionEvent OnThreadException;

protected:
    // All three run on the worker. Prepare must call Input()->Init() and open the
    // destination. DoOutput returns true while there may be more. Done finishes the
    // destination and must call Input()->Flush(); it runs after every run, also a stopped
    // or failed one (Stopped() tells).
    virtual bool DoOutput(bool Abort) = 0;
    virtual void Done() = 0;
    virtual void Prepare() = 0;

    void Notification(TComponent* AComponent, TOperation Operation) override;
    void SetExceptionMessage(const std::string& Value);
    // For concrete sinks whose own events come from other threads: has Handler run on the UI
    // thread, in order with this run's other events (dropped like them after a synchronous
    // stop or the sink's destruction). Callable from any thread while the sink exists.
    void PostNotify(std::function<void(TComponent*)> Handler);

    // Stops the job synchronously and ends the worker. Idempotent; concrete sinks call it
    // first in their destructor.
    void StopWorker();

    std::atomic<bool> FStopped{false};
    std::atomic<bool> FActive{false};

private:
    void WhenDone();

    mutable std::mutex FMessageLock;
    std::string FExceptionMessage;
    std::atomic<int32_t> FLastProgress{0};
    TAuThread* FThread = nullptr;
    TAuInput* FInput = nullptr;
    std::atomic<bool> FBusy{false};
    std::mutex FRunLock;
    // Runs are numbered; events carry the number of the run that posted them, so that a
    // synchronous stop can drop late events of its run without touching a newer run's.
    std::atomic<uint64_t> FRunNumber{0};
    uint64_t FFirstDeliverableRun = 0; // UI thread only
    uint64_t FDispatchId = 0;          // key in the dispatcher's table of live sinks
};

} // namespace sundral
