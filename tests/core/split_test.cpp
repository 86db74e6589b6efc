// sundral-cli split end to end: the real binary on WAV, MP3 and WMA files that ffmpeg makes,
// the pieces judged by ffmpeg's decode (lengths, samples) and ffprobe (tags); the names the
// pattern gives; cue sheets as they come (CRLF, pregaps, quotes); and the refusals, which
// write nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "MediaFiles.h"
#include "RunCommand.h"
#include "ScratchDir.h"

using namespace sundral_test;

namespace {

constexpr int64_t kRate = 44100;
constexpr int64_t kFrameBytes = 4; // 16-bit stereo
// Silent from 1 s to 2 s of three.
const char* kGap = "aevalsrc=0.5*sin(2*PI*440*t)*(floor(t)-1)*(floor(t)-1)|"
                   "0.4*sin(2*PI*660*t)*(floor(t)-1)*(floor(t)-1):s=44100:d=3";

// Three tracks: the second's pregap (INDEX 00) lies in the first; quoted titles with
// characters file names cannot hold; CRLF line ends.
const char* kCue = "REM GENRE Test\r\n"
                   "PERFORMER \"The Band\"\r\n"
                   "TITLE \"Long Player\"\r\n"
                   "FILE \"in.wav\" WAVE\r\n"
                   "  TRACK 01 AUDIO\r\n"
                   "    TITLE \"Opening: Part/One\"\r\n"
                   "    INDEX 01 00:00:00\r\n"
                   "  TRACK 02 AUDIO\r\n"
                   "    TITLE \"Second Song\"\r\n"
                   "    PERFORMER \"A Guest\"\r\n"
                   "    INDEX 00 00:00:50\r\n"
                   "    INDEX 01 00:01:00\r\n"
                   "  TRACK 03 AUDIO\r\n"
                   "    INDEX 00 00:02:00\r\n"
                   "    INDEX 01 00:02:37\r\n";
// Where the tracks start: 2 s + 37/75 s is 2 x 44100 + 37 x 588 frames.
const std::vector<int64_t> kCueStarts = {0, 44100, 109956};

class CliSplit : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ToolAvailable("ffmpeg") || !ToolAvailable("ffprobe"))
            GTEST_SKIP() << "ffmpeg or ffprobe is missing";
    }
    TCommandResult Run(const std::string& Arguments) {
        return RunCommand("cd " + ShellQuote(Dir.Path().string()) +
                          " && " SUNDRAL_CLI_PATH " split -q " + Arguments + " 2>&1");
    }
    void WriteText(const std::string& Name, const std::string& Text) {
        std::ofstream(Dir.File(Name), std::ios::binary) << Text;
    }
    // The files in a folder below the scratch folder, by name.
    std::set<std::string> Files(const std::string& Folder) {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Dir.File(Folder)))
            names.insert(entry.path().filename().string());
        return names;
    }
    // Format tags as ffprobe reports them.
    std::map<std::string, std::string> Tags(const std::filesystem::path& File) {
        const TCommandResult r = RunCommand(
            "ffprobe -v error -show_entries format_tags -of default=noprint_wrappers=1 " +
            ShellQuote(File.string()));
        std::map<std::string, std::string> tags;
        std::istringstream lines(r.Output);
        for (std::string line; std::getline(lines, line);) {
            const size_t equals = line.find('=');
            if (line.rfind("TAG:", 0) != 0 || equals == std::string::npos) continue;
            std::string name = line.substr(4, equals - 4);
            std::transform(name.begin(), name.end(), name.begin(), ::tolower);
            tags[name] = line.substr(equals + 1);
        }
        return tags;
    }
    ScratchDir Dir{"splitcli"};
};

