// A nested Qt event loop for tests: runs until Quit(), or fails after a bound that a working
// program never reaches.
#pragma once

#include <QEventLoop>
#include <QTimer>

namespace sundral_test {

class TLoop {
public:
    static constexpr int GiveUpMs = 60000;

    TLoop() {
        QTimer::singleShot(GiveUpMs, &FLoop, [this] {
            FGaveUp = true;
            FLoop.quit();
        });
    }
    // False when the bound passed before Quit.
    bool Run() {
        FLoop.exec();
        return !FGaveUp;
    }
    void Quit() { QMetaObject::invokeMethod(&FLoop, &QEventLoop::quit, Qt::QueuedConnection); }

private:
    QEventLoop FLoop;
    bool FGaveUp = false;
};

} // namespace sundral_test
