// The MP3 writer through the real engine, judged by ffmpeg and ffprobe: the encoder record
// byte for byte, exact length and alignment of what decoders play, the encoding modes, frame
// header bits, the ID3v1 block and the ID3v2 tag, missing libraries and every failure.
#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>

#include "FileBytes.h"
#include "Mp3FileTools.h"
#include "PcmPatternSource.h"
#include "RunCommand.h"
#include "RunSink.h"
#include "ScratchDir.h"
#include "TestStreams.h"
#include "WaveTools.h"
#include "formats/AuMp3Out.h"
#include "platform/libload.h"

using namespace sundral;
using namespace sundral_test;
using libload::TRuntimeLibrary;

namespace {

// The writer's properties, at their defaults unless a case says otherwise.
struct TProps {
    TMP3Mode Mode = TMP3Mode::mmStereo;
    TMP3BitRate Rate = TMP3BitRate::mbr128, Average = TMP3BitRate::mbrAuto,
                Maximum = TMP3BitRate::mbrAuto;
    bool Vbr = false;
    TMP3Quality Quality = TMP3Quality::mp3ql0;
    bool Crc = false, Copyright = false, Original = true, Reservoir = false, Strict = false;
};

void Apply(TMP3Out& W, const TProps& P) {
    W.SetMode(P.Mode);
    W.SetBitRate(P.Rate);
    W.SetAverageBitrate(P.Average);
    W.SetMaximumBitrate(P.Maximum);
    W.SetEnableVBR(P.Vbr);
    W.SetVBRQuality(P.Quality);
    W.SetCRC(P.Crc);
    W.SetCopyright(P.Copyright);
    W.SetOriginal(P.Original);
    W.SetEnableBitReservoir(P.Reservoir);
    W.SetStrictISO(P.Strict);
}

std::vector<uint8_t> Tail(const std::vector<uint8_t>& B, size_t Count) {
    return {B.end() - std::ptrdiff_t(std::min(Count, B.size())), B.end()};
}

// Hides a library from the loader for the life of the object.
struct THidden {
    TRuntimeLibrary Library;
    explicit THidden(TRuntimeLibrary L) : Library(L) { SetLibraryHiddenForTests(L, true); }
    ~THidden() { SetLibraryHiddenForTests(Library, false); }
};

} // namespace

// ---------------------------------------------------------------------------------------
// The configuration record
// ---------------------------------------------------------------------------------------
struct TRecordCase {
    const char* Name;
    uint32_t Channels;
    TProps Props;
    std::map<size_t, int32_t> Changed; // offset -> 32-bit value, over the defaults
};

void PrintTo(const TRecordCase& C, std::ostream* Out) {
    *Out << C.Name;
}

class Mp3OutRecord : public ::testing::TestWithParam<TRecordCase> {};

