// MPEG audio elementary streams without a decoder: frame headers, the Xing/Info and VBRI tag
// frames with LAME's encoder delay and padding, and a walk over the frames of a file that
// finds the audio between leading ID3v2 tags and trailing ID3v1/APE tags.
//
// The numbers it derives are those a decoder delivers. The length rule: the frames are
// always counted by walking the file (a tag's frame count is wrong often enough: files cut
// short keep the count of the whole, some encoders count the tag frame itself, damaged tags
// say anything). The samples are the walked frames x SamplesPerFrame, less LAME's encoder
// delay at the start (the decoder's own 529-sample delay taken into account), and less the
// padding at the end where the tag's count places it within the frames there are. No
// decoding library is involved, so it can be tested and fuzzed on its own.
//
// The frame index (TMp3FrameIndex) is the one list of frames every user of a file shares:
// the reader decodes frame by frame from it and a lossless cut can copy whole frames from
// it. Frame(i) gives the byte offset and header of audio frame i (the tag frame excluded);
// frame i's samples are i x SamplesPerFrame .. of the decoder's output before StartSkip is
// dropped.
//
// Threading: the functions are pure. A TMp3FrameIndex belongs to one reader and is used by
// one thread at a time. Ownership: the index reads through a callback the caller owns.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace sundral::mp3scan {

// The decoder delays its output by this many samples against the encoder's input; LAME's
// delay field counts the encoder's part only.
constexpr uint32_t kDecoderDelay = 529;

enum class TMpegVersion : uint8_t { mvMpeg25, mvMpeg2, mvMpeg1 };

struct TMp3Header {
    TMpegVersion Version = TMpegVersion::mvMpeg1;
    uint8_t Layer = 3;       // 1, 2 or 3
    uint32_t BitRate = 0;    // bits per second
    uint32_t SampleRate = 0; // 8000 .. 48000
    uint32_t Channels = 2;
    uint32_t FrameBytes = 0; // whole frame, header included
    uint32_t SamplesPerFrame = 0;
    bool Protected = false; // a 16-bit CRC follows the header
};

// The four header bytes, big-endian. False for a missing sync word and for reserved or
// free-format values (a free-format frame has no size of its own).
bool ParseMp3Header(uint32_t Word, TMp3Header& Header);
// Frames of one stream agree on version, layer and sample rate.
bool SameStream(const TMp3Header& A, const TMp3Header& B);

enum class TMp3TagKind : uint8_t { tkNone, tkXing, tkInfo, tkVbri };

struct TMp3InfoTag {
    TMp3TagKind Kind = TMp3TagKind::tkNone;
    uint32_t Frames = 0; // audio frames after the tag frame; 0 when not given
    uint32_t Bytes = 0;  // bytes of the stream; 0 when not given
    bool HasLameTag = false;
    uint32_t EncoderDelay = 0; // samples the encoder put in front of the audio
    uint32_t Padding = 0;      // samples it appended at the end
    // A decoder skips the tag frame only when it tells a frame count or a size; otherwise
    // the frame is decoded as audio (it holds silence).
    bool IsTagFrame() const { return Kind != TMp3TagKind::tkNone && (Frames > 0 || Bytes > 0); }
};

// Looks for a Xing/Info or VBRI tag in the first frame of a stream (Frame holds Size bytes
// from its header on; a short Size simply finds less). Kind stays tkNone when there is none.
TMp3InfoTag ParseMp3InfoTag(const uint8_t* Frame, size_t Size, const TMp3Header& Header);

// Samples a decoder delivers for a stream of AudioFrames frames (tag frame excluded) with
// this tag: the LAME delay (plus the decoder's) is cut from the start, and with a frame
// count the padding from the end. StartSkip receives the samples cut from the start.
int64_t DeliveredSamples(const TMp3InfoTag& Tag, uint64_t AudioFrames, uint32_t SamplesPerFrame,
                         uint32_t& StartSkip);

// Reads up to Count bytes at Offset into Buffer; returns how many it read (0 at the end).
using TReadAt = std::function<size_t(int64_t Offset, uint8_t* Buffer, size_t Count)>;

// What the start of a file tells (and, for a file without a frame count, its whole walk).
struct TMp3StreamInfo {
    bool Valid = false;
    TMp3Header First;            // the first frame's header (the tag frame's, when there is one)
    TMp3InfoTag Tag;             // Kind tkNone when the file has none
    int64_t FirstAudio = 0;      // offset of the first audio frame
    int64_t AudioEnd = 0;        // end of the frames' area (before ID3v1/APE tags)
    uint64_t AudioFrames = 0;    // counted by the walk
    uint64_t AudioBytes = 0;     // bytes of those frames
    bool Walked = false;         // AudioFrames was counted by walking every frame (always)
    bool BitRatesDiffer = false; // the walk met frames of different bit rates
    int64_t TotalSamples = 0;    // samples a decoder delivers (see DeliveredSamples)
    uint32_t StartSkip = 0;      // decoded samples to drop at the start
    uint32_t BitRate = 0;        // nominal: the frames' rate, or the average for VBR
    bool IsVBR = false;          // Xing/VBRI: yes; Info: no; none: frame rates differ
};

// Frame positions of one stream, found lazily: the walk goes only as far as a caller asks.
// A frame that does not follow where the previous one ends makes the walk search for the
// next header of the same stream (followed by another such header, so that stray sync bits
// inside the audio are not taken for one).
class TMp3FrameIndex {
public:
    TMp3FrameIndex() = default;
    TMp3FrameIndex(const TReadAt& ReadAt, int64_t FileSize);

    // Finds the stream and its tags and walks the whole file. A tag's frame count that
    // disagrees with the frames found is dropped from Tag (more frames than it says: joined
    // files; a byte count far below the bytes there are). Files of any content may come
    // here: it reads only within FileSize and stops.
    TMp3StreamInfo Open();

    // Offset and header of audio frame Index (0 is the first audio frame); false past the
    // last frame. Walks on from the last frame found when needed.
    bool Frame(uint64_t Index, int64_t& Offset, TMp3Header& Header);
    // Frames found so far; all of them once Frame returned false or Open walked the file.
    uint64_t FramesFound() const { return FOffsets.size(); }

private:
    bool ReadWord(int64_t Offset, uint32_t& Word);
    // A header at Offset of the stream, whose frame fits before AudioEnd (Whole), or of
    // which at least the header and side information do (the last frame, cut short).
    bool HeaderAt(int64_t Offset, TMp3Header& Header, bool Whole = true);
    // The next frame of the stream at or after Offset (resynchronising when needed).
    bool FindFrom(int64_t Offset, int64_t& Found, TMp3Header& Header, bool Strict);
    bool WalkOne();

    TReadAt FReadAt;
    int64_t FFileSize = 0;
    int64_t FAudioEnd = 0;
    TMp3Header FStream; // the stream's fixed fields
    bool FHaveStream = false;
    bool FEnded = false;
    int64_t FNext = 0; // where the frame after the last one found should start
    std::vector<int64_t> FOffsets;
    // Small read-ahead window so that walking costs one read per window, not per frame.
    std::vector<uint8_t> FWindow;
    int64_t FWindowStart = -1;
};

} // namespace sundral::mp3scan
