// The runtime's writer: encodes PCM into one WMA stream inside an ASF container and hands the
// container's bytes to its sinks (wmfSinks.h).
//
// Use: SetProfile (one audio stream), set each input's PCM type through GetInputProps /
// SetInputProps, set header attributes, AddSink, BeginWriting; then AllocateSample and
// WriteSample per block; EndWriting. Every call returns a TWmResult, zero on success.
//
// Inputs take 8-bit unsigned or 16-, 24- or 32-bit signed interleaved PCM at any rate and
// channel count; the writer converts to the stream's rate and channels itself.
//
// Exact length and alignment: decoders drop the output of a stream's first coded frame. The
// writer therefore codes one frame of silence before the input (its "priming"), so the first
// decoded sample is the first input sample, and pads the last frame with silence: a reader
// that decodes everything gets the input followed by less than one frame of silence. Sample
// times carry the input's time (the priming frame lies before zero); the container's
// duration is the padded length.
//
// Header attributes (stream 0, before BeginWriting): text values of any name; "Title",
// "Author", "Copyright" and "Description" go into the container's content description,
// the rest ("WM/AlbumTitle", "WM/Genre", "WM/Year", "WM/Track", ...) under their own names.
//
// Status: the writer reports its failures to the callbacks registered on its sinks, as
// wmsMissingCodec (the encoder cannot be opened), wmsEncodeFailed (the encoder refused a
// block) and wmsContainerFailed (the container refused a packet); sinks add their own.
//
// When the runtime did not start, WMCreateWriter fails with wmErrNotStarted.
//
// Threading: one thread drives a writer (the component's worker); status callbacks may come
// from that thread and from a sink's own threads. Ownership: the caller owns the writer and
// its samples; the writer shares its sinks with whoever else holds them.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/wmfProfile.h"
#include "platform/wmfTypes.h"

namespace sundral::wmf {

// Status codes delivered to status callbacks.
enum class TWmStatus : uint32_t {
    wmsError = 0,            // a sink could not store the bytes given to it
    wmsMissingCodec = 9,     // the profile's encoder cannot be opened
    wmsEncodeFailed = 26,    // the encoder refused a block
    wmsContainerFailed = 30, // the container refused a packet or its closing writes
    wmsClientConnect = 37,   // a network client was accepted
    wmsClientDisconnect = 38 // a network client went away or was let go
};

constexpr TWmResult wmErrInvalidState = 0xC00D0BB8; // a call out of order (no profile, ...)
constexpr TWmResult wmErrWriteFailed = 0xC00D0BC4;  // a sink could not store the bytes
constexpr TWmResult wmErrNoCodec = 0xC00D0BBF;      // the encoder cannot be opened

class IWmStatusCallback {
public:
    virtual ~IWmStatusCallback() = default;
    // Value points at Type-typed data, or is null (this runtime sends no values).
    virtual TWmResult OnStatus(TWmStatus Status, TWmResult Result, TWmAttrType Type,
                               const uint8_t* Value, void* Context) = 0;
};

// What a writer delivers its container bytes to. The writer calls the On* steps on its own
// thread; registration may happen on any thread.
class TWmWriterSink {
public:
    virtual ~TWmWriterSink() = default;

    TWmResult RegisterCallback(std::shared_ptr<IWmStatusCallback> Callback, void* Context);
    TWmResult UnregisterCallback(const IWmStatusCallback* Callback);
    // Tells every registered callback.
    void ReportStatus(TWmStatus Status, TWmResult Result);

