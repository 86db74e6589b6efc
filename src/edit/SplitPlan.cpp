#include "edit/SplitPlan.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "edit/Designs.h"

namespace sundral {
namespace {

// Pieces between cut points already in order and strictly inside (0, Total).
std::vector<TSplitPiece> Between(const std::vector<int64_t>& Cuts, int64_t Total) {
    std::vector<TSplitPiece> pieces;
    if (Total <= 0) return pieces;
    int64_t start = 0;
    for (int64_t cut : Cuts) {
        pieces.push_back({start, cut, {}, {}});
        start = cut;
    }
    pieces.push_back({start, Total, {}, {}});
    return pieces;
}

std::string Padded(size_t Number, size_t Count) {
    std::string text = std::to_string(Number);
    const size_t width = std::to_string(Count).size();
    if (text.size() < width) text.insert(0, width - text.size(), '0');
    return text;
}

} // namespace

std::vector<TSplitPiece> PiecesAtPoints(std::vector<int64_t> Points, int64_t Total, int& Unused) {
    const size_t given = Points.size();
    std::erase_if(Points, [&](int64_t P) { return P <= 0 || P >= Total; });
    std::sort(Points.begin(), Points.end());
    Points.erase(std::unique(Points.begin(), Points.end()), Points.end());
    Unused = int(given - Points.size());
    return Between(Points, Total);
}

std::vector<TSplitPiece> PiecesEvery(int64_t Step, int64_t Total) {
    std::vector<int64_t> cuts;
    if (Step > 0)
        for (int64_t at = Step; at < Total; at += Step) cuts.push_back(at);
    return Between(cuts, Total);
}

std::vector<TSplitPiece> PiecesBetween(const std::vector<TSilentRange>& Silences, int64_t Total) {
    std::vector<TSplitPiece> pieces;
    int64_t start = 0;
    for (const TSilentRange& silence : Silences) {
        const int64_t end = std::clamp<int64_t>(silence.Start, start, Total);
        if (end > start) pieces.push_back({start, end, {}, {}});
        start = std::clamp<int64_t>(silence.End, start, Total);
    }
    if (Total > start) pieces.push_back({start, Total, {}, {}});
    return pieces;
}

bool PiecesFromCue(const TCueSheet& Sheet, uint32_t Rate, int64_t Total,
                   std::vector<TSplitPiece>& Pieces, std::string& Error) {
    Pieces.clear();
    for (size_t i = 0; i < Sheet.Tracks.size(); ++i) {
        const TCueTrack& track = Sheet.Tracks[i];
        const int64_t start = i == 0 ? 0 : CueFramesToSamples(track.Start, Rate);
        if (start >= Total || (i > 0 && start <= Pieces.back().Start)) {
            Error = "line " + std::to_string(track.Line) + ": track " +
                    std::to_string(track.Number) + " starts at or past the end of the file";
            Pieces.clear();
            return false;
        }
        if (i > 0) Pieces.back().End = start;
        TSplitPiece piece;
        piece.Start = start;
        piece.End = Total;
        piece.Title = track.Title;
        piece.Performer = track.Performer.empty() ? Sheet.Performer : track.Performer;
        Pieces.push_back(std::move(piece));
    }
    return true;
}

std::string SafeFileNamePart(const std::string& Value) {
    std::string safe;
    for (char c : Value) {
        const auto u = static_cast<unsigned char>(c);
        const bool unsafe = u < 0x20 || u == 0x7F ||
                            std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
        safe += unsafe ? '_' : c;
    }
    // Blanks at either end and a name of dots only would make names that are easy to miss.
    const size_t first = safe.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    safe = safe.substr(first, safe.find_last_not_of(' ') - first + 1);
    if (safe.find_first_not_of('.') == std::string::npos)
        std::replace(safe.begin(), safe.end(), '.', '_');
    return safe;
}

bool PieceNames(const TSplitNaming& Naming, const std::vector<TSplitPiece>& Pieces,
                std::vector<std::string>& Names, std::string& Error) {
    Names.clear();
    const std::string base = SafeFileNamePart(std::filesystem::path(Naming.Input).stem().string());
    const std::string extension =
        SoundKindOf(Naming.Pattern) == TSoundKind::skUnknown ? ExtensionOf(Naming.Input) : "";
    std::map<std::string, size_t> seen;
    for (size_t i = 0; i < Pieces.size(); ++i) {
        const std::string number = Padded(i + 1, Pieces.size());
        std::string title = SafeFileNamePart(Pieces[i].Title);
        if (title.empty()) title = "Track " + number;
        std::string name;
        const std::string& p = Naming.Pattern;
        for (size_t at = 0; at < p.size();) {
            if (p.compare(at, 3, "{n}") == 0) {
                name += number;
                at += 3;
            } else if (p.compare(at, 6, "{name}") == 0) {
                name += base;
                at += 6;
            } else if (p.compare(at, 7, "{title}") == 0) {
                name += title;
                at += 7;
            } else {
                name += p[at++];
            }
        }
        name += extension;
        const auto [where, added] = seen.emplace(name, i);
        if (!added) {
            Error = "the pattern gives pieces " + std::to_string(where->second + 1) + " and " +
                    std::to_string(i + 1) + " the same name " + name + " (put {n} in it)";
            Names.clear();
            return false;
        }
        Names.push_back(std::move(name));
    }
    return true;
}

} // namespace sundral
