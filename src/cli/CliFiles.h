// Readers and writers by file type, set up as the windows set theirs, and the checks made
// before anything is opened for writing.
//
// Threading: the main thread, which plays the UI thread. Ownership: the components belong
// to the Owner passed in.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "audio/AuClassesFile.h"
#include "edit/Designs.h"

namespace sundral::cli {

// Hands the writer what the windows hand theirs from the (first) input: an MP3 writer the
// tags, bit rate, mode, VBR and copyright flag; a WMA writer codec 0, the format described
// like the input, and the tags. A WAV writer takes everything from its input. BitReservoir
// lets the MP3 encoder use its bit reservoir (the windows leave it off for a constant-rate
// source; a variable-rate one has it either way).
void SetupWriterFrom(TAuFileOut& Writer, TAuFileIn& Reader, bool BitReservoir);

// Opens the reader and checks that it holds audio it can deliver; the message says why not.
bool CheckReadable(TAuFileIn& Reader, const std::string& Path, std::string& Message);
// A reader of File's type owned by Owner, opened and checked as CheckReadable does; null,
// with the message, when it cannot deliver audio. Raises EAuException for an unknown type.
TAuFileIn* OpenReadable(const std::string& File, TComponent* Owner, std::string& Message);

// What `info` tells beyond the PCM format: for MP3 and WMA the stream's nominal bit rate,
// VBR and protection, and the reader's non-empty tag fields (lower-case names, UTF-8 text,
// in the order the windows copy them).
struct TMediaFacts {
    bool Known = false; // false for WAV
    uint32_t Bitrate = 0;
    bool IsVBR = false;
    bool IsProtected = false;
    std::vector<std::pair<std::string, std::string>> Tags;
};
TMediaFacts ReadMediaFacts(TAuFileIn& Reader);

// A description of the reader's encoding for `info` ("wtPCM" for WAV, the codec's name for
// MP3 and WMA).
std::string TypeName(TAuFileIn& Reader);

} // namespace sundral::cli
