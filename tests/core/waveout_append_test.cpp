// Appending with the WAV writer: to its own PCM and IMA files and to files other tools
// made, and the cases where it must refuse and leave the file exactly as it was.
#include <gtest/gtest.h>

#include "FileBytes.h"
#include "PcmPatternSource.h"
#include "RiffBytes.h"
#include "RunCommand.h"
#include "RunSink.h"
#include "ScratchDir.h"
#include "WaveTools.h"
#include "formats/AuWaveOut.h"
#include "formats/AuWaveOutAppend.h"

using namespace sundral;
using namespace sundral_test;

namespace {

// Writes Frames of the pattern as a new file with the given encoding.
std::vector<uint8_t> WriteNew(const std::filesystem::path& File, TWavType Type, uint32_t Rate,
                              uint16_t Channels, uint16_t Bits, int64_t Frames) {
    TPcmPatternSource src(Rate, Channels, Bits, Frames);
    TWaveOut w(nullptr);
    w.SetWavType(Type);
    w.SetFileName(File.string());
    EXPECT_EQ(RunToDone(w, src), "");
    return src.Data;
}

std::string Append(const std::filesystem::path& File, TPcmPatternSource& Src,
                   TWavType Type = TWavType::wtPCM) {
    TWaveOut w(nullptr);
    w.SetWavType(Type);
    w.SetFileMode(TFileOutputMode::foAppend);
    w.SetFileName(File.string());
    return RunToDone(w, Src);
}

bool Shell(const std::string& Command) {
    return RunCommand(Command + " >/dev/null 2>&1").ExitCode == 0;
}

} // namespace

TEST(WaveOutAppend, PcmDataGoesAtTheEndAndSizesCoverIt) {
    ScratchDir dir("waveappend");
    const auto file = dir.File("a.wav");
    const std::vector<uint8_t> first = WriteNew(file, TWavType::wtPCM, 44100, 2, 16, 5000);
    TPcmPatternSource second(44100, 2, 16, 3000, 0.25);
    second.ReportedSize = -1; // also when the input does not know its size
    ASSERT_EQ(Append(file, second), "");
    const auto bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 44u + 32000u);
    EXPECT_EQ(U32At(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(U32At(bytes, 40), 32000u);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), bytes.begin() + 44));
    EXPECT_TRUE(std::equal(second.Data.begin(), second.Data.end(), bytes.begin() + 20044));
    EXPECT_EQ(SoxFrames(file), 8000);
    EXPECT_FALSE(FfprobeStreams(file).empty());

    // Appending to a file that is not there, or is empty, writes a new one.
    for (const char* name : {"missing.wav", "empty.wav"}) {
        if (std::string(name) == "empty.wav") WriteFileBytes(dir.File(name), {});
        TPcmPatternSource src(8000, 1, 8, 700);
        ASSERT_EQ(Append(dir.File(name), src), "");
        EXPECT_EQ(SoxFrames(dir.File(name)), 700) << name;
    }
}

