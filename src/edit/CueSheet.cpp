#include "edit/CueSheet.h"

#include <cctype>
#include <limits>

namespace sundral {
namespace {

bool ValidUtf8(std::string_view Text) {
    size_t i = 0;
    while (i < Text.size()) {
        const auto c = static_cast<unsigned char>(Text[i]);
        size_t more = 0;
        uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            more = 1;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + more >= Text.size()) return false;
        for (size_t k = 1; k <= more; ++k) {
            const auto t = static_cast<unsigned char>(Text[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            code = (code << 6) | (t & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode.
        static constexpr uint32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
        if (code < kLeast[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

std::string Latin1ToUtf8(std::string_view Text) {
    std::string out;
    out.reserve(Text.size());
    for (char ch : Text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// One line cut into words; a quoted word keeps its blanks. False when a quote is not closed.
bool SplitWords(std::string_view Line, std::vector<std::string>& Words) {
    size_t i = 0;
    while (i < Line.size()) {
        while (i < Line.size() && (Line[i] == ' ' || Line[i] == '\t')) ++i;
        if (i >= Line.size()) break;
        std::string word;
        if (Line[i] == '"') {
            const size_t close = Line.find('"', i + 1);
            if (close == std::string_view::npos) return false;
            word = std::string(Line.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            while (i < Line.size() && Line[i] != ' ' && Line[i] != '\t') word += Line[i++];
        }
        Words.push_back(std::move(word));
    }
    return true;
}

// A whole number of at most Digits decimal digits.
bool ParseNumber(std::string_view Text, size_t Digits, int64_t& Value) {
    if (Text.empty() || Text.size() > Digits) return false;
    Value = 0;
    for (char c : Text) {
        if (c < '0' || c > '9') return false;
        Value = Value * 10 + (c - '0');
    }
    return true;
}

// MM:SS:FF (minutes may run past 99) as cue frames.
bool ParseCueTime(std::string_view Text, int64_t& Frames) {
    const size_t first = Text.find(':');
    const size_t second = first == std::string_view::npos ? first : Text.find(':', first + 1);
    if (second == std::string_view::npos) return false;
    int64_t m = 0, s = 0, f = 0;
    if (!ParseNumber(Text.substr(0, first), 6, m) ||
        !ParseNumber(Text.substr(first + 1, second - first - 1), 2, s) ||
        !ParseNumber(Text.substr(second + 1), 2, f))
        return false;
    if (s >= 60 || f >= kCueFramesPerSecond) return false;
    Frames = (m * 60 + s) * kCueFramesPerSecond + f;
    return true;
}

std::string Upper(std::string Text) {
    for (char& c : Text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return Text;
}

class TCueReader {
public:
    TCueReader(TCueSheet& Sheet, std::string& Error) : FSheet(Sheet), FError(Error) {}
    bool Line(int Number, const std::string& Text);
    bool Finish();

private:
    bool Refuse(int Number, const std::string& Why) {
        FError = "line " + std::to_string(Number) + ": " + Why;
        return false;
    }
    TCueSheet& FSheet;
    std::string& FError;
    int FFileLine = 0;
};

bool TCueReader::Line(int Number, const std::string& Text) {
    std::vector<std::string> words;
    if (!SplitWords(Text, words)) return Refuse(Number, "a quote is not closed");
    if (words.empty()) return true;
    const std::string keyword = Upper(words[0]);
    TCueTrack* track = FSheet.Tracks.empty() ? nullptr : &FSheet.Tracks.back();
    if (keyword == "FILE") {
        if (words.size() < 2) return Refuse(Number, "FILE needs a file name");
        if (FFileLine != 0)
            return Refuse(Number, "a second FILE: only sheets for one sound file can be split (" +
                                      std::string("the first is on line ") +
                                      std::to_string(FFileLine) + ")");
        FFileLine = Number;
        FSheet.File = words[1];
    } else if (keyword == "TRACK") {
        int64_t n = 0;
        if (words.size() < 2 || !ParseNumber(words[1], 3, n))
            return Refuse(Number, "TRACK needs a track number");
        if (track && track->Start < 0)
            return Refuse(track->Line,
                          "track " + std::to_string(track->Number) + " has no INDEX 01");
        TCueTrack next;
        next.Number = int(n);
        next.Line = Number;
        FSheet.Tracks.push_back(next);
    } else if (keyword == "INDEX") {
        if (!track) return Refuse(Number, "INDEX before the first TRACK");
        int64_t index = 0, frames = 0;
        if (words.size() < 3 || !ParseNumber(words[1], 2, index))
            return Refuse(Number, "INDEX needs a number and a time MM:SS:FF");
        if (!ParseCueTime(words[2], frames))
            return Refuse(Number, "'" + words[2] + "' is not a time MM:SS:FF (75 frames a second)");
        if (index == 0) {
            track->Pregap = frames;
        } else if (index == 1) {
            if (track->Start >= 0) return Refuse(Number, "a second INDEX 01 in the track");
            if (track->Pregap > frames) return Refuse(Number, "INDEX 01 lies before INDEX 00");
            const size_t count = FSheet.Tracks.size();
            if (count > 1 && FSheet.Tracks[count - 2].Start >= frames)
                return Refuse(Number, "INDEX 01 does not lie after the previous track's");
            track->Start = frames;
        }
        // Further indexes mark places inside the track; they do not divide it.
    } else if (keyword == "TITLE" || keyword == "PERFORMER") {
        if (words.size() < 2) return Refuse(Number, keyword + " needs a text");
        std::string& field = keyword == "TITLE" ? (track ? track->Title : FSheet.Title)
                                                : (track ? track->Performer : FSheet.Performer);
        field = words[1];
    }
    return true;
}

bool TCueReader::Finish() {
    if (FSheet.Tracks.empty()) {
        FError = "the sheet holds no TRACK";
        return false;
    }
    const TCueTrack& last = FSheet.Tracks.back();
    if (last.Start < 0)
        return Refuse(last.Line, "track " + std::to_string(last.Number) + " has no INDEX 01");
    return true;
}

} // namespace

bool ParseCueSheet(std::string_view Text, TCueSheet& Sheet, std::string& Error) {
    Sheet = TCueSheet{};
    Error.clear();
    if (Text.substr(0, 3) == "\xEF\xBB\xBF") Text.remove_prefix(3);
    const std::string text = ValidUtf8(Text) ? std::string(Text) : Latin1ToUtf8(Text);
    TCueReader reader(Sheet, Error);
    int number = 1;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!reader.Line(number, line)) return false;
        at = end + 1;
        ++number;
    }
    return reader.Finish();
}

int64_t CueFramesToSamples(int64_t Frames, uint32_t Rate) {
    // Frames stay below 10^6 minutes' worth, so the product fits.
    return (Frames * int64_t(Rate) + kCueFramesPerSecond / 2) / kCueFramesPerSecond;
}

} // namespace sundral
