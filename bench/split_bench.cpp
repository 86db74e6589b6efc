// Splitting a 60-minute 128 kbps MP3 into ten pieces without re-encoding, exact to the sample,
// against ffmpeg's segment muxer with `-c copy`, which cuts on frame boundaries and is not
// exact; and a WAV of the same length, whose pieces are copies of the samples.
//
// Usage: split_bench [PATH-TO-sundral-cli] (default: sundral-cli next to this program).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchProcess.h"

using namespace sundral_bench;

int main(int argc, char** argv) {
    const std::string cli = CliPath(argc, argv);
    const std::string dir = std::filesystem::temp_directory_path() / "sundral-split-bench";
    std::filesystem::create_directories(dir + "/ours");
    std::filesystem::create_directories(dir + "/peer");
    std::printf("making a 3600 s 128 kbps MP3 and a WAV in %s ...\n", dir.c_str());
    std::fflush(stdout);
    const std::string signal = kMusicSignal;
    for (const char* ext : {".mp3", ".wav"}) {
        const std::string in = dir + "/in" + ext;
        Best({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", signal, "-t", "3600",
              "-c:a", std::string(ext) == ".mp3" ? "libmp3lame" : "pcm_s16le", "-b:a", "128k", in},
             1);
        Compare(std::string(ext) == ".mp3" ? "split mp3" : "split wav",
                {cli, "split", "-q", "-f", in, dir + "/ours/{n}", "--every", "360"},
                {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", in, "-f", "segment",
                 "-segment_time", "360", "-c", "copy", dir + "/peer/%02d" + ext},
                "-c copy", 1.0);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
