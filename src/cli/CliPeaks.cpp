// `sundral-cli peaks`: the min/max peaks a waveform draws, through the same peak computer the
// windows use. The JSON is the common waveform-data layout (version 2): one min/max pair per
// channel for each pixel column, the channels of a column side by side. The text form prints
// one column a line: its first frame, then min and max of each channel.
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/CliCommands.h"
#include "cli/CliFiles.h"
#include "cli/CliRun.h"
#include "edit/Peaks.h"

namespace sundral::cli {

int CommandPeaks(const std::string& File, const TPeaksOptions& Options) {
    if (Options.Width && Options.PixelsPerSecond)
        return Usage("--width and --pixels-per-second exclude each other");
    if (Options.Width && *Options.Width < 1) return Usage("--width must be 1 or more");
    if (Options.PixelsPerSecond && *Options.PixelsPerSecond < 1)
        return Usage("--pixels-per-second must be 1 or more");
    if (Options.Channels != "merged" && Options.Channels != "all")
        return Usage("--channels is merged or all");
    try {
        TComponent owner(nullptr);
        std::string message;
        TAuFileIn* reader = OpenReadable(File, &owner, message);
        if (!reader) return Fail(message);
        const uint32_t rate = reader->SampleRate();
        int64_t samplesPerPixel = 256;
        if (Options.Width) {
            const int64_t total = std::max<int64_t>(reader->TotalSamples(), 1);
            samplesPerPixel = (total + *Options.Width - 1) / *Options.Width;
        } else if (Options.PixelsPerSecond) {
            samplesPerPixel = int64_t(rate) / *Options.PixelsPerSecond;
        }
        samplesPerPixel = std::max<int64_t>(samplesPerPixel, 1);
        const TPeakData peaks =
            ComputePeaks(*reader, samplesPerPixel, Options.Channels == "merged");
        if (Options.Json) {
            nlohmann::ordered_json j;
            j["version"] = 2;
            j["channels"] = peaks.Channels;
            j["sample_rate"] = peaks.SampleRate;
            j["samples_per_pixel"] = peaks.SamplesPerPixel;
            j["bits"] = 16;
            j["length"] = peaks.Buckets();
            j["data"] = peaks.Data;
            std::cout << j.dump() << "\n";
            return 0;
        }
        std::cout << "# " << peaks.Channels << " channel(s), " << peaks.SampleRate << " Hz, "
                  << peaks.SamplesPerPixel << " frames per column, " << peaks.Buckets()
                  << " columns\n";
        std::string line;
        for (int64_t b = 0; b < peaks.Buckets(); ++b) {
            line = std::to_string(b * peaks.SamplesPerPixel);
            for (uint32_t c = 0; c < peaks.Channels; ++c) {
                line += ' ' + std::to_string(peaks.Min(b, c));
                line += ' ' + std::to_string(peaks.Max(b, c));
            }
            line += '\n';
            std::cout << line;
        }
        return 0;
    } catch (const std::exception& e) {
        return Fail(File + ": " + e.what());
    }
}

} // namespace sundral::cli
