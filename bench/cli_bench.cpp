// sundral-cli against sox on the same files in one run: cutting 300 s out of a 600 s
// 44.1 kHz 16-bit stereo WAV, joining two such files, mixing them; and the peak memory of a
// 10-minute and a 60-minute cut, which must not grow with the length.
//
// Usage: cli_bench [PATH-TO-sundral-cli] (default: sundral-cli next to this program).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchProcess.h"

using namespace sundral_bench;

namespace {

void Sox(const std::vector<std::string>& args) {
    if (!Best(args, 1).Ok) std::exit(1);
}

} // namespace

int main(int argc, char** argv) {
    std::string cli = CliPath(argc, argv);
    std::string dir = std::filesystem::temp_directory_path() / "sundral-cli-bench";
    std::filesystem::create_directories(dir);
    std::string a = dir + "/a.wav", b = dir + "/b.wav", out = dir + "/out.wav",
                longIn = dir + "/long.wav";
    std::printf("making 600 s test files in %s ...\n", dir.c_str());
    Sox({"sox", "-q", "-n", "-r", "44100", "-c", "2", "-b", "16", a, "synth", "600", "sine",
         "200-2000", "sine", "300"});
    Sox({"sox", "-q", "-n", "-r", "44100", "-c", "2", "-b", "16", b, "synth", "600", "pinknoise",
         "vol", "0.3"});

    Compare("cut", {cli, "cut", "--quiet", "--force", a, out, "--from", "150", "--to", "450"},
            {"sox", a, out, "trim", "150", "300"}, "sox");
    Compare("join", {cli, "join", "--quiet", "--force", a, b, out}, {"sox", a, b, out}, "sox");
    Compare("mix", {cli, "mix", "--quiet", "--force", a, b, out}, {"sox", "-m", a, b, out},
            "sox -m");

    std::printf("making a 60-minute file ...\n");
    Sox({"sox", "-q", "-n", "-r", "44100", "-c", "2", "-b", "16", longIn, "synth", "3600", "sine",
         "440"});
    TMeasure ten = Best({cli, "cut", "--quiet", "--force", longIn, out, "--to", "600"}, 1);
    TMeasure sixty = Best({cli, "cut", "--quiet", "--force", longIn, out}, 1);
    std::printf("peak RSS: 10-minute cut %ld KB, 60-minute cut %ld KB, difference %ld KB "
                "(target < 5120 KB)\n",
                ten.PeakKb, sixty.PeakKb, sixty.PeakKb - ten.PeakKb);
    std::filesystem::remove_all(dir);
    return 0;
}
