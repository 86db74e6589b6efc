// The WAV reader against independent decoders: files of every type it reads are made with
// ffmpeg and sox, and what it delivers is compared with ffmpeg's decode of the same file
// (float data with a reference computed from the stored values). Every decoder is also read
// three ways that must agree: whole, in odd-sized pieces, and from a range of start frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "FileBytes.h"
#include "RiffBytes.h"
#include "RunCommand.h"
#include "ScratchDir.h"
#include "SourceData.h"
#include "formats/AuWaveIn.h"

using namespace sundral;
using namespace sundral_test;

namespace {

// Rich enough to exercise every ADPCM code: two tones, a sweep and noise.
const char* kStereo = "aevalsrc=0.7*sin(2*PI*440*t)+0.25*sin(2*PI*3000*t*t)|"
                      "0.6*sin(2*PI*660*t)+0.3*(random(0)-0.5):s=44100:d=1.3";
// Beyond full scale: float files keep it, and the conversion must saturate.
const char* kLoud = "aevalsrc=1.3*sin(2*PI*440*t)|0.9*sin(2*PI*550*t)-0.2:s=48000:d=0.7";
// A full-scale square drives an IMA decoder into its clamps.
const char* kSquare = "aevalsrc=0.999*sgn(sin(2*PI*300*t))+0.001*sin(2*PI*5*t):s=22050:d=1.1";

std::vector<int64_t> Samples(const TBytes& Bytes, int Width) {
    std::vector<int64_t> v(Bytes.size() / size_t(Width));
    for (size_t i = 0; i < v.size(); ++i) {
        const uint8_t* p = &Bytes[i * size_t(Width)];
        if (Width == 2) v[i] = int16_t(GetU16(p));
        if (Width == 4) v[i] = int32_t(GetU32(p));
    }
    return v;
}

int64_t MaxDiff(const TBytes& A, const TBytes& B, int Width) {
    auto a = Samples(A, Width), b = Samples(B, Width);
    int64_t m = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        m = std::max<int64_t>(m, std::abs(a[i] - b[i]));
    return m;
}

// The reference conversion of a stored float: saturate at full scale, else the floor of
// value x 2147483647 in extended precision.
int32_t FloatToInt32Ref(long double v) {
    if (v >= 1.0L) return INT32_MAX;
    if (!(v > -1.0L)) return INT32_MIN;
    return int32_t(std::floor(v * 2147483647.0L));
}

class WaveInDecode : public ::testing::Test {
protected:
    static inline ScratchDir* Dir = nullptr;
    static inline bool Made = false;

    static void SetUpTestSuite() {
        if (!ToolAvailable("ffmpeg") || !ToolAvailable("sox")) return;
        Dir = new ScratchDir("wavein");
        Made = MakeFiles();
    }
    static void TearDownTestSuite() {
        delete Dir;
        Dir = nullptr;
    }
    void SetUp() override {
        if (!Dir) GTEST_SKIP() << "ffmpeg or sox is not installed";
        ASSERT_TRUE(Made) << "ffmpeg or sox could not make the test files";
    }

    static std::string Path(const std::string& Name) { return Dir->File(Name).string(); }

    static bool Ffmpeg(const char* Signal, const std::string& Args, const std::string& Name) {
        std::string cmd = "ffmpeg -v error -y -f lavfi -i " + ShellQuote(Signal) + " " + Args +
                          " -rf64 never " + ShellQuote(Path(Name));
        return RunCommand(cmd).ExitCode == 0;
    }

    static bool MakeFiles() {
        return Ffmpeg(kStereo, "-c:a pcm_s16le", "pcm16.wav") &&
               Ffmpeg(kStereo, "-ar 48000 -c:a pcm_s24le", "pcm24.wav") &&
               Ffmpeg(kStereo, "-ac 1 -c:a pcm_u8", "u8.wav") &&
               Ffmpeg(kLoud, "-c:a pcm_f32le", "f32ext.wav") &&
               Ffmpeg(kLoud, "-c:a pcm_f64le", "f64ext.wav") &&
               Ffmpeg(kSquare, "-c:a adpcm_ima_wav -block_size 512", "ima1.wav") &&
               Ffmpeg(kStereo, "-c:a adpcm_ima_wav -block_size 1024", "ima2.wav") &&
               Ffmpeg(kSquare, "-c:a adpcm_ms", "ms1.wav") &&
               Ffmpeg(kStereo, "-c:a adpcm_ms", "ms2.wav") &&
               Ffmpeg(kStereo, "-c:a libmp3lame -b:a 128k -f wav", "mp3.wav") &&
               RunCommand("sox " + ShellQuote(Path("pcm16.wav")) + " -e floating-point -b 32 " +
                          ShellQuote(Path("f32.wav")))
                       .ExitCode == 0 &&
               RunCommand("sox " + ShellQuote(Path("pcm16.wav")) + " -e floating-point -b 64 " +
                          ShellQuote(Path("f64.wav")))
                       .ExitCode == 0;
    }

