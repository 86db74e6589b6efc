// sundral-cli on MP3 and WMA files, end to end through the real binary: lengths and alignment
// judged by ffmpeg's decode, tags and encoding parameters by ffprobe, silences by sox; and
// the silence detector under it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "FileBytes.h"
#include "MediaFiles.h"
#include "Mp3FileTools.h"
#include "RunCommand.h"
#include "ScratchDir.h"
#include "audio/AuSilence.h"

using namespace sundral;
using namespace sundral_test;

namespace {

class CliMedia : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::strlen(SUNDRAL_CLI_PATH) == 0) GTEST_SKIP() << "sundral-cli not built";
        for (const char* tool : {"ffmpeg", "ffprobe", "sox"})
            if (!ToolAvailable(tool)) GTEST_SKIP() << tool << " is missing";
    }
    TCommandResult Run(const std::string& Args, const std::string& Env = "") {
        return RunCommand(Env + " " + ShellQuote(SUNDRAL_CLI_PATH) + " " + Args + " 2>" +
                          ShellQuote(Dir.File("stderr").string()));
    }
    std::string Stderr() {
        auto b = ReadFileBytes(Dir.File("stderr"));
        return std::string(b.begin(), b.end());
    }
    std::string Make(const std::string& Name, uint32_t Rate, uint32_t Channels, double Seconds,
                     const std::string& Args) {
        const std::string path = Dir.File(Name).string();
        EXPECT_TRUE(MakeMediaFile(path, TestSignal(Rate, Channels, Seconds),
                                  "-ar " + std::to_string(Rate) + " -ac " +
                                      std::to_string(Channels) + " " + Args))
            << Args;
        return path;
    }
    nlohmann::json Info(const std::string& Path) {
        auto r = Run("info --json " + ShellQuote(Path));
        EXPECT_EQ(r.ExitCode, 0) << Stderr();
        return r.ExitCode == 0 ? nlohmann::json::parse(r.Output) : nlohmann::json::object();
    }
    int64_t DecodedFrames(const std::string& Path, uint32_t Channels) {
        return int64_t(FfmpegDecodeBytes(Path).size() / (2 * Channels));
    }
    std::string Q(const std::string& Name) { return ShellQuote(Dir.File(Name).string()); }
    ScratchDir Dir{"climedia"};
};

// Samples a WMA frame holds at a rate (what a WMA length may be off by).
int64_t WmaFrame(uint32_t Rate) {
    return Rate <= 16000 ? 512 : Rate <= 22050 ? 1024 : 2048;
}

