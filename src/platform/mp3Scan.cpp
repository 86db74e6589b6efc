#include "platform/mp3Scan.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace sundral::mp3scan {

namespace {

// Kilobits per second by [MPEG-1 or not][layer - 1][index]; index 0 (free format) and 15
// (reserved) are refused before the table is read.
constexpr uint16_t kBitRates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
constexpr uint32_t kMpeg1Rates[3] = {44100, 48000, 32000};

// The largest frame any header describes (layer II, 160 kbps at 8 kHz) and then some.
constexpr size_t kMaxFrame = 4096;
constexpr size_t kWindow = 65536;

uint32_t BigEndian32(const uint8_t* P) {
    return (uint32_t(P[0]) << 24) | (uint32_t(P[1]) << 16) | (uint32_t(P[2]) << 8) | P[3];
}

bool Starts(const uint8_t* P, const char* Text) {
    return std::memcmp(P, Text, std::strlen(Text)) == 0;
}

} // namespace

bool ParseMp3Header(uint32_t Word, TMp3Header& Header) {
    if ((Word & 0xFFE00000u) != 0xFFE00000u) return false;
    const uint32_t version = (Word >> 19) & 3, layerBits = (Word >> 17) & 3;
    const uint32_t rateIndex = (Word >> 12) & 15, freqIndex = (Word >> 10) & 3;
    // Reserved version, layer, bit-rate and frequency codes; free format has no frame size.
    if (version == 1 || layerBits == 0 || rateIndex == 15 || rateIndex == 0 || freqIndex == 3)
        return false;
    TMp3Header h;
    h.Version = version == 3   ? TMpegVersion::mvMpeg1
                : version == 2 ? TMpegVersion::mvMpeg2
                               : TMpegVersion::mvMpeg25;
    h.Layer = uint8_t(4 - layerBits);
    const bool mpeg1 = h.Version == TMpegVersion::mvMpeg1;
    h.BitRate = kBitRates[mpeg1 ? 0 : 1][h.Layer - 1][rateIndex] * 1000u;
    h.SampleRate = kMpeg1Rates[freqIndex] >> (mpeg1                                ? 0
                                              : h.Version == TMpegVersion::mvMpeg2 ? 1
                                                                                   : 2);
    h.Channels = ((Word >> 6) & 3) == 3 ? 1 : 2;
    h.Protected = ((Word >> 16) & 1) == 0;
    const uint32_t padding = (Word >> 9) & 1;
    if (h.Layer == 1) {
        h.FrameBytes = (12 * h.BitRate / h.SampleRate + padding) * 4;
        h.SamplesPerFrame = 384;
    } else if (h.Layer == 2 || mpeg1) {
        h.FrameBytes = 144 * h.BitRate / h.SampleRate + padding;
        h.SamplesPerFrame = 1152;
    } else {
        h.FrameBytes = 72 * h.BitRate / h.SampleRate + padding;
        h.SamplesPerFrame = 576;
    }
    Header = h;
    return true;
}

bool SameStream(const TMp3Header& A, const TMp3Header& B) {
    return A.Version == B.Version && A.Layer == B.Layer && A.SampleRate == B.SampleRate;
}

TMp3InfoTag ParseMp3InfoTag(const uint8_t* Frame, size_t Size, const TMp3Header& Header) {
    TMp3InfoTag tag;
    const bool mpeg1 = Header.Version == TMpegVersion::mvMpeg1;
    // The tag follows the side information, whose size depends on version and channels.
    const size_t xing =
        4 + (mpeg1 ? (Header.Channels == 1 ? 17 : 32) : (Header.Channels == 1 ? 9 : 17));
    // Every field read below is checked against Size: the frame may be cut short.
    if (Size >= xing + 8 && (Starts(Frame + xing, "Xing") || Starts(Frame + xing, "Info"))) {
        tag.Kind = Starts(Frame + xing, "Xing") ? TMp3TagKind::tkXing : TMp3TagKind::tkInfo;
        const uint32_t flags = BigEndian32(Frame + xing + 4);
        size_t at = xing + 8;
        if (flags & 1) {
            if (Size < at + 4) return tag;
            tag.Frames = BigEndian32(Frame + at);
            at += 4;
        }
        if (flags & 2) {
            if (Size < at + 4) return tag;
            tag.Bytes = BigEndian32(Frame + at);
            at += 4;
        }
        if (flags & 4) at += 100; // seek table
        if (flags & 8) at += 4;   // quality
        // LAME's extension: a 9-byte version text, then 12 bytes of settings, then the
        // encoder delay and padding as two 12-bit numbers.
        if (Size >= at + 24 && (Starts(Frame + at, "LAME") || Starts(Frame + at, "Lavf") ||
                                Starts(Frame + at, "Lavc"))) {
            const uint8_t* p = Frame + at + 21;
            const uint32_t v = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
            tag.HasLameTag = true;
            tag.EncoderDelay = v >> 12;
            tag.Padding = v & 0xFFF;
        }
        return tag;
    }
    // VBRI sits at a fixed place: version, delay, quality, then bytes and frames.
    if (Size >= 36 + 18 && Starts(Frame + 36, "VBRI")) {
        tag.Kind = TMp3TagKind::tkVbri;
        tag.Bytes = BigEndian32(Frame + 36 + 10);
        tag.Frames = BigEndian32(Frame + 36 + 14);
    }
    return tag;
}

