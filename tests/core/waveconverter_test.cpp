// The codec-manager path for WAV files with MPEG Layer-3 audio (format tag 85): the files
// are made with the ffmpeg tool, and its own decode of the same file is the reference.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "RunCommand.h"
#include "ScratchDir.h"
#include "formats/WaveConverter.h"
#include "platform/acm.h"

using namespace sundral;
using sundral_test::RunCommand;
using sundral_test::ScratchDir;
using sundral_test::ShellQuote;

namespace {

using TBytes = std::vector<uint8_t>;

// One MPEG-1 Layer-3 frame: the most that the two decodes of a damaged or cut file may
// differ in length (ffmpeg feeds the parser in other pieces, so a frame at the edge of the
// damage could be taken by one and refused by the other; so far they have agreed exactly).
constexpr int64_t kFrameTolerance = 1152;

TBytes ReadFile(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::filesystem::path& Path, const TBytes& Bytes) {
    std::ofstream out(Path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(Bytes.data()),
              static_cast<std::streamsize>(Bytes.size()));
}

uint32_t U32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// Offset of the body of the first chunk with that code, found by walking the chunk list.
size_t FindChunk(const TBytes& File, const char* Code) {
    for (size_t pos = 12; pos + 8 <= File.size();
         pos += 8 + U32(&File[pos + 4]) + (U32(&File[pos + 4]) & 1))
        if (std::memcmp(&File[pos], Code, 4) == 0) return pos + 8;
    return 0;
}

// Deterministic noise for damaging files.
void FillNoise(uint8_t* p, size_t n, uint32_t seed) {
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        p[i] = static_cast<uint8_t>(seed >> 24);
    }
}

struct TPcmImage {
    bool Ok = false;
    uint32_t RiffSize = 0, SampleRate = 0, AvgBytesPerSec = 0, DataSize = 0;
    uint16_t Tag = 0, Channels = 0, BlockAlign = 0, Bits = 0;
    std::vector<int16_t> Samples;
};

TPcmImage ParseImage(TMemoryStream& Image) {
    TPcmImage r;
    const uint8_t* p = Image.Memory();
    if (Image.Size() < 44 || std::memcmp(p, "RIFF", 4) || std::memcmp(p + 8, "WAVEfmt ", 8) ||
        U32(p + 16) != 16 || std::memcmp(p + 36, "data", 4))
        return r;
    r.RiffSize = U32(p + 4);
    r.Tag = U16(p + 20);
    r.Channels = U16(p + 22);
    r.SampleRate = U32(p + 24);
    r.AvgBytesPerSec = U32(p + 28);
    r.BlockAlign = U16(p + 32);
    r.Bits = U16(p + 34);
    r.DataSize = U32(p + 40);
    if (r.DataSize != Image.Size() - 44) return r;
    r.Samples.resize(r.DataSize / 2);
    std::memcpy(r.Samples.data(), p + 44, r.Samples.size() * 2);
    r.Ok = true;
    return r;
}

// The reader's sequence: load, suggest a PCM target, convert, save the image.
struct TRun {
    int Load = -1;
    TAcmResult Suggest = acmErrNoDriver;
    int Convert = -1;
    int Save = -1;
    TMemoryStream Image;
};

void RunConverter(TWaveConverter& C, const TBytes& File, TRun& Run) {
    TMemoryStream in;
    in.Write(File.data(), static_cast<int64_t>(File.size()));
    Run.Load = C.LoadWaveStream(in);
    C.TargetFormat()[0] = 1;
    C.TargetFormat()[1] = 0;
    Run.Suggest = acmFormatSuggest(nullptr, C.CurrentFormat().data(), C.TargetFormat().data(),
                                   TWaveConverter::kFormatBufferSize, acmFormatSuggestTag);
    if (Run.Suggest != acmOk) return;
    Run.Convert = C.ConvertData();
    if (Run.Convert == 0) Run.Save = C.SaveWaveStream(Run.Image);
}

// Where B best lines up with A (in sample frames, searched over one frame's worth each way)
// and the largest sample difference in their overlap at that lag.
struct TMatch {
    int Lag = 0;
    int MaxDiff = 1 << 16;
};