// Audio of an odd size ends with a pad byte that only the RIFF size counts; appending goes
// over it, and a padded chunk before the audio is passed like the reader passes it.
TEST(WaveOutAppend, OddSizedAudioIsPaddedAndAppendingGoesOverThePad) {
    ScratchDir dir("waveappend");
    const auto file = dir.File("odd.wav");
    std::vector<uint8_t> audio = WriteNew(file, TWavType::wtPCM, 48000, 1, 24, 101);
    for (int64_t frames : {int64_t(3), int64_t(1), int64_t(0)}) {
        auto bytes = ReadFileBytes(file);
        const size_t data = audio.size();
        ASSERT_EQ(bytes.size(), 44 + data + (data & 1)) << data;
        EXPECT_EQ(U32At(bytes, 40), data);
        EXPECT_EQ(U32At(bytes, 4), bytes.size() - 8);
        EXPECT_TRUE(std::equal(audio.begin(), audio.end(), bytes.begin() + 44));
        EXPECT_EQ(SoxFrames(file), int64_t(data / 3));
        EXPECT_FALSE(FfprobeStreams(file).empty());
        TPcmPatternSource more(48000, 1, 24, frames, 0.1 * double(frames));
        ASSERT_EQ(Append(file, more), "") << data;
        audio.insert(audio.end(), more.Data.begin(), more.Data.end());
    }

    // "abc " is 3 bytes long and carries its pad byte.
    TBytes frames(400);
    for (size_t i = 0; i < frames.size(); ++i) frames[i] = uint8_t(i * 7);
    const auto tool =
        dir.WriteBytes("tool.wav", RiffImage({{"fmt ", FmtBody(WAVE_FORMAT_PCM, 1, 8000, 2, 16)},
                                              {"abc ", TBytes{1, 2, 3}},
                                              {"data", frames}}));
    TPcmPatternSource more(8000, 1, 16, 50);
    ASSERT_EQ(Append(tool, more), "");
    const auto bytes = ReadFileBytes(tool);
    EXPECT_EQ(U32At(bytes, bytes.size() - 400 - 100 - 4), 500u);
    EXPECT_EQ(SoxFrames(tool), 250);
}

