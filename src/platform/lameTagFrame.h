// The encoder's tag frame, when the encoder cannot write it itself.
//
// The first frame of a Layer III stream may carry, instead of audio, an "Info" (constant
// rate) or "Xing" block after its side information, followed by the encoder's block with
// the delay it put before the audio and the padding after it. Decoders skip that frame and
// trim delay and padding, so they play exactly the frames that went in. The library writes
// the frame at the stream's own bit rate and leaves it out when a frame of that rate is too
// small to hold it (a constant 32 kbit/s stream at 44.1 kHz, for one). Decoders take the
// tag frame's size from its own header, so it may have a rate of its own: these helpers
// pick the smallest rate of the stream's MPEG version whose frame holds the block, and
// fill it once the encoder has finished.
//
// Threading: pure functions. Ownership: values only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sundral {

// What a tag frame must agree with: the stream's MPEG version, sample rate, channel layout
// and the header flags its audio frames carry.
struct TTagFrameStream {
    bool Mpeg1 = true;       // false: MPEG-2, or MPEG-2.5 below 16 kHz
    uint32_t SampleRate = 0; // one of the nine Layer III rates
    int ChannelMode = 0;     // header value: 0 stereo, 1 joint, 2 dual, 3 mono
    bool Crc = false;        // the audio frames carry checksums
    bool Copyright = false, Original = false;
};

// Bytes of side information after the four header bytes.
uint32_t TagSideInfoBytes(const TTagFrameStream& Stream);

// Whether the library's own tag frame, of Kbps, holds the whole block (it leaves the frame
// out when not). The library's frame repeats the stream's checksum flag.
bool LibraryTagFits(const TTagFrameStream& Stream, uint32_t Kbps);

// The frame reserved at the start of the stream: a valid header of the smallest rate that
// holds the block (no checksum, no padding), the rest zero. Empty for a sample rate that
// Layer III does not have.
std::vector<uint8_t> TagFramePlaceholder(const TTagFrameStream& Stream);

// What the filled frame says.
struct TTagFrameContents {
    uint32_t AudioFrames = 0;  // frames after the tag frame
    uint32_t StreamBytes = 0;  // tag frame and audio frames
    uint32_t EncoderDelay = 0; // frames of silence the encoder put before the audio
    uint32_t Padding = 0;      // and after it
    uint16_t AudioCrc = 0;     // TagCrc16 over the audio frames
    uint32_t Kbps = 0;         // the constant rate of the audio frames
    std::string Version;       // the encoder's short version text ("3.100")
};

// Fills a frame made by TagFramePlaceholder: "Info" with frame and byte counts, an even seek
// table for a constant rate, and the encoder's block with delay, padding and checksums.
void FillTagFrame(std::vector<uint8_t>& Frame, const TTagFrameStream& Stream,
                  const TTagFrameContents& Contents);

// CRC-16 with the reflected polynomial 0xA001, starting from Crc (0 for a new sum); the
// encoder's block sums the frame up to its own checksum, and the audio frames, with it.
uint16_t TagCrc16(const uint8_t* Data, size_t Count, uint16_t Crc = 0);

} // namespace sundral
