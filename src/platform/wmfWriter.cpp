#include "platform/wmfWriter.h"

#include <algorithm>
#include <cstring>

#include "platform/TextConv.h"
#include "platform/wmfWriterEncode.h"

namespace sundral::wmf {

namespace {

// Header attribute names and the container library's keys for them: the first four go into
// the container's content description, the others keep their names.
struct TAttributeKey {
    std::u16string_view Name;
    const char* Key;
};
constexpr TAttributeKey kAttributeKeys[] = {
    {u"Title", "title"},         {u"Author", "artist"},       {u"Copyright", "copyright"},
    {u"Description", "comment"}, {u"WM/AlbumTitle", "album"}, {u"WM/Genre", "genre"},
};

std::string LibraryKey(std::u16string_view Name) {
    for (const TAttributeKey& k : kAttributeKeys)
        if (k.Name == Name) return k.Key;
    return Utf16ToUtf8(Name);
}

bool AcceptablePcm(const TWmMediaType& Type) {
    const TWaveFormatEx& f = Type.Format;
    const uint16_t bits = f.BitsPerSample;
    return IsEqualGUID(Type.MajorType, WMMEDIATYPE_Audio) &&
           IsEqualGUID(Type.FormatType, WMFORMAT_WaveFormatEx) && f.FormatTag == 1 &&
           (bits == 8 || bits == 16 || bits == 24 || bits == 32) && f.Channels >= 1 &&
           f.Channels <= 8 && f.SamplesPerSec >= 1000 && f.SamplesPerSec <= 384000 &&
           f.BlockAlign == f.Channels * bits / 8;
}

} // namespace

// ---------------------------------------------------------------------------------------
// TWmWriterSink
// ---------------------------------------------------------------------------------------
TWmResult TWmWriterSink::RegisterCallback(std::shared_ptr<IWmStatusCallback> Callback,
                                          void* Context) {
    if (!Callback) return wmErrInvalidArg;
    std::lock_guard guard(FLock);
    FCallbacks.emplace_back(std::move(Callback), Context);
    return wmOk;
}

TWmResult TWmWriterSink::UnregisterCallback(const IWmStatusCallback* Callback) {
    std::lock_guard guard(FLock);
    auto it = std::find_if(FCallbacks.begin(), FCallbacks.end(),
                           [&](const auto& C) { return C.first.get() == Callback; });
    if (it == FCallbacks.end()) return wmErrInvalidArg;
    FCallbacks.erase(it);
    return wmOk;
}

void TWmWriterSink::ReportStatus(TWmStatus Status, TWmResult Result) {
    // Called without the lock held, so a callback may unregister itself.
    decltype(FCallbacks) callbacks;
    {
        std::lock_guard guard(FLock);
        callbacks = FCallbacks;
    }
    for (const auto& [callback, context] : callbacks)
        callback->OnStatus(Status, Result, TWmAttrType::wmtDword, nullptr, context);
}

// ---------------------------------------------------------------------------------------
// TWmWriter
// ---------------------------------------------------------------------------------------
TWmResult WMCreateWriter(std::unique_ptr<TWmWriter>& Writer) {
    if (!RuntimeStarted()) return wmErrNotStarted;
    Writer = std::make_unique<TWmWriter>();
    return wmOk;
}

TWmWriter::TWmWriter() = default;
TWmWriter::~TWmWriter() = default;

TWmResult TWmWriter::SetProfile(const TWmProfile& Profile) {
    if (Writing()) return wmErrInvalidState;
    // One audio stream: what the encoder side can produce.
    if (Profile.Streams().size() != 1) return wmErrInvalidArg;
    FStreams = Profile.Streams();
    const TWmCodecFormat& f = FStreams[0].Format();
    FInputType = {};
    FInputType.MajorType = WMMEDIATYPE_Audio;
    FInputType.SubType = WMMEDIASUBTYPE_PCM;
    FInputType.FormatType = WMFORMAT_WaveFormatEx;
    FInputType.FixedSizeSamples = true;
    FInputType.Format = {
        1,  f.Channels, f.SampleRate, f.SampleRate * f.Channels * 2, uint16_t(f.Channels * 2),
        16, 0};
    FInputType.SampleSize = FInputType.Format.BlockAlign;
    FInputAccepted = true;
    return wmOk;
}

TWmResult TWmWriter::GetInputCount(uint32_t& Count) const {
    Count = uint32_t(FStreams.size());
    return wmOk;
}

TWmResult TWmWriter::GetInputProps(uint32_t Input, std::unique_ptr<TWmInputProps>& Props) const {
    if (Input >= FStreams.size()) return wmErrInvalidArg;
    Props = std::make_unique<TWmInputProps>(FInputType);
    return wmOk;
}

TWmResult TWmWriter::SetInputProps(uint32_t Input, const TWmInputProps& Props) {
    if (Input >= FStreams.size() || Writing()) return wmErrInvalidArg;
    TWmMediaType type;
    Props.GetMediaType(type);
    FInputAccepted = AcceptablePcm(type);
    if (!FInputAccepted) return wmErrInvalidArg;
    FInputType = type;
    return wmOk;
}

TWmResult TWmWriter::SetAttribute(uint16_t Stream, std::u16string_view Name, TWmAttrType Type,
                                  const uint8_t* Value, uint16_t Length) {
    if (Stream != 0 || Name.empty() || Writing()) return wmErrInvalidArg;
    if (Value == nullptr && Length > 0) return wmErrInvalidArg;
    std::string text;
    switch (Type) {
    case TWmAttrType::wmtString: {
        std::u16string wide(Length / 2, u'\0');
        if (!wide.empty()) std::memcpy(wide.data(), Value, wide.size() * 2);
        wide.erase(std::find(wide.begin(), wide.end(), u'\0'), wide.end());
        text = Utf16ToUtf8(wide);
        break;
    }
    case TWmAttrType::wmtDword:
    case TWmAttrType::wmtBool:
    case TWmAttrType::wmtWord:
    case TWmAttrType::wmtQword: {
        // The length is the caller's; read no more than it says and than a 64-bit value.
        uint64_t v = 0;
        std::memcpy(&v, Value, std::min<size_t>(Length, 8));
        text = std::to_string(v);
        break;
    }
    default:
        return wmErrInvalidArg;
    }
    const std::string key = LibraryKey(Name);
    auto it = std::find_if(FMetadata.begin(), FMetadata.end(),
                           [&](const auto& M) { return M.first == key; });
    if (it != FMetadata.end())
        it->second = text;
    else
        FMetadata.emplace_back(key, text);
    return wmOk;
}

TWmResult TWmWriter::AddSink(std::shared_ptr<TWmWriterSink> Sink) {
    if (!Sink || Writing()) return wmErrInvalidArg;
    FSinks.push_back(std::move(Sink));
    return wmOk;
}

TWmResult TWmWriter::RemoveSink(const TWmWriterSink* Sink) {
    if (Writing()) return wmErrInvalidState;
    auto it =
        std::find_if(FSinks.begin(), FSinks.end(), [&](const auto& S) { return S.get() == Sink; });
    if (it == FSinks.end()) return wmErrInvalidArg;
    FSinks.erase(it);
    return wmOk;
}

void TWmWriter::ReportToSinks(TWmStatus Status, TWmResult Result) {
    for (const auto& sink : FSinks) sink->ReportStatus(Status, Result);
}

TWmResult TWmWriter::BeginWriting() {
    if (Writing() || FStreams.empty() || !FInputAccepted || FSinks.empty())
        return wmErrInvalidState;
    TWmEncodeSettings settings;
    settings.Codec = FStreams[0].Codec();
    settings.Format = FStreams[0].Format();
    settings.Input = FInputType.Format;
    settings.Metadata = FMetadata;
    for (const auto& sink : FSinks) {
        const TWmResult r = sink->OnBeginWriting();
        if (r != wmOk) return r;
        settings.Sinks.push_back(sink.get());
    }
    auto pipe = std::make_unique<TWmEncodePipe>();
    TWmStatus status = TWmStatus::wmsError;
    const TWmResult r = pipe->Open(settings, status);
    if (r != wmOk) {
        ReportToSinks(status, r);
        for (const auto& sink : FSinks) sink->OnEndWriting();
        return r;
    }
    FPipe = std::move(pipe);
    FLastTime = 0;
    return wmOk;
}

TWmResult TWmWriter::AllocateSample(uint32_t Size, std::unique_ptr<TWmSampleBuffer>& Sample) const {
    Sample = std::make_unique<TWmSampleBuffer>(Size);
    return wmOk;
}

TWmResult TWmWriter::WriteSample(uint32_t Input, uint64_t SampleTime, uint32_t Flags,
                                 TWmSampleBuffer& Sample) {
    if (!Writing()) return wmErrInvalidState;
    if (Input >= FStreams.size() || Flags != 0 || SampleTime < FLastTime) return wmErrInvalidArg;
    FLastTime = SampleTime;
    uint8_t* data = nullptr;
    uint32_t length = 0;
    Sample.GetBufferAndLength(data, length);
    // Only whole frames of the input type are taken.
    if (length % FInputType.Format.BlockAlign != 0) return wmErrInvalidArg;
    TWmStatus status = TWmStatus::wmsError;
    const TWmResult r = FPipe->Write(data, length, status);
    if (r != wmOk) ReportToSinks(status, r);
    return r;
}

TWmResult TWmWriter::EndWriting() {
    if (!Writing()) return wmErrInvalidState;
    TWmStatus status = TWmStatus::wmsError;
    TWmResult r = FPipe->Finish(status);
    if (r != wmOk) ReportToSinks(status, r);
    FPipe.reset();
    for (const auto& sink : FSinks) {
        const TWmResult s = sink->OnEndWriting();
        if (r == wmOk) r = s;
    }
    return r;
}

} // namespace sundral::wmf