TEST(WaveOutAppend, ToAFileAnotherToolWroteWithExtraChunks) {
    if (!ToolAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    ScratchDir dir("waveappend");
    const auto file = dir.File("tool.wav");
    // ffmpeg puts a LIST chunk between "fmt " and "data".
    ASSERT_TRUE(
        Shell("ffmpeg -v error -f lavfi -i sine=frequency=300:duration=0.5:sample_rate=22050 "
              "-ac 1 -c:a pcm_s16le " +
              ShellQuote(file.string())));
    const auto before = ReadFileBytes(file);
    const TWaveAppendInfo info = [&] {
        TMemoryStream s;
        s.Write(before.data(), int64_t(before.size()));
        return WaveAppendScan(s);
    }();
    ASSERT_EQ(info.WavType, TWavType::wtPCM);
    ASSERT_GT(info.DataStart, 44); // the extra chunk is there

    TPcmPatternSource src(22050, 1, 16, 1234);
    ASSERT_EQ(Append(file, src), "");
    const auto bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), before.size() + src.Data.size());
    EXPECT_TRUE(std::equal(before.begin() + 8, before.begin() + info.DataSizeOffset,
                           bytes.begin() + 8)); // everything between the sizes is kept
    EXPECT_EQ(U32At(bytes, size_t(info.DataSizeOffset)), bytes.size() - size_t(info.DataStart));
    EXPECT_EQ(U32At(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(SoxFrames(file), 11025 + 1234);
}

TEST(WaveOutAppend, ImaBlocksFollowTheExistingOnesAndFactCountsWhatPlays) {
    ScratchDir dir("waveappend");
    const auto file = dir.File("ima.wav");
    WriteNew(file, TWavType::wtDVIADPCM, 44100, 1, 16, 3000); // 3 blocks of 1017 frames
    TPcmPatternSource second(44100, 1, 16, 2000, 0.3);
    // The writer's own type setting does not matter: the file decides.
    ASSERT_EQ(Append(file, second, TWavType::wtPCM), "");
    const auto bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 60u + 5u * 512u);
    EXPECT_EQ(U32At(bytes, 56), 5u * 512u);
    EXPECT_EQ(U32At(bytes, 48), 3u * 1017u + 2000u); // the first file's padding now plays
    EXPECT_EQ(U32At(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(int16_t(U16At(bytes, 60 + 3 * 512)), second.Sample16(0, 0));
    EXPECT_EQ(FfmpegDecodeS16(file).size(), 5u * 1017u);
    EXPECT_FALSE(FfprobeStreams(file).empty());
    EXPECT_GT(SoxFrames(file), 0);
}

TEST(WaveOutAppend, ToAnImaFileAnotherToolWrote) {
    if (!ToolAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    ScratchDir dir("waveappend");
    const auto file = dir.File("tool_ima.wav");
    ASSERT_TRUE(
        Shell("ffmpeg -v error -f lavfi -i sine=frequency=300:duration=0.3:sample_rate=44100 "
              "-ac 2 -c:a adpcm_ima_wav " +
              ShellQuote(file.string())));
    const auto before = ReadFileBytes(file);
    const uint16_t blockAlign = U16At(before, 32);
    const size_t decodedBefore = FfmpegDecodeS16(file).size();
    TPcmPatternSource src(44100, 2, 16, 4000);
    TWaveOut w(nullptr);
    w.SetFileMode(TFileOutputMode::foAppend);
    w.SetFileName(file.string());
    ASSERT_EQ(RunToDone(w, src), "");
    EXPECT_EQ(w.WavType(), TWavType::wtDVIADPCM);
    EXPECT_EQ(w.BlockSize(), blockAlign); // the file's blocks, not the writer's 512
    const uint32_t spb = blockAlign - 7u;
    const size_t blocks = (4000 + spb - 1) / spb;
    const auto bytes = ReadFileBytes(file);
    EXPECT_EQ(bytes.size(), before.size() + blocks * blockAlign);
    EXPECT_EQ(FfmpegDecodeS16(file).size(), decodedBefore + blocks * spb * 2);
}

TEST(WaveOutAppend, RefusalsLeaveTheFileUnchanged) {
    ScratchDir dir("waveappend");
    const auto pcm = dir.File("pcm.wav");
    const auto ima = dir.File("ima.wav");
    WriteNew(pcm, TWavType::wtPCM, 44100, 2, 16, 1000);
    WriteNew(ima, TWavType::wtDVIADPCM, 44100, 1, 16, 1000);
    const auto pcmBytes = ReadFileBytes(pcm);

    auto expectRefused = [&](const std::filesystem::path& File, TPcmPatternSource& Src,
                             const std::string& Message) {
        const auto before = ReadFileBytes(File);
        EXPECT_EQ(Append(File, Src), Message) << File;
        EXPECT_EQ(ReadFileBytes(File), before) << File;
        EXPECT_FALSE(Src.Busy());
    };
    const std::string format = "Cannot append data in different audio format.";
    TPcmPatternSource rate(22050, 2, 16, 100), mono(44100, 1, 16, 100), bits(44100, 2, 8, 100);
    expectRefused(pcm, rate, format);
    expectRefused(pcm, mono, format);
    expectRefused(pcm, bits, format);
    TPcmPatternSource eightBit(44100, 1, 8, 100), imaRate(48000, 1, 16, 100);
    expectRefused(ima, eightBit, "Cannot encode 8 bit sound into ADPCM.");
    expectRefused(ima, imaRate, format);

    // Files whose layout would make appended audio unreadable or wrong, each with its reason.
    struct TBad {
        const char* Name;
        std::vector<uint8_t> Bytes;
        const char* Why;
    };
    std::vector<TBad> bad;
    bad.push_back({"text.wav",
                   {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v', 'e'},
                   "no RIFF/WAVE header was found"});
    auto trailing = pcmBytes; // a chunk after the audio would become audio
    for (char c : std::string("LIST\4\0\0\0abcd")) trailing.push_back(uint8_t(c));
    bad.push_back({"trailing.wav", trailing, "other chunks follow its audio"});
    auto torn = pcmBytes; // half a frame at the end: what follows would be out of step
    torn.resize(torn.size() - 2);
    bad.push_back({"torn.wav", torn, "its audio ends inside a frame"});
    auto floatTag = pcmBytes;
    floatTag[20] = 3;
    bad.push_back({"float.wav", floatTag, "only plain PCM and IMA ADPCM files are appended to"});
    auto big = pcmBytes; // sizes and samples would have to be written big-endian
    std::copy_n("RIFX", 4, big.begin());
    bad.push_back({"rifx.wav", big, "big-endian (RIFX) files are not appended to"});
    auto imaNoFact = ReadFileBytes(ima); // the frame count would stay behind
    std::copy_n("junk", 4, imaNoFact.begin() + std::ptrdiff_t(FindChunk(imaNoFact, "fact") - 8));
    bad.push_back(
        {"imanofact.wav", imaNoFact, "its IMA ADPCM audio has no \"fact\" chunk before it"});
    for (TBad& b : bad) {
        WriteFileBytes(dir.File(b.Name), b.Bytes);
        const uint16_t channels = b.Name == std::string("imanofact.wav") ? 1 : 2;
        TPcmPatternSource src(44100, channels, 16, 100);
        expectRefused(dir.File(b.Name), src,
                      std::string("Cannot append data to this .wav file: ") + b.Why + ".");
    }
}

// However large the chunks before the audio (here past the walker's first 64 KB), the audio
// is added at the end; ffmpeg and sox read the old audio followed by the new.
TEST(WaveOutAppend, LargeChunksBeforeTheAudioArePassed) {
    if (!ToolAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    ScratchDir dir("waveappend");
    struct TCase {
        const char* What;
        TWavType Type;
        size_t Before, Between; // chunk bytes before "fmt " and between it and "data"
    };
    for (const TCase c : {TCase{"PCM, 5 KB before fmt", TWavType::wtPCM, 5000, 0},
                          {"PCM, 70 KB before data", TWavType::wtPCM, 0, 70001},
                          {"IMA, 5 KB + 70 KB", TWavType::wtDVIADPCM, 5000, 70000}}) {
        SCOPED_TRACE(c.What);
        const auto file = dir.File("deep.wav");
        WriteNew(file, c.Type, 22050, 1, 16, 3000);
        auto bytes = ReadFileBytes(file);
        const std::vector<int16_t> firstDecoded = FfmpegDecodeS16(file);
        auto insertAt = [&](size_t At, const char* Code, size_t Size) {
            std::vector<uint8_t> chunk(Code, Code + 4);
            for (int i = 0; i < 4; ++i) chunk.push_back(uint8_t(Size >> (8 * i)));
            chunk.resize(chunk.size() + Size + (Size & 1), uint8_t(0x5A));
            bytes.insert(bytes.begin() + std::ptrdiff_t(At), chunk.begin(), chunk.end());
        };
        if (c.Between) insertAt(FindChunk(bytes, "data") - 8, "bext", c.Between);
        if (c.Before) insertAt(12, "JUNK", c.Before);
        const uint32_t riff = uint32_t(bytes.size() - 8);
        for (int i = 0; i < 4; ++i) bytes[4 + size_t(i)] = uint8_t(riff >> (8 * i));
        WriteFileBytes(file, bytes);
        ASSERT_EQ(FfmpegDecodeS16(file), firstDecoded) << "the test's file is sound";

        TPcmPatternSource more(22050, 1, 16, 2000, 0.3);
        ASSERT_EQ(Append(file, more, c.Type), "");
        auto after = ReadFileBytes(file);
        const size_t data = FindChunk(bytes, "data");
        ASSERT_GT(after.size(), bytes.size());
        if (c.Type == TWavType::wtDVIADPCM) {
            // "fact" counts every frame of the old blocks, then the new ones.
            const size_t fact = FindChunk(bytes, "fact");
            const uint32_t spb = U16At(bytes, FindChunk(bytes, "fmt ") + 18);
            EXPECT_EQ(U32At(after, fact), (3000 + spb - 1) / spb * spb + 2000);
            std::copy_n(bytes.begin() + std::ptrdiff_t(fact), 4,
                        after.begin() + std::ptrdiff_t(fact));
        }
        EXPECT_TRUE(std::equal(bytes.begin() + 8, bytes.begin() + std::ptrdiff_t(data - 4),
                               after.begin() + 8))
            << "every chunk before the audio is kept";
        EXPECT_TRUE(std::equal(bytes.begin() + std::ptrdiff_t(data), bytes.end(),
                               after.begin() + std::ptrdiff_t(data)))
            << "the old audio is kept";
        EXPECT_EQ(U32At(after, 4), after.size() - 8);
        EXPECT_EQ(U32At(after, data - 4), after.size() - data);
        const std::vector<int16_t> decoded = FfmpegDecodeS16(file);
        ASSERT_GE(decoded.size(), firstDecoded.size() + 2000);
        EXPECT_TRUE(std::equal(firstDecoded.begin(), firstDecoded.end(), decoded.begin()));
        if (c.Type == TWavType::wtPCM) {
            EXPECT_EQ(SoxFrames(file), 5000);
            ASSERT_EQ(decoded.size(), 5000u);
            for (int64_t i = 0; i < 2000; ++i)
                ASSERT_EQ(decoded[size_t(3000 + i)], more.Sample16(i, 0)) << i;
        }
    }
}

TEST(WaveOutAppend, BytesBeforeRiffStayAndTheRiffSizeIsPatchedWhereItIs) {
    ScratchDir dir("waveappend");
    const auto file = dir.File("prefixed.wav");
    WriteNew(file, TWavType::wtPCM, 8000, 1, 16, 100);
    auto bytes = ReadFileBytes(file);
    bytes.insert(bytes.begin(), {'x', 'y', 'z'});
    WriteFileBytes(file, bytes);
    TPcmPatternSource src(8000, 1, 16, 50);
    ASSERT_EQ(Append(file, src), "");
    const auto after = ReadFileBytes(file);
    ASSERT_EQ(after.size(), 3u + 44u + 300u);
    EXPECT_EQ(std::string(after.begin(), after.begin() + 7), "xyzRIFF");
    EXPECT_EQ(U32At(after, 7), after.size() - 3 - 8);
    EXPECT_EQ(U32At(after, 43), 300u);
}

TEST(WaveOutAppendScan, CodesMatchInEitherCaseAndSizesAreBounded) {
    auto scan = [](std::vector<uint8_t> Bytes) {
        TMemoryStream s;
        s.Write(Bytes.data(), int64_t(Bytes.size()));
        return WaveAppendScan(s);
    };
    std::vector<uint8_t> h = {'r',  'i',  'f', 'f', 0,    0,    0, 0, 'w', 'a', 'v', 'e',
                              'F',  'M',  'T', ' ', 16,   0,    0, 0, 1,   0,   1,   0,
                              0x40, 0x1F, 0,   0,   0x80, 0x3E, 0, 0, 2,   0,   16,  0,
                              'D',  'A',  'T', 'A', 4,    0,    0, 0, 1,   2,   3,   4};
    TWaveAppendInfo info = scan(h);
    EXPECT_EQ(info.WavType, TWavType::wtPCM);
    EXPECT_EQ(info.DataStart, 44);
    EXPECT_EQ(info.DataSizeOffset, 40);
    EXPECT_TRUE(WaveAppendLayoutSound(info, int64_t(h.size())));

    // A format body that claims more bytes than the file has is not read.
    auto longFmt = h;
    longFmt[16] = 0xFF;
    longFmt[17] = 0xFF;
    EXPECT_EQ(scan(longFmt).WavType, TWavType::wtUnsupported);
    // A format body too short for the fields.
    auto shortFmt = h;
    shortFmt[16] = 8;
    EXPECT_EQ(scan(shortFmt).WavType, TWavType::wtUnsupported);
    // Cut anywhere before the data chunk's size: not found, nothing read past the end.
    for (size_t n = 0; n < 44; ++n)
        EXPECT_EQ(scan({h.begin(), h.begin() + std::ptrdiff_t(n)}).WavType, TWavType::wtUnsupported)
            << n;
}
