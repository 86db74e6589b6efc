#include "platform/wmfFormats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sundral::wmf {

namespace {

constexpr uint32_t kRates[] = {48000, 44100, 32000, 22050, 16000, 11025, 8000};
constexpr uint32_t kBitratesKbps[] = {24, 32, 40, 48, 64, 80, 96, 128, 160, 192, 256, 320};
constexpr uint32_t kMinBitrate = 24000;
constexpr double kMaxBitsPerSample = 4.0;

struct TQualityStep {
    uint8_t Quality;
    double BitsPerSample;
};
constexpr TQualityStep kQualities[] = {{10, 0.5}, {25, 0.75}, {50, 1.0},
                                       {75, 1.5}, {90, 2.0},  {98, 3.0}};

uint32_t Ceiling(uint32_t Rate, uint16_t Channels) {
    return uint32_t(kMaxBitsPerSample * Rate * Channels);
}

std::vector<TWmCodecFormat> BuildCbr() {
    std::vector<TWmCodecFormat> list;
    for (uint32_t rate : kRates)
        for (uint16_t channels : {uint16_t(2), uint16_t(1)})
            for (uint32_t kbps : kBitratesKbps)
                if (kbps * 1000 <= Ceiling(rate, channels))
                    list.push_back({kbps * 1000, rate, channels, 0});
    return list;
}

std::vector<TWmCodecFormat> BuildVbr() {
    std::vector<TWmCodecFormat> list;
    for (uint32_t rate : kRates)
        for (uint16_t channels : {uint16_t(2), uint16_t(1)})
            for (const TQualityStep& step : kQualities) {
                const double wanted = step.BitsPerSample * rate * channels;
                const uint32_t bitrate = std::clamp(uint32_t(std::lround(wanted / 1000.0)) * 1000,
                                                    kMinBitrate, Ceiling(rate, channels));
                list.push_back({bitrate, rate, channels, step.Quality});
            }
    return list;
}

} // namespace

const std::vector<TWmCodecFormat>& WmaFormatList(bool Vbr) {
    static const std::vector<TWmCodecFormat> kCbr = BuildCbr();
    static const std::vector<TWmCodecFormat> kVbr = BuildVbr();
    return Vbr ? kVbr : kCbr;
}

std::string WmaFormatDescription(const TWmCodecFormat& Format) {
    char text[64];
    const char* channels = Format.Channels > 1 ? "stereo" : "mono";
    const unsigned khz = Format.SampleRate / 1000;
    if (Format.Quality > 0)
        std::snprintf(text, sizeof text, "Quality %u, %2u kHz, %s VBR", unsigned(Format.Quality),
                      khz, channels);
    else
        std::snprintf(text, sizeof text, "%u kbps, %2u kHz, %s CBR",
                      unsigned(Format.Bitrate / 1000), khz, channels);
    return text;
}

} // namespace sundral::wmf
