// Running a sink through the real engine from a test whose main thread plays the UI thread.
#pragma once

#include <string>

#include "audio/AuClasses.h"

namespace sundral_test {

// Wires Input to Sink, calls Run and pumps UI-thread calls until OnDone has been delivered
// (replacing any OnDone handler). Returns the run's ExceptionMessage, empty on success, or
// "<no OnDone>" when the run never ended.
std::string RunToDone(sundral::TAuOutput& Sink, sundral::TAuInput& Input);

} // namespace sundral_test
