// Feeds arbitrary bytes to the cue sheet reader and the split plan built from it, and checks
// what must hold for any sheet it accepts: tracks whose INDEX 01 rise, a refusal that names
// its line, and pieces that are never empty, follow each other and cover the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "edit/CueSheet.h"
#include "edit/SplitPlan.h"

using namespace sundral;

namespace {

void Check(bool Condition) {
    if (!Condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string_view text(reinterpret_cast<const char*>(Data), Size);
    TCueSheet sheet;
    std::string error;
    if (!ParseCueSheet(text, sheet, error)) {
        Check(!error.empty());
        Check(sheet.Tracks.empty() || error.rfind("line ", 0) == 0);
        return 0;
    }
    Check(!sheet.Tracks.empty());
    for (size_t i = 0; i < sheet.Tracks.size(); ++i) {
        Check(sheet.Tracks[i].Start >= 0);
        if (i > 0) Check(sheet.Tracks[i].Start > sheet.Tracks[i - 1].Start);
    }
    const int64_t total = 44100 * 60 * 80;
    std::vector<TSplitPiece> pieces;
    if (PiecesFromCue(sheet, 44100, total, pieces, error)) {
        Check(pieces.size() == sheet.Tracks.size());
        Check(pieces.front().Start == 0 && pieces.back().End == total);
        for (size_t i = 0; i < pieces.size(); ++i) {
            Check(pieces[i].Start < pieces[i].End);
            if (i > 0) Check(pieces[i].Start == pieces[i - 1].End);
        }
        std::vector<std::string> names;
        if (PieceNames({"{n} {title}", "in.wav"}, pieces, names, error))
            for (const std::string& name : names) Check(name.find('/') == std::string::npos);
    }
    return 0;
}
