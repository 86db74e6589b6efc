#include "platform/qt/AfterModal.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

namespace sundral {

void TAfterModal::Post(std::function<void()> Action) {
    FAction = std::move(Action);
    Check();
}

void TAfterModal::Check() {
    if (!FAction) return;
    if (QWidget* modal = QApplication::activeModalWidget()) {
        Watch(modal);
        return;
    }
    Watch(nullptr);
    const std::function<void()> action = std::move(FAction);
    FAction = nullptr;
    action();
}

void TAfterModal::Watch(QWidget* Modal) {
    if (FWatched == Modal) return;
    if (FWatched) {
        FWatched->removeEventFilter(this);
        disconnect(FWatched, nullptr, this, nullptr);
    }
    FWatched = Modal;
    if (!Modal) return;
    Modal->installEventFilter(this);
    connect(Modal, &QObject::destroyed, this, &TAfterModal::CheckSoon);
}

void TAfterModal::CheckSoon() {
    // The window leaves the modal stack as it hides; what comes next (another message, the
    // window's owner going on) settles before the queued check runs.
    QTimer::singleShot(0, this, [this] { Check(); });
}

bool TAfterModal::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == FWatched && Event->type() == QEvent::Hide) CheckSoon();
    return QObject::eventFilter(Watched, Event);
}

} // namespace sundral
