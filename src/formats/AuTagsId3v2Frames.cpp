// Reading side of ID3v2: the header check and the walk over the frames of a tag body.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "formats/AuTagsId3v2.h"
#include "formats/AuTagsText.h"
#include "platform/TextConv.h"

namespace sundral {

namespace {

constexpr uint8_t kTagUnsync = 0x80, kTagExtended = 0x40, kTagV22Compressed = 0x40;
// Format flags (second flag byte) of version 3 and version 4 frames.
constexpr uint8_t kV3Compressed = 0x80, kV3Encrypted = 0x40, kV3Grouped = 0x20;
constexpr uint8_t kV4Grouped = 0x40, kV4Compressed = 0x08, kV4Encrypted = 0x04, kV4Unsync = 0x02,
                  kV4LengthIndicator = 0x01;
// Bodies are read in pieces of this size, so a size claimed by the file costs memory only
// as far as the bytes really arrive.
constexpr size_t kReadPiece = 64 * 1024;

uint32_t BigEndian(const uint8_t* Bytes, int Count) {
    uint32_t value = 0;
    for (int i = 0; i < Count; ++i) value = (value << 8) | Bytes[i];
    return value;
}

bool IsSyncSafe(const uint8_t* Bytes) {
    return Bytes[0] < 0x80 && Bytes[1] < 0x80 && Bytes[2] < 0x80 && Bytes[3] < 0x80;
}

uint32_t SyncSafe(const uint8_t* Bytes) {
    return (uint32_t(Bytes[0]) << 21) | (uint32_t(Bytes[1]) << 14) | (uint32_t(Bytes[2]) << 7) |
           Bytes[3];
}

bool ReadBlock(const TId3v2ByteReader& Read, int64_t Offset, size_t Count,
               std::vector<uint8_t>& Out) {
    Out.clear();
    while (Out.size() < Count) {
        const size_t piece = std::min(kReadPiece, Count - Out.size());
        const size_t have = Out.size();
        Out.resize(have + piece);
        if (!Read(Offset + static_cast<int64_t>(have), Out.data() + have, piece)) return false;
    }
    return true;
}

// Undoes unsynchronisation: every FF 00 pair was FF before writing.
void Resynchronise(std::vector<uint8_t>& Bytes) {
    size_t out = 0;
    for (size_t in = 0; in < Bytes.size(); ++in) {
        Bytes[out++] = Bytes[in];
        if (Bytes[in] == 0xFF && in + 1 < Bytes.size() && Bytes[in + 1] == 0x00) ++in;
    }
    Bytes.resize(out);
}

int FieldOfId(std::string_view Id, bool V22) {
    for (int i = 0; i < kId3v2FieldCount; ++i) {
        const TId3v2FrameIds& ids = kId3v2Frames[static_cast<size_t>(i)];
        if (Id == (V22 ? ids.V22 : ids.V23)) return i;
    }
    return -1;
}

// Strips what the frame flags put before the data; false when the data cannot be read as
// text (compressed or encrypted).
bool UnpackFrameBody(const TId3v2Header& Header, uint8_t FormatFlags, std::vector<uint8_t>& Body) {
    size_t skip = 0;
    bool unsync = false;
    if (Header.Version == 3) {
        if (FormatFlags & (kV3Compressed | kV3Encrypted)) return false;
        if (FormatFlags & kV3Grouped) skip = 1;
    } else if (Header.Version == 4) {
        if (FormatFlags & (kV4Compressed | kV4Encrypted)) return false;
        if (FormatFlags & kV4Grouped) skip += 1;
        if (FormatFlags & kV4LengthIndicator) skip += 4;
        unsync = (FormatFlags & kV4Unsync) || (Header.Flags & kTagUnsync);
    }
    // The flags come from the file: the bytes they announce must be there.
    if (skip > Body.size()) return false;
    Body.erase(Body.begin(), Body.begin() + static_cast<std::ptrdiff_t>(skip));
    if (unsync) Resynchronise(Body);
    return true;
}

std::u16string Utf16Until0(const uint8_t* Bytes, size_t Count, bool BigEnd) {
    std::u16string text;
    for (size_t i = 0; i + 1 < Count; i += 2) {
        const char16_t unit = BigEnd ? char16_t((Bytes[i] << 8) | Bytes[i + 1])
                                     : char16_t(Bytes[i] | (Bytes[i + 1] << 8));
        if (unit == 0) break;
        text += unit;
    }
    return text;
}

std::string_view BytesUntil0(const uint8_t* Bytes, size_t Count) {
    const auto* begin = reinterpret_cast<const char*>(Bytes);
    const void* zero = std::memchr(begin, 0, Count);
    return {begin, zero ? static_cast<size_t>(static_cast<const char*>(zero) - begin) : Count};
}

// Length of the description that starts a user-defined link frame, terminator included;
// 0 when it has no terminator.
size_t DescriptionLength(uint8_t Encoding, const uint8_t* Bytes, size_t Count) {
    if (Encoding == 1 || Encoding == 2) {
        for (size_t i = 0; i + 1 < Count; i += 2)
            if (Bytes[i] == 0 && Bytes[i + 1] == 0) return i + 2;
        return 0;
    }
    const void* zero = std::memchr(Bytes, 0, Count);
    return zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - Bytes) + 1 : 0;
}

bool DecodeText(const std::vector<uint8_t>& Body, bool IsLink, TTagVariant& Value) {
    if (Body.empty()) return false;
    const uint8_t encoding = Body[0];
    const uint8_t* text = Body.data() + 1;
    size_t count = Body.size() - 1;
    if (encoding != 0 && encoding != 1 && encoding != 3) return false;
    if (IsLink) {
        // A link frame holds a description, then the address in Latin-1.
        const size_t skip = DescriptionLength(encoding, text, count);
        if (skip > 0) {
            Value = tagtext::Latin1ToUtf8(BytesUntil0(text + skip, count - skip));
            return true;
        }
    }
    switch (encoding) {
    case 0:
        Value = tagtext::Latin1ToUtf8(BytesUntil0(text, count));
        return true;
    case 1: {
        bool bigEnd = false;
        if (count >= 2 &&
            ((text[0] == 0xFF && text[1] == 0xFE) || (text[0] == 0xFE && text[1] == 0xFF))) {
            bigEnd = text[0] == 0xFE;
            text += 2;
            count -= 2;
        }
        Value = Utf16Until0(text, count, bigEnd);
        return true;
    }
    default:
        Value = Utf8ToUtf16(BytesUntil0(text, count));
        return true;
    }
}

class TFrameWalker {
public:
    TFrameWalker(const TId3v2Header& Header, const TId3v2ByteReader& Read, int64_t Length)
        : FHeader(Header), FRead(Read), FLength(Length), FV22(Header.Version == 2),
          FHeaderLength(FV22 ? 6 : 10) {}