// A cut's length (exact for MP3 and WAV, within a codec frame for WMA) as ffmpeg decodes it
// and as our reader tells it, its alignment with the source, and the encoding the writer takes
// from the input as the windows set it up: the MP3 bit rate, mono or stereo, VBR; the WMA
// format described like the input, or the fallback one (128 kbps, 44 kHz, stereo).
TEST_F(CliMedia, CutPerType) {
    struct TCase {
        const char* Name;
        uint32_t Rate, Channels;
        const char* Args;
        const char* Probe; // ffprobe's codec_name,sample_rate,channels,bit_rate ("" for VBR)
    } cases[] = {
        {"cbr.mp3", 44100, 2, "-c:a libmp3lame -b:a 192k", "mp3,44100,2,192000"},
        {"vbr.mp3", 22050, 1, "-c:a libmp3lame -q:a 4", "mp3,22050,1,"},
        {"mpeg25.mp3", 8000, 1, "-c:a libmp3lame -b:a 32k", "mp3,8000,1,32000"},
        {"v2.wma", 44100, 2, "-c:a wmav2 -b:a 128k", "wmav2,44100,2,128000"},
        {"v1.wma", 22050, 1, "-c:a wmav1 -b:a 48k", "wmav2,22050,1,48000"},
        {"nomatch.wma", 22050, 1, "-c:a wmav2 -b:a 56k", "wmav2,44100,2,128000"},
        {"pcm.wav", 48000, 2, "-c:a pcm_s16le", "pcm_s16le,48000,2,1536000"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string in = Make(c.Name, c.Rate, c.Channels, 6, c.Args);
        const std::string out = Dir.File(std::string("cut_") + c.Name).string();
        // The encoder's set-up is under test here: MP3 cuts re-encode (mp3lossless_test
        // covers the default frame copy).
        auto r = Run("cut --quiet --reencode " + ShellQuote(in) + " " + ShellQuote(out) +
                     " --from 1.5 --to 00:00:04.2");
        ASSERT_EQ(r.ExitCode, 0) << Stderr();
        EXPECT_EQ(Stderr(), "") << "nothing from the codec libraries reaches the terminal";
        auto f = FfprobeFields(out, "stream=codec_name,sample_rate,channels,bit_rate");
        const bool vbr = std::string(c.Probe).back() == ',';
        EXPECT_EQ(f["codec_name"] + "," + f["sample_rate"] + "," + f["channels"] + "," +
                      (vbr ? "" : f["bit_rate"]),
                  c.Probe);
        if (f["codec_name"] == "mp3") {
            EXPECT_EQ(ReadEncoderTag(ReadFileBytes(out)).Word, vbr ? "Xing" : "Info");
        }

        const uint32_t rate = std::stoul(f["sample_rate"]), channels = std::stoul(f["channels"]);
        const int64_t want = std::llround(2.7 * rate);
        const auto cut = Int16Samples(FfmpegDecodeBytes(out));
        const int64_t got = int64_t(cut.size() / channels);
        EXPECT_EQ(Info(out)["totalSamples"], got) << "our reader and ffmpeg agree";
        const bool wma = f["codec_name"] == "wmav2";
        EXPECT_LE(std::llabs(got - want), wma ? WmaFrame(rate) - 1 : 0) << got << " frames";
        if (rate != c.Rate) continue;
        // The cut's audio is the source's from 1.5 s on.
        const int64_t lag =
            BestLag(Int16Samples(FfmpegDecodeBytes(in)), cut, channels, std::llround(1.5 * rate),
                    rate / 2, wma ? 2 * WmaFrame(rate) : 600);
        EXPECT_LE(std::llabs(lag), 1) << "shifted by " << lag << " frames";
    }
}

// Join and mix: the first file's tags go to the output (non-Latin text in the ID3v2 tag and
// the ASF header, read back by ffprobe; the re-encoded MP3's ID3v1 block made from the same
// fields); a
// join holds both files, a mix the longer one (WMA within one codec frame).
TEST_F(CliMedia, JoinAndMixKeepTagsAndLengths) {
    const std::string tags =
        "-metadata title='Ünïcødé 日本語' -metadata artist='Zoë Ångström' -metadata album=Albüm "
        "-metadata genre=Jazz -metadata date=1999 -metadata track=7 ";
    for (const std::string ext : {".mp3", ".wma"}) {
        SCOPED_TRACE(ext);
        const bool mp3 = ext == ".mp3";
        const std::string codec = mp3 ? "-c:a libmp3lame -b:a 128k" : "-c:a wmav2 -b:a 128k";
        const std::string a = Make("a" + ext, 44100, 2, 2, tags + codec);
        const std::string b = Make("b" + ext, 44100, 2, 3, codec);
        const int64_t lengthA = Info(a)["totalSamples"], lengthB = Info(b)["totalSamples"];
        for (const std::string command : {"join", "mix"}) {
            const std::string out = Dir.File(command + ext).string();
            ASSERT_EQ(
                Run(command + " -q " + ShellQuote(a) + " " + ShellQuote(b) + " " + ShellQuote(out))
                    .ExitCode,
                0)
                << Stderr();
            const int64_t want = command == "join" ? lengthA + lengthB : std::max(lengthA, lengthB);
            EXPECT_LE(std::llabs(DecodedFrames(out, 2) - want), mp3 ? 0 : WmaFrame(44100) - 1)
                << command;
            // The ASF header names year and track by their own attribute names.
            auto f = FfprobeFields(out, "format_tags");
            EXPECT_EQ(f["title"], "Ünïcødé 日本語") << out;
            EXPECT_EQ(f["artist"], "Zoë Ångström");
            EXPECT_EQ(f["album"] + f["genre"], "AlbümJazz");
            EXPECT_EQ(f[mp3 ? "date" : "WM/Year"] + f[mp3 ? "track" : "WM/Track"], "19997");
        }
        if (mp3) {
            // The lossless join keeps the first file's tags as they are (it has no ID3v1);
            // the re-encoding writer makes the ID3v1 block.
            const std::string out = Dir.File("join.mp3").string();
            ASSERT_EQ(Run("join -q -f --reencode " + ShellQuote(a) + " " + ShellQuote(b) + " " +
                          ShellQuote(out))
                          .ExitCode,
                      0)
                << Stderr();
            const auto bytes = ReadFileBytes(out);
            ASSERT_GT(bytes.size(), 128u);
            const std::string v1(bytes.end() - 128, bytes.end());
            EXPECT_EQ(v1.substr(0, 3), "TAG");
            EXPECT_EQ(v1.substr(33, 12), "Zo\xEB \xC5ngstr\xF6m") << "artist in Latin-1";
            EXPECT_EQ(v1.substr(93, 4), "1999");
        }
    }
}

TEST_F(CliMedia, RefusalsSayWhy) {
    const std::string mp3 = Make("in.mp3", 44100, 2, 1, "-c:a libmp3lame");
    const std::string wma = Make("in.wma", 44100, 2, 1, "-c:a wmav2");
    const std::string slow = Make("slow.mp3", 22050, 2, 1, "-c:a libmp3lame");
    WriteFileBytes(Dir.File("junk.mp3"), std::vector<uint8_t>(4000, 'j'));
    WriteFileBytes(Dir.File("junk.wma"), std::vector<uint8_t>(4000, 'j'));
    struct TCase {
        std::string Args;
        int Exit;
        const char* Says;
    } cases[] = {
        {"cut " + ShellQuote(mp3) + " " + Q("x.wma"), 2, "input's type (MP3)"},
        {"join " + ShellQuote(mp3) + " " + ShellQuote(wma) + " " + Q("x.mp3"), 2, "same type"},
        {"mix " + ShellQuote(mp3) + " " + ShellQuote(slow) + " " + Q("x.mp3"), 1,
         "differ in sample rate"},
        {"info " + Q("junk.mp3"), 1, "junk.mp3"},
        {"cut " + Q("junk.wma") + " " + Q("x.wma"), 1, "junk.wma"},
        {"cut " + ShellQuote(wma) + " " + Q("no/such/dir/x.wma"), 1, "No such file or directory"},
        {"cut " + ShellQuote(mp3) + " " + Q("x.mp3") + " --from 2", 1, "past the end"},
        {"silences " + ShellQuote(mp3) + " --threshold 6", 2, "below full scale"},
        {"silences " + ShellQuote(mp3) + " --min-length -1", 2, "--min-length"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(Run(c.Args).ExitCode, c.Exit) << c.Args;
        EXPECT_NE(Stderr().find(c.Says), std::string::npos) << c.Args << ": " << Stderr();
    }
    for (auto& entry : std::filesystem::directory_iterator(Dir.Path()))
        EXPECT_EQ(entry.path().filename().string().rfind("x.", 0), std::string::npos)
            << "no output and no temporary file is left: " << entry.path();

    // The codec libraries' messages stay off the terminal unless asked for.
    ASSERT_EQ(Run("info " + ShellQuote(wma)).ExitCode, 0);
    EXPECT_EQ(Stderr(), "");
    ASSERT_EQ(Run("info " + ShellQuote(wma), "SUNDRAL_FFMPEG_LOG=debug").ExitCode, 0);
    EXPECT_NE(Stderr(), "");
}

// The detector's windows, minimum length and threshold, fed whole and in pieces that cross
// its windows: both give the same stretches. At 1000 Hz a 10 ms window is 10 frames.
TEST(SilenceDetector, WindowsLengthsAndThreshold) {
    struct TPart {
        int Frames;
        float Level; // a square wave of this amplitude; 0 is silence
    };
    struct TCase {
        const char* Name;
        uint32_t Channels;
        std::vector<TPart> Parts;
        double ThresholdDb, MinLength;
        std::vector<TSilentStretch> Want;
    } cases[] = {
        {"middle", 1, {{100, 0.5f}, {50, 0}, {100, 0.5f}}, -50, 0.05, {{100, 150}}},
        {"short of the minimum on the grid", 1, {{100, 0.5f}, {49, 0}, {101, 0.5f}}, -50, 0.05, {}},
        {"at both ends, short last window",
         1,
         {{60, 0}, {100, 0.5f}, {35, 0}},
         -50,
         0.03,
         {{0, 60}, {160, 195}}},
        {"just below the threshold", 1, {{100, 0.01f}}, -39.9, 0, {{0, 100}}},
        {"just above the threshold", 1, {{100, 0.01f}}, -40.1, 0, {}},
        {"one loud channel", 2, {{40, 0}, {100, 0.5f}}, -50, 0.01, {{0, 40}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<float> samples;
        for (const TPart& part : c.Parts)
            for (int f = 0; f < part.Frames; ++f)
                for (uint32_t ch = 0; ch < c.Channels; ++ch) {
                    // In the "one loud channel" case only the first channel sounds.
                    const float level = ch == 0 || part.Level == 0 ? part.Level : 0;
                    samples.push_back(f % 2 ? level : -level);
                }
        TSilenceOptions options{c.ThresholdDb, c.MinLength, 0.01};
        TSilenceDetector whole(1000, c.Channels, options);
        whole.Feed(samples.data(), samples.size() / c.Channels);
        EXPECT_EQ(whole.Finish(), c.Want);
        TSilenceDetector pieces(1000, c.Channels, options);
        for (size_t f = 0; f < samples.size() / c.Channels; f += 7)
            pieces.Feed(samples.data() + f * c.Channels,
                        std::min<size_t>(7, samples.size() / c.Channels - f));
        EXPECT_EQ(pieces.Finish(), c.Want);
    }
    EXPECT_THROW(TSilenceDetector(1000, 1, {1.0, 0.5, 0.02}), EAuException);
    EXPECT_THROW(TSilenceDetector(1000, 0, {}), EAuException);
}

// Against sox's silence effect on the same file: split at every silence of at least the
// minimum length, sox's pieces hold the audio between the stretches we list. Each piece's
// length matches the run between our stretches within 50 ms: sox decides on a sliding
// 20 ms window and ends a piece once it has seen 20 ms of silence; we decide on fixed 20 ms
// windows.
TEST_F(CliMedia, SilencesAgreeWithSox) {
    // Tone with silences of 1.5 s, 0.3 s (too short to count) and 2.0 s.
    const std::string in = Dir.File("gaps.wav").string();
    ASSERT_TRUE(MakeMediaFile(in,
                              "aevalsrc=0.5*sin(2*PI*440*t)*(lt(t\\,1)+between(t\\,2.5\\,3.5)+"
                              "between(t\\,3.8\\,4.3)+gte(t\\,6.3)):s=44100:d=7",
                              "-ac 2 -c:a pcm_s16le"));
    auto r = Run("silences --json --threshold -40 --min-length 0.5 " + ShellQuote(in));
    ASSERT_EQ(r.ExitCode, 0) << Stderr();
    std::vector<double> ours; // lengths of the sounding runs between our stretches
    double at = 0;
    const nlohmann::json listed = nlohmann::json::parse(r.Output);
    for (const auto& s : listed["silences"]) {
        ours.push_back(s["fromSeconds"].get<double>() - at);
        at = s["toSeconds"];
    }
    ours.push_back(7 - at);
    EXPECT_EQ(ours.size(), 3u);

    // sox numbers its pieces p001.wav, p002.wav, ...; the last one may be empty.
    const std::string pieces = ShellQuote(Dir.File("pieces").string());
    const auto soxRuns =
        RunCommand("mkdir " + pieces + " && cd " + pieces + " && sox -q " + ShellQuote(in) +
                   " p.wav silence 1 0.02 -40d 1 0.5 -40d : newfile : restart"
                   " && soxi -D p*.wav");
    std::istringstream lines(soxRuns.Output);
    std::vector<double> sox;
    for (double seconds; lines >> seconds;)
        if (seconds > 0) sox.push_back(seconds);
    ASSERT_EQ(sox.size(), ours.size());
    for (size_t i = 0; i < sox.size(); ++i)
        EXPECT_NEAR(ours[i], sox[i], 0.05) << "sounding run " << i;

    // The text lists the same stretches, rounded inwards to tenths.
    r = Run("silences --threshold -40 " + ShellQuote(in));
    EXPECT_EQ(r.Output, "00:00:01.0-00:00:02.5\n00:00:04.3-00:00:06.3\n");
}

} // namespace
