// Setting up the MP3 and WMA writers from the reader of the file they re-encode, the same way
// in every window that writes: tags and encoding parameters follow the input.
//
// Threading: UI thread, with reader and writer idle; the reader opens its file to answer.
// Ownership: both components belong to the caller.
#pragma once

#include <cstdint>

namespace sundral {

class TMP3Out;
class TWMAOut;
class TWMIn;

// The MP3 writer takes from the reader: the twelve ID3v2 fields; the ID3v1 fields made from
// them; the bit rate: for a constant-rate source BitrateToMp3BitRate of its rate, for a
// variable-rate one (VBR or ABR) the average-bit-rate method aimed at its measured average,
// in whole kbit/s within kMinAverageKbps..kMaxAverageKbps (AuMp3OutAim.h), with no floor
// and with the bit reservoir (off for a constant-rate source, as the windows' writer has it); the
// mode for a mono or stereo input (other channel counts leave the mode as it is); VBR; and the
// copyright flag from the protection flag.
void SetupMp3Writer(TWMIn& Reader, TMP3Out& Writer);

// The index among codec 0's formats of the one described like the input
// (WmaFormatDescription), or kFallbackWmaFormatIndex.
int32_t WmaFormatIndexFor(TWMIn& Reader, const TWMAOut& Writer);

// Codec 0, the format that matches the input, and the twelve ID3v2 fields.
void SetupWmaWriter(TWMIn& Reader, TWMAOut& Writer);

} // namespace sundral