TEST_F(CliSplit, PiecesLieWhereAskedAndHoldTheSourceExactly) {
    const struct {
        const char* Name;
        const char* Input;
        const char* Encoding;
        const char* Arguments;
        std::vector<int64_t> Starts; // of each piece; the last runs to the end
        int64_t Slack = 0;           // frames each end may differ by
        bool Exact = true;           // the pieces' samples equal the source's decode
        const char* Signal = nullptr;
    } cases[] = {
        // Unsorted, repeated, at the start and past the end: only 0.5 s and 1 s divide.
        {"at",
         "in.wav",
         "-c:a pcm_s16le",
         "--at 1 --at 0.5 --at 1 --at 0 --at 9",
         {0, 22050, 44100}},
        {"every", "in.wav", "-c:a pcm_s16le", "--every 1.2", {0, 52920, 105840}},
        {"every whole length", "in.wav", "-c:a pcm_s16le", "--every 3", {0}},
        {"samples", "in.wav", "-c:a pcm_s16le", "--samples --at 1000 --at 99999", {0, 1000, 99999}},
        {"cue", "in.wav", "-c:a pcm_s16le", "--cue in.cue", kCueStarts},
        {"mp3 frames copied",
         "in.mp3",
         "-c:a libmp3lame -b:a 128k",
         "--every 0.7",
         {0, 30870, 61740, 92610, 123480}},
        {"mp3 cue", "in.mp3", "-c:a libmp3lame -q:a 4", "--cue in.cue", kCueStarts},
        // Layer II cannot be copied: re-encoded, and still of the exact lengths.
        {"mp3 layer II", "in.mp3", "-c:a mp2 -b:a 192k -f mp2", "--at 1", {0, 44100}, 0, false},
        {"mp3 re-encoded",
         "in.mp3",
         "-c:a libmp3lame -b:a 128k",
         "--reencode --at 1.5",
         {0, 66150},
         0,
         false},
        // WMA blocks are 2048 frames: each piece ends on a whole block.
        {"wma", "in.wma", "-c:a wmav2 -b:a 128k", "--at 1.5", {0, 66150}, 2048, false},
    };
    WriteText("in.cue", kCue);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto input = Dir.File(c.Input);
        ASSERT_TRUE(
            MakeMediaFile(input, c.Signal ? c.Signal : TestSignal(44100, 2, 3.0), c.Encoding));
        std::filesystem::remove_all(Dir.File("out"));
        std::filesystem::create_directory(Dir.File("out"));
        const TCommandResult r = Run(std::string(c.Input) + " 'out/{n}' " + c.Arguments);
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        const std::vector<uint8_t> source = FfmpegDecodeBytes(input);
        const int64_t total = int64_t(source.size()) / kFrameBytes;
        ASSERT_EQ(Files("out").size(), c.Starts.size());
        int64_t sum = 0;
        for (size_t i = 0; i < c.Starts.size(); ++i) {
            SCOPED_TRACE(i + 1);
            const std::string ext = std::filesystem::path(c.Input).extension().string();
            const auto piece = FfmpegDecodeBytes(Dir.File("out/" + std::to_string(i + 1) + ext));
            const int64_t start = c.Starts[i];
            const int64_t end = i + 1 < c.Starts.size() ? c.Starts[i + 1] : total;
            const int64_t frames = int64_t(piece.size()) / kFrameBytes;
            EXPECT_NEAR(frames, end - start, c.Slack);
            sum += frames;
            if (c.Exact) {
                EXPECT_TRUE(std::equal(piece.begin(), piece.end(),
                                       source.begin() + start * kFrameBytes,
                                       source.begin() + end * kFrameBytes));
            }
        }
        EXPECT_NEAR(sum, total, c.Slack * int64_t(c.Starts.size()));
    }
}

