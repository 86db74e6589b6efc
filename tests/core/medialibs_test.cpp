// FFmpeg and SDL are loaded on first use, through the real binary: WAV work and an MP3 cut
// that copies the frames never map them, and with a library missing
// (SUNDRAL_MEDIA_LIBRARY_DIR pointed at a folder without it) MP3 and WMA work that decodes
// fails naming that library and leaves no output, while WAV work and frame copies still run,
// judged by sox and ffmpeg.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

extern "C" {
#include <libavcodec/version.h>
#include <libavutil/version.h>
#include <libswresample/version.h>
}

#include "FileBytes.h"
#include "MediaFiles.h"
#include "RunCommand.h"
#include "ScratchDir.h"

using namespace sundral_test;

namespace {

#define SONAME(Name, Major) Name ".so." SUNDRAL_TEST_NUMBER(Major)
#define SUNDRAL_TEST_NUMBER(X) SUNDRAL_TEST_TEXT(X)
#define SUNDRAL_TEST_TEXT(X) #X

const std::string kAvutil = SONAME("libavutil", LIBAVUTIL_VERSION_MAJOR);
const std::string kSwresample = SONAME("libswresample", LIBSWRESAMPLE_VERSION_MAJOR);
const std::string kAvcodec = SONAME("libavcodec", LIBAVCODEC_VERSION_MAJOR);

class MediaLibs : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::strlen(SUNDRAL_CLI_PATH) == 0) GTEST_SKIP() << "sundral-cli not built";
        for (const char* tool : {"ffmpeg", "sox", "soxi"})
            if (!ToolAvailable(tool)) GTEST_SKIP() << tool << " is missing";
        Wav = Dir.File("in.wav").string();
        ASSERT_EQ(RunCommand("sox -q -n -r 44100 -c 2 -b 16 " + ShellQuote(Wav) +
                             " synth 4 sine 300 vol 0.5 pad 1 1")
                      .ExitCode,
                  0);
        Mp3 = Dir.File("in.mp3").string();
        ASSERT_TRUE(MakeMediaFile(Mp3, TestSignal(44100, 2, 2), "-ar 44100 -ac 2 -b:a 128k"));
        Mp2 = Dir.File("layer2.mp3").string();
        ASSERT_TRUE(MakeMediaFile(Mp2, TestSignal(44100, 2, 2), "-c:a mp2 -b:a 192k -f mp2"));
    }
    TCommandResult Run(const std::string& Args, const std::string& Env = "") {
        return RunCommand(Env + " " + ShellQuote(SUNDRAL_CLI_PATH) + " " + Args + " 2>" +
                          ShellQuote(Dir.File("stderr").string()));
    }
    std::string Stderr() {
        const auto b = ReadFileBytes(Dir.File("stderr"));
        return std::string(b.begin(), b.end());
    }
    ScratchDir Dir{"medialibs"};
    std::string Wav, Mp3, Mp2;
};

// The dynamic linker names every library it maps; none of FFmpeg's or SDL's may show.
TEST_F(MediaLibs, WavWorkAndMp3CopiesNeverMapFfmpegOrSdl) {
    const std::string out = ShellQuote(Dir.File("out.wav").string());
    const std::string commands[] = {
        "info " + ShellQuote(Wav),
        "cut --quiet --force " + ShellQuote(Wav) + " " + out + " --from 1 --to 3",
        "peaks " + ShellQuote(Wav) + " --width 50", "silences " + ShellQuote(Wav),
        "cut --quiet --force " + ShellQuote(Mp3) + " " + ShellQuote(Dir.File("out.mp3").string()) +
            " --from 0.5 --to 1.5"};
    for (const std::string& command : commands) {
        const auto r = Run(command, "LD_DEBUG=libs");
        EXPECT_EQ(r.ExitCode, 0) << command;
        const std::string log = Stderr();
        for (const char* name :
             {"libavformat", "libavcodec", "libswresample", "libavutil", "libSDL2"})
            EXPECT_EQ(log.find(name), std::string::npos) << command << " maps " << name;
    }
    EXPECT_EQ(FfmpegDecodeBytes(Dir.File("out.mp3")).size(), size_t(44100 * 4));
    // The same log does show FFmpeg once an MP3 is decoded, so the checks above can fail.
    for (const std::string& command :
         {"info " + ShellQuote(Mp3), "cut --quiet --force --reencode " + ShellQuote(Mp3) + " " +
                                         ShellQuote(Dir.File("out.mp3").string()) +
                                         " --from 0.5 --to 1.5"}) {
        EXPECT_EQ(Run(command, "LD_DEBUG=libs").ExitCode, 0) << command;
        EXPECT_NE(Stderr().find(kAvcodec), std::string::npos) << command;
    }
}

