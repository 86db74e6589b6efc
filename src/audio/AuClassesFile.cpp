#include "audio/AuClassesFile.h"

#include <cmath>

#include "platform/TextConv.h"
#include "platform/filestream.h"

namespace sundral {

// ---------------------------------------------------------------------------------------
// TAuStreamedInput
// ---------------------------------------------------------------------------------------
TAuStreamedInput::TAuStreamedInput(TComponent* AOwner) : TAuInput(AOwner) {
    FSeekable = true;
}

void TAuStreamedInput::SetStream(TStream* Value) {
    FStream = Value;
    FStreamAssigned = Value != nullptr;
}

void TAuStreamedInput::RestartLoop() {
    if (FSeekable) {
        int64_t start = FStartSample;
        SeekSource(start);
    } else {
        Flush();
        Init();
    }
    FPosition = 0;
}

void TAuStreamedInput::GetData(const uint8_t*& Buffer, uint32_t& Bytes) {
    std::lock_guard guard(FDataLock);
    if (FPrefetchCount > 0) {
        TAuInput::GetData(Buffer, Bytes);
        return;
    }
    if (FLoopRestart) {
        FLoopRestart = false;
        RestartLoop();
    }
    if (FEndOfData) {
        Buffer = nullptr;
        Bytes = 0;
        return;
    }
    const uint32_t asked = Bytes;
    ReadSource(Buffer, Bytes);
    if (Bytes == 0) {
        FEndOfData = true;
    } else {
        int64_t position = FPosition += Bytes;
        int64_t size = FSize;
        if (size > 0 && position >= size) {
            FEndOfData = true;
            if (position > size) {
                // Never hand out bytes beyond the range.
                Bytes -= static_cast<uint32_t>(position - size);
                FPosition = size;
            }
        }
    }
    if (FEndOfData && FLoop) {
        FEndOfData = false;
        if (Bytes > 0) {
            // Deliver the tail of this pass; the next call starts the next pass.
            FLoopRestart = true;
            return;
        }
        RestartLoop();
        Bytes = asked;
        ReadSource(Buffer, Bytes);
        if (Bytes == 0) {
            FEndOfData = true;
        } else {
            FPosition += Bytes;
            if (FSize > 0 && FPosition >= FSize) FLoopRestart = true;
        }
    }
}

// ---------------------------------------------------------------------------------------
// TAuFileIn
// ---------------------------------------------------------------------------------------
TAuFileIn::TAuFileIn(TComponent* AOwner) : TAuStreamedInput(AOwner) {}

// Concrete readers close their source in their own destructor (CloseSource is theirs);
// a stream opened by the reader is released with it in any case.
TAuFileIn::~TAuFileIn() = default;

void TAuFileIn::SetFileName(const std::string& Value) {
    if (Value == FFileName) return;
    // Closing the source under a running job would splice the new file into its output.
    if (Busy()) throw EAuException(kErrComponentBusy);
    CloseSource();
    FWideFileName = Utf8ToUtf16(Value);
    FFileName = Value;
}

void TAuFileIn::SetStream(TStream* Value) {
    if (Busy()) throw EAuException(kErrComponentBusy);
    CloseSource();
    TAuStreamedInput::SetStream(Value);
}

void TAuFileIn::OpenOwnStream() {
    if (FStreamAssigned) return;
    FOwnStream = std::make_unique<TAuFileStream>(FWideFileName, fmOpenRead | fmShareDenyWrite);
    FStream = FOwnStream.get();
}

void TAuFileIn::ReleaseOwnStream() {
    if (FStreamAssigned) {
        if (FStream && FSeekable) FStream->SetPosition(0);
        return;
    }
    FStream = nullptr;
    FOwnStream.reset();
}

void TAuFileIn::Reset() {
    TAuInput::Reset();
    FOpenCount = 0;
}

std::string TAuFileIn::InvalidReason() {
    OpenSource();
    std::lock_guard guard(FFileLock);
    if (FValid) return {};
    return FInvalidReason.empty() ? "not a sound file this program can read" : FInvalidReason;
}

uint32_t TAuFileIn::GetBitsPerSample() {
    OpenSource();
    return FBitsPerSample;
}

uint32_t TAuFileIn::GetChannels() {
    OpenSource();
    return FChannels;
}

uint32_t TAuFileIn::GetSampleRate() {
    OpenSource();
    return FSampleRate;
}

int32_t TAuFileIn::GetTotalTime() {
    OpenSource();
    uint32_t bytesPerSample = FBitsPerSample / 8;
    if (FSampleRate == 0 || FChannels == 0 || bytesPerSample == 0) return 0;
    double seconds = static_cast<double>(FSize.load()) /
                     (static_cast<double>(FSampleRate) * FChannels * bytesPerSample);
    return static_cast<int32_t>(std::nearbyint(seconds));
}

int64_t TAuFileIn::GetTotalSamples() {
    OpenSource();
    int64_t frame = (static_cast<int64_t>(FChannels) * FBitsPerSample) / 8;
    int64_t size = FSize;
    FTotalSamples = (size > 0 && frame > 0) ? size / frame : -1;
    return FTotalSamples;
}

void TAuFileIn::InitInput() {
    if (FBusy) throw EAuException("The component is Busy");
    if (!FStreamAssigned && FWideFileName.empty())
        throw EAuException("The file name is not assigned");
    FBusy = true;
    FPosition = 0;
    OpenSource();
    uint32_t frameSize = (FChannels * FBitsPerSample) / 8;
    // A zero frame size comes from a header we cannot use: deliver nothing, divide by nothing.
    if (!FValid || frameSize == 0 || frameSize > 0xFFFF) {
        FFrameSize = 8;
        FSampleRate = 8000;
        FBitsPerSample = 8;
        FChannels = 1;
        FTotalSamples = 0;
        FSize = 0;
        FEndOfData = true;
        FBufferStart = 1;
        FBufferEnd = 0;
        return;
    }
    FFrameSize = static_cast<uint16_t>(frameSize);
    FTotalSamples = FSize / FFrameSize;
    if (FStartSample < 0) FStartSample = 0;
    if (FStartSample > 0 && FStartSample < FTotalSamples) {
        // A run that cannot start where it was asked to must not deliver the file from
        // its beginning as if that were the selection: the failure ends the run.
        int64_t target = FStartSample;
        if (!SeekSource(target)) throw EAuException("Cannot seek to the start sample");
        FPosition = 0;
    }
    if (FStartSample > 0 || FEndSample != -1) {
        // The range is inclusive; its end is at most the last frame of the data. (Taking the
        // frame count itself as the end would promise one frame more than there is, and a
        // writer that pads to the promised size would add a frame of silence to every cut.)
        if (FEndSample >= FTotalSamples) FEndSample = -1;
        int64_t end = FEndSample == -1 ? FTotalSamples - 1 : FEndSample;
        FTotalSamples = end - FStartSample + 1;
        if (FTotalSamples <= 0) {
            // An empty range (its end before its start, or a start past the data) delivers
            // nothing; a Size of 0 alone would mean "read to the end".
            FTotalSamples = 0;
            FEndOfData = true;
        }
        FSize = FTotalSamples * FFrameSize;
    }
    FBufferStart = 1;
    FBufferEnd = 0;
}

void TAuFileIn::FlushInput() {
    CloseSource();
    FStartSample = 0;
    FEndSample = -1;
    FBusy = false;
}

bool TAuFileIn::Seek(int64_t SampleNum) {
    if (!FSeekable) return false;
    if (FTotalSamples != 0 && FTotalSamples < SampleNum) return false;
    if (SampleNum < 0) return false;
    std::lock_guard guard(FDataLock);
    if (!FBusy) {
        FStartSample = SampleNum;
        FPosition = SampleNum * FFrameSize;
        FEndSample = -1;
        return true;
    }
    FPrefetchCount = 0;
    FPrefetchOffset = 0;
    // A pass that just ended would restart at the range's start on the next read: this
    // seek asks for another place.
    FLoopRestart = false;
    int64_t target = SampleNum + FStartSample;
    bool result = false;
    try {
        result = SeekSource(target);
    } catch (...) {
        result = false;
    }
    FPosition = (target - FStartSample) * FFrameSize;
    // Moving back into the range after the data ran out makes it readable again.
    if (result && (FSize <= 0 || FPosition < FSize)) FEndOfData = false;
    return result;
}

// ---------------------------------------------------------------------------------------
// TAuFileOut
// ---------------------------------------------------------------------------------------
void TAuStreamedOutput::SetStream(TStream* Value) {
    if (Busy()) throw EAuException(kErrComponentBusy);
    FStream = Value;
    FStreamAssigned = Value != nullptr;
}

void TAuFileOut::SetFileName(const std::string& Value) {
    if (Value == FFileName) return;
    if (Busy()) throw EAuException(kErrComponentBusy);
    FWideFileName = Utf8ToUtf16(Value);
    FFileName = Value;
}

void TAuFileOut::SetFileMode(TFileOutputMode /*Value*/) {
    FFileMode = TFileOutputMode::foRewrite;
}

} // namespace sundral
