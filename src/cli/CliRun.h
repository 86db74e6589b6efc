// Running one writer to its end from the command line: the main thread plays the UI thread,
// pumps the engine's events, draws a progress bar on a terminal and turns Ctrl-C into a
// synchronous stop.
#pragma once

#include <string>

#include "audio/AuClasses.h"

namespace sundral::cli {

struct TRunResult {
    bool Ok = false;
    bool Interrupted = false;
    std::string Message; // the component's own message when the run failed
};

// Runs Writer (input and file already set) and waits for its OnDone.
TRunResult RunToEnd(TAuOutput& Writer, bool ShowProgress);

} // namespace sundral::cli
