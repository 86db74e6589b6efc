// The WAV reader on hand-built files: the header scan, the refusal of formats it cannot
// deliver safely, sizes held to what the file holds, ADPCM values out of range, and
// positions beyond 4 GiB.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "RiffBytes.h"
#include "SourceData.h"
#include "formats/AuWaveIn.h"
#include "formats/AuWaveInAdpcm.h"

using namespace sundral;
using namespace sundral_test;

namespace {

// 16-bit stereo frames whose left sample is the frame number and right its negation.
TBytes StereoFrames(int Count) {
    TBytes b;
    for (int k = 0; k < Count; ++k) {
        PutU16(b, uint16_t(k));
        PutU16(b, uint16_t(-k));
    }
    return b;
}

TBytes Pcm16Fmt() {
    return FmtBody(WAVE_FORMAT_PCM, 2, 8000, 4, 16);
}

TBytes FactBody(uint32_t Frames) {
    TBytes b;
    PutU32(b, Frames);
    return b;
}

TBytes ImaFmt(uint16_t Channels, uint16_t BlockAlign, uint16_t SamplesPerBlock, uint16_t Bits = 4) {
    TBytes extra;
    PutU16(extra, 2);
    PutU16(extra, SamplesPerBlock);
    return FmtBody(WAVE_FORMAT_DVI_ADPCM, Channels, 8000, BlockAlign, Bits, extra);
}

const int16_t kMsCoefs[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                {240, 0}, {460, -208}, {392, -232}};

TBytes MsFmt(uint16_t Channels, uint16_t BlockAlign, uint16_t SamplesPerBlock,
             uint16_t CoefCount = 7, int StoredCoefs = -1) {
    TBytes extra;
    PutU16(extra, 0); // extra size: not read
    PutU16(extra, SamplesPerBlock);
    PutU16(extra, CoefCount);
    const int stored = StoredCoefs >= 0 ? StoredCoefs : CoefCount;
    for (int i = 0; i < stored; ++i) {
        PutU16(extra, uint16_t(kMsCoefs[i % 7][0]));
        PutU16(extra, uint16_t(kMsCoefs[i % 7][1]));
    }
    return FmtBody(WAVE_FORMAT_ADPCM, Channels, 8000, BlockAlign, 4, extra);
}

TBytes Noise(size_t Count, uint32_t Seed) {
    TBytes b(Count);
    for (auto& x : b) {
        Seed = Seed * 1664525u + 1013904223u;
        x = uint8_t(Seed >> 24);
    }
    return b;
}

struct TRead {
    bool Valid = false;
    std::string Reason;
    uint32_t Bits = 0;
    TWavType Type = TWavType::wtUnsupported;
    int64_t Size = 0;
    int64_t TotalSamples = 0;
    TBytes Data;
};

// Opens File from memory, reads it whole from frame Start, and reports what it found.
TRead Read(const TBytes& File, int64_t Start = 0) {
    TMemoryStream stream;
    stream.Write(File.data(), int64_t(File.size()));
    TWaveIn in(nullptr);
    in.SetStream(&stream);
    TRead r;
    r.TotalSamples = in.TotalSamples();
    r.Valid = in.Valid();
    r.Reason = in.InvalidReason();
    r.Bits = in.BitsPerSample();
    r.Type = in.WavType();
    in.SetStartSample(Start);
    in.Init();
    r.Size = in.Size();
    r.Data = DrainSource(in, {16384, 4000});
    in.Flush();
    return r;
}

TEST(WaveInHeader, ChunksAreFoundWhereverTheyLie) {
    const TBytes frames = StereoFrames(300);
    TRead plain = Read(RiffImage({{"fmt ", Pcm16Fmt()}, {"data", frames}}));
    EXPECT_TRUE(plain.Valid);
    EXPECT_EQ(plain.Type, TWavType::wtPCM);
    EXPECT_EQ(plain.TotalSamples, 300);
    EXPECT_EQ(plain.Data, frames);

    // Codes match whatever their letter case.
    TBytes lower = RiffImage({{"FMT ", Pcm16Fmt()}, {"DATA", frames}});
    std::memcpy(&lower[0], "riff", 4);
    std::memcpy(&lower[8], "wave", 4);
    EXPECT_EQ(Read(lower).Data, frames);

    // An odd-sized chunk, with or without its pad byte, and chunks of any size before
    // "fmt " and "data".
    for (bool pad : {true, false}) {
        TBytes odd =
            RiffImage({{"fmt ", Pcm16Fmt()}, {"LIST", TBytes(5, 'x')}, {"data", frames}}, pad);
        EXPECT_EQ(Read(odd).Data, frames) << "pad " << pad;
    }
    for (const TBytes& large : {
             RiffImage({{"fmt ", Pcm16Fmt()}, {"junk", TBytes(65500)}, {"data", frames}}),
             RiffImage({{"JUNK", TBytes(70000)}, {"fmt ", Pcm16Fmt()}, {"data", frames}}),
             RiffImage({{"bext", TBytes(300001)}, {"fmt ", Pcm16Fmt()}, {"data", frames}}),
         })
        EXPECT_EQ(Read(large).Data, frames);

    for (TBytes bad : {
             RiffImage({{"data", frames}, {"fmt ", Pcm16Fmt()}}),
             RiffImage({{"fmt ", Pcm16Fmt()}}),
             RiffImage({{"fmt ", Pcm16Fmt()}, {"junk", TBytes(8)}}),
             TBytes(100, 'R'),
         }) {
        TRead r = Read(bad);
        EXPECT_FALSE(r.Valid);
        EXPECT_TRUE(r.Data.empty());
    }
    // The form itself must start within the first 65535 bytes.
    TBytes late(65530, 'x');
    TBytes image = RiffImage({{"fmt ", Pcm16Fmt()}, {"data", frames}});
    late.insert(late.end(), image.begin(), image.end());
    EXPECT_FALSE(Read(late).Valid) << "\"RIFF\" too far into the file";
}

// Each refused format is a valid one with one field changed, so each refusal has one cause,
// and the reason given names it.
TEST(WaveInHeader, FormatsThatCannotBeDeliveredSafelyAreRefused) {
    struct TCase {
        const char* What;
        TBytes Fmt;
        bool Valid;
        const char* Reason = "";
    };
    auto with = [](TBytes b, size_t at, uint16_t v) {
        b[at] = uint8_t(v);
        b[at + 1] = uint8_t(v >> 8);
        return b;
    };
    TBytes guidPcm(KSDATAFORMAT_SUBTYPE_PCM.begin(), KSDATAFORMAT_SUBTYPE_PCM.end());
    TBytes ext = {22, 0, 24, 0, 3, 0, 0, 0};
    ext.insert(ext.end(), guidPcm.begin(), guidPcm.end());
    TBytes extFmt = FmtBody(WAVE_FORMAT_EXTENSIBLE, 2, 8000, 6, 24, ext);
    const TBytes pcm = Pcm16Fmt();
    TBytes unknownGuid = extFmt;
    unknownGuid[24] = 2;
    TBytes alawGuid = extFmt;
    alawGuid[24] = 6;
    const TCase cases[] = {
        {"pcm", Pcm16Fmt(), true},
        {"pcm, no channels", with(Pcm16Fmt(), 2, 0), false, "no channels"},
        {"pcm, no sample rate", with(with(Pcm16Fmt(), 4, 0), 6, 0), false, "sample rate of 0"},
        {"pcm, no bits", with(Pcm16Fmt(), 14, 0), false, "0 bits"},
        {"pcm, 12 bits in 2 bytes", with(Pcm16Fmt(), 14, 12), true},
        {"pcm, block align of a frame and a half", with(Pcm16Fmt(), 12, 7), false,
         "block align 7 does not hold 2 channels"},
        {"pcm, 9-byte containers", with(Pcm16Fmt(), 12, 18), false, "block align 18"},
        {"pcm, frame fills the buffer", with(with(Pcm16Fmt(), 2, 4096), 14, 32), true},
        {"pcm, frame beyond the buffer", with(with(Pcm16Fmt(), 2, 4097), 14, 32), false,
         "too large"},
        {"fmt body cut short", TBytes(pcm.begin(), pcm.begin() + 14), false, "too short"},
        {"fmt body longer than its layout", FmtBody(WAVE_FORMAT_PCM, 2, 8000, 4, 16, TBytes(200)),
         true},
        {"unknown tag", with(Pcm16Fmt(), 0, 0x50), false, "format tag 80 is not supported"},
        {"a-law", FmtBody(WAVE_FORMAT_ALAW, 2, 8000, 2, 8), true},
        {"u-law, 16 bits", with(Pcm16Fmt(), 0, WAVE_FORMAT_MULAW), false,
         "G.711 with 16 bits per sample"},
        {"float, 64 bits", FmtBody(WAVE_FORMAT_IEEE_FLOAT, 2, 8000, 16, 64), true},
        {"float, 16 bits", FmtBody(WAVE_FORMAT_IEEE_FLOAT, 2, 8000, 4, 16), false,
         "IEEE float with 16 bits"},
        {"extensible pcm", extFmt, true},
        {"extensible, unknown sub-format", unknownGuid, false, "format tag 2 is not supported"},
        {"extensible, a-law sub-format, 24 bits", alawGuid, false, "G.711 with 24 bits"},
        {"extensible, body too short", TBytes(extFmt.begin(), extFmt.begin() + 24), false,
         "too short"},
    };
    for (const TCase& c : cases) {
        TRead r = Read(RiffImage({{"fmt ", c.Fmt}, {"data", Noise(40000, 1)}}));
        EXPECT_EQ(r.Valid, c.Valid) << c.What;
        EXPECT_EQ(r.Data.empty(), !c.Valid) << c.What;
        EXPECT_NE(r.Reason.find(c.Reason), std::string::npos) << c.What << ": " << r.Reason;
        EXPECT_EQ(r.Reason.empty(), c.Valid) << c.What;
    }
    // A walk that ends early says what it missed.
    for (auto [file, reason] : {
             std::pair{TBytes(100, 'R'), "not a RIFF/WAVE file"},
             std::pair{RiffImage({{"data", Noise(8, 1)}}), "no \"fmt \" chunk"},
             std::pair{RiffImage({{"fmt ", Pcm16Fmt()}}), "no \"data\" chunk"},
             std::pair{RiffImage({{"fmt ", FmtBody(WAVE_FORMAT_MPEGLAYER3, 1, 8000, 1, 0)},
                                  {"data", Noise(8, 1)}}),
                       "no \"fact\" chunk"},
         })
        EXPECT_NE(Read(file).Reason.find(reason), std::string::npos) << reason;
}

// PCM samples are read at the width of their containers (the block align over the
// channels), whatever bits they claim; containers beyond 4 bytes give their upper 4 bytes.
TEST(WaveInHeader, PcmContainersSetTheSampleWidth) {
    struct TCase {
        uint16_t Channels, BlockAlign, Bits;
        uint32_t Delivered; // bits per sample
    };
    for (const TCase c : {TCase{2, 8, 24, 32},
                          {1, 3, 20, 24},
                          {3, 24, 64, 32},
                          {3, 15, 36, 32},
                          {5, 5, 5, 8},
                          {2, 6, 24, 24},
                          {3, 4, 24, 24}}) {
        const uint32_t container = std::max(c.BlockAlign / c.Channels, (c.Bits + 7) / 8);
        const TBytes data = Noise(size_t(container) * c.Channels * 7, 9);
        TRead r = Read(
            RiffImage({{"fmt ", FmtBody(WAVE_FORMAT_PCM, c.Channels, 8000, c.BlockAlign, c.Bits)},
                       {"data", data}}));
        ASSERT_TRUE(r.Valid) << c.Bits << " bits in " << c.BlockAlign << ": " << r.Reason;
        EXPECT_EQ(r.Bits, c.Delivered) << c.Bits;
        EXPECT_EQ(r.TotalSamples, 7) << c.Bits;
        TBytes want;
        const uint32_t keep = c.Delivered / 8;
        for (size_t at = 0; at < data.size(); at += container)
            want.insert(want.end(), data.begin() + std::ptrdiff_t(at + container - keep),
                        data.begin() + std::ptrdiff_t(at + container));
        EXPECT_EQ(r.Data, want) << c.Bits;
    }
}

TEST(WaveInHeader, AdpcmLayoutsThatDoNotFitAreRefused) {
    struct TCase {
        const char* What;
        TBytes Fmt;
        bool Valid;
    };
    const TCase cases[] = {
        {"ima mono", ImaFmt(1, 256, 505), true},
        {"ima stereo", ImaFmt(2, 256, 249), true},
        {"ima, 3 bits", ImaFmt(1, 256, 505, 3), false},
        {"ima, 3 channels", ImaFmt(3, 256, 165), false},
        {"ima, block smaller than its header", ImaFmt(2, 7, 1), false},
        {"ima, samples per block off by one", ImaFmt(1, 256, 504), false},
        {"ima stereo, half a group pair", ImaFmt(2, 260, 253), false},
        {"ima, largest block that fits", ImaFmt(1, 4099, 8191), true},
        {"ima, decoded block beyond the buffer", ImaFmt(1, 4100, 8193), false},
        {"ima, no samples per block", FmtBody(WAVE_FORMAT_DVI_ADPCM, 1, 8000, 256, 4), false},
        {"ms mono", MsFmt(1, 256, 500), true},
        {"ms stereo", MsFmt(2, 256, 244), true},
        {"ms, one coefficient", MsFmt(1, 256, 500, 1), true},
        {"ms, 32 coefficients", MsFmt(1, 256, 500, 32), true},
        {"ms, no coefficients", MsFmt(1, 256, 500, 0), false},
        {"ms, 33 coefficients", MsFmt(1, 256, 500, 33, 32), false},
        {"ms, table cut short", MsFmt(1, 256, 500, 7, 6), false},
        {"ms, 3 channels", MsFmt(3, 256, 77), false},
        {"ms, block smaller than its header", MsFmt(2, 13, 2), false},
        {"ms, one code too many", MsFmt(1, 256, 501), false},
        {"ms stereo, one code too many", MsFmt(2, 256, 244 + 1), false},
        {"ms, fewer than two samples", MsFmt(1, 256, 1), false},
        {"ms, decoded block beyond the buffer", MsFmt(2, 8200, 4097), false},
        {"ms, largest block that fits", MsFmt(2, 8200, 4096), true},
    };
    for (const TCase& c : cases) {
        const uint16_t ba = GetU16(&c.Fmt[12]);
        TRead r = Read(
            RiffImage({{"fmt ", c.Fmt}, {"fact", FactBody(100)}, {"data", Noise(ba * 3u, 2)}}));
        EXPECT_EQ(r.Valid, c.Valid) << c.What;
        EXPECT_EQ(r.Data.size(), c.Valid ? 100u * 2 * GetU16(&c.Fmt[2]) : 0u) << c.What;
    }
    // Without "fact", every block present plays in full.
    TRead noFact = Read(RiffImage({{"fmt ", ImaFmt(1, 256, 505)}, {"data", Noise(768, 3)}}));
    EXPECT_TRUE(noFact.Valid);
    EXPECT_EQ(noFact.TotalSamples, 3 * 505);
    TRead shortFact = Read(
        RiffImage({{"fmt ", ImaFmt(1, 256, 505)}, {"fact", TBytes(3)}, {"data", Noise(768, 3)}}));
    EXPECT_FALSE(shortFact.Valid);
}

TEST(WaveInHeader, SizesAreHeldToWhatTheFileHolds) {
    // A "data" size beyond the file: whole frames present only.
    TBytes cut = RiffImage({{"fmt ", Pcm16Fmt()}, {"data", StereoFrames(100), 1000}});
    cut.push_back(0x55); // part of a frame
    TRead r = Read(cut);
    EXPECT_EQ(r.Size, 400);
    EXPECT_EQ(r.TotalSamples, 100);
    EXPECT_EQ(r.Data, StereoFrames(100));

    // What follows the "data" chunk is not audio.
    TRead tail = Read(
        RiffImage({{"fmt ", Pcm16Fmt()}, {"data", StereoFrames(100)}, {"LIST", TBytes(64, 7)}}));
    EXPECT_EQ(tail.Data, StereoFrames(100));
    TRead empty =
        Read(RiffImage({{"fmt ", Pcm16Fmt()}, {"data", TBytes()}, {"LIST", TBytes(64, 7)}}));
    EXPECT_TRUE(empty.Valid);
    EXPECT_TRUE(empty.Data.empty());

    // Doubles: whole stored frames, then half the bytes.
    TRead f64 = Read(RiffImage(
        {{"fmt ", FmtBody(WAVE_FORMAT_IEEE_FLOAT, 1, 8000, 8, 64)}, {"data", TBytes(803), 5000}}));
    EXPECT_EQ(f64.Size, 400);
    EXPECT_EQ(f64.Data, TBytes(400));

    // ADPCM: at most the frames of the blocks present; of a short last block, the frames
    // whose codes are there (a stereo IMA frame needs its right channel's group).
    struct TShort {
        TBytes Fmt;
        uint32_t LastBytes, LastFrames;
    };
    for (const TShort& c : {TShort{ImaFmt(1, 256, 505), 100, 193},
                            {ImaFmt(1, 256, 505), 3, 0},
                            {ImaFmt(2, 256, 249), 8 + 16 + 6, 1 + 16 + 4},
                            {ImaFmt(2, 256, 249), 8 + 16 + 4, 1 + 16},
                            {MsFmt(1, 256, 500), 7 + 10, 22},
                            {MsFmt(2, 256, 244), 14 + 10, 12},
                            {MsFmt(2, 256, 244), 13, 0}}) {
        const uint32_t channels = GetU16(&c.Fmt[2]), spb = GetU16(&c.Fmt[18]);
        TRead r = Read(RiffImage(
            {{"fmt ", c.Fmt}, {"fact", FactBody(100000)}, {"data", Noise(256 + c.LastBytes, 8)}}));
        EXPECT_EQ(r.TotalSamples, spb + c.LastFrames) << channels << " " << c.LastBytes;
        EXPECT_EQ(r.Data.size(), (spb + c.LastFrames) * 2 * channels) << c.LastBytes;
    }
    const TBytes blocks = Noise(256 * 2 + 100, 4);
    const TBytes fmt = ImaFmt(1, 256, 505);
    TRead more = Read(RiffImage({{"fmt ", fmt}, {"fact", FactBody(100000)}, {"data", blocks}}));
    EXPECT_EQ(more.TotalSamples, 2 * 505 + 193);
    TRead fewer = Read(RiffImage({{"fmt ", fmt}, {"fact", FactBody(1200)}, {"data", blocks}}));
    EXPECT_EQ(fewer.Data.size(), 1200u * 2);
    EXPECT_TRUE(std::equal(fewer.Data.begin(), fewer.Data.end(), more.Data.begin()));
    TRead later = Read(RiffImage({{"fmt ", fmt}, {"fact", FactBody(1200)}, {"data", blocks}}), 700);
    EXPECT_TRUE(std::equal(later.Data.begin(), later.Data.end(), more.Data.begin() + 1400));
    EXPECT_EQ(later.Data.size(), 500u * 2);
    // The frames of the short last block are those a whole block starts with.
    TBytes padded = blocks;
    padded.resize(256 * 3);
    TRead whole = Read(RiffImage({{"fmt ", fmt}, {"fact", FactBody(1515)}, {"data", padded}}));
    ASSERT_EQ(whole.Data.size(), 1515u * 2);
    EXPECT_TRUE(std::equal(more.Data.begin(), more.Data.end(), whole.Data.begin()));
}

TEST(WaveInHeader, ReadingBeforeInitFails) {
    TBytes file = RiffImage({{"fmt ", Pcm16Fmt()}, {"data", StereoFrames(10)}});
    TMemoryStream stream;
    stream.Write(file.data(), int64_t(file.size()));
    TWaveIn in(nullptr);
    in.SetStream(&stream);
    EXPECT_EQ(in.TotalSamples(), 10);
    const uint8_t* p = nullptr;
    uint32_t n = 100;
    try {
        in.GetData(p, n);
        ADD_FAILURE() << "no exception";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "The Stream is not opened");
    }
}

