// sundral-cli against ffmpeg on MP3 and WMA files in one run, with the same encoders:
//  - cutting 300 s out of a 600 s 44.1 kHz stereo MP3, re-encoded (--reencode) at 128 kbps (target
//  <= 0.95
//    of ffmpeg -ss 150 -t 300 -i in.mp3 -c:a libmp3lame -b:a 128k), three ways: the windows'
//    writer set-up (plain stereo, no bit reservoir) against ffmpeg's encoder set up alike
//    (-joint_stereo 0 -reservoir 0), so that both runs ask the encoder for the same work and
//    the ratio shows what decoding and file handling add; the same against ffmpeg's defaults;
//    and --bit-reservoir against ffmpeg's defaults;
//  - the same cut of a 128 kbps WMA (target <= 1.0 of ffmpeg with wmav2);
//  - joining two 600 s MP3s (target <= 1.0 of ffmpeg's concat filter, re-encoded);
//  - the peak memory of a 10-minute and a 60-minute MP3 cut, which must differ by < 5 MB.
//
// Usage: cli_media_bench [PATH-TO-sundral-cli] (default: sundral-cli next to this program).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchProcess.h"

using namespace sundral_bench;

namespace {

void Make(const std::string& Signal, double Seconds, const std::vector<std::string>& Codec,
          const std::string& Out) {
    std::vector<std::string> args = {"ffmpeg",
                                     "-nostdin",
                                     "-v",
                                     "error",
                                     "-y",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     Signal,
                                     "-t",
                                     std::to_string(Seconds),
                                     "-ac",
                                     "2",
                                     "-ar",
                                     "44100"};
    args.insert(args.end(), Codec.begin(), Codec.end());
    args.push_back(Out);
    Best(args, 1);
}

std::vector<std::string> Ffmpeg(std::vector<std::string> Args) {
    Args.insert(Args.begin(), {"ffmpeg", "-nostdin", "-v", "error", "-y"});
    return Args;
}

} // namespace

int main(int argc, char** argv) {
    const std::string cli = CliPath(argc, argv);
    const std::string dir = std::filesystem::temp_directory_path() / "sundral-cli-media-bench";
    std::filesystem::create_directories(dir);
    const std::string a = dir + "/a.mp3", b = dir + "/b.mp3", w = dir + "/a.wma",
                      longIn = dir + "/long.mp3", out = dir + "/out.mp3", outW = dir + "/out.wma";
    const std::vector<std::string> mp3 = {"-c:a", "libmp3lame", "-b:a", "128k"};
    const std::vector<std::string> wma = {"-c:a", "wmav2", "-b:a", "128k"};
    std::printf("making 600 s test files in %s ...\n", dir.c_str());
    std::fflush(stdout);
    const std::string music = kMusicSignal;
    Make(music, 600, mp3, a);
    Make("anoisesrc=c=pink:a=0.3:r=44100", 600, mp3, b);
    Make(music, 600, wma, w);

    Compare("mp3 cut (same)",
            {cli, "cut", "-q", "-f", "--reencode", a, out, "--from", "150", "--to", "450"},
            Ffmpeg({"-ss", "150", "-t", "300", "-i", a, "-c:a", "libmp3lame", "-b:a", "128k",
                    "-joint_stereo", "0", "-reservoir", "0", out}),
            "ffmpeg", 0.95);
    Compare("mp3 cut",
            {cli, "cut", "-q", "-f", "--reencode", a, out, "--from", "150", "--to", "450"},
            Ffmpeg({"-ss", "150", "-t", "300", "-i", a, "-c:a", "libmp3lame", "-b:a", "128k", out}),
            "ffmpeg", 0.95);
    Compare("mp3 cut (res)",
            {cli, "cut", "-q", "-f", "--reencode", "--bit-reservoir", a, out, "--from", "150",
             "--to", "450"},
            Ffmpeg({"-ss", "150", "-t", "300", "-i", a, "-c:a", "libmp3lame", "-b:a", "128k", out}),
            "ffmpeg", 0.95);
    Compare("wma cut", {cli, "cut", "-q", "-f", w, outW, "--from", "150", "--to", "450"},
            Ffmpeg({"-ss", "150", "-t", "300", "-i", w, "-c:a", "wmav2", "-b:a", "128k", outW}),
            "ffmpeg", 1.0);
    Compare("mp3 join", {cli, "join", "-q", "-f", a, b, out},
            Ffmpeg({"-i", a, "-i", b, "-filter_complex", "[0:a][1:a]concat=n=2:v=0:a=1", "-c:a",
                    "libmp3lame", "-b:a", "128k", out}),
            "ffmpeg", 1.0);

    std::printf("making a 60-minute MP3 ...\n");
    std::fflush(stdout);
    Make(music, 3600, mp3, longIn);
    const TMeasure ten =
        Best({cli, "cut", "-q", "-f", "--reencode", longIn, out, "--to", "600"}, 1);
    const TMeasure sixty = Best({cli, "cut", "-q", "-f", "--reencode", longIn, out}, 1);
    std::printf("peak RSS: 10-minute MP3 cut %ld KB, 60-minute MP3 cut %ld KB, difference %ld KB "
                "(target < 5120 KB)\n",
                ten.PeakKb, sixty.PeakKb, sixty.PeakKb - ten.PeakKb);
    std::filesystem::remove_all(dir);
    return 0;
}
