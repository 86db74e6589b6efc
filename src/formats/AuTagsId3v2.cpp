// The ID3v2 tag set: keys, the tag it writes, and the file operations.
#include "formats/AuTagsId3v2.h"

#include <algorithm>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

#include "formats/AuTagsFile.h"
#include "formats/AuTagsText.h"

namespace sundral {

const std::array<TId3v2FrameIds, kId3v2FieldCount> kId3v2Frames = {{
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

constexpr uint32_t kMaxSyncSafe = 0x0FFFFFFF;
constexpr size_t kHeaderSize = 10;
// The content is moved back in pieces of this size.
constexpr size_t kMovePiece = 1 << 20;

void PutSyncSafe(std::vector<uint8_t>& Out, uint32_t Value) {
    Out.push_back(uint8_t((Value >> 21) & 0x7F));
    Out.push_back(uint8_t((Value >> 14) & 0x7F));
    Out.push_back(uint8_t((Value >> 7) & 0x7F));
    Out.push_back(uint8_t(Value & 0x7F));
}

// Moves the first Length bytes of the file Shift bytes further; the file must already be
// Shift bytes longer. Working from the end, no byte is overwritten before it was copied.
bool MoveContentBack(int Handle, int64_t Length, int64_t Shift) {
    std::vector<uint8_t> buffer(size_t(std::min<int64_t>(Length, kMovePiece)));
    for (int64_t end = Length; end > 0;) {
        const size_t count = size_t(std::min<int64_t>(end, kMovePiece));
        const int64_t start = end - int64_t(count);
        if (!tagio::ReadAt(Handle, start, buffer.data(), count) ||
            !tagio::WriteAt(Handle, start + Shift, buffer.data(), count))
            return false;
        end = start;
    }
    return true;
}

} // namespace

TId3v2Tags::TId3v2Tags() {
    for (const TId3v2FrameIds& ids : kId3v2Frames) {
        AddKey(ids.V22, TTagVariant());
        AddKey(ids.V23, TTagVariant());
    }
}

std::string TId3v2Tags::FieldKey(TId3v2Field Field) const {
    const TId3v2FrameIds& ids = kId3v2Frames[static_cast<size_t>(Field)];
    return FVersion23 ? ids.V23 : ids.V22;
}

std::vector<uint8_t> TId3v2Tags::MakeTag(bool Unicode) const {
    std::vector<uint8_t> frames;
    for (int i = 0; i < kId3v2FieldCount; ++i) {
        const auto field = static_cast<TId3v2Field>(i);
        // The comment frame has its own layout (language, description) and is not kept.
        if (field == ifComment) continue;
        const std::string key = FieldKey(field);
        std::vector<uint8_t> body;
        if (field == ifLink) {
            // A link frame: encoding, an empty description, the address in Latin-1.
            const std::string address = tagtext::Utf8ToLatin1(AsString(key));
            if (address.empty()) continue;
            body = {0, 0};
            body.insert(body.end(), address.begin(), address.end());
        } else {
            const std::string text = AsString(key);
            if (text.empty()) continue;
            const bool wide = TagValueKind(Values(key)) == TTagValueKind::tkWideString;
            // Narrow text that Latin-1 cannot hold also goes as UTF-8 when Unicode is allowed.
            if (Unicode && (wide || !tagtext::IsLatin1Text(text))) {
                body.push_back(3);
                body.insert(body.end(), text.begin(), text.end());
            } else {
                const std::string bytes = tagtext::Utf8ToLatin1(text);
                body.push_back(0);
                body.insert(body.end(), bytes.begin(), bytes.end());
            }
        }
        if (body.size() > kMaxSyncSafe) return {};
        const char* id = kId3v2Frames[static_cast<size_t>(i)].V23;
        frames.insert(frames.end(), id, id + 4);
        // The header says version 4, whose frame sizes are sync-safe (below 128 the same
        // bytes as a plain number).
        PutSyncSafe(frames, static_cast<uint32_t>(body.size()));
        frames.push_back(0);
        frames.push_back(0);
        frames.insert(frames.end(), body.begin(), body.end());
    }
    const size_t padding = 16 - (frames.size() + kHeaderSize) % 16;
    if (frames.size() + padding > kMaxSyncSafe) return {};

    std::vector<uint8_t> tag = {'I', 'D', '3', 4, 0, 0};
    tag.reserve(kHeaderSize + frames.size() + padding);
    PutSyncSafe(tag, static_cast<uint32_t>(frames.size() + padding));
    tag.insert(tag.end(), frames.begin(), frames.end());
    tag.insert(tag.end(), padding, 0);
    return tag;
}

bool TId3v2Tags::TagPresent(int Handle) {
    uint8_t bytes[kHeaderSize];
    TId3v2Header header;
    const int64_t at = tagio::Position(Handle);
    return at >= 0 && tagio::ReadAt(Handle, at, bytes, kHeaderSize) &&
           ParseId3v2Header(bytes, header);
}

bool TId3v2Tags::ReadFromFile(int Handle) {
    if (Handle < 0) return false;
    Clear();
    const int64_t start = tagio::Position(Handle);
    uint8_t bytes[kHeaderSize];
    TId3v2Header header;
    if (start < 0 || !tagio::ReadAt(Handle, start, bytes, kHeaderSize) ||
        !ParseId3v2Header(bytes, header))
        return false;
    SetVersion23(header.Version != 2);

    int64_t end = start + header.TotalSize();
    const int64_t fileSize = tagio::FileSize(Handle);
    // The tag size comes from the file: frames are read only when the whole tag is there.
    if (fileSize >= end) {
        const int64_t bodyAt = start + int64_t(kHeaderSize);
        ParseId3v2Frames(
            header,
            [Handle, bodyAt](int64_t Offset, uint8_t* Buffer, size_t Count) {
                return tagio::ReadAt(Handle, bodyAt + Offset, Buffer, Count);
            },
            [this](const std::string& Id, const TTagVariant& Value) { SetValues(Id, Value); });
    } else if (fileSize >= 0) {
        end = fileSize;
    }
    tagio::SetPosition(Handle, end);
    return true;
}

bool TId3v2Tags::WriteToFile(int Handle, bool Unicode) {
    if (Handle < 0) return false;
    const std::vector<uint8_t> tag = MakeTag(Unicode);
    if (tag.empty()) return false;
    // The old content is read back and written further on: that needs read and write
    // access, and positioned writes that append mode would send to the end instead.
    const int mode = fcntl(Handle, F_GETFL);
    if (mode < 0 || (mode & O_ACCMODE) != O_RDWR || (mode & O_APPEND)) return false;
    const int64_t oldSize = tagio::FileSize(Handle);
    const auto shift = static_cast<int64_t>(tag.size());
    if (oldSize < 0 || oldSize > std::numeric_limits<off_t>::max() - shift) return false;

    // Reserve the room first, so a full disk fails here with the file unchanged.
    if (posix_fallocate(Handle, static_cast<off_t>(oldSize), static_cast<off_t>(shift)) != 0) {
        if (tagio::FileSize(Handle) != oldSize)
            (void)ftruncate(Handle, static_cast<off_t>(oldSize));
        return false;
    }
    if (!MoveContentBack(Handle, oldSize, shift) ||
        !tagio::WriteAt(Handle, 0, tag.data(), tag.size()))
        return false;
    return tagio::SetPosition(Handle, oldSize + shift);
}

} // namespace sundral
