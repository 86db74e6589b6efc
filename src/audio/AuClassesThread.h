// The sink's worker thread and the process-wide event dispatcher.
//
// TAuThread: one per sink, owned by it, idle (Waiting) between runs. It runs Prepare, the
// DoOutput loop and Done for each run and posts the run's events to the dispatcher; it never
// waits for the UI thread.
//
// TEventHandler: at most one per process (EventHandler()), alive from the first sink's
// construction to the last sink's destruction. It takes event records in posting order and
// has each handler run on the UI thread through Synchronize, waiting until it has run.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "audio/AuClasses.h"

namespace sundral {

// Auto-reset event: Signal wakes one waiter (or the next one to wait) and resets itself.
class TAutoResetEvent {
public:
    void Signal();
    void Reset();
    void Wait();

private:
    std::mutex FLock;
    std::condition_variable FCond;
    bool FSignalled = false;
};

class TAuThread {
public:
    explicit TAuThread(TAuOutput* ASink);
    ~TAuThread(); // terminates and joins

    void Terminate();
    bool Terminated() const { return FTerminated.load(); }

    TAutoResetEvent WakeEvent;
    std::atomic<bool> NotifyDone{true};
    std::atomic<bool> DonePosted{false};
    std::atomic<bool> StopRequest{false};
    std::atomic<bool> Waiting{false};
    std::atomic<bool> Exited{false};
    // Number of the run the worker took up last (see TAuOutput::FRunNumber).
    std::atomic<uint64_t> AcceptedRun{0};

    // Blocks until the worker took up run `Run` or a later one, or has exited.
    void WaitAccepted(uint64_t Run);
    // Blocks until Waiting is true, the worker took up a run after `Run`, or it has exited.
    void WaitIdleAfter(uint64_t Run);

private:
    void Execute();
    void WaitForRun();
    // State changes others wait for: each wakes the waiters on FStateChanged, and the UI
    // thread, which may be waiting for them in a synchronous Stop.
    void SetWaiting(bool Value);
    void SetAccepted(uint64_t Run);
    void SetDonePosted();

    TAuOutput* FSink;
    std::atomic<bool> FTerminated{false};
    std::mutex FStateLock;
    std::condition_variable FStateChanged;
    std::thread FThread;
};

enum class TEventKind : uint8_t { ekProgress = 0, ekDone = 1, ekNotify = 2 };

class TEventHandler {
public:
    TEventHandler();
    ~TEventHandler(); // terminates and joins

    void PostProgress(TAuOutput* Sender, uint64_t Run);
    void PostDone(TAuOutput* Sender, TAuThread* Worker, uint64_t Run);
    // Handler none: the sink's OnThreadException at delivery; otherwise that handler (concrete
    // sinks use it to bring their own events to the UI thread).
    void PostNotify(TAuOutput* Sender, uint64_t Run,
                    std::function<void(TComponent*)> Handler = nullptr);
    void BlockEvents(TAuOutput* Sender);
    void UnblockEvents();
    void ClearEvents(TAuOutput* Sender);

    // Sinks register while they live; events of a sink that is gone are never delivered.
    uint64_t Register();
    // Forgets the sink and waits (servicing UI-thread calls) until the dispatcher holds no
    // record of it.
    void Unregister(TAuOutput* Sender);

    // Shared instance with a reference count: the first reference creates and starts the
    // dispatcher, the last release ends it.
    static void AddRef();
    static void Release();
    static TEventHandler* Instance();

private:
    struct TEventRecord {
        TEventKind Kind;
        TAuOutput* Sender;
        uint64_t SenderId;
        uint64_t Run;
        TAuThread* Worker;                        // done records only
        std::function<void(TComponent*)> Handler; // notify records with their own handler
    };

    void Post(const TEventRecord& Rec);
    void Execute();
    void Deliver(const TEventRecord& Rec);
    void ClearEventsLocked(uint64_t SenderId, uint64_t UpToRun);

    std::mutex FQueueLock;
    std::deque<TEventRecord> FQueue;
    std::unordered_set<uint64_t> FLive;
    uint64_t FNextId = 1;
    uint64_t FBlockedId = 0;
    uint64_t FCurrentId = 0; // sender of the record being delivered, 0 when none
    TAutoResetEvent FWake;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FDeleteSelf{false};
    uint64_t FUiDeliveringId = 0; // UI thread only: the sink whose handler runs now
    std::thread FThread;
};

} // namespace sundral
