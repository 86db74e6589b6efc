// TMP3Out's tags: the ID3v1 block it appends itself and the ID3v2 step through TagLib.
#include <charconv>
#include <memory>
#include <optional>
#include <string_view>

#include "formats/AuMp3Out.h"
#include "formats/AuTagsId3v2.h"
#include "platform/TextConv.h"
#include "platform/taglibTags.h"

namespace sundral {

namespace {

constexpr const char* kErrTagsOpen = "Failed to write tags";
constexpr const char* kErrTagsSave = "Failed to save tags";

// A year or track text as a whole non-negative number; anything else (such as "3/12") sets
// nothing.
std::optional<unsigned> TagNumber(std::string_view Text) {
    while (!Text.empty() && Text.front() == ' ') Text.remove_prefix(1);
    while (!Text.empty() && Text.back() == ' ') Text.remove_suffix(1);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value);
    if (Text.empty() || error != std::errc() || end != Text.data() + Text.size()) return {};
    return value;
}

} // namespace

TId3v1Block TMP3Out::Id3v1Block() const {
    // The tag set's own block rule, with no track (the comment keeps all 30 bytes) and a year
    // only when it has four digits.
    TId3v1Tags tags;
    tags.Assign(FId3v1Tags);
    tags.SetTrack(0);
    if (tags.Year() < 1000 || tags.Year() > 9999) tags.SetYear(0);
    return tags.MakeBlock();
}

void TMP3Out::AppendId3v1() {
    const TId3v1Block block = Id3v1Block();
    if (FStream->Seek(0, TSeekOrigin::soEnd) < 0) throw EAuException(kErrWrite);
    WriteAll(block.data(), uint32_t(block.size()));
    WritePending();
}

void TMP3Out::WriteId3v2() {
    TTagLibFields fields;
    fields.Title = Utf16ToUtf8(FId3v2Tags.Title());
    fields.Artist = Utf16ToUtf8(FId3v2Tags.Artist());
    fields.Album = Utf16ToUtf8(FId3v2Tags.Album());
    fields.Genre = Utf16ToUtf8(FId3v2Tags.Genre());
    fields.Year = TagNumber(FId3v2Tags.Year());
    fields.Track = TagNumber(FId3v2Tags.Track());
    // The name the file was created under, byte for byte.
    switch (TagLibWriteTags(Utf16ToUtf8(FWideFileName), fields)) {
    case TTagLibResult::trSaved:
    case TTagLibResult::trNotLoaded: // without TagLib the file has no ID3v2 tag
        break;
    case TTagLibResult::trNotValid:
        throw EAuException(kErrTagsOpen);
    case TTagLibResult::trNotSaved:
        throw EAuException(kErrTagsSave);
    }
}

void TMP3Out::AppendId3v1AfterTags() {
    std::unique_ptr<TAuFileStream> file;
    try {
        file = std::make_unique<TAuFileStream>(FWideFileName, fmOpenReadWrite);
    } catch (const EAuException&) {
        throw EAuException(kErrWrite);
    }
    // The audio follows the ID3v2 tag TagLib put in front; whatever follows the audio (the
    // block TagLib wrote) gives way to the writer's own.
    uint8_t head[10];
    TId3v2Header header;
    const int64_t lead = file->ReadExact(head, sizeof head) && ParseId3v2Header(head, header)
                             ? header.TotalSize()
                             : 0;
    const int64_t end = lead + FAudioBytes;
    // The tag's size comes from the file: the audio must still lie whole behind it.
    if (file->Size() < end) throw EAuException(kErrWrite);
    file->SetSize(end);
    const TId3v1Block block = Id3v1Block();
    if (file->Size() != end || file->Seek(end, TSeekOrigin::soBeginning) != end ||
        !file->WriteExact(block.data(), int64_t(block.size())))
        throw EAuException(kErrWrite);
}

} // namespace sundral
