// Arbitrary bytes as an MPEG audio file through the lossless cutter: the side information
// and the encoder's tag extension of its frames, then a cut of a stretch the first bytes
// choose, and a join of two stretches of it (the frames around the junction decoded and
// encoded again). Besides memory safety it checks what the cutter and the joiner promise: a
// finished cut or join tells the length asked for, with delay and padding that fit their
// 12-bit fields.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "formats/Mp3InfoFrame.h"
#include "formats/Mp3Lossless.h"
#include "formats/Mp3SideInfo.h"
#include "formats/Mp3Splice.h"
#include "platform/mp3Scan.h"

using namespace sundral;

namespace {
void Check(bool Condition) {
    if (!Condition) std::abort();
}

const std::string& InputPath() {
    static const std::string path = "/tmp/mp3lossless_fuzz_" + std::to_string(getpid());
    return path;
}

const std::string& OutputPath() {
    static const std::string path = "/tmp/mp3lossless_fuzz_out_" + std::to_string(getpid());
    return path;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 8) return 0;
    // Every place a header could start: its side information and a tag extension.
    for (size_t at = 0; at + 4 <= Size && at < 4096; ++at) {
        mp3scan::TMp3Header h;
        if (!mp3scan::ParseMp3Header(mp3frames::BigEndian32(Data + at), h)) continue;
        mp3frames::TMp3SideInfo side;
        if (mp3frames::ParseSideInfo(Data + at, Size - at, h, side))
            Check(side.MainDataBegin < 512);
        mp3frames::TLameExtension extension;
        mp3frames::FindLameExtension(Data + at, Size - at, h, extension);
    }
    FILE* f = std::fopen(InputPath().c_str(), "wb");
    if (!f) return 0;
    std::fwrite(Data + 8, 1, Size - 8, f);
    std::fclose(f);
    int64_t start = 0, length = 0;
    std::memcpy(&start, Data, 4);
    std::memcpy(&length, Data + 4, 4);
    start %= 200000, length %= 200000;
    const auto r = mp3lossless::CutMp3(InputPath(), "/dev/null", start, start + length + 1);
    if (r.Status == mp3lossless::TCutStatus::csDone) {
        Check(r.Samples > 0 && r.Samples <= length + 1);
        Check(r.Delay <= 4095 && r.Padding <= 4095);
    }
    // The stretch, then the rest of the file from a little after its end.
    using namespace mp3lossless;
    const TCutResult j = SpliceMp3({{InputPath(), start, start + length + 1},
                                    {InputPath(), start + length + 1 + start / 3, -1}},
                                   OutputPath());
    if (j.Status == TCutStatus::csDone) {
        Check(r.Status == TCutStatus::csDone || r.Status == TCutStatus::csUnsuitable);
        Check(j.Samples > 0 && j.Delay <= 4095 && j.Padding <= 4095);
        Check(j.Shifts.size() <= 2);
        if (r.Status == TCutStatus::csDone) Check(j.Samples >= r.Samples);
    }
    std::remove(OutputPath().c_str());
    return 0;
}