    void Walk(int64_t Pos, const TId3v2FrameSink& Sink) {
        std::vector<uint8_t> body;
        while (Pos < FLength) {
            uint8_t frame[10];
            if (FLength - Pos < FHeaderLength || !FRead(Pos, frame, size_t(FHeaderLength))) break;
            if (frame[0] < 'A' || frame[0] > 'Z') break; // padding
            const std::string id(reinterpret_cast<const char*>(frame), FV22 ? 3 : 4);
            Pos += FHeaderLength;
            const uint32_t size = FrameSize(frame, Pos);
            if (size == 0) continue;
            // The frame size comes from the file: the body must lie inside the tag.
            if (size > FLength - Pos) break;
            const int field = FieldOfId(id, FV22);
            if (field >= 0 && field != ifComment) {
                if (!ReadBlock(FRead, Pos, size, body)) break;
                TTagVariant value;
                if (UnpackFrameBody(FHeader, FV22 ? 0 : frame[9], body) &&
                    DecodeText(body, field == ifLink, value))
                    Sink(id, value);
            }
            Pos += size;
        }
    }

private:
    // Version 4 sizes are sync-safe, but some writers put plain numbers there; when the
    // two readings differ, take the one after which the next frame (or the end) follows.
    uint32_t FrameSize(const uint8_t* Frame, int64_t BodyAt) {
        if (FV22) return BigEndian(Frame + 3, 3);
        const uint32_t plain = BigEndian(Frame + 4, 4);
        if (FHeader.Version != 4 || !IsSyncSafe(Frame + 4)) return plain;
        const uint32_t safe = SyncSafe(Frame + 4);
        if (safe != plain && !FrameFollows(BodyAt + safe) && FrameFollows(BodyAt + plain))
            return plain;
        return safe;
    }

