// How fast the WAV writer turns 16-bit stereo PCM into a file, as plain PCM and as IMA
// ADPCM, next to sox and ffmpeg doing the same job in the same run.
//
// Our side: an in-memory source through the real engine (worker thread, progress events)
// into a file. The peers: the same samples from a raw file (in the page cache after the
// first run) into a file. Each figure is the best of three runs; the ratio is our time
// divided by the peer's (below 1: we are faster), as in the other benchmarks.
//
// Usage: waveout_bench [seconds of audio, default 300]
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formats/AuWaveOut.h"
#include "platform/uisync.h"

using namespace sundral;
namespace fs = std::filesystem;

namespace {

class TMemorySource : public TAuInput {
public:
    explicit TMemorySource(const std::vector<uint8_t>& Data) : TAuInput(nullptr), FData(Data) {}

protected:
    uint32_t GetBitsPerSample() override { return 16; }
    uint32_t GetChannels() override { return 2; }
    uint32_t GetSampleRate() override { return 44100; }
    void InitInput() override {
        FBusy = true;
        FPosition = 0;
        FSize = int64_t(FData.size());
        FFrameSize = 4;
        FNext = 0;
    }
    void FlushInput() override { FBusy = false; }
    void ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) override {
        const size_t left = FData.size() - FNext;
        if (Bytes > left) Bytes = uint32_t(left);
        Buffer = FData.data() + FNext;
        FNext += Bytes;
        FPosition += Bytes;
    }

private:
    const std::vector<uint8_t>& FData;
    size_t FNext = 0;
};

double Seconds(std::chrono::steady_clock::time_point Since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Since).count();
}

double BestOurs(const std::vector<uint8_t>& Pcm, TWavType Type, const fs::path& Out) {
    TMemorySource source(Pcm);
    TWaveOut writer(nullptr);
    writer.SetWavType(Type);
    writer.SetFileName(Out.string());
    writer.SetInput(&source);
    bool done = false;
    writer.OnDone = [&](TComponent*) { done = true; };
    double best = 1e30;
    for (int rep = 0; rep < 3; ++rep) {
        done = false;
        const auto t0 = std::chrono::steady_clock::now();
        writer.Run();
        while (!done) WaitAndCheckSynchronize(std::chrono::milliseconds(1));
        best = std::min(best, Seconds(t0));
        if (!writer.ExceptionMessage().empty()) {
            std::printf("waveout: run failed: %s\n", writer.ExceptionMessage().c_str());
            std::exit(1);
        }
    }
    return best;
}

// Best of three runs of a shell command; a negative result when it failed.
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

void Report(const char* What, double Ours, const char* Peer, double Theirs, double Mb) {
    if (Theirs < 0) {
        std::printf("waveout: %-4s ours %.3f s (%.0f MB/s of PCM); %s not available\n", What, Ours,
                    Mb / Ours, Peer);
        return;
    }
    std::printf("waveout: %-4s ours %.3f s (%.0f MB/s of PCM), %-6s %.3f s, ratio ours/peer %.2f\n",
                What, Ours, Mb / Ours, Peer, Theirs, Ours / Theirs);
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 300;
    std::vector<uint8_t> pcm(size_t(seconds) * 44100 * 4);
    for (size_t f = 0; f < pcm.size() / 4; ++f) {
        for (int c = 0; c < 2; ++c) {
            const double v = 0.5 * std::sin(2 * M_PI * (440.0 + 110 * c) * double(f) / 44100);
            const int16_t s = int16_t(std::lround(v * 32767));
            pcm[f * 4 + 2 * c] = uint8_t(s);
            pcm[f * 4 + 2 * c + 1] = uint8_t(uint16_t(s) >> 8);
        }
    }
    const fs::path dir = fs::temp_directory_path() / ("waveout_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path raw = dir / "in.raw";
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(pcm.data()), std::streamsize(pcm.size()));
    const double mb = double(pcm.size()) / 1e6;
    std::printf("waveout: %d s of 16-bit stereo 44100 Hz (%.1f MB), best of 3 runs\n", seconds, mb);

    const std::string in = " -t raw -r 44100 -e signed -b 16 -c 2 '" + raw.string() + "' ";
    const std::string ffIn =
        "ffmpeg -v error -y -f s16le -ar 44100 -ac 2 -i '" + raw.string() + "' ";
    const std::string out = " '" + (dir / "peer.wav").string() + "'";

    const double pcmOurs = BestOurs(pcm, TWavType::wtPCM, dir / "ours.wav");
    Report("PCM", pcmOurs, "sox", BestCommand("sox" + in + "-t wav" + out), mb);
    Report("PCM", pcmOurs, "ffmpeg", BestCommand(ffIn + "-c:a pcm_s16le" + out), mb);

    const double imaOurs = BestOurs(pcm, TWavType::wtDVIADPCM, dir / "ours.wav");
    Report("IMA", imaOurs, "sox", BestCommand("sox" + in + "-t wav -e ima-adpcm" + out), mb);
    Report("IMA", imaOurs, "ffmpeg", BestCommand(ffIn + "-c:a adpcm_ima_wav" + out), mb);

    fs::remove_all(dir);
    return 0;
}
