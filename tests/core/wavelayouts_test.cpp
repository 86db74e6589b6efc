// WAV layouts other programs write and the reader takes: big-endian RIFX (ADPCM too), RF64,
// A-law and µ-law, ADPCM without "fact", large chunks before "fmt " or "data", a "fmt " body longer
// than its layout, an odd chunk without its pad byte. Each file is made here (by sox,
// ffmpeg, or byte by byte) and the reader's samples must be those ffmpeg or sox decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "FileBytes.h"
#include "RiffBytes.h"
#include "RunCommand.h"
#include "ScratchDir.h"
#include "SourceData.h"
#include "WaveTools.h"
#include "formats/AuWaveIn.h"

using namespace sundral;
using namespace sundral_test;

namespace {

namespace fs = std::filesystem;

struct TOurs {
    bool Valid = false;
    std::string Reason;
    TWavType Type = TWavType::wtUnsupported;
    std::vector<int16_t> Samples;
};

TOurs ReadOurs(const fs::path& File) {
    TOurs r;
    TWaveIn in(nullptr);
    in.SetFileName(File.string());
    in.OpenSource();
    r.Valid = in.Valid();
    r.Reason = in.InvalidReason();
    r.Type = in.WavType();
    const uint32_t width = in.BitsPerSample() / 8;
    in.Init();
    const std::vector<uint8_t> pcm = DrainSource(in);
    in.Flush();
    // As the peers give them at 16 bits: the upper two bytes of wider samples.
    for (size_t at = 0; width >= 2 && at + width <= pcm.size(); at += width)
        r.Samples.push_back(int16_t(pcm[at + width - 2] | (pcm[at + width - 1] << 8)));
    return r;
}

bool Shell(const std::string& Command) {
    return RunCommand(Command + " >/dev/null 2>&1").ExitCode == 0;
}

// The chunks of a little-endian RIFF file, in order (pad bytes dropped).
std::vector<TRiffChunk> Chunks(const TBytes& File) {
    std::vector<TRiffChunk> out;
    for (size_t at = 12; at + 8 <= File.size();) {
        const uint32_t size = GetU32(&File[at + 4]);
        TRiffChunk c{std::string(File.begin() + long(at), File.begin() + long(at + 4)), {}};
        c.Body.assign(File.begin() + long(at + 8),
                      File.begin() + long(std::min<size_t>(File.size(), at + 8 + size)));
        out.push_back(c);
        at += 8 + size + (size & 1);
    }
    return out;
}

// The same file as big-endian RIFX: sizes and "fmt "/"fact" fields turned round (every
// field after the first 16 bytes of "fmt " is 16 bits wide), the audio bytes as they are.
TBytes AsRifx(const TBytes& Riff) {
    auto put = [](TBytes& Out, uint64_t Value, int Width) {
        for (int i = Width - 1; i >= 0; --i) Out.push_back(uint8_t(Value >> (8 * i)));
    };
    auto le = [](const TBytes& B, size_t At, int Width) {
        uint64_t v = 0;
        for (int i = Width - 1; i >= 0; --i) v = (v << 8) | B[At + size_t(i)];
        return v;
    };
    TBytes out = {'R', 'I', 'F', 'X'};
    put(out, le(Riff, 4, 4), 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E'});
    for (const TRiffChunk& c : Chunks(Riff)) {
        out.insert(out.end(), c.Code.begin(), c.Code.end());
        put(out, c.Body.size(), 4);
        TBytes body;
        if (c.Code == "fmt ") {
            for (size_t at = 0; at + 2 <= c.Body.size();) {
                const int width = at == 4 || at == 8 ? 4 : 2;
                put(body, le(c.Body, at, width), width);
                at += size_t(width);
            }
        } else if (c.Code == "fact") {
            put(body, le(c.Body, 0, 4), 4);
        } else {
            body = c.Body;
        }
        out.insert(out.end(), body.begin(), body.end());
        if (body.size() & 1) out.push_back(0);
    }
    return out;
}

class WaveLayouts : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ToolAvailable("ffmpeg") || !ToolAvailable("sox")) GTEST_SKIP() << "no ffmpeg/sox";
    }
    ScratchDir Dir{"wavelayouts"};

    // A sox-made 16-bit file with two tones, as the base of hand-made layouts.
    fs::path Base(const std::string& Name, int Channels = 2) {
        const fs::path file = Dir.File(Name);
        Shell("sox -D -n -r 8000 -b 16 -c " + std::to_string(Channels) + " " +
              ShellQuote(file.string()) + " synth 0.25 sine 300 sine 470");
        return file;
    }
    fs::path Write(const std::string& Name, const TBytes& Bytes) {
        WriteFileBytes(Dir.File(Name), Bytes);
        return Dir.File(Name);
    }
    // An ffmpeg-made ADPCM file.
    fs::path Adpcm(const std::string& Name, const std::string& Codec, int Channels) {
        const fs::path made = Dir.File(Name);
        Shell("ffmpeg -v error -y -f lavfi -i sine=f=300:d=0.7 -ar 11025 -ac " +
              std::to_string(Channels) + " -c:a " + Codec + " " + ShellQuote(made.string()));
        return made;
    }
    // An ffmpeg-made file of the codec with its "fact" chunk renamed away.
    fs::path WithoutFact(const std::string& Name, const std::string& Codec) {
        const fs::path made = Dir.File("with-fact-" + Name);
        Shell("ffmpeg -v error -y -f lavfi -i sine=f=300:d=0.7 -ar 11025 -ac 2 -c:a " + Codec +
              " " + ShellQuote(made.string()));
        TBytes bytes = ReadFileBytes(made);
        for (size_t at = 12; at + 4 <= bytes.size() && at < 200; ++at)
            if (std::memcmp(&bytes[at], "fact", 4) == 0) std::memcpy(&bytes[at], "xact", 4);
        return Write(Name, bytes);
    }
};

