// Reading side of ID3v2: the header check and the walk over the frames of a tag body.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "formats/AuTagsId3v2.h"
#include "formats/AuTagsText.h"
#include "platform/TextConv.h"

namespace sundral {

namespace {

constexpr uint8_t TagUnsync = 0x80, TagExtended = 0x40, TagV22Compressed = 0x40;
// Format flags (second flag byte) of version 3 and version 4 frames.
constexpr uint8_t V3Compressed = 0x80, V3Encrypted = 0x40, V3Grouped = 0x20;
constexpr uint8_t V4Grouped = 0x40, V4Compressed = 0x08, V4Encrypted = 0x04, V4Unsync = 0x02,
                  V4LengthIndicator = 0x01;
// Bodies are read in pieces of this size, so a size claimed by the file costs memory only
// as far as the bytes really arrive.
constexpr size_t ReadPiece = 64 * 1024;

uint32_t BigEndian(const uint8_t* Bytes, int Count) {
    uint32_t Value = 0;
    for (int I = 0; I < Count; ++I) Value = (Value << 8) | Bytes[I];
    return Value;
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
        const size_t Piece = std::min(ReadPiece, Count - Out.size());
        const size_t Have = Out.size();
        Out.resize(Have + Piece);
        if (!Read(Offset + static_cast<int64_t>(Have), Out.data() + Have, Piece)) return false;
    }
    return true;
}

// Undoes unsynchronisation: every FF 00 pair was FF before writing.
void Resynchronise(std::vector<uint8_t>& Bytes) {
    size_t Out = 0;
    for (size_t In = 0; In < Bytes.size(); ++In) {
        Bytes[Out++] = Bytes[In];
        if (Bytes[In] == 0xFF && In + 1 < Bytes.size() && Bytes[In + 1] == 0x00) ++In;
    }
    Bytes.resize(Out);
}

int FieldOfId(std::string_view Id, bool V22) {
    for (int I = 0; I < Id3v2FieldCount; ++I) {
        const TId3v2FrameIds& Ids = Id3v2Frames[static_cast<size_t>(I)];
        if (Id == (V22 ? Ids.V22 : Ids.V23)) return I;
    }
    return -1;
}

// Strips what the frame flags put before the data; false when the data cannot be read as
// text (compressed or encrypted).
bool UnpackFrameBody(const TId3v2Header& Header, uint8_t FormatFlags, std::vector<uint8_t>& Body) {
    size_t Skip = 0;
    bool Unsync = false;
    if (Header.Version == 3) {
        if (FormatFlags & (V3Compressed | V3Encrypted)) return false;
        if (FormatFlags & V3Grouped) Skip = 1;
    } else if (Header.Version == 4) {
        if (FormatFlags & (V4Compressed | V4Encrypted)) return false;
        if (FormatFlags & V4Grouped) Skip += 1;
        if (FormatFlags & V4LengthIndicator) Skip += 4;
        Unsync = (FormatFlags & V4Unsync) || (Header.Flags & TagUnsync);
    }
    // The flags come from the file: the bytes they announce must be there.
    if (Skip > Body.size()) return false;
    Body.erase(Body.begin(), Body.begin() + static_cast<std::ptrdiff_t>(Skip));
    if (Unsync) Resynchronise(Body);
    return true;
}

std::u16string Utf16Until0(const uint8_t* Bytes, size_t Count, bool BigEnd) {
    std::u16string Text;
    for (size_t I = 0; I + 1 < Count; I += 2) {
        const char16_t Unit = BigEnd ? char16_t((Bytes[I] << 8) | Bytes[I + 1])
                                     : char16_t(Bytes[I] | (Bytes[I + 1] << 8));
        if (Unit == 0) break;
        Text += Unit;
    }
    return Text;
}

std::string_view BytesUntil0(const uint8_t* Bytes, size_t Count) {
    const auto* Begin = reinterpret_cast<const char*>(Bytes);
    const void* Zero = std::memchr(Begin, 0, Count);
    return {Begin, Zero ? static_cast<size_t>(static_cast<const char*>(Zero) - Begin) : Count};
}

// Length of the description that starts a user-defined link frame, terminator included;
// 0 when it has no terminator.
size_t DescriptionLength(uint8_t Encoding, const uint8_t* Bytes, size_t Count) {
    if (Encoding == 1 || Encoding == 2) {
        for (size_t I = 0; I + 1 < Count; I += 2)
            if (Bytes[I] == 0 && Bytes[I + 1] == 0) return I + 2;
        return 0;
    }
    const void* Zero = std::memchr(Bytes, 0, Count);
    return Zero ? static_cast<size_t>(static_cast<const uint8_t*>(Zero) - Bytes) + 1 : 0;
}

bool DecodeText(const std::vector<uint8_t>& Body, bool IsLink, TTagVariant& Value) {
    if (Body.empty()) return false;
    const uint8_t Encoding = Body[0];
    const uint8_t* Text = Body.data() + 1;
    size_t Count = Body.size() - 1;
    if (Encoding != 0 && Encoding != 1 && Encoding != 3) return false;
    if (IsLink) {
        // A link frame holds a description, then the address in Latin-1.
        const size_t Skip = DescriptionLength(Encoding, Text, Count);
        if (Skip > 0) {
            Value = tagtext::Latin1ToUtf8(BytesUntil0(Text + Skip, Count - Skip));
            return true;
        }
    }
    switch (Encoding) {
    case 0:
        Value = tagtext::Latin1ToUtf8(BytesUntil0(Text, Count));
        return true;
    case 1: {
        bool BigEnd = false;
        if (Count >= 2 &&
            ((Text[0] == 0xFF && Text[1] == 0xFE) || (Text[0] == 0xFE && Text[1] == 0xFF))) {
            BigEnd = Text[0] == 0xFE;
            Text += 2;
            Count -= 2;
        }
        Value = Utf16Until0(Text, Count, BigEnd);
        return true;
    }
    default:
        Value = Utf8ToUtf16(BytesUntil0(Text, Count));
        return true;
    }
}

class TFrameWalker {
public:
    TFrameWalker(const TId3v2Header& Header, const TId3v2ByteReader& Read, int64_t Length)
        : FHeader(Header), FRead(Read), FLength(Length), FV22(Header.Version == 2),
          FHeaderLength(FV22 ? 6 : 10) {}

