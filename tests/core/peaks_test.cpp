// The peak computer, judged by ffmpeg's decode: exact min/max per bucket for WAV (through the
// readers and through `sundral-cli peaks --json`), MP3 and WMA; and the peak cache:
// used on a second open, ignored when the file changed or the entry is damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "FileBytes.h"
#include "MediaFiles.h"
#include "RunCommand.h"
#include "ScratchDir.h"
#include "audio/AuClassesFile.h"
#include "audio/AuFrames.h"
#include "edit/Designs.h"
#include "edit/PeakCache.h"
#include "edit/Peaks.h"

using namespace sundral;
using namespace sundral_test;

namespace {

// Min/max per bucket straight from ffmpeg's 16-bit decode, laid out as TPeakData::Data.
std::vector<int16_t> ReferencePeaks(const std::vector<int16_t>& Samples, uint32_t Channels,
                                    int64_t Spp, bool Merged) {
    std::vector<int16_t> out;
    const int64_t frames = int64_t(Samples.size()) / Channels;
    for (int64_t first = 0; first < frames; first += Spp) {
        const int64_t last = std::min(frames, first + Spp);
        const uint32_t outChannels = Merged ? 1 : Channels;
        for (uint32_t oc = 0; oc < outChannels; ++oc) {
            int16_t lo = INT16_MAX, hi = INT16_MIN;
            for (int64_t f = first; f < last; ++f) {
                for (uint32_t c = 0; c < Channels; ++c) {
                    if (!Merged && c != oc) continue;
                    lo = std::min(lo, Samples[size_t(f * Channels + c)]);
                    hi = std::max(hi, Samples[size_t(f * Channels + c)]);
                }
            }
            out.push_back(lo);
            out.push_back(hi);
        }
    }
    return out;
}

TPeakData ReaderPeaks(const std::string& File, int64_t Spp, bool Merged) {
    TComponent owner(nullptr);
    TAuFileIn* reader = NewReader(SoundKindOf(File), &owner);
    reader->SetFileName(File);
    EXPECT_EQ(reader->InvalidReason(), ""); // opens the file, as the windows and the CLI do
    return ComputePeaks(*reader, Spp, Merged);
}

class Peaks : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ToolAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is missing";
        setenv("XDG_CACHE_HOME", Dir.File("cache").c_str(), 1);
    }
    std::string Make(const std::string& Name, uint32_t Channels, double Seconds,
                     const std::string& Args) {
        const std::string path = Dir.File(Name).string();
        EXPECT_TRUE(MakeMediaFile(path, TestSignal(44100, Channels, Seconds),
                                  "-ar 44100 -ac " + std::to_string(Channels) + " " + Args));
        return path;
    }
    ScratchDir Dir{"peaks"};
};

TEST_F(Peaks, WavMatchesFfmpegExactly) {
    struct TCase {
        const char* Name;
        uint32_t Channels;
        const char* Args;
        int64_t Spp;
        bool Merged;
    };
    const TCase cases[] = {
        {"s16.wav", 2, "-c:a pcm_s16le", 1000, false},
        {"s16m.wav", 2, "-c:a pcm_s16le", 441, true},
        {"u8.wav", 1, "-c:a pcm_u8", 256, false},
        {"one.wav", 2, "-c:a pcm_s16le", 1, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = Make(c.Name, c.Channels, 1.3, c.Args);
        const auto samples = Int16Samples(FfmpegDecodeBytes(file));
        const TPeakData peaks = ReaderPeaks(file, c.Spp, c.Merged);
        EXPECT_EQ(peaks.Channels, c.Merged ? 1u : c.Channels);
        EXPECT_EQ(peaks.TotalFrames, int64_t(samples.size() / c.Channels));
        EXPECT_EQ(peaks.Data, ReferencePeaks(samples, c.Channels, c.Spp, c.Merged));
    }
    // 16-bit files of the corpus, read in place.
    const std::filesystem::path corpus = SUNDRAL_CORPUS_DIR;
    int checked = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus, ec)) {
        if (checked == 6 || entry.path().extension() != ".wav") continue;
        const std::string probe =
            RunCommand("ffprobe -v error -show_entries stream=codec_name,channels -of csv=p=0 " +
                       ShellQuote(entry.path().string()) + " 2>/dev/null")
                .Output;
        if (probe.rfind("pcm_s16le,", 0) != 0) continue;
        const uint32_t channels = uint32_t(std::atoi(probe.c_str() + 10));
        TPeakData peaks;
        try {
            peaks = ReaderPeaks(entry.path().string(), 512, false);
        } catch (const std::exception&) {
            continue; // files the reader refuses are judged elsewhere
        }
        SCOPED_TRACE(entry.path().string());
        const auto samples = Int16Samples(FfmpegDecodeBytes(entry.path()));
        EXPECT_EQ(peaks.Data, ReferencePeaks(samples, channels, 512, false));
        ++checked;
    }
}

