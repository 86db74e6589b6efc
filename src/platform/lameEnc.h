// The encoder adapter: five operations over libmp3lame (loaded at run time, libload.h) that
// take the 331-byte configuration record of lameEncConfig.h and give each of its fields its
// meaning there.
//
//   beInitStream     reads the record, sets up an encoder stream and tells how many 16-bit
//                    samples (all channels counted) one chunk holds and how large the output
//                    buffer of every later call must be
//   beEncodeChunk    encodes at most one chunk of interleaved 16-bit samples
//   beDeinitStream   flushes the encoder: the last frames
//   beWriteVBRHeader replaces the frame reserved at the start of the output with the
//                    finished tag frame (frame count, seek table, encoder delay and
//                    padding, so decoders can trim to the exact input length). Where the
//                    library's own frame would be too small to hold the tag (constant low
//                    rates), the adapter reserves and fills one of a larger rate itself
//                    (lameTagFrame.h), so every stream that asks for the tag gets it
//   beCloseStream    releases the stream
//
// A mono stream (record mode 3) takes one channel, every other mode two, interleaved. Every
// operation returns beErrOk (0) or one of the error numbers below.
//
// Threading: one stream belongs to one thread at a time; different streams are independent.
// Setting up and releasing streams is serialised inside (the library builds shared tables
// then). Ownership: beInitStream hands out a stream that beCloseStream releases; buffers
// belong to the caller.
#pragma once

#include <cstdint>

#include "platform/Streams.h"
#include "platform/lameEncConfig.h"

namespace sundral {

constexpr uint32_t beErrOk = 0;
constexpr uint32_t beErrInvalidFormat = 1;           // not this record (kind, version, size)
constexpr uint32_t beErrInvalidFormatParameters = 2; // the encoder refuses the settings
constexpr uint32_t beErrNoMoreHandles = 3;           // no encoder: library missing, no memory
constexpr uint32_t beErrInvalidHandle = 4;           // no stream, or a call out of order
constexpr uint32_t beErrBufferTooSmall = 5;          // more samples than a chunk holds
constexpr uint32_t beErrNoTagFrame = 6; // no reserved frame where it should be, or not rewritten

struct TBeStream;
using THBeStream = TBeStream*;

// The library and every entry point the adapter calls are there (loads it if need be).
bool LameAvailable();

uint32_t beInitStream(const TBeConfigBytes& Config, uint32_t& Samples, uint32_t& BufferSize,
                      THBeStream& Stream);
// Samples counts 16-bit values of all channels; a trailing part of a frame is ignored.
// Output must hold the BufferSize that beInitStream returned.
uint32_t beEncodeChunk(THBeStream Stream, uint32_t Samples, const int16_t* Input, uint8_t* Output,
                       uint32_t& Produced);
uint32_t beDeinitStream(THBeStream Stream, uint8_t* Output, uint32_t& Produced);
// After beDeinitStream: writes the tag frame into Target at AudioStart, the offset where the
// stream's first output byte was written (after whatever the caller put before it). Nothing
// is written when the record did not ask for the tag; beErrNoTagFrame when it asked and
// there is none. The position of Target is left after
// the frame.
uint32_t beWriteVBRHeader(THBeStream Stream, TStream& Target, int64_t AudioStart);
uint32_t beCloseStream(THBeStream Stream);

} // namespace sundral
