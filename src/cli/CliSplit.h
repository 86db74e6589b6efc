// `sundral-cli split IN PATTERN`: writes the pieces of IN, each to its own file of IN's type,
// named after PATTERN (edit/SplitPlan.h). The pieces lie between points (--at), every so
// long (--every), between the silences `silences` finds (--silence), or along the tracks of
// a cue sheet (--cue).
//
// MP3 pieces are frame copies exact to the sample unless --reencode is given (a piece that
// cannot be copied is re-encoded, with a note); WAV pieces are exact copies of the samples;
// WMA pieces are encoded once from the source's decode. Each piece has the source's tags with
// its track number n/N and, from a cue sheet, its title, artist and the album title.
//
// Every name is checked before anything is written. The pieces are written under temporary
// names and all moved to their names at the end, so a failed or interrupted split leaves no
// new file and replaces none.
#pragma once

#include <string>
#include <vector>

#include "cli/CliCommands.h"

namespace CLI {
class App;
}

namespace sundral::cli {

struct TSplitOptions {
    std::string In;
    std::string Pattern;
    std::vector<std::string> At; // positions
    std::string Every;           // a duration; empty when not given
    bool Silence = false;
    double ThresholdDb = -50;
    double MinLengthSeconds = 0.5;
    std::string Cue; // the cue sheet's path; empty when not given
    bool Samples = false;
};

// Adds the subcommand to App; its arguments land in Options and Common.
CLI::App* AddSplitCommand(CLI::App& App, TSplitOptions& Options, TCommonOptions& Common);
int CommandSplit(const TSplitOptions& Options, const TCommonOptions& Common);

} // namespace sundral::cli