    bool FrameFollows(int64_t At) {
        if (At == FLength) return true;
        if (At > FLength) return false;
        uint8_t next[4] = {};
        const size_t count = size_t(std::min<int64_t>(4, FLength - At));
        if (!FRead(At, next, count)) return false;
        if (next[0] == 0) return true; // padding
        if (count < 4 || next[0] < 'A' || next[0] > 'Z') return false;
        return std::all_of(next + 1, next + 4, [](uint8_t C) {
            return (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9');
        });
    }

    const TId3v2Header& FHeader;
    const TId3v2ByteReader& FRead;
    const int64_t FLength;
    const bool FV22;
    const int64_t FHeaderLength;
};

} // namespace

bool ParseId3v2Header(const uint8_t* Bytes, TId3v2Header& Header) {
    if (Bytes[0] != 'I' || Bytes[1] != 'D' || Bytes[2] != '3') return false;
    uint8_t allowed;
    switch (Bytes[3]) {
    case 2:
        allowed = 0xC0;
        break;
    case 3:
        allowed = 0xE0;
        break;
    case 4:
        allowed = 0xF0;
        break;
    default:
        return false;
    }
    if (Bytes[4] == 255 || (Bytes[5] & ~allowed) != 0 || !IsSyncSafe(Bytes + 6)) return false;
    Header.Version = Bytes[3];
    Header.Revision = Bytes[4];
    Header.Flags = Bytes[5];
    Header.Size = SyncSafe(Bytes + 6);
    return true;
}

void ParseId3v2Frames(const TId3v2Header& Header, const TId3v2ByteReader& Reader,
                      const TId3v2FrameSink& Sink) {
    // Version 2.2 compression never had a defined scheme: nothing in the tag is readable.
    if (Header.Version == 2 && (Header.Flags & kTagV22Compressed)) return;

    TId3v2ByteReader read = Reader;
    int64_t length = Header.Size;
    std::vector<uint8_t> whole;
    if (Header.Version < 4 && (Header.Flags & kTagUnsync)) {
        // Before version 4 unsynchronisation covers the whole tag, frame headers included.
        if (!ReadBlock(Reader, 0, Header.Size, whole)) return;
        Resynchronise(whole);
        length = static_cast<int64_t>(whole.size());
        read = [&whole](int64_t Offset, uint8_t* Buffer, size_t Count) {
            if (Offset < 0 || size_t(Offset) > whole.size() || Count > whole.size() - Offset)
                return false;
            std::memcpy(Buffer, whole.data() + Offset, Count);
            return true;
        };
    }

    int64_t pos = 0;
    if (Header.Version >= 3 && (Header.Flags & kTagExtended)) {
        uint8_t size[4];
        if (length < 4 || !read(0, size, 4)) return;
        int64_t skip;
        if (Header.Version == 3) {
            skip = 4 + int64_t(BigEndian(size, 4)); // the size leaves out its own 4 bytes
        } else {
            if (!IsSyncSafe(size)) return;
            skip = SyncSafe(size);
        }
        // The extended header size comes from the file: the frames must start inside the tag.
        if (skip < 4 || skip > length) return;
        pos = skip;
    }
    TFrameWalker(Header, read, length).Walk(pos, Sink);
}

} // namespace sundral
