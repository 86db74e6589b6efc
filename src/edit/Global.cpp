#include "edit/Global.h"

#include <cstdlib>
#include <pwd.h>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace sundral {

namespace {

constexpr int32_t kMsPerHour = 3600000;
constexpr int32_t kMsPerMinute = 60000;
constexpr int32_t kMsPerSecond = 1000;
constexpr int32_t kMsPerTenth = 100;

// A decimal integer: an optional '+' or '-' and at least one digit, nothing else (no spaces,
// no hex), within 32 bits. Anything else reads as 0.
int32_t ReadInt(std::string_view S) {
    std::size_t i = 0;
    bool negative = false;
    if (i < S.size() && (S[i] == '+' || S[i] == '-')) negative = S[i++] == '-';
    if (i == S.size()) return 0;
    int64_t value = 0;
    for (; i < S.size(); ++i) {
        if (S[i] < '0' || S[i] > '9') return 0;
        value = value * 10 + (S[i] - '0');
        if (value > int64_t{INT32_MAX} + 1) return 0; // stop before the sum can overflow
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return 0;
    return static_cast<int32_t>(value);
}

bool IsDigit(char C) {
    return C >= '0' && C <= '9';
}

// A field of a typed time: 1 or 2 digits.
bool IsTimeField(std::string_view S) {
    if (S.empty() || S.size() > 2) return false;
    for (char c : S)
        if (!IsDigit(c)) return false;
    return true;
}

// The piece of S at the 0-based Pos, at most Len characters, empty past the end.
std::string_view Piece(std::string_view S, std::size_t Pos, std::size_t Len) {
    if (Pos >= S.size()) return {};
    return S.substr(Pos, Len);
}

} // namespace

std::string TwoDigits(int32_t N) {
    return N < 10 ? "0" + std::to_string(N) : std::to_string(N);
}

std::string TwoDigitsOfText(const std::string& S) {
    return TwoDigits(ReadInt(S));
}

bool IsTimeText(const std::string& S) {
    for (char c : S)
        if (!IsDigit(c) && c != '.' && c != ':') return false;
    std::string_view rest = S;
    for (char separator : {':', ':', '.'}) {
        std::size_t at = rest.find(separator);
        if (at == std::string_view::npos || !IsTimeField(rest.substr(0, at))) return false;
        rest.remove_prefix(at + 1);
    }
    return rest.size() <= 1;
}

bool IsFixedTimeText(const std::string& S) {
    return S.size() == 10 && S[2] == ':' && S[5] == ':' && S[8] == '.';
}

std::string NormalizeTimeText(const std::string& S) {
    std::string result;
    std::string_view rest = S;
    for (int field = 0; field < 2; ++field) {
        std::size_t at = rest.find(':');
        if (at == std::string_view::npos) break;
        result += TwoDigitsOfText(std::string(rest.substr(0, at)));
        result += ':';
        rest.remove_prefix(at + 1);
    }
    std::size_t at = rest.find('.');
    if (at != std::string_view::npos) {
        result += TwoDigitsOfText(std::string(rest.substr(0, at)));
        result += '.';
        rest = rest.substr(at + 1, 1);
    }
    result += rest;
    return result;
}

int32_t TimeTextToMs(const std::string& S) {
    const std::string t = NormalizeTimeText(S);
    // Each piece has at most two characters (-9 to 99), so the sum stays far inside 32 bits.
    return ReadInt(Piece(t, 0, 2)) * kMsPerHour + ReadInt(Piece(t, 3, 2)) * kMsPerMinute +
           ReadInt(Piece(t, 6, 2)) * kMsPerSecond + ReadInt(Piece(t, 9, 1)) * kMsPerTenth;
}

std::string MsToTimeText(int32_t Ms) {
    // The text has no sign: a position before the start shows as the start.
    if (Ms < 0) Ms = 0;
    const int32_t hours = (Ms / kMsPerHour) % 256; // hours are held in 8 bits
    const int32_t minutes = (Ms % kMsPerHour) / kMsPerMinute;
    const int32_t seconds = (Ms % kMsPerMinute) / kMsPerSecond;
    const int32_t tenths = (Ms % kMsPerSecond) / kMsPerTenth;
    return TwoDigits(hours) + ':' + TwoDigits(minutes) + ':' + TwoDigits(seconds) + '.' +
           static_cast<char>('0' + tenths);
}

TMP3BitRate BitrateToMp3BitRate(int32_t BitRate) {
    switch (BitRate) {
    case 0:
        return TMP3BitRate::mbrAuto;
    case 32000:
        return TMP3BitRate::mbr32;
    case 40000:
        return TMP3BitRate::mbr40;
    case 48000:
        return TMP3BitRate::mbr48;
    case 56000:
        return TMP3BitRate::mbr56;
    case 64000:
        return TMP3BitRate::mbr64;
    case 80000:
        return TMP3BitRate::mbr80;
    case 96000:
        return TMP3BitRate::mbr96;
    case 112000:
        return TMP3BitRate::mbr112;
    case 128000:
        return TMP3BitRate::mbr128;
    case 144000:
        return TMP3BitRate::mbr144;
    case 160000:
        return TMP3BitRate::mbr160;
    case 192000:
        return TMP3BitRate::mbr192;
    case 224000:
        return TMP3BitRate::mbr224;
    case 256000:
        return TMP3BitRate::mbr256;
    case 320000:
        return TMP3BitRate::mbr320;
    default:
        break;
    }
    // Unsigned range test: a negative rate is not in 1..31999.
    if (static_cast<uint32_t>(BitRate) - 1u < 31999u) return TMP3BitRate::mbrAuto;
    return TMP3BitRate::mbr128;
}

std::string GetAppDataFolder() {
    std::string folder;
    // Relative values of XDG_DATA_HOME are invalid by the base-directory rules and ignored.
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
        folder = xdg;
    } else {
        std::string home;
        if (const char* env = std::getenv("HOME"); env && env[0] != '\0') {
            home = env;
        } else {
            long size = sysconf(_SC_GETPW_R_SIZE_MAX);
            std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
            passwd entry{};
            passwd* found = nullptr;
            if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
                found->pw_dir && found->pw_dir[0] != '\0')
                home = found->pw_dir;
        }
        if (home.empty()) return {};
        if (home.back() != '/') home += '/';
        folder = home + ".local/share";
    }
    if (folder.back() != '/') folder += '/';
    return folder;
}

} // namespace sundral
