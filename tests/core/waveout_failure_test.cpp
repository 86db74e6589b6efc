// The WAV writer when things go wrong: writes that fall short anywhere, inputs that fail,
// and files that would outgrow 32-bit RIFF sizes. Every such run must end with a message,
// deliver OnDone, and leave a header that describes what is in the file.
#include <gtest/gtest.h>

#include "FileBytes.h"
#include "PcmPatternSource.h"
#include "RunSink.h"
#include "ScratchDir.h"
#include "TestStreams.h"
#include "WaveTools.h"
#include "formats/AuWaveOut.h"

using namespace sundral;
using namespace sundral_test;

namespace {

constexpr const char* kWriteError = "Error writing wave file";
constexpr const char* kTooLarge = "Wave file would exceed 4 GB";

struct TWriteCase {
    const char* Name;
    TWavType Type;
    int64_t Limit;        // no byte at or past this offset reaches the stream
    bool SizeKnown;       // the input reports its size
    int64_t DeliverBytes; // -1: all of it
    bool RefuseRewrites;  // going back to fix the header fails too
    // What the header must say afterwards (0: the header itself was cut short).
    uint32_t DataSize, Fact;
};

} // namespace

class WaveOutWriteFailure : public ::testing::TestWithParam<TWriteCase> {};

