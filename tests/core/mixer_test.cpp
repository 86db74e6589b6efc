// The two-input mixer over small in-memory sources, directly and through a real sink.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

#include "Pump.h"
#include "audio/AuMixer.h"
#include "formats/AuWaveIn.h"
#include "platform/uisync.h"

using namespace sundral;

namespace {

// Delivers Data in uneven pieces (which split samples) with the given format. Size is the
// data length unless set otherwise.
class TVectorSource : public TAuInput {
public:
    TVectorSource(TComponent* owner, std::vector<uint8_t> data, uint32_t bits, uint32_t channels)
        : TAuInput(owner), Data(std::move(data)), Bits(bits), Chans(channels),
          SizeToReport(int64_t(Data.size())) {}

    std::vector<uint8_t> Data;
    uint32_t Bits, Chans;
    int64_t SizeToReport;
    const char* FailInit = nullptr;
    std::atomic<int> InitCount{0}, FlushCount{0};

protected:
    uint32_t GetBitsPerSample() override { return Bits; }
    uint32_t GetChannels() override { return Chans; }
    uint32_t GetSampleRate() override { return 44100; }
    void InitInput() override {
        ++InitCount;
        if (FailInit) throw std::runtime_error(FailInit);
        FBusy = true;
        FPosition = 0;
        FSize = SizeToReport;
        FNext = 0;
        FPiece = 0;
    }
    void FlushInput() override {
        ++FlushCount;
        FBusy = false;
    }
    void ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) override {
        static constexpr uint32_t kPieces[] = {7, 1000, 333, 5000, 1};
        uint32_t left = uint32_t(Data.size() - FNext);
        Bytes = std::min({Bytes, left, kPieces[FPiece++ % 5]});
        Buffer = Data.data() + FNext;
        FNext += Bytes;
        FPosition += Bytes;
    }

private:
    size_t FNext = 0;
    size_t FPiece = 0;
};

std::vector<uint8_t> Pcm(const std::vector<int32_t>& samples, uint32_t bytes) {
    std::vector<uint8_t> out;
    for (int32_t s : samples) {
        for (uint32_t b = 0; b < bytes; ++b) out.push_back(uint8_t(uint32_t(s) >> (8 * b)));
    }
    return out;
}

std::vector<int32_t> Samples(const std::vector<uint8_t>& pcm, uint32_t bytes) {
    std::vector<int32_t> out;
    for (size_t i = 0; i + bytes <= pcm.size(); i += bytes) {
        uint32_t u = 0;
        for (uint32_t b = 0; b < bytes; ++b) u |= uint32_t(pcm[i + b]) << (8 * b);
        int32_t v = int32_t(u << (32 - 8 * bytes)) >> (32 - 8 * bytes);
        out.push_back(bytes == 1 ? int32_t(pcm[i]) : v);
    }
    return out;
}

std::vector<int32_t> Ramp(size_t n, int32_t step, int32_t limit) {
    std::vector<int32_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = int32_t(i * step % (2 * limit)) - limit;
    return v;
}

// Reads the mixer to its end asking Ask bytes each time; Blocks receives each byte count.
std::vector<uint8_t> ReadAll(TAuInput& mixer, uint32_t ask,
                             std::vector<uint32_t>* blocks = nullptr) {
    std::vector<uint8_t> out;
    for (int guard = 0; guard < 100000; ++guard) {
        const uint8_t* data = nullptr;
        uint32_t n = ask;
        mixer.GetData(data, n);
        if (n == 0) return out;
        if (blocks) blocks->push_back(n);
        out.insert(out.end(), data, data + n);
    }
    ADD_FAILURE() << "the mixer never ended";
    return out;
}

// A 16-bit level after the float round trip, which scales by 32767 / 32768.
int32_t Scaled16(double v) {
    return int32_t(std::lround(v * 32767.0 / 32768.0));
}

void ExpectNear(const std::vector<int32_t>& got, const std::vector<int32_t>& want, int tol = 1) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_LE(std::abs(got[i] - want[i]), tol) << "sample " << i;
    }
}

class Mixer : public ::testing::Test {
protected:
    TVectorSource* Source(const std::vector<int32_t>& s, uint32_t bits, uint32_t channels = 1) {
        return new TVectorSource(&Owner, Pcm(s, bits / 8), bits, channels);
    }
    TAudioMixer& Make(TVectorSource* a, TVectorSource* b, TAudioMixerMode mode) {
        auto* m = new TAudioMixer(&Owner);
        m->SetInput1(a);
        m->SetInput2(b);
        m->SetMode(mode);
        return *m;
    }
    TComponent Owner{nullptr};
};

