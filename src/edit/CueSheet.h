// Cue sheets: the text files that divide one sound file into tracks.
//
// A sheet is read line by line (LF or CRLF ends, an optional UTF-8 byte-order mark). Each
// line is a keyword and its arguments; an argument in double quotes may hold blanks (there
// is no escape inside the quotes). Read are FILE, TRACK, INDEX, TITLE and PERFORMER (on a
// TRACK for that track, before the first TRACK for the album); REM, CATALOG, ISRC, FLAGS,
// PREGAP, POSTGAP, SONGWRITER, CDTEXTFILE and unknown keywords are passed over, since
// sheets in the wild carry all kinds. Times are MM:SS:FF with 75 frames a second.
//
// A sheet is refused, with the line that broke it, when a line it reads is malformed, an
// INDEX stands outside a TRACK, a track has no INDEX 01, the tracks' INDEX 01 do not rise,
// or it names more than one FILE. Text that is not valid UTF-8 is read as Latin-1.
//
// Threading: pure functions. Ownership: none kept.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sundral {

inline constexpr int64_t kCueFramesPerSecond = 75;

struct TCueTrack {
    int Number = 0;
    std::string Title;     // UTF-8; empty when the sheet gives none
    std::string Performer; // UTF-8; empty when the sheet gives none
    int64_t Start = -1;    // INDEX 01, in cue frames
    int64_t Pregap = -1;   // INDEX 00, in cue frames; -1 when there is none
    int Line = 0;          // the TRACK line
};

struct TCueSheet {
    std::string Title; // the album's
    std::string Performer;
    std::string File; // the FILE line's name; empty when there is none
    std::vector<TCueTrack> Tracks;
};

// Reads Text into Sheet; false with "line N: why" in Error when the sheet is refused.
bool ParseCueSheet(std::string_view Text, TCueSheet& Sheet, std::string& Error);

// A cue frame count as a sample frame at Rate, rounded to the nearest.
int64_t CueFramesToSamples(int64_t Frames, uint32_t Rate);

} // namespace sundral
