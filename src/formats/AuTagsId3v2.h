// The ID3v2 tag set: twelve text fields, each kept under both its ID3v2.2 frame ID and its
// ID3v2.3 frame ID (24 keys). The version flag picks which ID the typed accessors use:
// true (the default, and after reading a version 3 or 4 tag) the 4-character IDs, false
// (after reading a version 2.2 tag) the 3-character ones.
//
// Reading decodes the text frames of the twelve fields except the comment; encoding 0
// (Latin-1) becomes a narrow UTF-8 value, encodings 1 (UTF-16) and 3 (UTF-8) become wide
// values. Writing puts a version 4 tag in front of the file content (see WriteToFile).
//
// Threading and ownership as for every tag set (AuTagsBase.h).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "formats/AuTagsBase.h"

namespace sundral {

constexpr int kId3v2FieldCount = 12;
// Field indices, in the order of the field table.
enum TId3v2Field {
    ifAlbum,
    ifArtist,
    ifGenre,
    ifTitle,
    ifTrack,
    ifYear,
    ifComment,
    ifComposer,
    ifEncoder,
    ifCopyright,
    ifLanguage,
    ifLink
};

struct TId3v2FrameIds {
    const char* V22;
    const char* V23;
};
extern const std::array<TId3v2FrameIds, kId3v2FieldCount> kId3v2Frames;

// The 10-byte header at the start of a tag, as checked by TagPresent and ReadFromFile.
struct TId3v2Header {
    uint8_t Version = 0;  // 2, 3 or 4
    uint8_t Revision = 0; // never 255
    uint8_t Flags = 0;
    uint32_t Size = 0; // sync-safe size of the tag after the header, footer excluded
    // Bytes from the first header byte to the end of the tag, footer included.
    int64_t TotalSize() const { return 10 + int64_t(Size) + ((Flags & 0x10) ? 10 : 0); }
};
// False unless the bytes hold "ID3", a known version with only its own flags, a revision
// below 255 and four size bytes below 128.
bool ParseId3v2Header(const uint8_t* Bytes, TId3v2Header& Header);

// Reads Count bytes at Offset (relative to the first byte after the header) or fails.
using TId3v2ByteReader = std::function<bool(int64_t Offset, uint8_t* Buffer, size_t Count)>;
// Receives each decoded text frame: its ID and its value (narrow or wide string).
using TId3v2FrameSink = std::function<void(const std::string& Id, const TTagVariant& Value)>;
// Decodes the frames of the tag body (Header.Size bytes after the header, read through
// Reader) and passes those with one of the twelve IDs of the header's version, except the
// comment, to Sink. Nothing is read outside the body; a broken frame ends the walk.
void ParseId3v2Frames(const TId3v2Header& Header, const TId3v2ByteReader& Reader,
                      const TId3v2FrameSink& Sink);

class TId3v2Tags : public TAuTags {
public:
    TId3v2Tags();

    bool Version23() const { return FVersion23; }
    void SetVersion23(bool Value) { FVersion23 = Value; }
    // Key of a field for the current version flag.
    std::string FieldKey(TId3v2Field Field) const;

    std::u16string Album() const { return AsWideString(FieldKey(ifAlbum)); }
    void SetAlbum(const std::u16string& Value) { SetWideString(FieldKey(ifAlbum), Value); }
    std::u16string Artist() const { return AsWideString(FieldKey(ifArtist)); }
    void SetArtist(const std::u16string& Value) { SetWideString(FieldKey(ifArtist), Value); }
    std::u16string Genre() const { return AsWideString(FieldKey(ifGenre)); }
    void SetGenre(const std::u16string& Value) { SetWideString(FieldKey(ifGenre), Value); }
    std::u16string Title() const { return AsWideString(FieldKey(ifTitle)); }
    void SetTitle(const std::u16string& Value) { SetWideString(FieldKey(ifTitle), Value); }
    std::string Track() const { return AsString(FieldKey(ifTrack)); }
    void SetTrack(const std::string& Value) { SetString(FieldKey(ifTrack), Value); }
    std::string Year() const { return AsString(FieldKey(ifYear)); }
    void SetYear(const std::string& Value) { SetString(FieldKey(ifYear), Value); }
    std::u16string Comment() const { return AsWideString(FieldKey(ifComment)); }
    void SetComment(const std::u16string& Value) { SetWideString(FieldKey(ifComment), Value); }
    std::u16string Composer() const { return AsWideString(FieldKey(ifComposer)); }
    void SetComposer(const std::u16string& Value) { SetWideString(FieldKey(ifComposer), Value); }
    std::u16string Encoder() const { return AsWideString(FieldKey(ifEncoder)); }
    void SetEncoder(const std::u16string& Value) { SetWideString(FieldKey(ifEncoder), Value); }
    std::u16string Copyright() const { return AsWideString(FieldKey(ifCopyright)); }
    void SetCopyright(const std::u16string& Value) { SetWideString(FieldKey(ifCopyright), Value); }
    std::u16string Language() const { return AsWideString(FieldKey(ifLanguage)); }
    void SetLanguage(const std::u16string& Value) { SetWideString(FieldKey(ifLanguage), Value); }
    std::u16string Link() const { return AsWideString(FieldKey(ifLink)); }
    void SetLink(const std::u16string& Value) { SetWideString(FieldKey(ifLink), Value); }

    // The whole tag WriteToFile puts in front of the file: a version 4 header, one frame per
    // non-empty field in table order (the comment left out) under its 4-character ID with a
    // sync-safe size and zero flags, then zero padding of 1 to 16 bytes so the tag length is
    // a multiple of 16. Values are taken under the IDs the version flag selects. A text is
    // written as UTF-8 (encoding 3) when Unicode is set and the value is wide or holds
    // characters Latin-1 lacks, else as Latin-1 (encoding 0, '?' for what Latin-1 lacks). The
    // link frame holds an empty description and the address in Latin-1. Empty when the
    // frames do not fit the 28-bit sizes.
    std::vector<uint8_t> MakeTag(bool Unicode) const;

    // A valid tag header at the current file position. The position is not moved.
    bool TagPresent(int Handle) override;
    // Clears the set and reads the tag at the current position; true whenever the header
    // is valid, however the frames fare. Afterwards the position stands after the tag (at
    // the end of the file when the tag claims more than the file holds).
    bool ReadFromFile(int Handle) override;
    // Puts a new tag in front of the whole file, moving the content back; any older tag
    // stays behind the new one. The descriptor must be open for reading and writing and not
    // in append mode. True when every step succeeded; the position is left at the end.
    bool WriteToFile(int Handle, bool Unicode) override;

private:
    bool FVersion23 = true;
};

} // namespace sundral
