// What a cut hands from reader to writer: the sample range of a selection, the tag fields,
// and the WMA format matching the input.
#include <gtest/gtest.h>

#include "edit/CutSetup.h"

using namespace sundral;

namespace {

struct TRangeCase {
    const char* Name;
    int64_t Total;
    uint32_t Rate;
    int32_t L, U, Max;
    int64_t Start, End;
};

// A thumb below the end of the range stands for its time, p x 500 ms; the thumb at the end
// stands for the end of the file, whatever its length.
const TRangeCase kRanges[] = {
    // 29.95 s at 44.1 kHz: 10.0 to 20.0 s, not a share of the length.
    {"times inside a file of odd length", 1320795, 44100, 20, 40, 59, 441000, 882000},
    {"the end thumb is the end of the file", 11200, 8000, 1, 2, 2, 4000, 11200},
    {"whole range", 1320795, 44100, 0, 59, 59, 0, 1320795},
    {"half a frame rounds down to even", 100000, 11025, 1, 2, 4, 5512, 11025},
    {"half a frame rounds up to even", 100000, 11025, 3, 4, 4, 16538, 100000},
    {"never past the reader's end", 7000, 8000, 1, 3, 4, 4000, 7000},
    {"no steps takes the whole file", 1234, 8000, 0, 0, 0, 0, 1234},
};

TEST(CutSetup, ThumbsStandForTheirTimes) {
    for (const TRangeCase& c : kRanges) {
        SCOPED_TRACE(c.Name);
        const TSampleRange range = StepsToSamples(c.L, c.U, c.Max, c.Total, c.Rate);
        EXPECT_EQ(range.StartSample, c.Start);
        EXPECT_EQ(range.EndSample, c.End);
    }
}

TEST(CutSetup, StepsAndTheirMilliseconds) {
    struct {
        int32_t LengthMs, Max;
    } const ranges[] = {{12345, 24}, {1000, 2}, {499, 1}, {1, 1}, {0, 0}};
    for (const auto& r : ranges) EXPECT_EQ(StepsOf(r.LengthMs), r.Max) << r.LengthMs;
    struct {
        int32_t Step, Max, LengthMs, Ms;
    } const steps[] = {{0, 24, 12345, 0}, {23, 24, 12345, 11500}, {24, 24, 12345, 12345},
                       {1, 1, 499, 499},  {2, 2, 1000, 1000},     {3, 4, 1200, 1200},
                       {0, 0, 0, 0}};
    for (const auto& s : steps)
        EXPECT_EQ(StepToMs(s.Step, s.Max, s.LengthMs), s.Ms) << s.Step << " of " << s.Max;
}

// The tenth-second grid follows the same rules at its own step: p x 100 ms below Max, the
// file's end at Max, rounded halves to the even frame.
TEST(CutSetup, TheFineGridFollowsTheSameRules) {
    struct {
        const char* Name;
        int64_t Total;
        uint32_t Rate;
        int32_t L, U, Max;
        int64_t Start, End;
    } const ranges[] = {
        // 12.7 s at 8 kHz: 2.3 to 7.9 s.
        {"tenths inside an odd length", 101600, 8000, 23, 79, 127, 18400, 63200},
        {"the end thumb is the end", 101600, 8000, 111, 127, 127, 88800, 101600},
        // 0.1 s at 11025 Hz is 1102.5 frames: halves go to the even neighbour.
        {"half a frame to even, down", 100000, 11025, 1, 3, 9, 1102, 3308},
        {"half a frame to even, up", 100000, 11025, 3, 5, 9, 3308, 5512},
        {"44.1 kHz is whole", 1320795, 44100, 13, 37, 299, 57330, 163170},
    };
    for (const auto& c : ranges) {
        SCOPED_TRACE(c.Name);
        const TSampleRange range = StepsToSamples(c.L, c.U, c.Max, c.Total, c.Rate, kFineStepMs);
        EXPECT_EQ(range.StartSample, c.Start);
        EXPECT_EQ(range.EndSample, c.End);
    }
    struct {
        int32_t LengthMs, Max;
    } const counts[] = {{12745, 127}, {99, 1}, {100, 1}, {0, 0}};
    for (const auto& r : counts) EXPECT_EQ(StepsOf(r.LengthMs, kFineStepMs), r.Max) << r.LengthMs;
    struct {
        int32_t Step, Max, LengthMs, Ms;
    } const times[] = {{23, 127, 12745, 2300}, {126, 127, 12745, 12600}, {127, 127, 12745, 12745}};
    for (const auto& t : times)
        EXPECT_EQ(StepToMs(t.Step, t.Max, t.LengthMs, kFineStepMs), t.Ms) << t.Step;
}

// A typed time falls into its step (down); a pointer goes to the nearest step (halves up).
TEST(CutSetup, TimesAndFramesToSteps) {
    struct {
        int32_t StepMs, Ms, Max, Step;
    } const typed[] = {{500, 7499, 25, 14},
                       {500, 12700, 25, 25},
                       {100, 2399, 127, 23},
                       {100, 12745, 127, 127},
                       {100, 0, 127, 0}};
    for (const auto& t : typed)
        EXPECT_EQ(MsToStep(t.Ms, t.Max, t.StepMs), t.Step) << t.Ms << " at " << t.StepMs;
    struct {
        int32_t StepMs;
        int64_t Sample;
        uint32_t Rate;
        int32_t Max, Step;
    } const pointed[] = {
        {100, 18399, 8000, 127, 23}, {100, 18800, 8000, 127, 24},       {100, 18799, 8000, 127, 23},
        {500, 2000, 8000, 25, 1},    {100, 1000000000, 8000, 127, 127}, {100, -5, 8000, 127, 0},
        {100, 551, 11025, 9, 0},     {100, 552, 11025, 9, 1},
    };
    for (const auto& p : pointed)
        EXPECT_EQ(SampleToNearestStep(p.Sample, p.Max, p.Rate, p.StepMs), p.Step) << p.Sample;
}

TEST(CutSetup, ScalingIsExactBeyondSixtyFourBits) {
    // 2^40 frames times a large position overflows 64 bits; the result does not.
    EXPECT_EQ(ScaleToSamples(int64_t(3) << 40, 1 << 30, 3 << 29), int64_t(1) << 41);
    EXPECT_EQ(ScaleToSamples(5, 1, 2), 2);
    EXPECT_EQ(ScaleToSamples(7, 1, 2), 4);
}

struct TDescriptionCase {
    uint32_t Bitrate, SampleRate, Channels;
    const char* Description;
};

TEST(CutSetup, WmaDescriptionUsesTheFormatListsWording) {
    const TDescriptionCase cases[] = {
        {128000, 44100, 2, "128 kbps, 44 kHz, stereo"},
        {48000, 8000, 1, "48 kbps,  8 kHz, mono"},
        {95000, 48000, 6, "96 kbps, 48 kHz, stereo"},
        {100000, 44100, 2, "100 kbps, 44 kHz, stereo"},
        {90999, 22050, 1, "90 kbps, 22 kHz, mono"},
        {134999, 32000, 2, "128 kbps, 32 kHz, stereo"},
        {135000, 32000, 2, "135 kbps, 32 kHz, stereo"},
        {179000, 44100, 2, "160 kbps, 44 kHz, stereo"},
        {199000, 44100, 2, "192 kbps, 44 kHz, stereo"},
        {251000, 44100, 2, "256 kbps, 44 kHz, stereo"},
        {329999, 44100, 2, "320 kbps, 44 kHz, stereo"},
    };
    for (const TDescriptionCase& c : cases)
        EXPECT_EQ(WmaFormatDescription(c.Bitrate, c.SampleRate, c.Channels), c.Description);
}

TEST(CutSetup, WmaFormatIsTheFirstWhoseTextContainsTheDescription) {
    const std::vector<std::string> formats = {
        "64 kbps, 44 kHz, stereo CBR", "48 kbps,  8 kHz, mono CBR", "128 kbps, 44 kHz, stereo CBR",
        "128 kbps, 44 kHz, stereo 1-pass CBR"};
    EXPECT_EQ(FindWmaFormatIndex("128 KBPS, 44 KHZ, STEREO", formats), 2);
    EXPECT_EQ(FindWmaFormatIndex("48 kbps,  8 kHz, mono", formats), 1);
    EXPECT_EQ(FindWmaFormatIndex("48 kbps, 8 kHz, mono", formats), kFallbackWmaFormatIndex);
    EXPECT_EQ(FindWmaFormatIndex("32 kbps, 22 kHz, mono", {}), kFallbackWmaFormatIndex);
}

TEST(CutSetup, TagsFollowTheInput) {
    TId3v2Tags from;
    from.SetVersion23(false); // a version 2.2 tag: the fields sit under 3-character IDs
    from.SetArtist(u"Ärtist");
    from.SetAlbum(u"Album");
    from.SetGenre(u"Rock");
    from.SetYear("2024");
    from.SetTrack("7");
    from.SetTitle(u"Title");
    from.SetComment(u"Comment");
    from.SetComposer(u"Composer");
    from.SetEncoder(u"Encoder");
    from.SetCopyright(u"Copyright");
    from.SetLanguage(u"eng");
    from.SetLink(u"http://example.org/");

    TId3v2Tags to;
    to.SetTitle(u"left over from an earlier cut");
    CopyId3v2Fields(from, to);
    for (int field = 0; field < kId3v2FieldCount; ++field) {
        const auto f = TId3v2Field(field);
        EXPECT_EQ(to.AsWideString(to.FieldKey(f)), from.AsWideString(from.FieldKey(f)))
            << kId3v2Frames[field].V23;
    }

    TId3v1Tags v1;
    v1.SetGenre("Jazz");
    FillId3v1FromId3v2(from, v1);
    EXPECT_EQ(v1.Artist(), "Ärtist");
    EXPECT_EQ(v1.Album(), "Album");
    EXPECT_EQ(v1.Genre(), "Rock");
    EXPECT_EQ(v1.Year(), 2024);
    EXPECT_EQ(v1.Track(), 7);
    EXPECT_EQ(v1.Title(), "Title");
    EXPECT_EQ(v1.Comment(), "Comment");

    // Numbers that are no numbers, or do not fit the ID3v1 fields, become 0; a genre the
    // list lacks leaves "Other", not the earlier file's genre.
    struct {
        const char* Year;
        const char* Track;
        uint16_t WantYear;
        uint8_t WantTrack;
    } const numbers[] = {
        {"abc", "3/12", 0, 0}, {"70000", "256", 0, 0}, {" 1999 ", "255", 1999, 255}};
    for (const auto& n : numbers) {
        from.SetYear(n.Year);
        from.SetTrack(n.Track);
        from.SetGenre(u"No such genre");
        FillId3v1FromId3v2(from, v1);
        EXPECT_EQ(v1.Year(), n.WantYear) << n.Year;
        EXPECT_EQ(v1.Track(), n.WantTrack) << n.Track;
        EXPECT_EQ(v1.Genre(), "Other");
    }
}

} // namespace
