// The MP3 and WMA readers against ffmpeg: files of every kind they read are made with ffmpeg,
// and what the readers deliver must be ffmpeg's decode of the same file to the sample: the
// length they report, the whole read, a read in odd pieces, and reads from a start sample or
// after a seek in mid-run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "FileBytes.h"
#include "MediaFiles.h"
#include "Pump.h"
#include "RunCommand.h"
#include "RunSink.h"
#include "ScratchDir.h"
#include "SourceData.h"
#include "formats/AuMp3In.h"
#include "formats/AuWaveOut.h"
#include "platform/TextConv.h"
#include "platform/mp3Scan.h"

using namespace sundral;
using namespace sundral_test;

namespace {

struct TCase {
    const char* Name;
    uint32_t Rate, Channels;
    const char* Args;
    bool VBR;         // the "IsVBR" the file must report
    uint32_t BitRate; // the nominal rate, 0 for an average (checked for plausibility)
};

const TCase kCases[] = {
    {"cbr_info.mp3", 44100, 2, "-c:a libmp3lame -b:a 128k", false, 128000},
    {"cbr_bare.mp3", 44100, 2, "-c:a libmp3lame -b:a 128k -write_xing 0", false, 128000},
    {"vbr_xing.mp3", 44100, 2, "-c:a libmp3lame -q:a 4", true, 0},
    {"vbr_bare.mp3", 44100, 2, "-c:a libmp3lame -q:a 2 -write_xing 0", true, 0},
    {"abr.mp3", 48000, 2, "-c:a libmp3lame -abr 1 -b:a 160k", true, 0},
    {"mpeg2_mono.mp3", 22050, 1, "-c:a libmp3lame -b:a 32k", false, 32000},
    {"mpeg25_mono.mp3", 8000, 1, "-c:a libmp3lame -b:a 16k -write_xing 0", false, 16000},
    {"mpeg25_vbr.mp3", 11025, 2, "-c:a libmp3lame -q:a 6", true, 0},
    {"mpeg2_32k.mp3", 32000, 2, "-c:a libmp3lame -b:a 96k -write_xing 0", false, 96000},
    {"v1_mono.wma", 22050, 1, "-c:a wmav1 -b:a 32k", false, 32000},
    {"v2_stereo.wma", 44100, 2, "-c:a wmav2 -b:a 128k", false, 128000},
    {"v2_48k.wma", 48000, 2, "-c:a wmav2 -b:a 96k", false, 96000},
    {"v2_8k.wma", 8000, 1, "-c:a wmav2 -b:a 24k", false, 24000},
};

bool IsMp3(const char* Name) {
    return std::string(Name).find(".mp3") != std::string::npos;
}

std::unique_ptr<TWMIn> OpenReader(const std::filesystem::path& File) {
    auto in = IsMp3(File.filename().c_str()) ? std::make_unique<TMP3In>(nullptr)
                                             : std::make_unique<TWMIn>(nullptr);
    in->SetFileName(File.string());
    return in;
}

// One run of In from Start (and, when SeekTo >= 0, a seek there after Before bytes).
std::vector<uint8_t> ReadRun(TWMIn& In, int64_t Start, const std::vector<uint32_t>& Asks,
                             int64_t Before = 0, int64_t SeekTo = -1) {
    In.SetStartSample(Start);
    In.Init();
    std::vector<uint8_t> out;
    while (int64_t(out.size()) < Before) {
        const uint8_t* p = nullptr;
        uint32_t n = uint32_t(std::min<int64_t>(Before - int64_t(out.size()), 4096));
        In.GetData(p, n);
        if (n == 0) break;
        out.insert(out.end(), p, p + n);
    }
    if (SeekTo >= 0) {
        EXPECT_TRUE(In.Seek(SeekTo));
        out.clear();
    }
    std::vector<uint8_t> rest = DrainSource(In, Asks);
    out.insert(out.end(), rest.begin(), rest.end());
    In.Flush();
    return out;
}

// Decoded frames (TWmSyncReader::ReadDecoded) as 16-bit little-endian bytes, rounded as the
// 16-bit output rounds float samples.
void Append16(const wmf::TWmDecoded& D, std::vector<uint8_t>& Out) {
    constexpr int kS16 = 1, kFlt = 3, kFltp = 8; // AVSampleFormat values
    for (int64_t f = D.Offset; f < D.Offset + D.Frames; ++f) {
        for (uint32_t c = 0; c < D.Channels; ++c) {
            int16_t v = 0;
            if (D.Format == kS16) {
                std::memcpy(&v, D.Planes[0] + (f * D.Channels + c) * 2, 2);
            } else if (D.Format == kFlt || D.Format == kFltp) {
                float x;
                std::memcpy(&x,
                            D.Format == kFlt ? D.Planes[0] + (f * D.Channels + c) * 4
                                             : D.Planes[c] + f * 4,
                            4);
                v = int16_t(std::clamp<long>(std::lrintf(x * 32768.0f), -32768, 32767));
            } else {
                EXPECT_EQ(D.Format, -1) << "sample format";
            }
            Out.push_back(uint8_t(v & 0xFF));
            Out.push_back(uint8_t(uint16_t(v) >> 8));
        }
    }
}

void PrintTo(const TCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class Decoded : public ::testing::TestWithParam<TCase> {
protected:
    // Each case makes its own file (ctest runs every case in a process of its own).
    void SetUp() override {
        const TCase& c = GetParam();
        ASSERT_TRUE(MakeMediaFile(Dir.File(c.Name), TestSignal(c.Rate, c.Channels, 2.3), c.Args));
        Reference = FfmpegDecodeBytes(Dir.File(c.Name));
    }
    ScratchDir Dir{"wmin"};
    std::vector<uint8_t> Reference;
};

TEST_P(Decoded, LengthAndEveryReadMatchFfmpeg) {
    const TCase& c = GetParam();
    const std::vector<uint8_t>& ref = Reference;
    const uint32_t frame = 2 * c.Channels;
    ASSERT_GT(ref.size(), 0u);
    auto in = OpenReader(Dir.File(c.Name));
    EXPECT_EQ(in->SampleRate(), c.Rate);
    EXPECT_EQ(in->Channels(), c.Channels);
    EXPECT_EQ(in->BitsPerSample(), 16u);
    EXPECT_EQ(in->TotalSamples(), int64_t(ref.size() / frame));
    EXPECT_EQ(in->IsVBR(), c.VBR);
    if (c.BitRate)
        EXPECT_EQ(in->Bitrate(), c.BitRate);
    else
        EXPECT_GT(in->Bitrate(), 8000u);

    EXPECT_TRUE(ReadRun(*in, 0, {16384}) == ref) << "whole read";
    EXPECT_TRUE(ReadRun(*in, 0, {4 * frame, 1000 * frame, 37 * frame}) == ref) << "pieces";
    const int64_t total = int64_t(ref.size() / frame);
    for (int64_t start : {int64_t(1), int64_t(4321), total / 2, total - 77}) {
        std::vector<uint8_t> want(ref.begin() + start * frame, ref.end());
        EXPECT_TRUE(ReadRun(*in, start, {8192}) == want) << "from " << start;
    }
    // A seek in mid-run drops what was decoded before it.
    const int64_t to = total / 3 + 5;
    std::vector<uint8_t> want(ref.begin() + to * frame, ref.end());
    EXPECT_TRUE(ReadRun(*in, 1000, {8192}, 20000 * frame, to - 1000) == want) << "seek";

    // Setting the output format again in mid-read (the reader decodes ahead meanwhile) goes
    // on with the next sample not yet handed out.
    TMemoryStream bytes;
    const std::vector<uint8_t> file = ReadFileBytes(Dir.File(c.Name));
    bytes.Write(file.data(), int64_t(file.size()));
    bytes.Seek(0, TSeekOrigin::soBeginning);
    wma_sync_reader record;
    wma_reader_open(record, &bytes, false, 0);
    ASSERT_TRUE(record.HasAudio);
    std::vector<uint8_t> got;
    for (int i = 0; i < 40; ++i) {
        const uint8_t* p = nullptr;
        uint32_t n = 700 * frame;
        wma_reader_read(record, p, n);
        got.insert(got.end(), p, p + n);
        if (i == 3) {
            wmf::TWmMediaType type;
            ASSERT_EQ(record.Reader->GetOutputProps(record.OutputNumber, type), wmf::wmOk);
            ASSERT_EQ(record.Reader->SetOutputProps(record.OutputNumber, type), wmf::wmOk);
        }
    }
    wma_reader_close(record);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), ref.begin())) << "format set in mid-read";

    // The decoder's own frames hold the same samples; a read of them stopped half-way goes on
    // through GetNextSample with the next sample.
    bytes.Seek(0, TSeekOrigin::soBeginning);
    wma_reader_open(record, &bytes, false, 0);
    ASSERT_TRUE(record.HasAudio);
    got.clear();
    EXPECT_EQ(record.Reader->ReadDecoded([&](const wmf::TWmDecoded& D) {
        Append16(D, got);
        return got.size() < ref.size() / 2;
    }),
              wmf::wmOk);
    for (;;) {
        const uint8_t* p = nullptr;
        uint32_t n = 4096 * frame;
        wma_reader_read(record, p, n);
        if (n == 0) break;
        got.insert(got.end(), p, p + n);
    }
    wma_reader_close(record);
    EXPECT_TRUE(got == ref) << "decoder's frames";
}

