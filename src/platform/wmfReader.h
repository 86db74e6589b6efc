// The media-format runtime's synchronous reader: opens an MP3 or WMA (ASF) stream, offers its
// audio as one output with a list of PCM formats, and hands out decoded PCM sample by sample.
//
// Call shapes follow the runtime the readers were written against: every call returns a
// TWmResult (zero is success), outputs and formats are numbered from 0, attributes are read
// by name from stream 0 with a type and a byte length, and SetReadStreamSamples answers
// wmErrProtected for content protected by an ASF content encryption object.
//
// What it delivers:
//  - exactly "Duration" worth of samples: an MP3's count from walking every frame (LAME's
//    encoder delay and padding removed, see mp3Scan.h); a WMA's from its packets. The samples
//    are those a whole decode with the same libraries gives, except that a unit (an MP3
//    frame, a WMA block) the decoder refuses becomes silence of its own length, so every
//    later sample keeps its place. When the decoder still runs out before "Duration" (a file
//    damaged beyond that), GetNextSample ends early: the owner tells how much was missing.
//  - SetRange(Start) with sample precision: Start (100-ns units) names a sample, and the next
//    sample delivered begins exactly there, decoded from a few frames before it.
//  - "Bitrate": the stream's nominal rate (an MP3's frame rate, or its average when VBR; a
//    WMA's stream rate); "IsVBR": Xing or VBRI tag, not Info, and without a tag whether frame
//    rates differ; the string attributes from ID3v2/ID3v1 tags or the ASF metadata, and
//    "Codec", the stream's codec in words ("MPEG-1 Audio Layer III").
//
// Threading: one reader is used by one thread at a time (the owner serialises calls); readers
// are independent of each other. Ownership: the reader keeps a reference to the stream it was
// opened on until Close; a sample buffer returned by GetNextSample belongs to the reader and
// stays valid until the next GetNextSample, SetRange or Close.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/wmfTypes.h"

namespace sundral::wmf {

// The stream a reader is opened on. Seek origins: 0 from the start, 1 from the current
// position, 2 from the end. Read answers wmOk when it read at least one byte.
class IWmStream {
public:
    virtual ~IWmStream() = default;
    virtual TWmResult Read(void* Buffer, uint32_t Count, uint32_t* Done) = 0;
    virtual TWmResult Write(const void* Buffer, uint32_t Count, uint32_t* Done) = 0;
    virtual TWmResult Seek(int64_t Move, uint32_t Origin, uint64_t* NewPosition) = 0;
    virtual TWmResult SetSize(uint64_t NewSize) = 0;
    // The stream's size in bytes.
    virtual TWmResult Stat(uint64_t& Size) = 0;
};

// A decoded sample: interleaved little-endian PCM in the output's chosen format.
class TWmBuffer {
public:
    TWmResult GetBufferAndLength(const uint8_t*& Buffer, uint32_t& Length) const {
        Buffer = FData;
        Length = FLength;
        return wmOk;
    }

private:
    friend class TWmSyncReader;
    const uint8_t* FData = nullptr;
    uint32_t FLength = 0;
};

// Decoded audio as the decoder gives it, for a consumer that looks at every sample and needs
// no PCM format (ReadDecoded). Format is the decoder's sample format, an AVSampleFormat:
// planar float (Planes[c] per channel) or interleaved 16-bit (Planes[0]) for most streams;
// frames whose format or channel layout asks for more than a change of sample type come
// converted to interleaved 16-bit as GetNextSample would give them. Format -1 with no planes
// is silence standing in for units the decoder refused. Frames from Offset on count.
struct TWmDecoded {
    int Format = -1;
    uint32_t Channels = 0;
    const uint8_t* const* Planes = nullptr;
    int64_t Offset = 0;
    int64_t Frames = 0;
};

// Output setting names.
inline constexpr const char* g_wszEnableDiscreteOutput = "EnableDiscreteOutput";
inline constexpr const char* g_wszSpeakerConfig = "SpeakerConfig";

class TWmSyncReader;

// Creates a reader; wmErrNotStarted (and no reader) when the runtime did not start.
TWmResult WMCreateSyncReader(std::unique_ptr<TWmSyncReader>& Reader);

class TWmSyncReader {
public:
    ~TWmSyncReader();
    TWmSyncReader(const TWmSyncReader&) = delete;
    TWmSyncReader& operator=(const TWmSyncReader&) = delete;

    // Opens the stream from its current position: an ASF file or an MPEG audio stream. A
    // stream without a single sample to deliver is refused.
    TWmResult OpenStream(std::shared_ptr<IWmStream> Stream);
    // Why the last OpenStream failed, in words ("WMA Lossless is not supported", "not an MP3
    // or WMA file", ...); empty after a success.
    std::string RefusalReason() const;
    TWmResult GetOutputCount(uint32_t& Count);
    // The media type of the output's current properties.
    TWmResult GetOutputProps(uint32_t Output, TWmMediaType& Type);
    // "EnableDiscreteOutput" (wmtBool, 4 bytes): offer 24-bit formats too.
    // "SpeakerConfig" (wmtDword): the channel layout asked for; formats keep the stream's
    // own channel count, so a request for more channels than the stream has finds none.
    TWmResult SetOutputSetting(uint32_t Output, const std::string& Name, TWmAttrType Type,
                               const uint8_t* Value, uint16_t Length);
    // Formats: the stream's rate and channels at 8 and 16 bits, and 24 with discrete output.
    TWmResult GetOutputFormatCount(uint32_t Output, uint32_t& Count);
    TWmResult GetOutputFormat(uint32_t Output, uint32_t Format, TWmMediaType& Type);
    TWmResult SetOutputProps(uint32_t Output, const TWmMediaType& Type);
    TWmResult GetStreamNumberForOutput(uint32_t Output, uint16_t& StreamNum);
    // Compressed false asks for decoded samples: wmErrProtected for protected content.
    TWmResult SetReadStreamSamples(uint16_t StreamNum, bool Compressed);

    // Header info (the same object serves as the header-info interface). A null Value asks
    // for the length in bytes. Strings are UTF-16 with a terminating null.
    TWmResult GetAttributeByName(uint16_t& StreamNum, const std::string& Name, TWmAttrType& Type,
                                 uint8_t* Value, uint16_t& Length);

    // The next decoded sample of the stream; wmErrNoMoreSamples after the last one.
    // SampleTime and Duration are in 100-ns units.
    TWmResult GetNextSample(uint16_t StreamNum, const TWmBuffer*& Sample, uint64_t& SampleTime,
                            uint64_t& Duration);
    // The next sample starts at Start (100-ns units, naming a sample: round(Start x rate /
    // 10^7)); Duration 0 reads to the end.
    TWmResult SetRange(uint64_t Start, int64_t Duration);
    // Hands out the rest of the stream, from where GetNextSample would go on, to Take on the
    // calling thread: the same samples, but in the decoder's own frames (no decoding ahead,
    // no conversion). Only while the 16-bit output is chosen. wmOk when Take returned false
    // (GetNextSample then carries on after the last frames taken); wmErrNoMoreSamples at the
    // end, also when the decoder ran out early (the caller counts the frames).
    TWmResult ReadDecoded(const std::function<bool(const TWmDecoded&)>& Take);
    TWmResult Close();

private:
    friend TWmResult WMCreateSyncReader(std::unique_ptr<TWmSyncReader>& Reader);
    TWmSyncReader();

    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

} // namespace sundral::wmf
