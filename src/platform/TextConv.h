// Text conversions at the boundaries: UTF-8 (narrow text) and UTF-16 (wide text).
#pragma once

#include <string>
#include <string_view>

namespace sundral {

// Invalid sequences become U+FFFD; never reads past the input.
std::u16string Utf8ToUtf16(std::string_view Text);
std::string Utf16ToUtf8(std::u16string_view Text);

} // namespace sundral
