// Start-up cost of sundral-cli against sox in one run: the processor time of `info` on a
// short WAV, the wall time of cutting 300 s out of a 600 s WAV, and the peak memory of that
// cut. Then the windowed program's time from start to its first painted window (offscreen),
// as built and with FFmpeg and SDL mapped at start as when they were linked (LD_PRELOAD),
// which is what the program paid before they were loaded on first use.
//
// Usage: startup_bench [PATH-TO-sundral-cli [PATH-TO-sundral]] (default: next to this
// program; the window part is skipped when the program is not there).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchProcess.h"

using namespace sundral_bench;

namespace {

constexpr int kRounds = 15;

// The libraries a start mapped while they were linked.
const char* const kLinkedBefore = "LD_PRELOAD=libavformat.so.59 libavcodec.so.59 "
                                  "libswresample.so.4 libavutil.so.57 libSDL2-2.0.so.0";

void Make(const std::vector<std::string>& Args) {
    if (!RunOnce(Args).Ok) std::exit(1);
}

// The least processor time and peak memory over kRounds runs.
TMeasure Least(const std::vector<std::string>& Args, const std::vector<std::string>& Extra = {}) {
    TMeasure least;
    least.CpuSeconds = 1e30;
    least.PeakKb = 1L << 40;
    for (int i = 0; i < kRounds; ++i) {
        std::string printed; // not shown
        const TMeasure m = RunOnce(Args, Extra, &printed);
        if (!m.Ok) std::exit(1);
        least.CpuSeconds = std::min(least.CpuSeconds, m.CpuSeconds);
        least.PeakKb = std::min(least.PeakKb, m.PeakKb);
        least.Ok = true;
    }
    return least;
}

// Milliseconds from start to the first painted window; -1 on failure.
double FirstPaintMs(const std::string& Gui, const std::string& Runtime,
                    const std::vector<std::string>& Extra) {
    std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "SDL_AUDIODRIVER=dummy",
                                    "SUNDRAL_EXIT_AFTER_FIRST_PAINT=1",
                                    "XDG_RUNTIME_DIR=" + Runtime};
    env.insert(env.end(), Extra.begin(), Extra.end());
    std::string out;
    const TMeasure m = RunOnce({Gui}, env, &out);
    const size_t at = out.find("first-paint-monotonic-ms=");
    if (!m.Ok || at == std::string::npos) return -1;
    const double painted = std::atof(out.c_str() + at + 25);
    return painted - std::chrono::duration<double, std::milli>(m.Start.time_since_epoch()).count();
}

} // namespace

int main(int argc, char** argv) {
    const auto here = std::filesystem::path(argv[0]).parent_path();
    const std::string cli = argc > 1 ? argv[1] : (here / "sundral-cli").string();
    const std::string gui = argc > 2 ? argv[2] : (here / "sundral").string();
    const std::string dir = std::filesystem::temp_directory_path() / "sundral-startup-bench";
    std::filesystem::create_directories(dir);
    const std::string shortIn = dir + "/short.wav", longIn = dir + "/long.wav",
                      out = dir + "/out.wav";
    Make({"sox", "-q", "-n", "-r", "44100", "-c", "2", "-b", "16", shortIn, "synth", "2", "sine",
          "440"});
    Make({"sox", "-q", "-n", "-r", "44100", "-c", "2", "-b", "16", longIn, "synth", "600", "sine",
          "200-2000", "sine", "300"});

    const TMeasure info = Least({cli, "info", shortIn}),
                   infoLinked = Least({cli, "info", shortIn}, {kLinkedBefore}),
                   soxInfo = Least({"sox", "--i", shortIn});
    std::printf("info cpu       sundral-cli %6.1f ms   sox --i %6.1f ms   ratio %.2f   "
                "(target <= 5 ms; with FFmpeg and SDL mapped at start %.1f ms)\n",
                info.CpuSeconds * 1e3, soxInfo.CpuSeconds * 1e3,
                info.CpuSeconds / soxInfo.CpuSeconds, infoLinked.CpuSeconds * 1e3);

    const std::vector<std::string> cut = {cli, "cut",    "--quiet", "--force", longIn,
                                          out, "--from", "150",     "--to",    "450"},
                                   soxCut = {"sox", longIn, out, "trim", "150", "300"};
    Compare("cut 300 s", cut, soxCut, "sox", 0.8, kRounds);
    const TMeasure cutMemory = Least(cut), soxMemory = Least(soxCut);
    std::printf("cut peak RSS   sundral-cli %6ld KB   sox %6ld KB   ratio %.2f   "
                "(target <= 15360 KB)\n",
                cutMemory.PeakKb, soxMemory.PeakKb, double(cutMemory.PeakKb) / soxMemory.PeakKb);

    if (std::filesystem::exists(gui)) {
        const std::string runtime = dir + "/runtime";
        std::filesystem::create_directories(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        // Alternately, so both see the same load on a shared machine; the best of each.
        double now = 1e30, before = 1e30;
        for (int i = 0; i < kRounds; ++i) {
            now = std::min(now, FirstPaintMs(gui, runtime, {}));
            before = std::min(before, FirstPaintMs(gui, runtime, {kLinkedBefore}));
        }
        std::printf("first paint    sundral %6.1f ms   with FFmpeg and SDL mapped at start "
                    "%6.1f ms   ratio %.2f\n",
                    now, before, now / before);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
