#include "formats/AuTagsId3v1.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "formats/AuTagsFile.h"
#include "formats/AuTagsText.h"

namespace sundral {

namespace {

constexpr size_t kTitleAt = 3, kArtistAt = 33, kAlbumAt = 63, kYearAt = 93, kCommentAt = 97;
constexpr size_t kTextWidth = 30, kYearWidth = 4, kShortCommentWidth = 28;
constexpr size_t kTrackMarkAt = 125, kTrackAt = 126, kGenreAt = 127;

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
    std::string_view text =
        TrimBlanks(std::string_view(reinterpret_cast<const char*>(Block.data()) + At, Width));
    text = text.substr(0, text.find('\0'));
    return TrimBlanks(text);
}

// Latin-1 has one byte per character, so cutting to the width never splits a character.
void PutField(TId3v1Block& Block, size_t At, size_t Width, const std::string& Utf8) {
    const std::string bytes = tagtext::Utf8ToLatin1(Utf8);
    std::memcpy(Block.data() + At, bytes.data(), std::min(Width, bytes.size()));
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
    const int64_t size = tagio::FileSize(Handle);
    // A file shorter than one block cannot end with one.
    if (size < static_cast<int64_t>(kId3v1BlockSize)) return false;
    return tagio::ReadAt(Handle, size - static_cast<int64_t>(kId3v1BlockSize), Block.data(),
                         Block.size());
}

bool StartsWithTag(const TId3v1Block& Block) {
    return Block[0] == 'T' && Block[1] == 'A' && Block[2] == 'G';
}

} // namespace

TId3v1Tags::TId3v1Tags() {
    AddKey("artist", TTagVariant());
    AddKey("album", TTagVariant());
    AddKey("genre", TTagVariant(kId3v1GenreOther));
    AddKey("year", TTagVariant());
    AddKey("track", TTagVariant());
    AddKey("title", TTagVariant());
    AddKey("comment", TTagVariant());
}

std::string TId3v1Tags::Artist() const {
    const TTagValueKind kind = TagValueKind(Values("artist"));
    if (kind != TTagValueKind::tkString && kind != TTagValueKind::tkWideString) return {};
    return AsString("artist");
}

uint16_t TId3v1Tags::Year() const {
    const int64_t value = AsInteger("year");
    return (value >= 0 && value <= 0xFFFF) ? static_cast<uint16_t>(value) : 0;
}

uint8_t TId3v1Tags::Track() const {
    const int64_t value = AsInteger("track");
    return (value >= 0 && value <= 0xFF) ? static_cast<uint8_t>(value) : 0;
}

uint8_t TId3v1Tags::GenreId() const {
    // Nothing stored (a cleared set, a file without a block) is "Other", not index 0.
    if (TagValueKind(Values("genre")) == TTagValueKind::tkUnassigned) return kId3v1GenreOther;
    const int64_t value = AsInteger("genre");
    // The index comes from outside and selects a name: beyond the list it means "Other".
    return (value >= 0 && value < kId3v1GenreCount) ? static_cast<uint8_t>(value)
                                                    : kId3v1GenreOther;
}

void TId3v1Tags::SetGenre(const std::string& Value) {
    const std::string_view name = TrimBlanks(Value);
    for (int i = 0; i < kId3v1GenreCount; ++i) {
        if (SameTextIgnoringCase(name, kId3v1Genres[static_cast<size_t>(i)])) {
            SetGenreId(static_cast<uint8_t>(i));
            return;
        }
    }
}

TId3v1Block TId3v1Tags::MakeBlock() const {
    TId3v1Block block{};
    std::memcpy(block.data(), "TAG", 3);
    PutField(block, kTitleAt, kTextWidth, Title());
    PutField(block, kArtistAt, kTextWidth, Artist());
    PutField(block, kAlbumAt, kTextWidth, Album());
    // Year 0 means none; a year of five digits cannot be cut to four without lying.
    const uint16_t theYear = Year();
    if (theYear != 0 && theYear <= 9999)
        PutField(block, kYearAt, kYearWidth, std::to_string(theYear));
    const uint8_t theTrack = Track();
    if (theTrack != 0) {
        PutField(block, kCommentAt, kShortCommentWidth, Comment());
        block[kTrackMarkAt] = 0;
        block[kTrackAt] = theTrack;
    } else {
        PutField(block, kCommentAt, kTextWidth, Comment());
    }
    block[kGenreAt] = GenreId();
    return block;
}

bool TId3v1Tags::LoadBlock(const TId3v1Block& Block) {
    Clear();
    if (!StartsWithTag(Block)) return false;
    SetTitle(tagtext::Latin1ToUtf8(FieldText(Block, kTitleAt, kTextWidth)));
    SetArtist(tagtext::Latin1ToUtf8(FieldText(Block, kArtistAt, kTextWidth)));
    SetAlbum(tagtext::Latin1ToUtf8(FieldText(Block, kAlbumAt, kTextWidth)));

    uint16_t theYear = 0;
    const std::string_view yearText = FieldText(Block, kYearAt, kYearWidth);
    if (!yearText.empty() && std::all_of(yearText.begin(), yearText.end(),
                                         [](char C) { return C >= '0' && C <= '9'; })) {
        for (char c : yearText) theYear = static_cast<uint16_t>(theYear * 10 + (c - '0'));
    }
    SetYear(theYear);

    const uint8_t mark = Block[kTrackMarkAt];
    const uint8_t number = Block[kTrackAt];
    if ((mark == 0 && number != 0) || (mark == ' ' && number != ' ')) {
        SetComment(tagtext::Latin1ToUtf8(FieldText(Block, kCommentAt, kShortCommentWidth)));
        SetTrack(number);
    } else {
        SetComment(tagtext::Latin1ToUtf8(FieldText(Block, kCommentAt, kTextWidth)));
        SetTrack(0);
    }
    SetGenreId(Block[kGenreAt]);
    return true;
}

bool TId3v1Tags::TagPresent(int Handle) {
    TId3v1Block block;
    return Handle >= 0 && ReadLastBlock(Handle, block) && StartsWithTag(block);
}

bool TId3v1Tags::ReadFromFile(int Handle) {
    if (Handle < 0) return false;
    Clear();
    TId3v1Block block;
    if (!ReadLastBlock(Handle, block)) return false;
    return LoadBlock(block);
}

bool TId3v1Tags::WriteToFile(int Handle, bool /*Unicode*/) {
    if (Handle < 0) return false;
    if (!tagio::SetPosition(Handle, tagio::FileSize(Handle))) return false;
    const TId3v1Block block = MakeBlock();
    return tagio::WriteAll(Handle, block.data(), block.size());
}

} // namespace sundral
