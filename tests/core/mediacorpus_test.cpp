// The MP3 and WMA readers, the media player and the reader's range on MP3 and WMA files from
// other projects' test data, read in place from the shared corpus folders (the test skips
// when they are absent). ffmpeg judges each file's length; where ffmpeg is the one that is
// wrong the file is listed with the reason, as is every file the readers refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "RunCommand.h"
#include "SourceData.h"
#include "formats/AuMp3In.h"
#include "formats/AuWinMedia.h"
#include "platform/mci.h"

using namespace sundral;
using namespace sundral_test;

namespace {

namespace fs = std::filesystem;

// Files the readers refuse, by their path below the corpus folder, and the reason given.
const std::map<std::string, std::string> kRefused = {
    {"mp3/audio-scan/v2.3-ext-header.mp3", "the file holds no audio stream"},
    {"mp3/audio-scan/v2.3-no-audio-frames.mp3", "the file holds no audio stream"},
    {"mp3/exiftool/MP3.mp3", "the file holds no audio stream"},
    {"mp3/hsaudiotag/double_id3.mp3", "the file holds no audio stream"},
    {"mp3/hsaudiotag/vbr_fhg.mp3", "the file holds no audio"},
    {"mp3/hsaudiotag/with_footer.mp3", "not an MP3 or WMA file"},
    {"mp3/jaudiotagger/Issue81.mp3", "not an MP3 or WMA file"},
    {"mp3/minimp3/l2-nonstandard-free_format.mp3", "not an MP3 or WMA file"},
    {"mp3/minimp3/l3-he_free.mp3", "not an MP3 or WMA file"},
    {"mp3/minimp3/l3-nonstandard-big-iscf.mp3", "not an MP3 or WMA file"},
    {"mp3/minimp3/l3-nonstandard-id3v2-only.mp3", "the file holds no audio stream"},
    {"mp3/minimp3/l3-nonstandard-sideinfo-size.mp3", "not an MP3 or WMA file"},
    {"mp3/minimp3/l3-nonstandard-small.mp3", "not an MP3 or WMA file"},
    {"mp3/minimp3/l3-nonstandard-vbrtag-corrupted.mp3", "the file holds no audio"},
    {"mp3/minimp3/l3-nonstandard-vbrtag-oob-read.mp3", "the file holds no audio"},
    {"mp3/mutagen/bad-POPM-frame.mp3", "the file holds no audio stream"},
    {"mp3/mutagen/emptyfile.mp3", "not an MP3 or WMA file"},
    {"mp3/taglib/compressed_id3_frame.mp3", "the file holds no audio stream"},
    {"mp3/taglib/excessive_alloc.mp3", "the file holds no audio stream"},
    {"mp3/taglib/extended-header.mp3", "the file holds no audio stream"},
    {"mp3/taglib/itunes10.mp3", "the file holds no audio"},
    {"mp3/taglib/w000.mp3", "the file holds no audio stream"},
    {"mp3/tinytag/cover_img.mp3", "the file holds no audio stream"},
    {"mp3/tinytag/id3_image_jfif.mp3", "the file holds no audio stream"},
    {"mp3/tinytag/incomplete.mp3", "not an MP3 or WMA file"},
    {"wma/atldotnet/classes1-6.wma", "the file holds no audio"},
    {"wma/atldotnet/date_in_year.wma", "WMA Voice is not supported"},
    {"wma/atldotnet/wma.wma", "WMA Voice is not supported"},
    {"wma/audio-scan/bug17355-picture-offset.wma", "WMA Lossless is not supported"},
    {"wma/audio-scan/drm.wma", "File is protected"},
    {"wma/audio-scan/wma-live.wma", "the file holds no audio"},
    {"wma/audio-scan/wma92-48k-pro.wma", "WMA Pro is not supported"},
    {"wma/audio-scan/wma92-lossless.wma", "WMA Lossless is not supported"},
    {"wma/audio-scan/wma92-voice.wma", "WMA Voice is not supported"},
    {"wma/audio-scan/wmv92.wma", "the file holds no audio stream"},
    {"wma/exiftool/ASF-wmv.wma", "the WMA file's header cannot be read"},
    {"wma/hsaudiotag/test3_incomplete.wma", "the WMA file's header cannot be read"},
    {"wma/music-metadata/CWE-835.wma", "the WMA file's header cannot be read"},
    {"wma/music-metadata/max-numberOfObjectHeaders.wma", "the WMA file's header cannot be read"},
    {"wma/mutagen/silence-2.wma", "WMA Pro is not supported"},
    {"wma/mutagen/silence-3.wma", "WMA Lossless is not supported"},
    {"wma/taglib/lossless.wma", "WMA Lossless is not supported"},
    {"wma/taglib/real_example.wma", "the file holds no audio"},
    {"wma/tinytag/lossless.wma", "WMA Lossless is not supported"},
    {"wma/tinytag/test2.wma", "the file holds no audio"},
};

// Files whose length differs from ffmpeg's decode because ffmpeg is wrong about them.
const std::map<std::string, std::string> kFfmpegWrong = {
    {"mp3/atldotnet/ID3v2.2-3-pictures.mp3",
     "417 zero bytes lie between the ID3v2 tag and the Xing frame: ffmpeg looks for the "
     "tag frame only where the ID3v2 tag ends, so it decodes the tag frame as audio"},
    {"mp3/audio-scan/v2.4-unsync.mp3",
     "ffmpeg appends a 44.1 kHz frame (cut short by the end of the file) to this 32 kHz "
     "stream"},
    {"mp3/hsaudiotag/crc53865.mp3", "ffmpeg finds no stream to decode in it"},
    {"mp3/hsaudiotag/vbr_xing.mp3", "ffmpeg finds no stream to decode in it"},
    {"mp3/jaudiotagger/corrupt.mp3", "ffmpeg finds no stream to decode in it"},
    {"mp3/minimp3/ILL2_wrongcrc.mp3", "ffmpeg finds no stream to decode in it"},
    {"mp3/minimp3/ILL4_sync.mp3", "ffmpeg finds no stream to decode in it"},
    {"mp3/minimp3/fuzz-l3-compl-cut.mp3", "ffmpeg finds no stream to decode in it"},
    {"mp3/minimp3/l1-fl1.mp3", "frames ffmpeg's decoder refuses are kept as silence here"},
    {"mp3/minimp3/l2-fl10.mp3", "frames ffmpeg's decoder refuses are kept as silence here"},
    {"mp3/minimp3/l3-nonstandard-compl-sideinfo-bigvalues.mp3",
     "frames ffmpeg's decoder refuses are kept as silence here: its last frame, cut short to "
     "23 of 192 bytes, has damaged side information"},
    {"mp3/minimp3/l3-nonstandard-apetag.mp3", "ffmpeg finds no stream to decode in it"},
    {"mp3/minimp3/l3-nonstandard-he_44_48khz.mp3",
     "the sample rate changes from 44.1 to 48 kHz after 410 frames: the stream ends there "
     "here, ffmpeg resamples the 48 kHz frames into its output"},
    {"mp3/minimp3/l3-nonstandard-vbrtag-noframes.mp3", "ffmpeg finds no stream to decode in it"},
    {"mp3/music-metadata/issue-331.apev2.mp3", "ffmpeg finds no stream to decode in it"},
    {"mp3/music-metadata/outofbounds.mp3",
     "frames ffmpeg's decoder refuses are kept as silence here"},
    {"mp3/mutagen/lame397v9short.mp3",
     "read from byte 30 on (the reader's second attempt); ffmpeg reads it from the start"},
    {"mp3/mutagen/too-short.mp3", "ffmpeg finds no stream to decode in it"},
    {"mp3/taglib/garbage.mp3",
     "2255 bytes of junk lie before the Info frame: ffmpeg looks for the tag frame only at "
     "the start, so it decodes the tag frame as audio and keeps the encoder delay"},
    {"mp3/tinytag/vbr_xing_header_short.mp3",
     "read from byte 30 on (the reader's second attempt); ffmpeg reads it from the start"},
    {"wma/hsaudiotag/test1.wma",
     "damaged packets: ffmpeg drops the blocks it cannot decode; they are kept as silence here"},
    {"wma/hsaudiotag/test2.wma",
     "damaged packets: ffmpeg drops the blocks it cannot decode; they are kept as silence here"},
    {"wma/hsaudiotag/test3_truncated_unicode.wma",
     "damaged packets: ffmpeg drops the blocks it cannot decode; they are kept as silence here"},
    {"wma/hsaudiotag/test4.wma",
     "damaged packets: ffmpeg drops the blocks it cannot decode; they are kept as silence here"},
};

// Files damaged beyond what the decoder recovers from: the run ends early with an error that
// says how much was missing.
const std::map<std::string, std::string> kEndsEarly = {
    {"wma/music-metadata/asf.wma", "The file ended 16384 samples"},
    {"wma/mutagen/issue_29.wma", "The file ended 10240 samples"},
};

// Files whose last second is not ffmpeg's, and why: mostly the decoder's state after the seek
// differs from a whole decode.
const std::map<std::string, std::string> kTailDiffers = {
    {"mp3/minimp3/l3-nonstandard-compl-sideinfo-bigvalues.mp3", "damaged side information"},
    {"mp3/taglib/rare_frames.mp3",
     "the last frame is cut short by the ID3v1 tag: ffmpeg decodes the tag's bytes as the "
     "rest of its audio data, here it ends where the audio ends"},
    {"wma/audio-scan/wma92-mbr.wma", "several bit rates of one stream"},
    {"wma/audio-scan/wmv92-with-audio.wma", "audio beside video"},
};

struct TRead {
    bool Valid = false;
    std::string Reason;
    uint32_t Rate = 0, Channels = 0;
    int64_t Total = 0;     // TotalSamples before the run
    int64_t Delivered = 0; // frames a whole run delivered
    std::string Error;     // what the run raised
    int64_t TailStart = 0; // a run of the last second
    std::vector<int16_t> Tail;
    std::string TailError;
};

std::unique_ptr<TWMIn> NewReader(const fs::path& File) {
    std::unique_ptr<TWMIn> in;
    if (File.extension() == ".mp3")
        in = std::make_unique<TMP3In>(nullptr);
    else
        in = std::make_unique<TWMIn>(nullptr);
    in->SetFileName(File.string());
    return in;
}

// The 16-bit samples a run of Reader delivers from Start to End (inclusive, -1 the end).
std::vector<int16_t> RunSamples(TWMIn& Reader, int64_t Start, int64_t End, std::string& Error) {
    Reader.SetStartSample(Start);
    Reader.SetEndSample(End);
    std::vector<int16_t> samples;
    try {
        Reader.Init();
        const std::vector<uint8_t> bytes = DrainSource(Reader, {65536, 4000});
        samples.resize(bytes.size() / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    } catch (const std::exception& e) {
        Error = e.what();
    }
    Reader.Flush();
    return samples;
}

TRead ReadOurs(const fs::path& File) {
    TRead r;
    auto in = NewReader(File);
    try {
        r.Reason = in->InvalidReason(); // opens the file
        r.Valid = in->Valid();
    } catch (const std::exception& e) {
        r.Reason = e.what();
        return r;
    }
    if (!r.Valid) return r;
    r.Rate = in->SampleRate();
    r.Channels = in->Channels();
    r.Total = in->TotalSamples();
    r.Delivered = int64_t(RunSamples(*in, 0, -1, r.Error).size() / r.Channels);
    // The last second, up to TotalSamples as the end.
    r.TailStart = std::max<int64_t>(0, r.Total - r.Rate);
    r.Tail = RunSamples(*in, r.TailStart, r.Total, r.TailError);
    return r;
}

// ffmpeg's decode of the file's first audio stream, at the given channel count.
std::vector<int16_t> FfmpegSamples(const fs::path& File, uint32_t Channels) {
    const auto r =
        RunCommand("ffmpeg -v quiet -i " + ShellQuote(File.string()) + " -map 0:a:0 -ac " +
                   std::to_string(Channels) + " -f s16le - 2>/dev/null");
    std::vector<int16_t> samples(r.Output.size() / 2);
    if (!samples.empty()) std::memcpy(samples.data(), r.Output.data(), samples.size() * 2);
    return samples;
}

class MediaCorpus : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ToolAvailable("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
        for (const char* name : {SUNDRAL_MP3_CORPUS_DIR, SUNDRAL_WMA_CORPUS_DIR}) {
            const fs::path dir(name);
            if (!fs::is_directory(dir)) continue;
            for (auto& e : fs::recursive_directory_iterator(dir)) {
                const auto ext = e.path().extension();
                if (ext == ".mp3" || ext == ".wma") Files.push_back(e.path());
            }
        }
        if (Files.empty()) GTEST_SKIP() << "the MP3 and WMA corpus folders are absent";
        std::sort(Files.begin(), Files.end());
    }
    // "mp3/minimp3/l1-fl1.mp3": the name the lists use.
    static std::string Key(const fs::path& File) {
        return File.parent_path().parent_path().filename().string() + "/" +
               File.parent_path().filename().string() + "/" + File.filename().string();
    }
    std::vector<fs::path> Files;
};

// Every file: refused with its listed reason, or read to exactly the length announced, which
// is ffmpeg's (unless listed); a cut of its last second up to TotalSamples delivers exactly
// that second, ffmpeg's samples; and the player tells the same length.
TEST_F(MediaCorpus, LengthsAsFfmpegDecodesAndDelivered) {
    int judged = 0;
    for (const fs::path& file : Files) {
        const std::string key = Key(file);
        SCOPED_TRACE(key);
        const TRead ours = ReadOurs(file);
        const auto refused = kRefused.find(key);
        if (!ours.Valid) {
            if (refused == kRefused.end())
                ADD_FAILURE() << "refused, not listed: " << ours.Reason;
            else
                EXPECT_EQ(ours.Reason, refused->second);
            continue;
        }
        EXPECT_EQ(refused, kRefused.end()) << "listed as refused but read";
        if (const auto early = kEndsEarly.find(key); early != kEndsEarly.end()) {
            EXPECT_NE(ours.Error.find(early->second), std::string::npos) << ours.Error;
            continue;
        }
        EXPECT_TRUE(ours.Error.empty()) << ours.Error;
        EXPECT_EQ(ours.Delivered, ours.Total);

        EXPECT_TRUE(ours.TailError.empty()) << ours.TailError;
        EXPECT_EQ(int64_t(ours.Tail.size()), (ours.Total - ours.TailStart) * ours.Channels);

        const std::vector<int16_t> theirs = FfmpegSamples(file, ours.Channels);
        const int64_t theirFrames = int64_t(theirs.size() / ours.Channels);
        if (kFfmpegWrong.count(key) > 0) {
            EXPECT_NE(theirFrames, ours.Total) << "listed as ffmpeg being wrong, but it agrees";
        } else {
            EXPECT_EQ(ours.Total, theirFrames) << "ours vs ffmpeg";
            // The last second, read after a seek, is ffmpeg's last second.
            if (theirFrames == ours.Total && !kTailDiffers.count(key) &&
                int64_t(ours.Tail.size()) == (ours.Total - ours.TailStart) * ours.Channels) {
                int worst = 0;
                const size_t from = size_t(ours.TailStart) * ours.Channels;
                for (size_t i = 0; i < ours.Tail.size(); ++i)
                    worst = std::max(worst, std::abs(ours.Tail[i] - theirs[from + i]));
                EXPECT_LE(worst, 1) << "the last second differs from ffmpeg's";
            }
        }
        ++judged;
        if (std::getenv("CORPUS_DUMP"))
            std::printf("DUMP %s ours %lld ffmpeg %lld err %s\n", key.c_str(),
                        (long long)ours.Total, (long long)theirFrames, ours.Error.c_str());

        if (kFfmpegWrong.count(key) && kFfmpegWrong.at(key).find("byte 30") != std::string::npos)
            continue; // the player makes no second attempt
        mci::TMciError error = mci::mciOk;
        auto device = mci::TMciDevice::Open(file.string(), error);
        uint32_t ms = 0;
        if (!device || device->Length(ms) != mci::mciOk) {
            ADD_FAILURE() << "the player refuses it: " << mci::MciErrorText(error);
            continue;
        }
        EXPECT_EQ(int64_t(ms), ours.Total * 1000 / ours.Rate) << "player's length";
    }
    EXPECT_GT(judged, 100);
}

} // namespace