// MP3 and WMA peaks are taken from the decoder's own frames; they equal the min/max of
// ffmpeg's 16-bit decode bucket for bucket, for each kind of frame that path meets: MPEG-1,
// MPEG-2 and MPEG-2.5 layer III, layer II, mono frames inside a stereo stream (converted on
// the way), WMA versions 1 and 2.
TEST_F(Peaks, CompressedFilesMatchFfmpeg) {
    struct TCase {
        const char* Name;
        uint32_t Channels;
        const char* Args;
        int64_t Spp;
        bool Merged;
        bool MonoInside; // stereo, mono and stereo again, as one stream without a tag
    };
    const char* lame = "-c:a libmp3lame -b:a 128k";
    const TCase cases[] = {
        {"st44.mp3", 2, lame, 4410, false, false},
        {"mo44.mp3", 1, "-c:a libmp3lame -b:a 64k", 1000, false, false},
        {"st22.mp3", 2, "-ar 22050 -c:a libmp3lame -b:a 64k", 441, true, false},
        {"mo16.mp3", 1, "-ar 16000 -c:a libmp3lame -b:a 32k", 160, false, false},
        {"mo8.mp3", 1, "-ar 8000 -c:a libmp3lame -b:a 16k", 80, false, false},
        {"layer2.mp3", 2, "-ar 48000 -c:a mp2 -b:a 192k -f mp2", 480, false, false},
        {"mixed.mp3", 2, "-c:a libmp3lame -b:a 128k -write_xing 0 -id3v2_version 0", 441, false,
         true},
        {"st44.wma", 2, "-c:a wmav2 -b:a 128k", 4410, true, false},
        {"mo22.wma", 1, "-ar 22050 -c:a wmav1 -b:a 32k", 441, false, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string file;
        if (c.MonoInside) {
            const auto stereo = ReadFileBytes(Make("part2.mp3", 2, 1.5, c.Args));
            const auto mono = ReadFileBytes(Make("part1.mp3", 1, 1.5, c.Args));
            std::vector<uint8_t> bytes = stereo;
            bytes.insert(bytes.end(), mono.begin(), mono.end());
            bytes.insert(bytes.end(), stereo.begin(), stereo.end());
            file = Dir.WriteBytes(c.Name, bytes).string();
        } else {
            file = Make(c.Name, c.Channels, 2.5, c.Args);
        }
        const auto samples = Int16Samples(FfmpegDecodeBytes(file));
        ASSERT_FALSE(samples.empty());
        const TPeakData peaks = ReaderPeaks(file, c.Spp, c.Merged);
        EXPECT_EQ(peaks.Channels, c.Merged ? 1u : c.Channels);
        EXPECT_EQ(peaks.TotalFrames, int64_t(samples.size() / c.Channels));
        EXPECT_EQ(peaks.Data, ReferencePeaks(samples, c.Channels, c.Spp, c.Merged));
    }
}

// Where the decoder refuses units, the reader puts silence of their length (ffmpeg drops
// them instead, so it cannot judge): the peaks then equal those of the reader's own 16-bit
// output, read as PCM, for damaged MP3 and WMA files.
TEST_F(Peaks, DamagedFilesMatchTheReadersPcm) {
    for (const std::string args : {"-c:a libmp3lame -b:a 128k", "-c:a wmav2 -b:a 128k"}) {
        SCOPED_TRACE(args);
        const bool mp3 = args.find("lame") != std::string::npos;
        std::vector<uint8_t> bytes = ReadFileBytes(Make(mp3 ? "d.mp3" : "d.wma", 2, 4, args));
        ASSERT_GT(bytes.size(), 40000u);
        for (size_t at = bytes.size() / 2; at < bytes.size() / 2 + 1200; at += 5) bytes[at] ^= 0x5a;
        const std::string file = Dir.WriteBytes(mp3 ? "damaged.mp3" : "damaged.wma", bytes);
        TComponent owner(nullptr);
        TAuFileIn* reader = NewReader(SoundKindOf(file), &owner);
        reader->SetFileName(file);
        std::vector<int16_t> pcm;
        uint32_t channels = 0;
        ReadWholeFrames(
            *reader, "test", 1 << 16,
            [&](uint32_t Bits, uint32_t Channels) {
                ASSERT_EQ(Bits, 16u);
                channels = Channels;
            },
            [&](const uint8_t* Data, size_t Frames) {
                const auto* p = reinterpret_cast<const int16_t*>(Data);
                pcm.insert(pcm.end(), p, p + Frames * channels);
                return true;
            });
        ASSERT_EQ(channels, 2u);
        for (const bool merged : {false, true}) {
            const TPeakData peaks = ReaderPeaks(file, 1000, merged);
            EXPECT_EQ(peaks.TotalFrames, int64_t(pcm.size() / 2));
            EXPECT_EQ(peaks.Data, ReferencePeaks(pcm, 2, 1000, merged)) << merged;
        }
    }
}

TEST_F(Peaks, CliPrintsWaveformDataJson) {
    if (std::strlen(SUNDRAL_CLI_PATH) == 0) GTEST_SKIP() << "sundral-cli not built";
    const std::string file = Make("cli.wav", 2, 2.05, "-c:a pcm_s16le");
    const auto samples = Int16Samples(FfmpegDecodeBytes(file));
    const int64_t frames = int64_t(samples.size() / 2);
    struct TCase {
        const char* Args;
        uint32_t Channels;
        int64_t Spp;
    };
    const TCase cases[] = {
        {"--channels all --pixels-per-second 10", 2, 4410},
        {"--width 300", 1, (frames + 299) / 300},
        {"", 1, 256},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Args);
        const auto r = RunCommand(ShellQuote(SUNDRAL_CLI_PATH) + " peaks --json " + c.Args + " " +
                                  ShellQuote(file));
        ASSERT_EQ(r.ExitCode, 0);
        const auto j = nlohmann::json::parse(r.Output);
        EXPECT_EQ(j["version"], 2);
        EXPECT_EQ(j["bits"], 16);
        EXPECT_EQ(j["sample_rate"], 44100);
        EXPECT_EQ(j["channels"], c.Channels);
        EXPECT_EQ(j["samples_per_pixel"], c.Spp);
        const auto want = ReferencePeaks(samples, 2, c.Spp, c.Channels == 1);
        EXPECT_EQ(j["length"], int64_t(want.size() / (2 * c.Channels)));
        EXPECT_EQ(j["data"].get<std::vector<int16_t>>(), want);
    }
    for (const char* bad : {"--width 0", "--channels left", "--width 5 --pixels-per-second 5"}) {
        const auto r = RunCommand(ShellQuote(SUNDRAL_CLI_PATH) + " peaks " + bad + " " +
                                  ShellQuote(file) + " 2>/dev/null");
        EXPECT_EQ(r.ExitCode, 2) << bad;
    }
}