    void Walk(int64_t Pos, const TId3v2FrameSink& Sink) {
        std::vector<uint8_t> Body;
        while (Pos < FLength) {
            uint8_t Frame[10];
            if (FLength - Pos < FHeaderLength || !FRead(Pos, Frame, size_t(FHeaderLength))) break;
            if (Frame[0] < 'A' || Frame[0] > 'Z') break; // padding
            const std::string Id(reinterpret_cast<const char*>(Frame), FV22 ? 3 : 4);
            Pos += FHeaderLength;
            const uint32_t Size = FrameSize(Frame, Pos);
            if (Size == 0) continue;
            // The frame size comes from the file: the body must lie inside the tag.
            if (Size > FLength - Pos) break;
            const int Field = FieldOfId(Id, FV22);
            if (Field >= 0 && Field != ifComment) {
                if (!ReadBlock(FRead, Pos, Size, Body)) break;
                TTagVariant Value;
                if (UnpackFrameBody(FHeader, FV22 ? 0 : Frame[9], Body) &&
                    DecodeText(Body, Field == ifLink, Value))
                    Sink(Id, Value);
            }
            Pos += Size;
        }
    }

private:
    // Version 4 sizes are sync-safe, but some writers put plain numbers there; when the
    // two readings differ, take the one after which the next frame (or the end) follows.
    uint32_t FrameSize(const uint8_t* Frame, int64_t BodyAt) {
        if (FV22) return BigEndian(Frame + 3, 3);
        const uint32_t Plain = BigEndian(Frame + 4, 4);
        if (FHeader.Version != 4 || !IsSyncSafe(Frame + 4)) return Plain;
        const uint32_t Safe = SyncSafe(Frame + 4);
        if (Safe != Plain && !FrameFollows(BodyAt + Safe) && FrameFollows(BodyAt + Plain))
            return Plain;
        return Safe;
    }

    bool FrameFollows(int64_t At) {
        if (At == FLength) return true;
        if (At > FLength) return false;
        uint8_t Next[4] = {};
        const size_t Count = size_t(std::min<int64_t>(4, FLength - At));
        if (!FRead(At, Next, Count)) return false;
        if (Next[0] == 0) return true; // padding
        if (Count < 4 || Next[0] < 'A' || Next[0] > 'Z') return false;
        return std::all_of(Next + 1, Next + 4, [](uint8_t C) {
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
    uint8_t Allowed;
    switch (Bytes[3]) {
    case 2:
        Allowed = 0xC0;
        break;
    case 3:
        Allowed = 0xE0;
        break;
    case 4:
        Allowed = 0xF0;
        break;
    default:
        return false;
    }
    if (Bytes[4] == 255 || (Bytes[5] & ~Allowed) != 0 || !IsSyncSafe(Bytes + 6)) return false;
    Header.Version = Bytes[3];
    Header.Revision = Bytes[4];
    Header.Flags = Bytes[5];
    Header.Size = SyncSafe(Bytes + 6);
    return true;
}

void ParseId3v2Frames(const TId3v2Header& Header, const TId3v2ByteReader& Reader,
                      const TId3v2FrameSink& Sink) {
    // Version 2.2 compression never had a defined scheme: nothing in the tag is readable.
    if (Header.Version == 2 && (Header.Flags & TagV22Compressed)) return;

    TId3v2ByteReader Read = Reader;
    int64_t Length = Header.Size;
    std::vector<uint8_t> Whole;
    if (Header.Version < 4 && (Header.Flags & TagUnsync)) {
        // Before version 4 unsynchronisation covers the whole tag, frame headers included.
        if (!ReadBlock(Reader, 0, Header.Size, Whole)) return;
        Resynchronise(Whole);
        Length = static_cast<int64_t>(Whole.size());
        Read = [&Whole](int64_t Offset, uint8_t* Buffer, size_t Count) {
            if (Offset < 0 || size_t(Offset) > Whole.size() || Count > Whole.size() - Offset)
                return false;
            std::memcpy(Buffer, Whole.data() + Offset, Count);
            return true;
        };
    }

    int64_t Pos = 0;
    if (Header.Version >= 3 && (Header.Flags & TagExtended)) {
        uint8_t Size[4];
        if (Length < 4 || !Read(0, Size, 4)) return;
        int64_t Skip;
        if (Header.Version == 3) {
            Skip = 4 + int64_t(BigEndian(Size, 4)); // the size leaves out its own 4 bytes
        } else {
            if (!IsSyncSafe(Size)) return;
            Skip = SyncSafe(Size);
        }
        // The extended header size comes from the file: the frames must start inside the tag.
        if (Skip < 4 || Skip > Length) return;
        Pos = Skip;
    }
    TFrameWalker(Header, Read, Length).Walk(Pos, Sink);
}

} // namespace sundral