// A stream that is a header followed by almost 4 GiB of 32-bit mono frames whose
// value is their frame number, made up on the fly.
class THugeStream : public TStream {
public:
    explicit THugeStream(TBytes Header) : FHeader(std::move(Header)) {}
    static constexpr int64_t DataSize = 0xFFFFFFFC;

    int64_t Read(void* Buffer, int64_t Count) override {
        auto* out = static_cast<uint8_t*>(Buffer);
        int64_t n = std::clamp<int64_t>(Size() - FPos, 0, Count);
        for (int64_t i = 0; i < n; ++i, ++FPos) {
            const int64_t h = int64_t(FHeader.size());
            if (FPos < h) {
                out[i] = FHeader[size_t(FPos)];
            } else {
                const int64_t o = FPos - h;
                out[i] = uint8_t(uint32_t(o / 4) >> (8 * (o % 4)));
            }
        }
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
        const int64_t base = Origin == TSeekOrigin::soBeginning ? 0
                             : Origin == TSeekOrigin::soCurrent ? FPos
                                                                : Size();
        if (base + Offset < 0) return -1;
        return FPos = base + Offset;
    }
    int64_t Size() override { return int64_t(FHeader.size()) + DataSize; }
    void SetSize(int64_t) override {}

private:
    TBytes FHeader;
    int64_t FPos = 0;
};

