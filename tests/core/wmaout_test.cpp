// The WMA writer through its component: codec and format lists, the explicit and searched
// set-ups, header attributes and the written audio, all judged by ffprobe and ffmpeg's own
// decoder; and every failure the run can end with.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <regex>
#include <sys/resource.h>

#include "PcmPatternSource.h"
#include "RunCommand.h"
#include "RunSink.h"
#include "ScratchDir.h"
#include "WaveTools.h"
#include "formats/AuWinMediaOut.h"
#include "platform/TextConv.h"
#include "platform/wmfSinks.h"
#include "platform/wmfTypes.h"

using namespace sundral;
using namespace sundral_test;

namespace {

class WmaOut : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ToolAvailable("ffprobe") || !ToolAvailable("ffmpeg"))
            GTEST_SKIP() << "ffmpeg or ffprobe is not installed";
    }

    // Runs the writer on Source into out.wma; returns the run's message (empty: success).
    std::string Write(TWMAOut& Writer, TPcmPatternSource& Source) {
        Writer.SetFileName(File().string());
        return RunToDone(Writer, Source);
    }
    std::filesystem::path File() const { return Folder.File("out.wma"); }
    std::map<std::string, std::string> Stream() const {
        return FfprobeEntries(File().string(), "stream=codec_name,sample_rate,channels,bit_rate");
    }

    ScratchDir Folder{"wmaout"};
};

// Normalised correlation of the first channel of Decoded (interleaved, Channels wide) with
// the source's first channel, the decoded sample i taken against source sample i + Lag.
double Correlation(const TPcmPatternSource& Source, int64_t Frames,
                   const std::vector<int16_t>& Decoded, int Channels, int Lag) {
    double sum = 0, a2 = 0, b2 = 0;
    const int64_t decodedFrames = int64_t(Decoded.size()) / Channels;
    for (int64_t i = std::max(0, -Lag); i < decodedFrames && i + Lag < Frames; ++i) {
        const double a = Source.Sample16(i + Lag, 0), b = Decoded[size_t(i * Channels)];
        sum += a * b;
        a2 += a * a;
        b2 += b * b;
    }
    return sum / std::sqrt(a2 * b2 + 1e-9);
}

} // namespace

TEST_F(WmaOut, ListsTwoCodecsWithTheSameFixedFormats) {
    TWMAOut w(nullptr);
    ASSERT_EQ(w.Codecs().size(), 2u);
    const std::vector<std::string> v2 = w.Formats(0);
    EXPECT_EQ(v2, w.Formats(1));
    ASSERT_EQ(w.FormatsCount(0), 106);
    EXPECT_EQ(v2[29], "128 kbps, 44 kHz, stereo CBR");
    EXPECT_EQ(v2.front(), "24 kbps, 48 kHz, stereo CBR");
    EXPECT_EQ(v2.back(), "32 kbps,  8 kHz, mono CBR");
    const std::regex cbr(R"(\d+ kbps, [ \d]\d kHz, (stereo|mono) CBR)");
    for (const std::string& d : v2) EXPECT_TRUE(std::regex_match(d, cbr)) << d;
    EXPECT_TRUE(w.Formats(2).empty());
    EXPECT_EQ(w.FormatsCount(-1), 0);

    w.SetVBR(true);
    const std::vector<std::string> vbr = w.Formats(0);
    ASSERT_EQ(vbr.size(), 84u);
    EXPECT_EQ(vbr[2], "Quality 50, 48 kHz, stereo VBR");
    w.SetVBR(false);
    w.SetLossless(true); // lists the quality-based formats too: none of them is lossless
    EXPECT_EQ(w.Formats(0), vbr);
}

