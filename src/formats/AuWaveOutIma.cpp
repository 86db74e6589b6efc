#include "formats/AuWaveOutIma.h"

#include <algorithm>

#include "formats/AuWaveTypes.h"

namespace sundral {
namespace {

// Quantise the distance to the decoder's predictor into a code, then move the predictor and
// the step index with the decoder's own step, so the two can never drift apart.
inline uint8_t EncodeOne(int32_t Sample, TImaChannelState& S) {
    const int32_t step = kImaStepTable[static_cast<size_t>(S.StepIndex)];
    int32_t diff = Sample - S.Predictor;
    uint8_t code = 0;
    if (diff < 0) {
        code = 8;
        diff = -diff;
    }
    if (diff >= step) {
        code |= 4;
        diff -= step;
    }
    if (diff >= (step >> 1)) {
        code |= 2;
        diff -= step >> 1;
    }
    if (diff >= (step >> 2)) code |= 1;
    ImaDecodeStep(code, S.Predictor, S.StepIndex);
    return code;
}

void PutChannelHeader(uint8_t* At, int16_t First, TImaChannelState& S) {
    S.Predictor = First;
    At[0] = uint8_t(uint16_t(First));
    At[1] = uint8_t(uint16_t(First) >> 8);
    At[2] = uint8_t(S.StepIndex);
    At[3] = 0;
}

} // namespace

void ImaEncodeBlock(const int16_t* Frames, uint16_t Channels, uint16_t BlockSize,
                    TImaChannelState* State, uint8_t* Block) {
    if (Channels == 1) {
        TImaChannelState& s = State[0];
        PutChannelHeader(Block, Frames[0], s);
        const int16_t* in = Frames + 1;
        for (uint32_t i = 4; i < BlockSize; ++i, in += 2) {
            const uint8_t lo = EncodeOne(in[0], s);
            const uint8_t hi = EncodeOne(in[1], s);
            Block[i] = uint8_t(lo | (hi << 4));
        }
        return;
    }
    TImaChannelState& l = State[0];
    TImaChannelState& r = State[1];
    PutChannelHeader(Block, Frames[0], l);
    PutChannelHeader(Block + 4, Frames[1], r);
    // Each pass takes eight frames and fills one left group and one right group. The two
    // channels are independent chains; encoding them side by side lets them overlap.
    const int16_t* in = Frames + 2;
    for (uint32_t g = 8; g < BlockSize; g += 8, in += 16) {
        for (uint32_t j = 0; j < 4; ++j) {
            const int16_t* f = in + 4 * j; // frames 2j and 2j + 1 of this group
            const uint8_t l0 = EncodeOne(f[0], l);
            const uint8_t r0 = EncodeOne(f[1], r);
            const uint8_t l1 = EncodeOne(f[2], l);
            const uint8_t r1 = EncodeOne(f[3], r);
            Block[g + j] = uint8_t(l0 | (l1 << 4));
            Block[g + 4 + j] = uint8_t(r0 | (r1 << 4));
        }
    }
}

} // namespace sundral