TEST_P(Mp3OutRecord, BytesFollowTheProperties) {
    const TRecordCase& c = GetParam();
    std::map<size_t, int32_t> fields = {{0, 256}, {4, 1},   {8, 331}, {12, 44100}, {24, 128},
                                        {60, -1}, {64, -1}, {80, 2},  {84, -1}};
    for (const auto& [at, value] : c.Changed) fields[at] = value;
    TBeConfigBytes expected{};
    for (const auto& [at, value] : fields)
        for (int b = 0; b < 4; ++b) expected[at + size_t(b)] = uint8_t(uint32_t(value) >> (8 * b));
    TMP3Out w(nullptr);
    Apply(w, c.Props);
    EXPECT_EQ(w.ConfigRecord(44100, c.Channels), expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, Mp3OutRecord, ::testing::Values(
    TRecordCase{"defaults", 2, {}, {}},
    TRecordCase{"mono_input_is_mono", 1, {.Mode = TMP3Mode::mmJointStereo}, {{20, 3}}},
    TRecordCase{"dual_is_stereo", 2, {.Mode = TMP3Mode::mmDual}, {}},
    TRecordCase{"reservoir_strict", 2, {.Reservoir = true, .Strict = true}, {{84, 0}, {88, -1}}},
    TRecordCase{"abr", 2, {.Average = TMP3BitRate::mbr160}, {{76, 160}, {80, 4}}},
    TRecordCase{"quality_needs_vbr", 2, {.Quality = TMP3Quality::mp3ql5}, {}},
    TRecordCase{"vbr_flags", 2,
                {.Rate = TMP3BitRate::mbr32, .Maximum = TMP3BitRate::mbr256, .Vbr = true,
                 .Quality = TMP3Quality::mp3ql5, .Crc = true, .Copyright = true, .Original = false},
                {{68, -1}, {72, 5}, {24, 32}, {28, 256}, {52, -1}, {56, -1}, {60, 0}}}),
    [](const auto& Info) { return std::string(Info.param.Name); });
// clang-format on

// ---------------------------------------------------------------------------------------
// Written files
// ---------------------------------------------------------------------------------------
struct TFileCase {
    const char* Name;
    uint32_t Rate;
    uint16_t Channels, Bits;
    int64_t Frames;
    TProps Props;
    // What the file must be: channels decoded, the tag frame's word and the encoder's method
    // in it (1 constant, 2 average, 4 variable rate), the audio frames' rate (0: varies) and
    // channel mode.
    uint16_t OutChannels;
    const char* TagWord;
    int Method;
    uint32_t Kbps;
    int ChannelMode;
};

void PrintTo(const TFileCase& C, std::ostream* Out) {
    *Out << C.Name;
}

class Mp3OutFile : public ::testing::TestWithParam<TFileCase> {
protected:
    void SetUp() override {
        if (!ToolAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    }
    ScratchDir Dir{"mp3out"};
};

TEST_P(Mp3OutFile, DecodesToTheInputExactlyAndAligned) {
    const TFileCase& c = GetParam();
    const auto file = Dir.File("out.mp3");
    TPcmPatternSource src(c.Rate, c.Channels, c.Bits, c.Frames);
    FillChirp(src);
    TMP3Out w(nullptr);
    w.SetFileName(file.string());
    Apply(w, c.Props);
    ASSERT_EQ(RunToDone(w, src), "");

    // Decoders trim the encoder's delay and padding: exactly the input's frames come out,
    // and in step with it (a mono encoding of stereo input carries the mean of both).
    const std::vector<int16_t> pcm = FfmpegDecodeS16(file);
    ASSERT_EQ(int64_t(pcm.size()), c.Frames * c.OutChannels);
    const int64_t from = c.Frames / 4, to = std::min(c.Frames - 1000, from + 8000);
    std::vector<double> expected;
    for (int64_t f = from; f < to; ++f) {
        const double v = ChirpValue(f, c.Rate, 0);
        expected.push_back(c.OutChannels == c.Channels ? v : (v + ChirpValue(f, c.Rate, 1)) / 2);
    }
    auto snr = [&](int64_t Lag) {
        double noise = 0, signal = 0;
        for (int64_t f = from; f < to; ++f) {
            const double e = expected[size_t(f - from)];
            const double d = pcm[size_t((f + Lag) * c.OutChannels)] / 32767.0 - e;
            noise += d * d;
            signal += e * e;
        }
        return 10 * std::log10(signal / noise);
    };
    int64_t bestLag = 0;
    for (int64_t lag = -600; lag <= 600; ++lag)
        if (snr(lag) > snr(bestLag)) bestLag = lag;
    EXPECT_EQ(bestLag, 0);
    EXPECT_GT(snr(0), 20.0) << "signal to noise, dB";

    const auto bytes = ReadFileBytes(file);
    const TEncoderTag tag = ReadEncoderTag(bytes);
    EXPECT_EQ(tag.Word, c.TagWord);
    EXPECT_EQ(tag.Method, c.Method);
    TMpegHeader first, audio;
    ASSERT_TRUE(ReadMpegHeader(bytes, 0, first));
    ASSERT_TRUE(ReadMpegHeader(bytes, first.FrameBytes, audio));
    EXPECT_EQ(audio.SampleRate, c.Rate);
    EXPECT_TRUE(c.Kbps == 0 || audio.Kbps == c.Kbps) << audio.Kbps;
    EXPECT_EQ(audio.ChannelMode, c.ChannelMode);
    EXPECT_EQ(audio.Crc, c.Props.Crc);
    EXPECT_EQ(audio.Copyright, c.Props.Copyright);
    EXPECT_EQ(audio.Original, c.Props.Original);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, Mp3OutFile, ::testing::Values(
    // A cut of ten seconds: 441000 frames in, 441000 out.
    TFileCase{"cbr_ten_seconds", 44100, 2, 16, 441000, {}, 2, "Info", 1, 128, 0},
    // Whole chunks: the last step reads nothing and ends the run.
    TFileCase{"whole_chunks", 44100, 2, 16, 1152 * 40, {}, 2, "Info", 1, 128, 0},
    // Long enough to be encoded in chunks on several cores (frames of 1152 and of 576
    // samples; a tag frame larger than the stream's own; checksummed frames).
    TFileCase{"chunked", 44100, 2, 16, 1300000, {}, 2, "Info", 1, 128, 0},
    TFileCase{"chunked_mpeg2_mono", 22050, 1, 16, 700001, {}, 1, "Info", 1, 128, 3},
    TFileCase{"chunked_small_frames", 44100, 2, 16, 700000, {.Rate = TMP3BitRate::mbr32},
              2, "Info", 1, 32, 0},
    TFileCase{"chunked_crc", 48000, 2, 16, 700000,
              {.Mode = TMP3Mode::mmJointStereo, .Crc = true}, 2, "Info", 1, 128, 1},
    TFileCase{"vbr_flags", 44100, 2, 16, 88200,
              {.Mode = TMP3Mode::mmJointStereo, .Vbr = true, .Quality = TMP3Quality::mp3ql2,
               .Crc = true, .Copyright = true, .Original = false},
              2, "Xing", 4, 0, 1},
    TFileCase{"abr", 48000, 2, 16, 96000, {.Average = TMP3BitRate::mbr160}, 2, "Xing", 2, 0, 0},
    // Limits that contradict each other: the ceiling wins (the encoder would stop the process).
    TFileCase{"abr_ceiling_below_floor", 22050, 1, 16, 44100,
              {.Rate = TMP3BitRate::mbr320, .Average = TMP3BitRate::mbr160,
               .Maximum = TMP3BitRate::mbr64}, 1, "Xing", 2, 0, 3},
    TFileCase{"unsigned_8bit_mono", 22050, 1, 8, 44100, {}, 1, "Info", 1, 128, 3},
    TFileCase{"24bit_stereo_as_mono", 48000, 2, 24, 96000, {.Mode = TMP3Mode::mmMono},
              1, "Info", 1, 128, 3},
    TFileCase{"32bit_dual_is_stereo", 32000, 2, 32, 64000,
              {.Mode = TMP3Mode::mmDual, .Rate = TMP3BitRate::mbr320}, 2, "Info", 1, 320, 0},
    // MPEG-2.5 frames, whose rates end at 64 kbit/s.
    TFileCase{"8khz", 8000, 1, 16, 24000, {}, 1, "Info", 1, 64, 3},
    // Constant rates whose frames are too small for the tag: it goes into a larger frame.
    TFileCase{"mpeg1_32k", 44100, 2, 16, 88200, {.Rate = TMP3BitRate::mbr32}, 2, "Info", 1, 32, 0},
    TFileCase{"mpeg1_56k_48khz", 48000, 2, 16, 96000, {.Rate = TMP3BitRate::mbr56},
              2, "Info", 1, 56, 0},
    TFileCase{"mpeg2_32k_mono", 22050, 1, 16, 44100, {.Rate = TMP3BitRate::mbr32},
              1, "Info", 1, 32, 3},
    TFileCase{"mpeg2_48k_crc", 24000, 2, 16, 48000,
              {.Mode = TMP3Mode::mmJointStereo, .Rate = TMP3BitRate::mbr48, .Crc = true},
              2, "Info", 1, 48, 1}),
    [](const auto& Info) { return std::string(Info.param.Name); });
// clang-format on

// Every constant rate of the three MPEG versions down to 8 kbit/s (the writer's own choices
// start at 32, its encoder takes any): the stream decodes to exactly the frames encoded.
TEST(Mp3Encoder, EveryLowRateDecodesToItsInputLength) {
    if (!ToolAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    if (!LameAvailable()) GTEST_SKIP() << "libmp3lame is not installed";
    struct TCase {
        uint32_t Rate, Channels, Kbps;
    };
    ScratchDir dir("mp3rates");
    for (const TCase& c : {TCase{8000, 1, 8}, TCase{11025, 2, 8}, TCase{12000, 1, 16},
                           TCase{16000, 2, 8}, TCase{22050, 1, 24}, TCase{24000, 2, 32},
                           TCase{32000, 1, 32}, TCase{44100, 2, 40}, TCase{48000, 1, 48}}) {
        const std::string name = std::to_string(c.Rate) + "_" + std::to_string(c.Channels) + "ch_" +
                                 std::to_string(c.Kbps) + "k";
        SCOPED_TRACE(name);
        const int64_t frames = 3 * int64_t(c.Rate) / 2 + 77; // not whole encoder frames
        TPcmPatternSource src(c.Rate, uint16_t(c.Channels), 16, frames);
        FillChirp(src);
        TBeConfig record;
        record.SampleRate = c.Rate;
        record.Mode = c.Channels == 1 ? 3 : 0;
        record.Bitrate = c.Kbps;
        record.WriteVBRHeader = BeBool(true);
        record.NoRes = BeBool(true);
        uint32_t chunk = 0, outSize = 0;
        THBeStream enc = nullptr;
        ASSERT_EQ(beInitStream(BeConfigBytes(record), chunk, outSize, enc), beErrOk);
        std::vector<uint8_t> out(outSize);
        TMemoryStream mp3;
        const auto* pcm = reinterpret_cast<const int16_t*>(src.Data.data());
        const uint32_t total = uint32_t(frames * c.Channels);
        uint32_t produced = 0;
        for (uint32_t at = 0; at < total; at += chunk) {
            ASSERT_EQ(
                beEncodeChunk(enc, std::min(chunk, total - at), pcm + at, out.data(), produced),
                beErrOk);
            mp3.Write(out.data(), produced);
        }
        ASSERT_EQ(beDeinitStream(enc, out.data(), produced), beErrOk);
        mp3.Write(out.data(), produced);
        EXPECT_EQ(beWriteVBRHeader(enc, mp3, 0), beErrOk);
        beCloseStream(enc);

        const auto file = dir.WriteBytes(name + ".mp3", {mp3.Memory(), mp3.Memory() + mp3.Size()});
        const auto bytes = ReadFileBytes(file);
        EXPECT_EQ(ReadEncoderTag(bytes).Word, "Info");
        TMpegHeader tag, audio;
        ASSERT_TRUE(ReadMpegHeader(bytes, 0, tag));
        ASSERT_TRUE(ReadMpegHeader(bytes, tag.FrameBytes, audio));
        EXPECT_EQ(audio.Kbps, c.Kbps);
        EXPECT_EQ(audio.SampleRate, c.Rate);
        EXPECT_EQ(int64_t(FfmpegDecodeS16(file).size()), frames * c.Channels);
    }
}

// ---------------------------------------------------------------------------------------
// Tags
// ---------------------------------------------------------------------------------------
class Mp3OutTags : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ToolAvailable("ffmpeg") || !ToolAvailable("ffprobe"))
            GTEST_SKIP() << "ffmpeg or ffprobe is not installed";
    }
    std::string Write(TMP3Out& W, const std::filesystem::path& File) {
        W.SetFileName(File.string());
        W.Id3v2Tags().SetTitle(u"Привет, мир");
        W.Id3v2Tags().SetArtist(u"日本の歌手");
        W.Id3v2Tags().SetAlbum(u"Album");
        W.Id3v2Tags().SetGenre(u"Rock");
        W.Id3v2Tags().SetYear("2009");
        W.Id3v2Tags().SetTrack("3/12");
        W.Id3v1Tags().SetTitle("Caf\xC3\xA9 " + std::string(40, 'x'));
        W.Id3v1Tags().SetYear(2009);
        W.Id3v1Tags().SetTrack(7); // not written: the comment keeps all 30 bytes
        W.Id3v1Tags().SetComment(std::string(30, 'c'));
        W.Id3v1Tags().SetGenre("rock");
        return RunToDone(W, Src);
    }
    // The block at the end of every file: Latin-1 texts cut at 30 bytes, a four-digit year.
    static std::vector<uint8_t> Id3v1Block() {
        std::vector<uint8_t> b(128, 0);
        const std::string title = "TAGCaf\xE9 " + std::string(25, 'x');
        std::copy(title.begin(), title.end(), b.begin());
        std::copy_n("2009", 4, b.begin() + 93);
        std::fill_n(b.begin() + 97, 30, 'c');
        b[127] = 17;
        return b;
    }
    TPcmPatternSource Src{44100, 2, 16, 44100};
    ScratchDir Dir{"mp3tags"};
};

