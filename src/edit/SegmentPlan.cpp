#include "edit/SegmentPlan.h"

#include <algorithm>

#include "edit/Global.h"

namespace sundral {

int32_t ShiftTimeMs(const std::string& Text, TTimeRole Role) {
    // A time text reads as at most 99:99:99.9, so the sum stays far inside 32 bits.
    return std::max(0, TimeTextToMs(Text) +
                           (Role == TTimeRole::trPieceEnd ? -kSegmentMarginMs : kSegmentMarginMs));
}

std::string ShiftTimeText(const std::string& Text, TTimeRole Role) {
    return MsToTimeText(ShiftTimeMs(Text, Role));
}

bool RowsInSequence(const std::vector<TSegmentRow>& Rows) {
    // Each row against every later one, as the list shows them.
    for (size_t i = 0; i < Rows.size(); ++i) {
        const int32_t end = TimeTextToMs(Rows[i].End);
        // The list only takes rows whose start lies before their end; any other is no
        // segment.
        if (TimeTextToMs(Rows[i].Start) >= end) return false;
        for (size_t j = i + 1; j < Rows.size(); ++j)
            if (TimeTextToMs(Rows[j].Start) < end) return false;
    }
    return true;
}

std::vector<TKeptPiece> KeptPieces(const std::vector<TSegmentMs>& Segments, int32_t FileLengthMs,
                                   int32_t MarginMs) {
    std::vector<TKeptPiece> pieces;
    if (Segments.empty()) return pieces;
    // Sums in 64 bits: a margin added to a time near the top of the range must not wrap.
    int64_t start = 0;
    for (const TSegmentMs& segment : Segments) {
        const int64_t end = segment.StartMs > 0 ? int64_t(segment.StartMs) - MarginMs : 0;
        // A segment past the file's end leaves the rest of the file as the last piece.
        if (end >= FileLengthMs) break;
        if (end > start) pieces.push_back({int32_t(start), int32_t(end), false});
        start = int64_t(segment.EndMs) + MarginMs;
    }
    if (start < FileLengthMs) pieces.push_back({int32_t(start), FileLengthMs, true});
    return pieces;
}

std::vector<TKeptPiece> KeptPieces(const std::vector<TSegmentRow>& Rows, int32_t FileLengthMs) {
    // The margin is applied to the milliseconds, not by way of the shifted texts: a time
    // text holds at most 99 hours, and a row near that end shifted to 100 hours would read
    // back as 10.
    std::vector<TSegmentMs> segments;
    segments.reserve(Rows.size());
    for (const TSegmentRow& row : Rows)
        segments.push_back({ShiftTimeMs(row.Start, TTimeRole::trPieceEnd),
                            ShiftTimeMs(row.End, TTimeRole::trPieceStart)});
    return KeptPieces(segments, FileLengthMs, 0);
}

int32_t CountPieces(const std::vector<TSegmentRow>& Rows, int32_t FileLengthMs) {
    return int32_t(KeptPieces(Rows, FileLengthMs).size());
}

std::vector<std::string> TimePoints(const std::vector<TKeptPiece>& Pieces,
                                    const std::string& FileTime) {
    std::vector<std::string> points;
    for (const TKeptPiece& piece : Pieces) {
        points.push_back(MsToTimeText(piece.StartMs));
        points.push_back(piece.ToEnd ? FileTime : MsToTimeText(piece.EndMs));
    }
    return points;
}

std::string CutFileName(int32_t Number, const std::string& Extension) {
    return "cut" + std::to_string(Number) + Extension;
}

std::string NumberedFileName(const std::string& Output, int32_t Number, int32_t Count) {
    std::string number = std::to_string(Number);
    const size_t width = std::to_string(Count).size();
    if (number.size() < width) number.insert(0, width - number.size(), '0');
    const size_t slash = Output.find_last_of('/');
    const size_t dot = Output.find_last_of('.');
    const size_t at = dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
                              dot == (slash == std::string::npos ? 0 : slash + 1)
                          ? Output.size()
                          : dot;
    return Output.substr(0, at) + "_" + number + Output.substr(at);
}

std::string CuttingCaption(int32_t Number, int32_t PieceCount) {
    return " - Cutting ... " + std::to_string(Number) + "/" + std::to_string(PieceCount);
}

std::string JoiningCaption(int32_t Number, int32_t PieceCount) {
    return " - Joining ... " + std::to_string(Number) + "/" + std::to_string(PieceCount);
}

} // namespace sundral
