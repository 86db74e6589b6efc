// RF64 with the WAV writer, at a size limit lowered so that the files stay small: a known
// size past the limit is written as RF64 from the start, an unknown one turns its "JUNK"
// chunk into "ds64" at the end, and appending keeps or makes RF64 where it can. ffmpeg
// judges every file: its samples and its duration must be the input's.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "FileBytes.h"
#include "PcmPatternSource.h"
#include "RiffBytes.h"
#include "RunSink.h"
#include "ScratchDir.h"
#include "WaveTools.h"
#include "formats/AuWaveOut.h"

using namespace sundral;
using namespace sundral_test;

namespace {

constexpr int64_t kLimit = 50000; // bytes a 32-bit size field may hold in these runs
constexpr const char* kTooLarge = "Wave file would exceed 4 GB";

std::string Code(const std::vector<uint8_t>& Bytes, size_t At) {
    return std::string(Bytes.begin() + std::ptrdiff_t(At), Bytes.begin() + std::ptrdiff_t(At + 4));
}
uint64_t U64At(const std::vector<uint8_t>& B, size_t At) {
    return uint64_t(U32At(B, At)) | (uint64_t(U32At(B, At + 4)) << 32);
}

std::string WriteRun(const std::filesystem::path& File, TPcmPatternSource& Src, TWavType Type,
                     bool Append = false) {
    TWaveOut w(nullptr);
    w.SetWavType(Type);
    w.SetSizeLimit(kLimit);
    if (Append) w.SetFileMode(TFileOutputMode::foAppend);
    w.SetFileName(File.string());
    return RunToDone(w, Src);
}

std::vector<int16_t> AsSamples(const std::vector<uint8_t>& Pcm) {
    std::vector<int16_t> s(Pcm.size() / 2);
    std::memcpy(s.data(), Pcm.data(), s.size() * 2);
    return s;
}

// ffmpeg reads File as RF64 (or not) with Frames frames; for PCM its samples are Want.
void ExpectFfmpegReads(const std::filesystem::path& File, bool Rf64, int64_t Frames,
                       uint16_t Channels, const std::vector<uint8_t>& Want = {}) {
    const auto bytes = ReadFileBytes(File);
    ASSERT_GE(bytes.size(), 44u);
    EXPECT_EQ(Code(bytes, 0), Rf64 ? "RF64" : "RIFF") << File;
    if (Rf64) {
        EXPECT_EQ(Code(bytes, 12), "ds64");
        EXPECT_EQ(U32At(bytes, 4), UINT32_MAX);
        EXPECT_EQ(U64At(bytes, 20), bytes.size() - 8) << "64-bit RIFF size";
    }
    const auto probe = FfprobeEntries(File.string(), "stream=duration_ts");
    EXPECT_EQ(probe.count("duration_ts") ? probe.at("duration_ts") : "", std::to_string(Frames))
        << File;
    const std::vector<int16_t> decoded = FfmpegDecodeS16(File);
    if (!Want.empty())
        EXPECT_EQ(decoded, AsSamples(Want)) << File;
    else
        EXPECT_GE(int64_t(decoded.size()), Frames * Channels) << File;
}

TEST(WaveRf64, KnownSizeDecidesAtTheStart) {
    ScratchDir dir("rf64");
    struct TCase {
        TWavType Type;
        int64_t Frames;
        bool Rf64;
    };
    // PCM stereo 16-bit: 4 bytes a frame. IMA stereo at 512: 505 frames in 512 bytes, and
    // the frame count passes the limit before the data does.
    for (const TCase c : {TCase{TWavType::wtPCM, 12000, false},
                          {TWavType::wtPCM, 12491, false}, // 44 + data - 8 at the limit
                          {TWavType::wtPCM, 12492, true},  // and just past it
                          {TWavType::wtPCM, 40000, true},
                          {TWavType::wtDVIADPCM, 45000, false},
                          {TWavType::wtDVIADPCM, 60000, true}}) {
        SCOPED_TRACE(std::to_string(c.Frames));
        TPcmPatternSource src(22050, 2, 16, c.Frames);
        const auto file = dir.File("known.wav");
        ASSERT_EQ(WriteRun(file, src, c.Type), "");
        const auto bytes = ReadFileBytes(file);
        if (!c.Rf64 && c.Type == TWavType::wtPCM) {
            // Below the limit: the plain 44-byte header, nothing else.
            EXPECT_EQ(bytes.size(), 44u + src.Data.size());
            EXPECT_EQ(Code(bytes, 36), "data");
        }
        if (c.Type == TWavType::wtPCM) {
            ExpectFfmpegReads(file, c.Rf64, c.Frames, 2, src.Data);
        } else {
            // The frame count ("fact", or "ds64" in RF64) ends within the last block.
            ExpectFfmpegReads(file, c.Rf64, c.Frames, 2);
            if (c.Rf64) {
                EXPECT_EQ(U64At(bytes, 36), uint64_t(c.Frames)) << "ds64 sample count";
            }
        }
    }
}

TEST(WaveRf64, UnknownSizeTurnsItsJunkChunkIntoDs64) {
    ScratchDir dir("rf64");
    for (int64_t frames : {int64_t(100), int64_t(30001)}) {
        TPcmPatternSource src(8000, 1, 16, frames);
        src.ReportedSize = -1;
        const auto file = dir.File("unknown.wav");
        ASSERT_EQ(WriteRun(file, src, TWavType::wtPCM), "");
        const bool rf64 = frames * 2 > kLimit;
        const auto bytes = ReadFileBytes(file);
        // The 64-bit data size follows the 64-bit RIFF size in "ds64".
        if (rf64) {
            EXPECT_EQ(U64At(bytes, 28), uint64_t(frames * 2));
        } else {
            EXPECT_EQ(Code(bytes, 12), "JUNK");
        }
        ExpectFfmpegReads(file, rf64, frames, 1, src.Data);
    }
}

TEST(WaveRf64, AppendingKeepsOrMakesRf64WhereThereIsRoom) {
    ScratchDir dir("rf64");
    struct TCase {
        const char* What;
        int64_t FirstFrames;
        bool FirstKnown; // a known size leaves no "JUNK" chunk below the limit
        int64_t AddFrames;
        const char* Message;
        bool Rf64;
        size_t Between = 0; // bytes of a chunk put between "fmt " and "data"
    };
    for (const TCase c : {
             TCase{"to RF64", 20000, true, 5000, "", true},
             {"to RF64 with 70 KB before the audio", 20000, true, 5000, "", true, 70001},
             {"RIFF with a JUNK chunk, pushed past", 10000, false, 10000, "", true},
             {"RIFF with a JUNK chunk and 5 KB more, pushed past", 10000, false, 10000, "", true,
              5001},
             {"RIFF with a JUNK chunk, staying below", 1000, false, 1000, "", false},
             {"RIFF without one, pushed past", 10000, true, 10000, kTooLarge, false},
         }) {
        SCOPED_TRACE(c.What);
        const auto file = dir.File("append.wav");
        TPcmPatternSource first(8000, 2, 16, c.FirstFrames);
        if (!c.FirstKnown) first.ReportedSize = -1;
        ASSERT_EQ(WriteRun(file, first, TWavType::wtPCM), "");
        if (c.Between) {
            // Another tool's chunk before the audio; the form's size grows by it.
            auto bytes = ReadFileBytes(file);
            const size_t data = FindChunk(bytes, "data") - 8;
            std::vector<uint8_t> chunk = {'b', 'e', 'x', 't'};
            for (int i = 0; i < 4; ++i) chunk.push_back(uint8_t(c.Between >> (8 * i)));
            chunk.resize(chunk.size() + c.Between + (c.Between & 1), 0x33);
            bytes.insert(bytes.begin() + std::ptrdiff_t(data), chunk.begin(), chunk.end());
            const size_t sizeAt = Code(bytes, 0) == "RF64" ? 20 : 4;
            const uint64_t riff =
                (sizeAt == 20 ? U64At(bytes, 20) : U32At(bytes, 4)) + chunk.size();
            for (size_t i = 0; i < (sizeAt == 20 ? 8u : 4u); ++i)
                bytes[sizeAt + i] = uint8_t(riff >> (8 * i));
            WriteFileBytes(file, bytes);
            ASSERT_EQ(FfmpegDecodeS16(file), AsSamples(first.Data)) << "the test's file is sound";
        }
        const auto before = ReadFileBytes(file);
        TPcmPatternSource more(8000, 2, 16, c.AddFrames, 0.25);
        EXPECT_EQ(WriteRun(file, more, TWavType::wtPCM, true), c.Message);
        if (*c.Message) {
            EXPECT_EQ(ReadFileBytes(file), before) << "a refused append leaves the file";
            continue;
        }
        std::vector<uint8_t> want = first.Data;
        want.insert(want.end(), more.Data.begin(), more.Data.end());
        ExpectFfmpegReads(file, c.Rf64, c.FirstFrames + c.AddFrames, 2, want);
    }
}

} // namespace
