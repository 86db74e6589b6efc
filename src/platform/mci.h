// The media control device: opens one sound file, tells its length in milliseconds and its
// mode, and plays a stretch of it asynchronously. Files are decoded with FFmpeg and played
// through SDL audio.
//
// Sound output: the driver SDL picks (or the one SDL_AUDIODRIVER names) is tried first. When
// it cannot start, or starts but cannot open an output (a machine without sound hardware),
// the device falls back to SDL's "dummy" driver: playing then runs silently at the normal
// pace instead of failing. The output is opened when a play starts and released when it ends.
//
// Commands return mciOk (0) or an error code; MciErrorText gives the message for a code. A
// refused command changes nothing.
//
// Threading: the commands of one device come from one thread (the UI thread), one at a time.
// A play decodes on its own thread and hands the sound to SDL's audio thread. Stop, a new
// Play, Close and the destructor stop the play's threads and wait for them. Several devices
// may play at once.
// Ownership: the device owns its decoder, its play thread and its sound output. The notify
// call of a play is copied into the device and lives until that play has ended.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace sundral::mci {

using TMciError = uint32_t;

constexpr TMciError mciOk = 0;
constexpr TMciError mciErrFileNotFound = 1;   // no file of that name
constexpr TMciError mciErrCannotOpen = 2;     // the file exists but cannot be read
constexpr TMciError mciErrUnsupported = 3;    // not a sound file the device can play
constexpr TMciError mciErrCannotDecode = 4;   // the sound in the file cannot be decoded
constexpr TMciError mciErrNoOutput = 5;       // no sound output can be opened, not even silent
constexpr TMciError mciErrOutOfRange = 6;     // a start after the end position
constexpr TMciError mciErrNotPlaying = 7;     // pause without a play in progress
constexpr TMciError mciErrNotPaused = 8;      // resume without a paused play
constexpr TMciError mciErrLengthUnknown = 9;  // the file states no length and cannot be counted
constexpr TMciError mciErrFileNameEmpty = 10; // open without a file name

// The message for a code; empty for a code the device does not know.
std::string MciErrorText(TMciError Code);

enum class TMciMode { mmNotReady, mmStopped, mmPlaying, mmRecording, mmSeeking, mmPaused, mmOpen };

// How a play ended: it reached its end position, a new play replaced it, Stop or Close ended
// it, or the file could not be decoded to the end.
enum class TMciNotifyValue { nvSuccessful, nvSuperseded, nvAborted, nvFailure };

// Called once per play that asked for it. A play that ends by itself calls it on its own
// thread, after its sound has been handed out; a play ended by Stop, Play or Close calls it on
// the thread that gave that command, after the play's threads are gone. It must not call the
// device back.
using TMciNotify = std::function<void(TMciNotifyValue)>;

// Called on the play's thread before each block is decoded, with the frame the block starts
// at. Tests use it to hold a play at a known point; it is never set in the program.
using TMciDecodeHook = std::function<void(int64_t Frame)>;

class TMciDecoder;
class TMciPlay;

class TMciDevice {
public:
    // Opens a file for playing; returns null and sets Error when it cannot. The device starts
    // stopped at position 0.
    static std::unique_ptr<TMciDevice> Open(const std::string& FileName, TMciError& Error);
    // Stops a play and releases the file and the sound output.
    ~TMciDevice();
    TMciDevice(const TMciDevice&) = delete;
    TMciDevice& operator=(const TMciDevice&) = delete;

    // A number for this device, unique in the process and never 0.
    uint32_t Id() const { return FId; }

    // Playing length in milliseconds. Counting MPEG audio frames reads the whole file once;
    // the answer is kept.
    TMciError Length(uint32_t& Ms);
    TMciMode Mode() const;
    // The position reached, in milliseconds: where a play stands, or where the last one
    // stopped.
    uint32_t Position() const;
    // SDL's name of the driver the last play's output used ("dummy" after a fallback); empty
    // before the first play.
    std::string OutputDriver() const;

    // Starts playing from From (or from the position reached, or from the start when the
    // last play ran to the end of the file) to To (or the end of the file); both in
    // milliseconds, To past the end meaning the end. Returns at once: positioning, decoding
    // and opening the output happen on the play's thread, and a failure there ends the play
    // with nvFailure. A play in progress or paused is replaced.
    TMciError Play(std::optional<uint32_t> From, std::optional<uint32_t> To,
                   TMciNotify Notify = {});
    // Halts the sound at the current point; Resume continues to the same end position.
    TMciError Pause();
    TMciError Resume();
    // Ends a play at once; the position stays where the sound stopped.
    TMciError Stop();

    void SetDecodeHookForTests(TMciDecodeHook Hook);

private:
    TMciDevice(std::unique_ptr<TMciDecoder> Decoder);
    // Ends the play in progress (if any) and reports it with Value.
    void EndPlay(TMciNotifyValue Value);

    uint32_t FId;
    std::unique_ptr<TMciDecoder> FDecoder;
    std::unique_ptr<TMciPlay> FPlay;
    int64_t FPositionFrame = 0; // where the last play stopped; a running play reports its own
    bool FAtEnd = false;        // the last play ran out of data
    std::string FDriver;
    TMciDecodeHook FDecodeHook;
};

} // namespace sundral::mci
