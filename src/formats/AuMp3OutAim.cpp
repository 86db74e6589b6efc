#include "formats/AuMp3OutAim.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "formats/AuMp3OutPcm.h"
#include "platform/lameEnc.h"

namespace sundral {

double TrialKbps(const TBeConfigBytes& Record, const std::vector<uint8_t>& Pcm, uint32_t Bits,
                 uint32_t Channels, uint32_t Rate) {
    const uint32_t frameBytes = Bits / 8 * Channels;
    if (frameBytes == 0 || Rate == 0 || Pcm.size() < frameBytes) return 0;
    THBeStream stream = nullptr;
    uint32_t chunkSamples = 0, outputSize = 0;
    if (beInitStream(Record, chunkSamples, outputSize, stream) != beErrOk) return 0;
    const uint32_t encoderChannels = BeConfigFromBytes(Record).Mode == 3 ? 1 : 2;
    TMp3PcmFeed feed;
    feed.Setup(Bits, Channels, encoderChannels, chunkSamples / 2);
    std::vector<uint8_t> output(outputSize);
    uint64_t bytes = 0;
    bool ok = true;
    for (size_t at = 0; ok && at < Pcm.size();) {
        const uint32_t step = uint32_t(std::min<size_t>(feed.StepBytes(), Pcm.size() - at));
        std::memcpy(feed.Buffer(), Pcm.data() + at, step);
        at += step;
        uint32_t samples = 0, produced = 0;
        const int16_t* pcm = feed.Convert(step, samples);
        ok = beEncodeChunk(stream, samples, pcm, output.data(), produced) == beErrOk;
        bytes += produced;
    }
    uint32_t produced = 0;
    ok = ok && beDeinitStream(stream, output.data(), produced) == beErrOk;
    bytes += produced;
    beCloseStream(stream);
    if (!ok) return 0;
    const double seconds = double(Pcm.size() / frameBytes) / Rate;
    return double(bytes) * 8 / seconds / 1000;
}

uint32_t AimedMeanKbps(uint32_t Kbps, const std::function<double(uint32_t)>& Trial, uint32_t Min,
                       uint32_t Max) {
    const double aim = Kbps;
    const auto bound = [&](double Mean) {
        Mean = std::clamp(Mean, 0.75 * aim, 1.25 * aim);
        return std::clamp<uint32_t>(uint32_t(std::lround(Mean)), Min, Max);
    };
    const uint32_t first = bound(aim);
    const double landed1 = Trial(first);
    if (landed1 <= 0) return first;
    const uint32_t second = bound(first * aim / landed1);
    if (second == first) return first;
    const double landed2 = Trial(second);
    if (landed2 <= 0) return first;
    const double slope = (landed2 - landed1) / (double(second) - double(first));
    if (slope <= 0) return std::abs(landed2 - aim) < std::abs(landed1 - aim) ? second : first;
    return bound(first + (aim - landed1) / slope);
}

} // namespace sundral
