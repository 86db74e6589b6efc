// Reading a whole source as frames of integer PCM, for the analyses that look at every
// sample of a file (silences, peaks).
//
// Threading: the calling thread reads the source; callbacks run on it.
// Ownership: the source belongs to the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace sundral {

class TAuInput;

// Reads Source from Init to Flush (also when a callback or the source raises) in blocks of
// BlockBytes. Start is called once the source is initialised, with its sample size and
// channel count; Take then gets every whole frame once, in order (a block may end inside a
// frame, whose rest comes with the next block), in a buffer aligned for any sample type.
// Take returns false to stop early. Sample sizes other than 8, 16, 24 and 32 bits are
// refused with "<What> cannot read N-bit samples".
void ReadWholeFrames(TAuInput& Source, const std::string& What, uint32_t BlockBytes,
                     const std::function<void(uint32_t Bits, uint32_t Channels)>& Start,
                     const std::function<bool(const uint8_t* Data, size_t Frames)>& Take);

} // namespace sundral