TEST_F(Mp3OutTags, Id3v2ThroughTagLibAndTheWritersOwnId3v1) {
    // A name that is not ASCII reaches TagLib as it is on disk.
    const auto file = Dir.File("sortie é.mp3");
    TMP3Out w(nullptr);
    ASSERT_EQ(Write(w, file), "");
    const auto bytes = ReadFileBytes(file);
    ASSERT_GT(bytes.size(), 128u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "ID3");
    EXPECT_EQ(Tail(bytes, 128), Id3v1Block());
    for (uint16_t year : {0, 999}) { // no year unless it has four digits
        w.Id3v1Tags().SetYear(year);
        EXPECT_EQ(w.Id3v1Block()[93], 0);
    }

    const auto tags = FfprobeFields(file, "format_tags");
    EXPECT_EQ(tags.at("title"), "Привет, мир");
    EXPECT_EQ(tags.at("artist"), "日本の歌手");
    EXPECT_EQ(tags.at("album"), "Album");
    EXPECT_EQ(tags.at("genre"), "Rock");
    EXPECT_EQ(tags.at("date"), "2009");
    EXPECT_EQ(tags.count("track"), 0u);   // "3/12" is not a number: the track stays unset
    EXPECT_EQ(tags.count("comment"), 0u); // nothing of the ID3v1 block leaks into ID3v2
    EXPECT_EQ(int64_t(FfmpegDecodeS16(file).size()), 2 * 44100);
}

