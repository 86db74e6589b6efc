#include "platform/mci.h"

#include <algorithm>
#include <limits>

#include "platform/mciDecoder.h"
#include "platform/mciPlay.h"

namespace sundral::mci {

namespace {

std::atomic<uint32_t> gNextId{1};

uint32_t ClampMs(int64_t Ms) {
    return uint32_t(std::clamp<int64_t>(Ms, 0, std::numeric_limits<uint32_t>::max()));
}

} // namespace

std::string MciErrorText(TMciError Code) {
    switch (Code) {
    case mciOk:
        return "The command completed.";
    case mciErrFileNotFound:
        return "The file cannot be found. Check the folder and the file name.";
    case mciErrCannotOpen:
        return "The file cannot be opened. It may be a folder, or you may not be allowed to "
               "read it.";
    case mciErrUnsupported:
        return "The file is not a sound file that can be played.";
    case mciErrCannotDecode:
        return "The sound in the file cannot be decoded. The file may be damaged.";
    case mciErrNoOutput:
        return "No sound output can be opened.";
    case mciErrOutOfRange:
        return "The start position lies after the end position.";
    case mciErrNotPlaying:
        return "Nothing is playing.";
    case mciErrNotPaused:
        return "The device is not paused.";
    case mciErrLengthUnknown:
        return "The length of the file cannot be found.";
    case mciErrFileNameEmpty:
        return "No file name was given.";
    default:
        return "";
    }
}

TMciDevice::TMciDevice(std::unique_ptr<TMciDecoder> Decoder)
    : FId(gNextId.fetch_add(1)), FDecoder(std::move(Decoder)) {
    // Ids wrap after four billion opens; 0 stays "no device".
    if (FId == 0) FId = gNextId.fetch_add(1);
}

TMciDevice::~TMciDevice() {
    EndPlay(TMciNotifyValue::nvAborted);
}

std::unique_ptr<TMciDevice> TMciDevice::Open(const std::string& FileName, TMciError& Error) {
    auto decoder = TMciDecoder::Open(FileName, Error);
    if (!decoder) return nullptr;
    return std::unique_ptr<TMciDevice>(new TMciDevice(std::move(decoder)));
}

TMciError TMciDevice::Length(uint32_t& Ms) {
    const int64_t ms = FDecoder->LengthMs();
    if (ms < 0) return mciErrLengthUnknown;
    Ms = ClampMs(ms);
    return mciOk;
}

TMciMode TMciDevice::Mode() const {
    if (!FPlay || FPlay->Finished()) return TMciMode::mmStopped;
    return FPlay->Paused() ? TMciMode::mmPaused : TMciMode::mmPlaying;
}

uint32_t TMciDevice::Position() const {
    const int64_t frame = FPlay ? FPlay->Frame() : FPositionFrame;
    return ClampMs(frame * 1000 / FDecoder->SampleRate());
}

std::string TMciDevice::OutputDriver() const {
    return FPlay ? FPlay->Driver() : FDriver;
}

void TMciDevice::EndPlay(TMciNotifyValue Value) {
    if (!FPlay) return;
    FPlay->Cancel();
    FPositionFrame = FPlay->Frame();
    FAtEnd = FPlay->ReachedEndOfStream();
    FDriver = FPlay->Driver();
    std::unique_ptr<TMciPlay> play = std::move(FPlay);
    if (!play->Notified() && play->Notify()) play->Notify()(Value);
}

TMciError TMciDevice::Play(std::optional<uint32_t> From, std::optional<uint32_t> To,
                           TMciNotify Notify) {
    const int64_t rate = FDecoder->SampleRate();
    // A play that ran out of data starts the next one from the beginning.
    const bool atEnd = FPlay ? FPlay->Finished() && FPlay->ReachedEndOfStream() : FAtEnd;
    const int64_t here = FPlay ? FPlay->Frame() : FPositionFrame;
    const int64_t start = From ? int64_t(*From) * rate / 1000 : atEnd ? 0 : here;
    const int64_t end = To ? int64_t(*To) * rate / 1000 : -1;
    if (end >= 0 && start > end) return mciErrOutOfRange;

    EndPlay(TMciNotifyValue::nvSuperseded);
    FPlay = std::make_unique<TMciPlay>(*FDecoder, start, end, std::move(Notify), FDecodeHook);
    FPlay->Start();
    return mciOk;
}

TMciError TMciDevice::Pause() {
    if (!FPlay || FPlay->Finished()) return mciErrNotPlaying;
    FPlay->SetPaused(true);
    return mciOk;
}

TMciError TMciDevice::Resume() {
    if (!FPlay || FPlay->Finished() || !FPlay->Paused()) return mciErrNotPaused;
    FPlay->SetPaused(false);
    return mciOk;
}

TMciError TMciDevice::Stop() {
    EndPlay(TMciNotifyValue::nvAborted);
    return mciOk;
}

void TMciDevice::SetDecodeHookForTests(TMciDecodeHook Hook) {
    FDecodeHook = std::move(Hook);
}

} // namespace sundral::mci
