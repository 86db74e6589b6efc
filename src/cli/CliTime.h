// Positions given on the command line: a time text ("00:01:02.5", as loose as the windows
// accept when a field is left), plain seconds ("62.5"), or a sample frame number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sundral::cli {

// A position as an exact fraction of a second: Nanoseconds, or Frames when given as samples.
struct TCliPosition {
    bool IsFrames = false;
    int64_t Nanoseconds = 0;
    int64_t Frames = 0;
};

// Parses one position; on failure returns nothing and says why in Error.
std::optional<TCliPosition> ParsePosition(const std::string& Text, bool AsSamples,
                                          std::string& Error);

// The frame a position stands for at SampleRate, rounded to the nearest frame.
int64_t PositionToFrames(const TCliPosition& Position, uint32_t SampleRate);

// The frame count of the stretch [From, To) at SampleRate: round((To - From) x rate), so that
// a cut holds exactly that many frames however the two ends round on their own.
int64_t StretchFrames(const TCliPosition& From, const TCliPosition& To, uint32_t SampleRate);

} // namespace sundral::cli
