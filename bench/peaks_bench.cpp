// The peaks of a 60-minute 128 kbps stereo MP3 against decoding it with ffmpeg in one run:
//  - `sundral-cli peaks --width 2000` against `ffmpeg -v error -i f -f null -` (target <= 1.0);
//  - the time to the first picture: a peak job in this process, from its start until its
//    first buckets can be drawn, and again with the peak cache filled (the whole overview);
//  - the peak memory of `sundral-cli peaks` for a 10- and a 60-minute MP3 (should be flat).
//
// Usage: peaks_bench [PATH-TO-sundral-cli] (default: sundral-cli next to this program).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "BenchProcess.h"
#include "edit/Peaks.h"

using namespace sundral_bench;

namespace {

void Make(double Seconds, const std::string& Out) {
    Best({"ffmpeg",
          "-nostdin",
          "-v",
          "error",
          "-y",
          "-f",
          "lavfi",
          "-i",
          kMusicSignal,
          "-t",
          std::to_string(Seconds),
          "-ac",
          "2",
          "-ar",
          "44100",
          "-c:a",
          "libmp3lame",
          "-b:a",
          "128k",
          Out},
         1);
}

// Seconds from starting a job until it has Buckets buckets (0: until it is done).
double JobSeconds(const std::string& File, int64_t Buckets, bool& FromCache) {
    const auto t0 = std::chrono::steady_clock::now();
    sundral::TPeakJob job(File, 256);
    for (;;) {
        int64_t have = 0;
        job.Read([&](const sundral::TPeakData& P) { have = P.Buckets(); });
        const bool done = job.State() != sundral::TPeakJob::TState::Running;
        if ((Buckets > 0 && have >= Buckets) || done) break;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    FromCache = job.FromCache();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main(int argc, char** argv) {
    const std::string self = std::filesystem::absolute(argv[0]).parent_path().string();
    const std::string cli = argc > 1 ? argv[1] : self + "/sundral-cli";
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("peaks_bench_" + std::to_string(getpid())))
            .string();
    std::filesystem::create_directories(dir);
    setenv("XDG_CACHE_HOME", (dir + "/cache").c_str(), 1);
    const std::string ten = dir + "/ten.mp3", sixty = dir + "/sixty.mp3";
    std::printf("making a 10- and a 60-minute MP3 in %s ...\n", dir.c_str());
    std::fflush(stdout);
    Make(600, ten);
    Make(3600, sixty);

    const std::string quiet = " > /dev/null";
    Compare("mp3 peaks", {"sh", "-c", "'" + cli + "' peaks --width 2000 '" + sixty + "'" + quiet},
            {"ffmpeg", "-nostdin", "-v", "error", "-i", sixty, "-f", "null", "-"}, "ffmpeg", 1.0);

    // A first picture is a window's width of buckets (500 columns of 256 frames).
    bool cached = false;
    const double first = JobSeconds(sixty, 500, cached);
    std::printf("first picture (60-minute MP3, no cache): %.3f s (target <= 0.3 s)\n", first);
    const double whole = JobSeconds(sixty, 0, cached);
    std::printf("whole overview, first open:  %.3f s (cache %s)\n", whole,
                cached ? "used" : "filled");
    const double again = JobSeconds(sixty, 0, cached);
    std::printf("whole overview, second open: %.3f s (cache %s)\n", again,
                cached ? "used" : "not used");

    const TMeasure m10 = Best({"sh", "-c", "'" + cli + "' peaks '" + ten + "'" + quiet}, 1);
    const TMeasure m60 = Best({"sh", "-c", "'" + cli + "' peaks '" + sixty + "'" + quiet}, 1);
    std::printf("peak RSS of peaks (256 frames a column): 10-minute %ld KB, 60-minute %ld KB, "
                "difference %ld KB\n",
                m10.PeakKb, m60.PeakKb, m60.PeakKb - m10.PeakKb);
    std::filesystem::remove_all(dir);
    return 0;
}
