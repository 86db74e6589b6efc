// The tag value store, the format-neutral and APEv2 sets, text conversion at the file
// boundary, and the ID3v1 block.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "ScratchDir.h"
#include "UniqueFd.h"
#include "formats/AuTags.h"
#include "formats/AuTagsText.h"
#include "platform/TextConv.h"

using namespace sundral;
using namespace std::string_literals;
using sundral_test::ScratchDir;

using sundral_test::TFd;

namespace {

std::vector<uint8_t> Bytes(const std::string& Text) {
    return {Text.begin(), Text.end()};
}

} // namespace

TEST(TagStore, UnknownKeysAreIgnoredAndLeaveTheFlagsAlone) {
    TCommonTags Tags;
    EXPECT_TRUE(Tags.Empty());
    EXPECT_FALSE(Tags.Changed());
    Tags.SetValues("Nope", std::string("x"));
    EXPECT_EQ(TagValueKind(Tags.Values("Nope")), TTagValueKind::tkUnassigned);
    EXPECT_EQ(Tags.Count(), 6);
    EXPECT_TRUE(Tags.Empty());
    EXPECT_FALSE(Tags.Changed());
    EXPECT_EQ(Tags.AsInteger("Nope"), 0);
    EXPECT_EQ(Tags.AsString("Nope"), "");
}

TEST(TagStore, OnlyEffectiveChangesCountAndKeysIgnoreCase) {
    TCommonTags Tags;
    // Initial values are assigned empty strings: storing the same value is no change.
    Tags.SetValues("title", std::string());
    EXPECT_TRUE(Tags.Empty());
    EXPECT_FALSE(Tags.Changed());
    Tags.SetValues("TITLE", std::u16string(u"Zoë"));
    EXPECT_FALSE(Tags.Empty());
    EXPECT_TRUE(Tags.Changed());
    EXPECT_EQ(Tags.Title(), u"Zoë");
    EXPECT_EQ(Tags.AsString("Title"), "Zoë");

    Tags.SetChanged(false);
    Tags.SetValues("Title", std::u16string(u"Zoë"));
    EXPECT_FALSE(Tags.Changed());
    // A different kind of value is a change even when it reads the same.
    Tags.SetValues("Title", std::string("Zoë"));
    EXPECT_TRUE(Tags.Changed());

    Tags.Clear();
    EXPECT_TRUE(Tags.Empty());
    EXPECT_TRUE(Tags.Changed());
    EXPECT_EQ(TagValueKind(Tags.Values("Title")), TTagValueKind::tkUnassigned);
}

TEST(TagStore, ConversionsBetweenIntegersAndText) {
    TCommonTags Tags;
    Tags.SetValues("Year", uint16_t(2009));
    EXPECT_EQ(Tags.AsString("Year"), "2009");
    EXPECT_EQ(Tags.AsWideString("Year"), u"2009");
    Tags.SetValues("Track", std::string(" 42 "));
    EXPECT_EQ(Tags.AsInteger("Track"), 42);
    Tags.SetValues("Track", std::string("3/12"));
    EXPECT_EQ(Tags.AsInteger("Track"), 0);
    Tags.SetValues("Track", std::u16string(u"-7"));
    EXPECT_EQ(Tags.AsInteger("Track"), -7);
    Tags.SetValues("Track", std::string("99999999999999999999"));
    EXPECT_EQ(Tags.AsInteger("Track"), 0);
    Tags.SetValues("Track", int8_t(-3));
    EXPECT_EQ(Tags.AsInteger("Track"), -3);
    EXPECT_TRUE(TagValuesEqual(TTagVariant(int8_t(5)), TTagVariant(uint32_t(5))));
}

TEST(TagStore, NamesAreSortedWithoutCaseAndAddKeyRejectsOnlyEmptyNames) {
    TCommonTags Tags;
    std::vector<std::string> Names;
    for (int I = 0; I < Tags.Count(); ++I) Names.push_back(Tags.Names(I));
    EXPECT_EQ(Names,
              (std::vector<std::string>{"Album", "Artist", "Genre", "Title", "Track", "Year"}));
    EXPECT_EQ(Tags.Names(-1), "");
    EXPECT_EQ(Tags.Names(6), "");
    EXPECT_FALSE(Tags.AddKey("", TTagVariant()));
    EXPECT_TRUE(Tags.AddKey("ALBUM", std::string("other")));
    EXPECT_EQ(Tags.Count(), 6);
    EXPECT_EQ(Tags.Names(0), "Album");
    EXPECT_EQ(TagValueKind(Tags.Values("Album")), TTagValueKind::tkString);
}

