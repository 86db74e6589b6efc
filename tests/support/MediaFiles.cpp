#include "MediaFiles.h"

#include <cstdio>

#include "RunCommand.h"

namespace sundral_test {

bool MakeMediaFile(const std::filesystem::path& File, const std::string& Signal,
                   const std::string& Args) {
    const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i " + ShellQuote(Signal) +
                                " " + Args + " " + ShellQuote(File.string()) + " 2>&1";
    return RunCommand(command).ExitCode == 0 && std::filesystem::exists(File);
}

std::string TestSignal(uint32_t Rate, uint32_t Channels, double Seconds) {
    char text[256];
    const char* left = "0.5*sin(2*PI*440*t)+0.2*sin(2*PI*3100*t)+0.05*(random(0)-0.5)";
    const char* right = "0.4*sin(2*PI*660*t)+0.25*sin(2*PI*1700*t*t)";
    std::snprintf(text, sizeof text, "aevalsrc=%s%s%s:s=%u:d=%.4f", left, Channels > 1 ? "|" : "",
                  Channels > 1 ? right : "", Rate, Seconds);
    return text;
}

std::vector<uint8_t> FfmpegDecodeBytes(const std::filesystem::path& File) {
    TCommandResult r = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(File.string()) +
                                  " -f s16le - 2>/dev/null");
    if (r.ExitCode != 0) return {};
    return std::vector<uint8_t>(r.Output.begin(), r.Output.end());
}

} // namespace sundral_test
