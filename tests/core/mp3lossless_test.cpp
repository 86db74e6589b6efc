// Lossless MP3 cuts through the real sundral-cli: the cut file must decode, in ffmpeg, to
// exactly the samples ffmpeg decodes from the source over the same stretch, across the kinds
// of streams an encoder makes; tags around the audio stay; streams that cannot be copied are
// re-encoded with a note, and broken ones fail with a message.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "FileBytes.h"
#include "MediaFiles.h"
#include "Mp3CliSuite.h"
#include "Mp3FileTools.h"
#include "RunCommand.h"
#include "ScratchDir.h"
#include "formats/Mp3InfoFrame.h"
#include "formats/Mp3Lossless.h"
#include "platform/mp3Scan.h"

using namespace sundral;
using namespace sundral_test;

namespace {

// Every kind of stream the cutter must handle; made once for the whole suite.
const std::vector<TMp3Fixture> kFixtures = {
    {"cbr128_joint.mp3", 44100, 2, "-c:a libmp3lame -b:a 128k"},
    {"cbr320_stereo.mp3", 44100, 2, "-c:a libmp3lame -b:a 320k -joint_stereo 0"},
    {"vbr_xing.mp3", 44100, 2, "-c:a libmp3lame -q:a 4"},
    {"abr96.mp3", 44100, 2, "-c:a libmp3lame -abr 1 -b:a 96k"},
    {"mpeg2_mono.mp3", 22050, 1, "-c:a libmp3lame -b:a 32k"},
    {"mpeg25_stereo.mp3", 11025, 2, "-c:a libmp3lame -b:a 24k"},
    {"mpeg1_32k_deep.mp3", 48000, 2, "-c:a libmp3lame -b:a 32k"},
    {"no_lame_tag.mp3", 44100, 2, "-c:a libmp3lame -b:a 128k -write_xing 0"},
};

class Mp3Lossless : public TMp3CliSuite {
protected:
    static void SetUpTestSuite() { MakeFixtures("mp3lossless", kFixtures, 6.0); }
    void SetUp() override { SkipUnlessReady(SUNDRAL_CLI_PATH); }
};

// The tag frame of a file (after any ID3v2 tag) as the scanner reads it.
mp3scan::TMp3StreamInfo StreamInfo(const std::filesystem::path& File) {
    const std::vector<uint8_t> bytes = ReadFileBytes(File);
    mp3scan::TMp3FrameIndex index(
        [&bytes](int64_t Offset, uint8_t* Buffer, size_t Count) {
            if (Offset < 0 || size_t(Offset) >= bytes.size()) return size_t(0);
            const size_t n = std::min(Count, bytes.size() - size_t(Offset));
            std::memcpy(Buffer, bytes.data() + Offset, n);
            return n;
        },
        int64_t(bytes.size()));
    return index.Open();
}

TEST_F(Mp3Lossless, CutDecodesToTheSourcesOwnSamples) {
    for (const auto& f : kFixtures) {
        SCOPED_TRACE(f.Name);
        const auto source = Dir->File(f.Name);
        ASSERT_TRUE(std::filesystem::exists(source));
        const std::vector<int16_t> reference = Int16Samples(FfmpegDecodeBytes(source));
        const int64_t total = int64_t(reference.size() / f.Channels);
        ASSERT_GT(total, int64_t(f.Rate) * 5);
        const uint32_t spf = f.Rate >= 32000 ? 1152 : 576;
        // From the very start, from inside the first frames, mid-file on odd samples, up to
        // the very end.
        const std::pair<int64_t, int64_t> stretches[] = {{0, 1000},
                                                         {300, total / 3},
                                                         {12345, 12345 + 3 * f.Rate / 2 + 77},
                                                         {total / 2 + 1, total},
                                                         {total - 2 * spf - 5, total - 3}};
        for (const auto& [from, to] : stretches) {
            SCOPED_TRACE("samples " + std::to_string(from) + ".." + std::to_string(to));
            const auto out = Dir->File("out.mp3");
            const auto r = Cli("cut --samples --force -q --from " + std::to_string(from) +
                               " --to " + std::to_string(to) + " " + Q(source) + " " + Q(out));
            ASSERT_EQ(r.ExitCode, 0) << Stderr();
            EXPECT_EQ(Stderr(), "") << "a lossless cut makes no note";
            const std::vector<int16_t> cut = Int16Samples(FfmpegDecodeBytes(out));
            ASSERT_EQ(int64_t(cut.size()), (to - from) * f.Channels);
            size_t differ = 0, firstDiffer = 0;
            for (size_t i = 0; i < cut.size(); ++i)
                if (cut[i] != reference[size_t(from) * f.Channels + i] && differ++ == 0)
                    firstDiffer = i;
            EXPECT_EQ(differ, 0u) << "first at sample " << firstDiffer / f.Channels;

            // The program's own reader agrees on the length; the delay stays below 2 frames
            // (3 when the front frame's reservoir needs a frame of its own, at 320 kbps).
            const auto info = Cli("info --json " + Q(out));
            ASSERT_EQ(info.ExitCode, 0) << Stderr();
            EXPECT_EQ(nlohmann::json::parse(info.Output)["totalSamples"].get<int64_t>(), to - from);
            const auto scan = StreamInfo(out);
            ASSERT_TRUE(scan.Tag.HasLameTag);
            const bool carrier = std::string(f.Name).find("320") != std::string::npos;
            EXPECT_LT(scan.Tag.EncoderDelay, (carrier ? 3 : 2) * spf);
        }
    }
}

TEST_F(Mp3Lossless, TagsAroundTheAudioAreKept) {
    // ID3v2 in front; APEv2 and ID3v1 behind, in that order.
    const auto source = Dir->File("tagged.mp3");
    ASSERT_TRUE(MakeMediaFile(source, TestSignal(44100, 2, 3.0),
                              "-c:a libmp3lame -b:a 128k -id3v2_version 3 -write_id3v1 1 "
                              "-metadata title=Lossless -metadata artist=Tester"));
    std::vector<uint8_t> bytes = ReadFileBytes(source);
    // One item (value size, flags, key "Key", value "Value"), then the 32-byte footer:
    // "APETAGEX", version 2000, size of items and footer, item count.
    const size_t itemBytes = 4 + 4 + 4 + 5;
    std::vector<uint8_t> ape(itemBytes + 32, 0);
    ape[0] = 5;
    std::memcpy(&ape[8], "Key\0Value", 9);
    uint8_t* footer = &ape[itemBytes];
    std::memcpy(footer, "APETAGEX", 8);
    footer[8] = 0xD0, footer[9] = 0x07;
    footer[12] = uint8_t(ape.size());
    footer[16] = 1;
    bytes.insert(bytes.end() - 128, ape.begin(), ape.end());
    Dir->WriteBytes("tagged.mp3", bytes);
    const uint32_t id3v2 = 10 + ((uint32_t(bytes[6]) << 21) | (uint32_t(bytes[7]) << 14) |
                                 (uint32_t(bytes[8]) << 7) | bytes[9]);

    const auto out = Dir->File("tagged_out.mp3");
    ASSERT_EQ(Cli("cut --force -q --from 0.5 --to 2 " + Q(source) + " " + Q(out)).ExitCode, 0)
        << Stderr();
    const std::vector<uint8_t> cut = ReadFileBytes(out);
    const size_t tail = 128 + ape.size();
    ASSERT_GT(cut.size(), id3v2 + tail);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + id3v2, cut.begin()));
    EXPECT_TRUE(std::equal(bytes.end() - std::ptrdiff_t(tail), bytes.end(),
                           cut.end() - std::ptrdiff_t(tail)));
    EXPECT_EQ(
        RunCommand("ffprobe -v error -show_entries format_tags=title -of csv=p=0 " + Q(out)).Output,
        "Lossless\n");
    EXPECT_EQ(int64_t(FfmpegDecodeBytes(out).size()), int64_t(66150) * 4);
}