TEST(WaveInHeader, PositionsBeyond4GiBAreReached) {
    THugeStream stream(RiffImage({{"fmt ", FmtBody(WAVE_FORMAT_PCM, 1, 8000, 4, 32)},
                                  {"junk", TBytes(60000)},
                                  {"data", {}, THugeStream::DataSize}}));
    TWaveIn in(nullptr);
    in.SetStream(&stream);
    const int64_t frames = THugeStream::DataSize / 4;
    EXPECT_EQ(in.TotalSamples(), frames);
    const int64_t start = frames - 20; // its byte lies past 2^32
    ASSERT_GT(start * 4 + in.Format().DataStart, int64_t(1) << 32);
    in.SetStartSample(start);
    in.Init();
    TBytes data = DrainSource(in);
    in.Flush();
    ASSERT_EQ(data.size(), 80u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(GetU32(&data[size_t(i) * 4]), uint32_t(start + i));
}

// Values inside a block are not trusted: an IMA step index above 88 or a Microsoft
// predictor index beyond the table reads the last entry.
TEST(WaveInAdpcm, BlockValuesOutOfRangeAreClamped) {
    TBytes ima = Noise(256, 5);
    ima[2] = 200;
    ima[3] = 0;
    TBytes imaClamped = ima;
    imaClamped[2] = 88;
    std::vector<int16_t> a(505), b(505);
    EXPECT_EQ(DecodeImaBlock(ima.data(), 256, 1, a.data()), 505u);
    DecodeImaBlock(imaClamped.data(), 256, 1, b.data());
    EXPECT_EQ(a, b);

    TMsAdpcmCoef coefs[7];
    for (int i = 0; i < 7; ++i) coefs[i] = {kMsCoefs[i][0], kMsCoefs[i][1]};
    TBytes ms = Noise(256, 6);
    ms[0] = 9;
    ms[1] = 250;
    TBytes msClamped = ms;
    msClamped[0] = 6;
    msClamped[1] = 6;
    std::vector<int16_t> c(2 * 244), d(2 * 244);
    EXPECT_EQ(DecodeMsAdpcmBlock(ms.data(), 2, 244, coefs, 7, c.data()), 244u);
    DecodeMsAdpcmBlock(msClamped.data(), 2, 244, coefs, 7, d.data());
    EXPECT_EQ(c, d);

    // Extremes: full-scale history, the largest delta, coefficients at their limits. The
    // arithmetic must not overflow (the sanitizer build checks) and the output saturates.
    TMsAdpcmCoef wild[1] = {{-32768, -32768}};
    TBytes loud(7 + 200, 0x77);
    loud[0] = 0;
    loud[1] = 0xFF, loud[2] = 0x7F; // delta 32767
    loud[3] = 0x00, loud[4] = 0x80; // sample 1 -32768
    loud[5] = 0x00, loud[6] = 0x80; // sample 2 -32768
    std::vector<int16_t> e(402);
    DecodeMsAdpcmBlock(loud.data(), 1, 402, wild, 1, e.data());
    EXPECT_EQ(e[2], 32767);

    // The IMA predictor never goes below -32767.
    TBytes down(256, 0xFF);
    down[0] = 0x01, down[1] = 0x80; // -32767
    down[2] = 88, down[3] = 0;
    DecodeImaBlock(down.data(), 256, 1, a.data());
    EXPECT_EQ(*std::min_element(a.begin(), a.end()), -32767);
}

} // namespace
