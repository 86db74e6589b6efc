#include "formats/AuTagsText.h"

#include <cstdint>

namespace sundral::tagtext {

namespace {

// Marks a decoding error so Latin-1 output can tell it from a real U+FFFD.
constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes one character at Text[I] and advances I by at least one byte. Overlong forms,
// surrogates and values above U+10FFFF are invalid; an invalid lead or a broken sequence
// consumes one byte only, so the following bytes are decoded on their own.
char32_t DecodeUtf8(std::string_view Text, size_t& I) {
    const auto lead = static_cast<uint8_t>(Text[I]);
    if (lead < 0x80) {
        ++I;
        return lead;
    }
    size_t length;
    char32_t code;
    char32_t min;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07, min = 0x10000;
    } else {
        ++I;
        return kInvalid;
    }
    // The sequence length comes from the lead byte: never read past the text.
    if (Text.size() - I < length) {
        ++I;
        return kInvalid;
    }
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<uint8_t>(Text[I + k]);
        if ((next & 0xC0) != 0x80) {
            ++I;
            return kInvalid;
        }
        code = (code << 6) | (next & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        ++I;
        return kInvalid;
    }
    I += length;
    return code;
}

void AppendUtf8(std::string& Out, char32_t Code) {
    if (Code < 0x80) {
        Out += static_cast<char>(Code);
    } else if (Code < 0x800) {
        Out += static_cast<char>(0xC0 | (Code >> 6));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else if (Code < 0x10000) {
        Out += static_cast<char>(0xE0 | (Code >> 12));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else {
        Out += static_cast<char>(0xF0 | (Code >> 18));
        Out += static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    }
}

} // namespace

std::string Latin1ToUtf8(std::string_view Bytes) {
    std::string out;
    out.reserve(Bytes.size());
    for (char c : Bytes) AppendUtf8(out, static_cast<uint8_t>(c));
    return out;
}

std::string Utf8ToLatin1(std::string_view Text) {
    std::string out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size();) {
        const char32_t code = DecodeUtf8(Text, i);
        out += code <= 0xFF ? static_cast<char>(code) : '?';
    }
    return out;
}

bool IsLatin1Text(std::string_view Text) {
    for (size_t i = 0; i < Text.size();) {
        if (DecodeUtf8(Text, i) > 0xFF) return false;
    }
    return true;
}

} // namespace sundral::tagtext
