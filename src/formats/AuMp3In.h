// TMP3In: MP3 files through the media-format runtime. It is TWMIn for MP3 files: the
// runtime finds the frames, the Xing/Info/VBRI tag and LAME's encoder delay and padding, so
// the length it reports is the exact number of frames delivered (no allowance is added for
// a duration that falls short).
//
// Threading and ownership as for TWMIn.
#pragma once

#include "formats/AuWinMedia.h"

namespace sundral {

class TMP3In : public TWMIn {
public:
    explicit TMP3In(TComponent* AOwner) : TWMIn(AOwner) {}
};

} // namespace sundral
