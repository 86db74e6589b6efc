#include "platform/qt/QtUiSync.h"

#include <mutex>

#include <QMetaObject>
#include <QObject>

#include "platform/uisync.h"

namespace sundral {

// Shared between the hook (copied by workers) and this object, so that a worker holding an
// old copy of the hook after destruction finds a null receiver instead of a dangling one.
struct TSynchronizeHook::TTarget {
    std::mutex Lock;
    QObject* Receiver = nullptr;
};

TSynchronizeHook::TSynchronizeHook()
    : FTarget(std::make_shared<TTarget>()), FReceiver(std::make_unique<QObject>()) {
    SetUiThread();
    FTarget->Receiver = FReceiver.get();
    SetSynchronizeWakeup([target = FTarget] {
        std::lock_guard g(target->Lock);
        if (!target->Receiver) return;
        // Posting is thread-safe and does not wait; the call runs on the receiver's thread.
        QMetaObject::invokeMethod(
            target->Receiver, [] { CheckSynchronize(); }, Qt::QueuedConnection);
    });
}

TSynchronizeHook::~TSynchronizeHook() {
    SetSynchronizeWakeup({});
    std::lock_guard g(FTarget->Lock);
    FTarget->Receiver = nullptr;
}

} // namespace sundral
