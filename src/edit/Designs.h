// The sound file types the program reads and writes, and the reader and writer of each type
// with the values every window (and the command-line tool) is designed with: one table, so
// the main window, the tool windows and sundral-cli can never set a writer up differently.
//
// Threading: UI thread (or the command-line tool's main thread), components idle.
// Ownership: the new components belong to the Owner given.
#pragma once

#include <string>

namespace sundral {

class TAuFileIn;
class TAuFileOut;
class TComponent;

// The file types, by extension.
enum class TSoundKind { skUnknown, skWav, skMp3, skWma };

// By the file name's extension, in any case (".wav" and ".WAV" alike).
TSoundKind SoundKindOf(const std::string& FileName);
// The extension with its point as written in the name ("" when there is none).
std::string ExtensionOf(const std::string& FileName);
// "WAV", "MP3", "WMA" or "unknown".
const char* SoundKindName(TSoundKind Kind);

// A reader of the type: no looping, to the end of the data; the MP3 and WMA readers decode
// to mono or stereo at 16 bits. Named Name when one is given. Raises EAuException for
// skUnknown.
TAuFileIn* NewReader(TSoundKind Kind, TComponent* Owner, const char* Name = nullptr);

// A writer of the type: WAV as plain PCM in blocks of 512 rewritten from the start; MP3 at
// 128 kbit/s in mono mode, without bit reservoir, strict ISO or VBR, quality 0, automatic
// average and maximum rates; WMA with no desired rate, lossless or VBR. Share mode 0.
// Raises EAuException for skUnknown.
TAuFileOut* NewWriter(TSoundKind Kind, TComponent* Owner, const char* Name = nullptr);

} // namespace sundral
