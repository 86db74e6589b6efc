// The lossless MP3 cut against ffmpeg in one run: 300 s out of a 600 s 128 kbps MP3, exact to
// the sample, against ffmpeg's re-encoding cut (target <= 0.02 of it) and against ffmpeg's
// frame copy `-c copy`, which cuts on frame boundaries and is not exact (target <= 1.0).
//
// Usage: mp3lossless_bench [PATH-TO-sundral-cli] (default: sundral-cli next to this program).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchProcess.h"

using namespace sundral_bench;

int main(int argc, char** argv) {
    const std::string cli = CliPath(argc, argv);
    const std::string dir = std::filesystem::temp_directory_path() / "sundral-mp3lossless-bench";
    std::filesystem::create_directories(dir);
    const std::string in = dir + "/in.mp3", out = dir + "/out.mp3";
    std::printf("making a 600 s 128 kbps MP3 in %s ...\n", dir.c_str());
    std::fflush(stdout);
    MakeMusicMp3(600, in);
    const std::vector<std::string> ours = {cli, "cut",    "-q",  "-f",   in,
                                           out, "--from", "150", "--to", "450"};
    Compare("lossless cut", ours,
            {"ffmpeg", "-nostdin", "-v", "error", "-y", "-ss", "150", "-t", "300", "-i", in, "-c:a",
             "libmp3lame", "-b:a", "128k", out},
            "ffmpeg", 0.02);
    Compare("lossless cut", ours,
            {"ffmpeg", "-nostdin", "-v", "error", "-y", "-ss", "150", "-t", "300", "-i", in, "-c",
             "copy", out},
            "-c copy", 1.0, 5);
    std::filesystem::remove_all(dir);
    return 0;
}
