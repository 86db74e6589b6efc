// The exception class of the audio components and of the platform services under them: it
// carries a message only. It lives here, below everything that raises it, so the platform
// layer needs nothing from the engine above it.
#pragma once

#include <mutex>
#include <stdexcept>

namespace sundral {

class EAuException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Process-wide lock for once-per-process library loading (the encoder, the tag library).
std::mutex& EngineLock();

} // namespace sundral
