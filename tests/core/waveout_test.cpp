// The WAV writer through the real engine: PCM and extensible headers byte for byte, stopped
// runs, property setters, and IMA ADPCM judged by ffmpeg. sox and ffprobe must accept every
// file written here.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <thread>

#include "FileBytes.h"
#include "PcmPatternSource.h"
#include "Pump.h"
#include "RunSink.h"
#include "ScratchDir.h"
#include "TestStreams.h"
#include "WaveTools.h"
#include "formats/AuWaveOut.h"
#include "formats/AuWaveOutIma.h"
#include "formats/AuWaveTypes.h"

using namespace sundral;
using namespace sundral_test;

namespace {

std::vector<uint8_t> Tail(const std::vector<uint8_t>& B, size_t From) {
    return {B.begin() + std::ptrdiff_t(From), B.end()};
}

void ExpectToolsAccept(const std::filesystem::path& File, int64_t Frames) {
    EXPECT_EQ(SoxFrames(File), Frames) << File;
    EXPECT_FALSE(FfprobeStreams(File).empty()) << File;
}

// Decodes IMA blocks with the shared decoding step: what any reader of the layout gets.
std::vector<int16_t> DecodeIma(const std::vector<uint8_t>& Data, int Channels, int BlockSize) {
    std::vector<int16_t> out;
    for (size_t b = 0; b + size_t(BlockSize) <= Data.size(); b += size_t(BlockSize)) {
        const uint8_t* blk = Data.data() + b;
        int32_t pred[2], index[2];
        for (int c = 0; c < Channels; ++c) {
            pred[c] = int16_t(blk[4 * c] | (blk[4 * c + 1] << 8));
            index[c] = blk[4 * c + 2];
            out.push_back(int16_t(pred[c]));
        }
        const int codes = Channels == 1 ? 2 * (BlockSize - 4) : BlockSize - 8;
        std::vector<int16_t> ch[2];
        for (int c = 0; c < Channels; ++c) {
            for (int k = 0; k < codes; ++k) {
                const int at = Channels == 1 ? 4 + k / 2 : 8 + 8 * (k / 8) + (k % 8) / 2 + 4 * c;
                const uint8_t code = (k % 2 == 0) ? blk[at] & 15 : blk[at] >> 4;
                ch[c].push_back(ImaDecodeStep(code, pred[c], index[c]));
            }
        }
        for (int k = 0; k < codes; ++k)
            for (int c = 0; c < Channels; ++c) out.push_back(ch[c][size_t(k)]);
    }
    return out;
}

} // namespace

TEST(WaveOutPcm, StereoHeaderIsExactAndKnownSizeIsNotPatched) {
    ScratchDir dir("waveout");
    const auto file = dir.File("stereo.wav");
    TPcmPatternSource src(44100, 2, 16, 10000);
    TWaveOut w(nullptr);
    w.SetFileName(file.string());
    ASSERT_EQ(RunToDone(w, src), "");

    const std::vector<uint8_t> expected = {
        'R',  'I',  'F', 'F', 0x64, 0x9C, 0x00, 0x00, 'W', 'A',  'V',  'E',  'f', 'm',  't',
        ' ',  16,   0,   0,   0,    1,    0,    2,    0,   0x44, 0xAC, 0,    0,   0x10, 0xB1,
        0x02, 0x00, 4,   0,   16,   0,    'd',  'a',  't', 'a',  0x40, 0x9C, 0,   0};
    const auto bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 44u + 40000u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 44), expected);
    EXPECT_EQ(Tail(bytes, 44), src.Data);
    EXPECT_EQ(w.WavType(), TWavType::wtPCM);
    ExpectToolsAccept(file, 10000);

    // The same run into a stream: the header is written once and never gone back to.
    TFaultyStream stream;
    w.SetStream(&stream);
    ASSERT_EQ(RunToDone(w, src), "");
    EXPECT_EQ(stream.Rewrites, 0);
    EXPECT_EQ(stream.Bytes(), bytes);
}