TMatch Align(const std::vector<int16_t>& A, const std::vector<int16_t>& B, int Channels) {
    const int64_t framesA = A.size() / Channels, framesB = B.size() / Channels;
    TMatch best;
    int64_t bestCost = -1;
    for (int lag = -1152; lag <= 1152; ++lag) {
        int64_t cost = 0;
        for (int64_t f = 0; f < 8192; ++f) {
            int64_t g = f + lag;
            if (f >= framesA || g < 0 || g >= framesB) continue;
            for (int c = 0; c < Channels; ++c)
                cost += std::abs(A[f * Channels + c] - B[g * Channels + c]);
        }
        if (bestCost < 0 || cost < bestCost) bestCost = cost, best.Lag = lag;
    }
    best.MaxDiff = 0;
    for (int64_t f = 0; f < framesA; ++f) {
        int64_t g = f + best.Lag;
        if (g < 0 || g >= framesB) continue;
        for (int c = 0; c < Channels; ++c)
            best.MaxDiff =
                std::max(best.MaxDiff, std::abs(A[f * Channels + c] - B[g * Channels + c]));
    }
    return best;
}

class WaveConverterTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!sundral_test::ToolAvailable("ffmpeg"))
            GTEST_SKIP() << "the ffmpeg tool is not installed";
    }

    // A tag-85 WAV of chirps (a different one per channel, so that both the alignment and the
    // channel order are unambiguous), encoded by ffmpeg's MP3 encoder.
    TBytes MakeMp3Wav(const std::string& Name, int Rate, int Channels, double Seconds = 2) {
        std::string exprs = "sin(2*PI*(300+300*t)*t)";
        if (Channels == 2) exprs += "|0.5*sin(2*PI*(900-200*t)*t)";
        std::filesystem::path path = Dir.File(Name);
        std::string cmd = "ffmpeg -v error -y -f lavfi -i " +
                          ShellQuote("aevalsrc=exprs=" + exprs + ":s=" + std::to_string(Rate) +
                                     ":d=" + std::to_string(Seconds)) +
                          " -c:a libmp3lame -b:a 64k -f wav " + ShellQuote(path.string());
        EXPECT_EQ(RunCommand(cmd).ExitCode, 0) << cmd;
        TBytes file = ReadFile(path);
        size_t fmt = FindChunk(file, "fmt ");
        EXPECT_TRUE(fmt != 0 && U16(&file[fmt]) == 0x55) << "ffmpeg did not write format tag 85";
        return file;
    }

    // ffmpeg's own decode of File, in the file's channel count.
    std::vector<int16_t> FfmpegDecode(const std::string& Name, const TBytes& File) {
        std::filesystem::path path = Dir.File(Name);
        WriteFile(path, File);
        sundral_test::TCommandResult r =
            RunCommand("ffmpeg -v quiet -i " + ShellQuote(path.string()) + " -f s16le -");
        std::vector<int16_t> samples(r.Output.size() / 2);
        std::memcpy(samples.data(), r.Output.data(), samples.size() * 2);
        return samples;
    }

    ScratchDir Dir{"waveconverter"};
};

struct TShape {
    int Rate;
    int Channels;
};

class WaveConverterShapeTest : public WaveConverterTest,
                               public ::testing::WithParamInterface<TShape> {};

TEST_P(WaveConverterShapeTest, DecodesLikeFfmpeg) {
    const TShape shape = GetParam();
    TBytes file = MakeMp3Wav("in.wav", shape.Rate, shape.Channels);
    TWaveConverter c;
    TRun run;
    RunConverter(c, file, run);
    ASSERT_EQ(run.Load, 0);
    ASSERT_EQ(run.Suggest, acmOk);
    ASSERT_EQ(run.Convert, 0);
    ASSERT_EQ(run.Save, 0);

    TPcmImage img = ParseImage(run.Image);
    ASSERT_TRUE(img.Ok);
    EXPECT_EQ(img.Tag, 1);
    EXPECT_EQ(img.Channels, shape.Channels);
    EXPECT_EQ(img.SampleRate, uint32_t(shape.Rate));
    EXPECT_EQ(img.Bits, 16);
    EXPECT_EQ(img.BlockAlign, 2 * shape.Channels);
    EXPECT_EQ(img.AvgBytesPerSec, uint32_t(shape.Rate * 2 * shape.Channels));
    EXPECT_EQ(img.RiffSize, run.Image.Size() - 8);
    EXPECT_EQ(int64_t(img.DataSize), c.Size());
    EXPECT_EQ(U16(c.CurrentFormat().data()), 1) << "after conversion the current format is PCM";

    std::vector<int16_t> ref = FfmpegDecode("ref.wav", file);
    const int64_t frames = img.Samples.size() / shape.Channels;
    const int64_t refFrames = ref.size() / shape.Channels;
    ASSERT_GT(refFrames, shape.Rate * 19 / 10);
    // Both run the same parser and decoder over the same bytes, so the lengths agree exactly:
    // the conversion keeps what the codec produced, not the padded size estimate.
    EXPECT_EQ(frames, refFrames);
    TMatch m = Align(ref, img.Samples, shape.Channels);
    EXPECT_EQ(m.Lag, 0);
    EXPECT_LE(m.MaxDiff, 1);
}

