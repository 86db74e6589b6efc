// How fast the media player learns a long file's length and plays one second near its end,
// next to ffprobe and ffmpeg doing the same jobs in the same run.
//
// Length: Open and LengthMs (MP3: every frame header read) against ffprobe's duration (which
// only estimates a CBR MP3's length from its bit rate). Play: Open and a one-second play ten
// seconds before the end through SDL's disk driver with no delay, until the play reports its
// end, against `ffmpeg -ss` decoding the same second to a file. Each figure is the best of
// three runs; the ratio is our time divided by the peer's (below 1: we are faster).
//
// Usage: mci_bench [minutes of audio, default 30]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>

#include "edit/MediaPlayer.h"

using namespace sundral;
namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point Since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Since).count();
}

double BestCommand(const std::string& Command) {
    double best = 1e30;
    for (int rep = 0; rep < 3; ++rep) {
        const auto t0 = std::chrono::steady_clock::now();
        const int status = std::system((Command + " >/dev/null 2>&1").c_str());
        if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
        best = std::min(best, Seconds(t0));
    }
    return best;
}

double BestLength(const fs::path& File, int32_t& Length) {
    double best = 1e30;
    for (int rep = 0; rep < 3; ++rep) {
        const auto t0 = std::chrono::steady_clock::now();
        TMediaPlayer player(nullptr);
        player.SetFileName(File.string());
        player.Open();
        Length = player.LengthMs();
        best = std::min(best, Seconds(t0));
    }
    return best;
}

double BestPlay(const fs::path& File, int32_t From) {
    double best = 1e30;
    for (int rep = 0; rep < 3; ++rep) {
        std::mutex lock;
        std::condition_variable changed;
        bool done = false;
        const auto t0 = std::chrono::steady_clock::now();
        TMediaPlayer player(nullptr);
        player.OnNotify = [&](TMediaPlayer*) {
            std::lock_guard<std::mutex> hold(lock);
            done = true;
            changed.notify_all();
        };
        player.SetFileName(File.string());
        player.Open();
        player.SetPlayStart(From);
        player.SetPlayEnd(From + 1000);
        player.Play();
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return done; });
        best = std::min(best, Seconds(t0));
    }
    return best;
}

void Report(const char* What, double Ours, const char* Peer, double Theirs) {
    if (Theirs < 0)
        std::printf("mci: %-12s ours %.3f s; %s not available\n", What, Ours, Peer);
    else
        std::printf("mci: %-12s ours %.3f s, %-7s %.3f s, ratio ours/peer %.2f\n", What, Ours, Peer,
                    Theirs, Ours / Theirs);
}

} // namespace

int main(int argc, char** argv) {
    const int minutes = argc > 1 ? std::atoi(argv[1]) : 30;
    const fs::path dir = fs::temp_directory_path() / ("mci_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (dir / "disk.raw").c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    const struct {
        const char* Name;
        const char* Codec;
    } files[] = {{"long.mp3", "libmp3lame -b:a 128k"}, {"long.wma", "wmav2 -b:a 128k"}};
    for (const auto& f : files) {
        const fs::path file = dir / f.Name;
        const std::string make =
            "ffmpeg -nostdin -v error -f lavfi -i sine=f=440:d=" + std::to_string(minutes * 60) +
            " -ac 2 -c:a " + f.Codec + " " + file.string();
        if (std::system((make + " 2>/dev/null").c_str()) != 0) {
            std::printf("mci: %s: ffmpeg cannot make it; skipped\n", f.Name);
            continue;
        }
        int32_t length = 0;
        const double oursLength = BestLength(file, length);
        const double probe =
            BestCommand("ffprobe -v error -show_entries format=duration " + file.string());
        std::printf("mci: %s, %d min, length %d ms\n", f.Name, minutes, length);
        Report("length", oursLength, "ffprobe", probe);
        const int32_t from = length - 10000;
        const double oursPlay = BestPlay(file, from);
        const double seek = BestCommand(
            "ffmpeg -nostdin -v error -ss " + std::to_string(from / 1000.0) + " -t 1 -i " +
            file.string() + " -f s16le -y " + (dir / "peer.raw").string());
        Report("play 1 s", oursPlay, "ffmpeg", seek);
    }
    fs::remove_all(dir);
    return 0;
}
