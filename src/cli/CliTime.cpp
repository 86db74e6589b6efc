#include "cli/CliTime.h"

#include <cctype>
#include <limits>

#include "edit/Global.h"

namespace sundral::cli {
namespace {

constexpr int64_t kNsPerSecond = 1'000'000'000;
// Keeps every product below in 64 bits: about 31 years of audio at 384 kHz.
constexpr int64_t kMaxSeconds = 1'000'000'000;

// Rounds Ns x Rate / 1e9 to the nearest integer, halves away from zero, without overflow.
int64_t NsToFrames(int64_t Ns, uint32_t Rate) {
    __int128 scaled = static_cast<__int128>(Ns) * Rate;
    __int128 half = kNsPerSecond / 2;
    __int128 q = scaled >= 0 ? (scaled + half) / kNsPerSecond : -((-scaled + half) / kNsPerSecond);
    return static_cast<int64_t>(q);
}

std::optional<int64_t> ParseSeconds(const std::string& Text) {
    // digits, optionally a point and up to nine more digits
    size_t i = 0;
    int64_t whole = 0;
    bool any = false;
    while (i < Text.size() && std::isdigit(static_cast<unsigned char>(Text[i]))) {
        whole = whole * 10 + (Text[i] - '0');
        if (whole > kMaxSeconds) return std::nullopt;
        any = true;
        ++i;
    }
    int64_t fraction = 0, scale = kNsPerSecond;
    if (i < Text.size() && Text[i] == '.') {
        ++i;
        while (i < Text.size() && std::isdigit(static_cast<unsigned char>(Text[i]))) {
            if (scale > 1) {
                scale /= 10;
                fraction += (Text[i] - '0') * scale;
            }
            any = true;
            ++i;
        }
    }
    if (!any || i != Text.size()) return std::nullopt;
    return whole * kNsPerSecond + fraction;
}

} // namespace

std::optional<TCliPosition> ParsePosition(const std::string& Text, bool AsSamples,
                                          std::string& Error) {
    TCliPosition pos;
    if (AsSamples) {
        int64_t frames = 0;
        bool any = false;
        for (char c : Text) {
            if (!std::isdigit(static_cast<unsigned char>(c)) ||
                frames > (std::numeric_limits<int64_t>::max() - 9) / 10) {
                any = false;
                break;
            }
            frames = frames * 10 + (c - '0');
            any = true;
        }
        if (!any) {
            Error = "'" + Text + "' is not a sample number";
            return std::nullopt;
        }
        pos.IsFrames = true;
        pos.Frames = frames;
        return pos;
    }
    if (Text.find(':') != std::string::npos) {
        if (!IsTimeText(Text)) {
            Error = "'" + Text + "' is not a time of the form 00:00:00.0";
            return std::nullopt;
        }
        pos.Nanoseconds = static_cast<int64_t>(TimeTextToMs(Text)) * 1'000'000;
        return pos;
    }
    auto ns = ParseSeconds(Text);
    if (!ns) {
        Error = "'" + Text + "' is neither a time of the form 00:00:00.0 nor a number of seconds";
        return std::nullopt;
    }
    pos.Nanoseconds = *ns;
    return pos;
}

int64_t PositionToFrames(const TCliPosition& Position, uint32_t SampleRate) {
    return Position.IsFrames ? Position.Frames : NsToFrames(Position.Nanoseconds, SampleRate);
}

int64_t StretchFrames(const TCliPosition& From, const TCliPosition& To, uint32_t SampleRate) {
    if (From.IsFrames && To.IsFrames) return To.Frames - From.Frames;
    if (!From.IsFrames && !To.IsFrames)
        return NsToFrames(To.Nanoseconds - From.Nanoseconds, SampleRate);
    return PositionToFrames(To, SampleRate) - PositionToFrames(From, SampleRate);
}

} // namespace sundral::cli