TEST(WaveOutPcm, UnknownSizeAndShortInputEndWithRightSizes) {
    ScratchDir dir("waveout");
    TWaveOut w(nullptr);

    // Size unknown: the header keeps a 36-byte "JUNK" chunk for 64-bit sizes after "WAVE",
    // and is patched to what came.
    TPcmPatternSource unknown(22050, 1, 16, 3001);
    unknown.ReportedSize = -1;
    w.SetFileName(dir.File("unknown.wav").string());
    ASSERT_EQ(RunToDone(w, unknown), "");
    auto bytes = ReadFileBytes(dir.File("unknown.wav"));
    ASSERT_EQ(bytes.size(), 80u + 6002u);
    EXPECT_EQ(std::string(bytes.begin() + 12, bytes.begin() + 16), "JUNK");
    EXPECT_EQ(U32At(bytes, 4), 6002u + 72u);
    EXPECT_EQ(U32At(bytes, 76), 6002u);
    ExpectToolsAccept(dir.File("unknown.wav"), 3001);

    // An 8-bit input that ends before its Size: the promised length is kept, padded with
    // 8-bit silence (128), not with full-scale zeros.
    TPcmPatternSource shortSrc(8000, 1, 8, 1000);
    shortSrc.DeliverBytes = 900;
    w.SetFileName(dir.File("short.wav").string());
    ASSERT_EQ(RunToDone(w, shortSrc), "");
    bytes = ReadFileBytes(dir.File("short.wav"));
    ASSERT_EQ(bytes.size(), 44u + 1000u);
    EXPECT_EQ(U32At(bytes, 40), 1000u);
    EXPECT_TRUE(std::equal(bytes.begin() + 44, bytes.begin() + 944, shortSrc.Data.begin()));
    EXPECT_TRUE(std::all_of(bytes.begin() + 944, bytes.end(), [](uint8_t b) { return b == 128; }));
}

TEST(WaveOutPcm, StoppedHalfwayIsPatchedToWhatWasWritten) {
    ScratchDir dir("waveout");
    const auto file = dir.File("stopped.wav");
    TPcmPatternSource src(44100, 2, 16, 200000);
    std::atomic<bool> reached{false}, release{false};
    src.BeforeRead = [&](int64_t delivered) {
        if (delivered < int64_t(src.Data.size() / 2) || reached) return;
        reached = true;
        while (!release) std::this_thread::yield();
    };
    TWaveOut w(nullptr);
    w.SetFileName(file.string());
    bool done = false;
    w.OnDone = [&](TComponent*) { done = true; };
    w.SetInput(&src);
    w.Run();
    ASSERT_TRUE(PumpUntil([&] { return reached.load(); }));
    // Property changes are refused while the run goes on.
    w.SetWavType(TWavType::wtDVIADPCM);
    w.SetBlockSize(1024);
    EXPECT_EQ(w.WavType(), TWavType::wtPCM);
    EXPECT_EQ(w.BlockSize(), 512);
    w.Stop(true);
    release = true;
    ASSERT_TRUE(PumpUntil([&] { return done; }));
    EXPECT_EQ(w.ExceptionMessage(), "");

    const auto bytes = ReadFileBytes(file);
    const size_t data = bytes.size() - 44;
    EXPECT_GE(data, src.Data.size() / 2);
    EXPECT_LT(data, src.Data.size());
    EXPECT_EQ(U32At(bytes, 40), data);
    EXPECT_EQ(U32At(bytes, 4), bytes.size() - 8);
    EXPECT_TRUE(std::equal(bytes.begin() + 44, bytes.end(), src.Data.begin()));
    ExpectToolsAccept(file, int64_t(data / 4));
}

struct TExtCase {
    uint16_t Channels, Bits;
    bool NonMs;
    bool Extensible;
    uint32_t Mask;
};

class WaveOutHeaders : public ::testing::TestWithParam<TExtCase> {};

