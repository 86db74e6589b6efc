#include "formats/AuWinMediaOutRecord.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "audio/AuComponent.h"
#include "platform/TextConv.h"

namespace sundral {

using namespace wmf;

namespace {

constexpr char16_t kStreamName[] = u"SundralAudioStream";
constexpr char16_t kConnectionName[] = u"SundralAudioConnection";
constexpr char16_t kVbrEnabled[] = u"_VBRENABLED";
constexpr char16_t kVbrQuality[] = u"_VBRQUALITY";

// |A - B| with the difference taken as a signed 32-bit value.
int64_t Diff32(uint32_t A, uint32_t B) {
    return std::llabs(int64_t(int32_t(A - B)));
}

bool EnableVbr(TWmProfileManager& Manager, uint32_t Codec, bool Value) {
    const uint32_t flag = Value ? 1 : 0;
    return Manager.SetCodecEnumerationSetting(WMMEDIATYPE_Audio, Codec, kVbrEnabled,
                                              TWmAttrType::wmtBool,
                                              reinterpret_cast<const uint8_t*>(&flag), 4) == wmOk;
}

std::string NarrowUpToNull(const std::vector<char16_t>& Text) {
    std::u16string wide(Text.data());
    return Utf16ToUtf8(wide);
}

void ConfigureInput(wma_writer& R, uint32_t Channels, uint32_t SampleRate, uint32_t Bits) {
    uint32_t count = 0;
    R.Writer->GetInputCount(count);
    for (uint32_t i = 0; i < count; ++i) {
        std::unique_ptr<TWmInputProps> props;
        if (R.Writer->GetInputProps(i, props) != wmOk) continue;
        TWmMediaType type;
        props->GetMediaType(type);
        if (!IsEqualGUID(type.MajorType, WMMEDIATYPE_Audio) ||
            !IsEqualGUID(type.FormatType, WMFORMAT_WaveFormatEx))
            continue;
        TWaveFormatEx& f = type.Format;
        type.SubType = WMMEDIASUBTYPE_PCM;
        f.FormatTag = 1;
        f.Channels = uint16_t(Channels);
        f.SamplesPerSec = SampleRate;
        f.BitsPerSample = uint16_t(Bits);
        f.BlockAlign = uint16_t(Bits * Channels / 8);
        f.AvgBytesPerSec = f.BlockAlign * SampleRate;
        type.SampleSize = f.BlockAlign;
        R.InputNumber = i;
        R.BytesPerSecond = f.AvgBytesPerSec;
        props->SetMediaType(type);
        R.Writer->SetInputProps(i, *props);
        return;
    }
}

// Steps shared by both setups once a configuration is chosen.
void UseConfiguration(wma_writer& R, TWmProfile& Profile, TWmStreamConfig& Config,
                      uint32_t Channels, uint32_t Bits, uint32_t SampleRate) {
    Config.SetStreamNumber(1);
    Config.SetStreamName(kStreamName);
    Config.SetConnectionName(kConnectionName);
    if (Profile.AddStream(Config) != wmOk) throw EAuException("fff");
    R.Writer->SetProfile(Profile);
    ConfigureInput(R, Channels, SampleRate, Bits);
}

} // namespace

// ---------------------------------------------------------------------------------------
// Callbacks
// ---------------------------------------------------------------------------------------
TWmResult TWMErrorCallback::OnStatus(TWmStatus Status, TWmResult, TWmAttrType, const uint8_t*,
                                     void*) {
    switch (Status) {
    case TWmStatus::wmsError:
    case TWmStatus::wmsMissingCodec:
    case TWmStatus::wmsEncodeFailed:
    case TWmStatus::wmsContainerFailed:
        if (FRecord->ErrorProc) FRecord->ErrorProc(FRecord->Owner);
        break;
    default:
        break;
    }
    return wmOk;
}

TWmResult TWMStatusCallback::OnStatus(TWmStatus Status, TWmResult, TWmAttrType, const uint8_t*,
                                      void*) {
    if (Status == TWmStatus::wmsClientConnect && FRecord->ClientConnected)
        FRecord->ClientConnected(FRecord->Owner);
    if (Status == TWmStatus::wmsClientDisconnect && FRecord->ClientDisconnected)
        FRecord->ClientDisconnected(FRecord->Owner);
    return wmOk;
}

// ---------------------------------------------------------------------------------------
// Listing
// ---------------------------------------------------------------------------------------
std::vector<std::string> WmaListCodecs() {
    std::vector<std::string> names;
    std::unique_ptr<TWmProfileManager> manager;
    if (WMCreateProfileManager(manager) != wmOk) return names;
    uint32_t count = 0;
    manager->GetCodecInfoCount(WMMEDIATYPE_Audio, count);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t length = 0;
        if (manager->GetCodecName(WMMEDIATYPE_Audio, i, nullptr, length) != wmOk) continue;
        std::vector<char16_t> name(length + 1, u'\0');
        if (manager->GetCodecName(WMMEDIATYPE_Audio, i, name.data(), length) != wmOk) continue;
        names.push_back(NarrowUpToNull(name));
    }
    return names;
}

