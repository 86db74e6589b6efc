// sundral-cli end to end: the real binary on files sox makes, judged by sox and by byte
// comparison, plus the position parsing it is built on.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "FileBytes.h"
#include "RunCommand.h"
#include "ScratchDir.h"
#include "WaveTools.h"
#include "cli/CliTime.h"

using namespace sundral::cli;
using namespace sundral_test;

namespace {

TEST(CliPosition, TimeTextsSecondsAndSamples) {
    std::string error;
    auto p = ParsePosition("00:01:02.5", false, error);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Nanoseconds, 62'500'000'000);
    p = ParsePosition("1:2:3.", false, error);
    ASSERT_TRUE(p) << "as loose as the windows accept";
    EXPECT_EQ(p->Nanoseconds, 3'723'000'000'000);
    p = ParsePosition("62.5", false, error);
    ASSERT_TRUE(p);
    EXPECT_EQ(PositionToFrames(*p, 44100), 2756250);
    p = ParsePosition("0.0000113", false, error);
    ASSERT_TRUE(p);
    EXPECT_EQ(PositionToFrames(*p, 44100), 0) << "0.498 of a frame rounds down";
    p = ParsePosition("12345", true, error);
    ASSERT_TRUE(p);
    EXPECT_EQ(PositionToFrames(*p, 8000), 12345);
    for (const char* bad : {"", "abc", "1:2", "01:02:03.45", "-1", "1e3", "1.2.3"}) {
        EXPECT_FALSE(ParsePosition(bad, false, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_FALSE(ParsePosition("12.5", true, error));
    EXPECT_FALSE(ParsePosition("99999999999999999999", true, error));
}

TEST(CliPosition, StretchIsRoundedAsAWhole) {
    std::string e;
    // 0.1 s and 0.3 s each round on their own at 22050 Hz (2205, 6615: fine), but at 44100
    // a stretch of 1/3 s must hold round(14700) frames whatever its ends do.
    auto from = *ParsePosition("0.00001", false, e), to = *ParsePosition("0.33334", false, e);
    EXPECT_EQ(StretchFrames(from, to, 44100), 14700);
    EXPECT_EQ(StretchFrames(*ParsePosition("100", true, e), *ParsePosition("250", true, e), 1),
              150);
}

class CliRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::strlen(SUNDRAL_CLI_PATH) == 0) GTEST_SKIP() << "sundral-cli not built";
        if (!ToolAvailable("sox")) GTEST_SKIP() << "sox is missing";
    }
    TCommandResult Run(const std::string& args) {
        return RunCommand(ShellQuote(SUNDRAL_CLI_PATH) + " " + args + " 2>" +
                          ShellQuote(Dir.File("stderr").string()));
    }
    std::string Stderr() {
        auto b = ReadFileBytes(Dir.File("stderr"));
        return std::string(b.begin(), b.end());
    }
    std::string Make(const std::string& name, const std::string& synth,
                     const std::string& format = "-r 44100 -c 2 -b 16") {
        std::string path = Dir.File(name).string();
        auto r = RunCommand("sox -q -n " + format + " " + ShellQuote(path) + " synth " + synth);
        EXPECT_EQ(r.ExitCode, 0) << synth;
        return path;
    }
    // The raw samples of a WAV file as sox reads them.
    std::vector<uint8_t> Raw(const std::string& path) {
        auto r = RunCommand("sox -q -D " + ShellQuote(path) + " -t raw -");
        EXPECT_EQ(r.ExitCode, 0);
        return {r.Output.begin(), r.Output.end()};
    }
    std::string Q(const std::string& name) { return ShellQuote(Dir.File(name).string()); }
    ScratchDir Dir{"cli"};
};

TEST_F(CliRun, InfoInTextAndJson) {
    std::string in = Make("in.wav", "2.5 sine 440", "-r 22050 -c 1 -b 24");
    auto r = Run("info " + ShellQuote(in));
    ASSERT_EQ(r.ExitCode, 0) << Stderr();
    EXPECT_NE(r.Output.find("wtExtPCM"), std::string::npos) << "sox writes 24 bits extensible";
    EXPECT_NE(r.Output.find("00:00:02.5"), std::string::npos) << r.Output;
    r = Run("info --json " + ShellQuote(in));
    ASSERT_EQ(r.ExitCode, 0) << Stderr();
    auto j = nlohmann::json::parse(r.Output);
    EXPECT_EQ(j["sampleRate"], 22050);
    EXPECT_EQ(j["channels"], 1);
    EXPECT_EQ(j["bitsPerSample"], 24);
    EXPECT_EQ(j["totalSamples"], 55125);
    EXPECT_EQ(j["type"], "wtExtPCM");
    EXPECT_EQ(j["duration"], "00:00:02.5");
}

TEST_F(CliRun, CutMatchesSoxTrimSampleForSample) {
    std::string in = Make("in.wav", "6 sine 300-900 sine 500");
    auto r =
        Run("cut --quiet " + ShellQuote(in) + " " + Q("cut.wav") + " --from 00:00:01.5 --to 4.25");
    ASSERT_EQ(r.ExitCode, 0) << Stderr();
    ASSERT_EQ(
        RunCommand("sox -q " + ShellQuote(in) + " " + Q("ref.wav") + " trim 1.5 =4.25").ExitCode,
        0);
    auto got = Raw(Dir.File("cut.wav").string()), want = Raw(Dir.File("ref.wav").string());
    EXPECT_EQ(got.size(), size_t(std::lround(2.75 * 44100)) * 4);
    EXPECT_EQ(got, want);

    // By sample numbers, to the end of the file.
    r = Run("cut --quiet --samples " + ShellQuote(in) + " " + Q("tail.wav") + " --from 264000");
    ASSERT_EQ(r.ExitCode, 0) << Stderr();
    auto all = Raw(in);
    EXPECT_EQ(Raw(Dir.File("tail.wav").string()),
              std::vector<uint8_t>(all.begin() + 264000 * 4, all.end()));
}

TEST_F(CliRun, JoinAndMixMatchSox) {
    std::string a = Make("a.wav", "1.3 sine 440 vol 0.9"), b = Make("b.wav", "0.7 square 200");
    auto r = Run("join --quiet " + ShellQuote(a) + " " + ShellQuote(b) + " " + Q("ab.wav"));
    ASSERT_EQ(r.ExitCode, 0) << Stderr();
    ASSERT_EQ(
        RunCommand("sox -q " + ShellQuote(a) + " " + ShellQuote(b) + " " + Q("ref.wav")).ExitCode,
        0);
    EXPECT_EQ(Raw(Dir.File("ab.wav").string()), Raw(Dir.File("ref.wav").string()))
        << "a join is lossless";

    r = Run("mix --quiet " + ShellQuote(a) + " " + ShellQuote(b) + " " + Q("mix.wav"));
    ASSERT_EQ(r.ExitCode, 0) << Stderr();
    // sox -m averages the inputs too; our conversion scales by 32767/32768 on the way back,
    // so the two may differ by one step.
    ASSERT_EQ(
        RunCommand("sox -q -D -m " + ShellQuote(a) + " " + ShellQuote(b) + " " + Q("refmix.wav"))
            .ExitCode,
        0);
    auto got = Raw(Dir.File("mix.wav").string()), want = Raw(Dir.File("refmix.wav").string());
    ASSERT_EQ(got.size(), want.size());
    int worst = 0;
    for (size_t i = 0; i + 1 < got.size(); i += 2) {
        int16_t x, y;
        std::memcpy(&x, &got[i], 2);
        std::memcpy(&y, &want[i], 2);
        worst = std::max(worst, std::abs(x - y));
    }
    EXPECT_LE(worst, 1);
}

TEST_F(CliRun, RefusalsAndErrors) {
    std::string in = Make("in.wav", "1 sine 440");
    std::string out = Dir.File("out.wav").string();
    WriteFileBytes(out, {'k', 'e', 'e', 'p'});
    auto r = Run("cut " + ShellQuote(in) + " " + ShellQuote(out) + " --to 0.5");
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(Stderr().find("--force"), std::string::npos) << Stderr();
    EXPECT_EQ(ReadFileBytes(out), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    std::filesystem::permissions(out, std::filesystem::perms(0640));
    r = Run("cut --quiet --force " + ShellQuote(in) + " " + ShellQuote(out) + " --to 0.5");
    EXPECT_EQ(r.ExitCode, 0) << Stderr();
    EXPECT_EQ(Raw(out).size(), 22050u * 4);
    EXPECT_EQ(std::filesystem::status(out).permissions(), std::filesystem::perms(0640))
        << "a replaced file keeps its mode";

    // The output naming an input is refused before anything is opened for writing.
    auto before = ReadFileBytes(in);
    r = Run("cut --force " + ShellQuote(in) + " " + Q("./in.wav"));
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_EQ(ReadFileBytes(in), before);

    EXPECT_EQ(Run("cut " + ShellQuote(in) + " " + Q("x.wav") + " --from 1:2").ExitCode, 2);
    EXPECT_EQ(Run("cut " + ShellQuote(in) + " " + Q("x.wav") + " --from 0.6 --to 0.5").ExitCode, 2);
    EXPECT_EQ(Run("frobnicate").ExitCode, 2);
    r = Run("cut " + Q("missing.wav") + " " + Q("x.wav"));
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(Stderr().find("No such file or directory"), std::string::npos) << Stderr();
    WriteFileBytes(Dir.File("junk.wav"), std::vector<uint8_t>(100, 'j'));
    EXPECT_EQ(Run("info " + Q("junk.wav")).ExitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(Dir.File("x.wav")));
    for (auto& entry : std::filesystem::directory_iterator(Dir.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos)
            << "no temporary file is left behind";

    // Each refusal says why, with the status that tells whose fault it is.
    std::string gsm = Make("gsm.wav", "0.1 sine 300", "-r 8000 -c 1 -e gsm-full-rate");
    struct TCase {
        std::string Args;
        int Exit;
        const char* Says;
    } cases[] = {
        {"cut " + ShellQuote(in) + " " + Q("x.wav") + " --from 0.5 --to 0.5", 2, "empty range"},
        {"info " + ShellQuote(gsm), 1, "format tag 49 is not supported"},
        {"cut " + ShellQuote(gsm) + " " + Q("x.wav"), 1, "format tag 49 is not supported"},
        {"info " + Q("junk.wav"), 1, "not a RIFF/WAVE file"},
        {"cut " + ShellQuote(in) + " " + Q("x.wav") + " --from 1", 1, "past the end"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(Run(c.Args).ExitCode, c.Exit) << c.Args;
        EXPECT_NE(Stderr().find(c.Says), std::string::npos) << c.Args << ": " << Stderr();
    }
    EXPECT_FALSE(std::filesystem::exists(Dir.File("x.wav")));

    // A file whose audio is empty cuts to an empty file of its format.
    std::string empty = Dir.File("empty.wav").string();
    ASSERT_EQ(
        RunCommand("sox -q -n -r 8000 -c 1 -b 16 " + ShellQuote(empty) + " trim 0 0").ExitCode, 0);
    ASSERT_EQ(Run("cut " + ShellQuote(empty) + " " + Q("e.wav")).ExitCode, 0) << Stderr();
    EXPECT_EQ(SoxFrames(Dir.File("e.wav")), 0);

    EXPECT_EQ(Run("--version").ExitCode, 0);
    r = Run("cut --help");
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Output.find("--from"), std::string::npos);
}

} // namespace