TEST_P(WaveOutHeaders, ExtensibleOnlyWhenAskedFor) {
    const TExtCase c = GetParam();
    ScratchDir dir("waveout");
    const auto file = dir.File("multi.wav");
    TPcmPatternSource src(48000, c.Channels, c.Bits, 2400);
    TWaveOut w(nullptr);
    w.SetCreateNonMsHeaders(c.NonMs);
    w.SetFileName(file.string());
    ASSERT_EQ(RunToDone(w, src), "");
    const auto bytes = ReadFileBytes(file);
    const uint32_t blockAlign = c.Channels * c.Bits / 8u;
    const size_t head = c.Extensible ? 68 : 44;
    ASSERT_EQ(bytes.size(), head + src.Data.size());
    EXPECT_EQ(U32At(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(U16At(bytes, 20), c.Extensible ? 0xFFFE : 1);
    EXPECT_EQ(U16At(bytes, 22), c.Channels);
    EXPECT_EQ(U32At(bytes, 24), 48000u);
    EXPECT_EQ(U32At(bytes, 28), 48000u * blockAlign);
    EXPECT_EQ(U16At(bytes, 32), blockAlign);
    EXPECT_EQ(U16At(bytes, 34), c.Bits);
    if (c.Extensible) {
        EXPECT_EQ(U32At(bytes, 16), 40u);
        EXPECT_EQ(U16At(bytes, 36), 22);
        EXPECT_EQ(U16At(bytes, 38), c.Bits);
        EXPECT_EQ(U32At(bytes, 40), c.Mask);
        EXPECT_TRUE(std::equal(KSDATAFORMAT_SUBTYPE_PCM.begin(), KSDATAFORMAT_SUBTYPE_PCM.end(),
                               bytes.begin() + 44));
        EXPECT_EQ(U32At(bytes, 64), src.Data.size());
        EXPECT_EQ(w.WavType(), TWavType::wtExtPCM);
    } else {
        EXPECT_EQ(U32At(bytes, 40), src.Data.size());
        EXPECT_EQ(w.WavType(), TWavType::wtPCM);
    }
    EXPECT_EQ(Tail(bytes, head), src.Data);
    ExpectToolsAccept(file, 2400);

    // The switch to the extensible header lasts one run: plain stereo is plain again.
    TPcmPatternSource plain(48000, 2, 16, 100);
    ASSERT_EQ(RunToDone(w, plain), "");
    EXPECT_EQ(ReadFileBytes(file).size(), 44u + 400u);
    EXPECT_EQ(w.WavType(), TWavType::wtPCM);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, WaveOutHeaders,
    ::testing::Values(TExtCase{6, 16, false, true, 63}, TExtCase{6, 16, true, false, 0},
                      TExtCase{2, 24, false, true, 3}, TExtCase{2, 24, true, false, 0},
                      TExtCase{8, 16, false, true, 255}, TExtCase{3, 32, false, true, 7},
                      TExtCase{1, 32, false, true, 1}, TExtCase{1, 8, false, false, 0}));

TEST(WaveOutProperties, SettersTakeOnlyWhatTheyCanWrite) {
    TWaveOut w(nullptr);
    EXPECT_EQ(w.WavType(), TWavType::wtPCM);
    EXPECT_EQ(w.BlockSize(), 512);
    EXPECT_TRUE(w.CreateNonMsHeaders());
    EXPECT_EQ(w.FileMode(), TFileOutputMode::foRewrite);
    for (TWavType t : {TWavType::wtMSADPCM, TWavType::wtExtPCM, TWavType::wtIEEEFloat,
                       TWavType::wtACM, TWavType::wtUnsupported})
        w.SetWavType(t);
    EXPECT_EQ(w.WavType(), TWavType::wtPCM);
    w.SetWavType(TWavType::wtDVIADPCM);
    EXPECT_EQ(w.WavType(), TWavType::wtDVIADPCM);
    w.SetBlockSize(510);
    w.SetBlockSize(0);
    EXPECT_EQ(w.BlockSize(), 512);
    w.SetBlockSize(1024);
    EXPECT_EQ(w.BlockSize(), 1024);
    w.SetFileMode(TFileOutputMode::foAppend);
    EXPECT_EQ(w.FileMode(), TFileOutputMode::foAppend);
}

TEST(WaveOutIma, HeaderAndBlockLayout) {
    for (uint16_t channels : {1, 2}) {
        ScratchDir dir("waveout");
        const auto file = dir.File("ima.wav");
        const int64_t frames = 3000;
        TPcmPatternSource src(44100, channels, 16, frames);
        TWaveOut w(nullptr);
        w.SetWavType(TWavType::wtDVIADPCM);
        w.SetFileName(file.string());
        ASSERT_EQ(RunToDone(w, src), "");
        const auto bytes = ReadFileBytes(file);
        const uint32_t spb = channels == 1 ? 1017 : 505;
        const uint32_t blocks = uint32_t((frames + spb - 1) / spb);
        ASSERT_EQ(bytes.size(), 60u + blocks * 512u) << channels;
        EXPECT_EQ(U32At(bytes, 4), bytes.size() - 8);
        EXPECT_EQ(U32At(bytes, 16), 20u);
        EXPECT_EQ(U16At(bytes, 20), 17);
        EXPECT_EQ(U16At(bytes, 22), channels);
        EXPECT_EQ(U32At(bytes, 28), 44100u / spb * 512u);
        EXPECT_EQ(U16At(bytes, 32), 512);
        EXPECT_EQ(U16At(bytes, 34), 4);
        EXPECT_EQ(U16At(bytes, 36), 2);
        EXPECT_EQ(U16At(bytes, 38), spb);
        EXPECT_EQ(U32At(bytes, 44), 4u);
        EXPECT_EQ(U32At(bytes, 48), uint32_t(frames));
        EXPECT_EQ(U32At(bytes, 56), blocks * 512u);
        // Each block starts with the first sample of its frames for each channel, a step
        // index, and a zero byte; the index starts at 0 and carries over.
        for (uint32_t b = 0; b < blocks; ++b) {
            for (uint16_t c = 0; c < channels; ++c) {
                const size_t at = 60 + b * 512 + 4 * c;
                EXPECT_EQ(int16_t(U16At(bytes, at)), src.Sample16(b * spb, c));
                EXPECT_LE(bytes[at + 2], 88);
                EXPECT_EQ(bytes[at + 3], 0);
                if (b == 0) {
                    EXPECT_EQ(bytes[at + 2], 0);
                }
            }
        }
        EXPECT_EQ(w.WavType(), TWavType::wtDVIADPCM);
        EXPECT_GE(SoxFrames(file), frames);
        EXPECT_FALSE(FfprobeStreams(file).empty());
    }
}

TEST(WaveOutIma, FfmpegDecodesTheSineWithinTolerance) {
    for (uint16_t channels : {1, 2}) {
        ScratchDir dir("waveout");
        const auto file = dir.File("sine.wav");
        const int64_t frames = 44100;
        TPcmPatternSource src(44100, channels, 16, frames);
        TWaveOut w(nullptr);
        w.SetWavType(TWavType::wtDVIADPCM);
        w.SetFileName(file.string());
        ASSERT_EQ(RunToDone(w, src), "");

        const std::vector<int16_t> decoded = FfmpegDecodeS16(file);
        const int64_t spb = channels == 1 ? 1017 : 505;
        const int64_t got = int64_t(decoded.size()) / channels;
        // Whole blocks: the input, then less than a block of padding.
        EXPECT_GE(got, frames);
        EXPECT_LT(got, frames + spb);
        // ffmpeg and the shared decoding step read the blocks the same way; they only
        // round the reconstructed differences slightly differently. A misplaced code or
        // header would put them thousands apart.
        const auto bytes = ReadFileBytes(file);
        const std::vector<int16_t> ours = DecodeIma(Tail(bytes, 60), channels, 512);
        ASSERT_EQ(ours.size(), decoded.size());
        int maxDiff = 0;
        for (size_t i = 0; i < ours.size(); ++i)
            maxDiff = std::max(maxDiff, std::abs(ours[i] - decoded[i]));
        EXPECT_LE(maxDiff, 128);

        double signal = 0, noise = 0;
        for (int64_t f = 0; f < std::min(got, frames); ++f) {
            for (uint16_t c = 0; c < channels; ++c) {
                const double s = src.Sample16(f, c);
                const double e = s - decoded[size_t(f * channels + c)];
                signal += s * s;
                noise += e * e;
            }
        }
        const double snr = 10 * std::log10(signal / std::max(noise, 1.0));
        // About 43 dB for this sine at half scale; 35 dB leaves room, a broken encoder is
        // far below it.
        EXPECT_GT(snr, 35.0) << channels << " channels";
        // The padding settles to near silence within a few dozen frames.
        for (int64_t f = frames + 64; f < got; ++f)
            for (uint16_t c = 0; c < channels; ++c)
                EXPECT_LE(std::abs(decoded[size_t(f * channels + c)]), 64) << f;
    }
}

TEST(WaveOutIma, InputsTheEncoderCannotTakeAreRefusedBeforeTheFileIsTouched) {
    ScratchDir dir("waveout");
    const auto file = dir.File("keep.wav");
    const std::vector<uint8_t> before = {'o', 'l', 'd'};
    struct TCase {
        uint16_t Channels, Bits;
        uint16_t BlockSize;
        const char* Message;
    };
    for (const TCase& c : {TCase{1, 8, 512, "Cannot encode 8 bit sound into ADPCM."},
                           TCase{2, 24, 512, "Cannot encode 8 bit sound into ADPCM."},
                           TCase{3, 16, 512, "Cannot encode more than 2 channels into ADPCM."},
                           TCase{2, 16, 516, "Block size does not suit ADPCM."}}) {
        WriteFileBytes(file, before);
        TPcmPatternSource src(22050, c.Channels, c.Bits, 100);
        TWaveOut w(nullptr);
        w.SetWavType(TWavType::wtDVIADPCM);
        w.SetBlockSize(c.BlockSize);
        w.SetFileName(file.string());
        EXPECT_EQ(RunToDone(w, src), c.Message);
        EXPECT_EQ(ReadFileBytes(file), before);
        EXPECT_FALSE(src.Busy()); // the input was flushed all the same
    }
}

TEST(WaveOutIma, EncoderTracksTheDecoderOnFullScaleNoise) {
    // Full-scale noise, extremes included, drives the predictor into both clamps and the
    // step index to both ends. After each block the encoder's predictor must be exactly
    // what a decoder ends the block on, or later blocks would drift.
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(-32768, 32767);
    for (uint16_t channels : {1, 2}) {
        const uint16_t blockSize = 256;
        const int spb = channels == 1 ? 2 * (blockSize - 4) + 1 : blockSize - 7;
        TImaChannelState state[2];
        for (int block = 0; block < 20; ++block) {
            std::vector<int16_t> frames(size_t(spb) * channels);
            for (auto& v : frames)
                v = int16_t(block % 2 ? pick(rng) : (pick(rng) < 0 ? -32768 : 32767));
            std::vector<uint8_t> out(blockSize);
            ImaEncodeBlock(frames.data(), channels, blockSize, state, out.data());
            const std::vector<int16_t> decoded = DecodeIma(out, channels, blockSize);
            ASSERT_EQ(decoded.size(), frames.size());
            for (uint16_t c = 0; c < channels; ++c) {
                EXPECT_EQ(state[c].Predictor, decoded[decoded.size() - channels + c]);
                EXPECT_GE(state[c].StepIndex, 0);
                EXPECT_LE(state[c].StepIndex, 88);
            }
        }
    }
}
