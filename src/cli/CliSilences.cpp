// `sundral-cli silences`: the silent stretches of a file, one a line as "FROM-TO" in time
// text (the form `--remove` takes), or as JSON with exact seconds and sample numbers.
//
// The text rounds each stretch inwards to tenths (its start up, its end down), so that what
// it names is silent throughout; a stretch shorter than that names nothing and is left out
// of the text (not of the JSON).
#include <cmath>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "audio/AuSilence.h"
#include "cli/CliCommands.h"
#include "cli/CliFiles.h"
#include "cli/CliRun.h"
#include "edit/Global.h"

namespace sundral::cli {
namespace {

// Milliseconds of a frame number, rounded to tenths of a second up or down.
int32_t Tenths(int64_t Frame, uint32_t Rate, bool Up) {
    const int64_t tenthNumerator = Frame * 10;
    int64_t tenths = tenthNumerator / Rate;
    if (Up && tenthNumerator % Rate != 0) ++tenths;
    return int32_t(std::min<int64_t>(tenths * 100, INT32_MAX));
}

} // namespace

int CommandSilences(const std::string& File, double ThresholdDb, double MinLength, bool Json) {
    if (!(ThresholdDb <= 0))
        return Usage("--threshold is in dB below full scale: 0 or less, for example -50");
    if (!(MinLength >= 0) || !std::isfinite(MinLength))
        return Usage("--min-length must be zero or more seconds");
    try {
        TComponent owner(nullptr);
        std::string message;
        TAuFileIn* reader = OpenReadable(File, &owner, message);
        if (!reader) return Fail(message);
        TSilenceOptions options;
        options.ThresholdDb = ThresholdDb;
        options.MinLengthSeconds = MinLength;
        const uint32_t rate = reader->SampleRate();
        const std::vector<TSilentStretch> stretches = FindSilences(*reader, options);
        if (Json) {
            nlohmann::ordered_json list = nlohmann::ordered_json::array();
            for (const TSilentStretch& s : stretches) {
                nlohmann::ordered_json item;
                item["from"] = MsToTimeText(Tenths(s.StartSample, rate, true));
                item["to"] = MsToTimeText(Tenths(s.EndSample, rate, false));
                item["fromSeconds"] = double(s.StartSample) / rate;
                item["toSeconds"] = double(s.EndSample) / rate;
                item["fromSample"] = s.StartSample;
                item["toSample"] = s.EndSample;
                list.push_back(item);
            }
            nlohmann::ordered_json j;
            j["file"] = File;
            j["thresholdDb"] = ThresholdDb;
            j["minLength"] = MinLength;
            j["windowSeconds"] = options.WindowSeconds;
            j["silences"] = list;
            std::cout << j.dump(2) << "\n";
        } else {
            for (const TSilentStretch& s : stretches) {
                const int32_t from = Tenths(s.StartSample, rate, true);
                const int32_t to = Tenths(s.EndSample, rate, false);
                if (to > from) std::cout << MsToTimeText(from) << "-" << MsToTimeText(to) << "\n";
            }
        }
        return 0;
    } catch (const std::exception& e) {
        return Fail(File + ": " + e.what());
    }
}

} // namespace sundral::cli
