// The ID3v2 set: the exact bytes of a written tag, putting it in front of a file, and
// reading tags of versions 2.2 to 2.4, including damaged ones.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "ScratchDir.h"
#include "UniqueFd.h"
#include "formats/AuTags.h"

using namespace sundral;
using sundral_test::ScratchDir;
using TBytes = std::vector<uint8_t>;

using sundral_test::TFd;

namespace {

TBytes B(const std::string& Text) {
    return {Text.begin(), Text.end()};
}

TBytes operator+(TBytes A, const TBytes& Tail) {
    A.insert(A.end(), Tail.begin(), Tail.end());
    return A;
}

TBytes BigEndian(uint32_t Value, int Count) {
    TBytes Out;
    for (int I = Count - 1; I >= 0; --I) Out.push_back(uint8_t(Value >> (8 * I)));
    return Out;
}

TBytes SyncSafe(uint32_t Value) {
    return {uint8_t(Value >> 21 & 0x7F), uint8_t(Value >> 14 & 0x7F), uint8_t(Value >> 7 & 0x7F),
            uint8_t(Value & 0x7F)};
}

TBytes Header(uint8_t Version, uint8_t Flags, uint32_t Size) {
    return B("ID3") + TBytes{Version, 0, Flags} + SyncSafe(Size);
}

TBytes Tag(uint8_t Version, uint8_t Flags, const TBytes& Body) {
    return Header(Version, Flags, uint32_t(Body.size())) + Body;
}

TBytes Frame22(const std::string& Id, const TBytes& Body) {
    return B(Id) + BigEndian(uint32_t(Body.size()), 3) + Body;
}

TBytes Frame(const std::string& Id, const TBytes& Body, uint8_t FormatFlags = 0) {
    return B(Id) + BigEndian(uint32_t(Body.size()), 4) + TBytes{0, FormatFlags} + Body;
}

// Reads a tag from a file holding exactly these bytes; returns the position afterwards.
int64_t ReadTag(const TBytes& Content, TId3v2Tags& Tags, bool* Result = nullptr) {
    ScratchDir Folder("id3v2");
    TFd File(open(Folder.WriteBytes("t.mp3", Content).c_str(), O_RDONLY));
    const bool Ok = Tags.ReadFromFile(File.Value);
    if (Result) *Result = Ok;
    return lseek(File.Value, 0, SEEK_CUR);
}

} // namespace

TEST(Id3v2Write, TagLayoutByteForByte) {
    TId3v2Tags Tags;
    Tags.SetArtist(u"Ab");
    Tags.SetTitle(u"Zoë");
    Tags.SetYear("2009");
    Tags.SetComment(u"never written");
    const TBytes Frames = Frame("TPE1", TBytes{3} + B("Ab")) +
                          Frame("TIT2", TBytes{3} + B("Zo\xC3\xAB")) +
                          Frame("TYER", TBytes{0} + B("2009"));
    ASSERT_EQ(Frames.size(), 43u);
    EXPECT_EQ(Tags.MakeTag(true), Header(4, 0, 43 + 11) + Frames + TBytes(11, 0));

    // Without Unicode the text goes as Latin-1, and what Latin-1 lacks becomes '?'.
    Tags.SetArtist(u"Ab\u20AC");
    const TBytes Latin = Frame("TPE1", TBytes{0} + B("Ab?")) +
                         Frame("TIT2", TBytes{0} + B("Zo\xEB")) +
                         Frame("TYER", TBytes{0} + B("2009"));
    EXPECT_EQ(Tags.MakeTag(false), Header(4, 0, 43 + 11) + Latin + TBytes(11, 0));
}

TEST(Id3v2Write, PaddingRoundsTheTagToSixteenBytes) {
    TId3v2Tags Tags;
    EXPECT_EQ(Tags.MakeTag(true), Header(4, 0, 6) + TBytes(6, 0)); // no frames at all
    Tags.SetTitle(std::u16string(89, u'a'));                       // one frame of 100 bytes
    TBytes Written = Tags.MakeTag(false);
    EXPECT_EQ(Written.size(), 112u);
    EXPECT_EQ(TBytes(Written.end() - 2, Written.end()), TBytes(2, 0));
    Tags.SetTitle(std::u16string(91, u'a')); // 102 bytes of frames: a whole 16 of padding
    Written = Tags.MakeTag(false);
    EXPECT_EQ(Written.size(), 128u);
    EXPECT_EQ(TBytes(Written.begin() + 6, Written.begin() + 10), SyncSafe(118));
}

