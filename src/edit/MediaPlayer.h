// The media player component a window owns to learn a sound file's playing length and to
// play the file, whole or between two positions. It has no buttons of its own: the window's
// buttons drive it. It commands one media control device (platform/mci) at a time.
//
// Positions and lengths are milliseconds. PlayStart and PlayEnd apply to the next Play only.
// Play, Pause, Resume, Stop and LengthMs raise EAuException("No MCI device open") when no
// file is open; Open raises the device's message when it refuses the file. Apart from that a
// refused command keeps the device's error code in Error() and raises nothing.
//
// Threading: every command comes from the UI thread. Playing runs on the device's threads;
// Close and destruction stop them and wait. OnNotify runs once per play: on the play's thread
// when the play ends by itself, on the commanding thread when Stop, Play, Close or Open
// ends it. Set it before Play; a handler must not call the player.
// Ownership: the player owns its device (and so the open file); it is a component that its
// owner destroys.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio/AuComponent.h"
#include "platform/mci.h"

namespace sundral {

enum class TMPModes { mpNotReady, mpStopped, mpPlaying, mpRecording, mpSeeking, mpPaused, mpOpen };

enum class TMPNotifyValues { nvSuccessful, nvSuperseded, nvAborted, nvFailure };

class TMediaPlayer : public TComponent {
public:
    explicit TMediaPlayer(TComponent* AOwner);
    ~TMediaPlayer() override;

    // The file the next Open opens.
    const std::string& FileName() const { return FFileName; }
    void SetFileName(const std::string& Value);
    // The open device's identifier; 0 when none is open.
    uint32_t DeviceID() const { return FDevice ? FDevice->Id() : 0; }
    // The open device, for tests that hold a play at a known point; null when none is open.
    mci::TMciDevice* Device() const { return FDevice.get(); }

    // Closes an open device, then opens FileName, ready to play from its start.
    void Open();
    // Stops and releases the file; does nothing when none is open.
    void Close();

    // Playing length in milliseconds; 0 when the device cannot tell (see Error).
    int32_t LengthMs();
    // mpNotReady when no file is open.
    TMPModes PlayerMode() const;

    int32_t PlayStart() const { return FPlayStart; }
    void SetPlayStart(int32_t Value);
    int32_t PlayEnd() const { return FPlayEnd; }
    void SetPlayEnd(int32_t Value);

    // Plays asynchronously from PlayStart (if set, else where the last play stopped) to
    // PlayEnd (if set, else the end of the file), then forgets both.
    void Play();
    // Pauses a play; resumes a paused one.
    void Pause();
    // Continues a paused play to its end position; when nothing is paused, plays instead.
    void Resume();
    void Stop();

    // The device's code for the last command, 0 when it succeeded.
    uint32_t Error() const { return FError; }
    std::string ErrorMessage() const;
    // How the last play that reported ended.
    TMPNotifyValues NotifyValue() const { return FNotifyValue.load(); }

    std::function<void(TMediaPlayer* Sender)> OnNotify;

private:
    mci::TMciDevice& CheckDevice() const;

    std::string FFileName;
    std::unique_ptr<mci::TMciDevice> FDevice;
    int32_t FPlayStart = 0;
    int32_t FPlayEnd = 0;
    bool FPlayStartSet = false;
    bool FPlayEndSet = false;
    uint32_t FError = 0;
    std::atomic<TMPNotifyValues> FNotifyValue{TMPNotifyValues::nvSuccessful};
};

} // namespace sundral
