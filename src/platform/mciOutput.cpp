#include "platform/mciOutput.h"

#include <cstring>
#include <mutex>

#include "platform/mediaLibs.h"

namespace sundral::mci {

namespace {

constexpr const char* kFallbackDriver = "dummy";
// Frames per SDL buffer: about 23 ms at 44.1 kHz. Pause and Stop act within a buffer, and
// SDL takes about two buffers' time to close a device.
constexpr uint16_t kBufferFrames = 1024;

// SDL's audio system is one per process: these count the outputs open on it. Every SDL audio
// call is made under the lock.
std::mutex gAudioLock;
int gOutputs = 0;

// Starts SDL's audio system, with the driver SDL picks or, when Driver is given, that one.
bool StartAudio(const char* Driver) {
    // The program keeps its own handling of SIGINT and SIGTERM.
    sdl::SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (Driver) sdl::SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, Driver, SDL_HINT_OVERRIDE);
    const bool started = sdl::SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    // Back to the user's choice for the next start.
    if (Driver) sdl::SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    return started;
}

bool IsFallback() {
    const char* name = sdl::SDL_GetCurrentAudioDriver();
    return name && std::strcmp(name, kFallbackDriver) == 0;
}

} // namespace

std::unique_ptr<TMciOutput> TMciOutput::Open(uint32_t SampleRate, uint16_t Channels, TPull Pull,
                                             void* User, TMciError& Error) {
    if (!medialibs::LoadSdl()) {
        Error = mciErrNoOutput;
        return nullptr;
    }
    std::unique_ptr<TMciOutput> output(new TMciOutput);
    output->FPull = Pull;
    output->FUser = User;

    auto tryOpen = [&](uint16_t Count) {
        SDL_AudioSpec want{};
        want.freq = int(SampleRate);
        want.format = AUDIO_S16SYS;
        want.channels = uint8_t(Count);
        want.samples = kBufferFrames;
        want.callback = &TMciOutput::Callback;
        want.userdata = output.get();
        // No changes allowed: SDL converts to what the hardware takes.
        output->FDevice = sdl::SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
        output->FChannels = Count;
        return output->FDevice != 0;
    };
    auto tryChannels = [&] { return tryOpen(Channels) || (Channels > 2 && tryOpen(2)); };

    std::lock_guard<std::mutex> lock(gAudioLock);
    bool started = gOutputs > 0 || StartAudio(nullptr) || StartAudio(kFallbackDriver);
    bool opened = started && tryChannels();
    // A driver that starts but has no device to open (no sound hardware): silent fallback,
    // possible only while no other output uses the audio system.
    if (started && !opened && gOutputs == 0 && !IsFallback()) {
        sdl::SDL_QuitSubSystem(SDL_INIT_AUDIO);
        started = StartAudio(kFallbackDriver);
        opened = started && tryChannels();
    }
    if (!opened) {
        if (started && gOutputs == 0) sdl::SDL_QuitSubSystem(SDL_INIT_AUDIO);
        Error = mciErrNoOutput;
        return nullptr;
    }
    ++gOutputs;
    const char* driver = sdl::SDL_GetCurrentAudioDriver();
    output->FDriver = driver ? driver : "";
    Error = mciOk;
    return output;
}

TMciOutput::~TMciOutput() {
    // Closing waits for the audio thread, which never takes this lock.
    std::lock_guard<std::mutex> lock(gAudioLock);
    sdl::SDL_CloseAudioDevice(FDevice);
    if (--gOutputs == 0) sdl::SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void TMciOutput::ReleaseThread() {
    // A thread that played has opened an output, so the library is there.
    if (medialibs::LoadSdl()) sdl::SDL_TLSCleanup();
}

void TMciOutput::SetPaused(bool Value) {
    // SDL's table of open devices changes as other outputs open and close.
    std::lock_guard<std::mutex> lock(gAudioLock);
    sdl::SDL_PauseAudioDevice(FDevice, Value ? 1 : 0);
}

void TMciOutput::Callback(void* Self, uint8_t* Stream, int Bytes) {
    auto* output = static_cast<TMciOutput*>(Self);
    const int frameBytes = int(sizeof(int16_t)) * output->FChannels;
    output->FPull(output->FUser, reinterpret_cast<int16_t*>(Stream), Bytes / frameBytes);
}

} // namespace sundral::mci
