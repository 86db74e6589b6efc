// The media control device's sound output: one SDL audio device taking interleaved signed
// 16-bit PCM at a given rate, fed by a pull function on SDL's audio thread.
//
// SDL's audio system is started when the first output opens and shut down when the last one
// closes, so each play sees the driver settings (SDL_AUDIODRIVER and the driver's own
// variables) of the moment. When the driver cannot start, or cannot open an output, and no
// other output is open, SDL's "dummy" driver is used instead: it consumes the sound at the
// normal pace and plays nothing.
//
// Threading: Open, SetPaused and destruction may come from any thread, but for one output
// from one thread at a time. Pull runs on SDL's audio thread, never after the destructor has
// returned. The audio system's start and shut-down are serialised process-wide.
// Ownership: the output owns its SDL device; the pull function's User pointer is the
// caller's and must outlive the output.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/mci.h"

namespace sundral::mci {

class TMciOutput {
public:
    // Fills Buffer with Frames frames (Frames × channels samples), silence where it has none.
    using TPull = void (*)(void* User, int16_t* Buffer, int Frames);

    // Opens a paused output. Channels it cannot take are mixed down to two: see Channels().
    // Returns null and sets Error (mciErrNoOutput) when no output can be opened.
    static std::unique_ptr<TMciOutput> Open(uint32_t SampleRate, uint16_t Channels, TPull Pull,
                                            void* User, TMciError& Error);
    // Closes the device; waits for a running pull to return.
    ~TMciOutput();
    TMciOutput(const TMciOutput&) = delete;
    TMciOutput& operator=(const TMciOutput&) = delete;

    uint16_t Channels() const { return FChannels; }
    // SDL's name of the driver in use.
    const std::string& Driver() const { return FDriver; }
    // Paused: Pull is not called and the device plays silence.
    void SetPaused(bool Value);
    // Frees what SDL keeps for the calling thread (its error text). A thread of the program's
    // own that opened or closed outputs calls it before it ends.
    static void ReleaseThread();

private:
    TMciOutput() = default;
    static void Callback(void* Self, uint8_t* Stream, int Bytes);

    uint32_t FDevice = 0;
    uint16_t FChannels = 0;
    std::string FDriver;
    TPull FPull = nullptr;
    void* FUser = nullptr;
};

} // namespace sundral::mci