// Every listed format, quality-based ones included, really encodes: one frame at the
// format's own rate and channels through both codecs.
TEST_F(WmaOut, EveryListedFormatEncodes) {
    TWMAOut w(nullptr);
    for (const bool vbr : {false, true}) {
        w.SetVBR(vbr);
        for (int32_t codec = 0; codec < 2; ++codec) {
            const std::vector<std::string> formats = w.Formats(codec);
            for (int32_t f = 0; f < int32_t(formats.size()); ++f) {
                std::smatch m;
                const std::string& d = formats[size_t(f)];
                ASSERT_TRUE(std::regex_search(d, m, std::regex(R"((\d+) kHz, (\w+))")));
                const uint32_t khz = uint32_t(std::stoi(m[1]));
                const uint32_t rate = khz == 44   ? 44100
                                      : khz == 22 ? 22050
                                      : khz == 11 ? 11025
                                                  : khz * 1000;
                TPcmPatternSource src(rate, m[2] == "stereo" ? 2 : 1, 16, 2048);
                w.SetCodecIndex(codec);
                w.SetFormatIndex(f);
                EXPECT_EQ(Write(w, src), "") << codec << ": " << d;
            }
        }
    }
}

struct TSearchCase {
    const char* Name;
    uint32_t Rate;
    uint16_t Channels, Bits;
    int32_t Codec, Format; // Codec -1: searched
    uint32_t Desired;
    bool Vbr, Lossless;
    uint8_t Quality;
    // What the file must hold (codec empty: the run fails with Message).
    const char* CodecName;
    const char* StreamRate;
    const char* StreamChannels;
    const char* Bitrate;
    const char* Message;
};

class WmaOutSetup : public WmaOut, public ::testing::WithParamInterface<TSearchCase> {};

TEST_P(WmaOutSetup, ChoosesTheStreamFormat) {
    const TSearchCase c = GetParam();
    TPcmPatternSource src(c.Rate, c.Channels, c.Bits, c.Rate / 4);
    TWMAOut w(nullptr);
    w.SetCodecIndex(c.Codec);
    w.SetFormatIndex(c.Format);
    w.SetDesiredBitrate(c.Desired);
    w.SetVBR(c.Vbr);
    w.SetLossless(c.Lossless);
    w.SetVBRQuality(c.Quality);
    const std::string message = Write(w, src);
    if (c.CodecName == nullptr) {
        EXPECT_EQ(message, c.Message);
        return;
    }
    ASSERT_EQ(message, "");
    const auto s = Stream();
    EXPECT_EQ(s.at("codec_name"), c.CodecName);
    EXPECT_EQ(s.at("sample_rate"), c.StreamRate);
    EXPECT_EQ(s.at("channels"), c.StreamChannels);
    // The stream's rate is the coded bytes per second: the format's rate to within a byte.
    EXPECT_NEAR(std::stod(s.at("bit_rate")), std::stod(c.Bitrate), 8.0);
}

constexpr const char* kBeginFailed =
    "Filed to set data writer, possible reason: required WMA codec not installed.";

