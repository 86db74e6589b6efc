// sundral-cli segment-cut end to end: the real binary on WAV, MP3 and WMA files that ffmpeg
// makes, the output judged by ffmpeg's decode against the source's kept stretches; and the
// refusals, which write nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "FileBytes.h"
#include "MediaFiles.h"
#include "RunCommand.h"
#include "ScratchDir.h"
#include "SegmentTools.h"
#include "WaveTools.h"

using namespace sundral_test;

namespace {

class CliSegmentCut : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ToolAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is missing";
    }
    // Runs the command with its work folder below the scratch folder.
    TCommandResult Run(const std::string& Arguments) {
        return RunCommand("cd " + ShellQuote(Dir.Path().string()) +
                          " && XDG_DATA_HOME=" + ShellQuote(Dir.File("data").string()) +
                          " " SUNDRAL_CLI_PATH " segment-cut -q " + Arguments + " 2>&1");
    }
    // Files left in the work folder; every run removes its own.
    size_t WorkFiles() {
        const auto folder = Dir.File("data/Orvane/Sundral");
        if (!std::filesystem::exists(folder)) return 0;
        return size_t(std::distance(std::filesystem::recursive_directory_iterator(folder), {}));
    }
    ScratchDir Dir{"segcli"};
};

TEST_F(CliSegmentCut, KeepsThePiecesOfEachTypeInOrder) {
    const char* kRemoves = "--remove 0.5-1 --remove 00:00:01.5-00:00:01.7";
    const std::vector<TKeptMs> kKept = {{0, 400}, {1100, 1400}, {1800, -1}};
    // Silent from 1 s to 2 s: the stretch found is removed as it is, a given one with margins.
    const char* kGap = "aevalsrc=0.5*sin(2*PI*440*t)*(floor(t)-1)*(floor(t)-1)|"
                       "0.4*sin(2*PI*660*t)*(floor(t)-1)*(floor(t)-1):s=44100:d=3";
    const struct {
        const char* Input;
        const char* Encoding;
        const char* Removes;
        std::vector<TKeptMs> Kept;
        int64_t FrameSlack; // frames the output's length may differ by
        double Correlation; // 1: bit for bit
        const char* Signal = nullptr;
    } cases[] = {
        {"in.wav", "-c:a pcm_s16le", kRemoves, kKept, 0, 1},
        {"gap.wav",
         "-c:a pcm_s16le",
         "--remove-silence --remove 0.2-0.4",
         {{0, 100}, {500, 1000}, {2000, -1}},
         0,
         1,
         kGap},
        {"exact.wav", "-c:a pcm_s16le", "--remove 1-2 --exact", {{0, 1000}, {2000, -1}}, 0, 1},
        {"in.mp3", "-c:a libmp3lame -b:a 128k", kRemoves, kKept, 0, 0.99},
        // WMA blocks are 2048 frames: the last one is filled up with silence.
        {"in.wma", "-c:a wmav2 -b:a 128k", kRemoves, kKept, 2048, 0.99},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Input);
        const auto input = Dir.File(c.Input);
        // Three seconds keep the signal below what the lossy codecs cut off.
        ASSERT_TRUE(
            MakeMediaFile(input, c.Signal ? c.Signal : TestSignal(44100, 2, 3.0), c.Encoding));
        const auto output = Dir.File(std::string("out_") + c.Input);
        const TCommandResult result =
            Run(ShellQuote(input.string()) + " " + ShellQuote(output.string()) + " " + c.Removes);
        ASSERT_EQ(result.ExitCode, 0) << result.Output;
        const std::vector<int16_t> source = FfmpegDecodeS16(input);
        const std::vector<int16_t> kept = KeptSamples(source, 2, 44100, c.Kept);
        const std::vector<int16_t> written = FfmpegDecodeS16(output);
        EXPECT_LE(std::abs(int64_t(written.size() / 2) - int64_t(kept.size() / 2)), c.FrameSlack);
        if (c.Correlation >= 1)
            EXPECT_EQ(written, kept);
        else
            EXPECT_GT(
                WorstPieceCorrelation(source, written, 2, 44100, c.Kept, int(c.FrameSlack) + 1152),
                c.Correlation);
        EXPECT_EQ(WorkFiles(), 0u);
    }
}

TEST_F(CliSegmentCut, RefusalsWriteNothing) {
    ASSERT_TRUE(MakeMediaFile(Dir.File("in.wav"), TestSignal(8000, 1, 6.0), "-c:a pcm_s16le"));
    Dir.WriteBytes("old.wav", {1, 2, 3});
    const struct {
        const char* Arguments;
        int ExitCode;
        const char* Says;
    } cases[] = {
        {"in.wav out.wav --remove 3-4 --remove 1-2", 2, "ascending order"},
        {"in.wav out.wav", 2, "--remove-silence"},
        {"in.wav out.wav --remove-silence", 1, "no silent stretch"},
        {"in.wav out.wav --remove 5-7", 2, "past the end"},
        {"in.wav out.wav --remove 2-1", 2, "FROM must lie before TO"},
        {"in.wav out.wav --remove 0-6", 1, "Nothing would remain"},
        {"in.wav old.wav --remove 1-2", 1, "--force"},
        {"in.wav out.mp3 --remove 1-2", 2, "same type"},
        {"in.wav ./in.wav --remove 1-2", 2, "overwrite the input"},
        {"missing.wav out.wav --remove 1-2", 1, "missing.wav"},
    };
    for (const auto& c : cases) {
        const TCommandResult result = Run(c.Arguments);
        EXPECT_EQ(result.ExitCode, c.ExitCode) << c.Arguments;
        EXPECT_NE(result.Output.find(c.Says), std::string::npos) << result.Output;
    }
    EXPECT_EQ(Dir.ReadBytes("old.wav"), (std::vector<uint8_t>{1, 2, 3}));
    // No output and no unfinished temporary file beside it.
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Dir.Path()))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 2u);
    EXPECT_EQ(WorkFiles(), 0u);
}

} // namespace
