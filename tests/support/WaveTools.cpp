#include "WaveTools.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "RiffBytes.h"
#include "RunCommand.h"

namespace sundral_test {

int64_t SoxFrames(const std::filesystem::path& File) {
    TCommandResult r = RunCommand("sox --i -s " + ShellQuote(File.string()) + " 2>/dev/null");
    if (r.ExitCode != 0 || r.Output.empty()) return -1;
    return std::strtoll(r.Output.c_str(), nullptr, 10);
}

std::string FfprobeStreams(const std::filesystem::path& File) {
    // Errors go to standard output too, so that any complaint fails the check.
    TCommandResult r =
        RunCommand("ffprobe -v error -show_streams " + ShellQuote(File.string()) + " 2>&1");
    if (r.ExitCode != 0 || r.Output.find("codec_type=audio") == std::string::npos ||
        r.Output.rfind("[STREAM]", 0) != 0)
        return {};
    return r.Output;
}

std::map<std::string, std::string> FfprobeEntries(const std::string& Input,
                                                  const std::string& Entries) {
    const TCommandResult r =
        RunCommand("ffprobe -v error -show_entries " + ShellQuote(Entries) +
                   " -of default=noprint_wrappers=1 " + ShellQuote(Input) + " 2>/dev/null");
    std::map<std::string, std::string> values;
    if (r.ExitCode != 0) return values;
    std::istringstream lines(r.Output);
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string key = line.substr(0, equals);
        if (key.rfind("TAG:", 0) == 0) key.erase(0, 4);
        values[key] = line.substr(equals + 1);
    }
    return values;
}

std::vector<int16_t> FfmpegDecodeS16(const std::filesystem::path& File) {
    TCommandResult r =
        RunCommand("ffmpeg -v error -i " + ShellQuote(File.string()) + " -f s16le - 2>/dev/null");
    std::vector<int16_t> samples;
    if (r.ExitCode != 0) return samples;
    samples.resize(r.Output.size() / 2);
    std::memcpy(samples.data(), r.Output.data(), samples.size() * 2);
    return samples;
}

std::vector<int16_t> SoxDecodeS16(const std::filesystem::path& File) {
    TCommandResult r =
        RunCommand("sox -D " + ShellQuote(File.string()) + " -t s16 -e signed -L - 2>/dev/null");
    std::vector<int16_t> samples;
    if (r.ExitCode != 0) return samples;
    samples.resize(r.Output.size() / 2);
    std::memcpy(samples.data(), r.Output.data(), samples.size() * 2);
    return samples;
}

std::filesystem::path WriteCountingWave(const std::filesystem::path& File, uint32_t Rate,
                                        uint16_t Channels, int64_t Frames) {
    TBytes data;
    for (int64_t frame = 0; frame < Frames; ++frame)
        for (uint16_t channel = 0; channel < Channels; ++channel)
            PutU16(data, uint16_t(1 + frame % 32000 + 1000 * channel));
    const TBytes image = RiffImage(
        {{"fmt ", FmtBody(1, Channels, Rate, uint16_t(2 * Channels), 16)}, {"data", data}});
    std::ofstream out(File, std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    return out ? File : std::filesystem::path();
}

} // namespace sundral_test
