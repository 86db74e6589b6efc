// The ID3v2 tag set: keys, the tag it writes, and the file operations.
#include "formats/AuTagsId3v2.h"

#include <algorithm>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

#include "formats/AuTagsFile.h"
#include "formats/AuTagsText.h"

namespace sundral {

const std::array<TId3v2FrameIds, Id3v2FieldCount> Id3v2Frames = {{
    {"TAL", "TALB"},
    {"TP1", "TPE1"},
    {"TCO", "TCON"},
    {"TT2", "TIT2"},
    {"TRK", "TRCK"},
    {"TYE", "TYER"},
    {"COM", "COMM"},
    {"TCM", "TCOM"},
    {"TEN", "TENC"},
    {"TCR", "TCOP"},
    {"TLA", "TLAN"},
    {"WXX", "WXXX"},
}};

namespace {

constexpr uint32_t MaxSyncSafe = 0x0FFFFFFF;
constexpr size_t HeaderSize = 10;
// The content is moved back in pieces of this size.
constexpr size_t MovePiece = 1 << 20;

void PutSyncSafe(std::vector<uint8_t>& Out, uint32_t Value) {
    Out.push_back(uint8_t((Value >> 21) & 0x7F));
    Out.push_back(uint8_t((Value >> 14) & 0x7F));
    Out.push_back(uint8_t((Value >> 7) & 0x7F));
    Out.push_back(uint8_t(Value & 0x7F));
}

// Moves the first Length bytes of the file Shift bytes further; the file must already be
// Shift bytes longer. Working from the end, no byte is overwritten before it was copied.
bool MoveContentBack(int Handle, int64_t Length, int64_t Shift) {
    std::vector<uint8_t> Buffer(size_t(std::min<int64_t>(Length, MovePiece)));
    for (int64_t End = Length; End > 0;) {
        const size_t Count = size_t(std::min<int64_t>(End, MovePiece));
        const int64_t Start = End - int64_t(Count);
        if (!tagio::ReadAt(Handle, Start, Buffer.data(), Count) ||
            !tagio::WriteAt(Handle, Start + Shift, Buffer.data(), Count))
            return false;
        End = Start;
    }
    return true;
}

} // namespace

TId3v2Tags::TId3v2Tags() {
    for (const TId3v2FrameIds& Ids : Id3v2Frames) {
        AddKey(Ids.V22, TTagVariant());
        AddKey(Ids.V23, TTagVariant());
    }
}

std::string TId3v2Tags::FieldKey(TId3v2Field Field) const {
    const TId3v2FrameIds& Ids = Id3v2Frames[static_cast<size_t>(Field)];
    return FVersion23 ? Ids.V23 : Ids.V22;
}

std::vector<uint8_t> TId3v2Tags::MakeTag(bool Unicode) const {
    std::vector<uint8_t> Frames;
    for (int I = 0; I < Id3v2FieldCount; ++I) {
        const auto Field = static_cast<TId3v2Field>(I);
        // The comment frame has its own layout (language, description) and is not kept.
        if (Field == ifComment) continue;
        const std::string Key = FieldKey(Field);
        std::vector<uint8_t> Body;
        if (Field == ifLink) {
            // A link frame: encoding, an empty description, the address in Latin-1.
            const std::string Address = tagtext::Utf8ToLatin1(AsString(Key));
            if (Address.empty()) continue;
            Body = {0, 0};
            Body.insert(Body.end(), Address.begin(), Address.end());
        } else {
            const std::string Text = AsString(Key);
            if (Text.empty()) continue;
            const bool Wide = TagValueKind(Values(Key)) == TTagValueKind::tkWideString;
            // Narrow text that Latin-1 cannot hold also goes as UTF-8 when Unicode is allowed.
            if (Unicode && (Wide || !tagtext::IsLatin1Text(Text))) {
                Body.push_back(3);
                Body.insert(Body.end(), Text.begin(), Text.end());
            } else {
                const std::string Bytes = tagtext::Utf8ToLatin1(Text);
                Body.push_back(0);
                Body.insert(Body.end(), Bytes.begin(), Bytes.end());
            }
        }
        if (Body.size() > MaxSyncSafe) return {};
        const char* Id = Id3v2Frames[static_cast<size_t>(I)].V23;
        Frames.insert(Frames.end(), Id, Id + 4);
        // The header says version 4, whose frame sizes are sync-safe (below 128 the same
        // bytes as a plain number).
        PutSyncSafe(Frames, static_cast<uint32_t>(Body.size()));
        Frames.push_back(0);
        Frames.push_back(0);
        Frames.insert(Frames.end(), Body.begin(), Body.end());
    }
    const size_t Padding = 16 - (Frames.size() + HeaderSize) % 16;
    if (Frames.size() + Padding > MaxSyncSafe) return {};

    std::vector<uint8_t> Tag = {'I', 'D', '3', 4, 0, 0};
    Tag.reserve(HeaderSize + Frames.size() + Padding);
    PutSyncSafe(Tag, static_cast<uint32_t>(Frames.size() + Padding));
    Tag.insert(Tag.end(), Frames.begin(), Frames.end());
    Tag.insert(Tag.end(), Padding, 0);
    return Tag;
}

bool TId3v2Tags::TagPresent(int Handle) {
    uint8_t Bytes[HeaderSize];
    TId3v2Header Header;
    const int64_t At = tagio::Position(Handle);
    return At >= 0 && tagio::ReadAt(Handle, At, Bytes, HeaderSize) &&
           ParseId3v2Header(Bytes, Header);
}

bool TId3v2Tags::ReadFromFile(int Handle) {
    if (Handle < 0) return false;
    Clear();
    const int64_t Start = tagio::Position(Handle);
    uint8_t Bytes[HeaderSize];
    TId3v2Header Header;
    if (Start < 0 || !tagio::ReadAt(Handle, Start, Bytes, HeaderSize) ||
        !ParseId3v2Header(Bytes, Header))
        return false;
    SetVersion23(Header.Version != 2);

    int64_t End = Start + Header.TotalSize();
    const int64_t FileSize = tagio::FileSize(Handle);
    // The tag size comes from the file: frames are read only when the whole tag is there.
    if (FileSize >= End) {
        const int64_t BodyAt = Start + int64_t(HeaderSize);
        ParseId3v2Frames(
            Header,
            [Handle, BodyAt](int64_t Offset, uint8_t* Buffer, size_t Count) {
                return tagio::ReadAt(Handle, BodyAt + Offset, Buffer, Count);
            },
            [this](const std::string& Id, const TTagVariant& Value) { SetValues(Id, Value); });
    } else if (FileSize >= 0) {
        End = FileSize;
    }
    tagio::SetPosition(Handle, End);
    return true;
}

bool TId3v2Tags::WriteToFile(int Handle, bool Unicode) {
    if (Handle < 0) return false;
    const std::vector<uint8_t> Tag = MakeTag(Unicode);
    if (Tag.empty()) return false;
    // The old content is read back and written further on: that needs read and write
    // access, and positioned writes that append mode would send to the end instead.
    const int Mode = fcntl(Handle, F_GETFL);
    if (Mode < 0 || (Mode & O_ACCMODE) != O_RDWR || (Mode & O_APPEND)) return false;
    const int64_t OldSize = tagio::FileSize(Handle);
    const auto Shift = static_cast<int64_t>(Tag.size());
    if (OldSize < 0 || OldSize > std::numeric_limits<off_t>::max() - Shift) return false;

    // Reserve the room first, so a full disk fails here with the file unchanged.
    if (posix_fallocate(Handle, static_cast<off_t>(OldSize), static_cast<off_t>(Shift)) != 0) {
        if (tagio::FileSize(Handle) != OldSize)
            (void)ftruncate(Handle, static_cast<off_t>(OldSize));
        return false;
    }
    if (!MoveContentBack(Handle, OldSize, Shift) ||
        !tagio::WriteAt(Handle, 0, Tag.data(), Tag.size()))
        return false;
    return tagio::SetPosition(Handle, OldSize + Shift);
}

} // namespace sundral