INSTANTIATE_TEST_SUITE_P(Shapes, WaveConverterShapeTest,
                         ::testing::Values(TShape{44100, 2}, TShape{44100, 1}, TShape{22050, 1},
                                           TShape{22050, 2}),
                         [](const auto& info) {
                             return std::to_string(info.param.Rate) + "Hz" +
                                    std::to_string(info.param.Channels) + "ch";
                         });

TEST_F(WaveConverterTest, DamagedFramesAreSkippedAndTheRestDecodes) {
    TBytes file = MakeMp3Wav("in.wav", 44100, 2);
    size_t data = FindChunk(file, "data");
    ASSERT_NE(data, 0u);
    const size_t dataSize = U32(&file[data - 4]);
    TBytes damaged = file;
    FillNoise(&damaged[data + dataSize / 3], dataSize / 4, 12345);

    TWaveConverter c;
    TRun run;
    RunConverter(c, damaged, run);
    ASSERT_EQ(run.Convert, 0);
    TPcmImage img = ParseImage(run.Image);
    ASSERT_TRUE(img.Ok);
    std::vector<int16_t> ref = FfmpegDecode("damaged.wav", damaged);
    EXPECT_LE(std::abs(int64_t(img.Samples.size() - ref.size())) / 2, kFrameTolerance);
    // Up to the damage the audio is intact and lines up with ffmpeg's.
    const size_t intact = size_t(44100 * 2) / 4;
    ASSERT_GT(img.Samples.size(), intact);
    ASSERT_GT(ref.size(), intact);
    EXPECT_TRUE(std::equal(ref.begin(), ref.begin() + intact, img.Samples.begin()));

    // Data with no frame in it at all is a failed conversion, not an empty success.
    for (uint32_t seed : {0u, 7u}) {
        TBytes noise = file;
        if (seed == 0)
            std::memset(&noise[data], 0, dataSize);
        else
            FillNoise(&noise[data], dataSize, seed);
        TWaveConverter n;
        TRun bad;
        RunConverter(n, noise, bad);
        EXPECT_EQ(bad.Suggest, acmOk);
        EXPECT_EQ(bad.Convert, int(acmErrNoAudio)) << "seed " << seed;
        EXPECT_EQ(n.Size(), int64_t(dataSize)) << "a failed conversion leaves the data alone";
    }
}

TEST_F(WaveConverterTest, TruncatedFileConvertsWhatIsThere) {
    TBytes file = MakeMp3Wav("in.wav", 22050, 2);
    size_t data = FindChunk(file, "data");
    TBytes cut(file.begin(), file.begin() + data + (file.size() - data) * 3 / 5 + 7);

    // The loader keeps the bytes that are there, not the size the "data" chunk claims.
    TWaveConverter loaded;
    TMemoryStream in;
    in.Write(cut.data(), int64_t(cut.size()));
    EXPECT_EQ(loaded.LoadWaveStream(in), 0);
    EXPECT_EQ(loaded.Size(), int64_t(cut.size() - data));
    EXPECT_LT(loaded.Size(), int64_t(U32(&cut[data - 4])));

    TWaveConverter c;
    TRun run;
    RunConverter(c, cut, run);
    EXPECT_EQ(run.Load, 0);
    ASSERT_EQ(run.Convert, 0);
    TPcmImage img = ParseImage(run.Image);
    ASSERT_TRUE(img.Ok);
    std::vector<int16_t> ref = FfmpegDecode("cut.wav", cut);
    std::vector<int16_t> full = FfmpegDecode("full.wav", file);
    EXPECT_LT(img.Samples.size(), full.size() * 2 / 3);
    EXPECT_LE(std::abs(int64_t(img.Samples.size() - ref.size())) / 2, kFrameTolerance);
    const size_t common = std::min(ref.size(), img.Samples.size());
    EXPECT_LE(Align(ref, img.Samples, 2).MaxDiff, 1);
    EXPECT_GT(common, full.size() / 2);
}

