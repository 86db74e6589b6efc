// The lossless path of `join` and `segment-cut` for MP3 files: the stretches are joined by
// SpliceMp3 (frames copied, only those around each junction encoded again) under a
// temporary name that replaces OUT once it is whole.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "formats/Mp3Splice.h"

namespace sundral::cli {

// The exit status when the splice finished or failed; nullopt when the stretches cannot be
// joined this way (a note on standard error says why) and the caller re-encodes instead.
// Call with a TInterruptGuard alive.
std::optional<int> SpliceLossless(const std::vector<mp3lossless::TMp3Stretch>& Stretches,
                                  const std::string& Out, bool ShowProgress);

} // namespace sundral::cli
