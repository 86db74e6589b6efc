// Joins of MP3 stretches without re-encoding (SpliceMp3, and segment-cut and join through the
// real sundral-cli), judged by ffmpeg's decode: the length is exact; away from the frames
// around each junction the samples equal ffmpeg's decode of the sources over the stretches
// (each later stretch's window moved by the shift the result reports, at most half a frame);
// near the junctions they stay close (a signal-to-noise floor per kind of stream). Pairs
// that cannot be joined this way are re-encoded with a note; broken streams fail with a
// message.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>

#include "FileBytes.h"
#include "MediaFiles.h"
#include "Mp3CliSuite.h"
#include "RunCommand.h"
#include "ScratchDir.h"
#include "formats/Mp3Splice.h"

using namespace sundral;
using namespace sundral::mp3lossless;
using namespace sundral_test;

namespace {

// The kinds of streams a splice meets; made once for the suite. The last field is the SNR
// floor within 5 MPEG-1 frames of each junction (measured: 27, 33, 27, 25, 23 dB).
const std::vector<TMp3Fixture> kFixtures = {
    {"cbr128_joint.mp3", 44100, 2, "-c:a libmp3lame -b:a 128k", 22},
    {"cbr320_stereo.mp3", 44100, 2, "-c:a libmp3lame -b:a 320k -joint_stereo 0", 28},
    {"vbr_xing.mp3", 44100, 2, "-c:a libmp3lame -q:a 4", 22},
    {"mpeg2_mono.mp3", 22050, 1, "-c:a libmp3lame -b:a 32k", 18},
    {"mpeg1_32k_deep.mp3", 48000, 2, "-c:a libmp3lame -b:a 32k", 18},
};

class Mp3Splice : public TMp3CliSuite {
protected:
    static void SetUpTestSuite() { MakeFixtures("mp3splice", kFixtures, 4.0); }
    void SetUp() override { SkipUnlessReady(SUNDRAL_CLI_PATH); }
};

// Args with its word OUT replaced by the quoted Out.
std::string WithOut(std::string Args, const std::filesystem::path& Out) {
    const size_t at = Args.find(" OUT");
    return Args.replace(at + 1, 3, ShellQuote(Out.string()));
}

TEST_F(Mp3Splice, JunctionsAreExactInLengthAndCloseInSound) {
    for (const auto& f : kFixtures) {
        SCOPED_TRACE(f.Name);
        const auto source = Dir->File(f.Name);
        ASSERT_TRUE(std::filesystem::exists(source));
        const std::vector<int16_t> reference = Int16Samples(FfmpegDecodeBytes(source));
        const int64_t ch = f.Channels, total = int64_t(reference.size()) / ch;
        // From inside the first frames, two junctions at odd samples, up to the very end.
        const std::vector<TMp3Stretch> stretches = {{source.string(), 333, total / 4 + 17},
                                                    {source.string(), total / 2 + 1, total * 3 / 4},
                                                    {source.string(), total * 3 / 4 + 999, -1}};
        const auto out = Dir->File("out.mp3");
        const TCutResult r = SpliceMp3(stretches, out.string());
        ASSERT_EQ(r.Status, TCutStatus::csDone) << r.Message;
        ASSERT_EQ(r.Shifts.size(), stretches.size());

        // What the stretches hold, each window moved by its shift; past the end of the
        // source lies the encoder's padding, which ffmpeg's decode of the source leaves out.
        std::vector<int16_t> expected;
        std::vector<int64_t> junctions;
        const uint32_t spf = f.Rate >= 32000 ? 1152 : 576;
        for (size_t k = 0; k < stretches.size(); ++k) {
            EXPECT_LE(std::abs(r.Shifts[k]), int64_t(spf / 2));
            const int64_t end = stretches[k].End < 0 ? total : stretches[k].End;
            for (int64_t i = stretches[k].Start; i < end; ++i)
                for (int64_t c = 0; c < ch; ++c) {
                    const int64_t at = i + r.Shifts[k];
                    expected.push_back(at < total ? reference[size_t(at * ch + c)] : 0);
                }
            junctions.push_back(int64_t(expected.size()) / ch);
        }
        const int64_t pastEnd = junctions.back() - std::max<int64_t>(r.Shifts.back(), 0);
        const std::vector<int16_t> got = Int16Samples(FfmpegDecodeBytes(out));
        ASSERT_EQ(got.size(), expected.size());
        EXPECT_EQ(r.Samples, int64_t(got.size()) / ch);

        // Near a junction (and the first frames): the encoded frames and the one after.
        const int64_t reach = 5 * 1152;
        auto nearJunction = [&](int64_t Sample) {
            if (Sample < reach || Sample >= pastEnd) return true;
            for (size_t k = 0; k + 1 < junctions.size(); ++k)
                if (std::abs(Sample - junctions[k]) < reach) return true;
            return false;
        };
        size_t differFar = 0, firstFar = 0;
        double signal = 0, noise = 0;
        for (size_t i = 0; i < got.size(); ++i) {
            const int64_t sample = int64_t(i) / ch;
            const double d = double(got[i]) - expected[i];
            if (!nearJunction(sample)) {
                if (d != 0 && differFar++ == 0) firstFar = size_t(sample);
            } else if (sample >= reach && sample < pastEnd) {
                signal += double(expected[i]) * expected[i];
                noise += d * d;
            }
        }
        EXPECT_EQ(differFar, 0u) << "first at sample " << firstFar;
        const double snr = 10 * std::log10(signal / std::max(noise, 1.0));
        std::printf("%s: SNR near the junctions %.1f dB, %lld frames encoded\n", f.Name, snr,
                    static_cast<long long>(r.EncodedFrames));
        EXPECT_GE(snr, f.MinSnrDb);
    }
}

TEST_F(Mp3Splice, CommandLineJoinsAndSegmentCutsKeepTheLength) {
    const auto a = Dir->File("cbr128_joint.mp3"), b = Dir->File("vbr_xing.mp3");
    const int64_t total = int64_t(Int16Samples(FfmpegDecodeBytes(a)).size()) / 2;
    const int64_t totalB = int64_t(Int16Samples(FfmpegDecodeBytes(b)).size()) / 2;
    struct TCase {
        std::string Args;
        int64_t Samples;
    } cases[] = {
        {"join " + Q(a) + " " + Q(b) + " OUT", total + totalB},
        {"segment-cut " + Q(a) + " OUT --exact --remove 0.5-1.25 --remove 2.01-2.5",
         total - (55125 - 22050) - (110250 - 88641)},
        {"segment-cut " + Q(a) + " OUT --exact --remove 0-0.3 --remove 3-4", 132300 - 13230},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args);
        const auto out = Dir->File("cli_out.mp3");
        const std::string args = WithOut(c.Args, out);
        ASSERT_EQ(Cli(args + " -q -f").ExitCode, 0) << Stderr();
        EXPECT_EQ(Stderr(), "") << "a lossless join makes no note";
        EXPECT_EQ(int64_t(FfmpegDecodeBytes(out).size()) / 4, c.Samples);
        // The re-encoding path stays there on request.
        ASSERT_EQ(Cli(args + " --reencode -q -f").ExitCode, 0) << Stderr();
        EXPECT_NEAR(double(FfmpegDecodeBytes(out).size()) / 4, double(c.Samples), 4410.0);
    }
}