INSTANTIATE_TEST_SUITE_P(Files, Decoded, ::testing::ValuesIn(kCases), [](const auto& Info) {
    std::string n = Info.param.Name;
    std::replace(n.begin(), n.end(), '.', '_');
    return n;
});

// ---------------------------------------------------------------------------------------

class WmInFiles : public ::testing::Test {
protected:
    ScratchDir Dir{"wmin"};
};

TEST_F(WmInFiles, TagsWrittenByOthersAreRead) {
    struct TTagCase {
        const char* Name;
        const char* Args;
        bool Id3v1; // no tag from ffmpeg: an ID3v1 block is appended instead
    } cases[] = {
        {"v24.mp3", "-c:a libmp3lame -id3v2_version 4", false},
        {"v23.mp3", "-c:a libmp3lame -id3v2_version 3", false},
        {"v1only.mp3", "-c:a libmp3lame -id3v2_version 0", true},
        {"tags.wma", "-c:a wmav2", false},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.Name);
        // Cyrillic and CJK where the format stores Unicode, Latin-1 in ID3v1.
        const std::string title = t.Id3v1 ? "Caf\xC3\xA9 au lait"
                                          : "\xD0\x9F\xD0\xB5\xD1\x81\xD0\xBD\xD1\x8F "
                                            "\xE6\x97\xA5\xE6\x9C\xAC";
        std::string args = t.Args;
        if (!t.Id3v1)
            args += " -metadata title=" + ShellQuote(title) +
                    " -metadata artist='Ann Artist' -metadata album=Albumo"
                    " -metadata genre=Rock -metadata date=2021 -metadata track=7";
        ASSERT_TRUE(MakeMediaFile(Dir.File(t.Name), TestSignal(44100, 2, 0.5), args));
        if (t.Id3v1) {
            TId3v1Tags v1;
            v1.SetTitle(title);
            v1.SetArtist("Ann Artist");
            v1.SetAlbum("Albumo");
            v1.SetGenre("Rock");
            v1.SetYear(2021);
            v1.SetTrack(7);
            auto bytes = ReadFileBytes(Dir.File(t.Name));
            const TId3v1Block block = v1.MakeBlock();
            bytes.insert(bytes.end(), block.begin(), block.end());
            WriteFileBytes(Dir.File(t.Name), bytes);
        }
        auto in = OpenReader(Dir.File(t.Name));
        EXPECT_EQ(in->Id3v2Tags().Title(), Utf8ToUtf16(title));
        EXPECT_EQ(in->CommonTags().Title(), Utf8ToUtf16(title));
        EXPECT_EQ(in->Id3v2Tags().Artist(), u"Ann Artist");
        EXPECT_EQ(in->CommonTags().Album(), u"Albumo");
        EXPECT_EQ(in->Id3v2Tags().Genre(), u"Rock");
        EXPECT_EQ(in->CommonTags().Year(), "2021");
        EXPECT_EQ(in->Id3v2Tags().Track(), "7");
        // The tag is not audio.
        EXPECT_EQ(in->TotalSamples() * 4, int64_t(FfmpegDecodeBytes(Dir.File(t.Name)).size()));
    }
}