std::vector<std::string> WmaListFormats(uint32_t Codec, bool Vbr) {
    std::vector<std::string> list;
    std::unique_ptr<TWmProfileManager> manager;
    if (WMCreateProfileManager(manager) != wmOk) return list;
    if (Vbr && !EnableVbr(*manager, Codec, true)) return list;
    uint32_t count = 0;
    if (manager->GetCodecFormatCount(WMMEDIATYPE_Audio, Codec, count) != wmOk) return list;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t length = 0;
        if (manager->GetCodecFormatDesc(WMMEDIATYPE_Audio, Codec, i, nullptr, nullptr, length) !=
            wmOk)
            break;
        std::vector<char16_t> desc(length + 1, u'\0');
        manager->GetCodecFormatDesc(WMMEDIATYPE_Audio, Codec, i, nullptr, desc.data(), length);
        list.push_back(NarrowUpToNull(desc));
    }
    return list;
}

// ---------------------------------------------------------------------------------------
// Writer set-up
// ---------------------------------------------------------------------------------------
void WmaSetupFileWriter(wma_writer& R, const std::u16string& FileName, TComponent* Owner,
                        std::function<void(TComponent*)> ErrorProc) {
    R = wma_writer{};
    R.Owner = Owner;
    R.ErrorProc = std::move(ErrorProc);
    if (WMCreateWriterFileSink(R.FileSink) != wmOk) return;
    if (WMCreateWriter(R.Writer) != wmOk) {
        R.FileSink.reset();
        return;
    }
    R.Writer->AddSink(R.FileSink);
    if (R.FileSink->Open(FileName) != wmOk) {
        R.Writer.reset();
        R.FileSink.reset();
        return;
    }
    R.ErrorCallback = std::make_shared<TWMErrorCallback>(&R);
    R.FileSink->RegisterCallback(R.ErrorCallback, nullptr);
    R.Ready = true;
}

void WmaSetupStreamWriter(wma_writer& R, uint32_t Port, uint32_t MaxClients,
                          const std::string& Address, TComponent* Owner,
                          std::function<void(TComponent*)> Connected,
                          std::function<void(TComponent*)> Disconnected) {
    R = wma_writer{};
    R.Owner = Owner;
    R.ClientConnected = std::move(Connected);
    R.ClientDisconnected = std::move(Disconnected);
    if (WMCreateWriterNetworkSink(R.NetworkSink) != wmOk) return;
    if (WMCreateWriter(R.Writer) != wmOk) {
        R.NetworkSink.reset();
        return;
    }
    R.NetworkSink->SetNetworkProtocol(0);
    if (!Address.empty()) R.NetworkSink->SetListenAddress(Address);
    if (R.NetworkSink->Open(Port) != wmOk) {
        R.Writer.reset();
        R.NetworkSink.reset();
        return;
    }
    if (MaxClients != 0) R.NetworkSink->SetMaximumClients(MaxClients);
    if (R.Writer->AddSink(R.NetworkSink) != wmOk) {
        R.Writer.reset();
        R.NetworkSink.reset(); // closes it
        return;
    }
    R.StatusCallback = std::make_shared<TWMStatusCallback>(&R);
    R.NetworkSink->RegisterCallback(R.StatusCallback, nullptr);
    R.Ready = true;
}