TEST_F(Mixer, ConcatenateDeliversInput1ThenInput2InBlocksOf4096Samples) {
    auto a = Ramp(10000, 7, 20000), b = Ramp(5000, 13, 30000);
    auto* in1 = Source(a, 16);
    auto* in2 = Source(b, 16);
    TAudioMixer& m = Make(in1, in2, TAudioMixerMode::amConcatenate);
    m.Init();
    EXPECT_EQ(m.Size(), 30000);
    std::vector<uint32_t> blocks;
    auto out = ReadAll(m, 16384, &blocks);
    // The call in which input 1 runs dry already returns input 2's first block.
    EXPECT_EQ(blocks, (std::vector<uint32_t>{8192, 8192, 3616, 8192, 1808}));
    EXPECT_EQ(m.Position(), 30000);
    auto want = a;
    want.insert(want.end(), b.begin(), b.end());
    ExpectNear(Samples(out, 2), want);
    EXPECT_TRUE(ReadAll(m, 16384).empty()) << "stays at its end";
    m.Flush();
    EXPECT_FALSE(m.Busy());
    EXPECT_EQ(in1->FlushCount, 1);
    EXPECT_EQ(in2->FlushCount, 1);

    // Input 1 ends on a block boundary: the call that finds it dry gives input 2's block.
    in1->Data.resize(8192);
    in1->SizeToReport = 8192;
    m.Init();
    blocks.clear();
    ReadAll(m, 16384, &blocks);
    EXPECT_EQ(blocks, (std::vector<uint32_t>{8192, 8192, 1808}));
    m.Flush();
}

TEST_F(Mixer, ConcatenateConvertsInput2ToInput1Format) {
    TAudioMixer& m = Make(Source({0, 128, 255, 64}, 8), Source({-32768, 0, 16384, 32767}, 16),
                          TAudioMixerMode::amConcatenate);
    m.Init();
    EXPECT_EQ(m.Size(), 8);
    EXPECT_EQ(m.BitsPerSample(), 8u);
    EXPECT_EQ(ReadAll(m, 100), (std::vector<uint8_t>{0, 128, 255, 64, 0, 128, 192, 255}));
    m.Flush();
}

TEST_F(Mixer, ConcatenateAtFullVolumeIsBitExact) {
    // Full-scale values would move by one step through the float round trip.
    std::vector<int32_t> a = {-32768, 32767, 32700, -1}, b = {32767, -32768, 16385, 1};
    for (uint32_t bits : {16u, 24u, 32u}) {
        auto scale = [bits](std::vector<int32_t> v) {
            for (auto& x : v) x *= bits == 16 ? 1 : bits == 24 ? 256 : 65536;
            return v;
        };
        TAudioMixer& m =
            Make(Source(scale(a), bits), Source(scale(b), bits), TAudioMixerMode::amConcatenate);
        m.Init();
        auto want = scale(a);
        auto tail = scale(b);
        want.insert(want.end(), tail.begin(), tail.end());
        EXPECT_EQ(Samples(ReadAll(m, 100), bits / 8), want) << bits << " bits";
        m.Flush();
        // Below full volume the samples are scaled through floats as before.
        m.SetVolume2(32768);
        m.Init();
        auto got = Samples(ReadAll(m, 100), bits / 8);
        EXPECT_NE(std::vector<int32_t>(got.begin() + 4, got.end()), scale(b));
        m.Flush();
    }
}

TEST_F(Mixer, MixAveragesWithVolumes) {
    auto a = Ramp(3000, 11, 30000), b = Ramp(3000, 17, 30000);
    TAudioMixer& m = Make(Source(a, 16, 2), Source(b, 16, 2), TAudioMixerMode::amMix);
    std::vector<int32_t> avg(a.size()), half(a.size());
    for (size_t i = 0; i < a.size(); ++i) {
        avg[i] = Scaled16((a[i] + b[i]) / 2.0);
        half[i] = Scaled16(a[i] / 2.0);
    }
    m.Init();
    ExpectNear(Samples(ReadAll(m, 16384), 2), avg);
    m.Flush();
    m.SetVolume2(0);
    m.Init();
    ExpectNear(Samples(ReadAll(m, 5000), 2), half);
    m.Flush();
}