TEST(TagStore, AssignCopiesSharedKeysAfterClearing) {
    TId3v2Tags Source;
    Source.SetTitle(u"T");
    Source.SetYear("2001");
    Source.SetVersion23(false);
    Source.SetTitle(u"old id");
    TId3v2Tags Copy;
    Copy.Assign(Source);
    for (int I = 0; I < Source.Count(); ++I)
        EXPECT_TRUE(TagValuesEqual(Copy.Values(Source.Names(I)), Source.Values(Source.Names(I))));
    EXPECT_EQ(Copy.Count(), 24);
    EXPECT_EQ(Copy.Title(), u"T");
    EXPECT_EQ(Copy.Values("TT2"), TTagVariant(std::u16string(u"old id")));

    TCommonTags Common;
    Common.SetTitle(u"not copied");
    Common.AssignTo(Copy);
    EXPECT_TRUE(Copy.Empty());
    EXPECT_EQ(Copy.Title(), u"");

    Source.Assign(Source); // copying a set onto itself keeps it
    EXPECT_EQ(Source.AsString("TIT2"), "T");
}

TEST(TagSets, ApeKeysAndTheBaseFileOperations) {
    TAPEv2Tags Ape;
    EXPECT_EQ(Ape.Count(), 25);
    Ape.SetBarCode("4006381333931");
    Ape.SetFile_(u"f.wav");
    Ape.SetSubTitle(u"sub");
    Ape.SetYear("1999");
    EXPECT_EQ(Ape.AsString("EAN/UPC"), "4006381333931");
    EXPECT_EQ(Ape.AsString("File"), "f.wav");
    EXPECT_EQ(Ape.AsString("Subtitle"), "sub");
    EXPECT_EQ(Ape.Year(), "1999");

    EXPECT_FALSE(Ape.TagPresent(-1));
    EXPECT_FALSE(Ape.ReadFromFile(-1));
    EXPECT_FALSE(Ape.Empty()); // an invalid handle does not clear
    TFd Null(open("/dev/null", O_RDONLY));
    EXPECT_TRUE(Ape.TagPresent(Null.Value));
    EXPECT_TRUE(Ape.ReadFromFile(Null.Value));
    EXPECT_TRUE(Ape.Empty());
    EXPECT_TRUE(Ape.WriteToFile(Null.Value, true));
}

TEST(TagText, MalformedTextNeverFailsAndLatin1UsesQuestionMarks) {
    using namespace sundral::tagtext;
    EXPECT_EQ(Utf8ToLatin1("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 ?");
    EXPECT_EQ(Latin1ToUtf8("caf\xE9"), "caf\xC3\xA9");
    // Truncated, overlong and surrogate sequences become one replacement per bad byte.
    EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToLatin1("\xFF"), "?");
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("\xF0\x9F\x8E\xB5")), "\xF0\x9F\x8E\xB5");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_TRUE(IsLatin1Text("\xC3\xBF"));
    EXPECT_FALSE(IsLatin1Text("\xC4\x80"));
}

TEST(Id3v1, DefaultsGenreLookupAndOutOfRangeIndex) {
    TId3v1Tags Tags;
    EXPECT_EQ(Tags.GenreId(), 12);
    EXPECT_EQ(Tags.Genre(), "Other");
    EXPECT_EQ(Tags.Year(), 0);
    EXPECT_EQ(Tags.Track(), 0);
    EXPECT_EQ(Tags.Title(), "");
    EXPECT_EQ(kId3v1Genres[22], std::string("Death metal"));
    EXPECT_EQ(kId3v1Genres[147], std::string("Synthpop"));

    Tags.SetGenre("  rock ");
    EXPECT_EQ(Tags.GenreId(), 17);
    Tags.SetGenre("Polka Metal");
    EXPECT_EQ(Tags.GenreId(), 17);
    Tags.SetGenreId(200);
    EXPECT_EQ(Tags.GenreId(), 12);
    EXPECT_EQ(Tags.Genre(), "Other");
    Tags.Clear(); // nothing stored means "Other", not "Blues"
    EXPECT_EQ(Tags.GenreId(), 12);

    Tags.SetValues("artist", uint8_t(5)); // the artist reads only text
    EXPECT_EQ(Tags.Artist(), "");
    Tags.SetValues("year", int32_t(70000));
    EXPECT_EQ(Tags.Year(), 0);
}

