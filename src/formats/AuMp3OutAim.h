// Aiming the encoder's average-bit-rate method at a rate. The method's mean is only a
// direction: depending on the signal and on where the mean falls between the listed frame
// rates, files land several percent above or below it (measured: -7 % to +7 % on one
// signal over the usual means). So the writer encodes the start of its input once on trial
// and gives the real encode the mean corrected by how far the trial landed.
//
// Threading: pure functions on the caller's data; any thread (the encoder's set-up is locked
// inside lameEnc). Ownership: values only.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/lameEncConfig.h"

namespace sundral {

// The range of means the encoder's average-bit-rate method takes, kbit/s.
inline constexpr uint32_t kMinAverageKbps = 8;
inline constexpr uint32_t kMaxAverageKbps = 320;

// How much input the trial takes, in seconds.
inline constexpr uint32_t kAimTrialSeconds = 12;

// The rate, kbit/s, at which Record (set up for the average-bit-rate method) encodes Pcm:
// whole frames of Bits-bit, Channels-channel input at Rate Hz. The bytes counted are all the
// encoder gives, its tag frame and last frames included, over the input's duration, as a
// file's rate is reckoned. 0 when the encoder refuses the record or the input is empty.
double TrialKbps(const TBeConfigBytes& Record, const std::vector<uint8_t>& Pcm, uint32_t Bits,
                 uint32_t Channels, uint32_t Rate);

// The mean for the real encode, for a file of Kbps. Trial(Mean) encodes the trial at Mean and
// answers the rate it landed at (0 when it could not). The first trial is at Kbps; the
// second at Kbps scaled by how far the first landed; the mean is then read off the line
// through both (the method's rate moves in steps, so one correction can jump past the aim).
// Where the two disagree on the direction, the one that landed nearer wins. Means stay
// within 3/4..5/4 of Kbps (a trial of near silence says little) and within Min..Max.
uint32_t AimedMeanKbps(uint32_t Kbps, const std::function<double(uint32_t)>& Trial, uint32_t Min,
                       uint32_t Max);

} // namespace sundral
