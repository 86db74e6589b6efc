// Inside the synchronous reader (wmfReader.cpp): where the compressed units come from.
//
// A packet source hands out the units a decoder takes (an MPEG audio frame; a WMA block of
// the stream's block size) and tells for each where its frames start, counted in samples of
// a whole decode from the start of the file. A decoder started (or flushed) at a unit
// behaves as at the start of the file, shifted to that unit: its output runs on from the
// first unit's start. The reader decodes from a few units before a seek target and drops
// what lies before it, so that whatever a decoder holds back after a flush is passed over.
//
// Threading and ownership: one reader uses its source from one thread at a time. The source
// reads through the TStreamIo it was given, which must outlive it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/wmfReader.h"

extern "C" {
struct AVCodecContext;
struct AVDictionary;
struct AVIOContext;
struct AVPacket;
}

namespace sundral::wmf::detail {

// The reader's stream, read at offsets relative to where it stood when the reader opened it.
class TStreamIo {
public:
    TStreamIo(std::shared_ptr<IWmStream> Stream, int64_t Base, int64_t Size)
        : FStream(std::move(Stream)), FBase(Base), FSize(Size) {}
    // Up to Count bytes at Offset; how many were read. Small reads are served from a window
    // read ahead, so that a unit at a time costs no system call of its own.
    size_t ReadAt(int64_t Offset, uint8_t* Buffer, size_t Count);
    int64_t Size() const { return FSize; }
    // An I/O context over the stream for the container library (freed with FreeAvio).
    AVIOContext* MakeAvio();
    static void FreeAvio(AVIOContext*& Avio);

private:
    size_t ReadThrough(int64_t Offset, uint8_t* Buffer, size_t Count);
    static int ReadPacket(void* Opaque, uint8_t* Buffer, int Size);
    static int64_t SeekPacket(void* Opaque, int64_t Offset, int Whence);

    std::shared_ptr<IWmStream> FStream;
    int64_t FBase;
    int64_t FSize;
    int64_t FAvioPos = 0;
    std::vector<uint8_t> FWindow; // bytes read ahead from FWindowAt on
    int64_t FWindowAt = 0;
};

// What the reader tells about the stream, fixed at open.
struct TStreamFacts {
    uint32_t SampleRate = 0;
    uint32_t Channels = 0;
    int64_t TotalSamples = 0; // samples the reader delivers
    // Samples of the decoder's output dropped at the start: one place for every trim there
    // (an MP3's encoder delay; a priming count for WMA files if one is ever known).
    uint32_t StartSkip = 0;
    uint32_t BitRate = 0;
    bool IsVBR = false;
    bool Protected = false;
    // The decoder gives each unit's samples as soon as the unit goes in, starting where
    // the unit's BlockStart says (MPEG audio frames). Then a unit the decoder refuses leaves
    // a gap that the reader fills with silence, so that every later sample keeps its place
    // and a read from sample N gives what a whole read holds from N.
    bool UnitsKeepTime = false;
    // Attribute name ("Title", "Author", ...) to text.
    std::map<std::string, std::u16string> Strings;
};

class TPacketSource {
public:
    virtual ~TPacketSource() = default;
    const TStreamFacts& Facts() const { return FFacts; }
    // Opens the decoder for this stream on Context (allocated by the caller).
    virtual bool OpenDecoder(AVCodecContext*& Context) = 0;
    // The next unit into Packet (replacing what it held) and where its frames start (-1 when
    // not known); false at the end of the stream.
    virtual bool Next(AVPacket* Packet, int64_t& BlockStart) = 0;
    // Makes Next continue a few units before the one whose output holds DecoderSample (0:
    // from the very start). False when the stream cannot move there.
    virtual bool SeekBefore(int64_t DecoderSample) = 0;

protected:
    TStreamFacts FFacts;
};

// Null when the stream is not of that kind, or holds no audio the reader can deliver; then
// Reason says why in words when the stream is of that kind ("WMA Pro is not supported", "the
// file holds no audio stream") and stays empty when it is not.
std::unique_ptr<TPacketSource> OpenMp3Source(TStreamIo& Io, std::string& Reason);
std::unique_ptr<TPacketSource> OpenAsfSource(TStreamIo& Io, std::string& Reason);

// Fills Strings from a container's metadata (keys as the container library names them).
void MetadataToAttributes(const AVDictionary* Metadata,
                          std::map<std::string, std::u16string>& Strings);

} // namespace sundral::wmf::detail