INSTANTIATE_TEST_SUITE_P(
    Cases, WmaOutSetup,
    ::testing::Values(TSearchCase{"Kbps", 44100, 2, 16, -1, 0, 128, false, false, 0, "wmav2",
                                  "44100", "2", "128000", nullptr},
                      TSearchCase{"BitsPerSecond", 44100, 2, 16, -1, 0, 128000, false, false, 0,
                                  "wmav2", "44100", "2", "128000", nullptr},
                      TSearchCase{"NearestBitrateMono", 48000, 1, 16, -1, 0, 70000, false, false, 0,
                                  "wmav2", "48000", "1", "64000", nullptr},
                      TSearchCase{"Input24Bit", 22050, 2, 24, -1, 0, 64, false, false, 0, "wmav2",
                                  "22050", "2", "64000", nullptr},
                      TSearchCase{"VbrTakesQualityNotBitrate", 44100, 2, 16, -1, 0, 320, true,
                                  false, 50, "wmav2", "44100", "2", "88000", nullptr},
                      TSearchCase{"LosslessFails", 44100, 2, 16, -1, 0, 128, false, true, 0,
                                  nullptr, "", "", "", "Failed to init codec"},
                      TSearchCase{"LosslessWinsOverVbr", 44100, 2, 16, -1, 0, 0, true, true, 50,
                                  nullptr, "", "", "", "Failed to init codec"},
                      TSearchCase{"ExplicitConvertsTheInput", 22050, 1, 8, 0, 29, 0, false, false,
                                  0, "wmav2", "44100", "2", "128000", nullptr},
                      TSearchCase{"ExplicitVersion1", 44100, 2, 16, 1, 29, 0, false, false, 0,
                                  "wmav1", "44100", "2", "128000", nullptr},
                      TSearchCase{"FormatOutOfRange", 44100, 2, 16, 0, 106, 0, false, false, 0,
                                  nullptr, "", "", "", kBeginFailed},
                      TSearchCase{"CodecOutOfRange", 44100, 2, 16, 2, 0, 0, false, false, 0,
                                  nullptr, "", "", "", kBeginFailed}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(WmaOut, WritesTheTagsAsHeaderAttributes) {
    TPcmPatternSource src(44100, 2, 16, 4410);
    TWMAOut w(nullptr);
    TId3v2Tags& t = w.Id3v2Tags();
    t.SetArtist(u"Ærøskøbing 東京");
    t.SetTitle(u"Zoë €");
    t.SetAlbum(u"Альбом");
    t.SetYear("2009");
    t.SetTrack("3");
    t.SetComment(u"(c) Ünïcode");
    t.SetComposer(u"not an attribute");
    w.SetDesiredBitrate(64);
    ASSERT_EQ(Write(w, src), "");
    const auto tags = FfprobeEntries(File().string(), "format_tags");
    EXPECT_EQ(tags.at("artist"), "Ærøskøbing 東京");
    EXPECT_EQ(tags.at("title"), "Zoë €");
    EXPECT_EQ(tags.at("album"), "Альбом");
    EXPECT_EQ(tags.at("WM/Year"), "2009");
    EXPECT_EQ(tags.at("WM/Track"), "3");
    EXPECT_EQ(tags.at("copyright"), "(c) Ünïcode");
    EXPECT_EQ(tags.count("genre"), 0u); // an empty text sets nothing
    EXPECT_EQ(tags.count("composer"), 0u);
}

struct TRoundTrip {
    const char* Name;
    uint32_t Rate;
    uint16_t Channels;
    int32_t Codec, Format;
    int64_t Frames;
    int FrameSize; // the codec's frame at this rate
};

class WmaOutRoundTrip : public WmaOut, public ::testing::WithParamInterface<TRoundTrip> {};

// ffmpeg's decode of the file is the input, followed by less than one frame of silence:
// same length to within a codec frame, and in step with the input.
TEST_P(WmaOutRoundTrip, DecodesToTheInputInStep) {
    const TRoundTrip c = GetParam();
    TPcmPatternSource src(c.Rate, c.Channels, 16, c.Frames);
    TWMAOut w(nullptr);
    w.SetCodecIndex(c.Codec);
    w.SetFormatIndex(c.Format);
    ASSERT_EQ(Write(w, src), "");
    const std::vector<int16_t> decoded = FfmpegDecodeS16(File());
    const int64_t frames = int64_t(decoded.size()) / c.Channels;
    EXPECT_GE(frames, c.Frames);
    EXPECT_LT(frames, c.Frames + c.FrameSize);
    const double inStep = Correlation(src, c.Frames, decoded, c.Channels, 0);
    EXPECT_GT(inStep, 0.98);
    for (int lag : {-c.FrameSize, -1, 1, c.FrameSize})
        EXPECT_LT(Correlation(src, c.Frames, decoded, c.Channels, lag), inStep) << lag;
}

INSTANTIATE_TEST_SUITE_P(Cases, WmaOutRoundTrip,
                         ::testing::Values(TRoundTrip{"V2Stereo44k", 44100, 2, 0, 29, 44100, 2048},
                                           TRoundTrip{"V1Stereo44k", 44100, 2, 1, 29, 30001, 2048},
                                           TRoundTrip{"V2Mono22k", 22050, 1, 0, 74, 22051, 1024},
                                           TRoundTrip{"V2Mono8k", 8000, 1, 0, 105, 7999, 512}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// Each step reads 80 ms and stamps its sample with the time at its end; a step that read
// nothing writes nothing.
TEST_F(WmaOut, StampsEachSampleWithItsEnd) {
    struct TCase {
        uint32_t Rate;
        uint16_t Channels, Bits;
        int64_t Frames;
        uint32_t Buffer;
        uint64_t Time;
    };
    const TCase cases[] = {
        {44100, 2, 16, 3 * 3528, 14112, 2400000},
        {44100, 2, 16, 3528 + 441, 14112, 900000},
        {22050, 1, 24, 1764, 5292, 800000},
        {44100, 2, 16, 0, 14112, 0},
    };
    for (const TCase& c : cases) {
        TPcmPatternSource src(c.Rate, c.Channels, c.Bits, c.Frames);
        TWMAOut w(nullptr);
        w.SetDesiredBitrate(64);
        ASSERT_EQ(Write(w, src), "");
        EXPECT_EQ(w.BufferSize(), c.Buffer);
        EXPECT_EQ(w.SampleTime(), c.Time) << c.Frames;
        EXPECT_EQ(Stream().count("codec_name"), 1u); // an empty input makes a valid file too
    }
}

bool NoRuntime() {
    return false;
}

TEST_F(WmaOut, FailuresEndTheRunWithTheirMessage) {
    struct TCase {
        const char* Name;
        std::string File;
        bool RuntimeMissing;
        const char* Message;
    };
    const TCase cases[] = {
        {"no file name", "", false, "File name is not assigned."},
        {"unwritable path", Folder.File("missing/x.wma").string(), false, "Cannot create file"},
        {"no runtime", Folder.File("x.wma").string(), true, "Cannot create file"},
        {"device", "/dev/null", false, "Cannot create file"},
    };
    for (const TCase& c : cases) {
        wmf::SetRuntimeStartHookForTests(c.RuntimeMissing ? &NoRuntime : nullptr);
        TPcmPatternSource src(44100, 2, 16, 44100);
        TWMAOut w(nullptr);
        EXPECT_EQ(w.Codecs().empty(), c.RuntimeMissing);
        w.SetFileName(c.File);
        EXPECT_EQ(RunToDone(w, src), c.Message) << c.Name;
        EXPECT_FALSE(src.Busy()) << c.Name;
    }
    wmf::SetRuntimeStartHookForTests(nullptr);
}

// A file that cannot grow past 20000 bytes: the write that fails ends the run, and the run
// is not reported as a success.
TEST_F(WmaOut, AFailedWriteEndsTheRun) {
    TPcmPatternSource src(44100, 2, 16, 5 * 44100);
    TWMAOut w(nullptr);
    w.SetDesiredBitrate(128);
    w.SetFileName(File().string());
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 20000;
    setrlimit(RLIMIT_FSIZE, &small);
    const std::string message = RunToDone(w, src);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(message, "Failed to write data: C00D0BC4");
}

// An input that fails mid-run ends it with the input's message; the file written so far is
// finished and still decodes.
TEST_F(WmaOut, AFailingInputLeavesADecodableFile) {
    TPcmPatternSource src(44100, 2, 16, 44100);
    src.ThrowAt = 4 * 14112;
    TWMAOut w(nullptr);
    w.SetDesiredBitrate(128);
    EXPECT_EQ(Write(w, src), "Source broke");
    const size_t decoded = FfmpegDecodeS16(File()).size() / 2;
    EXPECT_GE(decoded, 4u * 3528);
    EXPECT_LT(decoded, 4u * 3528 + 2048);
}

// Stopped early, the writer still finishes the file: it decodes to what was written.
TEST_F(WmaOut, AStoppedRunLeavesADecodableFile) {
    TPcmPatternSource src(44100, 2, 16, 44100);
    TWMAOut w(nullptr);
    src.BeforeRead = [&](int64_t At) {
        if (At == 5 * 14112) w.Stop(true);
    };
    w.SetDesiredBitrate(128);
    EXPECT_EQ(Write(w, src), "");
    const size_t decoded = FfmpegDecodeS16(File()).size() / 2;
    EXPECT_GE(decoded, 5u * 3528);
    EXPECT_LT(decoded, 6u * 3528 + 2048);
}

TEST(WmfRuntime, CreatesNothingWhenItDidNotStart) {
    wmf::SetRuntimeStartHookForTests(&NoRuntime);
    std::unique_ptr<wmf::TWmProfileManager> manager;
    std::unique_ptr<wmf::TWmWriter> writer;
    std::shared_ptr<wmf::TWmWriterFileSink> file;
    std::shared_ptr<wmf::TWmWriterNetworkSink> network;
    EXPECT_EQ(wmf::WMCreateProfileManager(manager), wmf::wmErrNotStarted);
    EXPECT_EQ(wmf::WMCreateWriter(writer), wmf::wmErrNotStarted);
    EXPECT_EQ(wmf::WMCreateWriterFileSink(file), wmf::wmErrNotStarted);
    EXPECT_EQ(wmf::WMCreateWriterNetworkSink(network), wmf::wmErrNotStarted);
    EXPECT_FALSE(manager || writer || file || network);
    wmf::SetRuntimeStartHookForTests(nullptr);
}

// The writer refuses what would give a broken file: writing before it is set up, input it
// cannot take, changes once the header is out, blocks that split a frame.
TEST(WmfRuntime, WriterRefusesCallsOutOfOrder) {
    using namespace wmf;
    ScratchDir folder("wmfwriter");
    std::unique_ptr<TWmProfileManager> manager;
    std::unique_ptr<TWmProfile> profile;
    std::unique_ptr<TWmStreamConfig> config;
    std::unique_ptr<TWmWriter> w;
    std::shared_ptr<TWmWriterFileSink> sink;
    ASSERT_EQ(WMCreateProfileManager(manager), wmOk);
    ASSERT_EQ(manager->CreateEmptyProfile(kWmProfileVersion, profile), wmOk);
    ASSERT_EQ(manager->GetCodecFormat(WMMEDIATYPE_Audio, 0, 29, config), wmOk);
    EXPECT_NE(profile->AddStream(*config), wmOk); // no stream number yet
    config->SetStreamNumber(1);
    ASSERT_EQ(profile->AddStream(*config), wmOk);
    EXPECT_NE(profile->AddStream(*config), wmOk); // the number is taken
    ASSERT_EQ(WMCreateWriter(w), wmOk);
    ASSERT_EQ(WMCreateWriterFileSink(sink), wmOk);
    ASSERT_EQ(sink->Open(Utf8ToUtf16(folder.File("x.wma").string())), wmOk);

    EXPECT_NE(w->BeginWriting(), wmOk); // no profile
    ASSERT_EQ(w->SetProfile(*profile), wmOk);
    EXPECT_NE(w->BeginWriting(), wmOk); // no sink
    ASSERT_EQ(w->AddSink(sink), wmOk);
    std::unique_ptr<TWmInputProps> props;
    ASSERT_EQ(w->GetInputProps(0, props), wmOk);
    TWmMediaType type;
    props->GetMediaType(type);
    type.Format.BitsPerSample = 12;
    props->SetMediaType(type);
    EXPECT_NE(w->SetInputProps(0, *props), wmOk);
    EXPECT_NE(w->BeginWriting(), wmOk); // the input type was refused
    type.Format.BitsPerSample = 16;
    props->SetMediaType(type);
    ASSERT_EQ(w->SetInputProps(0, *props), wmOk);
    ASSERT_EQ(w->BeginWriting(), wmOk);

    EXPECT_NE(w->SetAttribute(0, u"Title", TWmAttrType::wmtString, nullptr, 0), wmOk);
    EXPECT_NE(w->SetProfile(*profile), wmOk);
    EXPECT_NE(w->AddSink(sink), wmOk);
    std::unique_ptr<TWmSampleBuffer> sample;
    ASSERT_EQ(w->AllocateSample(4000, sample), wmOk);
    sample->SetLength(4000);
    EXPECT_EQ(w->WriteSample(0, 2000, 0, *sample), wmOk);
    EXPECT_NE(w->WriteSample(0, 1000, 0, *sample), wmOk); // time goes back
    sample->SetLength(3998);
    EXPECT_NE(w->WriteSample(0, 3000, 0, *sample), wmOk); // half a frame
    EXPECT_NE(sample->SetLength(4001), wmOk);
    EXPECT_EQ(w->EndWriting(), wmOk);
    EXPECT_NE(w->EndWriting(), wmOk);
}
