#include "formats/AuTagsText.h"

#include <cstdint>

namespace sundral::tagtext {

namespace {

// Marks a decoding error so Latin-1 output can tell it from a real U+FFFD.
constexpr char32_t Invalid = 0xFFFFFFFF;

// Decodes one character at Text[I] and advances I by at least one byte. Overlong forms,
// surrogates and values above U+10FFFF are invalid; an invalid lead or a broken sequence
// consumes one byte only, so the following bytes are decoded on their own.
char32_t DecodeUtf8(std::string_view Text, size_t& I) {
    const auto Lead = static_cast<uint8_t>(Text[I]);
    if (Lead < 0x80) {
        ++I;
        return Lead;
    }
    size_t Length;
    char32_t Code;
    char32_t Min;
    if ((Lead & 0xE0) == 0xC0) {
        Length = 2, Code = Lead & 0x1F, Min = 0x80;
    } else if ((Lead & 0xF0) == 0xE0) {
        Length = 3, Code = Lead & 0x0F, Min = 0x800;
    } else if ((Lead & 0xF8) == 0xF0) {
        Length = 4, Code = Lead & 0x07, Min = 0x10000;
    } else {
        ++I;
        return Invalid;
    }
    // The sequence length comes from the lead byte: never read past the text.
    if (Text.size() - I < Length) {
        ++I;
        return Invalid;
    }
    for (size_t K = 1; K < Length; ++K) {
        const auto Next = static_cast<uint8_t>(Text[I + K]);
        if ((Next & 0xC0) != 0x80) {
            ++I;
            return Invalid;
        }
        Code = (Code << 6) | (Next & 0x3F);
    }
    if (Code < Min || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF)) {
        ++I;
        return Invalid;
    }
    I += Length;
    return Code;
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
    std::string Out;
    Out.reserve(Bytes.size());
    for (char C : Bytes) AppendUtf8(Out, static_cast<uint8_t>(C));
    return Out;
}

std::string Utf8ToLatin1(std::string_view Text) {
    std::string Out;
    Out.reserve(Text.size());
    for (size_t I = 0; I < Text.size();) {
        const char32_t Code = DecodeUtf8(Text, I);
        Out += Code <= 0xFF ? static_cast<char>(Code) : '?';
    }
    return Out;
}

bool IsLatin1Text(std::string_view Text) {
    for (size_t I = 0; I < Text.size();) {
        if (DecodeUtf8(Text, I) > 0xFF) return false;
    }
    return true;
}

} // namespace sundral::tagtext
