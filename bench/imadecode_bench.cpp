// IMA ADPCM decoding speed: a 10-minute stereo 44.1 kHz IMA file (made with ffmpeg at the
// start) read through TWaveIn's GetData in 16 KB requests, against ffmpeg decoding the same
// file to 16-bit PCM into /dev/null. Best of 3 each, in the same run; the ratio is
// ours / ffmpeg (target: at most 1.0).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "formats/AuWaveIn.h"

using namespace sundral;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point From) {
    return std::chrono::duration<double>(Clock::now() - From).count();
}

// Returns the seconds one full read took and the bytes it delivered.
double DecodeOnce(const std::string& Path, uint64_t& Bytes, uint64_t& Checksum) {
    auto start = Clock::now();
    TWaveIn in(nullptr);
    in.SetFileName(Path);
    in.Init();
    Bytes = 0;
    Checksum = 0;
    for (;;) {
        const uint8_t* p = nullptr;
        uint32_t n = 16384;
        in.GetData(p, n);
        if (n == 0) break;
        Bytes += n;
        Checksum += p[n - 1]; // touch the data so that nothing is optimised away
    }
    in.Flush();
    return Seconds(start);
}

double FfmpegOnce(const std::string& Path) {
    std::string cmd = "ffmpeg -v error -i '" + Path + "' -f s16le -y /dev/null";
    auto start = Clock::now();
    if (std::system(cmd.c_str()) != 0) return -1;
    return Seconds(start);
}

} // namespace

int main() {
    char tmpl[] = "/tmp/sundral-imabench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::filesystem::path dir = tmpl;
    const std::string path = (dir / "ima.wav").string();
    const std::string make =
        "ffmpeg -v error -y -f lavfi -i "
        "'aevalsrc=0.5*sin(2*PI*440*t)+0.2*sin(2*PI*3000*t)|0.4*sin(2*PI*660*t)+0.2*(random(0)-"
        "0.5):s=44100:d=600' -c:a adpcm_ima_wav -rf64 never '" +
        path + "'";
    std::printf("making a 10-minute IMA ADPCM stereo file...\n");
    if (std::system(make.c_str()) != 0) {
        std::printf("ffmpeg could not make the file\n");
        std::filesystem::remove_all(dir);
        return 1;
    }

    double ours = 1e9, theirs = 1e9;
    uint64_t bytes = 0, checksum = 0;
    for (int i = 0; i < 3; ++i) {
        ours = std::min(ours, DecodeOnce(path, bytes, checksum));
        double t = FfmpegOnce(path);
        if (t < 0) {
            std::printf("ffmpeg failed to decode\n");
            std::filesystem::remove_all(dir);
            return 1;
        }
        theirs = std::min(theirs, t);
    }
    std::printf("decoded %llu bytes (%.1f s of audio), checksum %llu\n",
                static_cast<unsigned long long>(bytes), double(bytes) / (44100.0 * 4),
                static_cast<unsigned long long>(checksum));
    std::printf("TWaveIn: %.3f s   ffmpeg: %.3f s   ratio ours/ffmpeg: %.2f\n", ours, theirs,
                ours / theirs);
    std::filesystem::remove_all(dir);
    return 0;
}
