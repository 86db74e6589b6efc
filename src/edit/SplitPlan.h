// Splitting one sound file into several: where the pieces lie (in sample frames) and what
// their files are called.
//
// Pieces never overlap, follow each other in order, are never empty and lie within the
// file. Split at points or at even steps, they cover the whole file; split around silences,
// the silences are left out; split by a cue sheet, each track runs from its INDEX 01 to the
// next track's, so a pregap (INDEX 00) belongs to the track before it, and what lies in
// front of the first track's INDEX 01 belongs to the first track, which has none before it.
//
// Names come from a pattern: {n} the piece's number (from 1, zero-padded to the width of the
// count), {name} the input's file name without folder and extension, {title} the cue
// sheet's track title, or "Track {n}" when there is none. Characters that file names cannot
// hold safely ('/', '\', ':', '*', '?', '"', '<', '>', '|' and control characters) become
// '_' in the values put in. A pattern that does not end in a sound file extension gets the
// input's.
//
// Threading: pure functions. Ownership: none kept.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "edit/CueSheet.h"

namespace sundral {

struct TSplitPiece {
    int64_t Start = 0; // first frame
    int64_t End = 0;   // frame after the last
    std::string Title; // from a cue sheet; empty otherwise
    std::string Performer;
};

// Pieces between the points (frames); points at or before the start, at or past the end,
// and repeated ones divide nothing and are counted in Unused. The points may come in any
// order.
std::vector<TSplitPiece> PiecesAtPoints(std::vector<int64_t> Points, int64_t Total, int& Unused);

// Pieces of Step frames each (the last may be shorter). Step must be positive.
std::vector<TSplitPiece> PiecesEvery(int64_t Step, int64_t Total);

// The stretches between silences; each silence is [start, end) in frames, in order, not
// overlapping.
struct TSilentRange {
    int64_t Start = 0;
    int64_t End = 0;
};
std::vector<TSplitPiece> PiecesBetween(const std::vector<TSilentRange>& Silences, int64_t Total);

// The tracks of a sheet at Rate, each with its title and performer (the album's performer
// when the track names none). False with the reason when a track starts at or past the end
// of the file.
bool PiecesFromCue(const TCueSheet& Sheet, uint32_t Rate, int64_t Total,
                   std::vector<TSplitPiece>& Pieces, std::string& Error);

// Where the pattern's names come from.
struct TSplitNaming {
    std::string Pattern;
    std::string Input; // the input's path; its base name and extension are used
};

// A value made safe to stand in a file name.
std::string SafeFileNamePart(const std::string& Value);

// The file name of every piece. False, with the reason, when the pattern gives two pieces the
// same name.
bool PieceNames(const TSplitNaming& Naming, const std::vector<TSplitPiece>& Pieces,
                std::vector<std::string>& Names, std::string& Error);

} // namespace sundral
