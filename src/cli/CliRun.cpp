#include "cli/CliRun.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>

#include "platform/uisync.h"

namespace sundral::cli {
namespace {

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) {
    gInterrupted = true;
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

} // namespace

TRunResult RunToEnd(TAuOutput& Writer, bool ShowProgress) {
    TRunResult result;
    bool done = false;
    Writer.OnDone = [&](TComponent*) { done = true; };
    if (ShowProgress) {
        Writer.OnProgress = [&](TComponent*) { DrawBar(Writer.Progress()); };
    } else {
        Writer.OnProgress = nullptr;
    }
    gInterrupted = false;
    struct sigaction action {
    }, oldInt{}, oldTerm{};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);

    try {
        Writer.Run();
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
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
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