TEST_F(MediaLibs, MissingLibraryIsNamedAndWavWorkStillRuns) {
    // A folder without any of them, and one offering all but libavcodec.
    const std::filesystem::path none = Dir.File("none"), partial = Dir.File("partial");
    std::filesystem::create_directories(none);
    std::filesystem::create_directories(partial);
    for (const std::string& name : {kAvutil, kSwresample}) {
        const auto real =
            RunCommand("ldconfig -p | awk '$1 == \"" + name + "\" {print $NF; exit}'");
        std::string path = real.Output.substr(0, real.Output.find('\n'));
        ASSERT_FALSE(path.empty()) << name;
        std::filesystem::create_symlink(path, partial / name);
    }
    struct TCase {
        std::filesystem::path Folder;
        std::string Missing;
    };
    for (const TCase& c : {TCase{none, kAvutil}, TCase{partial, kAvcodec}}) {
        SCOPED_TRACE(c.Missing);
        const std::string env = "SUNDRAL_MEDIA_LIBRARY_DIR=" + ShellQuote(c.Folder.string());
        const std::string need = "MP3 and WMA files need FFmpeg's " + c.Missing;

        EXPECT_EQ(Run("info " + ShellQuote(Mp3), env).ExitCode, 1);
        EXPECT_NE(Stderr().find(need), std::string::npos) << Stderr();

        // Copying the frames needs no decoder; re-encoding does.
        const std::filesystem::path mp3Out = Dir.File("out.mp3");
        std::filesystem::remove(mp3Out);
        ASSERT_EQ(Run("cut --quiet " + ShellQuote(Mp3) + " " + ShellQuote(mp3Out.string()) +
                          " --from 0.5 --to 1.5",
                      env)
                      .ExitCode,
                  0)
            << Stderr();
        EXPECT_EQ(FfmpegDecodeBytes(mp3Out).size(), size_t(44100 * 4));
        std::filesystem::remove(mp3Out);
        // A layer II stream is not copied but re-encoded, which needs the decoder too.
        for (const std::string& input : {ShellQuote(Mp3) + " --reencode", ShellQuote(Mp2)}) {
            EXPECT_EQ(Run("cut --quiet " + input + " " + ShellQuote(mp3Out.string()) +
                              " --from 0.5 --to 1.5",
                          env)
                          .ExitCode,
                      1)
                << input;
            EXPECT_NE(Stderr().find(need), std::string::npos) << Stderr();
            // Neither the output nor a temporary file on its way to it.
            for (const auto& entry : std::filesystem::directory_iterator(Dir.Path()))
                EXPECT_EQ(entry.path().filename().string().find("out.mp3"), std::string::npos)
                    << entry.path();
        }

        const std::string wavOut = Dir.File("out.wav").string();
        ASSERT_EQ(Run("cut --quiet --force " + ShellQuote(Wav) + " " + ShellQuote(wavOut) +
                          " --from 1 --to 3",
                      env)
                      .ExitCode,
                  0)
            << Stderr();
        EXPECT_EQ(RunCommand("soxi -s " + ShellQuote(wavOut)).Output, "88200\n");
    }
}

} // namespace