TEST(Id3v2Write, LongFramesLinksAndTheOldFrameIds) {
    TId3v2Tags Tags;
    Tags.SetVersion23(false); // values under the 2.2 IDs are written with 2.3 IDs
    Tags.SetTitle(std::u16string(200, u'x'));
    Tags.SetLink(u"http://x.org/\u00FC");
    const TBytes Expected = B("TIT2") + SyncSafe(201) + TBytes{0, 0, 3} + B(std::string(200, 'x')) +
                            Frame("WXXX", TBytes{0, 0} + B("http://x.org/\xFC"));
    const TBytes Written = Tags.MakeTag(true);
    ASSERT_GE(Written.size(), 10 + Expected.size());
    EXPECT_EQ(TBytes(Written.begin() + 10, Written.begin() + 10 + long(Expected.size())), Expected);
    EXPECT_EQ(Written.size() % 16, 0u);

    TId3v2Tags Read;
    ReadTag(Written, Read);
    EXPECT_EQ(Read.Title(), std::u16string(200, u'x'));
    EXPECT_EQ(Read.Link(), u"http://x.org/\u00FC");
}

TEST(Id3v2Write, PrependsToTheFileAndKeepsOlderTagsBehind) {
    ScratchDir Folder("id3v2");
    TBytes Audio(3 * 1024 * 1024 + 17); // longer than one move piece
    for (size_t I = 0; I < Audio.size(); ++I) Audio[I] = uint8_t(I * 7 + I / 4096);
    const auto Path = Folder.WriteBytes("a.mp3", Audio);
    TFd File(open(Path.c_str(), O_RDWR));
    TId3v2Tags Tags;
    Tags.SetTitle(u"First");
    ASSERT_TRUE(Tags.WriteToFile(File.Value, true));
    Tags.SetTitle(u"Second");
    Tags.SetTrack("3/12");
    ASSERT_TRUE(Tags.WriteToFile(File.Value, true));
    const TBytes Second = Tags.MakeTag(true);
    Tags.SetTitle(u"First");
    Tags.SetTrack("");
    const TBytes First = Tags.MakeTag(true);
    EXPECT_EQ(lseek(File.Value, 0, SEEK_CUR), off_t(Second.size() + First.size() + Audio.size()));
    EXPECT_EQ(Folder.ReadBytes("a.mp3"), Second + First + Audio);

    ASSERT_EQ(lseek(File.Value, 0, SEEK_SET), 0);
    TId3v2Tags Read;
    ASSERT_TRUE(Read.ReadFromFile(File.Value));
    EXPECT_EQ(Read.Title(), u"Second");
    EXPECT_EQ(Read.Track(), "3/12");
    EXPECT_EQ(lseek(File.Value, 0, SEEK_CUR), off_t(Second.size()));
    ASSERT_TRUE(Read.ReadFromFile(File.Value));
    EXPECT_EQ(Read.Title(), u"First");
    EXPECT_EQ(Read.Track(), "");
    EXPECT_FALSE(Read.TagPresent(File.Value));
}

TEST(Id3v2Write, RefusesDescriptorsItCannotMoveContentThrough) {
    ScratchDir Folder("id3v2");
    const auto Path = Folder.WriteBytes("a.mp3", B("audio"));
    TId3v2Tags Tags;
    Tags.SetTitle(u"T");
    for (int Flags : {O_WRONLY, O_RDONLY, O_RDWR | O_APPEND}) {
        TFd File(open(Path.c_str(), Flags));
        ASSERT_GE(File.Value, 0);
        EXPECT_FALSE(Tags.WriteToFile(File.Value, true));
    }
    EXPECT_FALSE(Tags.WriteToFile(-1, true));
    EXPECT_EQ(Folder.ReadBytes("a.mp3"), B("audio"));
}