    // ffmpeg's decode of a file to raw samples of the given format (s16le, s24le, s32le...).
    static TBytes FfmpegDecode(const std::string& Name, const std::string& Format) {
        auto r =
            RunCommand("ffmpeg -v error -i " + ShellQuote(Path(Name)) + " -f " + Format + " -");
        EXPECT_EQ(r.ExitCode, 0) << Name;
        return TBytes(r.Output.begin(), r.Output.end());
    }

    static TBytes ReadWhole(TWaveIn& In) {
        In.Init();
        TBytes all = DrainSource(In);
        In.Flush();
        return all;
    }

    // The three reads must agree with Whole: in odd pieces, from several start frames
    // (around ADPCM block edges when Block is given), a closed range, and a seek during a
    // run.
    static void CheckThreeWays(const std::string& Name, const TBytes& Whole, uint32_t FrameBytes,
                               int64_t Block = 1000) {
        SCOPED_TRACE(Name);
        TWaveIn in(nullptr);
        in.SetFileName(Path(Name));
        in.Init();
        EXPECT_EQ(DrainSource(in, {1001, 37, 4099, 16385, 9}), Whole) << "odd pieces";
        in.Flush();

        const int64_t frames = int64_t(Whole.size() / FrameBytes);
        auto slice = [&](int64_t from, int64_t count) {
            auto b = Whole.begin() + from * FrameBytes;
            return TBytes(b, b + std::min(count, frames - from) * FrameBytes);
        };
        for (int64_t s :
             {int64_t(1), Block - 1, Block, Block + 1, 2 * Block + 7, frames / 2, frames - 1}) {
            if (s <= 0 || s >= frames) continue;
            in.SetStartSample(s);
            in.Init();
            EXPECT_EQ(DrainSource(in), slice(s, frames)) << "from frame " << s;
            in.Flush();
        }
        const int64_t first = Block / 2, last = first + Block + 3;
        in.SetStartSample(first);
        in.SetEndSample(last);
        in.Init();
        EXPECT_EQ(in.Size(), (last - first + 1) * FrameBytes);
        EXPECT_EQ(DrainSource(in, {777}), slice(first, last - first + 1)) << "closed range";
        in.Flush();

        in.Init();
        const uint8_t* p = nullptr;
        uint32_t n = 5000;
        in.GetData(p, n);
        const int64_t target = frames / 3 + 1;
        EXPECT_TRUE(in.Seek(target));
        EXPECT_EQ(DrainSource(in), slice(target, frames)) << "seek during a run";
        in.Flush();
    }
};

TEST_F(WaveInDecode, PcmIsDeliveredAsStored) {
    TBytes file = ReadFileBytes(Path("pcm16.wav"));
    ASSERT_NE(FindChunk(file, "LIST"), 0u);
    EXPECT_LT(FindChunk(file, "LIST"), FindChunk(file, "data")) << "a chunk between fmt and data";

    TWaveIn in(nullptr);
    in.SetFileName(Path("pcm16.wav"));
    EXPECT_EQ(in.Channels(), 2u);
    EXPECT_EQ(in.SampleRate(), 44100u);
    EXPECT_EQ(in.BitsPerSample(), 16u);
    EXPECT_EQ(in.WavType(), TWavType::wtPCM);
    TBytes ref = FfmpegDecode("pcm16.wav", "s16le");
    EXPECT_EQ(in.TotalSamples(), int64_t(ref.size() / 4));
    EXPECT_EQ(in.TotalTime(), 1);
    TBytes whole = ReadWhole(in);
    EXPECT_EQ(whole, ref);
    CheckThreeWays("pcm16.wav", whole, 4);

    in.SetFileName(Path("pcm24.wav"));
    EXPECT_EQ(in.BitsPerSample(), 24u);
    EXPECT_EQ(in.WavType(), TWavType::wtExtPCM);
    whole = ReadWhole(in);
    EXPECT_EQ(whole, FfmpegDecode("pcm24.wav", "s24le"));
    CheckThreeWays("pcm24.wav", whole, 6);

    in.SetFileName(Path("u8.wav"));
    EXPECT_EQ(in.BitsPerSample(), 8u);
    EXPECT_EQ(in.Channels(), 1u);
    EXPECT_EQ(ReadWhole(in), FfmpegDecode("u8.wav", "u8"));
}

// Float data becomes 32-bit integers: the floor of value x 2147483647, saturating at full
// scale. ffmpeg rounds value x 2^31 to nearest instead, so it may differ by up to 2.
TEST_F(WaveInDecode, FloatBecomesInt32) {
    struct TCase {
        const char* Name;
        TWavType Type;
        int Width;
    };
    for (TCase c :
         {TCase{"f32.wav", TWavType::wtIEEEFloat, 4}, TCase{"f64.wav", TWavType::wtIEEEFloat, 8},
          TCase{"f32ext.wav", TWavType::wtExtIEEEFloat, 4},
          TCase{"f64ext.wav", TWavType::wtExtIEEEFloat, 8}}) {
        SCOPED_TRACE(c.Name);
        TBytes file = ReadFileBytes(Path(c.Name));
        const size_t data = FindChunk(file, "data");
        ASSERT_NE(data, 0u);
        const uint32_t dataSize = GetU32(&file[data - 4]);
        TBytes ref;
        int saturated = 0;
        for (size_t off = data; off + size_t(c.Width) <= data + dataSize; off += size_t(c.Width)) {
            long double v;
            if (c.Width == 4) {
                float f;
                std::memcpy(&f, &file[off], 4);
                v = f;
            } else {
                double d;
                std::memcpy(&d, &file[off], 8);
                v = d;
            }
            saturated += std::fabs(v) >= 1.0L;
            PutU32(ref, uint32_t(FloatToInt32Ref(v)));
        }

        TWaveIn in(nullptr);
        in.SetFileName(Path(c.Name));
        in.OpenSource();
        EXPECT_EQ(in.WavType(), c.Type);
        EXPECT_EQ(in.BitsPerSample(), 32u);
        in.Init();
        EXPECT_EQ(in.Size(), int64_t(dataSize) * 4 / c.Width) << "64-bit floats: half the bytes";
        in.Flush();
        TBytes whole = ReadWhole(in);
        EXPECT_EQ(whole, ref);
        EXPECT_LE(MaxDiff(whole, FfmpegDecode(c.Name, "s32le"), 4), 2);
        if (std::string(c.Name).find("ext") != std::string::npos) {
            EXPECT_GT(saturated, 0) << "the loud signal reaches full scale";
        }
        CheckThreeWays(c.Name, whole, 8);
    }
}

// IMA decoding follows the classic step arithmetic (step/8 + step/4 + step/2 + step, each
// truncated), as sox's decoder does: the two agree except where sox clamps the predictor at
// -32768 and this decoder at -32767, after which they may differ by 1 (never more: both
// clamps only narrow the gap). ffmpeg rounds once, (2c+1) x step / 8, so it drifts from the
// classic arithmetic within a block by up to 3 per code; block headers resynchronise it. On
// these signals the drift stays below 64 and 1/500 of the signal's RMS (seen: 43 and 1/1450).
TEST_F(WaveInDecode, ImaAdpcmMatchesSoxAndFfmpeg) {
    for (const char* name : {"ima1.wav", "ima2.wav"}) {
        SCOPED_TRACE(name);
        TWaveIn in(nullptr);
        in.SetFileName(Path(name));
        in.OpenSource();
        EXPECT_EQ(in.WavType(), TWavType::wtDVIADPCM);
        EXPECT_EQ(in.BitsPerSample(), 16u);
        EXPECT_EQ(in.Format().SamplesPerBlock, 1017) << "block align 512 mono, 1024 stereo";
        TBytes file = ReadFileBytes(Path(name));
        const uint32_t fact = GetU32(&file[FindChunk(file, "fact")]);
        EXPECT_EQ(in.TotalSamples(), int64_t(fact));
        const uint32_t channels = in.Channels();
        TBytes whole = ReadWhole(in);

        auto sox = RunCommand("sox " + ShellQuote(Path(name)) + " -L -t s16 -");
        ASSERT_EQ(sox.ExitCode, 0);
        TBytes soxRef(sox.Output.begin(), sox.Output.end());
        ASSERT_EQ(whole.size(), soxRef.size());
        EXPECT_LE(MaxDiff(whole, soxRef, 2), 1);

        auto ours = Samples(whole, 2);
        auto ff = Samples(FfmpegDecode(name, "s16le"), 2);
        ASSERT_EQ(ours.size(), ff.size());
        double diff2 = 0, sig2 = 0;
        int64_t maxDiff = 0;
        for (size_t i = 0; i < ours.size(); ++i) {
            const int64_t d = ours[i] - ff[i];
            if (i / channels % 1017 == 0) {
                EXPECT_EQ(d, 0) << "block headers are exact, " << i;
            }
            maxDiff = std::max<int64_t>(maxDiff, std::abs(d));
            diff2 += double(d) * double(d);
            sig2 += double(ff[i]) * double(ff[i]);
        }
        EXPECT_LE(maxDiff, 64);
        EXPECT_LE(std::sqrt(diff2), std::sqrt(sig2) / 500);
        EXPECT_GE(*std::min_element(ours.begin(), ours.end()), -32767);
        CheckThreeWays(name, whole, 2 * channels, 1017);
    }
}

TEST_F(WaveInDecode, MsAdpcmMatchesFfmpegExactly) {
    for (const char* name : {"ms1.wav", "ms2.wav"}) {
        SCOPED_TRACE(name);
        TWaveIn in(nullptr);
        in.SetFileName(Path(name));
        in.OpenSource();
        EXPECT_EQ(in.WavType(), TWavType::wtMSADPCM);
        EXPECT_EQ(in.BitsPerSample(), 16u);
        TBytes whole = ReadWhole(in);
        EXPECT_EQ(whole, FfmpegDecode(name, "s16le"));
        CheckThreeWays(name, whole, 2 * in.Channels(), in.Format().SamplesPerBlock);
    }
}

TEST_F(WaveInDecode, Tag85FileIsConvertedWhole) {
    TWaveIn in(nullptr);
    in.SetFileName(Path("mp3.wav"));
    in.OpenSource();
    EXPECT_EQ(in.WavType(), TWavType::wtACM);
    EXPECT_TRUE(in.Valid());
    EXPECT_EQ(in.BitsPerSample(), 16u);
    EXPECT_EQ(in.Channels(), 2u);
    EXPECT_EQ(in.SampleRate(), 44100u);
    TBytes ref = FfmpegDecode("mp3.wav", "s16le");
    TBytes whole = ReadWhole(in);
    EXPECT_EQ(whole.size(), ref.size());
    EXPECT_LE(MaxDiff(whole, ref, 2), 1);
    CheckThreeWays("mp3.wav", whole, 4);
}

TEST_F(WaveInDecode, ChunksAroundTheHeaderAreSkipped) {
    // Bytes before "RIFF".
    TBytes pcm = ReadFileBytes(Path("pcm16.wav"));
    TBytes junk(37, 'x');
    junk.insert(junk.end(), pcm.begin(), pcm.end());
    WriteFileBytes(Path("junk.wav"), junk);
    TWaveIn in(nullptr);
    in.SetFileName(Path("pcm16.wav"));
    TBytes whole = ReadWhole(in);
    in.SetFileName(Path("junk.wav"));
    EXPECT_EQ(ReadWhole(in), whole);
    EXPECT_EQ(in.Format().DataStart, int64_t(FindChunk(pcm, "data") + 37));

    // An odd-sized chunk (with its pad byte) between "fmt " and "fact".
    TBytes ima = ReadFileBytes(Path("ima2.wav"));
    const size_t fact = FindChunk(ima, "fact") - 8;
    TBytes extra = {'j', 'u', 'n', 'k', 5, 0, 0, 0, 1, 2, 3, 4, 5, 0};
    TBytes moved = ima;
    moved.insert(moved.begin() + long(fact), extra.begin(), extra.end());
    WriteFileBytes(Path("moved.wav"), moved);
    in.SetFileName(Path("ima2.wav"));
    whole = ReadWhole(in);
    in.SetFileName(Path("moved.wav"));
    EXPECT_EQ(ReadWhole(in), whole);

    // Without "fact" every block plays in full, as sox and ffmpeg play it.
    std::memcpy(&ima[fact], "xact", 4);
    WriteFileBytes(Path("nofact.wav"), ima);
    in.SetFileName(Path("nofact.wav"));
    in.OpenSource();
    EXPECT_TRUE(in.Valid());
    whole = ReadWhole(in);
    EXPECT_EQ(whole.size(), FfmpegDecode("nofact.wav", "s16le").size());
    auto sox = RunCommand("sox " + ShellQuote(Path("nofact.wav")) + " -L -t s16 -");
    EXPECT_LE(MaxDiff(whole, TBytes(sox.Output.begin(), sox.Output.end()), 2), 1);
}

} // namespace
