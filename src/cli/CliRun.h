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

// Print Message after the program's name on standard error and give the exit status: 1 when
// the work failed, 2 when the command line was wrong.
int Fail(const std::string& Message);
int Usage(const std::string& Message);

// Runs Writer (input and file already set) and waits for its OnDone.
TRunResult RunToEnd(TAuOutput& Writer, bool ShowProgress);

} // namespace sundral::cli
