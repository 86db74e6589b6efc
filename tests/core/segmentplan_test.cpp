// What a segment cut keeps of a file for a list of typed segments, and the order check.
#include <gtest/gtest.h>

#include "edit/Global.h"
#include "edit/SegmentPlan.h"

using namespace sundral;

namespace {

struct TPiecesCase {
    const char* Name;
    std::vector<TSegmentRow> Rows;
    int32_t FileLengthMs;
    std::vector<std::string> Points; // the time points the window shows
    bool LastToEnd;
};

} // namespace

TEST(SegmentPlan, KeepsTheStretchesBetweenTheGrownSegments) {
    const TPiecesCase cases[] = {
        {"one in the middle",
         {{"00:00:10.0", "00:00:20.0"}},
         60000,
         {"00:00:00.0", "00:00:09.9", "00:00:20.1", "00:01:00.0"},
         true},
        {"from the start",
         {{"00:00:00.0", "00:00:10.0"}},
         60000,
         {"00:00:10.1", "00:01:00.0"},
         true},
        {"to the end", {{"00:00:50.0", "00:01:00.0"}}, 60000, {"00:00:00.0", "00:00:49.9"}, false},
        {"one-digit fields",
         {{"0:0:5.5", "0:0:7."}},
         8000,
         {"00:00:00.0", "00:00:05.4", "00:00:07.1", "00:00:08.0"},
         true},
        {"less than 200 ms apart",
         {{"00:00:10.0", "00:00:20.0"}, {"00:00:20.1", "00:00:30.0"}},
         60000,
         {"00:00:00.0", "00:00:09.9", "00:00:30.1", "00:01:00.0"},
         true},
        {"a tail shorter than a tenth",
         {{"00:00:10.0", "00:00:59.9"}},
         60050,
         {"00:00:00.0", "00:00:09.9", "00:01:00.0", "00:01:00.0"},
         true},
        {"grown past the 99 hours a time text holds",
         {{"99:00:00.0", "99:59:59.9"}},
         432000000,
         {"00:00:00.0", "98:59:59.9", "100:00:00.0", "120:00:00.0"},
         true},
        {"the whole file", {{"00:00:00.0", "00:01:00.0"}}, 60000, {}, false},
        {"no rows", {}, 60000, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<TKeptPiece> pieces = KeptPieces(c.Rows, c.FileLengthMs);
        EXPECT_EQ(TimePoints(pieces, MsToTimeText(c.FileLengthMs)), c.Points);
        EXPECT_EQ(CountPieces(c.Rows, c.FileLengthMs), int32_t(c.Points.size() / 2));
        for (size_t i = 0; i < pieces.size(); ++i) {
            EXPECT_LT(pieces[i].StartMs, pieces[i].EndMs);
            EXPECT_EQ(pieces[i].ToEnd, c.LastToEnd && i + 1 == pieces.size());
        }
    }
}

TEST(SegmentPlan, ShiftedTextsStayInsideTheFile) {
    EXPECT_EQ(ShiftTimeText("00:00:00.0", TTimeRole::trPieceEnd), "00:00:00.0");
    EXPECT_EQ(ShiftTimeText("00:00:59.9", TTimeRole::trPieceStart), "00:01:00.0");
}

TEST(SegmentPlan, ExactBoundsWithoutMargin) {
    const std::vector<TKeptPiece> pieces = KeptPieces({{1000, 2000}, {2000, 2500}}, 4000, 0);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].EndMs, 1000);
    EXPECT_EQ(pieces[1].StartMs, 2500);
    EXPECT_TRUE(pieces[1].ToEnd);
}

TEST(SegmentPlan, RowsMustAscendWithoutOverlap) {
    const struct {
        std::vector<TSegmentRow> Rows;
        bool InSequence;
    } cases[] = {
        {{{"00:00:01.0", "00:00:02.0"}, {"00:00:02.0", "00:00:03.0"}}, true},  // touching
        {{{"00:00:01.0", "00:00:02.0"}, {"00:00:01.5", "00:00:03.0"}}, false}, // overlapping
        {{{"00:00:05.0", "00:00:06.0"}, {"0:0:1.0", "0:0:2.0"}}, false},       // out of order
        {{{"00:00:01.0", "00:00:09.0"}, {"00:00:10.0", "00:00:11.0"}, {"00:00:05.0", "00:00:05.5"}},
         false},                               // a later row inside an earlier one
        {{{"00:00:20.0", "0:0:20.0"}}, false}, // no segment: it ends where it starts
    };
    for (const auto& c : cases) EXPECT_EQ(RowsInSequence(c.Rows), c.InSequence);
}
