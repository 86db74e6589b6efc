#include "SegmentTools.h"

#include <algorithm>
#include <cmath>

namespace sundral_test {

namespace {

int64_t FrameAt(int32_t Ms, uint32_t Rate, int64_t Frames) {
    return Ms < 0 ? Frames : std::min(Frames, (int64_t(Ms) * Rate + 500) / 1000);
}

// Normalised correlation of Count frames of A from frame AAt with B from frame BAt; 0 when
// B does not hold them.
double Correlation(const std::vector<int16_t>& A, int64_t AAt, const std::vector<int16_t>& B,
                   int64_t BAt, int64_t Count, int Channels) {
    if (BAt < 0 || (BAt + Count) * Channels > int64_t(B.size())) return 0;
    double ab = 0, aa = 0, bb = 0;
    for (int64_t i = 0; i < Count * Channels; ++i) {
        const double a = A[size_t(AAt * Channels + i)], b = B[size_t(BAt * Channels + i)];
        ab += a * b;
        aa += a * a;
        bb += b * b;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

} // namespace

std::vector<int16_t> KeptSamples(const std::vector<int16_t>& Source, int Channels, uint32_t Rate,
                                 const std::vector<TKeptMs>& Pieces) {
    const int64_t frames = int64_t(Source.size()) / Channels;
    std::vector<int16_t> kept;
    for (const TKeptMs& piece : Pieces)
        kept.insert(kept.end(), Source.begin() + FrameAt(piece.StartMs, Rate, frames) * Channels,
                    Source.begin() + FrameAt(piece.EndMs, Rate, frames) * Channels);
    return kept;
}

double WorstPieceCorrelation(const std::vector<int16_t>& Source, const std::vector<int16_t>& Output,
                             int Channels, uint32_t Rate, const std::vector<TKeptMs>& Pieces,
                             int MaxLagFrames) {
    const int64_t frames = int64_t(Source.size()) / Channels;
    double worst = 1;
    int64_t outputAt = 0; // where the piece starts in a lossless output
    for (const TKeptMs& piece : Pieces) {
        const int64_t start = FrameAt(piece.StartMs, Rate, frames);
        const int64_t length = FrameAt(piece.EndMs, Rate, frames) - start;
        const int64_t count = std::min<int64_t>(length, 2048);
        const int64_t from = start + (length - count) / 2;
        const int64_t expected = outputAt + (from - start);
        // Every shift: tones repeat, so a coarse search can settle on a period's alias.
        double best = -1;
        for (int64_t lag = -MaxLagFrames; lag <= MaxLagFrames; ++lag)
            best =
                std::max(best, Correlation(Source, from, Output, expected + lag, count, Channels));
        worst = std::min(worst, best);
        outputAt += length;
    }
    return worst;
}

} // namespace sundral_test
