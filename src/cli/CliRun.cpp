#include "cli/CliRun.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iterator>

#include "platform/uisync.h"

namespace sundral::cli {
namespace {

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) {
    gInterrupted = true;
}

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

} // namespace

TInterruptGuard::TInterruptGuard() {
    gInterrupted = false;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &FOld[i]);
}

TInterruptGuard::~TInterruptGuard() {
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &FOld[i], nullptr);
}

bool Interrupted() {
    return gInterrupted;
}

const std::atomic<bool>& InterruptFlag() {
    return gInterrupted;
}

void DrawBar(int Percent) {
    constexpr int kWidth = 40;
    if (Percent < 0) {
        std::fprintf(stderr, "\r[%*s] working", kWidth, "");
        return;
    }
    int filled = Percent * kWidth / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 kWidth - filled, "", Percent);
}

TRunResult RunToEnd(TAuOutput& Writer, bool ShowProgress) {
    TRunResult result;
    bool done = false;
    Writer.OnDone = [&](TComponent*) { done = true; };
    if (ShowProgress) {
        Writer.OnProgress = [&](TComponent*) { DrawBar(Writer.Progress()); };
    } else {
        Writer.OnProgress = nullptr;
    }
    try {
        // A signal that came before the job: the job does not start.
        if (!gInterrupted) Writer.Run();
        while (!done) {
            if (gInterrupted) {
                Writer.Stop(false); // no OnDone follows a synchronous stop
                result.Interrupted = true;
                break;
            }
            WaitAndCheckSynchronize(std::chrono::milliseconds(20));
        }
    } catch (const std::exception& e) {
        result.Message = e.what();
    }
    if (gInterrupted) result.Interrupted = true;
    Writer.OnDone = nullptr;
    Writer.OnProgress = nullptr;
    if (ShowProgress) std::fprintf(stderr, "\r%*s\r", 50, "");

    if (result.Interrupted) {
        result.Message = "interrupted";
        return result;
    }
    if (result.Message.empty()) result.Message = Writer.ExceptionMessage();
    result.Ok = result.Message.empty();
    return result;
}

int Fail(const std::string& Message) {
    std::fprintf(stderr, "sundral-cli: %s\n", Message.c_str());
    return 1;
}

int Usage(const std::string& Message) {
    std::fprintf(stderr, "sundral-cli: %s\n", Message.c_str());
    return 2;
}

} // namespace sundral::cli
