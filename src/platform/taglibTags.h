// The ID3v2 step of the MP3 writer, on TagLib's C binding (loaded at run time, libload.h):
// open a finished MPEG audio file, set its title, artist, album, genre, year and track, and
// save. TagLib writes the texts as UTF-16 frames of an ID3v2.4 tag at the start of the file.
//
// TagLib also fills ID3v2 fields left empty from an ID3v1 block at the end of the file, and
// writes that block from its own values (or drops it): a caller with a block of its own
// runs the step on the file without it and puts the block in afterwards.
//
// Threading: any thread; one tag step runs at a time in the process (TagLib's settings are
// process-wide). Ownership: the caller's file is opened and closed within the call.
#pragma once

#include <optional>
#include <string>

namespace sundral {

struct TTagLibFields {
    // UTF-8 texts; each is set, an empty one clears the field.
    std::string Title, Artist, Album, Genre;
    // Set only when present.
    std::optional<unsigned> Year, Track;
};

enum class TTagLibResult {
    trSaved,
    trNotLoaded, // the library or an entry point the step calls is missing
    trNotValid,  // TagLib cannot open the file as MPEG audio
    trNotSaved,  // TagLib could not write the file
};

// The library and every entry point the step calls are there (loads it if need be).
bool TagLibAvailable();

// Path is the file's name as it is on disk (bytes, UTF-8 here), passed to TagLib unchanged.
TTagLibResult TagLibWriteTags(const std::string& Path, const TTagLibFields& Fields);

} // namespace sundral
