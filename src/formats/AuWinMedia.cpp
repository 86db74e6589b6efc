// TWMIn: the file-input steps on top of the reader record (AuWinMediaReader.cpp).
#include "formats/AuWinMedia.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/TextConv.h"

namespace sundral {

namespace {
// Seconds with three decimals.
std::string SecondsText(int64_t Samples, uint32_t Rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", Rate ? double(Samples) / Rate : 0.0);
    return text;
}
} // namespace

TWMIn::TWMIn(TComponent* AOwner) : TAuTaggedFileIn(AOwner) {}

TWMIn::~TWMIn() {
    CloseSource();
}

void TWMIn::OpenSource() {
    std::lock_guard guard(FFileLock);
    if (FOpenCount != 0) return;
    if (!FStreamAssigned && FWideFileName.empty()) throw EAuException("File name is not assigned");
    OpenOwnStream();
    wma_reader_open(FReader, FStream, FHighPrecision, ChannelRequest(FOutputChannels));
    FValid = FReader.HasAudio;
    FInvalidReason = !FReader.Reader ? FReader.Refusal
                     : !FValid       ? std::string("the file holds no audio stream")
                                     : std::string();
    if (!FReader.Reader) {
        // Nothing to read: the file is not held open for the next attempt.
        ReleaseOwnStream();
        return;
    }
    if (FReader.IsProtected) {
        wma_reader_close(FReader);
        ReleaseOwnStream();
        FValid = false;
        throw EAuException("File is protected");
    }
    FChannels = uint32_t(std::max(FReader.Channels, 0));
    FBitsPerSample = uint32_t(std::max(FReader.BitsPerSample, 0));
    FSampleRate = FReader.SampleRate;
    // The duration names the exact number of samples the reader delivers (a sample is
    // more than 200 units of 100 ns at every rate it offers).
    FTotalSamples = int64_t(std::llround(double(FReader.Duration) * FSampleRate / 1e7));
    FSize = FTotalSamples * FChannels * (FBitsPerSample / 8);
    FSeekable = true;

    FId3v2Tags.Clear();
    FCommonTags.Clear();
    const std::u16string artist = wma_reader_string(FReader, "Author");
    const std::u16string title = wma_reader_string(FReader, "Title");
    const std::u16string album = wma_reader_string(FReader, "WM/AlbumTitle");
    const std::u16string genre = wma_reader_string(FReader, "WM/Genre");
    const std::string track = Utf16ToUtf8(wma_reader_string(FReader, "WM/Track"));
    const std::string year = Utf16ToUtf8(wma_reader_string(FReader, "WM/Year"));
    FId3v2Tags.SetArtist(artist);
    FCommonTags.SetArtist(artist);
    FId3v2Tags.SetTitle(title);
    FCommonTags.SetTitle(title);
    FId3v2Tags.SetAlbum(album);
    FCommonTags.SetAlbum(album);
    FId3v2Tags.SetGenre(genre);
    FCommonTags.SetGenre(genre);
    FId3v2Tags.SetTrack(track);
    FCommonTags.SetTrack(track);
    FId3v2Tags.SetYear(year);
    FCommonTags.SetYear(year);
    FId3v2Tags.SetComment(wma_reader_string(FReader, "Copyright"));
    ++FOpenCount;
}

void TWMIn::CloseSource() {
    std::lock_guard guard(FFileLock);
    if (FOpenCount <= 0) return;
    wma_reader_close(FReader);
    FOpenCount = 0;
    ReleaseOwnStream();
}

uint32_t TWMIn::Bitrate() {
    OpenSource();
    std::lock_guard guard(FFileLock);
    return wma_reader_bitrate(FReader);
}

bool TWMIn::IsVBR() {
    OpenSource();
    std::lock_guard guard(FFileLock);
    return wma_reader_is_vbr(FReader);
}

std::string TWMIn::Codec() {
    OpenSource();
    std::lock_guard guard(FFileLock);
    return Utf16ToUtf8(wma_reader_string(FReader, "Codec"));
}

bool TWMIn::IsProtected() {
    OpenSource();
    return FReader.IsProtected;
}

TId3v2Tags& TWMIn::Id3v2Tags() {
    OpenSource();
    return FId3v2Tags;
}

TCommonTags& TWMIn::CommonTags() {
    OpenSource();
    return FCommonTags;
}

void TWMIn::Reopen() {
    std::lock_guard guard(FFileLock);
    if (FOpenCount == 0) return;
    CloseSource();
    OpenSource();
}

void TWMIn::SetHighPrecision(bool Value) {
    if (FBusy || FOutputChannels != TChannelsNumber::cnMonoOrStereo) return;
    if (Value == FHighPrecision) return;
    FHighPrecision = Value;
    Reopen();
}

void TWMIn::SetOutputChannels(TChannelsNumber Value) {
    if (FBusy || Value == FOutputChannels) return;
    if (Value != TChannelsNumber::cnMonoOrStereo) FHighPrecision = true;
    FOutputChannels = Value;
    Reopen();
}

void TWMIn::ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) {
    const int64_t size = FSize, position = FPosition;
    if (size > 0 && int64_t(Bytes) > size - position)
        Bytes = uint32_t(std::max<int64_t>(size - position, 0));
    // Whole frames only.
    if (FFrameSize > 0) Bytes -= Bytes % FFrameSize;
    std::lock_guard guard(FFileLock);
    if (Bytes == 0 || FOpenCount == 0) {
        Buffer = nullptr;
        Bytes = 0;
        return;
    }
    wma_reader_read(FReader, Buffer, Bytes);
    if (Bytes == 0 && size > 0 && position < size) {
        // The decoder ran out before the length announced: a run must not end as a success
        // with a short result.
        const int64_t missing = (size - position) / std::max<int64_t>(FFrameSize, 1);
        throw EAuException("The file ended " + std::to_string(missing) + " samples (" +
                           SecondsText(missing, FSampleRate) + " s) before its announced length");
    }
}

bool TWMIn::ReadDecoded(const std::function<bool(const wmf::TWmDecoded&)>& Take) {
    if (FBusy || FStartSample != 0 || FEndSample != -1 || FLoop) return false;
    Init();
    try {
        std::unique_lock guard(FFileLock);
        const bool can = FOpenCount != 0 && FReader.Reader && FBitsPerSample == 16;
        if (can) {
            int64_t taken = 0;
            const wmf::TWmResult r =
                FReader.Reader->ReadDecoded([&](const wmf::TWmDecoded& Decoded) {
                    taken += Decoded.Frames;
                    return Take(Decoded);
                });
            if (r != wmf::wmOk && taken < FTotalSamples) {
                const int64_t missing = FTotalSamples - taken;
                throw EAuException("The file ended " + std::to_string(missing) + " samples (" +
                                   SecondsText(missing, FSampleRate) +
                                   " s) before its announced length");
            }
        }
        guard.unlock();
        Flush();
        return can;
    } catch (...) {
        Flush();
        throw;
    }
}

bool TWMIn::SeekSource(int64_t& SampleNum) {
    if (!FBusy) return false;
    std::lock_guard guard(FFileLock);
    if (FOpenCount == 0 || FSampleRate == 0) return false;
    const uint64_t start = uint64_t(std::llround(double(SampleNum) * 1e7 / FSampleRate));
    return wma_reader_seek(FReader, start);
}

} // namespace sundral