// A content encryption object in the ASF header object: count and size grow with it.
std::vector<uint8_t> WithEncryptionObject(const std::vector<uint8_t>& Asf) {
    // GUID, object size 40, then empty secret, protection type, key ID and licence URL.
    std::vector<uint8_t> obj = {0xFB, 0xB3, 0x11, 0x22, 0x23, 0xBD, 0xD2, 0x11, 0xB4,
                                0xB7, 0x00, 0xA0, 0xC9, 0x55, 0xFC, 0x6E, 40};
    obj.resize(40, 0);
    std::vector<uint8_t> out(Asf.begin(), Asf.begin() + 30);
    out.insert(out.end(), obj.begin(), obj.end());
    out.insert(out.end(), Asf.begin() + 30, Asf.end());
    uint64_t size;
    std::memcpy(&size, &out[16], 8);
    size += obj.size();
    std::memcpy(&out[16], &size, 8);
    out[24] += 1;
    return out;
}

TEST_F(WmInFiles, ProtectedUnstartedAndShiftedFiles) {
    ASSERT_TRUE(MakeMediaFile(Dir.File("plain.wma"), TestSignal(44100, 2, 1), "-c:a wmav2"));
    const auto plain = ReadFileBytes(Dir.File("plain.wma"));
    WriteFileBytes(Dir.File("locked.wma"), WithEncryptionObject(plain));
    auto locked = OpenReader(Dir.File("locked.wma"));
    EXPECT_THROW(
        {
            try {
                locked->IsProtected();
            } catch (const EAuException& e) {
                EXPECT_STREQ(e.what(), "File is protected");
                throw;
            }
        },
        EAuException);

    // 30 bytes in front: the second open, from byte 30, finds the file.
    std::vector<uint8_t> shifted(30, 0x55);
    shifted.insert(shifted.end(), plain.begin(), plain.end());
    WriteFileBytes(Dir.File("shifted.wma"), shifted);
    auto plainIn = OpenReader(Dir.File("plain.wma"));
    auto shiftedIn = OpenReader(Dir.File("shifted.wma"));
    EXPECT_TRUE(shiftedIn->Valid() || shiftedIn->TotalSamples() > 0);
    EXPECT_EQ(shiftedIn->TotalSamples(), plainIn->TotalSamples());

    // Without the runtime nothing opens; reads deliver nothing.
    wmf::SetRuntimeStartHookForTests([] { return false; });
    auto none = OpenReader(Dir.File("plain.wma"));
    EXPECT_EQ(none->TotalSamples(), -1);
    EXPECT_FALSE(none->Valid());
    none->Init();
    EXPECT_TRUE(DrainSource(*none).empty());
    none->Flush();
    wmf::SetRuntimeStartHookForTests(nullptr);
}