TEST_F(CliSplit, SilenceDividesAndIsLeftOut) {
    const struct {
        const char* Name;
        const char* Signal;
        std::vector<int64_t> Lengths; // of the pieces, in frames; none: the split fails
    } cases[] = {
        {"gap inside", kGap, {kRate, kRate}},
        // Silent to 1 s and from 2.5 s: one piece.
        {"silent ends",
         "aevalsrc=0.5*sin(2*PI*440*t)*gte(t\\,1)*lt(t\\,2.5)|"
         "0.4*sin(2*PI*660*t)*gte(t\\,1)*lt(t\\,2.5):s=44100:d=3.5",
         {kRate * 3 / 2}},
        {"all silent", "aevalsrc=0|0:s=44100:d=2", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_TRUE(MakeMediaFile(Dir.File("gap.wav"), c.Signal, "-c:a pcm_s16le"));
        std::filesystem::remove_all(Dir.File("out"));
        std::filesystem::create_directory(Dir.File("out"));
        const TCommandResult r = Run("gap.wav 'out/{n}' --silence --min-length 0.3");
        ASSERT_EQ(r.ExitCode, c.Lengths.empty() ? 1 : 0) << r.Output;
        ASSERT_EQ(Files("out").size(), c.Lengths.size());
        for (size_t i = 0; i < c.Lengths.size(); ++i) {
            const auto piece = FfmpegDecodeBytes(Dir.File("out/" + std::to_string(i + 1) + ".wav"));
            // The finder measures in 20 ms windows.
            EXPECT_NEAR(int64_t(piece.size()) / kFrameBytes, c.Lengths[i], kRate / 50);
        }
    }
}

TEST_F(CliSplit, NamesFollowThePattern) {
    const struct {
        const char* Pattern;
        const char* Arguments;
        std::set<std::string> Names;
    } cases[] = {
        {"{n}-{name}", "--every 1", {"1-in.wav", "2-in.wav", "3-in.wav"}},
        // Ten pieces: the numbers take two places.
        {"{n}.wav",
         "--every 0.3",
         {"01.wav", "02.wav", "03.wav", "04.wav", "05.wav", "06.wav", "07.wav", "08.wav", "09.wav",
          "10.wav"}},
        {"{n} {title}",
         "--cue in.cue",
         {"1 Opening_ Part_One.wav", "2 Second Song.wav", "3 Track 3.wav"}},
        {"{title}", "--at 2", {"Track 1.wav", "Track 2.wav"}},
        // A sheet in Latin-1 and one in UTF-8 with a byte-order mark give the same UTF-8 name;
        // an unquoted title is one word.
        {"{title}", "--cue latin1.cue", {"Caf\xC3\xA9.wav", "Two.wav"}},
        {"{title}", "--cue bom.cue", {"Caf\xC3\xA9.wav", "Two.wav"}},
    };
    ASSERT_TRUE(MakeMediaFile(Dir.File("in.wav"), TestSignal(44100, 2, 3.0), "-c:a pcm_s16le"));
    WriteText("in.cue", kCue);
    const std::string tracks =
        "\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nTITLE Two\nINDEX 01 00:01:00\n";
    WriteText("latin1.cue", "TRACK 01 AUDIO\nTITLE \"Caf\xE9\"" + tracks);
    WriteText("bom.cue", "\xEF\xBB\xBFTRACK 01 AUDIO\nTITLE \"Caf\xC3\xA9\"" + tracks);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Pattern);
        std::filesystem::remove_all(Dir.File("out"));
        std::filesystem::create_directory(Dir.File("out"));
        const TCommandResult r =
            Run("in.wav " + ShellQuote(std::string("out/") + c.Pattern) + " " + c.Arguments);
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        EXPECT_EQ(Files("out"), c.Names);
    }
}

