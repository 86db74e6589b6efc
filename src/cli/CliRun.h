// Running one writer to its end from the command line: the main thread plays the UI thread,
// pumps the engine's events, draws a progress bar on a terminal and turns Ctrl-C into a
// synchronous stop.
//
// Interruption: while a TInterruptGuard lives, SIGINT, SIGTERM and SIGHUP (the terminal went
// away) only set a flag, between jobs as well as during one. A running job then stops
// synchronously; a job not yet started does not start; the command ends as interrupted and
// its cleanup (pending outputs, work folders) runs. Commands hold a guard from before they
// make anything on disk until they end.
#pragma once

#include <atomic>
#include <csignal>
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

class TInterruptGuard {
public:
    TInterruptGuard();
    ~TInterruptGuard();
    TInterruptGuard(const TInterruptGuard&) = delete;
    TInterruptGuard& operator=(const TInterruptGuard&) = delete;

private:
    struct sigaction FOld[3]{};
};

// A signal came since the guard was made.
bool Interrupted();
// The flag behind Interrupted, for work that polls one (SpliceMp3's Stop).
const std::atomic<bool>& InterruptFlag();

// Draws the progress bar on standard error; Percent < 0: running, share unknown.
void DrawBar(int Percent);

// Runs Writer (input and file already set) and waits for its OnDone; Interrupted when a
// signal came before or during the run.
TRunResult RunToEnd(TAuOutput& Writer, bool ShowProgress);

} // namespace sundral::cli
