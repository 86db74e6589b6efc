#include "audio/AuClassesThread.h"

#include <algorithm>
#include <exception>

#include "platform/uisync.h"

namespace sundral {

// ---------------------------------------------------------------------------------------
// TAutoResetEvent
// ---------------------------------------------------------------------------------------
void TAutoResetEvent::Signal() {
    {
        std::lock_guard guard(FLock);
        FSignalled = true;
    }
    FCond.notify_one();
}

void TAutoResetEvent::Reset() {
    std::lock_guard guard(FLock);
    FSignalled = false;
}

void TAutoResetEvent::Wait() {
    std::unique_lock guard(FLock);
    FCond.wait(guard, [this] { return FSignalled; });
    FSignalled = false;
}

// ---------------------------------------------------------------------------------------
// TAuThread
// ---------------------------------------------------------------------------------------
TAuThread::TAuThread(TAuOutput* ASink) : FSink(ASink) {
    FThread = std::thread([this] { Execute(); });
    // A Run made right after construction must not be lost: be idle before returning.
    std::unique_lock guard(FStateLock);
    FStateChanged.wait(guard, [this] { return Waiting.load() || Exited.load(); });
}

TAuThread::~TAuThread() {
    // The worker is idle or about to be (the sink stopped it): it checks Terminated before it
    // waits again and after every wake, and the signal stays set until it waits.
    Terminate();
    WakeEvent.Signal();
    if (FThread.joinable()) FThread.join();
}

void TAuThread::Terminate() {
    FTerminated = true;
}

void TAuThread::SetWaiting(bool Value) {
    {
        std::lock_guard guard(FStateLock);
        Waiting = Value;
    }
    FStateChanged.notify_all();
    if (Value) WakeUiThread();
}

void TAuThread::SetAccepted(uint64_t Run) {
    {
        std::lock_guard guard(FStateLock);
        AcceptedRun = Run;
    }
    FStateChanged.notify_all();
}

void TAuThread::SetDonePosted() {
    DonePosted = true;
    WakeUiThread();
}

void TAuThread::WaitAccepted(uint64_t Run) {
    std::unique_lock guard(FStateLock);
    FStateChanged.wait(guard, [&] { return AcceptedRun.load() >= Run || Exited.load(); });
}

void TAuThread::WaitIdleAfter(uint64_t Run) {
    std::unique_lock guard(FStateLock);
    FStateChanged.wait(guard,
                       [&] { return Waiting.load() || AcceptedRun.load() > Run || Exited.load(); });
}

void TAuThread::WaitForRun() {
    // Run signals once per run, possibly while we were still finishing the last one: the
    // signal stays set until we wait. A wake without a new run number (a signal that was
    // meant for a run we already took up) is not a run.
    SetWaiting(true);
    for (;;) {
        WakeEvent.Wait();
        if (Terminated() || FSink->FRunNumber.load() > AcceptedRun.load()) break;
    }
    SetWaiting(false);
}

void TAuThread::Execute() {
    TAuOutput* sink = FSink;
    WaitForRun();
    StopRequest = false;
    while (!Terminated()) {
        // Take up the run; StopRequest is clear before Run returns to its caller.
        uint64_t run = sink->FRunNumber.load();
        SetAccepted(run);
        try {
            sink->Prepare();
            sink->FActive = true;
            for (;;) {
                int32_t progress = sink->Progress();
                if (progress != sink->FLastProgress.load()) {
                    sink->FLastProgress = progress;
                    if (sink->OnProgress) TEventHandler::Instance()->PostProgress(sink, run);
                }
                if (!sink->DoOutput(StopRequest.load()) || StopRequest.load()) break;
            }
        } catch (const std::exception& e) {
            sink->SetExceptionMessage(e.what());
            if (sink->OnThreadException) TEventHandler::Instance()->PostNotify(sink, run);
            StopRequest = true;
        } catch (...) {
            // Not an exception class we know: still a failed run, never a dead process.
            sink->SetExceptionMessage("Unknown error in audio component");
            if (sink->OnThreadException) TEventHandler::Instance()->PostNotify(sink, run);
            StopRequest = true;
        }
        StopRequest = false;
        sink->WhenDone();
        TEventHandler::Instance()->PostDone(sink, this, run);
        SetDonePosted();
        if (Terminated()) break;
        WaitForRun();
    }
    {
        std::lock_guard guard(FStateLock);
        Exited = true;
    }
    FStateChanged.notify_all();
}

// ---------------------------------------------------------------------------------------
// TEventHandler
// ---------------------------------------------------------------------------------------
namespace {
std::mutex gInstanceLock;
TEventHandler* gInstance = nullptr;
int gReferences = 0;
} // namespace

void TEventHandler::AddRef() {
    std::lock_guard guard(gInstanceLock);
    if (gReferences++ == 0) gInstance = new TEventHandler();
}

void TEventHandler::Release() {
    TEventHandler* ending = nullptr;
    {
        std::lock_guard guard(gInstanceLock);
        if (gReferences == 0) return;
        if (--gReferences == 0) {
            ending = gInstance;
            gInstance = nullptr;
        }
    }
    if (ending == nullptr) return;
    if (ending->FUiDeliveringId != 0) {
        // The last sink was destroyed by one of its own handlers, on the UI thread, while the
        // dispatcher waits for that very call: it cannot be joined from here. It ends itself.
        ending->FDeleteSelf = true;
        ending->FTerminated = true;
        ending->FWake.Signal();
        ending->FThread.detach();
        return;
    }
    delete ending;
}

TEventHandler* TEventHandler::Instance() {
    std::lock_guard guard(gInstanceLock);
    return gInstance;
}

TEventHandler::TEventHandler() {
    FThread = std::thread([this] { Execute(); });
}

TEventHandler::~TEventHandler() {
    if (FDeleteSelf.load()) return; // deleted by its own thread, already ended
    FTerminated = true;
    FWake.Signal(); // the dispatcher checks FTerminated after every wake
    if (FThread.joinable()) FThread.join();
}

uint64_t TEventHandler::Register() {
    std::lock_guard guard(FQueueLock);
    uint64_t id = FNextId++;
    FLive.insert(id);
    return id;
}

void TEventHandler::Unregister(TAuOutput* Sender) {
    uint64_t id = Sender->FDispatchId;
    {
        std::lock_guard guard(FQueueLock);
        FLive.erase(id);
        ClearEventsLocked(id, UINT64_MAX);
    }
    // Destroyed by its own handler: the dispatcher touches nothing of the sink after the call.
    if (FUiDeliveringId == id) return;
    // The record being delivered may be this sink's: wait for the dispatcher to let go of it,
    // running the UI-thread call it may be waiting for meanwhile.
    SynchronizeUntil([&] {
        std::lock_guard guard(FQueueLock);
        return FCurrentId != id;
    });
}

void TEventHandler::Post(const TEventRecord& Rec) {
    {
        std::lock_guard guard(FQueueLock);
        if (Rec.SenderId == FBlockedId || !FLive.contains(Rec.SenderId)) return;
        FQueue.push_back(Rec);
    }
    FWake.Signal();
}

void TEventHandler::PostProgress(TAuOutput* Sender, uint64_t Run) {
    Post({TEventKind::ekProgress, Sender, Sender->FDispatchId, Run, nullptr, {}});
}

void TEventHandler::PostDone(TAuOutput* Sender, TAuThread* Worker, uint64_t Run) {
    Post({TEventKind::ekDone, Sender, Sender->FDispatchId, Run, Worker, {}});
}

void TEventHandler::PostNotify(TAuOutput* Sender, uint64_t Run,
                               std::function<void(TComponent*)> Handler) {
    Post({TEventKind::ekNotify, Sender, Sender->FDispatchId, Run, nullptr, std::move(Handler)});
}

void TEventHandler::BlockEvents(TAuOutput* Sender) {
    std::lock_guard guard(FQueueLock);
    FBlockedId = Sender->FDispatchId;
}

void TEventHandler::UnblockEvents() {
    std::lock_guard guard(FQueueLock);
    FBlockedId = 0;
}

void TEventHandler::ClearEvents(TAuOutput* Sender) {
    std::lock_guard guard(FQueueLock);
    ClearEventsLocked(Sender->FDispatchId, UINT64_MAX);
}

void TEventHandler::ClearEventsLocked(uint64_t SenderId, uint64_t UpToRun) {
    std::erase_if(
        FQueue, [&](const TEventRecord& R) { return R.SenderId == SenderId && R.Run <= UpToRun; });
}

void TEventHandler::Execute() {
    while (!FTerminated.load()) {
        for (;;) {
            TEventRecord rec;
            {
                std::lock_guard guard(FQueueLock);
                if (FQueue.empty()) break;
                rec = FQueue.front();
                FQueue.pop_front();
                FCurrentId = rec.SenderId;
            }
            Deliver(rec);
            {
                std::lock_guard guard(FQueueLock);
                FCurrentId = 0;
            }
            WakeUiThread(); // a sink's destruction may wait for this record to be let go
        }
        // Every post and the termination signal: nothing is missed by sleeping until then.
        FWake.Wait();
    }
    if (FDeleteSelf.load()) delete this;
}

void TEventHandler::Deliver(const TEventRecord& Rec) {
    if (Rec.Kind == TEventKind::ekDone) {
        // OnDone runs with the worker idle, so that the handler can start the next run.
        // The sink cannot go away meanwhile: its destruction waits until we let go of it.
        Rec.Worker->WaitIdleAfter(Rec.Run);
        std::lock_guard guard(FQueueLock);
        ClearEventsLocked(Rec.SenderId, Rec.Run);
    }
    // Decide on the UI thread: that is where sinks are stopped, re-run and destroyed, so the
    // answer cannot change between the check and the call.
    Synchronize([&] {
        {
            std::lock_guard guard(FQueueLock);
            if (!FLive.contains(Rec.SenderId) || FBlockedId == Rec.SenderId) return;
        }
        TAuOutput* sink = Rec.Sender;
        if (Rec.Run < sink->FFirstDeliverableRun) return;
        // A copy: the handler may reassign the event or even destroy the sink.
        std::function<void(TComponent*)> handler;
        switch (Rec.Kind) {
        case TEventKind::ekProgress:
            handler = sink->OnProgress;
            break;
        case TEventKind::ekNotify:
            handler = Rec.Handler ? Rec.Handler : sink->OnThreadException;
            break;
        case TEventKind::ekDone:
            if (Rec.Worker->NotifyDone.load()) handler = sink->OnDone;
            break;
        }
        if (!handler) return;
        FUiDeliveringId = Rec.SenderId;
        struct TClear {
            uint64_t& Id;
            ~TClear() { Id = 0; }
        } clear{FUiDeliveringId};
        handler(sink);
    });
}

} // namespace sundral
