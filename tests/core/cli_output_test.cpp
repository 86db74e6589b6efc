// Outputs and work folders, through the real sundral-cli: what an output replaces (links,
// permissions), what a signal leaves behind, and run folders that a killed run left.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include "MediaFiles.h"
#include "RunCommand.h"
#include "ScratchDir.h"
#include "UniqueFd.h"
#include "WaveTools.h"

using namespace sundral_test;
namespace fs = std::filesystem;

namespace {

class CliOutput : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::strlen(SUNDRAL_CLI_PATH) == 0) GTEST_SKIP() << "sundral-cli not built";
        if (!ToolAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is missing";
    }
    // The shell prefix that runs the binary in the scratch folder, with its work folder there.
    std::string Cli() const {
        return "cd " + ShellQuote(Dir.Path().string()) +
               " && XDG_DATA_HOME=" + ShellQuote(Dir.File("data").string()) + " " +
               ShellQuote(SUNDRAL_CLI_PATH);
    }
    fs::path Work() const { return Dir.File("data/Orvane/Sundral"); }
    // Entries of the work folder and of the scratch folder that are not Keep.
    std::vector<std::string> Leftovers(const std::vector<std::string>& Keep) const {
        std::vector<std::string> left;
        for (const fs::path& folder : {Work(), Dir.Path()}) {
            std::error_code ignored;
            for (const auto& entry : fs::directory_iterator(folder, ignored)) {
                const std::string name = entry.path().filename().string();
                if (name != "data" && std::find(Keep.begin(), Keep.end(), name) == Keep.end())
                    left.push_back(name);
            }
        }
        return left;
    }
    // Starts a segment cut of in.mp3 in the background, sends Signal (by name) once its
    // first piece is on disk, and prints the exit status as "rc=N".
    std::string SignalDuringSegmentCut(const std::string& Signal) {
        const std::string script =
            Cli() +
            // The re-encoding chain, whose jobs leave a run folder to watch for.
            " segment-cut -q --reencode in.mp3 out.mp3 --remove 10-12 --remove 20-22 2>err & "
            "pid=$!; " +
            "until ls " + ShellQuote(Work().string()) + "/run-*/cut1.mp3 >/dev/null 2>&1 || " +
            "! kill -0 $pid 2>/dev/null; do sleep 0.01; done; kill -" + Signal +
            " $pid; wait $pid; echo rc=$?";
        return RunCommand(script).Output;
    }
    ScratchDir Dir{"cliout"};
};

mode_t ModeOf(const fs::path& File) {
    struct stat s {};
    return stat(File.c_str(), &s) == 0 ? s.st_mode & 07777 : 0;
}

int64_t DecodedFrames(const fs::path& File) {
    return int64_t(FfmpegDecodeBytes(File).size() / 2);
}

// A cut replaces what the output names: through links to their file, keeping its mode; a
// new file gets the mode the umask leaves.
TEST_F(CliOutput, ReplacesThroughLinksAndKeepsTheMode) {
    WriteCountingWave(Dir.File("in.wav"), 8000, 1, 16000);
    fs::create_directory(Dir.File("real"));
    const struct {
        const char* Name;
        const char* LinkTo; // nullptr: OUT is a plain file, or none
        bool Existing;      // the file written exists before the cut, mode 0640
        const char* Umask;
        mode_t Mode;
    } cases[] = {
        {"new", nullptr, false, "022", 0644},
        {"new_private", nullptr, false, "077", 0600},
        {"existing", nullptr, true, "022", 0640},
        {"link", "real/linked.wav", true, "022", 0640},
        {"relative_link_chain", "chain.wav", true, "077", 0640},
        {"dangling_link", "real/made.wav", false, "027", 0640},
    };
    // chain.wav -> real/chained.wav, for the case whose link leads through another.
    fs::create_symlink("real/chained.wav", Dir.File("chain.wav"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path out = Dir.File(std::string(c.Name) + ".wav");
        fs::path written = out;
        if (c.LinkTo) {
            fs::create_symlink(c.LinkTo, out);
            written = fs::canonical(Dir.Path()) / c.LinkTo;
            if (std::string(c.LinkTo) == "chain.wav") written = Dir.File("real/chained.wav");
        }
        if (c.Existing) {
            WriteCountingWave(written, 8000, 1, 100);
            fs::permissions(written, fs::perms(0640));
        }
        const auto r =
            RunCommand("umask " + std::string(c.Umask) + " && " + Cli() + " cut -q -f in.wav " +
                       ShellQuote(out.filename().string()) + " --from 0.5 --to 1.5 2>&1");
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        EXPECT_EQ(fs::is_symlink(out), c.LinkTo != nullptr) << "a link stays a link";
        if (c.LinkTo) {
            EXPECT_EQ(fs::read_symlink(out), fs::path(c.LinkTo));
        }
        EXPECT_EQ(DecodedFrames(written), 8000);
        EXPECT_EQ(ModeOf(written), c.Mode) << std::oct << ModeOf(written);
    }
    // Nothing unfinished beside the outputs.
    for (const fs::path& folder : {Dir.Path(), Dir.File("real")})
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos);
}

// A hang-up, Ctrl-C or kill during a segment cut ends it as interrupted, and nothing of the
// run stays: no run folder, no temporary output, no output.
TEST_F(CliOutput, SignalsLeaveNothingBehind) {
    ASSERT_TRUE(
        MakeMediaFile(Dir.File("in.mp3"), TestSignal(44100, 2, 60), "-c:a libmp3lame -b:a 128k"));
    for (const char* signal : {"HUP", "INT", "TERM"}) {
        SCOPED_TRACE(signal);
        const std::string output = SignalDuringSegmentCut(signal);
        EXPECT_EQ(output, "rc=1\n");
        const auto err = Dir.ReadBytes("err");
        EXPECT_NE(std::string(err.begin(), err.end()).find("interrupted; out.mp3 was not written"),
                  std::string::npos);
        EXPECT_EQ(Leftovers({"in.mp3", "err"}), std::vector<std::string>());
    }
}

// A run killed outright keeps its folder and its temporary output; the next run removes
// both, and leaves alone a folder or a temporary output whose lock a live run holds.
TEST_F(CliOutput, NextRunRemovesAbandonedFiles) {
    ASSERT_TRUE(
        MakeMediaFile(Dir.File("in.mp3"), TestSignal(44100, 2, 60), "-c:a libmp3lame -b:a 128k"));
    EXPECT_EQ(SignalDuringSegmentCut("KILL"), "rc=137\n");
    std::vector<std::string> killed = Leftovers({"in.mp3", "err"});
    ASSERT_EQ(killed.size(), 2u); // its run folder and its temporary output
    fs::create_directories(Work() / "run-live");
    const TFd live(open((Work() / "run-live/lock").c_str(), O_RDWR | O_CREAT, 0600));
    ASSERT_EQ(flock(live.Value, LOCK_EX), 0);
    const TFd writing(open(Dir.File(".out.partial-Live01.mp3").c_str(), O_RDWR | O_CREAT, 0600));
    ASSERT_EQ(flock(writing.Value, LOCK_EX), 0);
    fs::create_directories(Work() / "run-old/inner");
    fs::create_directories(Work() / "notarun");

    // The re-encoding chain's next run cleans up.
    const auto r =
        RunCommand(Cli() + " segment-cut -q --reencode in.mp3 out.mp3 --remove 1-2 2>&1");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    std::vector<std::string> left = Leftovers({"in.mp3", "err", "out.mp3"});
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".out.partial-Live01.mp3", "notarun", "run-live"}));
}

} // namespace