TEST_P(WaveOutWriteFailure, EndsTheRunWithAHeaderForWhatIsThere) {
    const TWriteCase c = GetParam();
    TPcmPatternSource src(44100, 1, 16, 20000);
    if (!c.SizeKnown) src.ReportedSize = -1;
    if (c.DeliverBytes >= 0) src.DeliverBytes = c.DeliverBytes;
    TFaultyStream stream;
    stream.Limit = c.Limit;
    stream.RefuseRewrites = c.RefuseRewrites;
    TWaveOut w(nullptr);
    w.SetWavType(c.Type);
    w.SetStream(&stream);
    EXPECT_EQ(RunToDone(w, src), kWriteError);
    EXPECT_FALSE(src.Busy());
    const auto bytes = stream.Bytes();
    if (c.DataSize == 0) return;
    const bool ima = c.Type == TWavType::wtDVIADPCM;
    // Input of unknown size: a 36-byte "JUNK" chunk after "WAVE" keeps room for "ds64".
    const size_t room = c.SizeKnown ? 0 : 36;
    const size_t head = (ima ? 60 : 44) + room;
    EXPECT_EQ(U32At(bytes, head - 4), c.DataSize);
    if (c.RefuseRewrites) return; // the header could not be fixed: the message says so
    EXPECT_EQ(bytes.size(), head + c.DataSize);
    EXPECT_EQ(U32At(bytes, 4), bytes.size() - 8);
    if (ima) {
        EXPECT_EQ(U32At(bytes, 48 + room), c.Fact);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Places, WaveOutWriteFailure,
    ::testing::Values(
        TWriteCase{"header", TWavType::wtPCM, 20, true, -1, false, 0, 0},
        TWriteCase{"pcm_data", TWavType::wtPCM, 44 + 1001, true, -1, false, 1001, 0},
        TWriteCase{"pcm_unknown", TWavType::wtPCM, 80 + 30000, false, -1, false, 30000, 0},
        TWriteCase{"ima_data", TWavType::wtDVIADPCM, 60 + 3 * 512 + 100, true, -1, false,
                   3 * 512 + 100, 3 * 1017},
        // The input ends early, so the promised length is padded, and the padding runs out
        // of room.
        TWriteCase{"padding", TWavType::wtPCM, 44 + 30000, true, 20000, false, 30000, 0},
        // Unknown size: the header must be fixed at the end, and that write fails.
        TWriteCase{"patch", TWavType::wtPCM, INT64_MAX, false, -1, true, 0xFFFFFFFF, 0}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(WaveOutInputFailure, EndsTheRunWithTheInputsMessage) {
    for (TWavType type : {TWavType::wtPCM, TWavType::wtDVIADPCM}) {
        ScratchDir dir("waveout");
        const auto file = dir.File("broken.wav");
        TPcmPatternSource src(44100, 2, 16, 50000);
        src.MaxPiece = 4000;
        src.ThrowAt = 20000; // and at every read after that
        TWaveOut w(nullptr);
        w.SetWavType(type);
        w.SetFileName(file.string());
        EXPECT_EQ(RunToDone(w, src), "Source broke");
        const auto bytes = ReadFileBytes(file);
        if (type == TWavType::wtPCM) {
            // What came before the failure is kept, and not padded to the promised size.
            ASSERT_EQ(bytes.size(), 44u + 20000u);
            EXPECT_EQ(U32At(bytes, 40), 20000u);
            EXPECT_EQ(SoxFrames(file), 5000);
        } else {
            // Blocks take 2020 bytes (505 stereo frames): the reads that began before byte
            // 20000 fill ten; the eleventh fails while filling and is not written.
            ASSERT_EQ(bytes.size(), 60u + 10u * 512u);
            EXPECT_EQ(U32At(bytes, 56), 10u * 512u);
            EXPECT_EQ(U32At(bytes, 48), 10u * 505u);
        }
        EXPECT_EQ(U32At(bytes, 4), bytes.size() - 8);
        EXPECT_FALSE(FfprobeStreams(file).empty());
    }
}

TEST(WaveOutSizeLimit, KnownSizePastFourGigabytesIsWrittenAsRf64) {
    for (TWavType type : {TWavType::wtPCM, TWavType::wtDVIADPCM}) {
        TPcmPatternSource src(44100, 1, 16, 100);
        // PCM: data + 36 passes 32 bits. IMA: the frame count passes 32 bits.
        src.ReportedSize = type == TWavType::wtPCM ? int64_t(UINT32_MAX) - 35 : int64_t(10) << 30;
        TSizeOnlyStream stream;
        TWaveOut w(nullptr);
        w.SetWavType(type);
        w.SetStream(&stream);
        EXPECT_EQ(RunToDone(w, src), "");
        EXPECT_EQ(std::string(stream.Head.begin(), stream.Head.begin() + 4), "RF64");
        EXPECT_EQ(std::string(stream.Head.begin() + 12, stream.Head.begin() + 16), "ds64");
    }
    // The largest size 32 bits hold keeps the plain header; an odd size fits only with its
    // pad byte, so one less becomes RF64.
    for (int64_t size : {int64_t(UINT32_MAX) - 36, int64_t(UINT32_MAX) - 37}) {
        TPcmPatternSource src(44100, 1, 8, 100);
        src.ReportedSize = size;
        TSizeOnlyStream stream;
        TWaveOut w(nullptr);
        w.SetStream(&stream);
        EXPECT_EQ(RunToDone(w, src), "");
        const bool rf64 = size & 1;
        EXPECT_EQ(std::string(stream.Head.begin(), stream.Head.begin() + 4),
                  rf64 ? "RF64" : "RIFF");
        EXPECT_EQ(stream.Size(), (rf64 ? 80 + size + 1 : 44 + size));
        if (!rf64) {
            EXPECT_EQ(U32At(stream.Head, 4), uint32_t(36 + size));
        }
    }
}

// Appending input of unknown size to a RIFF file with no place for 64-bit sizes stops at
// the limit, with a header that describes what was written.
TEST(WaveOutSizeLimit, AppendWithoutRoomStopsAtTheLimitWithAValidHeader) {
    constexpr int64_t kLimit = 100000;
    TSizeOnlyStream stream;
    TPcmPatternSource first(44100, 2, 16, 10);
    TWaveOut w(nullptr);
    w.SetSizeLimit(kLimit);
    w.SetStream(&stream);
    ASSERT_EQ(RunToDone(w, first), "");
    TEndlessSilence src;
    w.SetFileMode(TFileOutputMode::foAppend);
    EXPECT_EQ(RunToDone(w, src), "Wave file would exceed 4 GB");
    // Whole 4-byte frames up to the last one the lowered RIFF size can cover.
    const int64_t data = (kLimit + 8 - 44) / 4 * 4;
    EXPECT_EQ(stream.Size(), 44 + data);
    EXPECT_EQ(U32At(stream.Head, 40), uint32_t(data));
    EXPECT_EQ(U32At(stream.Head, 4), uint32_t(44 + data - 8));
}