TEST_F(WaveConverterTest, FormatChunksThatDoNotFitAreRefused) {
    TBytes file = MakeMp3Wav("in.wav", 44100, 1, 0.2);
    size_t fmt = FindChunk(file, "fmt ");
    size_t data = FindChunk(file, "data");
    TBytes audio(file.begin() + data - 8, file.end());
    // "fmt " bodies longer than the codec manager's largest description, longer than the
    // 129-byte buffers, and longer than the rest of the file.
    for (uint32_t bodySize : {TWaveConverter().MaxFormatSize() + 1, 129u, 200u, 0x7FFFFFF0u}) {
        TBytes big(file.begin(), file.begin() + fmt);
        std::memcpy(&big[fmt - 4], &bodySize, 4);
        TBytes body(std::min<uint32_t>(bodySize, 300), 0xAB);
        std::memcpy(body.data(), &file[fmt], 30);
        big.insert(big.end(), body.begin(), body.end());
        big.insert(big.end(), audio.begin(), audio.end());

        TWaveConverter c;
        TRun run;
        RunConverter(c, big, run);
        EXPECT_EQ(run.Load, TWaveConverter::wcLoadBadFormat) << bodySize;
        EXPECT_EQ(c.Size(), 0);
        EXPECT_EQ(U16(c.CurrentFormat().data()), 0) << "nothing of the refused body is kept";
        EXPECT_NE(run.Suggest, acmOk);
    }
}

TEST_F(WaveConverterTest, ChunkHeadersAreCheckedAgainstTheFile) {
    TBytes file = MakeMp3Wav("in.wav", 44100, 1, 0.2);
    size_t data = FindChunk(file, "data");
    TWaveConverter c;
    TRun run;

    TBytes lower = file;
    std::memcpy(lower.data(), "riff", 4);
    RunConverter(c, lower, run);
    EXPECT_EQ(run.Load, TWaveConverter::wcLoadNotWave);
    EXPECT_EQ(c.Size(), 0);

    // An empty "data" chunk loads no audio, and there is nothing to convert.
    TBytes empty(file.begin(), file.begin() + data);
    std::memset(&empty[data - 4], 0, 4);
    TRun none;
    RunConverter(c, empty, none);
    EXPECT_EQ(none.Load, 0);
    EXPECT_EQ(c.Size(), 0);
    EXPECT_NE(none.Convert, 0);

    // A "fact" chunk claiming nearly 4 GB ends the scan at the end of the file.
    TBytes fact = file;
    size_t factBody = FindChunk(fact, "fact");
    ASSERT_NE(factBody, 0u);
    std::memset(&fact[factBody - 4], 0xFF, 4);
    TRun skipped;
    RunConverter(c, fact, skipped);
    EXPECT_EQ(skipped.Load, 0);
    EXPECT_EQ(c.Size(), 0);
}

TEST_F(WaveConverterTest, SaveKeepsTheConverterPosition) {
    TBytes file = MakeMp3Wav("in.wav", 22050, 1, 0.5);
    TWaveConverter c;
    TRun run;
    RunConverter(c, file, run);
    ASSERT_EQ(run.Convert, 0);
    c.SetPosition(10);
    TMemoryStream image;
    image.Write("pre", 3);
    EXPECT_EQ(c.SaveWaveStream(image), 0);
    EXPECT_EQ(c.Position(), 10);
    EXPECT_EQ(image.Size(), 3 + 44 + c.Size());
    EXPECT_EQ(U32(image.Memory() + 3 + 4), uint32_t(36 + c.Size()));
}