TEST_F(CliSplit, PiecesCarryTheSourceTagsWithTheirTrack) {
    const char* kTags = "-metadata title=Whole -metadata artist=Someone -metadata album=Record "
                        "-metadata genre=Jazz";
    const struct {
        const char* Input;
        const char* Encoding;
        const char* Arguments;
        // Expected of piece 2.
        std::map<std::string, std::string> Tags;
        bool Id3v1 = false; // the source ends in an ID3v1 block, which the pieces' replace
    } cases[] = {
        {"in.mp3",
         "-c:a libmp3lame -b:a 128k -write_id3v1 1",
         "--cue in.cue",
         {{"track", "2/3"},
          {"title", "Second Song"},
          {"artist", "A Guest"},
          {"album", "Long Player"},
          {"genre", "Jazz"}},
         true},
        {"in.mp3",
         "-c:a libmp3lame -b:a 128k",
         "--every 1",
         {{"track", "2/3"}, {"title", "Whole"}, {"artist", "Someone"}, {"album", "Record"}}},
        // The writer's tag step takes a track number alone.
        {"in.mp3",
         "-c:a libmp3lame -b:a 128k",
         "--cue in.cue --reencode",
         {{"track", "2"},
          {"title", "Second Song"},
          {"artist", "A Guest"},
          {"album", "Long Player"}}},
        {"in.wma",
         "-c:a wmav2 -b:a 128k",
         "--cue in.cue",
         {{"wm/track", "2/3"},
          {"title", "Second Song"},
          {"artist", "A Guest"},
          {"album", "Long Player"}}},
    };
    WriteText("in.cue", kCue);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Input) + " " + c.Arguments);
        ASSERT_TRUE(MakeMediaFile(Dir.File(c.Input), TestSignal(44100, 2, 3.0),
                                  std::string(c.Encoding) + " " + kTags));
        std::filesystem::remove_all(Dir.File("out"));
        std::filesystem::create_directory(Dir.File("out"));
        const TCommandResult r = Run(std::string(c.Input) + " 'out/{n}' " + c.Arguments);
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        const std::string ext = std::filesystem::path(c.Input).extension().string();
        const auto tags = Tags(Dir.File("out/2" + ext));
        for (const auto& [name, value] : c.Tags) {
            const auto found = tags.find(name);
            ASSERT_NE(found, tags.end()) << name;
            EXPECT_EQ(found->second, value) << name;
        }
        if (c.Id3v1) {
            // ffprobe prefers the ID3v2 tag; the block is read as laid down: title at 3,
            // a zero byte and the track at 125 and 126.
            const std::vector<uint8_t> bytes = Dir.ReadBytes("out/2" + ext);
            ASSERT_GE(bytes.size(), 128u);
            const std::string block(bytes.end() - 128, bytes.end());
            EXPECT_EQ(block.substr(0, 3), "TAG");
            EXPECT_EQ(block.substr(3, 12), std::string("Second Song") + '\0');
            EXPECT_EQ(block[125], '\0');
            EXPECT_EQ(block[126], '\2');
        }
    }
}

