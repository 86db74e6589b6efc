// The commands of sundral-cli. Each returns the process exit status: 0 done, 1 the work
// failed (the message went to stderr), 2 the command line was wrong.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sundral::cli {

struct TCommonOptions {
    bool Quiet = false;
    bool Force = false;
    bool BitReservoir = false; // MP3 output only
    bool Reencode = false;     // MP3: decode and encode again instead of copying frames
};

int CommandInfo(const std::string& File, bool Json);
int CommandCut(const std::string& In, const std::string& Out,
               const std::optional<std::string>& From, const std::optional<std::string>& To,
               bool Samples, const TCommonOptions& Options);
// Mix false: A followed by B; true: A and B played at once.
int CommandJoin(const std::string& A, const std::string& B, const std::string& Out, bool Mix,
                const TCommonOptions& Options);

// Lists the silent stretches of File (AuSilence.h): below ThresholdDb (dB below full scale)
// for at least MinLength seconds.
int CommandSilences(const std::string& File, double ThresholdDb, double MinLength, bool Json);

// Prints the peaks of File (edit/Peaks.h): 256 frames a column unless Width columns or
// PixelsPerSecond columns a second are asked for; Channels "merged" or "all".
struct TPeaksOptions {
    std::optional<int64_t> Width;
    std::optional<int64_t> PixelsPerSecond;
    std::string Channels = "merged";
    bool Json = false;
};
int CommandPeaks(const std::string& File, const TPeaksOptions& Options);

} // namespace sundral::cli