int64_t DeliveredSamples(const TMp3InfoTag& Tag, uint64_t AudioFrames, uint32_t SamplesPerFrame,
                         uint32_t& StartSkip) {
    const int64_t decoded = int64_t(AudioFrames) * SamplesPerFrame;
    StartSkip = 0;
    if (!Tag.HasLameTag) return decoded;
    StartSkip = Tag.EncoderDelay + kDecoderDelay;
    int64_t end = decoded;
    if (Tag.Frames > 0)
        end = std::min<int64_t>(end, int64_t(Tag.Frames) * SamplesPerFrame - Tag.Padding +
                                         kDecoderDelay);
    return std::max<int64_t>(0, end - StartSkip);
}

// ---------------------------------------------------------------------------------------
// TMp3FrameIndex
// ---------------------------------------------------------------------------------------
TMp3FrameIndex::TMp3FrameIndex(const TReadAt& ReadAt, int64_t FileSize)
    : FReadAt(ReadAt), FFileSize(std::max<int64_t>(FileSize, 0)), FAudioEnd(FFileSize) {}

bool TMp3FrameIndex::ReadWord(int64_t Offset, uint32_t& Word) {
    if (Offset < 0 || Offset + 4 > FFileSize) return false;
    if (FWindowStart < 0 || Offset < FWindowStart ||
        Offset + 4 > FWindowStart + int64_t(FWindow.size())) {
        FWindow.resize(kWindow);
        const size_t got = FReadAt(Offset, FWindow.data(), kWindow);
        FWindow.resize(std::min(got, kWindow));
        FWindowStart = Offset;
        if (FWindow.size() < 4) return false;
    }
    Word = BigEndian32(FWindow.data() + (Offset - FWindowStart));
    return true;
}

namespace {

// Bytes of a frame that tell how it is coded: header, CRC and layer III side information.
uint32_t CodingBytes(const TMp3Header& Header) {
    // Layers I and II spread their allocation over the frame: only a whole frame will do.
    if (Header.Layer != 3) return Header.FrameBytes;
    const bool mpeg1 = Header.Version == TMpegVersion::mvMpeg1;
    const uint32_t side =
        mpeg1 ? (Header.Channels == 1 ? 17 : 32) : (Header.Channels == 1 ? 9 : 17);
    return std::min(Header.FrameBytes, 4 + (Header.Protected ? 2u : 0u) + side);
}

} // namespace

bool TMp3FrameIndex::HeaderAt(int64_t Offset, TMp3Header& Header, bool Whole) {
    uint32_t word = 0;
    TMp3Header h;
    if (!ReadWord(Offset, word) || !ParseMp3Header(word, h)) return false;
    if (FHaveStream && !SameStream(h, FStream)) return false;
    // A frame cut short by the end of the audio still decodes when its header and side
    // information are there; only a frame that follows the previous one is taken so.
    const uint32_t needs = Whole ? h.FrameBytes : CodingBytes(h);
    if (Offset + int64_t(needs) > FAudioEnd) return false;
    Header = h;
    return true;
}

bool TMp3FrameIndex::FindFrom(int64_t Offset, int64_t& Found, TMp3Header& Header, bool Strict) {
    if (!Strict && HeaderAt(Offset, Header, false)) {
        Found = Offset;
        return true;
    }
    // Resynchronise: a header counts only when the next frame follows it (or the audio
    // ends exactly there), so that sync bits inside audio data are passed over.
    for (int64_t at = Offset; at + 4 <= FAudioEnd; ++at) {
        TMp3Header h, next;
        if (!HeaderAt(at, h)) continue;
        const int64_t after = at + h.FrameBytes;
        if (after != FAudioEnd) {
            const bool had = FHaveStream;
            const TMp3Header saved = FStream;
            FStream = h;
            FHaveStream = true;
            const bool follows = HeaderAt(after, next);
            FStream = saved;
            FHaveStream = had;
            if (!follows) continue;
        }
        Found = at;
        Header = h;
        return true;
    }
    return false;
}