// The codec manager's contract, as the converter and the WAV reader rely on it.
TEST_F(WaveConverterTest, CodecManagerContract) {
    uint32_t maxSize = 0;
    ASSERT_EQ(acmMetrics(nullptr, acmMetricMaxSizeFormat, &maxSize), acmOk);
    EXPECT_GE(maxSize, 30u);
    EXPECT_LE(maxSize, TWaveConverter::kFormatBufferSize);

    uint8_t src[30] = {0x55, 0, 2, 0, 0x44, 0xAC, 0, 0};
    uint8_t dst[129] = {1, 0};
    ASSERT_EQ(acmFormatSuggest(nullptr, src, dst, sizeof dst, acmFormatSuggestTag), acmOk);
    EXPECT_EQ(U16(dst), 1);
    EXPECT_EQ(U16(dst + 2), 2);
    EXPECT_EQ(U32(dst + 4), 44100u);
    EXPECT_EQ(U32(dst + 8), 44100u * 4);
    EXPECT_EQ(U16(dst + 12), 4);
    EXPECT_EQ(U16(dst + 14), 16);

    uint8_t pcm[18] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0};
    EXPECT_EQ(acmFormatSuggest(nullptr, pcm, dst, sizeof dst, acmFormatSuggestTag), acmErrNoDriver);
    TAcmStreamHandle h = nullptr;
    EXPECT_EQ(acmStreamOpen(&h, nullptr, pcm, dst, nullptr, 0, 0, acmStreamOpenNonRealtime),
              acmErrNoDriver);
    EXPECT_EQ(h, nullptr);
    uint8_t odd[30] = {0x55, 0, 3, 0, 0x44, 0xAC, 0, 0};
    EXPECT_NE(acmFormatSuggest(nullptr, odd, dst, sizeof dst, acmFormatSuggestTag), acmOk);

    ASSERT_EQ(acmStreamOpen(&h, nullptr, src, dst, nullptr, 0, 0, acmStreamOpenNonRealtime), acmOk);
    uint8_t in[4] = {}, out[16];
    TAcmStreamHeader header;
    header.Src = in;
    header.SrcLength = sizeof in;
    header.Dst = out;
    header.DstLength = sizeof out;
    EXPECT_EQ(acmStreamConvert(h, &header, acmStreamConvertBlockAlign), acmErrUnprepared);
    ASSERT_EQ(acmStreamPrepareHeader(h, &header, 0), acmOk);
    EXPECT_EQ(acmStreamClose(h, 0), acmErrBusy);
    EXPECT_EQ(acmStreamUnprepareHeader(h, &header, 0), acmOk);
    EXPECT_EQ(acmStreamClose(h, 0), acmOk);
    EXPECT_EQ(acmStreamClose(nullptr, 0), acmErrInvalidHandle);
}

TEST_F(WaveConverterTest, ChannelCountCanBeChosenAndRateMustMatch) {
    TBytes file = MakeMp3Wav("in.wav", 44100, 2, 0.5);
    TWaveConverter stereo;
    TRun both;
    RunConverter(stereo, file, both);
    ASSERT_EQ(both.Convert, 0);

    // Asked for one channel, the driver folds the two into their mean.
    TWaveConverter mono;
    TMemoryStream in;
    in.Write(file.data(), int64_t(file.size()));
    mono.LoadWaveStream(in);
    mono.TargetFormat()[0] = 1;
    mono.TargetFormat()[2] = 1;
    ASSERT_EQ(acmFormatSuggest(nullptr, mono.CurrentFormat().data(), mono.TargetFormat().data(),
                               129, acmFormatSuggestTag | acmFormatSuggestChannels),
              acmOk);
    ASSERT_EQ(mono.ConvertData(), 0);
    ASSERT_EQ(mono.Size() * 2, stereo.Size());
    const auto* s = reinterpret_cast<const int16_t*>(stereo.Memory());
    const auto* m = reinterpret_cast<const int16_t*>(mono.Memory());
    int worst = 0;
    for (int64_t f = 0; f < mono.Size() / 2; ++f)
        worst = std::max(worst, std::abs(m[f] - (s[2 * f] + s[2 * f + 1]) / 2));
    EXPECT_LE(worst, 1);

    // Frames at a rate other than the declared one are not this stream's.
    TBytes relabelled = file;
    size_t fmt = FindChunk(relabelled, "fmt ");
    uint32_t rate = 48000;
    std::memcpy(&relabelled[fmt + 4], &rate, 4);
    TWaveConverter c;
    TRun run;
    RunConverter(c, relabelled, run);
    EXPECT_EQ(run.Suggest, acmOk);
    EXPECT_EQ(run.Convert, int(acmErrNoAudio));
}

} // namespace
