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

#include "edit/Designs.h"

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

struct TToolComponents {
    // Creates every component, named as in the windows' design and set up as Designs.h
    // lays out, owned by Owner. The mixer's volumes are 65535.
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
