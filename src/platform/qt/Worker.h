// Work that must not hold up the user-interface thread: RunOnWorker runs it on the
// application's thread pool and hands its result back to the user-interface thread.
//
// Threading: call RunOnWorker on the GUI thread. Work runs on a pool thread and must not
// touch widgets; Done runs later on the GUI thread, and only when Context still exists then.
// The application waits for the pool's threads before it ends.
#pragma once

#include <functional>
#include <utility>

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

namespace sundral {

template <class R>
void RunOnWorker(QObject* Context, std::function<R()> Work, std::function<void(R)> Done) {
    QPointer<QObject> context(Context);
    QThreadPool::globalInstance()->start(
        [context, Work = std::move(Work), Done = std::move(Done)]() mutable {
            R result = Work();
            // The application object outlives every window, so the call is always delivered;
            // whether Context still lives is asked on the GUI thread.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [context, Done = std::move(Done), result = std::move(result)]() mutable {
                    if (context) Done(std::move(result));
                },
                Qt::QueuedConnection);
        });
}

} // namespace sundral