TEST_F(Mixer, ShorterInput2LeavesInput1AtHalfLevelAndEndsAfterBoth) {
    auto a = Ramp(6000, 5, 20000), b = Ramp(2500, 9, 20000);
    TAudioMixer& m = Make(Source(a, 16), Source(b, 16), TAudioMixerMode::amMix);
    m.Init();
    EXPECT_EQ(m.Size(), 12000);
    std::vector<uint32_t> blocks;
    auto out = Samples(ReadAll(m, 16384, &blocks), 2);
    EXPECT_EQ(blocks, (std::vector<uint32_t>{8192, 3808}));
    std::vector<int32_t> want(a.size());
    for (size_t i = 0; i < a.size(); ++i)
        want[i] = Scaled16((a[i] + (i < b.size() ? b[i] : 0)) / 2.0);
    ExpectNear(out, want);
    m.Flush();
}

// Missing 8-bit samples are silence (128), not -1.0 that would add a DC offset.
TEST_F(Mixer, EightBitInputsAreSilentBeforeTheyStartAndAfterTheyEnd) {
    TAudioMixer& m = Make(Source(std::vector<int32_t>(100, 200), 8),
                          Source(std::vector<int32_t>(40, 60), 8), TAudioMixerMode::amMix);
    m.SetInput2StartSample(20);
    m.Init();
    auto out = ReadAll(m, 33);
    ASSERT_EQ(out.size(), 100u);
    for (size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i], i >= 20 && i < 60 ? 130 : 164) << i; // (0.5625 - 0.53125) / 2
    }
    m.Flush();

    m.SetInput2StartSample(150); // input 1 has ended long before input 2 starts
    m.Init();
    EXPECT_EQ(m.Size(), 190);
    out = ReadAll(m, 4096);
    ASSERT_EQ(out.size(), 190u);
    EXPECT_EQ(out[99], 164);
    EXPECT_EQ(out[100], 128);
    EXPECT_EQ(out[149], 128);
    EXPECT_EQ(out[150], 94); // floor((1 - 0.265625) * 128)
    m.Flush();
}

TEST_F(Mixer, Input2StartsAtTheExactSample) {
    auto a = std::vector<int32_t>(3000, 8000);
    auto* in2 = Source(std::vector<int32_t>(300, -8000), 16);
    TAudioMixer& m = Make(Source(a, 16), in2, TAudioMixerMode::amMix);
    struct Case {
        int64_t start;
        uint32_t ask;
    };
    // Inside a block; after input 1's end, with blocks of 1500 samples.
    for (Case c : {Case{1234, 16384}, Case{4500, 3000}}) {
        m.SetInput2StartSample(c.start);
        m.Init();
        auto out = Samples(ReadAll(m, c.ask), 2);
        size_t end = std::max<size_t>(3000, c.start + 300);
        EXPECT_EQ(m.Size(), int64_t(end) * 2);
        std::vector<int32_t> want(end);
        for (size_t i = 0; i < end; ++i) {
            bool one = i < 3000, two = int64_t(i) >= c.start && int64_t(i) < c.start + 300;
            want[i] = (one ? 4000 : 0) - (two ? 4000 : 0);
        }
        ExpectNear(out, want);
        m.Flush();
    }
    // The start counts frames of input 2: 700 stereo frames are 1400 samples.
    in2->Chans = 2;
    m.SetInput2StartSample(700);
    m.Init();
    auto out = Samples(ReadAll(m, 16384), 2);
    EXPECT_NEAR(out[1399], 4000, 1);
    EXPECT_NEAR(out[1400], 0, 1);
    EXPECT_NEAR(out[1700], 4000, 1);
    m.Flush();
}

TEST_F(Mixer, BlocksHoldWholeFramesAndPack24BitSamples) {
    auto a = Ramp(3 * 5000, 4099, 8388607); // 24-bit, 3 channels
    TAudioMixer& m = Make(Source(a, 24, 3), Source({16384, -16384, 32767, 1}, 16),
                          TAudioMixerMode::amConcatenate);
    m.Init();
    EXPECT_EQ(m.Size(), (15000 + 6) * 3) << "input 2's partial frame is completed";
    const uint8_t* data = nullptr;
    uint32_t n = 8;
    m.GetData(data, n);
    EXPECT_EQ(n, 0u) << "less than one frame asked";
    std::vector<uint32_t> blocks;
    auto out = ReadAll(m, 16384, &blocks);
    for (uint32_t b : blocks) EXPECT_EQ(b % 9, 0u);
    EXPECT_EQ(blocks[0], 4095u * 3);
    auto want = a;
    for (int32_t s : {4194303, -4194304, 8388351, 255, 0, 0}) want.push_back(s);
    ExpectNear(Samples(out, 3), want);
    m.Flush();
}

