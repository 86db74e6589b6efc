// Running a call on the user-interface thread.
//
// Contract:
//  - The UI thread is the thread that called SetUiThread() last, or the thread that
//    started the process when nobody did.
//  - Synchronize(fn) from any other thread queues fn, wakes the UI thread through the
//    installed wake-up hook and blocks until the UI thread has run fn. Called on the UI
//    thread it runs fn at once.
//  - CheckSynchronize() runs, on the UI thread, every call queued so far, in queue order.
//    It returns true when it ran at least one. Calling it on another thread does nothing.
//  - An exception escaping fn is handed to the application's error report (see
//    SetApplicationErrorHandler) on the UI thread; the waiting thread is released as usual.
//  - The GUI installs a wake-up hook that posts "call CheckSynchronize" into its event loop;
//    the command-line tool and the core tests pump CheckSynchronize() themselves.
#pragma once

#include <chrono>
#include <exception>
#include <functional>

namespace sundral {

void Synchronize(const std::function<void()>& Fn);
bool CheckSynchronize();

// Waits up to `timeout` for a call to be queued (UI thread only), then runs what is queued.
// Lets a pumping loop sleep instead of spinning.
bool WaitAndCheckSynchronize(std::chrono::milliseconds Timeout);

// UI thread: runs queued calls until Done() holds, sleeping while there is nothing to run.
// Done is checked after every wake; whoever makes it true from another thread calls
// WakeUiThread() afterwards, so that no change goes unnoticed. Also usable on other threads
// (it then only waits).
void SynchronizeUntil(const std::function<bool()>& Done);
// Wakes a thread sleeping in SynchronizeUntil or WaitAndCheckSynchronize to look again.
// Never blocks for long: any thread may call it.
void WakeUiThread();

bool IsUiThread();
void SetUiThread();

// Called on the queuing thread, after a call has been queued; must not block.
void SetSynchronizeWakeup(std::function<void()> Hook);

// Receives exceptions that escape a call run by CheckSynchronize. Default: print to stderr.
void SetApplicationErrorHandler(std::function<void(std::exception_ptr)> Handler);
void ReportApplicationError(std::exception_ptr Error);

} // namespace sundral