void WmaSetupExplicit(wma_writer& R, uint32_t Channels, uint32_t Bits, int32_t Codec,
                      int32_t Format, bool Vbr, uint32_t SampleRate) {
    std::unique_ptr<TWmProfileManager> manager;
    std::unique_ptr<TWmProfile> profile;
    if (WMCreateProfileManager(manager) != wmOk ||
        manager->CreateEmptyProfile(kWmProfileVersion, profile) != wmOk)
        return;
    uint32_t codecs = 0;
    manager->GetCodecInfoCount(WMMEDIATYPE_Audio, codecs);
    // Both indices come from the caller; an unknown one leaves the writer without a profile.
    if (Codec < 0 || uint32_t(Codec) >= codecs || Format < 0) return;
    if (Vbr && !EnableVbr(*manager, uint32_t(Codec), true)) return;
    std::unique_ptr<TWmStreamConfig> config;
    if (manager->GetCodecFormat(WMMEDIATYPE_Audio, uint32_t(Codec), uint32_t(Format), config) !=
        wmOk)
        return;
    UseConfiguration(R, *profile, *config, Channels, Bits, SampleRate);
}

std::unique_ptr<TWmStreamConfig> WmaFindFormat(TWmProfileManager& Manager,
                                               const TWaveFormatEx& Wanted, uint32_t WantedValue,
                                               bool Vbr, bool Lossless) {
    std::unique_ptr<TWmStreamConfig> result;
    uint32_t bestQuality = 0, bestBitrate = 0, bestRate = 0;
    uint32_t codecs = 0;
    Manager.GetCodecInfoCount(WMMEDIATYPE_Audio, codecs);
    for (uint32_t codec = 0; codec < codecs; ++codec) {
        if ((Vbr || Lossless) && !EnableVbr(Manager, codec, true)) continue;
        for (uint32_t index = 0;; ++index) {
            std::unique_ptr<TWmStreamConfig> config;
            if (Manager.GetCodecFormat(WMMEDIATYPE_Audio, codec, index, config) != wmOk) break;
            TWmMediaType type;
            if (config->GetMediaType(type) != wmOk ||
                !IsEqualGUID(type.FormatType, WMFORMAT_WaveFormatEx))
                continue;
            const TWaveFormatEx& f = type.Format;
            const bool matches =
                f.Channels == Wanted.Channels && f.BitsPerSample == Wanted.BitsPerSample;
            const int64_t rateDiff = Diff32(f.SamplesPerSec, Wanted.SamplesPerSec);
            const int64_t bestRateDiff = Diff32(bestRate, Wanted.SamplesPerSec);
            const bool closerRate = matches && rateDiff < bestRateDiff;
            uint32_t bitrate = 0;
            config->GetBitrate(bitrate);
            bool candidate;
            if (Lossless) {
                candidate = IsEqualGUID(type.SubType, WMMEDIASUBTYPE_WMAudioLossless);
            } else if (Vbr) {
                uint32_t quality = 0, size = 4;
                TWmAttrType attrType;
                config->GetPropertyByName(kVbrQuality, attrType,
                                          reinterpret_cast<uint8_t*>(&quality), size);
                const int64_t d = Diff32(WantedValue, quality);
                const int64_t best = Diff32(WantedValue, bestQuality);
                candidate = d < best || (d == best && closerRate);
                if (candidate) bestQuality = quality;
            } else {
                const int64_t d = Diff32(bitrate, WantedValue);
                const int64_t best = Diff32(bestBitrate, WantedValue);
                candidate = d < best || (d == best && closerRate);
            }
            if (!candidate) continue;
            if ((Vbr || Lossless) && !result) result = std::make_unique<TWmStreamConfig>(*config);
            if (matches && rateDiff <= bestRateDiff) {
                result = std::move(config);
                bestBitrate = bitrate;
                bestRate = f.SamplesPerSec;
            }
        }
    }
    return result;
}