TEST_F(Mixer, Errors) {
    TAudioMixer m(&Owner);
    auto expectError = [](auto&& call, const char* text) {
        try {
            call();
            ADD_FAILURE() << "expected " << text;
        } catch (const EAuException& e) {
            EXPECT_STREQ(e.what(), text);
        }
    };
    expectError([&] { m.BitsPerSample(); }, "Input not assigned");
    expectError([&] { m.SampleRate(); }, "Input not assigned");
    expectError([&] { m.Init(); }, "Input1 is not assigned");
    m.Flush();
    auto* in1 = Source({1, 2, 3}, 16);
    m.SetInput1(in1);
    expectError([&] { m.Init(); }, "Input2 is not assigned");
    m.Flush();

    auto* in2 = Source({1, 2}, 16);
    m.SetInput2(in2);
    m.Init();
    auto* other = Source({5}, 16);
    expectError([&] { m.SetInput1(other); }, "The component is busy.");
    expectError([&] { m.SetInput2(other); }, "The component is busy.");
    m.Flush();

    in2->FailInit = "cannot open";
    expectError([&] { m.Init(); }, "cannot open");
    m.Flush();
    in2->FailInit = nullptr;
    in2->Bits = 12;
    expectError([&] { m.Init(); }, "Input2 has an unsupported sample size of 12 bits");
    m.Flush();
    in2->Bits = 16;
    in2->SizeToReport = -1;
    m.Init();
    EXPECT_EQ(m.Size(), -1);
    m.Flush();

    // One source cannot be both inputs of a run, and an input that cannot be read is
    // refused with its reason rather than mixed as silence of another format.
    m.SetInput2(in1);
    expectError([&] { m.Init(); }, "Input1 and Input2 are the same source");
    m.Flush();
    TMemoryStream junk;
    junk.Write("not a wave file", 15);
    TWaveIn unreadable(nullptr);
    unreadable.SetStream(&junk);
    m.SetInput2(&unreadable);
    expectError([&] { m.Init(); }, "Input2 cannot be read: not a RIFF/WAVE file");
    m.Flush();

    // The mixer forgets an input that is destroyed, in either slot.
    m.SetInput2(in1);
    delete in1;
    EXPECT_EQ(m.Input1(), nullptr);
    EXPECT_EQ(m.Input2(), nullptr);
}

// A sink reading 16384 bytes per block, as the file writers do.
class TRecordingSink : public TAuOutput {
public:
    explicit TRecordingSink(TComponent* owner) : TAuOutput(owner) {}
    ~TRecordingSink() override { StopWorker(); }
    std::vector<uint8_t> Data;

protected:
    void Prepare() override {
        Data.clear();
        Input()->Init();
    }
    bool DoOutput(bool Abort) override {
        if (!Active()) return true;
        if (Abort) return false;
        uint8_t buf[16384];
        uint32_t n = ReadOnce(Input(), buf, sizeof buf);
        Data.insert(Data.end(), buf, buf + n);
        return n != 0;
    }
    void Done() override { Input()->Flush(); }
};

TEST_F(Mixer, RunsOnTheSinkWorker) {
    SetUiThread();
    auto a = Ramp(20000, 3, 30000), b = Ramp(9000, 7, 30000);
    TAudioMixer& m = Make(Source(a, 16, 2), Source(b, 16, 2), TAudioMixerMode::amMix);
    m.SetInput2StartSample(1000);
    m.Init();
    auto want = ReadAll(m, 16384);
    m.Flush();

    TRecordingSink sink(&Owner);
    sink.SetInput(&m);
    int done = 0;
    sink.OnDone = [&](TComponent*) { ++done; };
    for (int run = 1; run <= 2; ++run) {
        sink.Run();
        ASSERT_TRUE(sundral_test::PumpUntil([&] { return done == run; }));
        EXPECT_EQ(sink.ExceptionMessage(), "");
        EXPECT_EQ(sink.Data, want);
        EXPECT_EQ(sink.Progress(), 100);
        EXPECT_FALSE(m.Busy());
    }
}

} // namespace
