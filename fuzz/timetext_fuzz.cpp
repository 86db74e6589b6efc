// Feeds arbitrary text to the time-text routines and checks what must hold for any input:
// no crash or undefined behaviour, and for texts the loose check accepts, a normalised form
// that is itself accepted, converts to the same position, and round-trips when complete.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "edit/Global.h"

using namespace sundral;

namespace {

void Check(bool Condition) {
    if (!Condition) std::abort();
}

bool IsDigit(char C) {
    return C >= '0' && C <= '9';
}

int Digits(const std::string& S, std::size_t Pos, std::size_t Len) {
    int v = 0;
    for (std::size_t i = Pos; i < Pos + Len; ++i) v = v * 10 + (S[i] - '0');
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
    const std::string s(reinterpret_cast<const char*>(Data), Size);
    const bool loose = IsTimeText(s);
    const bool fixed = IsFixedTimeText(s);
    const std::string normal = NormalizeTimeText(s);
    const int32_t ms = TimeTextToMs(s);
    const std::string text = MsToTimeText(ms);
    Check(text.size() >= 10 && IsTimeText(text.substr(text.size() - 10)));

    if (!loose) return 0;
    // Accepted: hours, minutes and seconds of one or two digits, at most one character after
    // the point. Normalising pads them to two digits and changes nothing else.
    Check(normal.size() == 9 || normal.size() == 10);
    Check(IsTimeText(normal) && NormalizeTimeText(normal) == normal);
    Check(normal[2] == ':' && normal[5] == ':' && normal[8] == '.');
    Check(IsFixedTimeText(normal) == (normal.size() == 10));
    Check(TimeTextToMs(normal) == ms);
    const int hours = Digits(normal, 0, 2), minutes = Digits(normal, 3, 2);
    const int seconds = Digits(normal, 6, 2);
    const int tenths = normal.size() == 10 && IsDigit(normal[9]) ? normal[9] - '0' : 0;
    Check(ms == hours * 3600000 + minutes * 60000 + seconds * 1000 + tenths * 100);

    // A complete text with a digit of tenths and minutes and seconds below 60 is exactly the
    // text of its own position.
    if (fixed) {
        Check(normal == s);
        if (IsDigit(s[9]) && minutes < 60 && seconds < 60) Check(MsToTimeText(ms) == s);
    }
    return 0;
}
