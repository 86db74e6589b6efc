// The stream and file layers between the abstract source/sink and the concrete formats.
//
// TAuStreamedInput reads from a stream, delivers the sample range StartSample..EndSample
// (inclusive; EndSample -1 is the end of the data), can loop, and never hands out bytes past
// Size. TAuFileIn binds it to a file name with lazy opening: the format getters open the
// file, and it stays open until CloseSource. A concrete reader supplies OpenSource,
// CloseSource, ReadSource and SeekSource.
//
// TAuStreamedOutput / TAuFileOut hold a writer's stream, file name, file mode and share mode.
//
// Threading: OpenSource/CloseSource run under FileLock (the UI thread queries formats while
// the worker reads); Seek, Init, Flush and GetData under DataLock. Ownership: a stream handed
// in through SetStream belongs to the caller; one the component opened itself is its own.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "audio/AuClasses.h"
#include "platform/Streams.h"

namespace sundral {

// What a file component says when its file or stream is changed during a run.
inline constexpr const char* kErrComponentBusy = "The component is busy.";

class TAuStreamedInput : public TAuInput {
public:
    explicit TAuStreamedInput(TComponent* AOwner);

    int64_t StartSample() const { return FStartSample; }
    void SetStartSample(int64_t Value) { FStartSample = Value; }
    int64_t EndSample() const { return FEndSample; }
    void SetEndSample(int64_t Value) { FEndSample = Value; }
    bool Loop() const { return FLoop; }
    void SetLoop(bool Value) { FLoop = Value; }
    TStream* Stream() const { return FStream; }

    // The stream or none; a stream given here is not owned.
    virtual void SetStream(TStream* Value);
    void GetData(const uint8_t*& Buffer, uint32_t& Bytes) override;

protected:
    // Move so that the next ReadSource delivers frame SampleNum (which may be changed to
    // where the reader actually landed); true on success.
    virtual bool SeekSource(int64_t& SampleNum) = 0;

    // Looping: back to StartSample (or Flush and Init when the source cannot seek).
    void RestartLoop();

    TStream* FStream = nullptr;
    bool FStreamAssigned = false;
    bool FLoopRestart = false;
    int64_t FStartSample = 0;
    int64_t FEndSample = -1;
    bool FLoop = false;
    int64_t FTotalSamples = 0;
};

class TAuFileIn : public TAuStreamedInput {
public:
    explicit TAuFileIn(TComponent* AOwner);
    ~TAuFileIn() override;

    const std::string& FileName() const { return FFileName; }
    const std::u16string& WideFileName() const { return FWideFileName; }
    // Closes an open file first; the next query opens the new one. A new name (or stream)
    // while a run reads this source is refused with kErrComponentBusy.
    void SetFileName(const std::string& Value);
    bool Valid() const { return FValid; }
    // Empty when the file holds audio the reader can deliver; otherwise why not (opens the
    // file first, as the format getters do).
    std::string InvalidReason() override;

    void SetStream(TStream* Value) override;
    void Reset() override;
    // Moves to a frame of the data: before a run it sets the start of the next run; during a
    // run it seeks the reader. False outside the data or when the reader cannot seek.
    bool Seek(int64_t SampleNum);

    // Reader steps, public so that windows and tests can open a file to inspect it.
    virtual void OpenSource() = 0;
    virtual void CloseSource() = 0;

protected:
    uint32_t GetBitsPerSample() override;
    uint32_t GetChannels() override;
    uint32_t GetSampleRate() override;
    int32_t GetTotalTime() override;
    int64_t GetTotalSamples() override;
    void InitInput() override;
    void FlushInput() override;

    // For OpenSource: unless a stream was assigned, open WideFileName for reading with
    // writers denied and make it the stream. Raises EAuException with the system's text.
    void OpenOwnStream();
    // For CloseSource: release the stream opened above, or rewind an assigned one.
    void ReleaseOwnStream();

    std::recursive_mutex FFileLock;
    std::string FFileName;
    std::u16string FWideFileName;
    int32_t FOpenCount = 0;
    bool FValid = false;
    // Set by OpenSource when the file is not valid: what is wrong with it.
    std::string FInvalidReason;
    uint32_t FBitsPerSample = 0;
    uint32_t FSampleRate = 0;
    uint32_t FChannels = 0;
    // The stream OpenSource created itself (none when the caller assigned one).
    std::unique_ptr<TStream> FOwnStream;
};

class TAuStreamedOutput : public TAuOutput {
public:
    explicit TAuStreamedOutput(TComponent* AOwner) : TAuOutput(AOwner) {}
    TStream* Stream() const { return FStream; }
    // A stream given here is not owned; none lets the writer open its own. Refused while
    // the writer runs.
    void SetStream(TStream* Value);

protected:
    TStream* FStream = nullptr;
    bool FStreamAssigned = false;
};

enum class TFileOutputMode { foRewrite = 0, foAppend = 1 };

class TAuFileOut : public TAuStreamedOutput {
public:
    explicit TAuFileOut(TComponent* AOwner) : TAuStreamedOutput(AOwner) {}

    const std::string& FileName() const { return FFileName; }
    const std::u16string& WideFileName() const { return FWideFileName; }
    // Refused with kErrComponentBusy while the writer runs.
    void SetFileName(const std::string& Value);
    TFileOutputMode FileMode() const { return FFileMode; }
    // A writer that cannot append keeps rewriting: only writers that can override this.
    virtual void SetFileMode(TFileOutputMode Value);
    uint16_t ShareMode() const { return FShareMode; }
    void SetShareMode(uint16_t Value) { FShareMode = Value; }

protected:
    std::string FFileName;
    std::u16string FWideFileName;
    TFileOutputMode FFileMode = TFileOutputMode::foRewrite;
    uint16_t FShareMode = 0;
};

} // namespace sundral