TEST_F(Mp3Splice, UnsuitablePairsAreReencodedAndBrokenStreamsFail) {
    const auto a = Dir->File("cbr128_joint.mp3");
    const auto b48 = Dir->File("b48.mp3"), mp2 = Dir->File("layer2.mp3");
    ASSERT_TRUE(MakeMediaFile(b48, TestSignal(48000, 2, 1.0), "-ar 48000 -c:a libmp3lame"));
    ASSERT_TRUE(MakeMediaFile(mp2, TestSignal(44100, 2, 1.0), "-c:a mp2 -b:a 192k -f mp2"));
    // Garbage; a stream whose middle is overwritten with noise.
    std::vector<uint8_t> garbage(20000);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 7919 >> 3);
    const auto junk = Dir->WriteBytes("junk.mp3", garbage);
    std::vector<uint8_t> damaged = ReadFileBytes(a);
    for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 3000; ++i)
        damaged[i] = uint8_t(i * 2654435761u >> 13);
    const auto hurt = Dir->WriteBytes("damaged.mp3", damaged);
    struct TCase {
        std::string Args;
        int Exit;
        const char* Note; // on standard error
    } cases[] = {
        {"join " + Q(a) + " " + Q(b48) + " OUT", 1, "another sample rate"},
        {"join " + Q(mp2) + " " + Q(mp2) + " OUT", 0, "layer I and II streams are not copied"},
        {"join " + Q(junk) + " " + Q(a) + " OUT", 1, "junk.mp3"},
        {"segment-cut " + Q(junk) + " OUT --exact --remove 1-1.5", 1, "junk.mp3"},
        {"segment-cut " + Q(hurt) + " OUT --exact --remove 1.9-2.1", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args);
        const auto out = Dir->File("unsuitable_out.mp3");
        std::filesystem::remove(out);
        EXPECT_EQ(Cli(WithOut(c.Args, out) + " -q -f").ExitCode, c.Exit) << Stderr();
        EXPECT_NE(Stderr().find(c.Note), std::string::npos) << Stderr();
        EXPECT_EQ(std::filesystem::exists(out), c.Exit == 0);
    }
}

TEST_F(Mp3Splice, StoppedSpliceLeavesNoFile) {
    const auto a = Dir->File("cbr128_joint.mp3");
    const auto out = Dir->File("stopped.mp3");
    const std::atomic<bool> stop{true};
    TSpliceControl control;
    control.Stop = &stop;
    const TCutResult r =
        SpliceMp3({{a.string(), 1000, 50000}, {a.string(), 90000, -1}}, out.string(), control);
    EXPECT_EQ(r.Status, TCutStatus::csFailed);
    EXPECT_EQ(r.Message, "Stopped");
    EXPECT_FALSE(std::filesystem::exists(out));
}

} // namespace