void WmaSetupSearched(wma_writer& R, uint32_t Channels, uint32_t Bits, uint32_t Wanted, bool Vbr,
                      bool Lossless, uint32_t SampleRate) {
    if (!Vbr && Wanted < 1000) Wanted *= 1000;
    std::unique_ptr<TWmProfileManager> manager;
    std::unique_ptr<TWmProfile> profile;
    if (WMCreateProfileManager(manager) != wmOk ||
        manager->CreateEmptyProfile(kWmProfileVersion, profile) != wmOk)
        throw EAuException("Failed to init codec");
    // Coded formats carry a nominal 16 bits; the writer's input takes every PCM depth and
    // converts, so an input of 8, 24 or 32 bits looks for the same formats as one of 16.
    const bool converted = Bits == 8 || Bits == 24 || Bits == 32;
    const TWaveFormatEx wanted{
        1, uint16_t(Channels), SampleRate, 0, 0, uint16_t(converted ? 16 : Bits), 0};
    std::unique_ptr<TWmStreamConfig> config =
        WmaFindFormat(*manager, wanted, Wanted, Vbr, Lossless);
    if (!config) throw EAuException("Failed to init codec");
    UseConfiguration(R, *profile, *config, Channels, Bits, SampleRate);
}

// ---------------------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------------------
void WmaSetAttribute(wma_writer& R, const std::u16string& Name, const std::u16string& Value) {
    if (Value.empty() || !R.Writer) return;
    // Attribute lengths are 16-bit byte counts: a longer text is cut to what fits.
    const size_t chars = std::min<size_t>(Value.size(), 0xFFFF / 2);
    R.Writer->SetAttribute(0, Name, TWmAttrType::wmtString,
                           reinterpret_cast<const uint8_t*>(Value.data()), uint16_t(chars * 2));
}

TWmResult WmaWriteSamples(wma_writer& R, const uint8_t* Data, uint32_t Bytes) {
    TWmResult r = R.Writer->AllocateSample(Bytes, R.Sample);
    if (r != wmOk) return r;
    uint8_t* buffer = nullptr;
    R.Sample->GetBuffer(buffer);
    std::memcpy(buffer, Data, Bytes);
    R.Sample->SetLength(Bytes);
    // Each sample carries the time at its own end.
    if (R.BytesPerSecond > 0)
        R.SampleTime += uint64_t(std::llround(double(Bytes) / R.BytesPerSecond * 10000000.0));
    r = R.Writer->WriteSample(R.InputNumber, R.SampleTime, 0, *R.Sample);
    R.Sample.reset();
    return r;
}

TWmResult WmaCloseWriter(wma_writer& R, bool EndWriting) {
    TWmResult r = wmOk;
    if (R.Writer && EndWriting && R.Writer->Writing()) r = R.Writer->EndWriting();
    if (R.NetworkSink) {
        R.NetworkSink->Close();
        if (R.Writer) R.Writer->RemoveSink(R.NetworkSink.get());
    }
    R.FileSink.reset();
    R.NetworkSink.reset();
    R.Writer.reset();
    R.Sample.reset();
    R.ErrorCallback.reset();
    R.StatusCallback.reset();
    R.Ready = false;
    return r;
}

} // namespace sundral