TEST_F(WaveLayouts, EachLayoutReadsAsThePeersDecodeIt) {
    struct TCase {
        const char* What;
        std::function<fs::path()> Make;
        TWavType Type;
        // Who decodes the reference, and from which file (the case's own when empty): for
        // layouts no peer reads, the same audio in the standard layout.
        bool BySox = false;
        std::function<fs::path()> Reference = nullptr;
        int Tolerance = 0; // float samples: the peers round where the reader truncates
    };
    const TCase cases[] = {
        {"RIFX 16-bit (sox)",
         [&] {
             const fs::path f = Dir.File("rifx16.wav");
             Shell("sox -D " + ShellQuote(Base("b1.wav").string()) + " -B " + ShellQuote(f));
             return f;
         },
         TWavType::wtPCM, true},
        {"RIFX 32-bit float (sox)",
         [&] {
             const fs::path f = Dir.File("rifxf32.wav");
             Shell("sox -D " + ShellQuote(Base("b2.wav").string()) + " -B -e float -b 32 " +
                   ShellQuote(f));
             return f;
         },
         TWavType::wtIEEEFloat, true, nullptr, 1},
        {"RF64 (ffmpeg)",
         [&] {
             const fs::path f = Dir.File("rf64.wav");
             Shell("ffmpeg -v error -y -i " + ShellQuote(Base("b3.wav").string()) +
                   " -rf64 always " + ShellQuote(f));
             return f;
         },
         TWavType::wtPCM},
        {"A-law (sox)",
         [&] {
             const fs::path f = Dir.File("alaw.wav");
             Shell("sox -D " + ShellQuote(Base("b4.wav").string()) + " -e a-law " + ShellQuote(f));
             return f;
         },
         TWavType::wtALaw},
        {"µ-law (ffmpeg)",
         [&] {
             const fs::path f = Dir.File("ulaw.wav");
             Shell("ffmpeg -v error -y -i " + ShellQuote(Base("b5.wav").string()) +
                   " -c:a pcm_mulaw " + ShellQuote(f));
             return f;
         },
         TWavType::wtMuLaw},
        {"MS ADPCM without fact", [&] { return WithoutFact("ms.wav", "adpcm_ms"); },
         TWavType::wtMSADPCM},
        // ffmpeg refuses big-endian ADPCM; sox reads its fields big-endian and its blocks as
        // in any other file.
        {"RIFX MS ADPCM mono (sox)",
         [&] {
             return Write("rifx-ms.wav", AsRifx(ReadFileBytes(Adpcm("ms1.wav", "adpcm_ms", 1))));
         },
         TWavType::wtMSADPCM, true},
        {"RIFX IMA ADPCM stereo",
         [&] {
             return Write("rifx-ima.wav",
                          AsRifx(ReadFileBytes(Adpcm("ima2.wav", "adpcm_ima_wav", 2))));
         },
         TWavType::wtDVIADPCM, true},
        {"extensible IEEE float without a sample width (ffmpeg takes its valid bits)",
         [&] {
             const fs::path made = Dir.File("f32.wav");
             Shell("ffmpeg -v error -y -f lavfi -i sine=f=500:d=0.3 -ac 2 -c:a pcm_f32le " +
                   ShellQuote(made.string()));
             TBytes bytes = ReadFileBytes(made);
             const size_t fmt = FindChunk(bytes, "fmt ");
             bytes[fmt + 14] = bytes[fmt + 15] = 0;
             return Write("f32-0bits.wav", bytes);
         },
         TWavType::wtExtIEEEFloat, false, nullptr, 1},
        {"large JUNK, bext and LIST chunks before fmt and data",
         [&] {
             std::vector<TRiffChunk> c = Chunks(ReadFileBytes(Base("b6.wav")));
             c.insert(c.begin(), {"JUNK", TBytes(150000, 0)});
             c.insert(c.begin() + 1, {"bext", TBytes(602, 'b')});
             c.insert(c.end() - 1, {"LIST", TBytes(70001, 'l')});
             return Write("large.wav", RiffImage(c));
         },
         TWavType::wtPCM},
        {"fmt body longer than its layout",
         [&] {
             std::vector<TRiffChunk> c = Chunks(ReadFileBytes(Base("b7.wav")));
             for (TRiffChunk& k : c)
                 if (k.Code == "fmt ")
                     k.Body.resize(16 + 2 + 46, 7), k.Body[16] = 46, k.Body[17] = 0;
             return Write("longfmt.wav", RiffImage(c));
         },
         TWavType::wtPCM},
        {"odd chunk without its pad byte",
         [&] {
             std::vector<TRiffChunk> c = Chunks(ReadFileBytes(Base("b8.wav")));
             c.insert(c.end() - 1, {"LIST", TBytes(7, 'o')});
             return Write("unpadded.wav", RiffImage(c, false));
         },
         TWavType::wtPCM, false, [&] { return Base("b8.wav"); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const fs::path file = c.Make();
        const TOurs ours = ReadOurs(file);
        ASSERT_TRUE(ours.Valid) << file << ": " << ours.Reason;
        EXPECT_EQ(ours.Type, c.Type);
        const fs::path ref = c.Reference ? c.Reference() : file;
        const std::vector<int16_t> want = c.BySox ? SoxDecodeS16(ref) : FfmpegDecodeS16(ref);
        ASSERT_FALSE(want.empty());
        ASSERT_EQ(ours.Samples.size(), want.size());
        int worst = 0;
        for (size_t i = 0; i < want.size(); ++i)
            worst = std::max(worst, std::abs(ours.Samples[i] - want[i]));
        EXPECT_LE(worst, c.Tolerance);
    }
}

// What no peer reads stays refused and says why: MP3 in a big-endian file (no agreed
// layout), and a plain float format without a sample width (ffmpeg has no codec for it).
TEST_F(WaveLayouts, WhatNoPeerReadsStaysRefusedWithAReason) {
    TBytes fmt = FmtBody(WAVE_FORMAT_MPEGLAYER3, 1, 8000, 1, 0, {12, 0});
    fmt.resize(30);
    TBytes riff = RiffImage({{"fmt ", fmt}, {"fact", TBytes(4)}, {"data", TBytes(512)}});
    const TOurs mp3 = ReadOurs(Write("rifx-mp3.wav", AsRifx(riff)));
    EXPECT_FALSE(mp3.Valid);
    EXPECT_NE(mp3.Reason.find("big-endian"), std::string::npos) << mp3.Reason;

    const fs::path widthless = Write(
        "f32-plain-0bits.wav", RiffImage({{"fmt ", FmtBody(WAVE_FORMAT_IEEE_FLOAT, 1, 8000, 4, 0)},
                                          {"data", TBytes(400)}}));
    EXPECT_TRUE(FfmpegDecodeS16(widthless).empty());
    const TOurs f = ReadOurs(widthless);
    EXPECT_FALSE(f.Valid);
    EXPECT_NE(f.Reason.find("IEEE float with 0 bits"), std::string::npos) << f.Reason;
}

} // namespace