TEST_F(Mp3OutTags, MissingLibraries) {
    {
        // Without TagLib the file is complete, only without the ID3v2 tag.
        const THidden hidden(TRuntimeLibrary::rlTagLib);
        const auto file = Dir.File("plain.mp3");
        TMP3Out w(nullptr);
        ASSERT_EQ(Write(w, file), "");
        const auto bytes = ReadFileBytes(file);
        EXPECT_EQ(ReadEncoderTag(bytes).Word, "Info");
        EXPECT_EQ(Tail(bytes, 128), Id3v1Block());
    }
    // Without the encoder nothing is written, not even the file.
    const THidden hidden(TRuntimeLibrary::rlLame);
    const auto file = Dir.File("none.mp3");
    TMP3Out w(nullptr);
    EXPECT_EQ(Write(w, file), "libmp3lame.so.0 library could not be loaded.");
    EXPECT_FALSE(std::filesystem::exists(file));
}

// Root writes to read-only files; this drops that right for the calling thread and for the
// threads it starts while the object lives.
class TNoOverride {
public:
    TNoOverride() {
        if (syscall(SYS_capget, &FHeader, FSaved) != 0) return;
        __user_cap_data_struct reduced[2] = {FSaved[0], FSaved[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        FDropped = syscall(SYS_capset, &FHeader, reduced) == 0;
    }
    ~TNoOverride() {
        if (FDropped) syscall(SYS_capset, &FHeader, FSaved);
    }

private:
    __user_cap_header_struct FHeader{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct FSaved[2]{};
    bool FDropped = false;
};

TEST_F(Mp3OutTags, TagLibThatCannotSaveFailsTheRun) {
    const auto file = Dir.File("locked.mp3");
    const TNoOverride noOverride;
    TMP3Out w(nullptr); // its worker starts without the right
    // Once the file is open for writing, make it read-only for everyone else.
    Src.BeforeRead = [&](int64_t) {
        std::filesystem::permissions(file, std::filesystem::perms::owner_read);
    };
    EXPECT_EQ(Write(w, file), "Failed to save tags");
    EXPECT_EQ(int64_t(FfmpegDecodeS16(file).size()), 2 * 44100); // the audio is all there
}

// ---------------------------------------------------------------------------------------
// Failures
// ---------------------------------------------------------------------------------------
TEST(Mp3OutFailure, RunsEndWithTheirMessage) {
    // Size of a complete file of this input, to cut writes short at chosen places.
    TPcmPatternSource probeSrc(44100, 2, 16, 20000);
    TFaultyStream whole;
    TMP3Out probe(nullptr);
    probe.SetStream(&whole);
    ASSERT_EQ(RunToDone(probe, probeSrc), "");
    const int64_t size = whole.Size();

    struct TCase {
        const char* Name;
        uint16_t Channels;
        uint32_t Rate;
        int64_t Limit; // -1: write to a file named "out.mp3"; 0: no name and no stream
        const char* Message;
    };
    for (const TCase& c : {
             TCase{"no_name", 2, 44100, 0, "File name is not assigned."},
             TCase{"three_channels", 3, 44100, -1, "Cannot encode this audio format into mp3."},
             TCase{"no_rate", 2, 0, -1, "Cannot encode this audio format into mp3."},
             TCase{"audio_write", 2, 44100, size / 2, "Error writing down mp3 file"},
             // Everything but the ID3v1 block fits: Done's failure fails the run.
             TCase{"done_write", 2, 44100, size - 64, "Error writing down mp3 file"},
         }) {
        ScratchDir dir("mp3fail");
        const auto file = dir.WriteBytes("out.mp3", {1, 2, 3});
        TPcmPatternSource src(c.Rate, c.Channels, 16, 20000);
        TFaultyStream stream;
        stream.Limit = c.Limit;
        TMP3Out w(nullptr);
        if (c.Limit < 0) w.SetFileName(file.string());
        if (c.Limit > 0) w.SetStream(&stream);
        EXPECT_EQ(RunToDone(w, src), c.Message) << c.Name;
        EXPECT_FALSE(src.Busy()) << c.Name;
        // A refused run leaves an existing file as it was.
        EXPECT_EQ(ReadFileBytes(file), std::vector<uint8_t>({1, 2, 3})) << c.Name;
    }
}

namespace {

// How the mean is aimed, against encoders of known response: Response(mean) is the rate a
// trial lands at. The mean chosen must make the response land within 2 % of the aim, or be
// the nearer of the two trials where the response turns back; the trials are counted.
TEST(Mp3OutAim, MeanLandsTheRateNearTheAim) {
    const struct {
        const char* Name;
        uint32_t Aim;
        std::function<double(uint32_t)> Response;
        uint32_t Want; // 0: judge by the response instead
        int Trials;
    } cases[] = {
        {"exact encoder", 128, [](uint32_t M) { return double(M); }, 128, 1},
        {"lands 7 % low", 132, [](uint32_t M) { return 0.93 * M; }, 0, 2},
        {"lands 7 % high", 74, [](uint32_t M) { return 1.07 * M; }, 0, 2},
        // The rate steepens past the first trial (the method's listed-rate steps): one
        // correction would jump past the aim; the line through both trials does not.
        {"steepens", 132,
         [](uint32_t M) { return M < 132 ? 0.93 * M : 0.93 * 132 + 1.9 * (M - 132.0); }, 0, 2},
        {"turns back", 100, [](uint32_t M) { return M == 100 ? 90.0 : 80.0; }, 100, 2},
        {"no trial", 96, [](uint32_t) { return 0.0; }, 96, 1},
        // Near silence says little: the mean moves by a quarter at most.
        {"silent start", 100, [](uint32_t M) { return 0.1 * M; }, 125, 2},
        {"above the range", 320, [](uint32_t M) { return 0.5 * M; }, 320, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        int trials = 0;
        const uint32_t mean = AimedMeanKbps(
            c.Aim,
            [&](uint32_t M) {
                ++trials;
                return c.Response(M);
            },
            kMinAverageKbps, kMaxAverageKbps);
        EXPECT_EQ(trials, c.Trials);
        if (c.Want != 0)
            EXPECT_EQ(mean, c.Want);
        else
            EXPECT_LE(std::abs(c.Response(mean) - c.Aim), 0.02 * c.Aim) << "mean " << mean;
    }
}

} // namespace