TEST_F(Mp3Lossless, TagCrcIsTheEncodersOwn) {
    // The encoder's tag frame carries the CRC of its first 190 bytes; the same function
    // must give it.
    const auto source = Dir->File("cbr128_joint.mp3");
    const std::vector<uint8_t> bytes = ReadFileBytes(source);
    size_t at = 0;
    if (bytes.size() > 10 && std::memcmp(bytes.data(), "ID3", 3) == 0)
        at = 10 + ((size_t(bytes[6]) << 21) | (size_t(bytes[7]) << 14) | (size_t(bytes[8]) << 7) |
                   bytes[9]);
    ASSERT_GT(bytes.size(), at + 192);
    const uint16_t stored = uint16_t((bytes[at + 190] << 8) | bytes[at + 191]);
    EXPECT_EQ(mp3frames::TagCrc(bytes.data() + at, 190), stored);

    const auto out = Dir->File("crc_out.mp3");
    ASSERT_EQ(Cli("cut --force -q --from 1 --to 2 " + Q(source) + " " + Q(out)).ExitCode, 0);
    const std::vector<uint8_t> cut = ReadFileBytes(out);
    ASSERT_GT(cut.size(), at + 192);
    EXPECT_EQ(mp3frames::TagCrc(cut.data() + at, 190),
              uint16_t((cut[at + 190] << 8) | cut[at + 191]));
    // The music CRC: over the audio frames after the tag frame, up to the music length (tag
    // frame included), worked out here bit by bit.
    TMpegHeader tagFrame;
    ASSERT_TRUE(ReadMpegHeader(cut, at, tagFrame));
    size_t word = at + 4;
    while (word < at + 40 && std::memcmp(cut.data() + word, "Info", 4) != 0 &&
           std::memcmp(cut.data() + word, "Xing", 4) != 0)
        ++word;
    ASSERT_LT(word, at + 40);
    const uint8_t* lame = cut.data() + word + 120;
    const std::string version(lame, lame + 4);
    ASSERT_TRUE(version == "LAME" || version == "Lavc" || version == "Lavf") << version;
    const size_t musicEnd = at + ((size_t(lame[28]) << 24) | (size_t(lame[29]) << 16) |
                                  (size_t(lame[30]) << 8) | lame[31]);
    ASSERT_LE(musicEnd, cut.size());
    uint16_t crc = 0;
    for (size_t i = at + tagFrame.FrameBytes; i < musicEnd; ++i) {
        crc ^= cut[i];
        for (int b = 0; b < 8; ++b) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    EXPECT_EQ(crc, uint16_t((lame[32] << 8) | lame[33]));
}

TEST_F(Mp3Lossless, AControlFollowsAndStopsTheCut) {
    // 1500 frames: the copy looks at its control more than once on the way.
    const auto source = Dir->File("long.mp3");
    ASSERT_TRUE(MakeMediaFile(source, TestSignal(44100, 1, 40.0), "-c:a libmp3lame -b:a 32k"));
    const int64_t start = 44100, end = 44100 * 39;
    struct TCase {
        const char* Name;
        bool StopFirst;  // stopped before it starts
        bool StopOnStep; // stopped at its first progress
        bool Done;
    } const cases[] = {
        {"runs to the end", false, false, true},
        {"stopped before it starts", true, false, false},
        {"stopped on the way", false, true, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto out = Dir->File("controlled.mp3");
        std::filesystem::remove(out);
        std::atomic<bool> stop{c.StopFirst};
        std::vector<int32_t> steps;
        mp3lossless::TCopyControl control;
        control.Stop = &stop;
        control.OnProgress = [&](int32_t Percent) {
            steps.push_back(Percent);
            if (c.StopOnStep) stop = true;
        };
        const mp3lossless::TCutResult r =
            mp3lossless::CutMp3(source.string(), out.string(), start, end, control);
        EXPECT_EQ(r.Status == mp3lossless::TCutStatus::csDone, c.Done) << r.Message;
        // A stopped cut leaves no file.
        EXPECT_EQ(std::filesystem::exists(out), c.Done);
        if (!c.Done) {
            EXPECT_EQ(r.Message, "Stopped");
            EXPECT_LE(steps.size(), 1u);
            continue;
        }
        ASSERT_GE(steps.size(), 2u);
        EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
        EXPECT_EQ(steps.back(), 100);
        EXPECT_EQ(int64_t(FfmpegDecodeBytes(out).size()), (end - start) * 2);
    }
}

TEST_F(Mp3Lossless, StreamsThatCannotBeCopiedAreReencodedOrRefused) {
    // Layer II; a stream whose sample rate changes; a last frame cut short; bytes that are no
    // MP3 at all. A stream cut short of what its tag says is measured by its frames, so it is
    // still copied.
    const auto mp2 = Dir->File("layer2.mp3");
    ASSERT_TRUE(MakeMediaFile(mp2, TestSignal(44100, 2, 2.0), "-c:a mp2 -b:a 192k -f mp2"));
    const auto a = Dir->File("a44.mp3"), b = Dir->File("b48.mp3");
    ASSERT_TRUE(MakeMediaFile(a, TestSignal(44100, 2, 2.0), "-c:a libmp3lame -write_xing 0"));
    ASSERT_TRUE(
        MakeMediaFile(b, TestSignal(48000, 2, 2.0), "-ar 48000 -c:a libmp3lame -write_xing 0"));
    std::vector<uint8_t> joined = ReadFileBytes(a), second = ReadFileBytes(b);
    joined.insert(joined.end(), second.begin(), second.end());
    const auto mixed = Dir->WriteBytes("mixed_rates.mp3", joined);
    std::vector<uint8_t> vbr = ReadFileBytes(Dir->File("vbr_xing.mp3"));
    vbr.resize(vbr.size() / 2);
    const auto truncated = Dir->WriteBytes("truncated.mp3", vbr);
    // Its last frame cut short (the side information is there): decoded with what it has,
    // but not copied.
    std::vector<uint8_t> cbr = ReadFileBytes(Dir->File("cbr128_joint.mp3"));
    cbr.resize(cbr.size() - 150);
    const auto cutShort = Dir->WriteBytes("cut_short.mp3", cbr);
    // Every frame claims more big values than a granule has: no decoder takes it, so it is
    // refused as the reader refuses it, not copied.
    std::vector<uint8_t> bad = ReadFileBytes(Dir->File("no_lame_tag.mp3"));
    size_t at = std::memcmp(bad.data(), "ID3", 3) == 0
                    ? 10 + ((size_t(bad[6]) << 21) | (size_t(bad[7]) << 14) |
                            (size_t(bad[8]) << 7) | bad[9])
                    : 0;
    TMpegHeader h;
    for (; ReadMpegHeader(bad, at, h) && !h.Crc; at += h.FrameBytes) {
        bad[at + 8] = 0xFF; // big_values of the first granule: side information bits 32..40
        bad[at + 9] |= 0x80;
    }
    ASSERT_GT(at, bad.size() / 2);
    const auto undecodable = Dir->WriteBytes("undecodable.mp3", bad);
    std::vector<uint8_t> noise(20000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t((i * 7919u) >> 3);
    const auto garbage = Dir->WriteBytes("garbage.mp3", noise);

    struct TCase {
        std::filesystem::path In;
        const char* Range;
        int Exit;
        const char* Says;
    } cases[] = {
        {mp2, "--from 0.5 --to 1.5", 0, "layer I and II"},
        {mixed, "--from 1 --to 3", 0, "sample rate changes"},
        {truncated, "--from 1 --to 5.5", 0, nullptr},
        {cutShort, "--from 1", 0, "the last frame is cut short"},
        {garbage, "--from 0 --to 1", 1, "garbage.mp3"},
        {undecodable, "--from 0 --to 1", 1, "the file holds no audio"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.In.filename().string());
        const auto out = Dir->File("refused.mp3");
        const auto r = Cli("cut --force -q " + std::string(c.Range) + " " + Q(c.In) + " " + Q(out));
        EXPECT_EQ(r.ExitCode, c.Exit) << Stderr();
        if (c.Says)
            EXPECT_NE(Stderr().find(c.Says), std::string::npos) << Stderr();
        else
            EXPECT_EQ(Stderr().find("re-encoding"), std::string::npos) << Stderr();
        if (c.Exit == 0) {
            EXPECT_GT(FfmpegDecodeBytes(out).size(), 0u);
        }
    }
}

TEST_F(Mp3Lossless, ReencodeChoosesTheEncoder) {
    // --reencode decodes and encodes again: the samples are close but no longer equal.
    const auto source = Dir->File("cbr128_joint.mp3");
    const auto out = Dir->File("reencoded.mp3");
    ASSERT_EQ(Cli("cut --force -q --reencode --samples --from 44100 --to 88200 " + Q(source) + " " +
                  Q(out))
                  .ExitCode,
              0)
        << Stderr();
    const std::vector<int16_t> reference = Int16Samples(FfmpegDecodeBytes(source));
    const std::vector<int16_t> cut = Int16Samples(FfmpegDecodeBytes(out));
    ASSERT_EQ(cut.size(), size_t(44100 * 2));
    EXPECT_FALSE(std::equal(cut.begin(), cut.end(), reference.begin() + 88200));
}

} // namespace
