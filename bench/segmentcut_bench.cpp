// Segment cut against ffmpeg in one run: 8 stretches removed from a 600 s 128 kbps MP3 by
// sundral-cli segment-cut, lossless (target <= 0.05 of ffmpeg's single pass, `aselect` +
// `asetpts` + libmp3lame) and with --reencode (target <= 1.0 of the same pass, the output's
// bit rate within 5 % of the source's, for the 128 kbps source and for a VBR one).
//
// Usage: segmentcut_bench [PATH-TO-sundral-cli] (default: sundral-cli next to this program).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchProcess.h"

using namespace sundral_bench;

namespace {

// The bit rate ffprobe reports for the file, bits per second (0 when it cannot tell).
double BitRate(const std::string& File) {
    const std::string command =
        "ffprobe -v error -show_entries format=bit_rate -of csv=p=0 '" + File + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return 0;
    double rate = 0;
    if (std::fscanf(pipe, "%lf", &rate) != 1) rate = 0;
    pclose(pipe);
    return rate;
}

} // namespace

int main(int argc, char** argv) {
    const std::string cli = CliPath(argc, argv);
    const std::string dir = std::filesystem::temp_directory_path() / "sundral-segmentcut-bench";
    std::filesystem::create_directories(dir);
    const std::string in = dir + "/in.mp3", out = dir + "/out.mp3", peerOut = dir + "/peer.mp3";
    std::printf("making a 600 s 128 kbps MP3 in %s ...\n", dir.c_str());
    std::fflush(stdout);
    MakeMusicMp3(600, in);

    // Eight stretches of a few seconds each, at odd places.
    std::vector<std::string> ours = {cli, "segment-cut", in, out, "-q", "-f", "--exact"};
    std::string select;
    for (int k = 1; k <= 8; ++k) {
        const double from = 66.123 * k, to = from + 3.0 + 0.217 * k;
        char range[64];
        std::snprintf(range, sizeof range, "%.3f-%.3f", from, to);
        ours.push_back("--remove");
        ours.push_back(range);
        char term[96];
        std::snprintf(term, sizeof term, "%sbetween(t,%.3f,%.3f)", k > 1 ? "+" : "", from, to);
        select += term;
    }
    const std::vector<std::string> peer = {
        "ffmpeg", "-nostdin",   "-v",
        "error",  "-y",         "-i",
        in,       "-af",        "aselect='not(" + select + ")',asetpts=N/SR/TB",
        "-c:a",   "libmp3lame", "-b:a",
        "128k",   peerOut};

    Compare("lossless", ours, peer, "ffmpeg", 0.05);
    std::vector<std::string> reencode = ours;
    reencode.push_back("--reencode");
    Compare("--reencode", reencode, peer, "ffmpeg", 1.0, 1);
    const double source = BitRate(in), written = BitRate(out), theirs = BitRate(peerOut);
    std::printf("--reencode bit rate %.1f kbps against the source's %.1f kbps: %+.1f %% "
                "(target within 5 %%); ffmpeg's %.1f kbps\n",
                written / 1000, source / 1000, 100 * (written - source) / source, theirs / 1000);

    // The same cut of a VBR source (about 90 kbps): the re-encode aims at its average.
    const std::string vbrIn = dir + "/vbr.mp3", vbrOut = dir + "/vbr_out.mp3";
    Best({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", kMusicSignal, "-t", "600",
          "-c:a", "libmp3lame", "-q:a", "4", vbrIn},
         1);
    std::vector<std::string> vbrRun = reencode;
    vbrRun[2] = vbrIn;
    vbrRun[3] = vbrOut;
    const TMeasure vbrTime = Best(vbrRun, 1);
    const double vbrSource = BitRate(vbrIn), vbrWritten = BitRate(vbrOut);
    std::printf("--reencode of a VBR source: %.1f kbps against the source's %.1f kbps: %+.1f %% "
                "(target within 5 %%), %.3f s\n",
                vbrWritten / 1000, vbrSource / 1000, 100 * (vbrWritten - vbrSource) / vbrSource,
                vbrTime.Seconds);
    std::filesystem::remove_all(dir);
    return 0;
}
