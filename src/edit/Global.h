// Shared free routines: the time text "HH:MM:SS.T" and its milliseconds, the MP3 bit-rate
// choice for a measured bit rate, and the per-user application-data folder.
//
// Threading: every routine is pure (GetAppDataFolder only reads the environment) and may be
// called from any thread. Nothing here raises an error: malformed text counts as 0 or fails
// the checks.
#pragma once

#include <cstdint>
#include <string>

#include "formats/Mp3BitRate.h"

namespace sundral {

// N with "0%d" when N < 10 (so -5 gives "0-5"), else "%d".
std::string TwoDigits(int32_t N);
// S read as a decimal integer (an optional sign and digits, nothing else; 0 when S is not one
// or does not fit in 32 bits), then TwoDigits.
std::string TwoDigitsOfText(const std::string& S);

// The loose check of a typed time: only digits, ':' and '.'; hours, minutes and seconds of
// 1 or 2 digits each, cut at the first ':', the next ':' and the next '.'; at most one
// character after the point (not examined further).
bool IsTimeText(const std::string& S);
// Length exactly 10 with ':' at the 3rd and 6th and '.' at the 9th character; nothing else is
// examined.
bool IsFixedTimeText(const std::string& S);
// Pads hours, minutes and seconds to two digits and keeps at most one character after the
// point: "1:2:3.45" gives "01:02:03.4". A text without separators comes back unchanged.
std::string NormalizeTimeText(const std::string& S);

// The milliseconds of a time text: the normalised text is read at fixed places (hours from
// characters 1-2, minutes 4-5, seconds 7-8, tenths 10), each piece 0 when it is not a number.
// Minutes and seconds are not range-checked. Callers validate with IsTimeText first.
int32_t TimeTextToMs(const std::string& S);
// The time text of a position; tenths are truncated, hours taken modulo 256 and written with
// all their digits (360000000 gives "100:00:00.0"). A negative position gives "00:00:00.0".
std::string MsToTimeText(int32_t Ms);

// Texts the windows that cut and save share, and the time-field checks they make.
inline constexpr char kNoFileMessage[] = "Please open a sound file fristly.";
inline constexpr char kOverwriteQuestion[] = " has existed,overite it?";
inline constexpr char kCutUnknownTypeMessage[] = "Only MP3, WAV and WMA files can be cut.";
inline constexpr char kTimeFormatMessage[] = "Please make sure the time format is 00:00:00.0";
inline constexpr char kStartAfterEndMessage[] =
    "Please make sure the start time should be smaller than the end time";
inline constexpr char kEndAfterTotalMessage[] =
    "Please make sure the end time should be smaller than the total time";
inline constexpr char kSameTimesMessage[] =
    "Please make sure the start time not same as the end time";
inline constexpr char kCutSameFileMessage[] =
    "The cut file cannot replace the file being cut. Please choose another name.";

// The MP3 writer's choice for a measured bit rate in bits per second: the exact rates map to
// their choice, 0 to 31999 to mbrAuto, anything else (negative too) to mbr128.
TMP3BitRate BitrateToMp3BitRate(int32_t BitRate);

// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share; always ending in '/'.
// Empty only when no home folder can be found at all. The folder is not created.
std::string GetAppDataFolder();

} // namespace sundral
