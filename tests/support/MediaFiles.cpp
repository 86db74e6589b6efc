#include "MediaFiles.h"

#include <cmath>
#include <cstdio>
#include <cstring>

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

std::vector<int16_t> Int16Samples(const std::vector<uint8_t>& Bytes) {
    std::vector<int16_t> samples(Bytes.size() / 2);
    if (!samples.empty()) std::memcpy(samples.data(), Bytes.data(), samples.size() * 2);
    return samples;
}

int64_t BestLag(const std::vector<int16_t>& Reference, const std::vector<int16_t>& Test,
                uint32_t Channels, int64_t Offset, int64_t Frames, int64_t MaxLag) {
    const int64_t refFrames = int64_t(Reference.size() / Channels);
    const int64_t testFrames = int64_t(Test.size() / Channels);
    double best = -2;
    int64_t bestLag = 0;
    for (int64_t lag = -MaxLag; lag <= MaxLag; ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (int64_t f = 0; f < Frames && f < testFrames; ++f) {
            const int64_t r = Offset + f + lag;
            if (r < 0 || r >= refFrames) continue;
            const double x = Reference[size_t(r * Channels)], y = Test[size_t(f * Channels)];
            xy += x * y;
            xx += x * x;
            yy += y * y;
        }
        const double score = xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : -1;
        if (score > best) {
            best = score;
            bestLag = lag;
        }
    }
    return bestLag;
}

} // namespace sundral_test
