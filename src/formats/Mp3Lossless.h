// Cutting an MP3 file without decoding it: the frames that hold the chosen stretch are copied
// byte for byte, and a new tag frame tells decoders how many samples to drop at each end, so
// the cut file decodes to exactly the chosen samples, equal to the source's own decode.
//
// The first copied frame is not the first one heard: a Layer III frame's samples also depend
// on the granules before it (the overlap of the transform and of the synthesis filter), so one
// frame in front is copied for MPEG-1 (two granules) and two for MPEG-2 and 2.5 (one granule
// each). That front frame's main data may begin in earlier frames (the bit reservoir); those
// bytes are moved into the front frame itself, which is written at a higher bit rate to hold
// them, so that no further frame is needed and the delay stays below two frames. When no bit
// rate holds them, a silent frame in front carries them instead (one frame more of delay).
//
// Free format, layers I and II and a sample rate or channel count that changes inside the
// stretch cannot be copied; the caller re-encodes then (Unsuitable, with the reason).
//
// Threading: one call per thread; it opens its own files. OnProgress is called on the calling
// thread; Stop may be set from any thread. Ownership: none kept.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sundral::mp3lossless {

enum class TCutStatus { csDone, csUnsuitable, csFailed };

struct TCutResult {
    TCutStatus Status = TCutStatus::csFailed;
    std::string Message; // why not, for csUnsuitable and csFailed
    int64_t Samples = 0; // samples the written file decodes to
    uint32_t Delay = 0;  // the tag's encoder delay and padding
    uint32_t Padding = 0;
    // A join's: per stretch, how many samples its window moved (later in the source when
    // positive) so that its frames could be copied; and the frames that were re-encoded.
    std::vector<int64_t> Shifts;
    int64_t EncodedFrames = 0;
};

// Follows a copy run on a worker.
struct TCopyControl {
    // The share done, 0 to 100, now and then.
    std::function<void(int32_t Percent)> OnProgress;
    // Polled between blocks of frames; a stopped copy removes what it wrote and returns
    // csFailed with the message "Stopped".
    const std::atomic<bool>* Stop = nullptr;
};

// Writes samples [Start, End) of In, numbered as a decoder delivers them (after the encoder
// delay), to Out; End -1 or past the end means to the end. ID3v2 tags in front and APE and
// ID3v1 tags at the end are kept as they are.
TCutResult CutMp3(const std::string& In, const std::string& Out, int64_t Start, int64_t End,
                  const TCopyControl& Control = {});

// A file measured before it is cut, read once for both: CutMp3 with the length known first.
class TMp3CutSource {
public:
    TMp3CutSource();
    ~TMp3CutSource();
    TMp3CutSource(const TMp3CutSource&) = delete;
    TMp3CutSource& operator=(const TMp3CutSource&) = delete;

    // Finds In's stream from its frames alone (no decoder is loaded). False when In holds no
    // Layer III stream with samples, or is a container file: the reader is needed then.
    bool Open(const std::string& In);
    // The length and rate, numbered as CutMp3 and the reader number the samples.
    int64_t Samples() const;
    uint32_t SampleRate() const;
    // As CutMp3, from the opened file.
    TCutResult Cut(const std::string& Out, int64_t Start, int64_t End,
                   const TCopyControl& Control = {});

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

// Tags written instead of the source's: Front takes the place of the ID3v2 tags in front;
// Back, when not empty, that of the source's ID3v1 block at the end (APE tags before it
// stay; a source without a block gets none).
struct TReplacedTags {
    std::vector<uint8_t> Front;
    std::vector<uint8_t> Back;
};
// As above, with the pieces' own tags.
TCutResult CutMp3(const std::string& In, const std::string& Out, int64_t Start, int64_t End,
                  const TReplacedTags& Tags, const TCopyControl& Control = {});

} // namespace sundral::mp3lossless
