// Joining stretches of MP3 files without re-encoding them: the frames inside each stretch are
// copied byte for byte (as CutMp3 does), and only the few frames around each junction, where
// two stretches meet at arbitrary samples, are decoded, spliced at the exact samples and
// encoded again with the source's rate and channel mode (without a bit reservoir; the last
// of them, at a higher bit rate when needed, carries the reservoir the next copied frame
// reaches back into).
//
// A frame always decodes to a whole frame of samples and a stream can only trim at its two
// ends, so a copied frame must keep its place on the frame grid: every stretch after the
// first has its window moved by at most half a frame (TCutResult::Shifts) so that it lies on
// the grid. Each stretch keeps its length, so the written file decodes to exactly the total
// length; away from the junctions' frames the samples equal the sources' own decode of the
// moved windows.
//
// All stretches must share MPEG version, layer, sample rate and channel count; otherwise
// (and for free format or layers I and II) the result is csUnsuitable with the reason, and
// the caller re-encodes.
//
// Threading: one call per thread; it opens its own files. OnProgress is called on the
// calling thread; Stop may be set from any thread. Ownership: none kept.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "formats/Mp3Lossless.h"

namespace sundral::mp3lossless {

// Samples [Start, End) of File, numbered as a decoder delivers them; End -1 means the end.
struct TMp3Stretch {
    std::string File;
    int64_t Start = 0;
    int64_t End = -1;
};

// A stopped splice removes what it wrote and returns csFailed with the message "Stopped".
using TSpliceControl = TCopyControl;

// Writes the stretches one after another to Out. The tags (ID3v2 in front, APE and ID3v1 at
// the end) are the first stretch's file's.
TCutResult SpliceMp3(const std::vector<TMp3Stretch>& Stretches, const std::string& Out,
                     const TSpliceControl& Control = {});

} // namespace sundral::mp3lossless
