#include "formats/Mp3Splice.h"

namespace sundral::mp3lossless {

TCutResult SpliceMp3(const std::vector<TMp3Stretch>& Stretches, const std::string& Out,
                     const TSpliceControl& Control) {
    (void)Stretches;
    (void)Out;
    (void)Control;
    TCutResult result;
    result.Status = TCutStatus::csUnsuitable;
    result.Message = "Joining MP3 stretches without re-encoding is not available yet";
    return result;
}

} // namespace sundral::mp3lossless
