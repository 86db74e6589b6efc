// What a segment cut keeps of a file: the stretches between the segments the user removes,
// and the chain of jobs that writes them, joined in order, into one file.
//
// Segments are removed with 100 ms of margin on each side: a kept piece ends 100 ms before
// a segment starts and begins 100 ms after it ends; the file's own start and end are not
// moved. A piece whose end does not lie after its start (two segments less than 200 ms
// apart, or a segment that reaches the end of the file) is empty and is left out, so that
// the count of pieces is the count of jobs that write something.
//
// The chain: each piece is cut into its own file ("cut1", "cut2", ...), then the pieces are
// joined pairwise: cut1 + cut2 -> join1, join1 + cut3 -> join2, ..., the last join writing
// the output. A single piece is cut straight into the output.
//
// Threading: pure functions on values; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sundral {

// One removed segment as the user typed it: two time texts ("0:1:2.3" is as good as
// "00:01:02.3").
struct TSegmentRow {
    std::string Start;
    std::string End;
};

// The margin that grows every removed segment on each side, in milliseconds.
inline constexpr int32_t kSegmentMarginMs = 100;

// What a time point is for a kept piece: its end (a segment's start) or its start (a
// segment's end).
enum class TTimeRole { trPieceEnd, trPieceStart };

// The time text of Text moved by the margin away from the segment: 100 ms earlier for a
// piece's end, 100 ms later for its start. Times before 0 read as 0.
std::string ShiftTimeText(const std::string& Text, TTimeRole Role);
// The same time in milliseconds.
int32_t ShiftTimeMs(const std::string& Text, TTimeRole Role);

// True when every row starts before it ends and no earlier than every row before it ends
// (in list order): the rows are ascending and do not overlap; a segment may start where the
// previous one ends.
bool RowsInSequence(const std::vector<TSegmentRow>& Rows);

// A kept stretch in milliseconds; ToEnd means it runs to the end of the file's data, so
// that no tail shorter than a tenth of a second is lost to the time text's truncation.
struct TKeptPiece {
    int32_t StartMs = 0;
    int32_t EndMs = 0;
    bool ToEnd = false;
};

// A segment in milliseconds, already checked (StartMs < EndMs <= the file's length).
struct TSegmentMs {
    int32_t StartMs = 0;
    int32_t EndMs = 0;
};

// The pieces that remain of a file of FileLengthMs when Segments (ascending, not
// overlapping) are removed, each grown by MarginMs on both sides. Empty pieces are left out.
std::vector<TKeptPiece> KeptPieces(const std::vector<TSegmentMs>& Segments, int32_t FileLengthMs,
                                   int32_t MarginMs = kSegmentMarginMs);
// The same for rows of time texts, converted with TimeTextToMs.
std::vector<TKeptPiece> KeptPieces(const std::vector<TSegmentRow>& Rows, int32_t FileLengthMs);

// The number of pieces that remain: 0 without rows.
int32_t CountPieces(const std::vector<TSegmentRow>& Rows, int32_t FileLengthMs);

// The time texts of the pieces, two per piece (start, end); a piece that runs to the end of
// the file ends in FileTime, the file's length as shown.
std::vector<std::string> TimePoints(const std::vector<TKeptPiece>& Pieces,
                                    const std::string& FileTime);

// Name of a piece's file in the run's work folder: "cut", the number, and the source's
// extension as written (".WAV" stays upper case).
std::string CutFileName(int32_t Number, const std::string& Extension);

// The name of piece Number of Count when the pieces are saved as separate files: the
// chosen name with "_" and the number, zero-padded to the width of Count, before its
// extension ("out.mp3" -> "out_01.mp3" for 12 pieces).
std::string NumberedFileName(const std::string& Output, int32_t Number, int32_t Count);

// What the caption says while a job runs: " - Cutting ... 2/3", " - Joining ... 1/3".
std::string CuttingCaption(int32_t Number, int32_t PieceCount);
std::string JoiningCaption(int32_t Number, int32_t PieceCount);

} // namespace sundral
