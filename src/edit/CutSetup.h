// What a window hands from a reader to a writer when it re-encodes a stretch of a file: the
// sample range of a selection, the tag fields, and the WMA format that matches the input.
// The main window, the Segment Cut and Joiner & Mixer windows and the command-line tool set
// up their writers through these, so that all of them agree.
//
// Threading: pure functions on values and tag sets the caller owns; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/AuClassesFile.h"
#include "formats/AuTags.h"
#include "formats/Mp3Lossless.h"

namespace sundral {

// A stretch of sample frames: StartSample is its first frame, EndSample the frame after its
// last one.
struct TSampleRange {
    int64_t StartSample = 0;
    int64_t EndSample = 0;
};

// Total x Position / Steps, rounded to the nearest integer with halves going to the even
// neighbour. The product is exact (it is formed in 128 bits), so no rounding error creeps
// in however long the file. Steps must be positive.
int64_t ScaleToSamples(int64_t Total, int32_t Position, int32_t Steps);

// One step of the main window's track bar in milliseconds: step p stands for p x StepMs.
// The default grid is the half second; the window also offers the tenth of a second (the
// precision of the time text). Every rule below takes the step as StepMs, a positive
// divisor of 1000.
inline constexpr int32_t kStepMs = 500;
inline constexpr int32_t kFineStepMs = 100;

// The track bar's range for a source of LengthMs: one step per whole step of StepMs, and at
// least one step for a source with any sound, so that its end is a step of its own.
int32_t StepsOf(int32_t LengthMs, int32_t StepMs = kStepMs);
// The frame a track-bar step stands for in a source of TotalSamples frames at SampleRate:
// a step below Max is the time p x StepMs, round(p x StepMs x SampleRate / 1000) with halves
// going to the even neighbour; the step at Max (the last one) is the end of the source, so
// the whole file stays reachable though its length is rarely a whole number of steps. The
// result never passes TotalSamples. A grid without steps (Max 0: a source without sound)
// has no end step, so its step 0 is the start of the source.
int64_t StepToSample(int32_t Step, int32_t Max, int64_t TotalSamples, uint32_t SampleRate,
                     int32_t StepMs = kStepMs);
// The samples a selection of PositionL..PositionU covers, each thumb by StepToSample; a grid
// without steps selects the whole source.
TSampleRange StepsToSamples(int32_t PositionL, int32_t PositionU, int32_t Max, int64_t TotalSamples,
                            uint32_t SampleRate, int32_t StepMs = kStepMs);
// The same rule in milliseconds, for playing and for showing a step: p x StepMs below Max,
// the source's length LengthMs at Max.
int32_t StepToMs(int32_t Step, int32_t Max, int32_t LengthMs, int32_t StepMs = kStepMs);
// The step a time falls in (rounded down); times in the last, shorter step are the end of
// the range, Max.
int32_t MsToStep(int32_t Ms, int32_t Max, int32_t StepMs = kStepMs);
// The step nearest to frame Sample (halves up), for a pointer dragged on a picture of the
// sound; never past Max.
int32_t SampleToNearestStep(int64_t Sample, int32_t Max, uint32_t SampleRate,
                            int32_t StepMs = kStepMs);

// Has the reader deliver Range: EndSample is where the selection ends, so the last frame
// delivered is the one before it and back-to-back selections share no frame.
void SetReaderRange(TAuStreamedInput& Reader, const TSampleRange& Range);

// Opens the reader's file (by asking for its length) and raises EAuException naming the file
// when it holds no sound the reader can deliver, so that no writer starts on it.
void RequireSound(TAuFileIn& Reader);

// Copies the twelve text fields, in the order Artist, Album, Genre, Year, Track, Title,
// Comment, Composer, Encoder, Copyright, Language, Link.
void CopyId3v2Fields(const TId3v2Tags& From, TId3v2Tags& To);

// Fills an ID3v1 set from ID3v2 fields: Artist, Album and Genre as text; Year and Track read
// as decimal numbers (0 when the text is not one or does not fit the field); Title and
// Comment as text. The set is cleared first, so nothing of an earlier file stays behind (a
// genre the list does not know leaves "Other").
void FillId3v1FromId3v2(const TId3v2Tags& From, TId3v1Tags& To);

// The tags of one piece of an MP3 copied frame by frame: Fields as the ID3v2 tag in front and,
// where the source has an ID3v1 block, the same fields there with track Number (0 when it
// does not fit the block's byte).
mp3lossless::TReplacedTags Mp3PieceTags(const TId3v2Tags& Fields, int32_t Number);

// The WMA writer's wording for an input: "128 kbps, 44 kHz, stereo". The kilobits are
// snapped to the nearest usual rate when close to one (95 kbps reads 96); a rate below
// 10 kHz gets a leading blank ("48 kbps,  8 kHz, mono").
std::string WmaFormatDescription(uint32_t Bitrate, uint32_t SampleRate, uint32_t Channels);

// The format used when no description matches: 128 kbps, 44 kHz, stereo in codec 0's list.
inline constexpr int32_t kFallbackWmaFormatIndex = 29;

// The first of Formats whose text contains Description, both compared in upper case;
// kFallbackWmaFormatIndex when none does.
int32_t FindWmaFormatIndex(const std::string& Description, const std::vector<std::string>& Formats);

} // namespace sundral