// Runs a job to its end and returns what it delivered.
TPeakData JobPeaks(const std::string& File, bool& FromCache) {
    TPeakJob job(File, 256);
    while (job.State() == TPeakJob::TState::Running) std::this_thread::yield();
    EXPECT_EQ(job.State(), TPeakJob::TState::Done) << job.Error();
    FromCache = job.FromCache();
    TPeakData peaks;
    job.Read([&](const TPeakData& P) { peaks = P; });
    return peaks;
}

TEST_F(Peaks, CacheUsedInvalidatedAndRepaired) {
    const std::string file = Make("cached.wav", 2, 1.5, "-c:a pcm_s16le");
    const auto want = ReferencePeaks(Int16Samples(FfmpegDecodeBytes(file)), 2, 256, false);
    bool fromCache = true;
    EXPECT_EQ(JobPeaks(file, fromCache).Data, want);
    EXPECT_FALSE(fromCache);
    TPeakCacheKey key;
    ASSERT_TRUE(PeakCacheKeyOf(file, 256, key));
    const std::string entry = PeakCacheFile(key);
    EXPECT_EQ(entry.rfind(Dir.File("cache").string() + "/Orvane/Sundral/", 0), 0u) << entry;
    ASSERT_TRUE(std::filesystem::exists(entry));
    EXPECT_EQ(JobPeaks(file, fromCache).Data, want);
    EXPECT_TRUE(fromCache);

    // A changed file (other content, same name) is read afresh.
    Make("cached.wav", 1, 1.0, "-c:a pcm_s16le");
    const auto changed = ReferencePeaks(Int16Samples(FfmpegDecodeBytes(file)), 1, 256, false);
    EXPECT_EQ(JobPeaks(file, fromCache).Data, changed);
    EXPECT_FALSE(fromCache);

    // Damaged entries: a flipped value, a cut-short one, garbage; each ignored and rebuilt.
    ASSERT_TRUE(PeakCacheKeyOf(file, 256, key));
    const std::vector<uint8_t> good = ReadFileBytes(entry);
    ASSERT_GT(good.size(), 100u);
    std::vector<uint8_t> flipped = good;
    flipped[good.size() - 20] ^= 0x40;
    const std::vector<std::vector<uint8_t>> damaged = {
        flipped, std::vector<uint8_t>(good.begin(), good.end() - 9), {'S', 'D', 'P', 'K', 1}};
    for (const auto& bytes : damaged) {
        TPeakData decoded;
        EXPECT_FALSE(DecodePeakCache(bytes.data(), bytes.size(), key, decoded));
        std::filesystem::remove(entry);
        Dir.WriteBytes("entry", bytes);
        std::filesystem::copy_file(Dir.File("entry"), entry);
        EXPECT_EQ(JobPeaks(file, fromCache).Data, changed);
        EXPECT_FALSE(fromCache);
        EXPECT_EQ(ReadFileBytes(entry), good); // rebuilt
    }
}

} // namespace
