// The codec manager: format suggestion and one-shot stream conversion for compressed WAV
// audio. The only driver converts format tag 85 (MPEG Layer-3 frames stored in RIFF) to
// 16-bit PCM at the same sample rate; any other source tag gets acmErrNoDriver.
//
// Wave format descriptions are raw little-endian byte layouts, passed as pointers to at
// least 18 bytes:
//   offset 0 u16 format tag, 2 u16 channels, 4 u32 samples per second,
//   8 u32 average bytes per second, 12 u16 block align, 14 u16 bits per sample,
//   16 u16 count of extra bytes (the MPEG Layer-3 description has 12 more: id, flags,
//   block size, frames per block, codec delay; they are informational and not needed).
//
// Every call returns acmOk (0) on success and one of the nonzero acmErr codes otherwise.
//
// Threading: the free calls (acmMetrics, acmFormatSuggest) may run on any thread at any
// time. A stream handle belongs to the thread that opened it: its calls must not overlap.
// Different handles are independent.
// Ownership: acmStreamOpen hands out a handle that acmStreamClose releases. A stream header
// points at buffers the caller owns; they must stay valid from acmStreamPrepareHeader to
// acmStreamUnprepareHeader.
#pragma once

#include <cstdint>

namespace sundral {

using TAcmResult = uint32_t;

constexpr TAcmResult acmOk = 0;
constexpr TAcmResult acmErrInvalidHandle = 1; // null handle
constexpr TAcmResult acmErrNoDriver = 2;      // no driver for the source format tag
constexpr TAcmResult acmErrNoMem = 3;         // an allocation failed
constexpr TAcmResult acmErrInvalidFlag = 4;   // a flag the call does not know
constexpr TAcmResult acmErrInvalidParam = 5;  // null pointer, short buffer, wrong struct size
constexpr TAcmResult acmErrNotPossible = 6;   // the driver cannot produce or read that format
constexpr TAcmResult acmErrUnprepared = 7;    // header not prepared for this stream
constexpr TAcmResult acmErrBusy = 8;          // header still prepared when closing
constexpr TAcmResult acmErrNoAudio = 9;       // the source held no decodable frame
constexpr TAcmResult acmErrDestTooSmall = 10; // more output than the destination holds

// acmMetrics: the largest wave format description, in bytes, any driver uses (u32 out).
constexpr uint32_t acmMetricMaxSizeFormat = 50;

// acmFormatSuggest flags: keep the destination's tag, channels, rate or bits as given.
constexpr uint32_t acmFormatSuggestTag = 0x10000;
constexpr uint32_t acmFormatSuggestChannels = 0x20000;
constexpr uint32_t acmFormatSuggestSampleRate = 0x40000;
constexpr uint32_t acmFormatSuggestBits = 0x80000;

// acmStreamOpen flags: check the pair of formats only (no handle), or convert off-line.
constexpr uint32_t acmStreamOpenQuery = 0x1;
constexpr uint32_t acmStreamOpenNonRealtime = 0x4;

// acmStreamSize flags: the length given is the source length (answer: an upper bound for the
// destination), or the destination length (answer: source bytes that fill at most it).
constexpr uint32_t acmStreamSizeSource = 0x0;
constexpr uint32_t acmStreamSizeDestination = 0x1;

// acmStreamConvert flags: convert whole blocks only. Each call treats its source as a complete
// stream: it decodes every frame in it, drains the decoder, and starts afresh next time.
constexpr uint32_t acmStreamConvertBlockAlign = 0x4;

// Stream header status bits.
constexpr uint32_t acmHeaderDone = 0x10000;
constexpr uint32_t acmHeaderPrepared = 0x20000;

constexpr uint16_t acmWaveFormatPCM = 1;
constexpr uint16_t acmWaveFormatMPEGLayer3 = 85;
constexpr uint32_t acmWaveFormatExSize = 18; // the common part every description starts with

struct TAcmDriver;
struct TAcmStream;
using TAcmDriverHandle = TAcmDriver*; // always null: the manager picks the driver
using TAcmStreamHandle = TAcmStream*;

struct TAcmStreamHeader {
    uint32_t StructSize = sizeof(TAcmStreamHeader);
    uint32_t Status = 0;
    uintptr_t User = 0;
    uint8_t* Src = nullptr;
    uint64_t SrcLength = 0;
    uint64_t SrcLengthUsed = 0; // set by acmStreamConvert
    uintptr_t SrcUser = 0;
    uint8_t* Dst = nullptr;
    uint64_t DstLength = 0;
    uint64_t DstLengthUsed = 0; // set by acmStreamConvert: the bytes it really wrote
    uintptr_t DstUser = 0;
    TAcmStreamHandle Owner = nullptr; // the manager's own: the stream it is prepared for
};

// Obj must be null for metrics that describe the whole manager.
TAcmResult acmMetrics(void* Obj, uint32_t Metric, void* Value);

// Fills the description at Dst (DstSize bytes available, at least 18) with a format the
// drivers can convert Src to. Flags choose which of Dst's fields are kept as given.
TAcmResult acmFormatSuggest(TAcmDriverHandle Driver, const void* Src, void* Dst, uint32_t DstSize,
                            uint32_t Flags);

// Opens a conversion from Src to Dst. Filter must be null and Callback 0 (no notifications).
// With acmStreamOpenQuery only the answer is given and Stream may be null.
TAcmResult acmStreamOpen(TAcmStreamHandle* Stream, TAcmDriverHandle Driver, const void* Src,
                         const void* Dst, const void* Filter, uintptr_t Callback,
                         uintptr_t Instance, uint32_t Flags);

TAcmResult acmStreamSize(TAcmStreamHandle Stream, uint64_t Input, uint64_t* Output, uint32_t Flags);
TAcmResult acmStreamPrepareHeader(TAcmStreamHandle Stream, TAcmStreamHeader* Header,
                                  uint32_t Flags);
TAcmResult acmStreamConvert(TAcmStreamHandle Stream, TAcmStreamHeader* Header, uint32_t Flags);
TAcmResult acmStreamUnprepareHeader(TAcmStreamHandle Stream, TAcmStreamHeader* Header,
                                    uint32_t Flags);
// Refuses (acmErrBusy) while a header is still prepared for the stream.
TAcmResult acmStreamClose(TAcmStreamHandle Stream, uint32_t Flags);

} // namespace sundral
