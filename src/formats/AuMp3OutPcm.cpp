#include "formats/AuMp3OutPcm.h"

#include "audio/AuProcs.h"

namespace sundral {

bool TMp3PcmFeed::Supports(uint32_t BitsPerSample, uint32_t Channels) {
    return (Channels == 1 || Channels == 2) && (BitsPerSample == 8 || BitsPerSample == 16 ||
                                                BitsPerSample == 24 || BitsPerSample == 32);
}

void TMp3PcmFeed::Setup(uint32_t BitsPerSample, uint32_t InputChannels, uint32_t EncoderChannels,
                        uint32_t FramesPerStep) {
    FBytesPerSample = BitsPerSample / 8;
    FInputChannels = InputChannels;
    FEncoderChannels = EncoderChannels;
    const uint32_t samples = FramesPerStep * InputChannels;
    FStepBytes = samples * FBytesPerSample;
    FInput.assign((FStepBytes + 3) / 4, 0);
    const bool direct = FBytesPerSample == 2 && InputChannels == EncoderChannels;
    const bool viaFloat = FBytesPerSample != 2;
    FFloat.assign(viaFloat ? samples : 0, 0.0f);
    FOutput.assign(direct ? 0 : samples, 0);
}

const int16_t* TMp3PcmFeed::Convert(uint32_t Bytes, uint32_t& Samples) {
    const uint32_t frames = Bytes / (FBytesPerSample * FInputChannels);
    const uint32_t in = frames * FInputChannels;
    const bool mixDown = FInputChannels == 2 && FEncoderChannels == 1;
    Samples = frames * FEncoderChannels;

    if (FBytesPerSample == 2) {
        const auto* pcm = reinterpret_cast<const int16_t*>(FInput.data());
        if (!mixDown) return pcm;
        for (uint32_t f = 0; f < frames; ++f)
            FOutput[f] = int16_t((int32_t(pcm[2 * f]) + pcm[2 * f + 1]) / 2);
        return FOutput.data();
    }

    switch (FBytesPerSample) {
    case 1:
        UInt8ToFloat(Buffer(), FFloat.data(), in);
        break;
    case 3:
        Int24ToFloat(Buffer(), FFloat.data(), in);
        break;
    default:
        Int32ToFloat(FInput.data(), FFloat.data(), in);
        break;
    }
    if (mixDown) {
        for (uint32_t f = 0; f < frames; ++f)
            FFloat[f] = 0.5f * (FFloat[2 * f] + FFloat[2 * f + 1]);
    }
    FloatToInt16(FFloat.data(), FOutput.data(), Samples);
    return FOutput.data();
}

} // namespace sundral
