#include "platform/uisync.h"

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace sundral {
namespace {

struct PendingCall {
    const std::function<void()>* fn;
    bool done = false;
};

struct SyncState {
    std::mutex lock;
    std::condition_variable queued;   // the UI thread waits here in WaitAndCheckSynchronize
    std::condition_variable finished; // callers of Synchronize wait here
    std::deque<PendingCall*> calls;
    uint64_t wakes = 0; // counts WakeUiThread calls: a waiter compares before and after
    std::thread::id uiThread = std::this_thread::get_id();
    std::function<void()> wakeup;
    std::function<void(std::exception_ptr)> errorHandler;
};

SyncState& State() {
    // Constructed during static initialisation, on the thread that starts the process.
    static SyncState state;
    return state;
}
[[maybe_unused]] const bool kStateMadeEarly = (State(), true);

void RunReported(const std::function<void()>& fn) {
    try {
        fn();
    } catch (...) {
        ReportApplicationError(std::current_exception());
    }
}

} // namespace

bool IsUiThread() {
    auto& s = State();
    std::lock_guard g(s.lock);
    return s.uiThread == std::this_thread::get_id();
}

void SetUiThread() {
    auto& s = State();
    std::lock_guard g(s.lock);
    s.uiThread = std::this_thread::get_id();
}

void SetSynchronizeWakeup(std::function<void()> hook) {
    auto& s = State();
    std::lock_guard g(s.lock);
    s.wakeup = std::move(hook);
}

void SetApplicationErrorHandler(std::function<void(std::exception_ptr)> handler) {
    auto& s = State();
    std::lock_guard g(s.lock);
    s.errorHandler = std::move(handler);
}

void ReportApplicationError(std::exception_ptr error) {
    std::function<void(std::exception_ptr)> handler;
    {
        auto& s = State();
        std::lock_guard g(s.lock);
        handler = s.errorHandler;
    }
    if (handler) {
        handler(error);
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sundral: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "sundral: unknown error\n");
    }
}

void Synchronize(const std::function<void()>& fn) {
    auto& s = State();
    PendingCall call{&fn};
    std::function<void()> wakeup;
    {
        std::unique_lock g(s.lock);
        if (s.uiThread == std::this_thread::get_id()) {
            g.unlock();
            RunReported(fn);
            return;
        }
        s.calls.push_back(&call);
        wakeup = s.wakeup;
    }
    s.queued.notify_all();
    if (wakeup) wakeup();
    std::unique_lock g(s.lock);
    s.finished.wait(g, [&] { return call.done; });
}

bool CheckSynchronize() {
    auto& s = State();
    bool ranAny = false;
    std::unique_lock g(s.lock);
    if (s.uiThread != std::this_thread::get_id()) return false;
    // Only the calls queued before we started: a call that queues another must not starve us.
    size_t n = s.calls.size();
    while (n-- > 0 && !s.calls.empty()) {
        PendingCall* call = s.calls.front();
        s.calls.pop_front();
        g.unlock();
        RunReported(*call->fn);
        g.lock();
        call->done = true;
        ranAny = true;
        s.finished.notify_all();
    }
    return ranAny;
}

bool WaitAndCheckSynchronize(std::chrono::milliseconds timeout) {
    auto& s = State();
    {
        std::unique_lock g(s.lock);
        if (s.uiThread != std::this_thread::get_id()) return false;
        s.queued.wait_for(g, timeout, [&] { return !s.calls.empty(); });
    }
    return CheckSynchronize();
}

void WakeUiThread() {
    auto& s = State();
    {
        std::lock_guard g(s.lock);
        ++s.wakes;
    }
    s.queued.notify_all();
}

void SynchronizeUntil(const std::function<bool()>& Done) {
    auto& s = State();
    for (;;) {
        uint64_t seen;
        {
            std::lock_guard g(s.lock);
            seen = s.wakes;
        }
        // Checked after taking the count: a change made after this check comes with a wake
        // that the wait below sees.
        if (Done()) return;
        if (CheckSynchronize()) continue;
        std::unique_lock g(s.lock);
        const bool ui = s.uiThread == std::this_thread::get_id();
        s.queued.wait(g, [&] { return (ui && !s.calls.empty()) || s.wakes != seen; });
    }
}

} // namespace sundral
