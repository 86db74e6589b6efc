// The runtime's profile side: the profile manager lists the audio codecs and their formats
// (wmfFormats.h), hands out a format as a stream configuration, and creates empty profiles;
// a profile collects the stream configurations a writer is to produce.
//
// Call shapes: every call returns a TWmResult (zero is success); out-values are written only
// on success. Names and descriptions are UTF-16 with a terminating null; asked with a null
// buffer, the call reports the length needed (in characters, the null included).
//
// Codec enumeration setting "_VBRENABLED" (wmtBool, 4 bytes) switches a codec's listing
// between its constant-rate and its quality-based formats, for this manager only. A
// quality-based format carries the property "_VBRQUALITY" (wmtDword, 4 bytes).
//
// When the runtime did not start (RuntimeStarted() false), WMCreateProfileManager fails with
// wmErrNotStarted and nothing is created.
//
// Threading: a manager, a profile and a configuration are used by one thread at a time.
// Ownership: the caller owns what the create calls and GetCodecFormat hand out; a profile
// holds copies of the configurations added to it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wmfFormats.h"
#include "platform/wmfTypes.h"

namespace sundral::wmf {

constexpr uint32_t kWmProfileVersion = 0x90000;

class TWmStreamConfig {
public:
    TWmStreamConfig(uint32_t Codec, const TWmCodecFormat& Format)
        : FCodec(Codec), FFormat(Format) {}

    TWmResult GetStreamNumber(uint16_t& Number) const;
    TWmResult SetStreamNumber(uint16_t Number);
    TWmResult GetStreamName(std::u16string& Name) const;
    TWmResult SetStreamName(std::u16string_view Name);
    TWmResult GetConnectionName(std::u16string& Name) const;
    TWmResult SetConnectionName(std::u16string_view Name);
    TWmResult GetBitrate(uint32_t& Bitrate) const;
    // The coded format: audio, subtype WMA version 2 or 1, a wave format block with the
    // codec's format tag, channels, rate, bytes per second (bit rate / 8) and 16 bits.
    TWmResult GetMediaType(TWmMediaType& Type) const;
    // "_VBRQUALITY" of a quality-based format; wmErrNotFound for anything else. With a null
    // Value only Size is set (4).
    TWmResult GetPropertyByName(std::u16string_view Name, TWmAttrType& Type, uint8_t* Value,
                                uint32_t& Size) const;

    // For the writer.
    uint32_t Codec() const { return FCodec; }
    const TWmCodecFormat& Format() const { return FFormat; }

private:
    uint32_t FCodec;
    TWmCodecFormat FFormat;
    uint16_t FStreamNumber = 0;
    std::u16string FStreamName;
    std::u16string FConnectionName;
};

class TWmProfile {
public:
    explicit TWmProfile(uint32_t Version) : FVersion(Version) {}

    uint32_t Version() const { return FVersion; }
    // Fails with wmErrInvalidArg for a stream number outside 1..63 or one already present.
    TWmResult AddStream(const TWmStreamConfig& Config);
    TWmResult GetStreamCount(uint32_t& Count) const;
    const std::vector<TWmStreamConfig>& Streams() const { return FStreams; }

private:
    uint32_t FVersion;
    std::vector<TWmStreamConfig> FStreams;
};

class TWmProfileManager {
public:
    // Codecs of a major type: two for audio, none for anything else.
    TWmResult GetCodecInfoCount(const TGUID& MajorType, uint32_t& Count) const;
    TWmResult GetCodecName(const TGUID& MajorType, uint32_t Codec, char16_t* Name,
                           uint32_t& Length) const;
    TWmResult GetCodecFormatCount(const TGUID& MajorType, uint32_t Codec, uint32_t& Count) const;
    TWmResult GetCodecFormat(const TGUID& MajorType, uint32_t Codec, uint32_t Format,
                             std::unique_ptr<TWmStreamConfig>& Config) const;
    // Config may be null when only the description is wanted.
    TWmResult GetCodecFormatDesc(const TGUID& MajorType, uint32_t Codec, uint32_t Format,
                                 std::unique_ptr<TWmStreamConfig>* Config, char16_t* Desc,
                                 uint32_t& Length) const;
    // Only "_VBRENABLED" (wmtBool, 4 bytes) is known.
    TWmResult SetCodecEnumerationSetting(const TGUID& MajorType, uint32_t Codec,
                                         std::u16string_view Name, TWmAttrType Type,
                                         const uint8_t* Value, uint32_t Length);
    // Only version 0x90000.
    TWmResult CreateEmptyProfile(uint32_t Version, std::unique_ptr<TWmProfile>& Profile) const;

private:
    const std::vector<TWmCodecFormat>* ListOf(const TGUID& MajorType, uint32_t Codec) const;

    bool FVbrEnabled[kWmaCodecCount] = {};
};

TWmResult WMCreateProfileManager(std::unique_ptr<TWmProfileManager>& Manager);

// Copies Text and its terminating null into Buffer when it is given and large enough;
// Length is the size needed in characters (null included) on return.
TWmResult CopyWideText(std::u16string_view Text, char16_t* Buffer, uint32_t& Length);

} // namespace sundral::wmf