    // Whether the sink can take writes at earlier offsets (the container then fixes its
    // header up at the end).
    virtual bool Seekable() const = 0;
    virtual TWmResult OnBeginWriting() = 0;
    // Bytes at stream offset Offset; sequential unless the sink is seekable.
    virtual TWmResult OnData(int64_t Offset, const uint8_t* Data, size_t Size) = 0;
    // The bytes before HeaderSize are the container header; then come packets of PacketSize.
    virtual void OnHeaderEnd(int64_t HeaderSize, uint32_t PacketSize) = 0;
    virtual TWmResult OnEndWriting() = 0;

private:
    std::mutex FLock;
    std::vector<std::pair<std::shared_ptr<IWmStatusCallback>, void*>> FCallbacks;
};

class TWmInputProps {
public:
    explicit TWmInputProps(const TWmMediaType& Type) : FType(Type) {}
    TWmResult GetMediaType(TWmMediaType& Type) const {
        Type = FType;
        return wmOk;
    }
    TWmResult SetMediaType(const TWmMediaType& Type) {
        FType = Type;
        return wmOk;
    }

private:
    TWmMediaType FType;
};

// A block of bytes handed to WriteSample.
class TWmSampleBuffer {
public:
    explicit TWmSampleBuffer(uint32_t MaxLength) : FData(MaxLength) {}
    TWmResult GetBuffer(uint8_t*& Buffer) {
        Buffer = FData.data();
        return wmOk;
    }
    TWmResult GetBufferAndLength(uint8_t*& Buffer, uint32_t& Length) {
        Buffer = FData.data();
        Length = FLength;
        return wmOk;
    }
    TWmResult GetMaxLength(uint32_t& Length) const {
        Length = uint32_t(FData.size());
        return wmOk;
    }
    // Fails beyond the buffer's size.
    TWmResult SetLength(uint32_t Length) {
        if (Length > FData.size()) return wmErrInvalidArg;
        FLength = Length;
        return wmOk;
    }

private:
    std::vector<uint8_t> FData;
    uint32_t FLength = 0;
};

class TWmEncodePipe;

class TWmWriter {
public:
    TWmWriter();
    ~TWmWriter();
    TWmWriter(const TWmWriter&) = delete;
    TWmWriter& operator=(const TWmWriter&) = delete;

    // One audio stream; not while writing.
    TWmResult SetProfile(const TWmProfile& Profile);
    TWmResult GetInputCount(uint32_t& Count) const;
    // The input's PCM type: by default 16-bit PCM at the stream's rate and channels.
    TWmResult GetInputProps(uint32_t Input, std::unique_ptr<TWmInputProps>& Props) const;
    // Refuses a type that is not PCM of 8, 16, 24 or 32 bits with a consistent block
    // alignment; BeginWriting then fails until a good type is set.
    TWmResult SetInputProps(uint32_t Input, const TWmInputProps& Props);

    // Header information: stream 0 only, before BeginWriting. Text (wmtString, UTF-16 bytes
    // with or without a terminating null) and integer values (taken as decimal text).
    TWmResult SetAttribute(uint16_t Stream, std::u16string_view Name, TWmAttrType Type,
                           const uint8_t* Value, uint16_t Length);

    // Advanced: sinks may be added and removed while not writing.
    TWmResult AddSink(std::shared_ptr<TWmWriterSink> Sink);
    TWmResult RemoveSink(const TWmWriterSink* Sink);

    // Needs a profile, an accepted input type and at least one sink. Writes the header.
    TWmResult BeginWriting();
    TWmResult AllocateSample(uint32_t Size, std::unique_ptr<TWmSampleBuffer>& Sample) const;
    // Whole frames of the input type; SampleTime (100 ns) is the block's time and only
    // checked not to go back. Flags must be 0.
    TWmResult WriteSample(uint32_t Input, uint64_t SampleTime, uint32_t Flags,
                          TWmSampleBuffer& Sample);
    // Codes what is left, closes the container and tells the sinks. The writer can be set
    // up again afterwards.
    TWmResult EndWriting();

    bool Writing() const { return FPipe != nullptr; }

private:
    void ReportToSinks(TWmStatus Status, TWmResult Result);

    std::vector<TWmStreamConfig> FStreams;
    TWmMediaType FInputType{};
    bool FInputAccepted = false;
    std::vector<std::pair<std::string, std::string>> FMetadata;
    std::vector<std::shared_ptr<TWmWriterSink>> FSinks;
    std::unique_ptr<TWmEncodePipe> FPipe;
    uint64_t FLastTime = 0;
};

TWmResult WMCreateWriter(std::unique_ptr<TWmWriter>& Writer);

} // namespace sundral::wmf
