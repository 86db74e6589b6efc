#include "edit/MediaPlayer.h"

#include <algorithm>

namespace sundral {

namespace {

TMPNotifyValues ToNotifyValue(mci::TMciNotifyValue Value) {
    switch (Value) {
    case mci::TMciNotifyValue::nvSuccessful:
        return TMPNotifyValues::nvSuccessful;
    case mci::TMciNotifyValue::nvSuperseded:
        return TMPNotifyValues::nvSuperseded;
    case mci::TMciNotifyValue::nvAborted:
        return TMPNotifyValues::nvAborted;
    case mci::TMciNotifyValue::nvFailure:
        break;
    }
    return TMPNotifyValues::nvFailure;
}

std::string TextFor(uint32_t Code) {
    std::string text = mci::MciErrorText(Code);
    return text.empty() ? "Unknown error code" : text;
}

} // namespace

TMediaPlayer::TMediaPlayer(TComponent* AOwner) : TComponent(AOwner) {}

TMediaPlayer::~TMediaPlayer() {
    Close();
}

void TMediaPlayer::SetFileName(const std::string& Value) {
    if (Value == FFileName) return;
    FFileName = Value;
}

void TMediaPlayer::SetPlayStart(int32_t Value) {
    if (FPlayStartSet && Value == FPlayStart) return;
    FPlayStart = Value;
    FPlayStartSet = true;
}

void TMediaPlayer::SetPlayEnd(int32_t Value) {
    if (FPlayEndSet && Value == FPlayEnd) return;
    FPlayEnd = Value;
    FPlayEndSet = true;
}

mci::TMciDevice& TMediaPlayer::CheckDevice() const {
    if (!FDevice) throw EAuException("No MCI device open");
    return *FDevice;
}

void TMediaPlayer::Open() {
    Close();
    mci::TMciError error = mci::mciOk;
    FDevice = mci::TMciDevice::Open(FFileName, error);
    FError = error;
    if (!FDevice) throw EAuException(TextFor(error));
}

void TMediaPlayer::Close() {
    if (!FDevice) return;
    FDevice.reset();
    FError = 0;
}

int32_t TMediaPlayer::LengthMs() {
    uint32_t ms = 0;
    FError = CheckDevice().Length(ms);
    return int32_t(std::min<uint32_t>(ms, INT32_MAX));
}

TMPModes TMediaPlayer::PlayerMode() const {
    if (!FDevice) return TMPModes::mpNotReady;
    switch (FDevice->Mode()) {
    case mci::TMciMode::mmStopped:
        return TMPModes::mpStopped;
    case mci::TMciMode::mmPlaying:
        return TMPModes::mpPlaying;
    case mci::TMciMode::mmRecording:
        return TMPModes::mpRecording;
    case mci::TMciMode::mmSeeking:
        return TMPModes::mpSeeking;
    case mci::TMciMode::mmPaused:
        return TMPModes::mpPaused;
    case mci::TMciMode::mmOpen:
        return TMPModes::mpOpen;
    case mci::TMciMode::mmNotReady:
        break;
    }
    return TMPModes::mpNotReady;
}

void TMediaPlayer::Play() {
    mci::TMciDevice& device = CheckDevice();
    // Positions before the start of the file mean its start.
    std::optional<uint32_t> from, to;
    if (FPlayStartSet) from = uint32_t(std::max(FPlayStart, 0));
    if (FPlayEndSet) to = uint32_t(std::max(FPlayEnd, 0));
    // Both settings are used up by this play, whatever becomes of it.
    FPlayStartSet = FPlayEndSet = false;
    FError = device.Play(from, to, [this](mci::TMciNotifyValue Value) {
        FNotifyValue = ToNotifyValue(Value);
        if (OnNotify) OnNotify(this);
    });
}

void TMediaPlayer::Pause() {
    mci::TMciDevice& device = CheckDevice();
    if (device.Mode() == mci::TMciMode::mmPaused)
        Resume();
    else
        FError = device.Pause();
}

void TMediaPlayer::Resume() {
    FError = CheckDevice().Resume();
    if (FError != mci::mciOk) Play();
}

void TMediaPlayer::Stop() {
    FError = CheckDevice().Stop();
}

std::string TMediaPlayer::ErrorMessage() const {
    return TextFor(FError);
}

} // namespace sundral
