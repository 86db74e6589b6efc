#include "Pump.h"

#include "platform/uisync.h"

namespace sundral_test {

bool PumpUntil(const std::function<bool()>& pred, std::chrono::seconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        sundral::WaitAndCheckSynchronize(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace sundral_test
