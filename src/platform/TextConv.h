// Text conversions at the boundaries: UTF-8 (narrow text) and UTF-16 (wide text).
#pragma once

#include <string>

namespace sundral {

// Invalid sequences become U+FFFD; never reads past the input.
std::u16string Utf8ToUtf16(const std::string& Text);
std::string Utf16ToUtf8(const std::u16string& Text);

} // namespace sundral