TMp3StreamInfo TMp3FrameIndex::Open() {
    TMp3StreamInfo info;
    FOffsets.clear();
    FHaveStream = false;
    FEnded = false;
    FWindowStart = -1;
    FAudioEnd = FFileSize;

    // Trailing tags: ID3v1 in the last 128 bytes, an APEv2 tag (footer last) before it.
    std::array<uint8_t, 32> tail{};
    if (FAudioEnd >= 128 && FReadAt(FAudioEnd - 128, tail.data(), 3) == 3 &&
        Starts(tail.data(), "TAG"))
        FAudioEnd -= 128;
    if (FAudioEnd >= 32 && FReadAt(FAudioEnd - 32, tail.data(), 32) == 32 &&
        Starts(tail.data(), "APETAGEX")) {
        const uint32_t size = uint32_t(tail[12]) | (uint32_t(tail[13]) << 8) |
                              (uint32_t(tail[14]) << 16) | (uint32_t(tail[15]) << 24);
        const bool header = (tail[23] & 0x80) != 0;
        // The size comes from the file: only a tag that fits is cut off.
        const int64_t whole = int64_t(size) + (header ? 32 : 0);
        if (whole >= 32 && whole <= FAudioEnd) FAudioEnd -= whole;
    }

    // Leading ID3v2 tags (there may be several): header "ID3", 28-bit size.
    int64_t pos = 0;
    for (;;) {
        uint8_t h[10];
        if (FReadAt(pos, h, 10) != 10 || !Starts(h, "ID3")) break;
        if ((h[6] | h[7] | h[8] | h[9]) & 0x80) break;
        const int64_t size =
            (int64_t(h[6]) << 21) | (int64_t(h[7]) << 14) | (int64_t(h[8]) << 7) | h[9];
        pos += 10 + size + ((h[5] & 0x10) ? 10 : 0);
    }

    TMp3Header first;
    int64_t at = 0;
    if (!FindFrom(pos, at, first, true)) return info;
    FStream = first;
    FHaveStream = true;
    info.Valid = true;
    info.First = first;

    std::vector<uint8_t> frame(std::min<size_t>(first.FrameBytes, kMaxFrame));
    frame.resize(FReadAt(at, frame.data(), frame.size()));
    info.Tag = ParseMp3InfoTag(frame.data(), frame.size(), first);
    info.FirstAudio = info.Tag.IsTagFrame() ? at + first.FrameBytes : at;
    info.AudioEnd = FAudioEnd;
    FNext = info.FirstAudio;

    // The frames are always counted: a tag's count may be wrong in either direction (a file
    // cut short keeps the count of the whole, some encoders count the tag frame too, a
    // damaged tag says anything), and the decoder's output follows the frames that are there.
    uint32_t firstRate = 0;
    while (WalkOne()) {
        TMp3Header h;
        HeaderAt(FOffsets.back(), h, false);
        if (firstRate == 0) firstRate = h.BitRate;
        if (h.BitRate != firstRate) info.BitRatesDiffer = true;
        info.AudioBytes += h.FrameBytes;
    }
    info.AudioFrames = FOffsets.size();
    info.Walked = true;
    // The tag's count still places the encoder's padding at the end, but only when it tells
    // this stream: not when the file holds more frames than it says (several files joined:
    // the padding of the first would be cut from the middle), nor when the tag's byte count
    // is far from the bytes there are.
    const int64_t area = FAudioEnd - at;
    const uint64_t said = info.Tag.Bytes;
    if (info.AudioFrames > info.Tag.Frames ||
        (said > 0 && area > int64_t(said) + int64_t(said >> 4)))
        info.Tag.Frames = 0;

    const uint32_t spf = first.SamplesPerFrame;
    info.TotalSamples = DeliveredSamples(info.Tag, info.AudioFrames, spf, info.StartSkip);

    const bool vbrTag =
        info.Tag.Kind == TMp3TagKind::tkXing || info.Tag.Kind == TMp3TagKind::tkVbri;
    info.IsVBR = vbrTag || (info.Tag.Kind == TMp3TagKind::tkNone && info.BitRatesDiffer);
    if (info.IsVBR && info.AudioFrames > 0) {
        // A tag's counts come from the file: an average beyond any MPEG rate is capped.
        const double average =
            double(info.AudioBytes) * 8.0 * first.SampleRate / (double(info.AudioFrames) * spf);
        info.BitRate = uint32_t(std::min(average, 448000.0) + 0.5);
    } else
        info.BitRate = first.BitRate;
    // LAME may write an Info tag in a frame of a higher rate than the stream's, to fit.
    int64_t audioAt = 0;
    TMp3Header audio;
    if (info.Tag.Kind == TMp3TagKind::tkInfo && Frame(0, audioAt, audio))
        info.BitRate = audio.BitRate;
    return info;
}

bool TMp3FrameIndex::WalkOne() {
    if (FEnded || !FHaveStream) return false;
    int64_t at = 0;
    TMp3Header h;
    if (!FindFrom(FNext, at, h, false)) {
        FEnded = true;
        return false;
    }
    FOffsets.push_back(at);
    FNext = at + h.FrameBytes;
    return true;
}

bool TMp3FrameIndex::Frame(uint64_t Index, int64_t& Offset, TMp3Header& Header) {
    while (FOffsets.size() <= Index)
        if (!WalkOne()) return false;
    Offset = FOffsets[Index];
    return HeaderAt(Offset, Header, false);
}

} // namespace sundral::mp3scan
