#include "platform/lameEncConfig.h"

#include <tuple>
#include <type_traits>
#include <utility>

namespace sundral {

namespace {

// The fields in record order: one list serves writing and reading.
template <typename TConfig> auto Fields(TConfig& C) {
    return std::tie(C.ConfigKind, C.StructVersion, C.StructSize, C.SampleRate, C.ReSampleRate,
                    C.Mode, C.Bitrate, C.MaxBitrate, C.Preset, C.MpegVersion, C.PsyModel,
                    C.Emphasis, C.Private, C.CRC, C.Copyright, C.Original, C.WriteVBRHeader,
                    C.EnableVBR, C.VBRQuality, C.VbrAbrKbps, C.VbrMethod, C.NoRes, C.StrictISO,
                    C.Quality);
}

// The named fields end at offset 94; the reserved bytes follow.
constexpr std::size_t kNamedBytes = 94;
template <typename TTuple> struct TFieldBytes;
template <typename... T> struct TFieldBytes<std::tuple<T&...>> {
    static constexpr std::size_t kValue = (sizeof(T) + ...);
};
static_assert(TFieldBytes<decltype(Fields(std::declval<TBeConfig&>()))>::kValue == kNamedBytes);

template <typename T> void Put(uint8_t*& At, T Value) {
    const auto bits = static_cast<std::make_unsigned_t<T>>(Value);
    for (std::size_t i = 0; i < sizeof(T); ++i) *At++ = uint8_t(bits >> (8 * i));
}

template <typename T> void Get(const uint8_t*& At, T& Value) {
    using TU = std::make_unsigned_t<T>;
    TU bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) bits = TU(bits | TU(TU(*At++) << (8 * i)));
    Value = static_cast<T>(bits);
}

} // namespace

TBeConfigBytes BeConfigBytes(const TBeConfig& Config) {
    TBeConfigBytes bytes{};
    uint8_t* at = bytes.data();
    std::apply([&](const auto&... Field) { (Put(at, Field), ...); }, Fields(Config));
    return bytes;
}

TBeConfig BeConfigFromBytes(const TBeConfigBytes& Bytes) {
    TBeConfig config;
    const uint8_t* at = Bytes.data();
    std::apply([&](auto&... Field) { (Get(at, Field), ...); }, Fields(config));
    return config;
}

} // namespace sundral
