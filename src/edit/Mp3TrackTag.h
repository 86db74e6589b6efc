// Giving a copied MP3 file its place in a set of pieces: the ID3v2 tag in front gets the
// track field "n/N", the other fields as they were. A file without a tag gets one that holds
// only the track. The frames behind the tag are not touched.
//
// Threading: one call per thread; it opens its own files. Ownership: none kept.
#pragma once

#include <string>

namespace sundral {

// Rewrites File through a temporary file beside it. False, with the reason in Message, when
// it cannot be read or written; the file is then as it was.
bool SetMp3Track(const std::string& File, const std::string& Track, std::string& Message);

} // namespace sundral
