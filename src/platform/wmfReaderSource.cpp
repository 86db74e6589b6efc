#include "platform/wmfReaderSource.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include "platform/TextConv.h"
#include "platform/mediaLibs.h"

namespace sundral::wmf::detail {

namespace {

constexpr int kAvioBuffer = 32768;
constexpr size_t kReadWindow = 1 << 16;

// Tag texts come as UTF-8 from ID3v2 and ASF; ID3v1 bytes are passed on as stored, which
// for most files is Latin-1: text that is not valid UTF-8 is read as Latin-1.
bool ValidUtf8(const std::string& Text) {
    size_t i = 0;
    while (i < Text.size()) {
        const uint8_t c = uint8_t(Text[i]);
        const size_t len = c < 0x80         ? 1
                           : (c >> 5) == 6  ? 2
                           : (c >> 4) == 14 ? 3
                           : (c >> 3) == 30 ? 4
                                            : 0;
        if (len == 0 || i + len > Text.size()) return false;
        for (size_t k = 1; k < len; ++k)
            if ((uint8_t(Text[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

std::u16string TagText(const char* Value) {
    std::string text(Value);
    if (ValidUtf8(text)) return Utf8ToUtf16(text);
    std::u16string wide;
    for (char c : text) wide.push_back(char16_t(uint8_t(c)));
    return wide;
}

} // namespace

size_t TStreamIo::ReadAt(int64_t Offset, uint8_t* Buffer, size_t Count) {
    if (Offset < 0 || Offset >= FSize) return 0;
    Count = size_t(std::min<int64_t>(int64_t(Count), FSize - Offset));
    if (Count <= kReadWindow / 4) {
        const auto inWindow = [&] {
            return Offset >= FWindowAt &&
                   Offset + int64_t(Count) <= FWindowAt + int64_t(FWindow.size());
        };
        if (!inWindow()) {
            FWindow.resize(kReadWindow);
            FWindow.resize(ReadThrough(Offset, FWindow.data(), kReadWindow));
            FWindowAt = Offset;
        }
        if (inWindow()) {
            std::memcpy(Buffer, FWindow.data() + (Offset - FWindowAt), Count);
            return Count;
        }
    }
    return ReadThrough(Offset, Buffer, Count);
}

size_t TStreamIo::ReadThrough(int64_t Offset, uint8_t* Buffer, size_t Count) {
    Count = size_t(std::min<int64_t>(int64_t(Count), FSize - Offset));
    if (FStream->Seek(FBase + Offset, 0, nullptr) != wmOk) return 0;
    size_t done = 0;
    while (done < Count) {
        uint32_t got = 0;
        const uint32_t ask = uint32_t(std::min<size_t>(Count - done, 1u << 30));
        if (FStream->Read(Buffer + done, ask, &got) != wmOk || got == 0) break;
        done += std::min<size_t>(got, ask);
    }
    return done;
}

int TStreamIo::ReadPacket(void* Opaque, uint8_t* Buffer, int Size) {
    auto* io = static_cast<TStreamIo*>(Opaque);
    const size_t got = io->ReadAt(io->FAvioPos, Buffer, size_t(std::max(Size, 0)));
    if (got == 0) return AVERROR_EOF;
    io->FAvioPos += int64_t(got);
    return int(got);
}

int64_t TStreamIo::SeekPacket(void* Opaque, int64_t Offset, int Whence) {
    auto* io = static_cast<TStreamIo*>(Opaque);
    if (Whence & AVSEEK_SIZE) return io->FSize;
    int64_t target;
    switch (Whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
        target = Offset;
        break;
    case SEEK_CUR:
        target = io->FAvioPos + Offset;
        break;
    case SEEK_END:
        target = io->FSize + Offset;
        break;
    default:
        return -1;
    }
    if (target < 0) return -1;
    io->FAvioPos = target;
    return target;
}

AVIOContext* TStreamIo::MakeAvio() {
    auto* buffer = static_cast<uint8_t*>(ff::av_malloc(kAvioBuffer));
    if (!buffer) return nullptr;
    FAvioPos = 0;
    AVIOContext* avio =
        ff::avio_alloc_context(buffer, kAvioBuffer, 0, this, &ReadPacket, nullptr, &SeekPacket);
    if (!avio) ff::av_free(buffer);
    return avio;
}

void TStreamIo::FreeAvio(AVIOContext*& Avio) {
    if (!Avio) return;
    ff::av_freep(&Avio->buffer);
    ff::avio_context_free(&Avio);
}

void MetadataToAttributes(const AVDictionary* Metadata,
                          std::map<std::string, std::u16string>& Strings) {
    // Attribute name, then the container library's keys for it in order of preference.
    static const char* const kMap[][3] = {
        {"Title", "title", nullptr},         {"Author", "artist", "author"},
        {"WM/AlbumTitle", "album", nullptr}, {"WM/Genre", "genre", nullptr},
        {"WM/Track", "track", nullptr},      {"WM/TrackNumber", "track", nullptr},
        {"WM/Year", "date", "year"},         {"Copyright", "copyright", nullptr},
        {"Description", "comment", nullptr},
    };
    for (const auto& m : kMap) {
        for (int k = 1; k < 3 && m[k]; ++k) {
            const AVDictionaryEntry* e = ff::av_dict_get(Metadata, m[k], nullptr, 0);
            if (e && e->value && *e->value) {
                Strings[m[0]] = TagText(e->value);
                break;
            }
        }
    }
}

} // namespace sundral::wmf::detail
