// Feeds arbitrary typed segment lists to the segment cut's plan and checks what must hold
// for any input the list can hold: no crash or undefined behaviour, and kept pieces that are
// never empty, follow each other in order, stay within the file and leave every listed
// segment out when the rows are in sequence.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "edit/Global.h"
#include "edit/SegmentPlan.h"

using namespace sundral;

namespace {

void Check(bool Condition) {
    if (!Condition) std::abort();
}

} // namespace

// Input: 4 bytes of file length (ms, little-endian), then start and end texts separated by
// new lines.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 4) return 0;
    uint32_t raw = 0;
    std::memcpy(&raw, Data, 4);
    const int32_t length = int32_t(raw & 0x7FFFFFFF);
    std::vector<std::string> texts;
    std::string text;
    for (size_t i = 4; i < Size; ++i) {
        if (Data[i] == '\n') {
            texts.push_back(text);
            text.clear();
        } else {
            text += char(Data[i]);
        }
    }
    texts.push_back(text);
    std::vector<TSegmentRow> rows;
    for (size_t i = 0; i + 1 < texts.size(); i += 2) rows.push_back({texts[i], texts[i + 1]});

    const bool inSequence = RowsInSequence(rows);
    const std::vector<TKeptPiece> pieces = KeptPieces(rows, length);
    Check(CountPieces(rows, length) == int32_t(pieces.size()));
    Check(TimePoints(pieces, MsToTimeText(length)).size() == 2 * pieces.size());
    for (size_t i = 0; i < pieces.size(); ++i) {
        Check(pieces[i].StartMs >= 0 && pieces[i].StartMs < pieces[i].EndMs);
        if (pieces[i].ToEnd) Check(i + 1 == pieces.size() && pieces[i].EndMs == length);
        if (i > 0 && inSequence) Check(pieces[i].StartMs > pieces[i - 1].EndMs);
    }
    if (!pieces.empty()) Check(pieces.back().EndMs <= length);
    return 0;
}