TEST_F(WmInFiles, OutputChannelsAndPrecision) {
    ASSERT_TRUE(MakeMediaFile(Dir.File("s.mp3"), TestSignal(44100, 2, 1), "-c:a libmp3lame"));
    auto in = OpenReader(Dir.File("s.mp3"));
    in->Init();
    const auto plain = DrainSource(*in);
    in->Flush();
    in->SetHighPrecision(true);
    EXPECT_EQ(in->BitsPerSample(), 24u);
    in->Init();
    const auto deep = DrainSource(*in);
    in->Flush();
    ASSERT_EQ(deep.size() / 3, plain.size() / 2);
    int worst = 0;
    for (size_t i = 0; i < plain.size() / 2; ++i) {
        const int16_t a = int16_t(plain[2 * i] | (plain[2 * i + 1] << 8));
        const int16_t b = int16_t(deep[3 * i + 1] | (deep[3 * i + 2] << 8));
        worst = std::max(worst, std::abs(a - b));
    }
    EXPECT_LE(worst, 1);

    in->SetOutputChannels(TChannelsNumber::cn5dot1);
    EXPECT_FALSE(in->Valid() && in->Channels() == 6);
    EXPECT_FALSE(in->Valid());
    in->SetOutputChannels(TChannelsNumber::cnMaxAvailable);
    EXPECT_TRUE(in->HighPrecision());
    EXPECT_EQ(in->BitsPerSample(), 24u);
    EXPECT_EQ(in->Channels(), 2u);
    in->SetHighPrecision(false); // only with cnMonoOrStereo
    EXPECT_TRUE(in->HighPrecision());
}