TEST(Id3v2Read, Version22TextsAndTheVersionFlag) {
    const TBytes Body = Frame22("TT2", TBytes{0} + B("Caf\xE9")) +
                        Frame22("TP1", TBytes{1, 0xFF, 0xFE, 'Z', 0, 0xEB, 0, 0, 0, 'x', 0}) +
                        Frame22("COM", TBytes{0} + B("engXYZ")) + TBytes(8, 0);
    TId3v2Tags Tags;
    bool Ok = false;
    EXPECT_EQ(ReadTag(Tag(2, 0, Body) + B("mp3"), Tags, &Ok), 10 + off_t(Body.size()));
    EXPECT_TRUE(Ok);
    EXPECT_FALSE(Tags.Version23());
    EXPECT_EQ(Tags.Title(), u"Café");
    EXPECT_EQ(TagValueKind(Tags.Values("TT2")), TTagValueKind::tkString);
    EXPECT_EQ(Tags.Artist(), u"Zë"); // ends at the first zero character
    EXPECT_EQ(Tags.Comment(), u"");
    EXPECT_EQ(TagValueKind(Tags.Values("TIT2")), TTagValueKind::tkUnassigned);

    // Compressed 2.2 tags never had a defined scheme: the header is fine, the frames unread.
    ReadTag(Tag(2, 0x40, Body), Tags, &Ok);
    EXPECT_TRUE(Ok);
    EXPECT_TRUE(Tags.Empty());
}

TEST(Id3v2Read, EncodingsAndFramesThatAreSkipped) {
    const TBytes Body = Frame("TIT2", TBytes{1, 0xFE, 0xFF, 0, 'B', 0, 'E'}) +
                        Frame("TALB", TBytes{2, 0, 'X'}) + // encoding 2 is not read
                        Frame("TPE1", {}) +                // empty frames are stepped over
                        Frame("TXXX", TBytes{0} + B("d\0v")) +
                        Frame("TCON", TBytes{3} + B("Rock\0junk")) +
                        Frame("COMM", TBytes{0} + B("engcomment")) + TBytes(4, 0) +
                        Frame("TCOP", TBytes{0} + B("after padding"));
    TId3v2Tags Tags;
    ReadTag(Tag(3, 0, Body), Tags);
    EXPECT_TRUE(Tags.Version23());
    EXPECT_EQ(Tags.Title(), u"BE");
    EXPECT_EQ(Tags.Genre(), u"Rock");
    EXPECT_EQ(TagValueKind(Tags.Values("TCON")), TTagValueKind::tkWideString);
    for (const char* Key : {"TALB", "TPE1", "COMM", "TCOP"})
        EXPECT_EQ(TagValueKind(Tags.Values(Key)), TTagValueKind::tkUnassigned) << Key;
}

TEST(Id3v2Read, ExtendedHeadersUnsynchronisationAndFrameFlags) {
    // Version 2.3, whole tag unsynchronised: FF is followed by an inserted 00.
    TBytes Plain = TBytes{0, 0, 0, 6, 0, 0, 0, 0, 0, 0} + // extended header
                   Frame("TIT2", TBytes{1, 0xFF, 0xFE, 0xFF, 0x00, 'a', 0}) +
                   Frame("TPE1", TBytes{'g', 0} + B("G"), 0x20); // grouped
    TBytes Unsynced;
    for (uint8_t Byte : Plain) {
        Unsynced.push_back(Byte);
        if (Byte == 0xFF) Unsynced.push_back(0);
    }
    TId3v2Tags Tags;
    ReadTag(Tag(3, 0xC0, Unsynced), Tags);
    EXPECT_EQ(Tags.Title(), u"\u00FFa");
    EXPECT_EQ(Tags.Artist(), u"G");

    // Version 2.4: group byte and data length before the text, compressed frames skipped,
    // sync-safe frame sizes, and plain sizes from writers that got them wrong.
    const std::string Long(150, 'L');
    const TBytes Body4 = SyncSafe(6) + TBytes{1, 0} + // extended header
                         Frame("TIT2", TBytes{9, 0, 0, 0, 4, 0} + B("Grp"), 0x41) +
                         Frame("TALB", TBytes{0, 0, 0, 5, 'x', 'y'}, 0x09) + B("TPE1") +
                         SyncSafe(151) + TBytes{0, 0, 0} + B(Long) +
                         Frame("TCOM", TBytes{0} + B(Long)) + // plain size 151 = 0x97
                         Frame("TENC", TBytes{0} + B("end"));
    ReadTag(Tag(4, 0x40, Body4), Tags);
    EXPECT_EQ(Tags.Title(), u"Grp");
    EXPECT_EQ(Tags.Album(), u"");
    EXPECT_EQ(Tags.AsString("TPE1"), Long);
    EXPECT_EQ(Tags.AsString("TCOM"), Long);
    EXPECT_EQ(Tags.Encoder(), u"end");
}