TEST_F(CliSplit, RefusalsWriteNothing) {
    const struct {
        const char* Name;
        const char* Cue; // written as bad.cue when set
        const char* Arguments;
        int ExitCode;
        const char* Message;
    } cases[] = {
        {"no mode", nullptr, "", 2, "exactly one of"},
        {"two modes", nullptr, "--at 1 --every 1", 2, "exactly one of"},
        {"zero step", nullptr, "--every 0", 2, "above zero"},
        {"other type", nullptr, "--at 1 --force", 2, "input's type"},
        {"one name for all", nullptr, "--at 1", 2, "the same name"},
        {"unclosed quote", "TRACK 01 AUDIO\r\n  TITLE \"Open\r\n  INDEX 01 00:00:00\r\n",
         "--cue bad.cue", 1, "bad.cue: line 2: a quote is not closed"},
        {"bad time", "TRACK 01 AUDIO\nINDEX 01 00:00:75\n", "--cue bad.cue", 1,
         "line 2: '00:00:75' is not a time"},
        {"no INDEX 01", "TRACK 01 AUDIO\nINDEX 00 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:01:00\n",
         "--cue bad.cue", 1, "line 1: track 1 has no INDEX 01"},
        {"falling", "TRACK 01 AUDIO\nINDEX 01 00:02:00\nTRACK 02 AUDIO\nINDEX 01 00:01:00\n",
         "--cue bad.cue", 1, "line 4: INDEX 01 does not lie after"},
        {"two files", "FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nFILE b.wav WAVE\n",
         "--cue bad.cue", 1, "line 4: a second FILE"},
        {"past the end", "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:09:00\n",
         "--cue bad.cue", 1, "line 3: track 2 starts at or past the end"},
        {"no track", "REM nothing\n", "--cue bad.cue", 1, "holds no TRACK"},
    };
    ASSERT_TRUE(MakeMediaFile(Dir.File("in.wav"), TestSignal(44100, 2, 3.0), "-c:a pcm_s16le"));
    std::filesystem::create_directory(Dir.File("out"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        if (c.Cue) WriteText("bad.cue", c.Cue);
        const std::string pattern = std::string(c.Name) == "other type"         ? "out/{n}.mp3"
                                    : std::string(c.Name) == "one name for all" ? "out/x"
                                                                                : "out/{n}";
        const TCommandResult r = Run("in.wav " + pattern + " " + c.Arguments);
        EXPECT_EQ(r.ExitCode, c.ExitCode) << r.Output;
        EXPECT_NE(r.Output.find(c.Message), std::string::npos) << r.Output;
        EXPECT_TRUE(Files("out").empty());
    }
}

TEST_F(CliSplit, AnExistingPieceIsKeptUnlessForced) {
    ASSERT_TRUE(MakeMediaFile(Dir.File("in.wav"), TestSignal(44100, 2, 3.0), "-c:a pcm_s16le"));
    std::filesystem::create_directory(Dir.File("out"));
    WriteText("out/2.wav", "mine");
    TCommandResult r = Run("in.wav 'out/{n}' --at 1");
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Output.find("out/2.wav: the file exists"), std::string::npos) << r.Output;
    // Checked before anything is written: not even the first piece is there.
    EXPECT_EQ(Files("out"), std::set<std::string>{"2.wav"});
    EXPECT_EQ(std::filesystem::file_size(Dir.File("out/2.wav")), 4u);

    r = Run("in.wav 'out/{n}' --at 1 --force");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(Files("out"), (std::set<std::string>{"1.wav", "2.wav"}));
    EXPECT_EQ(FfmpegDecodeBytes(Dir.File("out/2.wav")).size(), size_t(2 * kRate * kFrameBytes));
}

} // namespace

namespace {

// Ctrl-C, a hang-up or kill once the second piece is under way: the split ends as
// interrupted, and neither the finished first piece nor any temporary file stays.
TEST_F(CliSplit, SignalsLeaveNoPieceBehind) {
    ASSERT_TRUE(
        MakeMediaFile(Dir.File("in.mp3"), TestSignal(44100, 2, 60), "-c:a libmp3lame -b:a 128k"));
    for (const char* signal : {"HUP", "INT", "TERM"}) {
        SCOPED_TRACE(signal);
        const std::string script =
            "cd " + ShellQuote(Dir.Path().string()) +
            "; " SUNDRAL_CLI_PATH " split -q --reencode in.mp3 '{n}' --every 20 2>err & pid=$!; "
            "until ls .2.partial-* >/dev/null 2>&1 || ! kill -0 $pid 2>/dev/null; "
            "do sleep 0.01; done; kill -" +
            std::string(signal) + " $pid; wait $pid; echo rc=$?";
        EXPECT_EQ(RunCommand(script).Output, "rc=1\n");
        const auto err = Dir.ReadBytes("err");
        EXPECT_NE(std::string(err.begin(), err.end()).find("interrupted; no piece was written"),
                  std::string::npos);
        std::set<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(Dir.Path()))
            left.insert(entry.path().filename().string());
        EXPECT_EQ(left, (std::set<std::string>{"err", "in.mp3"}));
    }
}

} // namespace
