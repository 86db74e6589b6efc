// The WAV reader and sundral-cli on WAV files from other projects' test data, read in place
// from the shared corpus folder (the test skips when it is absent). ffmpeg judges the
// samples; sox judges big-endian files (whose 24-bit samples ffmpeg reads little-endian),
// IMA ADPCM (ffmpeg rounds its steps differently) and files ffmpeg refuses. Files no judge
// reads are listed with the reason, and held to the reader's own consistency.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "RunCommand.h"
#include "ScratchDir.h"
#include "SourceData.h"
#include "WaveTools.h"
#include "formats/AuWaveIn.h"

using namespace sundral;
using namespace sundral_test;

namespace {

namespace fs = std::filesystem;

struct TOurRead {
    bool Valid = false;
    std::string Reason;
    uint32_t Channels = 0, Bits = 0;
    std::vector<uint8_t> Data;
};

TOurRead ReadOurs(const fs::path& File, int64_t Start = 0, std::vector<uint32_t> Asks = {16384}) {
    TOurRead r;
    TWaveIn in(nullptr);
    in.SetFileName(File.string());
    r.Reason = in.InvalidReason();
    r.Valid = in.Valid();
    r.Channels = in.Channels();
    r.Bits = in.BitsPerSample();
    in.SetStartSample(Start);
    in.Init();
    r.Data = DrainSource(in, Asks);
    in.Flush();
    return r;
}

// Our samples as ffmpeg gives them at 16 bits: the upper 16 bits of each, 8-bit unsigned
// made signed.
std::vector<int16_t> As16(const TOurRead& R) {
    const uint32_t width = R.Bits / 8;
    std::vector<int16_t> out;
    for (size_t at = 0; at + width <= R.Data.size(); at += width) {
        if (width == 1)
            out.push_back(int16_t((R.Data[at] - 128) * 256));
        else
            out.push_back(int16_t(R.Data[at + width - 2] | (R.Data[at + width - 1] << 8)));
    }
    return out;
}

std::string Codec(const fs::path& File) {
    auto r = RunCommand("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name "
                        "-of csv=p=0 " +
                        ShellQuote(File.string()) + " 2>/dev/null");
    std::string c = r.ExitCode == 0 ? r.Output : "";
    c.erase(std::remove_if(c.begin(), c.end(), ::isspace), c.end());
    return c;
}

// Codecs whose samples ffmpeg's 16-bit output describes exactly, or within one step
// (floats).
int Tolerance(const std::string& Codec) {
    for (const char* c : {"pcm_u8", "pcm_s16le", "pcm_s24le", "pcm_s32le", "pcm_s64le", "pcm_s16be",
                          "pcm_s24be", "pcm_s32be", "pcm_alaw", "pcm_mulaw", "adpcm_ms"})
        if (Codec == c) return 0;
    for (const char* c : {"pcm_f32le", "pcm_f64le", "pcm_f32be", "pcm_f64be"})
        if (Codec == c) return 1;
    return -1; // not a judge of this file
}

bool BigEndianForm(const fs::path& File) {
    std::ifstream in(File, std::ios::binary);
    char code[4] = {};
    in.read(code, 4);
    return std::memcmp(code, "RIFX", 4) == 0;
}

// Who decodes the reference samples of a file the reader reads, and how close they must be.
struct TJudge {
    bool BySox = false;
    int Tolerance = -1; // -1: no judge
};
TJudge JudgeOf(const fs::path& File, const std::string& Codec) {
    // sox rounds wider samples to 16 bits where the reader keeps their upper bits.
    if (BigEndianForm(File) || Codec.empty()) return {true, 1};
    if (Codec == "adpcm_ima_wav") return {true, 0};
    return {false, Tolerance(Codec)};
}

// Files the reader reads that no judge reads, by a part of their name.
struct TNoJudge {
    const char* NamePart;
    const char* Why;
};
const TNoJudge kNoJudge[] = {
    {"24bit-4byte", "ffmpeg takes 24-bit samples in 4-byte containers for floats, sox refuses"},
    {"-36bit", "neither ffmpeg nor sox reads samples in 5-byte containers"},
    {"-45bit", "neither ffmpeg nor sox reads samples in 6-byte containers"},
    {"-53bit", "neither ffmpeg nor sox reads samples in 7-byte containers"},
};

// Files ffmpeg reads that the reader refuses on purpose, by a part of their name (none now:
// a float file without a sample width is read as ffmpeg reads it).
struct TKnownRefusal {
    const char* NamePart;
    const char* Reason;
};
const std::vector<TKnownRefusal> kKnownRefusals = {};

class WaveCorpus : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::is_directory(kDir)) GTEST_SKIP() << kDir << " is absent";
        if (!ToolAvailable("ffmpeg") || !ToolAvailable("ffprobe")) GTEST_SKIP() << "no ffmpeg";
        for (auto& e : fs::recursive_directory_iterator(kDir))
            if (e.path().extension() == ".wav") Files.push_back(e.path());
        std::sort(Files.begin(), Files.end());
        ASSERT_FALSE(Files.empty());
    }
    const fs::path kDir = SUNDRAL_CORPUS_DIR;
    std::vector<fs::path> Files;
};

