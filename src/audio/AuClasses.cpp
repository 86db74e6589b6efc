#include "audio/AuClasses.h"

#include <cmath>
#include <cstring>
#include <exception>

#include "audio/AuClassesThread.h"
#include "platform/uisync.h"

namespace sundral {

// ---------------------------------------------------------------------------------------
// TAuInput
// ---------------------------------------------------------------------------------------
TAuInput::TAuInput(TComponent* AOwner) : TComponent(AOwner) {}

TAuInput::~TAuInput() = default;

void TAuInput::Init() {
    std::lock_guard guard(FDataLock);
    FEndOfData = false;
    try {
        InitInput();
    } catch (const std::exception& e) {
        FEndOfData = true;
        throw EAuException(e.what());
    }
}

void TAuInput::Flush() {
    std::lock_guard guard(FDataLock);
    FPrefetchCount = 0;
    FPrefetchOffset = 0;
    FlushInput();
}

void TAuInput::GetData(const uint8_t*& Buffer, uint32_t& Bytes) {
    std::lock_guard guard(FDataLock);
    if (FPrefetchCount > 0) {
        uint32_t unread = FPrefetchCount - FPrefetchOffset;
        if (Bytes > unread) Bytes = unread;
        Buffer = FPrefetchData.data() + FPrefetchOffset;
        FPrefetchOffset += Bytes;
        FPosition += Bytes;
        if (FPrefetchOffset >= FPrefetchCount) {
            FPrefetchCount = 0;
            FPrefetchOffset = 0;
        }
        return;
    }
    ReadSource(Buffer, Bytes);
}

void TAuInput::Reset() {
    try {
        Flush();
    } catch (...) {
        // Reset forces the source idle whatever the flush says.
    }
    FBusy = false;
}

void TAuInput::Prefetch(uint32_t Bytes) {
    std::lock_guard guard(FDataLock);
    if (FPrefetchCount != 0) return;
    if (FPrefetchData.size() < Bytes) FPrefetchData.resize(Bytes);
    uint32_t held = 0;
    while (held < Bytes) {
        const uint8_t* piece = nullptr;
        uint32_t n = Bytes - held;
        ReadSource(piece, n);
        if (n == 0) break;
        std::memcpy(FPrefetchData.data() + held, piece, n);
        held += n;
    }
    FPrefetchCount = held;
    FPrefetchOffset = 0;
    FPosition -= held;
}

uint32_t ReadOnce(TAuInput* Source, void* Dest, uint32_t Count) {
    const uint8_t* data = nullptr;
    uint32_t n = Count;
    Source->GetData(data, n);
    if (n > 0) std::memcpy(Dest, data, n);
    return n;
}

uint32_t ReadFull(TAuInput* Source, void* Dest, uint32_t Count, bool& Eof) {
    auto* out = static_cast<uint8_t*>(Dest);
    uint32_t total = 0;
    Eof = Count == 0;
    while (total < Count) {
        const uint8_t* data = nullptr;
        uint32_t n = Count - total;
        Source->GetData(data, n);
        if (n == 0) {
            Eof = true;
            break;
        }
        std::memcpy(out + total, data, n);
        total += n;
    }
    return total;
}

// ---------------------------------------------------------------------------------------
// TAuOutput
// ---------------------------------------------------------------------------------------
TAuOutput::TAuOutput(TComponent* AOwner) : TComponent(AOwner) {
    if (Designing()) return;
    TEventHandler::AddRef();
    FDispatchId = TEventHandler::Instance()->Register();
    FThread = new TAuThread(this); // returns once the worker is Waiting
}

TAuOutput::~TAuOutput() {
    StopWorker();
}

void TAuOutput::StopWorker() {
    if (FThread == nullptr) return; // design mode, or stopped already
    Stop(false);
    // No event of this sink is delivered from here on, and the dispatcher lets go of it
    // before the worker it may be watching goes away.
    TEventHandler::Instance()->Unregister(this);
    delete FThread;
    FThread = nullptr;
    if (FInput) RemoveFreeNotification(FInput);
    TEventHandler::Release();
}

std::string TAuOutput::ExceptionMessage() const {
    std::lock_guard guard(FMessageLock);
    return FExceptionMessage;
}

void TAuOutput::SetExceptionMessage(const std::string& Value) {
    std::lock_guard guard(FMessageLock);
    FExceptionMessage = Value;
}

void TAuOutput::PostNotify(std::function<void(TComponent*)> Handler) {
    if (FThread == nullptr || !Handler) return;
    TEventHandler::Instance()->PostNotify(this, FRunNumber.load(), std::move(Handler));
}

void TAuOutput::SetInput(TAuInput* Value) {
    if (Value == FInput) return;
    if (FBusy) {
        Stop(false);
        if (FInput) RemoveFreeNotification(FInput);
        FInput = Value;
        if (FInput) FreeNotification(FInput);
        Run();
        return;
    }
    if (FInput) RemoveFreeNotification(FInput);
    FInput = Value;
    if (FInput) FreeNotification(FInput);
}

void TAuOutput::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == TOperation::opRemove && AComponent != nullptr && AComponent == FInput) {
        SetInput(nullptr);
    }
    TComponent::Notification(AComponent, Operation);
}

void TAuOutput::Run() {
    if (FThread == nullptr) throw EAuException("Component is Busy"); // design mode: no worker
    std::lock_guard guard(FRunLock);
    SetExceptionMessage({});
    if (FBusy) throw EAuException("Component is Busy");
    if (FInput == nullptr) throw EAuException("Input is not assigned");
    FBusy = true;
    FStopped = false; // a Stop made while idle does not belong to this run
    uint64_t run = ++FRunNumber;
    // The worker may still be finishing the previous run (its Busy is already clear): the
    // signal waits for it, and the run starts once it has taken this one up.
    FThread->StopRequest = false;
    FThread->WakeEvent.Signal();
    FThread->WaitAccepted(run);
}

void TAuOutput::Stop(bool Async) {
    FStopped = true;
    if (FThread == nullptr) return;
    FThread->NotifyDone = Async;
    FThread->DonePosted = false;
    FThread->StopRequest = true;
    if (Async) return;
    TEventHandler* dispatcher = TEventHandler::Instance();
    dispatcher->BlockEvents(this);
    dispatcher->ClearEvents(this);
    // Events of this run that the dispatcher already holds are dropped on delivery.
    FFirstDeliverableRun = FRunNumber.load() + 1;
    // The dispatcher may be waiting for us to run one of its calls meanwhile.
    SynchronizeUntil([this] { return FThread->Waiting.load() || FThread->DonePosted.load(); });
    dispatcher->UnblockEvents();
    FThread->NotifyDone = true;
}

int32_t TAuOutput::Progress() const {
    TAuInput* input = FInput;
    if (input == nullptr) return 0;
    int64_t size = input->Size();
    if (size == -1) return -1;
    if (size == 0) return 0;
    double percent = static_cast<double>(input->Position()) * 100.0 / static_cast<double>(size);
    return static_cast<int32_t>(std::nearbyint(percent));
}

void TAuOutput::WhenDone() {
    if (!FBusy) return;
    // A failing Done (the last bytes or the tags not written) fails the run like any other
    // step: its text is the run's message unless an earlier failure already set one. Either
    // way the sink must not stay busy.
    try {
        FActive = false;
        Done();
    } catch (const std::exception& e) {
        if (ExceptionMessage().empty()) SetExceptionMessage(e.what());
    } catch (...) {
        if (ExceptionMessage().empty()) SetExceptionMessage("Unknown error in audio component");
    }
    FStopped = false;
    FBusy = false;
}

} // namespace sundral
