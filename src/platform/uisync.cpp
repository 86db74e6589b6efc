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

struct TPendingCall {
    const std::function<void()>* Fn;
    bool Done = false;
};

struct TSyncState {
    std::mutex Lock;
    std::condition_variable Queued;   // the UI thread waits here in WaitAndCheckSynchronize
    std::condition_variable Finished; // callers of Synchronize wait here
    std::deque<TPendingCall*> Calls;
    uint64_t Wakes = 0; // counts WakeUiThread calls: a waiter compares before and after
    std::thread::id UiThread = std::this_thread::get_id();
    std::function<void()> Wakeup;
    std::function<void(std::exception_ptr)> ErrorHandler;
};

TSyncState& State() {
    // Constructed during static initialisation, on the thread that starts the process, and
    // never destroyed: a dispatcher whose last sink went away inside one of its own handlers
    // ends on its own, detached, and may still wake the UI thread while the process exits.
    static TSyncState* state = new TSyncState;
    return *state;
}
[[maybe_unused]] const bool kStateMadeEarly = (State(), true);

void RunReported(const std::function<void()>& Fn) {
    try {
        Fn();
    } catch (...) {
        ReportApplicationError(std::current_exception());
    }
}

} // namespace

bool IsUiThread() {
    auto& s = State();
    std::lock_guard g(s.Lock);
    return s.UiThread == std::this_thread::get_id();
}

void SetUiThread() {
    auto& s = State();
    std::lock_guard g(s.Lock);
    s.UiThread = std::this_thread::get_id();
}

void SetSynchronizeWakeup(std::function<void()> Hook) {
    auto& s = State();
    std::lock_guard g(s.Lock);
    s.Wakeup = std::move(Hook);
}

void SetApplicationErrorHandler(std::function<void(std::exception_ptr)> Handler) {
    auto& s = State();
    std::lock_guard g(s.Lock);
    s.ErrorHandler = std::move(Handler);
}

void ReportApplicationError(std::exception_ptr Error) {
    std::function<void(std::exception_ptr)> handler;
    {
        auto& s = State();
        std::lock_guard g(s.Lock);
        handler = s.ErrorHandler;
    }
    if (handler) {
        handler(Error);
        return;
    }
    try {
        std::rethrow_exception(Error);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sundral: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "sundral: unknown error\n");
    }
}

void Synchronize(const std::function<void()>& Fn) {
    auto& s = State();
    TPendingCall call{&Fn};
    std::function<void()> wakeup;
    {
        std::unique_lock g(s.Lock);
        if (s.UiThread == std::this_thread::get_id()) {
            g.unlock();
            RunReported(Fn);
            return;
        }
        s.Calls.push_back(&call);
        wakeup = s.Wakeup;
    }
    s.Queued.notify_all();
    if (wakeup) wakeup();
    std::unique_lock g(s.Lock);
    s.Finished.wait(g, [&] { return call.Done; });
}

bool CheckSynchronize() {
    auto& s = State();
    bool ranAny = false;
    std::unique_lock g(s.Lock);
    if (s.UiThread != std::this_thread::get_id()) return false;
    // Only the calls queued before we started: a call that queues another must not starve us.
    size_t n = s.Calls.size();
    while (n-- > 0 && !s.Calls.empty()) {
        TPendingCall* call = s.Calls.front();
        s.Calls.pop_front();
        g.unlock();
        RunReported(*call->Fn);
        g.lock();
        call->Done = true;
        ranAny = true;
        s.Finished.notify_all();
    }
    return ranAny;
}

bool WaitAndCheckSynchronize(std::chrono::milliseconds Timeout) {
    auto& s = State();
    {
        std::unique_lock g(s.Lock);
        if (s.UiThread != std::this_thread::get_id()) return false;
        s.Queued.wait_for(g, Timeout, [&] { return !s.Calls.empty(); });
    }
    return CheckSynchronize();
}

void WakeUiThread() {
    auto& s = State();
    {
        std::lock_guard g(s.Lock);
        ++s.Wakes;
    }
    s.Queued.notify_all();
}

void SynchronizeUntil(const std::function<bool()>& Done) {
    auto& s = State();
    for (;;) {
        uint64_t seen;
        {
            std::lock_guard g(s.Lock);
            seen = s.Wakes;
        }
        // Checked after taking the count: a change made after this check comes with a wake
        // that the wait below sees.
        if (Done()) return;
        if (CheckSynchronize()) continue;
        std::unique_lock g(s.Lock);
        const bool ui = s.UiThread == std::this_thread::get_id();
        s.Queued.wait(g, [&] { return (ui && !s.Calls.empty()) || s.Wakes != seen; });
    }
}

} // namespace sundral