// A reader that cannot seek to the start of its range must end the run, not deliver the file
// from its beginning.
class TUnseekableMp3 : public TMP3In {
public:
    using TMP3In::TMP3In;
    bool Throw = false;

protected:
    bool SeekSource(int64_t& SampleNum) override {
        if (Throw) throw EAuException("Seek broke");
        (void)SampleNum;
        return false;
    }
};

TEST_F(WmInFiles, FailedSeekToRangeStartEndsTheRun) {
    ASSERT_TRUE(MakeMediaFile(Dir.File("s.mp3"), TestSignal(44100, 1, 1), "-c:a libmp3lame"));
    for (bool thrown : {false, true}) {
        TUnseekableMp3 in(nullptr);
        in.Throw = thrown;
        in.SetFileName(Dir.File("s.mp3").string());
        TWaveOut out(nullptr);
        out.SetFileName(Dir.File("out.wav").string());
        in.SetStartSample(1000);
        EXPECT_EQ(RunToDone(out, in), thrown ? "Seek broke" : "Cannot seek to the start sample");
    }
}

// Frames the decoder refuses (a damaged stretch of the file) become silence of their length:
// every later sample keeps its place, so a read from any start agrees with the whole read.
TEST_F(WmInFiles, DamagedFramesKeepTheirPlace) {
    const auto file = Dir.File("damaged.mp3");
    ASSERT_TRUE(MakeMediaFile(file, TestSignal(44100, 2, 3), "-c:a libmp3lame -b:a 128k"));
    std::vector<uint8_t> bytes = ReadFileBytes(file);
    // Garbage in the bodies of frames 40 to 44 (headers intact): the decoder refuses them.
    mp3scan::TMp3FrameIndex index(
        [&](int64_t At, uint8_t* To, size_t Count) {
            const size_t n = std::min(Count, bytes.size() - size_t(At));
            std::memcpy(To, bytes.data() + At, n);
            return n;
        },
        int64_t(bytes.size()));
    ASSERT_TRUE(index.Open().Valid);
    for (uint64_t f = 40; f < 45; ++f) {
        int64_t at = 0;
        mp3scan::TMp3Header header;
        ASSERT_TRUE(index.Frame(f, at, header));
        for (size_t i = 4; i < header.FrameBytes; ++i) bytes[size_t(at) + i] = uint8_t(i * 37);
    }
    Dir.WriteBytes("damaged.mp3", bytes);
    auto in = OpenReader(file);
    const int64_t total = in->TotalSamples();
    const std::vector<uint8_t> whole = ReadRun(*in, 0, {16384});
    EXPECT_EQ(int64_t(whole.size()), total * 4);
    for (int64_t start : {int64_t(30 * 1152), int64_t(50 * 1152), total / 2}) {
        const std::vector<uint8_t> part = ReadRun(*in, start, {8192});
        EXPECT_TRUE(part.size() == whole.size() - size_t(start) * 4 &&
                    std::equal(part.begin(), part.end(), whole.begin() + start * 4))
            << "from " << start;
    }
}

// Reading on a writer's worker while the UI thread asks for attributes and tags.
TEST_F(WmInFiles, WriterReadsWhileUiQueries) {
    ASSERT_TRUE(
        MakeMediaFile(Dir.File("w.wma"), TestSignal(44100, 2, 3), "-c:a wmav2 -metadata title=T"));
    TWMIn in(nullptr);
    in.SetFileName(Dir.File("w.wma").string());
    TWaveOut out(nullptr);
    out.SetFileName(Dir.File("w.wav").string());
    int queries = 0;
    out.OnProgress = [&](TComponent*) {
        queries += in.Bitrate() == 128000 && in.Id3v2Tags().Title() == u"T";
    };
    in.SetStartSample(4410);
    EXPECT_EQ(RunToDone(out, in), "");
    EXPECT_GT(queries, 0);
    const auto ref = FfmpegDecodeBytes(Dir.File("w.wma"));
    const auto wav = FfmpegDecodeBytes(Dir.File("w.wav"));
    EXPECT_TRUE(wav == std::vector<uint8_t>(ref.begin() + 4410 * 4, ref.end()));
}

} // namespace
