// The stream adapter and the reader record's routines.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "formats/AuWinMedia.h"

namespace sundral {

using namespace wmf;

int ChannelRequest(TChannelsNumber Value) {
    switch (Value) {
    case TChannelsNumber::cnMaxAvailable:
        return -1;
    case TChannelsNumber::cnMonoOrStereo:
        return 0;
    case TChannelsNumber::cn5dot1:
        return 6;
    case TChannelsNumber::cn7dot1:
        return 8;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// TAudioStream
// ---------------------------------------------------------------------------------------
TWmResult TAudioStream::Read(void* Buffer, uint32_t Count, uint32_t* Done) {
    const int64_t got = std::max<int64_t>(FStream->Read(Buffer, Count), 0);
    if (Done) *Done = uint32_t(got);
    return got > 0 ? wmOk : kNotSupported;
}

TWmResult TAudioStream::Write(const void* Buffer, uint32_t Count, uint32_t* Done) {
    const int64_t put = std::max<int64_t>(FStream->Write(Buffer, Count), 0);
    if (Done) *Done = uint32_t(put);
    return put > 0 ? wmOk : kNotSupported;
}

TWmResult TAudioStream::Seek(int64_t Move, uint32_t Origin, uint64_t* NewPosition) {
    const TSeekOrigin origin = Origin == 1   ? TSeekOrigin::soCurrent
                               : Origin == 2 ? TSeekOrigin::soEnd
                                             : TSeekOrigin::soBeginning;
    const int64_t at = FStream->Seek(Move, origin);
    if (at < 0) return kNotSupported;
    if (NewPosition) *NewPosition = uint64_t(at);
    return wmOk;
}

TWmResult TAudioStream::SetSize(uint64_t NewSize) {
    FStream->Seek(int64_t(NewSize), TSeekOrigin::soBeginning);
    return wmOk;
}

TWmResult TAudioStream::Stat(uint64_t& Size) {
    Size = uint64_t(std::max<int64_t>(FStream->Size(), 0));
    return wmOk;
}

// ---------------------------------------------------------------------------------------
// The reader record
// ---------------------------------------------------------------------------------------
namespace {

bool IsPcm(const TWmMediaType& Type) {
    return IsEqualGUID(Type.FormatType, WMFORMAT_WaveFormatEx);
}

void ChooseFormat(wma_sync_reader& R, uint32_t Output, bool HighPrecision, int Request) {
    TWmSyncReader& reader = *R.Reader;
    TWmMediaType current;
    if (reader.GetOutputProps(Output, current) != wmOk) return;
    if (!IsEqualGUID(current.MajorType, WMMEDIATYPE_Audio)) return;
    const int32_t discrete = HighPrecision ? -1 : 0;
    reader.SetOutputSetting(Output, g_wszEnableDiscreteOutput, TWmAttrType::wmtBool,
                            reinterpret_cast<const uint8_t*>(&discrete), 4);
    if (Request > 2) {
        const int32_t speakers = Request;
        reader.SetOutputSetting(Output, g_wszSpeakerConfig, TWmAttrType::wmtDword,
                                reinterpret_cast<const uint8_t*>(&speakers), 4);
    }
    uint32_t count = 0;
    if (reader.GetOutputFormatCount(Output, count) != wmOk) return;
    // With request 0 the decoder's own rate and channels stay; only the depth is chosen.
    const uint32_t ownRate = current.Format.SamplesPerSec;
    const uint32_t ownChannels = current.Format.Channels;
    uint32_t bestChannels = 0, bestRate = 0, bestBits = 0;
    for (uint32_t i = 0; i < count; ++i) {
        TWmMediaType t;
        if (reader.GetOutputFormat(Output, i, t) != wmOk || !IsPcm(t)) continue;
        const TWaveFormatEx& w = t.Format;
        bool accept;
        if (Request == 0)
            accept = w.BitsPerSample >= bestBits && w.SamplesPerSec == ownRate &&
                     w.Channels == ownChannels;
        else if (Request < 0)
            accept = w.Channels >= bestChannels && w.SamplesPerSec >= bestRate &&
                     w.BitsPerSample >= bestBits;
        else
            accept = w.Channels == Request;
        if (!accept) continue;
        if (reader.SetOutputProps(Output, t) != wmOk) continue;
        R.HasAudio = true;
        R.OutputNumber = Output;
        bestChannels = w.Channels;
        bestRate = w.SamplesPerSec;
        bestBits = w.BitsPerSample;
        R.Channels = int32_t(w.Channels);
        R.SampleRate = w.SamplesPerSec;
        R.BitsPerSample = int32_t(w.BitsPerSample);
    }
}

uint32_t ReadScalar(wma_sync_reader& R, const char* Name, uint16_t Size) {
    if (!R.HeaderInfo) return 0;
    uint16_t stream = 0, length = Size;
    TWmAttrType type;
    uint8_t value[8] = {};
    if (R.HeaderInfo->GetAttributeByName(stream, Name, type, value, length) != wmOk) return 0;
    uint32_t v;
    std::memcpy(&v, value, 4);
    return v;
}

} // namespace

void wma_reader_open(wma_sync_reader& R, TStream* Stream, bool HighPrecision, int Request) {
    R = wma_sync_reader{};
    if (WMCreateSyncReader(R.Reader) != wmOk) {
        R.Refusal = RuntimeFailure();
        return;
    }
    R.Adapter = std::make_shared<TAudioStream>(Stream);
    if (R.Reader->OpenStream(R.Adapter) != wmOk) {
        // The first attempt's reason is the one that tells about the file.
        const std::string reason = R.Reader->RefusalReason();
        R.Adapter->Seek(30, 0, nullptr);
        if (R.Reader->OpenStream(R.Adapter) != wmOk) {
            R.Reader.reset();
            R.Refusal = reason;
            return;
        }
    }
    uint32_t outputs = 0;
    if (R.Reader->GetOutputCount(outputs) != wmOk) {
        R.Reader.reset();
        return;
    }
    for (uint32_t i = 0; i < outputs; ++i) ChooseFormat(R, i, HighPrecision, Request);
    if (!R.HasAudio) return;
    R.Reader->GetStreamNumberForOutput(R.OutputNumber, R.StreamNumber);
    R.IsProtected = R.Reader->SetReadStreamSamples(R.StreamNumber, false) == wmErrProtected;
    R.HeaderInfo = R.Reader.get();
    uint16_t stream = 0, length = 8;
    TWmAttrType type;
    uint64_t duration = 0;
    if (R.HeaderInfo->GetAttributeByName(stream, "Duration", type,
                                         reinterpret_cast<uint8_t*>(&duration), length) == wmOk)
        R.Duration = duration;
}

uint32_t wma_reader_bitrate(wma_sync_reader& R) {
    return ReadScalar(R, "Bitrate", 4);
}

bool wma_reader_is_vbr(wma_sync_reader& R) {
    return ReadScalar(R, "IsVBR", 4) != 0;
}

std::u16string wma_reader_string(wma_sync_reader& R, const std::string& Name) {
    if (!R.HeaderInfo) return {};
    uint16_t stream = 0, length = 0;
    TWmAttrType type;
    if (R.HeaderInfo->GetAttributeByName(stream, Name, type, nullptr, length) != wmOk ||
        length == 0)
        return {};
    std::vector<uint8_t> bytes(length);
    if (R.HeaderInfo->GetAttributeByName(stream, Name, type, bytes.data(), length) != wmOk)
        return {};
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t c = char16_t(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0) break;
        text.push_back(c);
    }
    return text;
}

void wma_reader_read(wma_sync_reader& R, const uint8_t*& Buffer, uint32_t& Bytes) {
    while (R.Reader) {
        if (R.Sample) {
            const uint8_t* data = nullptr;
            uint32_t length = 0;
            R.Sample->GetBufferAndLength(data, length);
            if (R.SampleOffset < length) {
                Bytes = std::min(Bytes, length - R.SampleOffset);
                Buffer = data + R.SampleOffset;
                R.SampleOffset += Bytes;
                return;
            }
            R.Sample = nullptr;
            R.SampleOffset = 0;
        }
        uint64_t time = 0, duration = 0;
        if (R.Reader->GetNextSample(R.StreamNumber, R.Sample, time, duration) != wmOk) break;
    }
    R.Sample = nullptr;
    Buffer = nullptr;
    Bytes = 0;
}

bool wma_reader_seek(wma_sync_reader& R, uint64_t Start) {
    if (!R.Reader) return false;
    // What is left of a sample decoded before the seek belongs to the old place.
    R.Sample = nullptr;
    R.SampleOffset = 0;
    return R.Reader->SetRange(Start, 0) == wmOk;
}

void wma_reader_close(wma_sync_reader& R) {
    if (R.Reader) R.Reader->Close();
    R = wma_sync_reader{};
}

} // namespace sundral