TEST(Id3v2Read, HeaderChecks) {
    ScratchDir Folder("id3v2");
    const TBytes Good = Tag(4, 0x10, Frame("TIT2", TBytes{0, 'x'})) + TBytes(10, 0);
    const std::vector<std::pair<TBytes, bool>> Cases = {
        {Good, true},
        {Tag(3, 0x10, {}), false},                          // footer flag before version 4
        {Tag(2, 0x20, {}), false},                          // flag unknown to version 2.2
        {B("ID3") + TBytes{5, 0, 0, 0, 0, 0, 0}, false},    // unknown version
        {B("ID3") + TBytes{3, 255, 0, 0, 0, 0, 0}, false},  // revision 255
        {B("ID3") + TBytes{3, 0, 0, 0, 0, 0x80, 0}, false}, // size byte not sync-safe
        {B("ID3") + TBytes{3, 0, 0, 0, 0, 0}, false},       // short header
        {B("XID3") + TBytes{3, 0, 0, 0, 0, 0, 0}, false},
    };
    for (size_t I = 0; I < Cases.size(); ++I) {
        TFd File(open(Folder.WriteBytes("h.mp3", B("pre") + Cases[I].first).c_str(), O_RDONLY));
        ASSERT_EQ(lseek(File.Value, 3, SEEK_SET), 3);
        TId3v2Tags Tags;
        EXPECT_EQ(Tags.TagPresent(File.Value), Cases[I].second) << I;
        EXPECT_EQ(lseek(File.Value, 0, SEEK_CUR), 3) << I;
        EXPECT_EQ(Tags.ReadFromFile(File.Value), Cases[I].second) << I;
    }
    TId3v2Tags Tags;
    EXPECT_EQ(ReadTag(Good, Tags), off_t(Good.size())); // the footer belongs to the tag
    EXPECT_EQ(Tags.AsString("TIT2"), "x");
}

TEST(Id3v2Read, SizesFromTheFileNeverReachPastTheTag) {
    TId3v2Tags Tags;
    bool Ok = false;
    // The tag claims more than the file holds: no frame is read, position at the end.
    const TBytes Short = Header(3, 0, 0x0FFFFFFF) + Frame("TIT2", TBytes{0, 'x'});
    EXPECT_EQ(ReadTag(Short, Tags, &Ok), off_t(Short.size()));
    EXPECT_TRUE(Ok);
    EXPECT_TRUE(Tags.Empty());

    // A frame larger than what is left of the tag ends the walk; earlier frames stay.
    const TBytes Huge =
        Frame("TIT2", TBytes{0, 'x'}) + B("TALB") + TBytes{0x7F, 0xFF, 0xFF, 0xF0, 0, 0, 0, 'y'};
    ReadTag(Tag(3, 0, Huge) + TBytes(64, 'z'), Tags);
    EXPECT_EQ(Tags.AsString("TIT2"), "x");
    EXPECT_EQ(Tags.AsString("TALB"), "");

    // The frame fits the file but not the tag: it is not read from beyond the tag.
    const TBytes Frames = Frame("TIT2", TBytes{0, 'x'}) + Frame("TALB", TBytes{0} + B("abcdef"));
    ReadTag(Header(3, 0, uint32_t(Frames.size() - 3)) + Frames, Tags);
    EXPECT_EQ(Tags.AsString("TIT2"), "x");
    EXPECT_EQ(Tags.AsString("TALB"), "");

    // Extended header and frame header cut by the end of the tag.
    ReadTag(Tag(3, 0x40, TBytes{0x10, 0, 0, 0}), Tags, &Ok);
    EXPECT_TRUE(Ok);
    ReadTag(Tag(3, 0, B("TIT2") + TBytes{0, 0}), Tags, &Ok);
    EXPECT_TRUE(Ok);
    EXPECT_TRUE(Tags.Empty());
}
