// Judging the result of a segment cut: the stretches of the source's samples it should hold,
// and how closely a lossy result follows them.
#pragma once

#include <cstdint>
#include <vector>

namespace sundral_test {

// A kept stretch in milliseconds; EndMs < 0 runs to the end of the samples.
struct TKeptMs {
    int32_t StartMs;
    int32_t EndMs;
};

// The interleaved samples of Source (Channels, Rate) that the stretches cover, joined in
// order; a time t is frame round(t x Rate / 1000).
std::vector<int16_t> KeptSamples(const std::vector<int16_t>& Source, int Channels, uint32_t Rate,
                                 const std::vector<TKeptMs>& Pieces);

// How closely a lossy Output follows the kept stretches of Source: for each piece, the
// normalised correlation of (up to) 2048 frames from its middle with the output around where
// they should land, at the best shift within MaxLagFrames either way (a lossy piece may
// gain or lose a codec block); the worst piece's value.
double WorstPieceCorrelation(const std::vector<int16_t>& Source, const std::vector<int16_t>& Output,
                             int Channels, uint32_t Rate, const std::vector<TKeptMs>& Pieces,
                             int MaxLagFrames);

} // namespace sundral_test
