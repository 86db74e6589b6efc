// MP3 re-encodes through the real sundral-cli (cut and segment-cut with --reencode, which set
// up their writer as the windows do), judged by ffprobe and ffmpeg's decode: the output's
// bit rate stays within 5 % of the source's, a VBR or ABR source's too (its re-encode aims
// at the source's average instead of a fixed quality); a constant-rate source keeps its rate
// exactly; the length is exact.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "FileBytes.h"
#include "MediaFiles.h"
#include "Mp3CliSuite.h"
#include "Mp3FileTools.h"
#include "RunCommand.h"

using namespace sundral_test;

namespace {

constexpr double kSeconds = 60;

// Variable rates across the encoder's range, mono at an MPEG-2 rate, an average-rate source
// and constant-rate ones (named "cbr...") at MPEG-1, -2 and -2.5 rates.
const std::vector<TMp3Fixture> kFixtures = {
    {"vbr_q2.mp3", 44100, 2, "-c:a libmp3lame -q:a 2"},
    {"vbr_q6.mp3", 44100, 2, "-c:a libmp3lame -q:a 6"},
    {"vbr_mono.mp3", 22050, 1, "-c:a libmp3lame -q:a 4"},
    {"abr_112.mp3", 44100, 2, "-c:a libmp3lame -abr 1 -b:a 112k"},
    {"cbr_160.mp3", 44100, 2, "-c:a libmp3lame -b:a 160k"},
    {"cbr_mono_22k.mp3", 22050, 1, "-c:a libmp3lame -b:a 48k"},
    {"cbr_8k.mp3", 8000, 1, "-c:a libmp3lame -b:a 32k"},
};

class Mp3Reencode : public TMp3CliSuite {
protected:
    static void SetUpTestSuite() { MakeFixtures("mp3reencode", kFixtures, kSeconds); }
    void SetUp() override {
        SkipUnlessReady(SUNDRAL_CLI_PATH);
        if (!ToolAvailable("ffprobe")) GTEST_SKIP() << "ffprobe is missing";
    }
    static double FormatBitRate(const std::filesystem::path& File) {
        const std::string text = FfprobeFields(File, "format=bit_rate")["bit_rate"];
        return text.empty() ? 0 : std::stod(text);
    }
};

TEST_F(Mp3Reencode, OutputKeepsTheSourcesBitRate) {
    const struct {
        const char* Name;
        const char* Args; // IN and OUT are put in front
        double KeptSeconds;
    } runs[] = {
        {"cut", "cut --reencode --from 3 --to 50", 47},
        {"segment-cut", "segment-cut --reencode --exact --remove 10-15 --remove 30-33.5", 51.5},
    };
    for (const TMp3Fixture& f : kFixtures) {
        const auto in = Dir->File(f.Name);
        const double source = FormatBitRate(in);
        ASSERT_GT(source, 0) << f.Name;
        const bool constant = std::string(f.Name).rfind("cbr", 0) == 0;
        for (const auto& run : runs) {
            SCOPED_TRACE(std::string(f.Name) + " " + run.Name);
            const auto out = Dir->File(std::string(run.Name) + "_" + f.Name);
            const std::string verb = run.Args;
            const size_t space = verb.find(' ');
            const auto r =
                Cli(verb.substr(0, space) + " -q -f " + Q(in) + " " + Q(out) + verb.substr(space));
            ASSERT_EQ(r.ExitCode, 0) << Stderr();
            const double written = FormatBitRate(out);
            EXPECT_LE(std::abs(written - source) / source, 0.05)
                << written << " bit/s against the source's " << source;
            EXPECT_EQ(ReadEncoderTag(ReadFileBytes(out)).Word, constant ? "Info" : "Xing");
            if (constant) {
                EXPECT_EQ(FfprobeFields(out, "stream=bit_rate")["bit_rate"],
                          FfprobeFields(in, "stream=bit_rate")["bit_rate"]);
            }
            const int64_t frames = int64_t(FfmpegDecodeBytes(out).size() / (2 * f.Channels));
            EXPECT_EQ(frames, std::llround(run.KeptSeconds * f.Rate));
        }
    }
}

} // namespace

// A long constant-rate stream without the reservoir is encoded in chunks on several cores.
// Against one encoder's stream of the same run: the seams decode without a fault, the length
// is the same, and the stream is as close to the source as one encoder's. (The two streams
// are not equal: frames of a chunk are coded from the encoder's own history.)
TEST_F(Mp3Reencode, ChunkedEncodingSoundsAsOneEncoder) {
    const auto run = [&](const std::filesystem::path& In, const std::filesystem::path& Out,
                         const char* Encoders) {
        setenv("SUNDRAL_MP3_ENCODERS", Encoders, 1);
        const int status = Cli("segment-cut -q -f --reencode --exact " + Q(In) + " " + Q(Out) +
                               " --remove 10-15 --remove 30-33.5")
                               .ExitCode;
        unsetenv("SUNDRAL_MP3_ENCODERS");
        return status;
    };
    for (const TMp3Fixture& f : kFixtures) {
        if (std::string(f.Name).rfind("cbr", 0) != 0) continue;
        SCOPED_TRACE(f.Name);
        const auto in = Dir->File(f.Name);
        const auto one = Dir->File(std::string("one_") + f.Name);
        const auto chunked = Dir->File(std::string("chunked_") + f.Name);
        ASSERT_EQ(run(in, one, "1"), 0) << Stderr();
        ASSERT_EQ(run(in, chunked, "2"), 0) << Stderr();
        EXPECT_EQ(
            RunCommand("ffmpeg -nostdin -v error -i " + Q(chunked) + " -f null - 2>&1").Output, "");
        // The source's decode without the two stretches (the later goes first, so that the
        // earlier still stands at its own time).
        std::vector<int16_t> kept = Int16Samples(FfmpegDecodeBytes(in));
        const auto at = [&](double Seconds) {
            return kept.begin() + std::ptrdiff_t(std::llround(Seconds * f.Rate) * f.Channels);
        };
        kept.erase(at(30), at(33.5));
        kept.erase(at(10), at(15));
        const auto snr = [&](const std::filesystem::path& File) {
            const std::vector<int16_t> decoded = Int16Samples(FfmpegDecodeBytes(File));
            EXPECT_EQ(decoded.size(), kept.size()) << File;
            double signal = 0, error = 0;
            for (size_t i = 0; i < std::min(decoded.size(), kept.size()); ++i) {
                signal += double(kept[i]) * kept[i];
                error += (double(decoded[i]) - kept[i]) * (double(decoded[i]) - kept[i]);
            }
            return 10 * std::log10(signal / std::max(error, 1.0));
        };
        const double byOne = snr(one), byChunks = snr(chunked);
        EXPECT_GE(byChunks, byOne - 0.1) << byChunks << " dB against one encoder's " << byOne;
    }
}
