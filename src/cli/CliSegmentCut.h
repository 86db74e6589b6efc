// `sundral-cli segment-cut IN OUT --remove FROM-TO ...`: removes stretches from a sound file
// and writes what remains, joined in order, to OUT, through the same chain of jobs as the
// Segment Cut window (tools/SegmentChain.h).
#pragma once

#include <string>
#include <vector>

#include "cli/CliCommands.h"

namespace CLI {
class App;
}

namespace sundral::cli {

struct TSegmentCutOptions {
    std::string In;
    std::string Out;
    // "FROM-TO", each end a time text (00:01:02.5) or seconds (62.5).
    std::vector<std::string> Removes;
    // Keep the segments' bounds as given instead of growing each by 100 ms on both sides.
    bool Exact = false;
    // Also remove the silent stretches (as `silences` finds them with these settings); they
    // are removed as found, without the 100 ms margin, which would take sound with them.
    bool RemoveSilence = false;
    double ThresholdDb = -50;
    double MinLengthSeconds = 0.5;
};

// Adds the subcommand to App; its arguments land in Options and Common.
CLI::App* AddSegmentCutCommand(CLI::App& App, TSegmentCutOptions& Options, TCommonOptions& Common);
int CommandSegmentCut(const TSegmentCutOptions& Options, const TCommonOptions& Common);

} // namespace sundral::cli
