// A source that delivers its inputs one after another, byte for byte: the first input to its
// end, then the second, and so on. Unlike the mixer's concatenation it converts nothing, so
// every input must have the same sample size, channel count and rate (Init refuses others);
// the pieces of one source always do. Each input is flushed as soon as it has ended, so only
// one holds its decoder at a time.
//
// Threading: inputs are set on the UI thread while idle; Init, GetData and Flush run on the
// reading sink's worker. While reading, the concatenator holds its own DataLock and takes the
// current input's DataLock inside it.
// Ownership: the inputs are references, not owned; one that is destroyed is forgotten.
#pragma once

#include <cstddef>
#include <vector>

#include "audio/AuClasses.h"

namespace sundral {

class TAuConcatenator : public TAuInput {
public:
    explicit TAuConcatenator(TComponent* AOwner);

    const std::vector<TAuInput*>& Inputs() const { return FInputs; }
    // EAuException "The component is busy." while a run is in progress.
    void SetInputs(const std::vector<TAuInput*>& Value);

protected:
    // All three answer for the first input; EAuException "Input not assigned" without one.
    uint32_t GetBitsPerSample() override;
    uint32_t GetChannels() override;
    uint32_t GetSampleRate() override;
    void InitInput() override;
    void FlushInput() override;
    void ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) override;

    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    TAuInput* First();

    std::vector<TAuInput*> FInputs;
    // The input being read; FInputs.size() once all have ended. Worker only, under DataLock.
    std::size_t FCurrent = 0;
};

} // namespace sundral
