#include "Mp3FileTools.h"

#include <cmath>
#include <cstring>
#include <sstream>

#include "RunCommand.h"

namespace sundral_test {

std::map<std::string, std::string> FfprobeFields(const std::filesystem::path& File,
                                                 const std::string& Entries) {
    const TCommandResult r =
        RunCommand("ffprobe -v error -show_entries " + ShellQuote(Entries) +
                   " -of default=noprint_wrappers=1 " + ShellQuote(File.string()) + " 2>/dev/null");
    std::map<std::string, std::string> fields;
    if (r.ExitCode != 0) return fields;
    std::istringstream lines(r.Output);
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string name = line.substr(0, equals);
        if (name.rfind("TAG:", 0) == 0) name.erase(0, 4);
        fields[name] = line.substr(equals + 1);
    }
    return fields;
}

bool ReadMpegHeader(const std::vector<uint8_t>& File, size_t At, TMpegHeader& Header) {
    if (At + 4 > File.size()) return false;
    const uint8_t* h = File.data() + At;
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || ((h[1] >> 1) & 3) != 1) return false;
    const int version = (h[1] >> 3) & 3; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const int rateIndex = (h[2] >> 2) & 3, rateCode = h[2] >> 4;
    if (version == 1 || rateIndex == 3 || rateCode == 0 || rateCode == 15) return false;
    static const uint32_t kRates[3] = {44100, 48000, 32000};
    static const uint32_t kKbps1[15] = {0,   32,  40,  48,  56,  64,  80, 96,
                                        112, 128, 160, 192, 224, 256, 320};
    static const uint32_t kKbps2[15] = {0,  8,  16, 24,  32,  40,  48, 56,
                                        64, 80, 96, 112, 128, 144, 160};
    Header.SampleRate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    Header.Kbps = (version == 3 ? kKbps1 : kKbps2)[rateCode];
    Header.Crc = (h[1] & 1) == 0;
    Header.ChannelMode = h[3] >> 6;
    Header.Copyright = (h[3] & 8) != 0;
    Header.Original = (h[3] & 4) != 0;
    const uint32_t slots = version == 3 ? 144 : 72;
    Header.FrameBytes = slots * Header.Kbps * 1000 / Header.SampleRate + ((h[2] >> 1) & 1);
    return true;
}

TEncoderTag ReadEncoderTag(const std::vector<uint8_t>& File) {
    TEncoderTag tag;
    // The word follows the header and side information, within the first 40 bytes; the
    // encoder's block follows it after flags, counts, seek table and quality (120 bytes).
    for (size_t at = 4; at < 40 && at + 130 <= File.size(); ++at) {
        const std::string word(File.begin() + std::ptrdiff_t(at),
                               File.begin() + std::ptrdiff_t(at + 4));
        if (word != "Info" && word != "Xing") continue;
        tag.Word = word;
        if (std::memcmp(File.data() + at + 120, "LAME", 4) == 0) tag.Method = File[at + 129] & 15;
        break;
    }
    return tag;
}

double ChirpValue(int64_t Frame, uint32_t SampleRate, uint32_t Channel) {
    const double t = double(Frame) / SampleRate;
    return 0.4 / (Channel + 1) * std::sin(2.0 * M_PI * (100.0 * t + 150.0 * t * t));
}

void FillChirp(TPcmPatternSource& Source) {
    const uint32_t rate = Source.SampleRate(), channels = Source.Channels();
    const uint32_t bytes = Source.BitsPerSample() / 8;
    const int64_t frames = int64_t(Source.Data.size() / (channels * bytes));
    uint8_t* out = Source.Data.data();
    for (int64_t f = 0; f < frames; ++f) {
        for (uint32_t c = 0; c < channels; ++c) {
            const double v = ChirpValue(f, rate, c);
            if (bytes == 1) {
                *out++ = uint8_t(std::lround(128.0 + 127.0 * v));
                continue;
            }
            const int64_t s = std::llround(v * (std::ldexp(1.0, int(8 * bytes) - 1) - 1.0));
            for (uint32_t b = 0; b < bytes; ++b) *out++ = uint8_t(uint64_t(s) >> (8 * b));
        }
    }
}

} // namespace sundral_test
