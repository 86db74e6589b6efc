// Text conversions at the tag sets' file boundaries. Narrow text in the program is UTF-8
// (std::string), wide text is UTF-16 (std::u16string). ID3v1 fields and ID3v2 frames with
// encoding 0 hold ISO-8859-1 (Latin-1), one byte per character.
//
// Malformed input never fails: an invalid UTF-8 sequence or a lone UTF-16 surrogate becomes
// U+FFFD in Unicode output and '?' in Latin-1 output; a character above U+00FF becomes '?'
// in Latin-1 output. Because Latin-1 has one byte per character, cutting Latin-1 text to a
// field width never splits a character.
//
// Threading: pure functions, callable from any thread.
#pragma once

#include <string>
#include <string_view>

namespace sundral::tagtext {

// Latin-1 bytes (every byte value is a character) to UTF-8.
std::string Latin1ToUtf8(std::string_view Bytes);
// UTF-8 to Latin-1 bytes; characters outside Latin-1 become '?'.
std::string Utf8ToLatin1(std::string_view Text);
// True when every character of the UTF-8 text exists in Latin-1 (and the text is valid).
bool IsLatin1Text(std::string_view Text);

} // namespace sundral::tagtext
