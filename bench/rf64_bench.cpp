// Joining two WAVs into one past 4 GB: sundral-cli against sox on the same files in one run.
// Two 3 h 40 min 44.1 kHz 16-bit stereo files (2.3 GB each) join into 4.66 GB, which only
// RF64 can describe; ffprobe must read each result with the right duration.
//
// Needs about 14 GB of free disk in the temporary folder. Not part of the test suite.
// Usage: rf64_bench [PATH-TO-sundral-cli] (default: sundral-cli next to this program).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchProcess.h"

using namespace sundral_bench;

namespace {

constexpr const char* kSeconds = "13200"; // 3 h 40 min

void Must(const std::vector<std::string>& Args) {
    if (!Best(Args, 1).Ok) std::exit(1);
}

// What ffprobe reads: the duration in seconds and the first stream's header kind.
std::string Probe(const std::string& File) {
    const std::string command = "ffprobe -v error -show_entries format=duration:stream=duration_ts "
                                "-of default=noprint_wrappers=1 '" +
                                File + "'";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, p)) out += line;
        pclose(p);
    }
    for (char& c : out)
        if (c == '\n') c = ' ';
    return out;
}

std::string FormCode(const std::string& File) {
    char code[5] = {};
    if (FILE* f = std::fopen(File.c_str(), "rb")) {
        if (std::fread(code, 1, 4, f) != 4) code[0] = 0;
        std::fclose(f);
    }
    return code;
}

} // namespace

int main(int argc, char** argv) {
    const std::string cli = CliPath(argc, argv);
    const std::string dir = std::filesystem::temp_directory_path() / "sundral-rf64-bench";
    std::filesystem::create_directories(dir);
    const std::string a = dir + "/a.wav", b = dir + "/b.wav", ours = dir + "/ours.wav",
                      theirs = dir + "/sox.wav";
    std::printf("making two %s s test files in %s ...\n", kSeconds, dir.c_str());
    Must({"sox", "-q", "-n", "-r", "44100", "-c", "2", "-b", "16", a, "synth", kSeconds, "sine",
          "440"});
    Must({"sox", "-q", "-n", "-r", "44100", "-c", "2", "-b", "16", b, "synth", kSeconds, "sine",
          "660"});

    // One run each: the files are too large for repeats to be kind to a shared disk.
    const TMeasure us = Best({cli, "join", "--quiet", "--force", a, b, ours}, 1);
    std::printf("ours: %s, %ld bytes, %s, ffprobe: %s\n", us.Ok ? "ok" : "FAILED",
                long(std::filesystem::file_size(ours)), FormCode(ours).c_str(),
                Probe(ours).c_str());
    std::filesystem::remove(ours);
    const TMeasure sox = Best({"sox", a, b, theirs}, 1);
    std::printf("sox:  %s, %ld bytes, %s, ffprobe: %s\n", sox.Ok ? "ok" : "FAILED",
                long(std::filesystem::file_size(theirs)), FormCode(theirs).c_str(),
                Probe(theirs).c_str());
    std::printf("join past 4 GB: ours %.2f s, sox %.2f s, ratio %.2f (expected duration %d s)\n",
                us.Seconds, sox.Seconds, sox.Seconds > 0 ? us.Seconds / sox.Seconds : 0.0,
                2 * std::atoi(kSeconds));
    std::filesystem::remove_all(dir);
    return us.Ok ? 0 : 1;
}