TEST(Id3v1, BlockLayoutByteForByte) {
    TId3v1Tags Tags;
    Tags.SetTitle(std::string(29, 'T') + "\xC3\xA9" + "cut"); // é is one Latin-1 byte
    Tags.SetArtist("Bj\xC3\xB6rk \xE2\x82\xAC");              // € is not Latin-1
    Tags.SetAlbum("Album");
    Tags.SetYear(2009);
    Tags.SetTrack(7);
    Tags.SetComment(std::string(30, 'c'));
    Tags.SetGenreId(17);

    TId3v1Block Expected{};
    auto Put = [&Expected](size_t At, const std::string& Text) {
        std::copy(Text.begin(), Text.end(), Expected.begin() + static_cast<long>(At));
    };
    Put(0, "TAG");
    Put(3, std::string(29, 'T') + "\xE9");
    Put(33, "Bj\xF6rk ?");
    Put(63, "Album");
    Put(93, "2009");
    Put(97, std::string(28, 'c'));
    Expected[126] = 7;
    Expected[127] = 17;
    EXPECT_EQ(Tags.MakeBlock(), Expected);

    // Without a track the comment gets all 30 bytes; year 0 leaves the field zero.
    Tags.SetTrack(0);
    Tags.SetYear(0);
    Put(97, std::string(30, 'c'));
    std::fill(Expected.begin() + 93, Expected.begin() + 97, 0);
    EXPECT_EQ(Tags.MakeBlock(), Expected);
}

TEST(Id3v1, ReadingTrimsFieldsAndFindsTheTrackByte) {
    TId3v1Block Block{};
    auto Put = [&Block](size_t At, const std::string& Text) {
        std::copy(Text.begin(), Text.end(), Block.begin() + static_cast<long>(At));
    };
    Put(0, "TAG");
    Put(3, "  Title \t");
    Put(33, "Art\0garbage"s);
    Put(63, "Caf\xE9");
    Put(93, "1987");
    Put(97, std::string(28, 'x'));
    Block[126] = 7;
    Block[127] = 250;
    TId3v1Tags Tags;
    ASSERT_TRUE(Tags.LoadBlock(Block));
    EXPECT_EQ(Tags.Title(), "Title");
    EXPECT_EQ(Tags.Artist(), "Art");
    EXPECT_EQ(Tags.Album(), "Caf\xC3\xA9");
    EXPECT_EQ(Tags.Year(), 1987);
    EXPECT_EQ(Tags.Track(), 7);
    EXPECT_EQ(Tags.Comment(), std::string(28, 'x'));
    EXPECT_EQ(Tags.GenreId(), 12);

    // Space at 125 and a non-space at 126 is also a track; a full comment is not.
    Block[125] = ' ';
    Block[126] = 'y';
    ASSERT_TRUE(Tags.LoadBlock(Block));
    EXPECT_EQ(Tags.Track(), 'y');
    Put(93, "19x7");
    Put(97, std::string(30, 'z'));
    ASSERT_TRUE(Tags.LoadBlock(Block));
    EXPECT_EQ(Tags.Track(), 0);
    EXPECT_EQ(Tags.Comment(), std::string(30, 'z'));
    EXPECT_EQ(Tags.Year(), 0);

    Block[0] = 'X';
    EXPECT_FALSE(Tags.LoadBlock(Block));
    EXPECT_TRUE(Tags.Empty());
}

TEST(Id3v1, FileOperationsAppendAndReadTheLastBlock) {
    ScratchDir Folder("tags");
    const auto Path = Folder.WriteBytes("a.mp3", Bytes("audio"));
    TFd File(open(Path.c_str(), O_RDWR));
    ASSERT_GE(File.Value, 0);
    TId3v1Tags Tags;
    EXPECT_FALSE(Tags.TagPresent(File.Value)); // shorter than a block
    EXPECT_FALSE(Tags.ReadFromFile(File.Value));

    Tags.SetTitle("Song");
    Tags.SetGenre("Jazz");
    ASSERT_TRUE(Tags.WriteToFile(File.Value, false));
    Tags.SetTitle("Second");
    ASSERT_TRUE(Tags.WriteToFile(File.Value, false)); // appended after the first one

    const std::vector<uint8_t> Content = Folder.ReadBytes("a.mp3");
    ASSERT_EQ(Content.size(), 5 + 2 * kId3v1BlockSize);
    EXPECT_EQ(std::string(Content.begin(), Content.begin() + 8), "audioTAG");

    ASSERT_EQ(lseek(File.Value, 2, SEEK_SET), 2);
    TId3v1Tags Read;
    EXPECT_TRUE(Read.TagPresent(File.Value));
    ASSERT_TRUE(Read.ReadFromFile(File.Value));
    EXPECT_EQ(lseek(File.Value, 0, SEEK_CUR), 2); // the position is left alone
    EXPECT_EQ(Read.Title(), "Second");
    EXPECT_EQ(Read.Genre(), "Jazz");
    EXPECT_EQ(Read.Year(), 0);

    const auto Plain = Folder.WriteBytes("b.mp3", std::vector<uint8_t>(300, 'T'));
    TFd Other(open(Plain.c_str(), O_RDONLY));
    EXPECT_FALSE(Read.TagPresent(Other.Value));
    EXPECT_FALSE(Read.ReadFromFile(Other.Value));
    EXPECT_FALSE(Read.WriteToFile(-1, false));
}
