// The MPEG frame scanner on hand-made streams: header fields for every version and layer,
// the Xing/Info/VBRI tags with LAME's delay and padding, and walks over files with tags in
// front and behind, junk between frames and a frame cut short. (Whole files from an encoder
// are covered through the readers in wmin_test.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/mp3Scan.h"

using namespace sundral::mp3scan;

namespace {

using TBytes = std::vector<uint8_t>;

void PutBE32(TBytes& B, size_t At, uint32_t V) {
    for (int i = 0; i < 4; ++i) B[At + i] = uint8_t(V >> (24 - 8 * i));
}

// A frame of the header's size; its body holds no sync bits.
TBytes Frame(uint32_t Word) {
    TMp3Header h;
    EXPECT_TRUE(ParseMp3Header(Word, h));
    TBytes f(h.FrameBytes, 0x11);
    PutBE32(f, 0, Word);
    return f;
}

constexpr uint32_t kCbr128 = 0xFFFB9000;  // MPEG-1 layer III, 128 kbps, 44.1 kHz, stereo
constexpr uint32_t kCbr160 = 0xFFFBA000;  // the same at 160 kbps
constexpr uint32_t kMono22k = 0xFFF340C0; // MPEG-2 layer III, 32 kbps, 22.05 kHz, mono

// A tag frame: "Xing"/"Info" with the given flags after the side information, or VBRI.
TBytes TagFrame(uint32_t Word, const char* Kind, uint32_t Frames, uint32_t Bytes,
                const char* Encoder, uint32_t Delay, uint32_t Padding) {
    TBytes f = Frame(Word);
    TMp3Header h;
    ParseMp3Header(Word, h);
    if (std::string(Kind) == "VBRI") {
        std::memcpy(&f[36], "VBRI", 4);
        PutBE32(f, 36 + 10, Bytes);
        PutBE32(f, 36 + 14, Frames);
        return f;
    }
    size_t at = 4 + (h.Version == TMpegVersion::mvMpeg1 ? (h.Channels == 1 ? 17 : 32)
                                                        : (h.Channels == 1 ? 9 : 17));
    std::memcpy(&f[at], Kind, 4);
    PutBE32(f, at + 4, (Frames ? 1 : 0) | (Bytes ? 2 : 0));
    at += 8;
    if (Frames) PutBE32(f, (at += 4) - 4, Frames);
    if (Bytes) PutBE32(f, (at += 4) - 4, Bytes);
    if (Encoder && at + 24 <= f.size()) {
        std::memcpy(&f[at], Encoder, std::strlen(Encoder));
        const uint32_t v = (Delay << 12) | Padding;
        f[at + 21] = uint8_t(v >> 16);
        f[at + 22] = uint8_t(v >> 8);
        f[at + 23] = uint8_t(v);
    }
    return f;
}

TMp3StreamInfo Scan(const TBytes& File, uint64_t* Frames = nullptr) {
    TMp3FrameIndex index(
        [&File](int64_t Offset, uint8_t* Buffer, size_t Count) {
            if (Offset < 0 || size_t(Offset) >= File.size()) return size_t(0);
            const size_t n = std::min(Count, File.size() - size_t(Offset));
            std::memcpy(Buffer, File.data() + Offset, n);
            return n;
        },
        int64_t(File.size()));
    TMp3StreamInfo info = index.Open();
    if (Frames) {
        int64_t offset;
        TMp3Header h;
        while (index.Frame(index.FramesFound(), offset, h)) {
        }
        *Frames = index.FramesFound();
    }
    return info;
}

TBytes Join(std::initializer_list<TBytes> Parts) {
    TBytes out;
    for (const TBytes& p : Parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TBytes Repeat(const TBytes& Part, int Count) {
    TBytes out;
    for (int i = 0; i < Count; ++i) out.insert(out.end(), Part.begin(), Part.end());
    return out;
}

TEST(Mp3Header, FieldsOfEveryVersionAndLayer) {
    struct {
        uint32_t Word;
        uint8_t Layer;
        uint32_t BitRate, Rate, Channels, Bytes, Samples;
    } cases[] = {
        {kCbr128, 3, 128000, 44100, 2, 417, 1152},
        {kCbr128 | 0x200, 3, 128000, 44100, 2, 418, 1152}, // padded
        {0xFFFDE8C0, 2, 384000, 32000, 1, 1728, 1152},     // MPEG-1 layer II
        {0xFFFF1000, 1, 32000, 44100, 2, 32, 384},         // MPEG-1 layer I
        {kMono22k, 3, 32000, 22050, 1, 104, 576},
        {0xFFE3E800, 3, 160000, 8000, 2, 1440, 576},  // MPEG-2.5 at 8 kHz
        {0xFFE5E800, 2, 160000, 8000, 2, 2880, 1152}, // the largest frame there is
    };
    for (const auto& c : cases) {
        TMp3Header h;
        ASSERT_TRUE(ParseMp3Header(c.Word, h)) << std::hex << c.Word;
        EXPECT_EQ(h.Layer, c.Layer);
        EXPECT_EQ(h.BitRate, c.BitRate);
        EXPECT_EQ(h.SampleRate, c.Rate);
        EXPECT_EQ(h.Channels, c.Channels);
        EXPECT_EQ(h.FrameBytes, c.Bytes);
        EXPECT_EQ(h.SamplesPerFrame, c.Samples);
    }
    // No sync, reserved version, reserved layer, bit rate 15, free format, frequency 3.
    for (uint32_t bad :
         {0xFFDB9000u, 0xFFEB9000u, 0xFFF99000u, 0xFFFBF000u, 0xFFFB0000u, 0xFFFB9C00u}) {
        TMp3Header h;
        EXPECT_FALSE(ParseMp3Header(bad, h)) << std::hex << bad;
    }
}

TEST(Mp3Scan, TagsAndTheSamplesTheyPromise) {
    struct {
        const char* Name;
        TBytes First;
        int AudioFrames;
        TMp3TagKind Kind;
        int64_t Samples;
        bool VBR;
    } cases[] = {
        // 10 frames said, LAME: 11520 - 576 - 1000 (the decoder's 529 cancel out).
        {"info_lame", TagFrame(kCbr128, "Info", 10, 0, "LAME3.100", 576, 1000), 10,
         TMp3TagKind::tkInfo, 11520 - 576 - 1000, false},
        // Padding below the decoder's delay: the end is what was decoded.
        {"short_padding", TagFrame(kCbr128, "Xing", 10, 0, "Lavc59.37", 576, 100), 10,
         TMp3TagKind::tkXing, 11520 - 576 - 529, true},
        {"xing_plain", TagFrame(kCbr128, "Xing", 7, 0, nullptr, 0, 0), 7, TMp3TagKind::tkXing,
         7 * 1152, true},
        {"vbri", TagFrame(kCbr128, "VBRI", 6, 7 * 417, nullptr, 0, 0), 6, TMp3TagKind::tkVbri,
         6 * 1152, true},
        {"mono_mpeg2", TagFrame(kMono22k, "Info", 5, 0, "LAME3.100", 576, 600), 5,
         TMp3TagKind::tkInfo, 5 * 576 - 576 - 600, false},
        // A tag without count or size is a silent audio frame; the stream is walked.
        {"empty_xing", TagFrame(kCbr128, "Xing", 0, 0, nullptr, 0, 0), 4, TMp3TagKind::tkXing,
         5 * 1152, true},
        {"no_tag", Frame(kCbr128), 8, TMp3TagKind::tkNone, 9 * 1152, false},
        // Counts the frames there are do not bear out: the frames are counted instead. A
        // damaged tag; a file cut short (LAME's padding is not there to cut); an encoder that
        // counted the tag frame too; more frames than said (joined files: no padding cut).
        {"count_too_big", TagFrame(kCbr128, "Xing", 100000, 0, nullptr, 0, 0), 3,
         TMp3TagKind::tkXing, 3 * 1152, true},
        {"cut_short", TagFrame(kCbr128, "Xing", 20, 21 * 417, "LAME3.100", 576, 1000), 10,
         TMp3TagKind::tkXing, 10 * 1152 - 576 - 529, true},
        {"counts_tag_frame", TagFrame(kCbr128, "VBRI", 7, 7 * 417, nullptr, 0, 0), 6,
         TMp3TagKind::tkVbri, 6 * 1152, true},
        {"count_too_small", TagFrame(kCbr128, "Info", 3, 0, "LAME3.100", 576, 1000), 10,
         TMp3TagKind::tkInfo, 10 * 1152 - 576 - 529, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TMp3Header h = [&] {
            TMp3Header x;
            ParseMp3Header((uint32_t(c.First[0]) << 24) | (c.First[1] << 16) | (c.First[2] << 8) |
                               c.First[3],
                           x);
            return x;
        }();
        const TBytes file =
            Join({c.First, Repeat(Frame(h.Channels == 1 ? kMono22k : kCbr128), c.AudioFrames)});
        TMp3StreamInfo info = Scan(file);
        ASSERT_TRUE(info.Valid);
        EXPECT_EQ(info.Tag.Kind, c.Kind);
        EXPECT_EQ(info.TotalSamples, c.Samples);
        EXPECT_EQ(info.IsVBR, c.VBR);
    }
}

TEST(Mp3Scan, WalksPastTagsJunkAndCutFrames) {
    TBytes id3v2 = {'I', 'D', '3', 4, 0, 0, 0, 0, 1, 0}; // 128 bytes of tag body
    id3v2.resize(10 + 128, 0xFF); // sync-looking bytes inside the tag are not frames
    TBytes id3v1(128, 0);
    std::memcpy(id3v1.data(), "TAG", 3);
    TBytes ape(32, 0); // an APEv2 footer-only tag of 32 bytes
    std::memcpy(ape.data(), "APETAGEX", 8);
    ape[12] = 32;
    const TBytes junk = {0x00, 0x55, 0xFF, 0xE0, 0x66, 0xFF}; // no valid header
    const TBytes frame = Frame(kCbr128);
    const TBytes cut(frame.begin(), frame.begin() + 200);
    const TBytes cutHeader(frame.begin(), frame.begin() + 20);

    struct {
        const char* Name;
        TBytes File;
        uint64_t Frames;
        bool RatesDiffer;
    } cases[] = {
        {"tags_around", Join({id3v2, Repeat(Frame(kCbr128), 5), ape, id3v1}), 5, false},
        {"junk_between", Join({Repeat(Frame(kCbr128), 3), junk, Repeat(Frame(kCbr128), 4)}), 7,
         false},
        // A last frame cut short still decodes while its header and side information
        // are there; cut inside them it is no frame.
        {"cut_last", Join({Repeat(Frame(kCbr128), 4), cut}), 5, false},
        {"cut_last_before_tags", Join({Repeat(Frame(kCbr128), 4), cut, ape, id3v1}), 5, false},
        {"cut_in_side_info", Join({Repeat(Frame(kCbr128), 4), cutHeader}), 4, false},
        {"mixed_rates", Join({Frame(kCbr128), Frame(kCbr160), Frame(kCbr128)}), 3, true},
        {"other_stream_ends", Join({Repeat(Frame(kCbr128), 3), Repeat(Frame(kMono22k), 3)}), 3,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        uint64_t frames = 0;
        TMp3StreamInfo info = Scan(c.File, &frames);
        ASSERT_TRUE(info.Valid);
        EXPECT_EQ(info.AudioFrames, c.Frames);
        EXPECT_EQ(frames, c.Frames);
        EXPECT_EQ(info.TotalSamples, int64_t(c.Frames) * 1152);
        EXPECT_EQ(info.IsVBR, c.RatesDiffer);
        // CBR keeps the frame rate; mixed rates average (417 + 522 + 417 bytes per 3456).
        EXPECT_EQ(info.BitRate, c.RatesDiffer ? 138425u : 128000u);
    }
    // Nothing but junk, a lone header, a tag alone: no stream.
    for (const TBytes& file : {junk, TBytes(frame.begin(), frame.begin() + 4), id3v2}) {
        EXPECT_FALSE(Scan(file).Valid);
    }
}

} // namespace
