#include "platform/acm.h"

#include <algorithm>
#include <new>

#include "platform/acmMp3.h"

namespace sundral {

// One open conversion: the checked pair of formats and the headers prepared for it.
struct TAcmStream {
    uint32_t SampleRate = 0;
    uint32_t DstChannels = 0;
    uint32_t PreparedHeaders = 0;
};

namespace {

// Descriptions up to this size are accepted: the 30-byte Layer-3 description, with room
// for writers that append bytes of their own.
constexpr uint32_t kMaxFormatSize = 64;

// Sources past this length are refused before the size arithmetic could overflow.
constexpr uint64_t kMaxSourceLength = uint64_t{1} << 40;

struct TWaveFormat {
    uint16_t Tag = 0;
    uint16_t Channels = 0;
    uint32_t SampleRate = 0;
    uint32_t AvgBytesPerSec = 0;
    uint16_t BlockAlign = 0;
    uint16_t BitsPerSample = 0;
    uint16_t ExtraSize = 0;
};

uint16_t GetU16(const uint8_t* P) {
    return static_cast<uint16_t>(P[0] | P[1] << 8);
}
uint32_t GetU32(const uint8_t* P) {
    return P[0] | P[1] << 8 | P[2] << 16 | static_cast<uint32_t>(P[3]) << 24;
}
void PutU16(uint8_t* P, uint16_t V) {
    P[0] = static_cast<uint8_t>(V);
    P[1] = static_cast<uint8_t>(V >> 8);
}
void PutU32(uint8_t* P, uint32_t V) {
    for (int i = 0; i < 4; ++i) P[i] = static_cast<uint8_t>(V >> (8 * i));
}

TWaveFormat ReadFormat(const void* Data) {
    const auto* p = static_cast<const uint8_t*>(Data);
    TWaveFormat f;
    f.Tag = GetU16(p);
    f.Channels = GetU16(p + 2);
    f.SampleRate = GetU32(p + 4);
    f.AvgBytesPerSec = GetU32(p + 8);
    f.BlockAlign = GetU16(p + 12);
    f.BitsPerSample = GetU16(p + 14);
    f.ExtraSize = GetU16(p + 16);
    return f;
}

void WriteFormat(void* Data, const TWaveFormat& F) {
    auto* p = static_cast<uint8_t*>(Data);
    PutU16(p, F.Tag);
    PutU16(p + 2, F.Channels);
    PutU32(p + 4, F.SampleRate);
    PutU32(p + 8, F.AvgBytesPerSec);
    PutU16(p + 12, F.BlockAlign);
    PutU16(p + 14, F.BitsPerSample);
    PutU16(p + 16, F.ExtraSize);
}

// The Layer-3 driver reads one or two channels at an MPEG rate; the other fields of the
// description (bit rate, block size) only describe the stream and are not relied on.
bool IsReadableSource(const TWaveFormat& F) {
    return F.Tag == acmWaveFormatMPEGLayer3 && (F.Channels == 1 || F.Channels == 2) &&
           acm_mp3::IsMpegSampleRate(F.SampleRate);
}

TWaveFormat PcmFormat(uint16_t Channels, uint32_t SampleRate) {
    TWaveFormat f;
    f.Tag = acmWaveFormatPCM;
    f.Channels = Channels;
    f.SampleRate = SampleRate;
    f.BlockAlign = static_cast<uint16_t>(Channels * 2);
    f.AvgBytesPerSec = SampleRate * f.BlockAlign;
    f.BitsPerSample = 16;
    return f;
}

// The driver writes 16-bit PCM at the source's rate, in one or two channels.
bool IsWritableTarget(const TWaveFormat& Src, const TWaveFormat& Dst) {
    if (Dst.Tag != acmWaveFormatPCM || (Dst.Channels != 1 && Dst.Channels != 2)) return false;
    TWaveFormat want = PcmFormat(Dst.Channels, Src.SampleRate);
    return Dst.SampleRate == want.SampleRate && Dst.BitsPerSample == want.BitsPerSample &&
           Dst.BlockAlign == want.BlockAlign && Dst.AvgBytesPerSec == want.AvgBytesPerSec;
}

uint64_t BlockAlign(const TAcmStream* Stream) {
    return Stream->DstChannels * 2u;
}

bool CheckHeader(const TAcmStreamHeader* Header) {
    return Header && Header->StructSize == sizeof(TAcmStreamHeader);
}

} // namespace

TAcmResult acmMetrics(void* Obj, uint32_t Metric, void* Value) {
    if (!Value) return acmErrInvalidParam;
    if (Metric != acmMetricMaxSizeFormat) return acmErrNotPossible;
    if (Obj) return acmErrInvalidHandle;
    *static_cast<uint32_t*>(Value) = kMaxFormatSize;
    return acmOk;
}

TAcmResult acmFormatSuggest(TAcmDriverHandle Driver, const void* Src, void* Dst, uint32_t DstSize,
                            uint32_t Flags) {
    constexpr uint32_t kNown = acmFormatSuggestTag | acmFormatSuggestChannels |
                               acmFormatSuggestSampleRate | acmFormatSuggestBits;
    if (Driver) return acmErrInvalidHandle;
    if (Flags & ~kNown) return acmErrInvalidFlag;
    if (!Src || !Dst || DstSize < acmWaveFormatExSize) return acmErrInvalidParam;
    TWaveFormat src = ReadFormat(Src);
    if (src.Tag != acmWaveFormatMPEGLayer3) return acmErrNoDriver;
    if (!IsReadableSource(src)) return acmErrNotPossible;

    TWaveFormat asked = ReadFormat(Dst);
    if ((Flags & acmFormatSuggestTag) && asked.Tag != acmWaveFormatPCM) return acmErrNotPossible;
    uint16_t channels = src.Channels;
    if (Flags & acmFormatSuggestChannels) {
        if (asked.Channels != 1 && asked.Channels != 2) return acmErrNotPossible;
        channels = asked.Channels;
    }
    if ((Flags & acmFormatSuggestSampleRate) && asked.SampleRate != src.SampleRate)
        return acmErrNotPossible;
    if ((Flags & acmFormatSuggestBits) && asked.BitsPerSample != 16) return acmErrNotPossible;
    WriteFormat(Dst, PcmFormat(channels, src.SampleRate));
    return acmOk;
}

TAcmResult acmStreamOpen(TAcmStreamHandle* Stream, TAcmDriverHandle Driver, const void* Src,
                         const void* Dst, const void* Filter, uintptr_t Callback,
                         uintptr_t /*Instance*/, uint32_t Flags) {
    if (Stream) *Stream = nullptr;
    if (Flags & ~(acmStreamOpenQuery | acmStreamOpenNonRealtime)) return acmErrInvalidFlag;
    if (Driver) return acmErrInvalidHandle;
    if (!Src || !Dst || Callback != 0 || (!Stream && !(Flags & acmStreamOpenQuery)))
        return acmErrInvalidParam;
    TWaveFormat src = ReadFormat(Src);
    TWaveFormat dst = ReadFormat(Dst);
    if (src.Tag != acmWaveFormatMPEGLayer3) return acmErrNoDriver;
    if (Filter || !IsReadableSource(src) || !IsWritableTarget(src, dst)) return acmErrNotPossible;
    if (Flags & acmStreamOpenQuery) return acmOk;

    auto* s = new (std::nothrow) TAcmStream;
    if (!s) return acmErrNoMem;
    s->SampleRate = src.SampleRate;
    s->DstChannels = dst.Channels;
    *Stream = s;
    return acmOk;
}

TAcmResult acmStreamSize(TAcmStreamHandle Stream, uint64_t Input, uint64_t* Output,
                         uint32_t Flags) {
    if (!Stream) return acmErrInvalidHandle;
    if (!Output) return acmErrInvalidParam;
    *Output = 0;
    if (Flags == acmStreamSizeSource) {
        if (Input == 0 || Input > kMaxSourceLength) return acmErrNotPossible;
        *Output = acm_mp3::MaxSampleFrames(Input, Stream->SampleRate) * BlockAlign(Stream);
        return acmOk;
    }
    if (Flags != acmStreamSizeDestination) return acmErrInvalidFlag;
    // The longest source whose bound fits: the bound grows with the source length and yields
    // more than one sample frame per source byte, so the answer lies in [0, frames].
    uint64_t frames = Input / BlockAlign(Stream);
    uint64_t lo = 0, hi = std::min(frames, kMaxSourceLength);
    while (lo < hi) {
        uint64_t mid = lo + (hi - lo + 1) / 2;
        if (acm_mp3::MaxSampleFrames(mid, Stream->SampleRate) <= frames)
            lo = mid;
        else
            hi = mid - 1;
    }
    if (lo == 0) return acmErrNotPossible;
    *Output = lo;
    return acmOk;
}

TAcmResult acmStreamPrepareHeader(TAcmStreamHandle Stream, TAcmStreamHeader* Header,
                                  uint32_t Flags) {
    if (!Stream) return acmErrInvalidHandle;
    if (Flags != 0) return acmErrInvalidFlag;
    if (!CheckHeader(Header)) return acmErrInvalidParam;
    if ((!Header->Src && Header->SrcLength) || (!Header->Dst && Header->DstLength))
        return acmErrInvalidParam;
    if (Header->Status & acmHeaderPrepared) return acmErrBusy;
    Header->Status = acmHeaderPrepared;
    Header->Owner = Stream;
    ++Stream->PreparedHeaders;
    return acmOk;
}

TAcmResult acmStreamConvert(TAcmStreamHandle Stream, TAcmStreamHeader* Header, uint32_t Flags) {
    if (!Stream) return acmErrInvalidHandle;
    if (Flags & ~acmStreamConvertBlockAlign) return acmErrInvalidFlag;
    if (!CheckHeader(Header)) return acmErrInvalidParam;
    if (!(Header->Status & acmHeaderPrepared) || Header->Owner != Stream) return acmErrUnprepared;
    Header->Status &= ~acmHeaderDone;
    Header->SrcLengthUsed = 0;
    Header->DstLengthUsed = 0;
    acm_mp3::TMp3DecodeResult r =
        acm_mp3::Decode(Header->Src, Header->SrcLength, Stream->SampleRate, Stream->DstChannels,
                        Header->Dst, Header->DstLength);
    Header->SrcLengthUsed = r.SrcUsed;
    Header->DstLengthUsed = r.DstUsed;
    Header->Status |= acmHeaderDone;
    return r.Result;
}

TAcmResult acmStreamUnprepareHeader(TAcmStreamHandle Stream, TAcmStreamHeader* Header,
                                    uint32_t Flags) {
    if (!Stream) return acmErrInvalidHandle;
    if (Flags != 0) return acmErrInvalidFlag;
    if (!CheckHeader(Header)) return acmErrInvalidParam;
    if (!(Header->Status & acmHeaderPrepared) || Header->Owner != Stream) return acmErrUnprepared;
    Header->Status &= ~acmHeaderPrepared;
    Header->Owner = nullptr;
    --Stream->PreparedHeaders;
    return acmOk;
}

TAcmResult acmStreamClose(TAcmStreamHandle Stream, uint32_t Flags) {
    if (!Stream) return acmErrInvalidHandle;
    if (Flags != 0) return acmErrInvalidFlag;
    if (Stream->PreparedHeaders > 0) return acmErrBusy;
    delete Stream;
    return acmOk;
}

} // namespace sundral
