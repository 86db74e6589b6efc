#include "PcmPatternSource.h"

#include <algorithm>
#include <cmath>

namespace sundral_test {

using sundral::EAuException;

TPcmPatternSource::TPcmPatternSource(uint32_t SampleRate, uint16_t Channels, uint16_t BitsPerSample,
                                     int64_t Frames, double Amplitude)
    : sundral::TAuInput(nullptr), FRate(SampleRate), FChannels(Channels), FBits(BitsPerSample) {
    const uint32_t bytes = BitsPerSample / 8;
    Data.resize(size_t(Frames) * Channels * bytes);
    uint8_t* out = Data.data();
    for (int64_t f = 0; f < Frames; ++f) {
        for (uint16_t c = 0; c < Channels; ++c) {
            const double pitch = 440.0 + 110.0 * c;
            const double v = Amplitude * std::sin(2.0 * M_PI * pitch * double(f) / SampleRate);
            if (bytes == 1) {
                *out++ = uint8_t(std::lround(128.0 + 127.0 * v));
                continue;
            }
            const double full = std::ldexp(1.0, int(BitsPerSample) - 1) - 1.0;
            const int64_t s = std::llround(v * full);
            for (uint32_t b = 0; b < bytes; ++b) *out++ = uint8_t(uint64_t(s) >> (8 * b));
        }
    }
    ReportedSize = int64_t(Data.size());
    DeliverBytes = int64_t(Data.size());
}

int16_t TPcmPatternSource::Sample16(int64_t Frame, uint16_t Channel) const {
    const size_t i = (size_t(Frame) * FChannels + Channel) * 2;
    return int16_t(Data[i] | (Data[i + 1] << 8));
}

void TPcmPatternSource::InitInput() {
    FBusy = true;
    FPosition = 0;
    FSize = ReportedSize;
    FFrameSize = uint16_t(FChannels * FBits / 8);
    FNext = 0;
}

void TPcmPatternSource::ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) {
    if (BeforeRead) BeforeRead(FNext);
    if (ThrowAt >= 0 && FNext >= ThrowAt) throw EAuException(ThrowMessage);
    const int64_t left = std::min<int64_t>(DeliverBytes, int64_t(Data.size())) - FNext;
    Bytes = uint32_t(std::clamp<int64_t>(std::min<int64_t>(Bytes, MaxPiece), 0, left));
    Buffer = Data.data() + FNext;
    FNext += Bytes;
    FPosition += Bytes;
}

void TEndlessSilence::InitInput() {
    FBusy = true;
    FPosition = 0;
    FSize = -1;
    FFrameSize = 4;
}

void TEndlessSilence::ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) {
    Bytes = std::min<uint32_t>(Bytes, uint32_t(FZeros.size()));
    Buffer = FZeros.data();
    FPosition += Bytes;
}

} // namespace sundral_test
