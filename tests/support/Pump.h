// Pumping UI-thread calls in tests whose main thread plays the UI thread.
#pragma once

#include <chrono>
#include <functional>

namespace sundral_test {

// Runs queued UI-thread calls until pred holds. The limit only turns a deadlock into a
// failure (returns false); nothing depends on how fast the machine is.
bool PumpUntil(const std::function<bool()>& pred,
               std::chrono::seconds limit = std::chrono::seconds(60));

} // namespace sundral_test
