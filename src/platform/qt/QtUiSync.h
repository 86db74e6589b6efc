// The Qt side of running a call on the user-interface thread.
//
// TSynchronizeHook makes the constructing thread the UI thread and installs a wake-up hook:
// whenever a worker queues a call with Synchronize, the hook posts "run CheckSynchronize"
// into this thread's Qt event loop, so queued calls run between events (also inside modal
// dialogs, which run nested loops).
//
// Threading: construct and destroy on the GUI thread, after the QCoreApplication exists and
// before it goes. The hook itself runs on worker threads and never blocks.
// Ownership: one instance per process, held by the program's entry (or a test) for as long
// as the event loop may run. Destruction uninstalls the hook; a worker that copied the hook
// just before that finds it disarmed and posts nothing.
#pragma once

#include <memory>

class QObject;

namespace sundral {

class TSynchronizeHook {
public:
    TSynchronizeHook();
    ~TSynchronizeHook();
    TSynchronizeHook(const TSynchronizeHook&) = delete;
    TSynchronizeHook& operator=(const TSynchronizeHook&) = delete;

private:
    struct TTarget;
    std::shared_ptr<TTarget> FTarget;
    std::unique_ptr<QObject> FReceiver;
};

} // namespace sundral
