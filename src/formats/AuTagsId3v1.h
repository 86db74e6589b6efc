// The ID3v1 tag set: the 128-byte block at the end of an MP3 file, and the genre list it
// indexes. Keys "artist", "album", "genre" (12, "Other"), "year", "track", "title",
// "comment"; all but the genre start unassigned.
//
// Block layout: "TAG", title 30, artist 30, album 30, year 4 (decimal text), comment 30 or
// (comment 28, a zero byte, track), genre index. Text fields hold Latin-1; the set holds
// UTF-8 and converts at the file (characters outside Latin-1 are written as '?').
//
// Threading and ownership as for every tag set (AuTagsBase.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "formats/AuTagsBase.h"

namespace sundral {

constexpr int kId3v1GenreCount = 148;
constexpr uint8_t kId3v1GenreOther = 12;
constexpr size_t kId3v1BlockSize = 128;
using TId3v1Block = std::array<uint8_t, kId3v1BlockSize>;

// Genre names by index 0 .. 147.
extern const std::array<const char*, kId3v1GenreCount> kId3v1Genres;

class TId3v1Tags : public TAuTags {
public:
    TId3v1Tags();

    std::string Title() const { return AsString("title"); }
    void SetTitle(const std::string& Value) { SetString("title", Value); }
    // Text only when the stored value is a string (an integer stored here reads empty).
    std::string Artist() const;
    void SetArtist(const std::string& Value) { SetString("artist", Value); }
    std::string Album() const { return AsString("album"); }
    void SetAlbum(const std::string& Value) { SetString("album", Value); }
    std::string Comment() const { return AsString("comment"); }
    void SetComment(const std::string& Value) { SetString("comment", Value); }
    // Stored as an integer; a stored value outside 0 .. 65535 reads 0.
    uint16_t Year() const;
    void SetYear(uint16_t Value) { SetValues("year", TTagVariant(Value)); }
    // Stored as an integer; a stored value outside 0 .. 255 reads 0.
    uint8_t Track() const;
    void SetTrack(uint8_t Value) { SetValues("track", TTagVariant(Value)); }
    // The stored index; 12 ("Other") when it is beyond the list or nothing is stored.
    uint8_t GenreId() const;
    void SetGenreId(uint8_t Value) { SetValues("genre", TTagVariant(Value)); }
    // The list name of GenreId. The setter trims the text and looks it up without regard to
    // letter case; a name not in the list changes nothing.
    std::string Genre() const { return kId3v1Genres[GenreId()]; }
    void SetGenre(const std::string& Value);

    // The block that WriteToFile appends, built from the current values.
    TId3v1Block MakeBlock() const;
    // Replaces the values with those of a block; false (and the set cleared) when the block
    // does not start with "TAG".
    bool LoadBlock(const TId3v1Block& Block);

    // The last 128 bytes of the file start with "TAG". The file position is not moved.
    bool TagPresent(int Handle) override;
    // Clears the set and loads the block at the end of the file; false when there is none.
    bool ReadFromFile(int Handle) override;
    // Appends a new block at the end of the file (whatever it already holds); true when all
    // 128 bytes were written. The position is left after the block.
    bool WriteToFile(int Handle, bool Unicode) override;
};

} // namespace sundral
