// How many 16 KB blocks per second the engine moves from a null source to a null sink
// through Run, with the per-block progress check. The target is at least one million.
#include <chrono>
#include <cstdio>
#include <vector>

#include "audio/AuClasses.h"
#include "platform/uisync.h"

using namespace sundral;

namespace {

constexpr uint32_t kBlock = 16384;

class TNullSource : public TAuInput {
public:
    TNullSource(uint64_t blocks) : TAuInput(nullptr), FBlocks(blocks), FData(kBlock) {}

protected:
    uint32_t GetBitsPerSample() override { return 16; }
    uint32_t GetChannels() override { return 2; }
    uint32_t GetSampleRate() override { return 44100; }
    void InitInput() override {
        FBusy = true;
        FPosition = 0;
        FSize = int64_t(FBlocks * kBlock);
        FFrameSize = 4;
        FLeft = FBlocks;
    }
    void FlushInput() override { FBusy = false; }
    void ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) override {
        if (FLeft == 0) {
            Bytes = 0;
            return;
        }
        --FLeft;
        if (Bytes > kBlock) Bytes = kBlock;
        FPosition += Bytes;
        Buffer = FData.data();
    }

private:
    uint64_t FBlocks, FLeft = 0;
    std::vector<uint8_t> FData;
};

class TNullSink : public TAuOutput {
public:
    TNullSink() : TAuOutput(nullptr) {}
    ~TNullSink() override { StopWorker(); }
    uint64_t Checksum = 0;

protected:
    void Prepare() override { Input()->Init(); }
    bool DoOutput(bool Abort) override {
        if (!Active()) return true;
        if (Abort) return false;
        const uint8_t* data = nullptr;
        uint32_t n = kBlock;
        Input()->GetData(data, n);
        if (n == 0) return false;
        Checksum += data[n - 1];
        return true;
    }
    void Done() override { Input()->Flush(); }
};

} // namespace

int main(int argc, char** argv) {
    uint64_t blocks = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 4000000;
    TNullSource source(blocks);
    TNullSink sink;
    sink.SetInput(&source);
    int progressEvents = 0;
    bool done = false;
    sink.OnProgress = [&](TComponent*) { ++progressEvents; };
    sink.OnDone = [&](TComponent*) { done = true; };
    double best = 1e30;
    for (int rep = 0; rep < 3; ++rep) {
        done = false;
        auto t0 = std::chrono::steady_clock::now();
        sink.Run();
        while (!done) WaitAndCheckSynchronize(std::chrono::milliseconds(1));
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        best = std::min(best, s);
    }
    std::printf("engine: %llu blocks of 16 KB, best of 3 runs: %.3f s\n",
                static_cast<unsigned long long>(blocks), best);
    std::printf("engine: %.2f million blocks/s, %.1f ns per block (target: >= 1.0 million/s, "
                "< 1000 ns)\n",
                blocks / best / 1e6, best * 1e9 / blocks);
    std::printf("engine: %d progress events over 3 runs\n", progressEvents);
    return 0;
}
