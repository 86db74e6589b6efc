// The audio components of the two tool windows (Segment Cut, Joiner & Mixer) and of the
// command-line segment cut: two readers of each file type, a two-input mixer, and one writer
// per type, with the settings the windows are designed with. Each window then sets what is
// its own (the mixer's mode, the writers' events).
//
// Threading: created, wired and set up on the UI thread; the writers run on their workers.
// Ownership: every component belongs to the TComponent owner given at creation; the struct
// only points at them and is invalid once the owner is gone.
#pragma once

#include <cstdint>
#include <string>

namespace sundral {

class TAudioMixer;
class TAuFileIn;
class TAuFileOut;
class TComponent;
class TMP3In;
class TMP3Out;
class TWaveIn;
class TWaveOut;
class TWMAOut;
class TWMIn;

// The sound file types the tools read and write, by extension.
enum class TSoundKind { skUnknown, skWav, skMp3, skWma };

// By the file name's extension, in any case (".wav" and ".WAV" alike).
TSoundKind SoundKindOf(const std::string& FileName);
// The extension with its point as written in the name ("" when there is none).
std::string ExtensionOf(const std::string& FileName);

struct TToolComponents {
    // Creates every component, named as in the windows' design, owned by Owner. Readers:
    // no looping, to the end of the data; the media readers decode to mono or stereo at
    // 16 bits. Writers: WAV as plain PCM rewritten from the start; MP3 at 128 kbit/s without
    // bit reservoir, strict ISO or VBR; WMA with no desired rate, lossless or VBR. The
    // mixer's volumes are 65535.
    explicit TToolComponents(TComponent* Owner);

    TWaveIn* WaveIn1 = nullptr;
    TWaveIn* WaveIn2 = nullptr;
    TMP3In* MP3In1 = nullptr;
    TMP3In* MP3In2 = nullptr;
    TWMIn* WMIn1 = nullptr;
    TWMIn* WMIn2 = nullptr;
    TAudioMixer* AudioMixer1 = nullptr;
    TWaveOut* WaveOut1 = nullptr;
    TMP3Out* MP3Out1 = nullptr;
    TWMAOut* WMAOut1 = nullptr;

    // The reader of the type, 1 or 2; the writer of the type. Null for skUnknown.
    TAuFileIn* Reader(TSoundKind Kind, int Number) const;
    TAuFileOut* Writer(TSoundKind Kind) const;
    // The MP3 and WMA writers take their tags and encoding from reader 1 of their type
    // (CutSetupWriters.h); the WAV writer needs nothing. Opens the reader's file.
    void SetupWriter(TSoundKind Kind) const;
    // Stops every writer synchronously: no event of its last run follows, even one that
    // ended but whose OnDone has not run yet.
    void StopWriters() const;
};

// Raises EAuException when the two readers' sounds cannot be joined or mixed sample by
// sample: different sample rates or channel counts (the text names both layouts). Opens
// both files.
void RequireSameLayout(TAuFileIn& First, TAuFileIn& Second);

} // namespace sundral