TEST_F(WaveCorpus, ReadAsFfmpegReadsOrRefusedWithAReason) {
    int judged = 0;
    for (const fs::path& file : Files) {
        const std::string name = file.filename().string();
        const TOurRead ours = ReadOurs(file);
        const std::string codec = Codec(file);
        if (!ours.Valid) {
            EXPECT_FALSE(ours.Reason.empty()) << name;
            EXPECT_TRUE(ours.Data.empty()) << name;
            if (codec.empty()) continue; // ffmpeg refuses it too
            bool known = false;
            for (const TKnownRefusal& k : kKnownRefusals) {
                if (name.find(k.NamePart) == std::string::npos) continue;
                known = true;
                EXPECT_NE(ours.Reason.find(k.Reason), std::string::npos)
                    << name << ": " << ours.Reason;
            }
            EXPECT_TRUE(known) << name << " (" << codec << ") refused: " << ours.Reason;
            continue;
        }
        // The same audio read in odd pieces, and from a frame in its middle.
        const uint32_t frame = ours.Channels * ours.Bits / 8;
        const int64_t frames = int64_t(ours.Data.size() / frame);
        EXPECT_EQ(ReadOurs(file, 0, {frame * 3, 4000}).Data, ours.Data) << name;
        const std::vector<uint8_t> tail = ReadOurs(file, frames / 2).Data;
        EXPECT_TRUE(
            std::equal(tail.begin(), tail.end(), ours.Data.end() - std::ptrdiff_t(tail.size())))
            << name;
        EXPECT_EQ(tail.size(), size_t(frames - frames / 2) * frame) << name;

        const TJudge judge = JudgeOf(file, codec);
        const std::vector<int16_t> want =
            judge.Tolerance < 0 ? std::vector<int16_t>{}
                                : (judge.BySox ? SoxDecodeS16(file) : FfmpegDecodeS16(file));
        if (want.empty()) {
            bool listed = false;
            for (const TNoJudge& k : kNoJudge) listed |= name.find(k.NamePart) != std::string::npos;
            EXPECT_TRUE(listed) << name << " (" << codec << ") is read but no judge reads it";
            continue;
        }
        ++judged;
        const std::vector<int16_t> got = As16(ours);
        ASSERT_EQ(got.size(), want.size()) << name;
        int worst = 0;
        for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::abs(got[i] - want[i]));
        EXPECT_LE(worst, judge.Tolerance) << name;
    }
    EXPECT_GT(judged, int(Files.size()) / 2);
}

// What info accepts, cut copies whole: a file that sox and ffprobe accept and that reads
// back as the same audio.
TEST_F(WaveCorpus, EveryReadableFileCutsWhole) {
    if (std::strlen(SUNDRAL_CLI_PATH) == 0) GTEST_SKIP() << "sundral-cli not built";
    ScratchDir dir("corpus");
    for (const fs::path& file : Files) {
        const TOurRead ours = ReadOurs(file);
        const fs::path out = dir.File("out.wav");
        auto cli = [&](const std::string& args) {
            return RunCommand(ShellQuote(SUNDRAL_CLI_PATH) + " " + args + " >/dev/null 2>&1")
                .ExitCode;
        };
        const std::string name = file.filename().string();
        const int info = cli("info " + ShellQuote(file.string()));
        const int cut = cli("cut --force " + ShellQuote(file.string()) + " " + ShellQuote(out));
        EXPECT_EQ(info, ours.Valid ? 0 : 1) << name;
        EXPECT_EQ(cut, info) << name;
        if (cut != 0) continue;
        EXPECT_EQ(ReadOurs(out).Data, ours.Data) << name;
        EXPECT_FALSE(FfprobeStreams(out).empty()) << name;
        EXPECT_EQ(SoxFrames(out), int64_t(ours.Data.size() / (ours.Channels * ours.Bits / 8)))
            << name;
    }
}

} // namespace
