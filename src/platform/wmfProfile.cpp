#include "platform/wmfProfile.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/TextConv.h"
#include "platform/mediaLibs.h"

namespace sundral::wmf {

namespace {

constexpr uint16_t kWmaV2Tag = 0x0161;
constexpr uint16_t kWmaV1Tag = 0x0160;
constexpr std::u16string_view kVbrEnabled = u"_VBRENABLED";
constexpr std::u16string_view kVbrQuality = u"_VBRQUALITY";

} // namespace

TWmResult CopyWideText(std::u16string_view Text, char16_t* Buffer, uint32_t& Length) {
    const uint32_t needed = uint32_t(Text.size() + 1);
    if (Buffer == nullptr) {
        Length = needed;
        return wmOk;
    }
    // The caller's buffer size comes from an earlier call; never write past it.
    if (Length < needed) {
        Length = needed;
        return wmErrInvalidArg;
    }
    std::copy(Text.begin(), Text.end(), Buffer);
    Buffer[Text.size()] = u'\0';
    Length = needed;
    return wmOk;
}

// ---------------------------------------------------------------------------------------
// TWmStreamConfig
// ---------------------------------------------------------------------------------------
TWmResult TWmStreamConfig::GetStreamNumber(uint16_t& Number) const {
    Number = FStreamNumber;
    return wmOk;
}

TWmResult TWmStreamConfig::SetStreamNumber(uint16_t Number) {
    if (Number == 0 || Number > 63) return wmErrInvalidArg;
    FStreamNumber = Number;
    return wmOk;
}

TWmResult TWmStreamConfig::GetStreamName(std::u16string& Name) const {
    Name = FStreamName;
    return wmOk;
}

TWmResult TWmStreamConfig::SetStreamName(std::u16string_view Name) {
    FStreamName = Name;
    return wmOk;
}

TWmResult TWmStreamConfig::GetConnectionName(std::u16string& Name) const {
    Name = FConnectionName;
    return wmOk;
}

TWmResult TWmStreamConfig::SetConnectionName(std::u16string_view Name) {
    FConnectionName = Name;
    return wmOk;
}

TWmResult TWmStreamConfig::GetBitrate(uint32_t& Bitrate) const {
    Bitrate = FFormat.Bitrate;
    return wmOk;
}

TWmResult TWmStreamConfig::GetMediaType(TWmMediaType& Type) const {
    Type = {};
    Type.MajorType = WMMEDIATYPE_Audio;
    Type.SubType = FCodec == 0 ? WMMEDIASUBTYPE_WMAudioV2 : WMMEDIASUBTYPE_WMAudioV1;
    Type.FormatType = WMFORMAT_WaveFormatEx;
    Type.Format.FormatTag = FCodec == 0 ? kWmaV2Tag : kWmaV1Tag;
    Type.Format.Channels = FFormat.Channels;
    Type.Format.SamplesPerSec = FFormat.SampleRate;
    Type.Format.AvgBytesPerSec = FFormat.Bitrate / 8;
    Type.Format.BitsPerSample = 16;
    return wmOk;
}

TWmResult TWmStreamConfig::GetPropertyByName(std::u16string_view Name, TWmAttrType& Type,
                                             uint8_t* Value, uint32_t& Size) const {
    if (Name != kVbrQuality || FFormat.Quality == 0) return wmErrNotFound;
    Type = TWmAttrType::wmtDword;
    if (Value == nullptr) {
        Size = 4;
        return wmOk;
    }
    if (Size < 4) return wmErrInvalidArg;
    const uint32_t quality = FFormat.Quality;
    std::memcpy(Value, &quality, 4);
    Size = 4;
    return wmOk;
}

// ---------------------------------------------------------------------------------------
// TWmProfile
// ---------------------------------------------------------------------------------------
TWmResult TWmProfile::AddStream(const TWmStreamConfig& Config) {
    uint16_t number = 0;
    Config.GetStreamNumber(number);
    if (number == 0 || number > 63) return wmErrInvalidArg;
    for (const TWmStreamConfig& s : FStreams) {
        uint16_t other = 0;
        s.GetStreamNumber(other);
        if (other == number) return wmErrInvalidArg;
    }
    FStreams.push_back(Config);
    return wmOk;
}

TWmResult TWmProfile::GetStreamCount(uint32_t& Count) const {
    Count = uint32_t(FStreams.size());
    return wmOk;
}

// ---------------------------------------------------------------------------------------
// TWmProfileManager
// ---------------------------------------------------------------------------------------
TWmResult WMCreateProfileManager(std::unique_ptr<TWmProfileManager>& Manager) {
    if (!RuntimeStarted()) return wmErrNotStarted;
    Manager = std::make_unique<TWmProfileManager>();
    return wmOk;
}

const std::vector<TWmCodecFormat>* TWmProfileManager::ListOf(const TGUID& MajorType,
                                                             uint32_t Codec) const {
    if (!IsEqualGUID(MajorType, WMMEDIATYPE_Audio) || Codec >= kWmaCodecCount) return nullptr;
    return &WmaFormatList(FVbrEnabled[Codec]);
}

TWmResult TWmProfileManager::GetCodecInfoCount(const TGUID& MajorType, uint32_t& Count) const {
    Count = IsEqualGUID(MajorType, WMMEDIATYPE_Audio) ? kWmaCodecCount : 0;
    return wmOk;
}

TWmResult TWmProfileManager::GetCodecName(const TGUID& MajorType, uint32_t Codec, char16_t* Name,
                                          uint32_t& Length) const {
    if (ListOf(MajorType, Codec) == nullptr) return wmErrInvalidArg;
    const AVCodec* codec =
        ff::avcodec_find_encoder(Codec == 0 ? AV_CODEC_ID_WMAV2 : AV_CODEC_ID_WMAV1);
    if (codec == nullptr) return wmErrFail;
    const char* name = codec->long_name != nullptr ? codec->long_name : codec->name;
    return CopyWideText(Utf8ToUtf16(name), Name, Length);
}

TWmResult TWmProfileManager::GetCodecFormatCount(const TGUID& MajorType, uint32_t Codec,
                                                 uint32_t& Count) const {
    const std::vector<TWmCodecFormat>* list = ListOf(MajorType, Codec);
    if (list == nullptr) return wmErrInvalidArg;
    Count = uint32_t(list->size());
    return wmOk;
}

TWmResult TWmProfileManager::GetCodecFormat(const TGUID& MajorType, uint32_t Codec, uint32_t Format,
                                            std::unique_ptr<TWmStreamConfig>& Config) const {
    const std::vector<TWmCodecFormat>* list = ListOf(MajorType, Codec);
    if (list == nullptr || Format >= list->size()) return wmErrInvalidArg;
    Config = std::make_unique<TWmStreamConfig>(Codec, (*list)[Format]);
    return wmOk;
}

TWmResult TWmProfileManager::GetCodecFormatDesc(const TGUID& MajorType, uint32_t Codec,
                                                uint32_t Format,
                                                std::unique_ptr<TWmStreamConfig>* Config,
                                                char16_t* Desc, uint32_t& Length) const {
    const std::vector<TWmCodecFormat>* list = ListOf(MajorType, Codec);
    if (list == nullptr || Format >= list->size()) return wmErrInvalidArg;
    const TWmResult r =
        CopyWideText(Utf8ToUtf16(WmaFormatDescription((*list)[Format])), Desc, Length);
    if (r == wmOk && Config != nullptr)
        *Config = std::make_unique<TWmStreamConfig>(Codec, (*list)[Format]);
    return r;
}

TWmResult TWmProfileManager::SetCodecEnumerationSetting(const TGUID& MajorType, uint32_t Codec,
                                                        std::u16string_view Name, TWmAttrType Type,
                                                        const uint8_t* Value, uint32_t Length) {
    if (ListOf(MajorType, Codec) == nullptr || Name != kVbrEnabled) return wmErrInvalidArg;
    if (Type != TWmAttrType::wmtBool || Length != 4 || Value == nullptr) return wmErrInvalidArg;
    uint32_t flag = 0;
    std::memcpy(&flag, Value, 4);
    FVbrEnabled[Codec] = flag != 0;
    return wmOk;
}

TWmResult TWmProfileManager::CreateEmptyProfile(uint32_t Version,
                                                std::unique_ptr<TWmProfile>& Profile) const {
    if (Version != kWmProfileVersion) return wmErrInvalidArg;
    Profile = std::make_unique<TWmProfile>(Version);
    return wmOk;
}

} // namespace sundral::wmf
