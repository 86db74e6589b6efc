// Prototype measurement: is an MP3 re-encode worth splitting over two cores? With the bit
// reservoir off, a frame depends on the input only (not on the frames before it) once the
// encoder has warmed up, so a long encode can run as two runs on the shared frame grid: the
// second starts some frames early and drops them. This program measures, in one run:
//  - ffmpeg's re-encoding cut of 300 s out of a 600 s 128 kbps MP3;
//  - sundral-cli's re-encoding cut of the same stretch (one encoder);
//  - the encode alone of that stretch's PCM, with one encoder and with two in parallel;
//  - the audio error of both encodes against the PCM they were given (ffmpeg decodes them).
// It prints the ratios, and the ratio the cut would reach with the parallel encode.
//
// Usage: mp3parallel_bench [PATH-TO-sundral-cli] (default: sundral-cli next to this program).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "BenchProcess.h"
#include "platform/lameEnc.h"
#include "platform/mp3Scan.h"

using namespace sundral;
using namespace sundral_bench;

namespace {

constexpr uint32_t kFrame = 1152;
constexpr uint32_t kWarmUpFrames = 8;

std::vector<uint8_t> ReadAll(const std::string& File) {
    std::ifstream in(File, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Offsets of the frames of a stream without a tag frame.
std::vector<size_t> FrameStarts(const std::vector<uint8_t>& S) {
    std::vector<size_t> at;
    mp3scan::TMp3Header h;
    for (size_t p = 0; p + 4 <= S.size();) {
        const uint32_t w = (uint32_t(S[p]) << 24) | (uint32_t(S[p + 1]) << 16) |
                           (uint32_t(S[p + 2]) << 8) | S[p + 3];
        if (!mp3scan::ParseMp3Header(w, h)) break;
        at.push_back(p);
        p += h.FrameBytes;
    }
    return at;
}

// Encodes interleaved stereo 16-bit frames [From, To) with a fresh encoder, no reservoir,
// no tag frame; the whole output, flushed.
std::vector<uint8_t> Encode(const int16_t* Pcm, int64_t From, int64_t To) {
    TBeConfig c;
    c.SampleRate = 44100;
    c.Mode = 0;
    c.Bitrate = 128;
    c.NoRes = BeBool(true);
    uint32_t chunk = 0, bufSize = 0;
    THBeStream s = nullptr;
    if (beInitStream(BeConfigBytes(c), chunk, bufSize, s) != beErrOk) std::exit(2);
    std::vector<uint8_t> out, buf(bufSize);
    for (int64_t f = From; f < To;) {
        const int64_t n = std::min<int64_t>(chunk / 2, To - f);
        uint32_t got = 0;
        beEncodeChunk(s, uint32_t(n * 2), Pcm + f * 2, buf.data(), got);
        out.insert(out.end(), buf.begin(), buf.begin() + got);
        f += n;
    }
    uint32_t got = 0;
    beDeinitStream(s, buf.data(), got);
    out.insert(out.end(), buf.begin(), buf.begin() + got);
    beCloseStream(s);
    return out;
}

// Two runs: the first takes its input up to some frames past the split and keeps the frames
// before it; the second starts kWarmUpFrames early and drops them.
std::vector<uint8_t> EncodeSplit(const int16_t* Pcm, int64_t Frames) {
    const int64_t split = Frames / kFrame / 2; // in whole MP3 frames
    std::vector<uint8_t> a, b;
    std::thread second([&] { b = Encode(Pcm, (split - kWarmUpFrames) * kFrame, Frames); });
    a = Encode(Pcm, 0, std::min<int64_t>(Frames, (split + kWarmUpFrames) * kFrame));
    second.join();
    const auto fa = FrameStarts(a), fb = FrameStarts(b);
    std::vector<uint8_t> out(a.begin(), a.begin() + std::ptrdiff_t(fa[size_t(split)]));
    out.insert(out.end(), b.begin() + std::ptrdiff_t(fb[kWarmUpFrames]), b.end());
    return out;
}

double Seconds(const std::chrono::steady_clock::time_point& T0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
}

// Signal to error ratio (dB) of Stream's decode against Pcm, at the best offset.
double Snr(const std::string& Dir, const std::vector<uint8_t>& Stream,
           const std::vector<int16_t>& Pcm, int64_t& Offset) {
    const std::string mp3 = Dir + "/snr.mp3", raw = Dir + "/snr.raw";
    std::ofstream(mp3, std::ios::binary)
        .write(reinterpret_cast<const char*>(Stream.data()), std::streamsize(Stream.size()));
    RunOnce({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", mp3, "-f", "s16le", raw});
    const std::vector<uint8_t> bytes = ReadAll(raw);
    std::vector<int16_t> dec(bytes.size() / 2);
    std::memcpy(dec.data(), bytes.data(), dec.size() * 2);
    double best = -1e9;
    for (int64_t off = 0; off < 3000; ++off) {
        const size_t n = std::min(Pcm.size() / 2, dec.size() / 2 - size_t(off)) - 2000;
        double sig = 0, err = 0;
        for (size_t i = 0; i < 2 * n; i += 2 * 7) { // every 7th frame is enough to find it
            const double s = Pcm[i], d = dec[i + size_t(off) * 2] - s;
            sig += s * s, err += d * d;
        }
        const double db = 10 * std::log10(sig / std::max(err, 1e-9));
        if (db > best) best = db, Offset = off;
    }
    const size_t n = std::min(Pcm.size() / 2, dec.size() / 2 - size_t(Offset)) - 2000;
    double sig = 0, err = 0;
    for (size_t i = 0; i < 2 * n; ++i) {
        const double s = Pcm[i], d = dec[i + size_t(Offset) * 2] - s;
        sig += s * s, err += d * d;
    }
    return 10 * std::log10(sig / std::max(err, 1e-9));
}

} // namespace

int main(int argc, char** argv) {
    const std::string cli = CliPath(argc, argv);
    const std::string dir = std::filesystem::temp_directory_path() / "sundral-mp3parallel-bench";
    std::filesystem::create_directories(dir);
    const std::string in = dir + "/in.mp3", out = dir + "/out.mp3", pcmFile = dir + "/pcm.raw";
    MakeMusicMp3(600, in);
    Best({"ffmpeg", "-nostdin", "-v", "error", "-y", "-ss", "150", "-t", "300", "-i", in, "-f",
          "s16le", "-ac", "2", pcmFile},
         1);
    const std::vector<uint8_t> pcmBytes = ReadAll(pcmFile);
    std::vector<int16_t> pcm(pcmBytes.size() / 2);
    std::memcpy(pcm.data(), pcmBytes.data(), pcm.size() * 2);
    const int64_t frames = int64_t(pcm.size() / 2);
    if (!LameAvailable()) return 2;

    const TMeasure ffmpeg = Best({"ffmpeg", "-nostdin", "-v", "error", "-y", "-ss", "150", "-t",
                                  "300", "-i", in, "-c:a", "libmp3lame", "-b:a", "128k", out},
                                 2);
    const TMeasure ours =
        Best({cli, "cut", "-q", "-f", "--reencode", in, out, "--from", "150", "--to", "450"}, 2);
    double serial = 1e30, parallel = 1e30;
    std::vector<uint8_t> one, two;
    for (int i = 0; i < 2; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        one = Encode(pcm.data(), 0, frames);
        serial = std::min(serial, Seconds(t0));
        t0 = std::chrono::steady_clock::now();
        two = EncodeSplit(pcm.data(), frames);
        parallel = std::min(parallel, Seconds(t0));
    }
    int64_t offOne = 0, offTwo = 0;
    const double snrOne = Snr(dir, one, pcm, offOne), snrTwo = Snr(dir, two, pcm, offTwo);
    const auto fOne = FrameStarts(one), fTwo = FrameStarts(two);
    std::printf("ffmpeg re-encoding cut:        %.2f s\n", ffmpeg.Seconds);
    std::printf("sundral-cli cut --reencode:    %.2f s  (%.2fx ffmpeg)\n", ours.Seconds,
                ours.Seconds / ffmpeg.Seconds);
    std::printf("encode alone, one encoder:     %.2f s\n", serial);
    std::printf("encode alone, two in parallel: %.2f s  (%.2fx one)\n", parallel,
                parallel / serial);
    const double projected = ours.Seconds - serial + parallel;
    std::printf("cut with the parallel encode:  %.2f s  (%.2fx ffmpeg; target 0.6)\n", projected,
                projected / ffmpeg.Seconds);
    std::printf("frames: one %zu, two %zu; offset %lld / %lld\n", fOne.size(), fTwo.size(),
                (long long)offOne, (long long)offTwo);
    // Frames past the warm-up that came out other than in the one-encoder stream.
    size_t differ = 0;
    for (size_t i = 0; i < std::min(fOne.size(), fTwo.size()); ++i) {
        const size_t endOne = i + 1 < fOne.size() ? fOne[i + 1] : one.size();
        const size_t endTwo = i + 1 < fTwo.size() ? fTwo[i + 1] : two.size();
        if (endOne - fOne[i] != endTwo - fTwo[i] ||
            std::memcmp(&one[fOne[i]], &two[fTwo[i]], endOne - fOne[i]) != 0)
            ++differ;
    }
    std::printf("frames other than the one encoder's: %zu of %zu\n", differ, fOne.size());
    std::printf("error against the PCM: one %.4f dB, two %.4f dB\n", snrOne, snrTwo);
    std::filesystem::remove_all(dir);
    return 0;
}
