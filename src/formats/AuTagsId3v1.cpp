#include "formats/AuTagsId3v1.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "formats/AuTagsFile.h"
#include "formats/AuTagsText.h"

namespace sundral {

namespace {

constexpr size_t TitleAt = 3, ArtistAt = 33, AlbumAt = 63, YearAt = 93, CommentAt = 97;
constexpr size_t TextWidth = 30, YearWidth = 4, ShortCommentWidth = 28;
constexpr size_t TrackMarkAt = 125, TrackAt = 126, GenreAt = 127;

bool IsBlank(char C) {
    return static_cast<unsigned char>(C) <= ' ';
}

std::string_view TrimBlanks(std::string_view Text) {
    while (!Text.empty() && IsBlank(Text.front())) Text.remove_prefix(1);
    while (!Text.empty() && IsBlank(Text.back())) Text.remove_suffix(1);
    return Text;
}

// A field as stored in the block: blanks and zero padding trimmed from both ends, and cut
// at a zero byte that is still inside (what follows a terminator is left-over garbage).
std::string_view FieldText(const TId3v1Block& Block, size_t At, size_t Width) {
    std::string_view Text =
        TrimBlanks(std::string_view(reinterpret_cast<const char*>(Block.data()) + At, Width));
    Text = Text.substr(0, Text.find('\0'));
    return TrimBlanks(Text);
}

// Latin-1 has one byte per character, so cutting to the width never splits a character.
void PutField(TId3v1Block& Block, size_t At, size_t Width, const std::string& Utf8) {
    const std::string Bytes = tagtext::Utf8ToLatin1(Utf8);
    std::memcpy(Block.data() + At, Bytes.data(), std::min(Width, Bytes.size()));
}

char LowerAscii(char C) {
    return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
}

bool SameTextIgnoringCase(std::string_view A, std::string_view B) {
    return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
               return LowerAscii(X) == LowerAscii(Y);
           });
}

bool ReadLastBlock(int Handle, TId3v1Block& Block) {
    const int64_t Size = tagio::FileSize(Handle);
    // A file shorter than one block cannot end with one.
    if (Size < static_cast<int64_t>(Id3v1BlockSize)) return false;
    return tagio::ReadAt(Handle, Size - static_cast<int64_t>(Id3v1BlockSize), Block.data(),
                         Block.size());
}

bool StartsWithTag(const TId3v1Block& Block) {
    return Block[0] == 'T' && Block[1] == 'A' && Block[2] == 'G';
}

} // namespace

TId3v1Tags::TId3v1Tags() {
    AddKey("artist", TTagVariant());
    AddKey("album", TTagVariant());
    AddKey("genre", TTagVariant(Id3v1GenreOther));
    AddKey("year", TTagVariant());
    AddKey("track", TTagVariant());
    AddKey("title", TTagVariant());
    AddKey("comment", TTagVariant());
}

std::string TId3v1Tags::Artist() const {
    const TTagValueKind Kind = TagValueKind(Values("artist"));
    if (Kind != TTagValueKind::tkString && Kind != TTagValueKind::tkWideString) return {};
    return AsString("artist");
}

uint16_t TId3v1Tags::Year() const {
    const int64_t Value = AsInteger("year");
    return (Value >= 0 && Value <= 0xFFFF) ? static_cast<uint16_t>(Value) : 0;
}

uint8_t TId3v1Tags::Track() const {
    const int64_t Value = AsInteger("track");
    return (Value >= 0 && Value <= 0xFF) ? static_cast<uint8_t>(Value) : 0;
}

uint8_t TId3v1Tags::GenreId() const {
    // Nothing stored (a cleared set, a file without a block) is "Other", not index 0.
    if (TagValueKind(Values("genre")) == TTagValueKind::tkUnassigned) return Id3v1GenreOther;
    const int64_t Value = AsInteger("genre");
    // The index comes from outside and selects a name: beyond the list it means "Other".
    return (Value >= 0 && Value < Id3v1GenreCount) ? static_cast<uint8_t>(Value) : Id3v1GenreOther;
}

void TId3v1Tags::SetGenre(const std::string& Value) {
    const std::string_view Name = TrimBlanks(Value);
    for (int I = 0; I < Id3v1GenreCount; ++I) {
        if (SameTextIgnoringCase(Name, Id3v1Genres[static_cast<size_t>(I)])) {
            SetGenreId(static_cast<uint8_t>(I));
            return;
        }
    }
}

TId3v1Block TId3v1Tags::MakeBlock() const {
    TId3v1Block Block{};
    std::memcpy(Block.data(), "TAG", 3);
    PutField(Block, TitleAt, TextWidth, Title());
    PutField(Block, ArtistAt, TextWidth, Artist());
    PutField(Block, AlbumAt, TextWidth, Album());
    // Year 0 means none; a year of five digits cannot be cut to four without lying.
    const uint16_t TheYear = Year();
    if (TheYear != 0 && TheYear <= 9999)
        PutField(Block, YearAt, YearWidth, std::to_string(TheYear));
    const uint8_t TheTrack = Track();
    if (TheTrack != 0) {
        PutField(Block, CommentAt, ShortCommentWidth, Comment());
        Block[TrackMarkAt] = 0;
        Block[TrackAt] = TheTrack;
    } else {
        PutField(Block, CommentAt, TextWidth, Comment());
    }
    Block[GenreAt] = GenreId();
    return Block;
}

bool TId3v1Tags::LoadBlock(const TId3v1Block& Block) {
    Clear();
    if (!StartsWithTag(Block)) return false;
    SetTitle(tagtext::Latin1ToUtf8(FieldText(Block, TitleAt, TextWidth)));
    SetArtist(tagtext::Latin1ToUtf8(FieldText(Block, ArtistAt, TextWidth)));
    SetAlbum(tagtext::Latin1ToUtf8(FieldText(Block, AlbumAt, TextWidth)));

    uint16_t TheYear = 0;
    const std::string_view YearText = FieldText(Block, YearAt, YearWidth);
    if (!YearText.empty() && std::all_of(YearText.begin(), YearText.end(),
                                         [](char C) { return C >= '0' && C <= '9'; })) {
        for (char C : YearText) TheYear = static_cast<uint16_t>(TheYear * 10 + (C - '0'));
    }
    SetYear(TheYear);

    const uint8_t Mark = Block[TrackMarkAt];
    const uint8_t Number = Block[TrackAt];
    if ((Mark == 0 && Number != 0) || (Mark == ' ' && Number != ' ')) {
        SetComment(tagtext::Latin1ToUtf8(FieldText(Block, CommentAt, ShortCommentWidth)));
        SetTrack(Number);
    } else {
        SetComment(tagtext::Latin1ToUtf8(FieldText(Block, CommentAt, TextWidth)));
        SetTrack(0);
    }
    SetGenreId(Block[GenreAt]);
    return true;
}

bool TId3v1Tags::TagPresent(int Handle) {
    TId3v1Block Block;
    return Handle >= 0 && ReadLastBlock(Handle, Block) && StartsWithTag(Block);
}

bool TId3v1Tags::ReadFromFile(int Handle) {
    if (Handle < 0) return false;
    Clear();
    TId3v1Block Block;
    if (!ReadLastBlock(Handle, Block)) return false;
    return LoadBlock(Block);
}

bool TId3v1Tags::WriteToFile(int Handle, bool /*Unicode*/) {
    if (Handle < 0) return false;
    if (!tagio::SetPosition(Handle, tagio::FileSize(Handle))) return false;
    const TId3v1Block Block = MakeBlock();
    return tagio::WriteAll(Handle, Block.data(), Block.size());
}

} // namespace sundral
